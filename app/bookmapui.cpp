#include "app/bookmapui.h"

#include "analysis/bookmap.h"
#include "app/mapitem.h"
#include "document/bookdocument.h"

#include <QDialogButtonBox>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
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

#include <functional>
#include <memory>

namespace {

// The whole map in small, the part in view framed; a click or a drag on it
// brings that part into view.
class MiniMap : public QWidget
{
public:
    MiniMap(const QImage &picture, const QRectF &bounds, std::function<void(QPointF)> go, QWidget *parent)
        : QWidget(parent), picture(picture), bounds(bounds), go(std::move(go))
    {
        setObjectName(QStringLiteral("map_Overview"));
        setFixedSize(picture.size() + QSize(2, 2));
        setCursor(Qt::PointingHandCursor);
        setToolTip(BookMapUI::tr("Tout le livre : cliquez pour y aller"));
    }
    void frame(const QRectF &inView, bool whole)
    {
        shown = inView;
        setVisible(!whole);
        update();
    }
    QPointF sceneAt(const QPoint &at) const
    {
        return bounds.topLeft() + QPointF(at - QPoint(1, 1)) / (picture.width() / bounds.width());
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.drawImage(1, 1, picture);
        painter.fillRect(rect(), QColor(0, 0, 0, 24)); // set off from the map beneath
        painter.setPen(QColor(0x60, 0x60, 0x60));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        // The part in view, never smaller than a fingertip's worth to find and drag.
        const double scale = picture.width() / bounds.width();
        QRectF frame = QRectF((shown.topLeft() - bounds.topLeft()) * scale, shown.size() * scale).translated(1, 1);
        if (frame.width() < 10 || frame.height() < 10)
            frame = QRectF(frame.center() - QPointF(5, 5), QSizeF(10, 10));
        painter.setPen(QPen(QColor(0xc6, 0x28, 0x28), 2));
        painter.setBrush(QColor(0xc6, 0x28, 0x28, 48));
        painter.drawRect(frame.intersected(QRectF(rect()).adjusted(1, 1, -1, -1)));
    }
    void mousePressEvent(QMouseEvent *event) override { go(sceneAt(event->pos())); }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (event->buttons() & Qt::LeftButton)
            go(sceneAt(event->pos()));
    }

private:
    QImage picture;
    QRectF bounds, shown;
    std::function<void(QPointF)> go;
};

} // namespace

BookMapUI::BookMapUI(std::unique_ptr<MapItem> map, int startEntry, QWidget *parent)
    : QDialog(parent)
    , start(startEntry)
{
    setObjectName(QStringLiteral("BookMapUI"));
    setWindowTitle(tr("Carte du livre"));
    resize(1000, 720);

    auto *scene = new QGraphicsScene(this);
    // One item, indexed by itself: the scene has nothing to sort.
    scene->setItemIndexMethod(QGraphicsScene::NoIndex);
    view = new QGraphicsView(scene, this);
    view->setObjectName(QStringLiteral("view_Map"));
    view->setOptimizationFlags(QGraphicsView::DontSavePainterState);
    view->setDragMode(QGraphicsView::ScrollHandDrag);
    view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    view->viewport()->installEventFilter(this);
    setMap(map.release());
    connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, this, &BookMapUI::frameView);
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, &BookMapUI::frameView);

    auto *zoomIn = new QPushButton(tr("Zoom +"), this);
    zoomIn->setObjectName(QStringLiteral("pb_ZoomIn"));
    auto *zoomOut = new QPushButton(tr("Zoom −"), this);
    zoomOut->setObjectName(QStringLiteral("pb_ZoomOut"));
    auto *fit = new QPushButton(tr("Tout voir"), this);
    fit->setObjectName(QStringLiteral("pb_Fit"));
    connect(zoomIn, &QPushButton::clicked, this, [this] { zoomBy(1.25); });
    connect(zoomOut, &QPushButton::clicked, this, [this] { zoomBy(0.8); });
    connect(fit, &QPushButton::clicked, this, [this] {
        view->fitInView(view->sceneRect(), Qt::KeepAspectRatio);
        frameView();
    });
    reorganizeButton = new QPushButton(tr("Réorganiser"), this);
    reorganizeButton->setObjectName(QStringLiteral("pb_Reorganize"));
    reorganizeButton->setToolTip(tr("Met la carte en page à nouveau, comme la première fois"));
    reorganizeButton->hide(); // only for a book's own map, whose places are kept
    connect(reorganizeButton, &QPushButton::clicked, this, &BookMapUI::reorganize);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Fermer"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    for (QPushButton *button : {zoomIn, zoomOut, fit, reorganizeButton})
        button->setAutoDefault(false); // Enter closes the map
    legend = new QLabel(this);
    legend->setObjectName(QStringLiteral("lbl_Legend"));
    legend->setWordWrap(true);
    legend->setText(tr("Flèches : <b style='color:#555555'>choix</b>, <b style='color:#6a1b9a'>victoire</b>, "
                       "<b style='color:#1565c0'>fuite</b>, <b style='color:#2e7d32'>chanceux</b>, "
                       "<b style='color:#ef6c00'>malchanceux</b> ; en pointillés, vers une entrée absente ou un "
                       "renvoi qui n'est pas un numéro (<span style='color:#c62828'>« ? »</span>). Cases : "
                       "<span style='background:#c8e6c9'>&nbsp;début&nbsp;</span> "
                       "<span style='background:#ffe082'>&nbsp;fin&nbsp;</span> "
                       "<span style='background:#e0e0e0'>&nbsp;inaccessible&nbsp;</span> ; bord "
                       "<span style='color:#c62828'>rouge</span> : numéro en double, ou un renvoi qui n'est pas un numéro. "
                       "Double-clic sur une case : aller à l'entrée."));

    auto *bar = new QHBoxLayout;
    bar->addWidget(zoomIn);
    bar->addWidget(zoomOut);
    bar->addWidget(fit);
    bar->addWidget(reorganizeButton);
    bar->addStretch(1);
    bar->addWidget(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view, 1);
    layout->addWidget(legend);
    layout->addLayout(bar);
}

BookMapUI::~BookMapUI()
{
    // The view outlives this object's own members while the dialog is taken
    // apart: it must not call back into them.
    view->viewport()->removeEventFilter(this);
    view->horizontalScrollBar()->disconnect(this);
    view->verticalScrollBar()->disconnect(this);
    overview = nullptr;
}

void BookMapUI::setMap(MapItem *map)
{
    QGraphicsScene *scene = view->scene();
    if (item) {
        scene->removeItem(item);
        delete item;
    }
    item = map;
    item->setFirst(start);
    scene->addItem(item);
    scene->setSceneRect(item->boundingRect().adjusted(-20, -20, 20, 20));
    delete overview;
    overview = new MiniMap(item->thumbnail(180), item->boundingRect(),
                           [this](const QPointF &at) { view->centerOn(at); }, view);
    placeOverview();
}

std::unique_ptr<MapItem> BookMapUI::mapOf(BookDocument *document, QWidget *parent, bool again)
{
    MapLayout map = BookMap::drawing(document->book(), document->findings());
    if (!again && document->placeMap(&map))
        return std::make_unique<MapItem>(std::move(map));
    // Its places are those of the book as it was laid out.
    const Book book = document->book();
    QPointer<BookDocument> still(document);
    std::unique_ptr<MapItem> laidOut = layOut(std::move(map), parent);
    if (laidOut && still)
        still->keepMapPlaces(book, laidOut->layout());
    return laidOut;
}

std::unique_ptr<BookMapUI> BookMapUI::forDocument(BookDocument *document, QWidget *parent)
{
    std::unique_ptr<MapItem> map = mapOf(document, parent, false);
    if (!map)
        return nullptr;
    auto dialog = std::make_unique<BookMapUI>(std::move(map), document->book().firstIndex(), parent);
    dialog->document = document;
    dialog->reorganizeButton->show();
    return dialog;
}

void BookMapUI::reorganize()
{
    if (!document)
        return;
    std::unique_ptr<MapItem> map = mapOf(document, this, true);
    if (!map)
        return;
    start = document->book().firstIndex();
    view->resetTransform();
    setMap(map.release());
    frameStart();
}

void BookMapUI::zoomBy(double factor)
{
    const double now = zoom(), next = qBound(0.02, now * factor, 8.0);
    view->scale(next / now, next / now);
    frameView();
}

double BookMapUI::zoom() const
{
    return view->transform().m11();
}

void BookMapUI::setLegend(const QString &text)
{
    legend->setText(text);
}

void BookMapUI::frameView()
{
    if (!overview)
        return;
    const QSizeF map = item->boundingRect().size() * zoom();
    static_cast<MiniMap *>(overview)->frame(view->mapToScene(view->viewport()->rect()).boundingRect(),
                                            map.width() <= view->viewport()->width()
                                                && map.height() <= view->viewport()->height());
}

void BookMapUI::placeOverview()
{
    if (!overview)
        return;
    // In the lower right corner of the map, clear of the scroll bars.
    const QRect room = view->viewport()->geometry();
    overview->move(room.right() - overview->width() - 8, room.bottom() - overview->height() - 8);
    overview->raise();
    frameView();
}

bool BookMapUI::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view->viewport() && event->type() == QEvent::Resize)
        placeOverview();
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
    frameStart();
}

void BookMapUI::frameStart()
{
    // A small map is shown whole; a large one at reading size, on its first entry.
    const QRectF all = item->boundingRect().adjusted(-20, -20, 20, 20);
    const QSizeF room = view->viewport()->size();
    const double fit = qMin(room.width() / all.width(), room.height() / all.height());
    const QRectF first = item->entryBox(start);
    if (fit >= 0.6) {
        zoomBy(qMin(fit, 1.5) / zoom());
    } else if (!first.isEmpty()) {
        view->centerOn(first.center());
    }
    frameView();
}

std::unique_ptr<MapItem> BookMapUI::layOut(MapLayout map, QWidget *parent)
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
    QThread *worker = QThread::create([layout = std::move(map), drawing]() mutable {
        if (!BookMap::layOut(&layout, &drawing->error))
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
