#include "app/bookmapui.h"

#include <QDialogButtonBox>
#include <QGraphicsScene>
#include <QGraphicsSvgItem>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSvgRenderer>
#include <QVBoxLayout>
#include <QShowEvent>
#include <QWheelEvent>

BookMapUI::BookMapUI(const QByteArray &svg, const QString &startElement, QWidget *parent)
    : QDialog(parent)
    , start(startElement)
{
    setObjectName(QStringLiteral("BookMapUI"));
    setWindowTitle(tr("Carte du livre"));
    resize(1000, 720);

    auto *scene = new QGraphicsScene(this);
    renderer = new QSvgRenderer(svg, this);
    auto *item = new QGraphicsSvgItem;
    item->setSharedRenderer(renderer);
    scene->addItem(item);
    view = new QGraphicsView(scene, this);
    view->setObjectName(QStringLiteral("view_Map"));
    view->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    view->setDragMode(QGraphicsView::ScrollHandDrag);
    view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    view->viewport()->installEventFilter(this);

    auto *zoomIn = new QPushButton(tr("Zoom +"), this);
    zoomIn->setObjectName(QStringLiteral("pb_ZoomIn"));
    auto *zoomOut = new QPushButton(tr("Zoom −"), this);
    zoomOut->setObjectName(QStringLiteral("pb_ZoomOut"));
    auto *fit = new QPushButton(tr("Tout voir"), this);
    fit->setObjectName(QStringLiteral("pb_Fit"));
    connect(zoomIn, &QPushButton::clicked, this, [this] { zoomBy(1.25); });
    connect(zoomOut, &QPushButton::clicked, this, [this] { zoomBy(0.8); });
    connect(fit, &QPushButton::clicked, this, [this, scene] {
        view->fitInView(scene->itemsBoundingRect(), Qt::KeepAspectRatio);
        scale = view->transform().m11();
    });
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Fermer"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *bar = new QHBoxLayout;
    bar->addWidget(zoomIn);
    bar->addWidget(zoomOut);
    bar->addWidget(fit);
    bar->addStretch(1);
    bar->addWidget(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view, 1);
    layout->addLayout(bar);
}

void BookMapUI::zoomBy(double factor)
{
    const double next = qBound(0.02, scale * factor, 8.0);
    view->scale(next / scale, next / scale);
    scale = next;
}

bool BookMapUI::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view->viewport() && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            zoomBy(wheel->angleDelta().y() > 0 ? 1.15 : 1 / 1.15);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void BookMapUI::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (placed)
        return;
    placed = true;
    // A small map is shown whole; a large one at reading size, on its first entry.
    const QRectF all = view->scene()->itemsBoundingRect();
    const QSizeF room = view->viewport()->size();
    const double fit = qMin(room.width() / all.width(), room.height() / all.height());
    if (fit >= 0.6) {
        zoomBy(qMin(fit, 1.0) / scale);
    } else if (!start.isEmpty() && renderer->elementExists(start)) {
        view->centerOn(renderer->transformForElement(start).mapRect(renderer->boundsOnElement(start)).center());
    }
}
