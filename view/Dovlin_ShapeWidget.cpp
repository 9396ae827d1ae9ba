#include "Dovlin_ShapeWidget.h"

#include "Dovlin_CanvasDocument.h"
#include "Dovlin_Commands.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_HierarchyView.h"
#include "Dovlin_RowsWidget.h"
#include "Dovlin_RowRaster.h"
#include "Dovlin_Shapes.h"
#include "Dovlin_ValueLabels.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <climits>
#include <cmath>
#include <utility>

Dovlin_ShapeWidget::Dovlin_ShapeWidget(QWidget *parent, Dovlin_CanvasDocument *owner)
    : QWidget(parent), m_Owner(owner), m_State(&owner->viewState())
{
    m_Font.setFamily(QStringLiteral("Arial"));
    m_Font.setPixelSize(12);
    m_ValueLabels = std::make_unique<Dovlin_ValueLabels>(m_Font);

    setMouseTracking(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::Base, Qt::black);
    setPalette(pal);

    m_ScrollBar = new QScrollBar(Qt::Horizontal, this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_ScrollBar, 0, Qt::AlignBottom);
    setLayout(layout);
    connect(m_ScrollBar, &QScrollBar::valueChanged, this, &Dovlin_ShapeWidget::shapeScrolled);
    // Moving the window or the scale draws the rows anew; moving a cursor only the cursors.
    connect(m_State, &Dovlin_ViewState::windowChanged, this, [this] { invalidatePicture(); });
    connect(m_State, &Dovlin_ViewState::cursorCountChanged, this, [this] { invalidatePicture(); });
    connect(m_State, &Dovlin_ViewState::cursorsChanged, this, [this] { update(); });

    createActions();
    createContextMenu();
}

Dovlin_ShapeWidget::~Dovlin_ShapeWidget() = default;

void Dovlin_ShapeWidget::createActions()
{
    using namespace Dovlin_Commands;
    m_ZoomInAct = Make(ZoomIn, this, &Dovlin_ShapeWidget::zoomIn);
    m_ZoomOutAct = Make(ZoomOut, this, &Dovlin_ShapeWidget::zoomOut);
    m_ZoomFullAct = Make(ZoomFull, this, &Dovlin_ShapeWidget::zoomFull);
    m_ZoomAreaAct = Make(ZoomArea, this, &Dovlin_ShapeWidget::zoomArea);
    m_NextTransAct = Make(NextTransition, this, &Dovlin_ShapeWidget::nextTrans);
    m_PrevTransAct = Make(PrevTransition, this, &Dovlin_ShapeWidget::prevTrans);
    m_ToggleDAAct = Make(ToggleDigitalAnalog, this, &Dovlin_ShapeWidget::toggleDA);
    m_AddCursorAct = Make(AddCursor, this, &Dovlin_ShapeWidget::addCursor);
    m_RemoveCursorAct = Make(RemoveCursor, this, &Dovlin_ShapeWidget::removeCursor);
}

void Dovlin_ShapeWidget::createContextMenu()
{
    m_ContextMenu = new QMenu(this);
    m_ContextMenu->addAction(m_ZoomInAct);
    m_ContextMenu->addAction(m_ZoomOutAct);
    m_ContextMenu->addAction(m_ZoomFullAct);
    m_ContextMenu->addAction(m_ZoomAreaAct);
    m_ContextMenu->addSeparator();
    m_ContextMenu->addAction(m_AddCursorAct);
    m_ContextMenu->addAction(m_RemoveCursorAct);
    m_ContextMenu->addSeparator();
    m_ContextMenu->addAction(m_NextTransAct);
    m_ContextMenu->addAction(m_PrevTransAct);
    m_ContextMenu->addSeparator();
    m_ContextMenu->addAction(m_ToggleDAAct);
}

Dovlin_RowsWidget *Dovlin_ShapeWidget::rowsWidget() const
{
    return m_Owner->rowsWidget();
}

int Dovlin_ShapeWidget::shapeScrollHeight() const
{
    return m_ScrollBar->sizeHint().height();
}

void Dovlin_ShapeWidget::ConfigScrollBar()
{
    const qint64 tickTime = m_State->currTickTime();
    const qint64 ticks = m_State->endTime() / tickTime;
    // Ticks per step of the bar, rounded up without adding: ticks may come within INT_MAX of 2^63.
    m_ScrollUnit = ticks <= INT_MAX ? 1 : 1 + (ticks - 1) / INT_MAX;
    // Settings made here describe the current window; they must not move it.
    const QSignalBlocker blocker(m_ScrollBar);
    m_ScrollBar->setRange(0, int(qMax<qint64>(0, ticks / m_ScrollUnit)));
    m_ScrollBar->setValue(int(m_State->startScopeTime() / tickTime / m_ScrollUnit));
}

void Dovlin_ShapeWidget::shapeScrolled(int value)
{
    m_State->ScrollTo(qint64(value) * m_ScrollUnit * m_State->currTickTime());
}

void Dovlin_ShapeWidget::resizeEvent(QResizeEvent *)
{
    m_State->CanvasResized();
    ConfigScrollBar();
}

void Dovlin_ShapeWidget::SortCursorTime()
{
    bool taken[m_MaxCursor] = {};
    const int n = m_State->nCursor();
    for (int p = 0; p < n; ++p) {
        int chosen = -1;
        qint64 bound = LLONG_MAX;
        for (int i = 0; i < n; ++i) {
            if (!taken[i] && (chosen < 0 || m_State->cursorTime(i) < bound)) {
                chosen = i;
                bound = m_State->cursorTime(i);
            }
        }
        taken[chosen] = true;
        m_SortedCursor[p] = chosen;
    }
}

int Dovlin_ShapeWidget::GetTimeBarHeight(int n) const
{
    if (n == -1)
        n = m_State->nCursor();
    return shapeScrollHeight() + (n + 1) * m_Owner->cursorHeight();
}

int Dovlin_ShapeWidget::GetWaveHeight(int n) const
{
    return height() - GetTimeBarHeight(n);
}

void Dovlin_ShapeWidget::invalidatePicture()
{
    m_PictureValid = false;
    update();
}

Dovlin_ShapeWidget::Theme Dovlin_ShapeWidget::Theme::Of(bool light)
{
    const auto pen = [light](unsigned int rgb) {
        return QPen(QColor(light ? Dovlin_RowRaster::LightColour(rgb) : rgb), 0);
    };
    Theme theme;
    theme.m_Light = light;
    theme.m_Brush = QBrush(light ? Qt::white : Qt::black, Qt::SolidPattern);
    theme.m_Grid = pen(0x707070);
    theme.m_Separator = pen(0x808080);
    theme.m_Tick = pen(0x00FF00);
    theme.m_DefaultCursor = pen(0xFF0000);
    theme.m_Cursor = pen(0x00FFFF);
    theme.m_Distance = pen(0xFFFFFF);
    return theme;
}

void Dovlin_ShapeWidget::paintTimeBar(QPainter *painter, const Theme &theme)
{
    const int y = GetWaveHeight(-1);
    const int w = width();
    const int cursorHeight = m_Owner->cursorHeight();
    painter->setFont(m_Font);
    const qint64 start = m_State->startScopeTime();
    const qint64 tickTime = m_State->currTickTime();
    const int zoomCo = m_State->currZoomCo();
    const qint64 firstTick = start / tickTime;
    for (int x = 0; x < w; x += zoomCo) {
        const int k = x / zoomCo;
        const qint64 n = firstTick + k;
        if (n % 10 == 0) {
            painter->setPen(theme.m_Grid);
            painter->drawLine(x, 0, x, y);
            painter->setPen(theme.m_Tick);
            painter->drawLine(x, y, x, y + cursorHeight / 4);
            if (n % 20 == 0)
                painter->drawText(x, y + m_Font.pixelSize() + 4, GetActualTimeStr(m_State->GetTime(x)));
        } else {
            painter->setPen(theme.m_Tick);
            painter->drawLine(x, y, x, y + 2);
        }
    }
    painter->setPen(theme.m_Separator);
    for (int i = 1; i <= m_State->nCursor(); ++i)
        painter->drawLine(0, y + i * cursorHeight, w, y + i * cursorHeight);
}

bool Dovlin_ShapeWidget::paintRows(QPainter *painter, const Theme &theme)
{
    Dovlin_RowsWidget *lines = rowsWidget();
    const int bottom = GetWaveHeight(-1);
    bool damageFound = false;
    // Only lines in view have rows; the walk ends at the first row that reaches the time bar.
    for (QTreeWidgetItem *item = lines->itemAt(QPoint(1, 0)); item; item = lines->itemBelow(item)) {
        QRect rect = lines->visualItemRect(item);
        if (rect.bottom() >= bottom)
            break;
        const Dovlin_RowsWidget::Look look = lines->LookOf(item);
        if (look.m_Divider) {
            painter->setPen(theme.m_Separator);
            painter->drawLine(0, rect.center().y(), width(), rect.center().y());
        }
        if (!look.m_Node)
            continue;
        rect.setLeft(0);
        rect.setRight(width());
        const Dovlin_Shapes::Row row = Dovlin_Shapes::paintRow(this, painter, rect, look.m_Node, look.m_Radix, look.m_Digital,
                                                                        theme.m_Light);
        damageFound = damageFound || row == Dovlin_Shapes::Row::FoundDamage;
    }
    return damageFound;
}

void Dovlin_ShapeWidget::renderPicture()
{
    ConfigScrollBar();
    const qreal ratio = devicePixelRatioF();
    // The picture of the same size is drawn over again: fresh megabytes would cost page faults.
    if (m_Picture.size() != size() * ratio || m_Picture.devicePixelRatio() != ratio) {
        m_Picture = QImage(size() * ratio, QImage::Format_RGB32);
        m_Picture.setDevicePixelRatio(ratio);
    }
    // A row that finds its signal damaged may be drawn in part: the picture is drawn again, which
    // leaves that row, and a bus or scope row above it, empty.
    bool damageFound = false;
    do {
        m_Picture.fill(Qt::black);
        QPainter painter(&m_Picture);
        paintTimeBar(&painter, m_Screen);
        damageFound = paintRows(&painter, m_Screen);
    } while (damageFound);
    m_PictureValid = true;
    ++m_PictureRenders;
}

void Dovlin_ShapeWidget::paintView(QPainter *painter, bool light)
{
    const Theme theme = Theme::Of(light);
    // Drawn again over a row drawn in part, as renderPicture does.
    do {
        painter->fillRect(rect(), theme.m_Brush);
        paintTimeBar(painter, theme);
    } while (paintRows(painter, theme));
    paintCursors(painter, theme);
}

void Dovlin_ShapeWidget::paintEvent(QPaintEvent *)
{
    if (!m_PictureValid || m_Picture.deviceIndependentSize().toSize() != size())
        renderPicture();
    QPainter painter(this);
    painter.drawImage(0, 0, m_Picture);
    paintSelectedRow(&painter);
    paintCursors(&painter, m_Screen);
    if (m_ZoomBandVisible) {
        painter.setPen(m_ZoomPen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(m_ZoomRect.normalized());
    }
}

void Dovlin_ShapeWidget::paintSelectedRow(QPainter *painter)
{
    Dovlin_RowsWidget *tree = rowsWidget();
    QTreeWidgetItem *item = tree->currentItem();
    if (!item || !item->isSelected())
        return;
    const QRect line = tree->visualItemRect(item);
    const QRect rows(0, tree->rowOffset(), width(), tree->viewport()->height());
    const QRect band = QRect(0, line.top(), width(), line.height()) & rows;
    if (!band.isEmpty())
        painter->fillRect(band, QColor(255, 255, 255, 48));
}

void Dovlin_ShapeWidget::paintCursor(QPainter *painter, int index, const Theme &theme)
{
    painter->setFont(m_Font);
    painter->setBrush(theme.m_Brush);
    const qint64 time = m_State->cursorTime(index);
    const int x = m_State->TimeToX(time);
    const int y = GetWaveHeight(index);
    m_CursorPos[index] = QPoint(x, y);

    const QString text = GetActualTimeStr(time);
    const QRect bounds = painter->boundingRect(QRect(0, 0, 0, 0), Qt::AlignCenter, text);
    m_CursorLabelSize[index] = bounds.size();
    const int hw = bounds.width() / 2 + 1;

    if (time < m_State->startScopeTime())
        return;
    painter->setPen(index == m_State->defaultCursor() ? theme.m_DefaultCursor : theme.m_Cursor);
    painter->drawLine(x, 0, x, y);
    painter->drawRect(QRect(QPoint(x - hw, y + 2), QPoint(x + hw - 1, y + m_Owner->cursorHeight() - 3)));
    painter->setPen(theme.m_Cursor);
    painter->drawText(x - hw, y + m_Font.pixelSize() + 3, text);
}

void Dovlin_ShapeWidget::paintCursors(QPainter *painter, const Theme &theme)
{
    for (int i = 0; i < m_State->nCursor(); ++i)
        paintCursor(painter, i, theme);
    paintCursorDistances(painter, theme);
}

void Dovlin_ShapeWidget::paintCursorDistances(QPainter *painter, const Theme &theme)
{
    const int f = m_Font.pixelSize() + 3;
    const int half = m_Owner->cursorHeight() / 2;
    painter->setPen(theme.m_Distance);
    painter->setFont(m_Font);
    painter->setBrush(theme.m_Brush);
    SortCursorTime();
    for (int j = 0; j + 1 < m_State->nCursor(); ++j) {
        const int a = m_SortedCursor[j];
        const int b = m_SortedCursor[j + 1];
        const int xa = m_CursorPos[a].x(), ya = m_CursorPos[a].y();
        const int xb = m_CursorPos[b].x(), yb = m_CursorPos[b].y();
        const QString text = GetActualTimeStr(m_State->cursorTime(b) - m_State->cursorTime(a));
        const QRect measured = painter->boundingRect(QRect(QPoint(0, 0), QPoint(1, 1)), Qt::AlignCenter, text);
        const int tw = measured.right() - measured.left();

        if (ya <= yb) {
            const int hw = m_CursorLabelSize[a].width() / 2 + 1;
            const int l = xa + hw;
            if (xb - xa > hw)
                painter->drawLine(l + 1, ya + half, xb, ya + half);
            if (tw + 3 < xb - l) {
                const int x = (l + xb - (tw + 1)) / 2 + 1;
                painter->fillRect(QRect(QPoint(x, ya + 1), QPoint(x + tw, yb - 2)), theme.m_Brush);
                painter->drawText(x, ya + f, text);
            } else {
                painter->drawText(qMax(l, xb) + 1, ya + f, text);
            }
        } else {
            const int hw = m_CursorLabelSize[b].width() / 2 + 1;
            const int r = xb - hw;
            if (xb - xa > hw)
                painter->drawLine(xa + 1, yb + half, r - 1, yb + half);
            if (tw + 3 < r - xa) {
                const int x = (r + xa - (tw + 1)) / 2 + 1;
                painter->fillRect(QRect(QPoint(x, yb + 1), QPoint(x + tw, ya - 2)), theme.m_Brush);
                painter->drawText(x, yb + f, text);
            } else {
                painter->drawText(qMin(xa, r) - tw - 2, yb + f, text);
            }
        }
    }
}

bool Dovlin_ShapeWidget::ConfigPopupMenu(QTreeWidgetItem *item)
{
    if (!item)
        return false;
    m_ContextHierarchy = Dovlin_HierarchyView::GetHierarchy(item);
    m_ContextLine = item;
    return m_ContextHierarchy != nullptr;
}

void Dovlin_ShapeWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    setFocus(Qt::OtherFocusReason);
    const int x = event->position().toPoint().x();
    if (m_Owner->isZoomingArea()) {
        m_ZoomRect = QRect(QPoint(x, 0), QPoint(x, height()));
        return;
    }
    const int n = m_State->nCursor();
    if (n == 0)
        return;
    const qint64 t = GetTime(x);
    int chosen = 0;
    quint64 best = ULLONG_MAX;
    for (int i = 0; i < n; ++i) {
        const qint64 d = m_State->cursorTime(i) - t;
        const quint64 distance = d < 0 ? 0 - quint64(d) : quint64(d);
        if (distance < best) {
            best = distance;
            chosen = i;
        }
    }
    m_State->setDefaultCursor(chosen);
    m_State->setCursorTime(chosen, t);
}

void Dovlin_ShapeWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const int x = event->position().toPoint().x();
    if (m_Owner->isZoomingArea()) {
        m_ZoomRect.setRight(x);
        m_ZoomBandVisible = true;
        update();
        return;
    }
    if (m_State->nCursor() == 0)
        return;
    m_State->setCursorTime(m_State->defaultCursor(), qMax<qint64>(0, GetTime(x)));
}

void Dovlin_ShapeWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_Owner->isZoomingArea() || event->button() != Qt::LeftButton)
        return;
    const int x = event->position().toPoint().x();
    m_ZoomRect.setRight(x);
    m_ZoomBandVisible = false;
    update();
    const int left = qMin(m_ZoomRect.left(), x);
    const int right = qMax(m_ZoomRect.left(), x);
    m_Owner->endZoomingArea();
    ZoomTime2Time(GetTime(left), GetTime(right));
}

void Dovlin_ShapeWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_ContextHierarchy = rowsWidget()->LookOf(rowsWidget()->itemAtY(event->position().toPoint().y())).m_Node;
    if (!m_ContextHierarchy)
        return;
    if (event->modifiers() & Qt::ShiftModifier)
        prevTrans();
    else
        nextTrans();
}

// Shift scrolls along the time axis and Ctrl zooms about the time under the pointer, as other
// viewers do; the plain wheel keeps its own zoom.
void Dovlin_ShapeWidget::wheelEvent(QWheelEvent *event)
{
    // Some platforms turn Shift+wheel into a horizontal wheel.
    const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    if (event->modifiers() & Qt::ShiftModifier) {
        const qint64 visible = qMax<qint64>(
            1, (m_State->endScopeTime() - m_State->startScopeTime()) / m_State->currTickTime() / m_ScrollUnit);
        const qint64 step = qMax<qint64>(1, visible / 10);
        const qint64 move = delta > 0 ? -step : delta < 0 ? step : 0;
        // The bar may still describe the window before a zoom that has not been painted yet.
        ConfigScrollBar();
        m_ScrollBar->setValue(int(qBound(qint64(m_ScrollBar->minimum()), m_ScrollBar->value() + move,
                                         qint64(m_ScrollBar->maximum()))));
        event->accept();
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        if (delta != 0)
            m_State->ZoomAbout(qBound(0, int(event->position().x()), qMax(0, width() - 1)), delta > 0);
        event->accept();
        return;
    }
    if (delta >= 0)
        zoomOut();
    else
        zoomIn();
    event->ignore();
}

bool Dovlin_ShapeWidget::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    if (!m_ShowSignalTip)
        return true;
    auto *help = static_cast<QHelpEvent *>(event);
    const qint64 t = GetTime(help->pos().x());
    QToolTip::showText(help->globalPos(), rowsWidget()->GetSignalState(help->pos(), t), this);
    return QWidget::event(event);
}

void Dovlin_ShapeWidget::contextMenuEvent(QContextMenuEvent *event)
{
    if (ConfigPopupMenu(rowsWidget()->itemAtY(event->pos().y())))
        m_ContextMenu->exec(event->globalPos());
    // A menu closed without a choice must not leave its node to a later command (or a reload).
    m_ContextHierarchy = nullptr;
    m_ContextLine = nullptr;
}

void Dovlin_ShapeWidget::nextTrans()
{
    moveToChange(std::exchange(m_ContextHierarchy, nullptr), true);
}

void Dovlin_ShapeWidget::prevTrans()
{
    moveToChange(std::exchange(m_ContextHierarchy, nullptr), false);
}

bool Dovlin_ShapeWidget::moveToChange(Dovlin_Hierarchy *node, bool next)
{
    if (!node || m_State->nCursor() == 0)
        return false;
    const int cursor = m_State->defaultCursor();
    const qint64 from = m_State->cursorTime(cursor);
    const qint64 t = next ? node->GetNextChangeTime(from) : node->GetPrevChangeTime(from);
    if (t < 0)
        return false;
    m_State->setCursorTime(cursor, t);
    m_State->ShowTime(t);
    return true;
}

void Dovlin_ShapeWidget::toggleDA()
{
    QTreeWidgetItem *line = std::exchange(m_ContextLine, nullptr);
    if (std::exchange(m_ContextHierarchy, nullptr))
        m_Owner->toggleRowDisplay(line);
}

void Dovlin_ShapeWidget::addCursor()
{
    m_State->addCursor();
}

void Dovlin_ShapeWidget::removeCursor()
{
    m_State->removeCursor();
}

void Dovlin_ShapeWidget::zoomIn()
{
    m_State->zoomIn();
}

void Dovlin_ShapeWidget::zoomOut()
{
    m_State->zoomOut();
}

void Dovlin_ShapeWidget::zoomFull()
{
    m_State->zoomFull();
}

void Dovlin_ShapeWidget::zoomArea()
{
    m_Owner->zoomArea();
}
