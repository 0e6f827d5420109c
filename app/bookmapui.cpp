#include "app/bookmapui.h"

#include "analysis/bookmap.h"
#include "app/mapitem.h"
#include "document/bookdocument.h"

#include <QApplication>
#include <QCheckBox>
#include <QSpinBox>
#include <QToolTip>
#include <QHelpEvent>
#include <QDialogButtonBox>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QInputDialog>
#include <QKeyEvent>
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
    buttons->setObjectName(QStringLiteral("buttons_Map"));
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
                       "<span style='background:#a5d6a7'>&nbsp;victoire&nbsp;</span> "
                       "<span style='background:#ef9a9a'>&nbsp;mort&nbsp;</span> "
                       "<span style='background:#e0e0e0'>&nbsp;inaccessible&nbsp;</span> ; bord "
                       "<span style='color:#c62828'>rouge</span> : numéro en double, ou un renvoi qui n'est pas un numéro. "
                       "Double-clic sur une case : aller à l'entrée."));
    view->installEventFilter(this);

    around = new QCheckBox(tr("Autour de l'entrée :"), this);
    around->setObjectName(QStringLiteral("ck_Around"));
    around->setToolTip(tr("Ne montrer que les entrées à quelques pas de l'entrée choisie"));
    steps = new QSpinBox(this);
    steps->setObjectName(QStringLiteral("sb_Around"));
    steps->setRange(1, 20);
    steps->setValue(2);
    steps->setSuffix(tr(" pas"));
    connect(around, &QCheckBox::toggled, this, &BookMapUI::showAround);
    connect(steps, QOverload<int>::of(&QSpinBox::valueChanged), this, &BookMapUI::showAround);

    auto *bar = new QHBoxLayout;
    bar->addWidget(zoomIn);
    bar->addWidget(zoomOut);
    bar->addWidget(fit);
    bar->addWidget(reorganizeButton);
    bar->addWidget(around);
    bar->addWidget(steps);
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

void BookMapUI::setMap(MapItem *map, bool sameOverview)
{
    const QRectF before = item ? item->boundingRect() : QRectF();
    QGraphicsScene *scene = view->scene();
    if (item) {
        scene->removeItem(item);
        delete item;
    }
    item = map;
    item->setFirst(start);
    scene->addItem(item);
    scene->setSceneRect(item->boundingRect().adjusted(-20, -20, 20, 20));
    // A map opened or laid out anew is about to be looked around; one that
    // follows the book draws its picture once it stands still.
    if (!sameOverview)
        item->beginPicture();
    // Drawing the whole map in small takes longer than all the rest for a
    // large book: an entry added or changed leaves the picture as it was,
    // unless the map grew or shrank by more than a box or two at its edge.
    const QRectF now = item->boundingRect();
    const QSizeF slack = before.size() * 0.05;
    if (sameOverview && overview && before.adjusted(-slack.width(), -slack.height(), slack.width(), slack.height()).contains(now)
        && now.width() >= before.width() * 0.95 && now.height() >= before.height() * 0.95) {
        placeOverview();
        return;
    }
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
    moveOverview();
    const QSizeF map = item->boundingRect().size() * zoom();
    static_cast<MiniMap *>(overview)->frame(view->mapToScene(view->viewport()->rect()).boundingRect(),
                                            map.width() <= view->viewport()->width()
                                                && map.height() <= view->viewport()->height());
}

void BookMapUI::placeOverview()
{
    if (!overview)
        return;
    overview->raise();
    frameView();
}

void BookMapUI::moveOverview()
{
    // In the lower right corner of the map, clear of the scroll bars; in the
    // lower left one when the selected entry lies under it.
    const QRect room = view->viewport()->geometry();
    QRect corner(room.right() - overview->width() - 8, room.bottom() - overview->height() - 8, overview->width(), overview->height());
    if (selectedNode >= 0 && selectedNode < item->layout().nodes.size()) {
        const QRect box = view->mapFromScene(item->layout().nodes.at(selectedNode).box).boundingRect().translated(room.topLeft());
        if (box.intersects(corner.adjusted(-8, -8, 8, 8)))
            corner.moveLeft(room.left() + 8);
    }
    overview->move(corner.topLeft());
}

bool BookMapUI::eventFilter(QObject *watched, QEvent *event)
{
    if (embedded && watched == view->viewport() && mouse(event))
        return true;
    if (embedded && watched == view && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete && selectedEntry() >= 0) {
        emit deleteAsked(selectedEntry());
        return true;
    }
    if (watched == view->viewport() && event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int node = item->nodeAt(view->mapToScene(help->pos()));
        QString tip;
        if (node >= 0) {
            const MapLayout::Node &box = item->layout().nodes.at(node);
            if (box.missing >= 0)
                tip = tr("%1 : entrée absente (double-clic pour l'écrire)").arg(box.missing);
            else if (document && box.entry >= 0 && box.entry < document->book().size()) {
                const Entry &entry = document->book().entry(box.entry);
                const QStringList words = entry.text.simplified().split(QLatin1Char(' '));
                tip = QStringLiteral("%1 — %2%3").arg(entry.id, words.mid(0, 16).join(QLatin1Char(' ')),
                                                      words.size() > 16 ? QStringLiteral("…") : QString());
            }
        }
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, view->viewport());
        return true;
    }
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
        const int node = item->nodeAt(view->mapToScene(static_cast<QMouseEvent *>(event)->pos()));
        const MapLayout::Node *box = node >= 0 ? &item->layout().nodes.at(node) : nullptr;
        if (box && box->entry >= 0) {
            emit nodeActivated(box->entry);
            return true;
        }
        if (box && box->missing >= 0) {
            emit missingActivated(box->missing);
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

void BookMapUI::setEmbedded()
{
    embedded = true;
    setWindowFlags(Qt::Widget);
    if (auto *buttons = findChild<QDialogButtonBox *>(QStringLiteral("buttons_Map")))
        buttons->hide();
    legend->setText(legend->text()
                    + tr(" Glisser une case la déplace ; Maj + glisser depuis une case trace un choix vers une "
                         "autre case, ou vers le vide pour une nouvelle entrée ; Suppr supprime l'entrée choisie ; "
                         "Ctrl+G : aller à l'entrée."));
    refreshing = new QTimer(this);
    refreshing->setSingleShot(true);
    refreshing->setInterval(0);
    connect(refreshing, &QTimer::timeout, this, &BookMapUI::refresh);
    if (document) {
        connect(document, &BookDocument::entriesChanged, refreshing, qOverload<>(&QTimer::start));
        connect(document, &BookDocument::bookReset, refreshing, qOverload<>(&QTimer::start));
    }
}

void BookMapUI::refresh()
{
    if (!document)
        return;
    const int number = selectedEntry() >= 0 ? document->book().number(qMin(selectedEntry(), document->book().size() - 1)) : -1;
    MapLayout map = BookMap::drawing(document->book(), document->findings());
    if (!document->placeMap(&map)) {
        legend->setText(tr("Le livre a beaucoup changé depuis la mise en page de sa carte : « Réorganiser » la refait."));
        return;
    }
    const QPointF centre = view->mapToScene(view->viewport()->rect().center());
    start = document->book().firstIndex();
    selectedNode = -1;
    setMap(new MapItem(std::move(map), item), true);
    view->centerOn(centre);
    frameView();
    const int again = number >= 0 ? document->book().indexOfNumber(number) : -1;
    if (again >= 0) {
        selectedNode = again;
        markSelection();
    }
}

int BookMapUI::selectedEntry() const
{
    return selectedNode >= 0 && selectedNode < item->layout().nodes.size() ? item->layout().nodes.at(selectedNode).entry : -1;
}

void BookMapUI::selectEntry(int index)
{
    if (index >= 0 && index == selectedEntry())
        return;
    const QVector<MapLayout::Node> &nodes = item->layout().nodes;
    selectedNode = index >= 0 && index < nodes.size() && nodes.at(index).entry == index ? index : -1;
    markSelection();
    if (selectedNode >= 0) {
        const QRectF box = nodes.at(selectedNode).box;
        if (zoom() < MapItem::readable / 2)
            zoomBy(MapItem::readable / zoom());
        view->centerOn(box.center());
        frameView();
    }
}

void BookMapUI::markSelection()
{
    if (selectedNode < 0) {
        item->setMarked(-1, {}, {});
        item->setShownOnly({});
        return;
    }
    // The shortest way from the first entry, by the arrows, and the boxes
    // one arrow away either way.
    const MapLayout &map = item->layout();
    QVector<QVector<int>> next(map.nodes.size());
    QVector<int> near;
    for (const MapLayout::Edge &edge : map.edges) {
        if (edge.from < 0 || edge.to < 0)
            continue;
        next[edge.from] << edge.to;
        if (edge.from == selectedNode)
            near << edge.to;
        if (edge.to == selectedNode)
            near << edge.from;
    }
    QVector<int> way;
    if (map.first >= 0) {
        QVector<int> from(map.nodes.size(), -2);
        QVector<int> queue{map.first};
        from[map.first] = -1;
        for (int k = 0; k < queue.size() && from.at(selectedNode) == -2; ++k)
            for (int n : next.at(queue.at(k)))
                if (from.at(n) == -2) {
                    from[n] = queue.at(k);
                    queue << n;
                }
        for (int n = from.at(selectedNode) == -2 ? -1 : selectedNode; n >= 0; n = from.at(n))
            way << n;
    }
    item->setMarked(selectedNode, way, near);
    frameView();
    if (around->isChecked())
        showAround();
}

void BookMapUI::showAround()
{
    if (!around->isChecked() || selectedNode < 0) {
        item->setShownOnly({});
        return;
    }
    // Arrows either way count as one step.
    const MapLayout &map = item->layout();
    QVector<QVector<int>> links(map.nodes.size());
    for (const MapLayout::Edge &edge : map.edges)
        if (edge.from >= 0 && edge.to >= 0) {
            links[edge.from] << edge.to;
            links[edge.to] << edge.from;
        }
    QVector<int> distance(map.nodes.size(), -1);
    QVector<int> queue{selectedNode};
    distance[selectedNode] = 0;
    for (int k = 0; k < queue.size(); ++k)
        if (distance.at(queue.at(k)) < steps->value())
            for (int n : links.at(queue.at(k)))
                if (distance.at(n) < 0) {
                    distance[n] = distance.at(queue.at(k)) + 1;
                    queue << n;
                }
    QVector<bool> shown(map.nodes.size(), false);
    QRectF seen;
    for (int n : queue) {
        shown[n] = true;
        seen = seen.united(map.nodes.at(n).box);
    }
    item->setShownOnly(shown);
    // The part shown fills the view, not smaller than reading size allows.
    const QSizeF room = view->viewport()->size();
    const double fit = qMin(room.width() / (seen.width() + 40), room.height() / (seen.height() + 40));
    zoomBy(qMin(fit, 1.0) / zoom());
    view->centerOn(seen.center());
    frameView();
}

bool BookMapUI::mouse(QEvent *event)
{
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto *press = static_cast<QMouseEvent *>(event);
    const QPointF at = view->mapToScene(press->pos());
    const MapLayout &map = item->layout();
    if (type == QEvent::MouseButtonPress) {
        if (press->button() != Qt::LeftButton)
            return false;
        const int node = item->nodeAt(at);
        if (node < 0)
            return false; // the map scrolls under the hand
        pressedNode = node;
        pressedAt = at;
        dragging = false;
        linking = (press->modifiers() & Qt::ShiftModifier) && map.nodes.at(node).entry >= 0;
        if (map.nodes.at(node).entry >= 0) {
            selectedNode = node;
            markSelection();
            emit entrySelected(map.nodes.at(node).entry);
        }
        view->setFocus(Qt::MouseFocusReason);
        return true;
    }
    if (pressedNode < 0)
        return false;
    const QRectF box = map.nodes.at(pressedNode).box;
    if (type == QEvent::MouseMove) {
        if (!dragging && (view->mapFromScene(at) - view->mapFromScene(pressedAt)).manhattanLength() < QApplication::startDragDistance())
            return true;
        dragging = true;
        if (linking) {
            if (!rubber) {
                rubber = view->scene()->addLine(QLineF(), QPen(QColor(0xc6, 0x28, 0x28), 2, Qt::DashLine));
                rubber->setZValue(2);
            }
            rubber->setLine(QLineF(box.center(), at));
        } else {
            if (!ghost) {
                ghost = view->scene()->addRect(box, QPen(QColor(0x15, 0x65, 0xc0), 2, Qt::DashLine));
                ghost->setZValue(2);
            }
            ghost->setRect(box.translated(at - pressedAt));
        }
        return true;
    }
    // Released.
    const int from = pressedNode;
    pressedNode = -1;
    delete rubber;
    rubber = nullptr;
    delete ghost;
    ghost = nullptr;
    if (!dragging)
        return true;
    if (linking) {
        const int target = item->nodeAt(at);
        if (target == from)
            return true;
        const MapLayout::Node *to = target >= 0 ? &map.nodes.at(target) : nullptr;
        emit linkDrawn(map.nodes.at(from).entry, to ? to->entry : -1, to ? to->missing : -1);
        return true;
    }
    // A box moved by hand stays where it is put, and so do its arrows.
    MapLayout moved = map;
    QRectF place = box.translated(at - pressedAt);
    place.moveTopLeft(QPointF(qMax(0.0, place.left()), qMax(0.0, place.top())));
    moved.nodes[from].box = place;
    for (MapLayout::Edge &edge : moved.edges)
        if (edge.from == from || edge.to == from)
            BookMap::drawStraight(&edge, moved.nodes.at(edge.from).box, moved.nodes.at(edge.to).box);
    moved.bounds = moved.bounds.united(place.adjusted(0, 0, 20, 20));
    const int keep = selectedNode;
    setMap(new MapItem(std::move(moved), item), true);
    selectedNode = keep;
    markSelection();
    if (document)
        document->keepMapPlaces(document->book(), item->layout());
    return true;
}
