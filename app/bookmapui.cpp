#include "app/bookmapui.h"

#include "analysis/bookmap.h"
#include "app/mapitem.h"

#include <QDialogButtonBox>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <QShowEvent>
#include <QWheelEvent>
#include <QMouseEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>

#include <memory>

BookMapUI::BookMapUI(std::unique_ptr<MapItem> map, int startEntry, QWidget *parent)
    : QDialog(parent)
    , item(map.release())
    , start(startEntry)
{
    setObjectName(QStringLiteral("BookMapUI"));
    setWindowTitle(tr("Carte du livre"));
    resize(1000, 720);

    auto *scene = new QGraphicsScene(this);
    // One item, indexed by itself: the scene has nothing to sort.
    scene->setItemIndexMethod(QGraphicsScene::NoIndex);
    scene->addItem(item);
    scene->setSceneRect(item->boundingRect().adjusted(-20, -20, 20, 20));
    view = new QGraphicsView(scene, this);
    view->setObjectName(QStringLiteral("view_Map"));
    view->setOptimizationFlags(QGraphicsView::DontSavePainterState);
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
        view->fitInView(item->boundingRect(), Qt::KeepAspectRatio);
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

BookMapUI::~BookMapUI() = default;

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
        const int entry = item->entryAt(view->mapToScene(static_cast<QMouseEvent *>(event)->pos()));
        if (entry >= 0) {
            emit nodeActivated(entry);
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
    const QRectF all = item->boundingRect().adjusted(-20, -20, 20, 20);
    const QSizeF room = view->viewport()->size();
    const double fit = qMin(room.width() / all.width(), room.height() / all.height());
    const QRectF first = item->entryBox(start);
    if (fit >= 0.6) {
        zoomBy(qMin(fit, 1.0) / scale);
    } else if (!first.isEmpty()) {
        view->centerOn(first.center());
    }
}

std::unique_ptr<MapItem> BookMapUI::layOut(const QByteArray &dot, QWidget *parent)
{
    // "Annuler" walks away from a layout that takes too long: it ends in the
    // background and its result is dropped with the thread.
    struct Drawing
    {
        std::unique_ptr<MapItem> map;
        QString error;
        std::atomic<int> step{0};
    };
    auto drawing = std::make_shared<Drawing>();
    QThread *worker = QThread::create([dot, drawing] {
        MapLayout layout;
        if (!BookMap::layOut(dot, &layout, &drawing->error))
            return;
        drawing->step = 1;
        drawing->map = std::make_unique<MapItem>(std::move(layout));
    });
    QProgressDialog progress(tr("Mise en page de la carte du livre…"), tr("Annuler"), 0, 0, parent);
    progress.setWindowTitle(tr("Carte du livre"));
    progress.setMinimumDuration(200);
    progress.setValue(0); // shown from then on, once the layout takes that long
    // Graphviz says nothing while it lays out: the bar only says which step runs.
    QTimer steps;
    connect(&steps, &QTimer::timeout, &progress, [&progress, drawing] {
        if (drawing->step > 0)
            progress.setLabelText(tr("Dessin de la carte…"));
    });
    steps.start(100);
    QEventLoop loop;
    connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    connect(&progress, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    if (!worker->isFinished()) {
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        return nullptr;
    }
    delete worker;
    progress.reset();
    if (!drawing->map) {
        QMessageBox::critical(parent, tr("Carte du livre"), drawing->error);
        return nullptr;
    }
    return std::move(drawing->map);
}
