#ifndef ORVANDEL_BOOKMAPUI_H
#define ORVANDEL_BOOKMAPUI_H

#include <QByteArray>
#include <QDialog>

class QGraphicsView;

// Shows the rendered map of the book, with zoom (buttons, Ctrl + wheel) and scrolling.
class BookMapUI : public QDialog
{
    Q_OBJECT

public:
    // `startElement` names the SVG element of the first entry, shown first.
    explicit BookMapUI(const QByteArray &svg, const QString &startElement = QString(),
                       QWidget *parent = nullptr);

    // Lays the map out in a worker thread behind a progress dialog with
    // "Annuler"; false when cancelled or when Graphviz failed (said to the author).
    static bool layOut(const QByteArray &dot, QByteArray *svg, QWidget *parent);

    void zoomBy(double factor);

signals:
    // Double-click on the n-th entry's box.
    void nodeActivated(int index);

public:
    double zoom() const { return scale; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QGraphicsView *view;
    class QSvgRenderer *renderer;
    QString start;
    bool placed = false;
    double scale = 1.0;
};

#endif
