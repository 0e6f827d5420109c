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

    void zoomBy(double factor);
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
