#ifndef ORVANDEL_BOOKMAPUI_H
#define ORVANDEL_BOOKMAPUI_H

#include <QDialog>
#include <QPointer>

#include <memory>

struct MapLayout;
class BookDocument;
class MapItem;
class QGraphicsView;
class QPushButton;

// Shows the laid-out map of the book, with zoom (buttons, Ctrl + wheel),
// scrolling and, while the map is larger than the window, the whole of it in
// small in a corner; a double-click on an entry's box names that entry.
class BookMapUI : public QDialog
{
    Q_OBJECT

public:
    // Opens on the book's entry `startEntry` when the map is too large to be seen whole.
    explicit BookMapUI(std::unique_ptr<MapItem> map, int startEntry = -1, QWidget *parent = nullptr);
    ~BookMapUI() override;

    // The map of the document's book, in the places its document keeps when
    // the book has not changed beyond them, otherwise laid out (layOut) and
    // its places kept; "Réorganiser" lays it out again. Null when the
    // layout was cancelled or failed.
    static std::unique_ptr<BookMapUI> forDocument(BookDocument *document, QWidget *parent);

    // Lays the drawing out in a worker thread behind a progress dialog with
    // "Annuler", the window staying responsive; null when cancelled or when
    // Graphviz failed (said to the author).
    static std::unique_ptr<MapItem> layOut(MapLayout map, QWidget *parent);

    // Inside the book window rather than over it: no "Fermer", and the map
    // follows every change of its document at once, without a layout.
    void setEmbedded();
    // Selects the box of the book's entry `index` and shows it, with its
    // way from the first entry and the entries next to it.
    void selectEntry(int index);
    int selectedEntry() const;

    void zoomBy(double factor);
    // What the colours mean, in rich text, under the map.
    void setLegend(const QString &text);
    double zoom() const;

signals:
    // Double-click on the n-th entry's box.
    void nodeActivated(int index);
    // Double-click on the box of a missing entry that references lead to.
    void missingActivated(int number);
    // A click on an entry's box.
    void entrySelected(int index);
    // An arrow drawn (Shift and drag) from entry `from` to the entry `index`,
    // or to the missing entry `number` (index -1), or to empty space (both -1).
    void linkDrawn(int from, int index, int number);
    // Suppr on a box.
    void deleteAsked(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    static std::unique_ptr<MapItem> mapOf(BookDocument *document, QWidget *parent, bool again);
    // `sameOverview`: the corner view's picture stays (the book barely changed).
    void setMap(MapItem *map, bool sameOverview = false);
    void reorganize();
    // The document changed: the map drawn again in the places kept.
    void refresh();
    void markSelection();
    // "Autour de l'entrée": only the boxes a few arrows from the selected one.
    void showAround();
    bool mouse(QEvent *event);
    void frameView();
    void placeOverview();
    void moveOverview();
    void frameStart();

    QGraphicsView *view;
    QWidget *overview = nullptr;
    class QLabel *legend;
    QPushButton *reorganizeButton;
    MapItem *item = nullptr;
    QPointer<BookDocument> document;
    int start;
    bool placed = false;
    bool embedded = false;
    int selectedNode = -1;
    // A box being moved or an arrow being drawn, from a press on a box.
    int pressedNode = -1;
    QPointF pressedAt;
    bool linking = false, dragging = false;
    class QGraphicsLineItem *rubber = nullptr;
    class QGraphicsRectItem *ghost = nullptr;
    class QTimer *refreshing = nullptr;
    class QCheckBox *around = nullptr;
    class QSpinBox *steps = nullptr;
};

#endif
