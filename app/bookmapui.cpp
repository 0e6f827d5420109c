#include "app/bookmapui.h"

#include "analysis/bookmap.h"

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
#include <QMouseEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>

#include <memory>

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
    if (watched == view->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // Graphviz names the n-th node's group "node<n+1>".
        const QPointF at = view->mapToScene(static_cast<QMouseEvent *>(event)->pos());
        for (int n = 1; renderer->elementExists(QStringLiteral("node%1").arg(n)); ++n) {
            const QString id = QStringLiteral("node%1").arg(n);
            if (renderer->transformForElement(id).mapRect(renderer->boundsOnElement(id)).contains(at)) {
                emit nodeActivated(n - 1);
                return true;
            }
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

bool BookMapUI::layOut(const QByteArray &dot, QByteArray *svg, QWidget *parent)
{
    // The window stays responsive, and "Annuler" walks away from a layout
    // that takes too long (it ends in the background; its result is dropped).
    struct Drawing
    {
        QByteArray svg;
        QString error;
        bool ok = false;
    };
    auto drawing = std::make_shared<Drawing>();
    QThread *worker = QThread::create([dot, drawing] {
        drawing->ok = BookMap::renderSvg(dot, &drawing->svg, &drawing->error);
    });
    QProgressDialog progress(tr("Mise en page de la carte du livre…"), tr("Annuler"), 0, 0, parent);
    progress.setWindowTitle(tr("Carte du livre"));
    progress.setMinimumDuration(200);
    QEventLoop loop;
    connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    connect(&progress, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    if (!worker->isFinished()) {
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        return false;
    }
    delete worker;
    progress.reset();
    if (!drawing->ok) {
        QMessageBox::critical(parent, tr("Carte du livre"), drawing->error);
        return false;
    }
    *svg = drawing->svg;
    return true;
}
