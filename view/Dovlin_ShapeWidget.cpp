#include "Dovlin_ShapeWidget.h"

#include "Dovlin_RowRaster.h"

#include "DovlinWidget.h"
#include "Dovlin_ExtraWidget.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_HierarchyView.h"
#include "Dovlin_NameWidget.h"
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

namespace {
// Pixel coordinates far outside the canvas are pinned here; QPainter takes them, int math does not overflow.
constexpr qint64 PixelLimit = qint64(1) << 28;

int clampPixel(long double x)
{
    if (x > PixelLimit)
        return int(PixelLimit);
    if (x < -PixelLimit)
        return int(-PixelLimit);
    return int(x);
}
}

Dovlin_ShapeWidget::Dovlin_ShapeWidget(QWidget *parent, DovlinWidget *owner)
    : QWidget(parent), m_Owner(owner)
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

    createActions();
    createContextMenu();
}

Dovlin_ShapeWidget::~Dovlin_ShapeWidget() = default;

void Dovlin_ShapeWidget::createActions()
{
    auto make = [this](const QString &text, const QString &icon, const QString &shortcut, const QString &tip,
                       void (Dovlin_ShapeWidget::*slot)()) {
        auto *action = icon.isEmpty() ? new QAction(text, this) : new QAction(QIcon(icon), text, this);
        if (!shortcut.isEmpty())
            action->setShortcut(QKeySequence(shortcut));
        action->setStatusTip(tip);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    m_ZoomInAct = make(tr("Zoom &In"), ":/images/zoom_in.png", tr("Ctrl+I"), tr("Zoom In"), &Dovlin_ShapeWidget::zoomIn);
    m_ZoomOutAct =
        make(tr("Zoom &Out"), ":/images/zoom_out.png", tr("Ctrl+U"), tr("Zoom Out"), &Dovlin_ShapeWidget::zoomOut);
    m_ZoomFullAct = make(tr("Zoom &Full"), ":/images/zoom_full.png", tr("Ctrl+F"), tr("Zoom Full"),
                         &Dovlin_ShapeWidget::zoomFull);
    m_ZoomAreaAct = make(tr("Zoom &Area"), QString(), tr("Ctrl+A"), tr("Zoom Area"), &Dovlin_ShapeWidget::zoomArea);
    m_NextTransAct = make(tr("&Next Transaction"), ":/images/navigate_right.png", QString(), tr("Next Transaction"),
                          &Dovlin_ShapeWidget::nextTrans);
    m_PrevTransAct = make(tr("&Prev Transaction"), ":/images/navigate_left.png", QString(),
                          tr("Previous Transaction"), &Dovlin_ShapeWidget::prevTrans);
    m_ToggleDAAct = make(tr("&Toggle Digital/Analog"), QString(), QString(), tr("Toggle Digital/Analog"),
                         &Dovlin_ShapeWidget::toggleDA);
    m_AddCursorAct = make(tr("&Add Cursor"), ":/images/step_add.png", tr("F8"), tr("Add Cursor"),
                          &Dovlin_ShapeWidget::addCursor);
    m_RemoveCursorAct = make(tr("&Remove Cursor"), ":/images/step_delete.png", tr("F7"), tr("Remove Cursor"),
                             &Dovlin_ShapeWidget::removeCursor);
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

Dovlin_NameWidget *Dovlin_ShapeWidget::nameWidget() const
{
    return m_Owner->nameWidget();
}

int Dovlin_ShapeWidget::shapeScrollHeight() const
{
    return m_ScrollBar->sizeHint().height();
}

namespace {
// A time computed in extended precision, held to the 64-bit range: windows may reach past the
// largest time a dump can hold.
qint64 clampTime(long double time)
{
    constexpr long double limit = 9223372036854775807.0L;
    if (time >= limit)
        return LLONG_MAX;
    if (time <= -limit)
        return -LLONG_MAX;
    return qint64(time);
}

qint64 addTime(qint64 a, qint64 b)
{
    qint64 sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? (b > 0 ? LLONG_MAX : -LLONG_MAX) : sum;
}
}

qint64 Dovlin_ShapeWidget::GetTime(int x) const
{
    return clampTime((long double)x * m_TickTime / m_ZoomCo + m_StartScopeTime);
}

int Dovlin_ShapeWidget::TimeToX(qint64 time) const
{
    const __int128 x = (__int128(time) - m_StartScopeTime) * m_ZoomCo / m_TickTime;
    if (x > PixelLimit)
        return int(PixelLimit);
    if (x < -PixelLimit)
        return int(-PixelLimit);
    return int(x);
}

void Dovlin_ShapeWidget::ZoomTime2Time(qint64 start, qint64 end)
{
    const qint64 endTime = m_Owner->endTime();
    // Nothing lies before time 0; a window that did would make spans overflow near the largest time.
    start = qMax<qint64>(start, 0);
    if (start >= endTime || end <= start)
        return;
    if (end > endTime)
        end = endTime;
    m_ZoomRatio = m_ZoomRatio * (double(m_EndScopeTime) - double(m_StartScopeTime)) / double(end - start);
    m_EndScopeTime = end;
    m_StartScopeTime = start;
    CalcTick();
    update(true);
}

void Dovlin_ShapeWidget::ShowTime(qint64 time)
{
    if (time >= m_StartScopeTime && time < m_EndScopeTime) {
        update(false);
        return;
    }
    const qint64 half = (m_EndScopeTime - m_StartScopeTime) / 2;
    const qint64 start = qMax<qint64>(0, time - half);
    m_StartScopeTime = start / m_TickTime * m_TickTime;
    m_EndScopeTime = GetTime(width());
    update(true);
}

Dovlin_ShapeWidget::View Dovlin_ShapeWidget::CurrentView() const
{
    return View{m_StartScopeTime, m_EndScopeTime, m_TickTime, m_ZoomCo, m_ZoomRatio};
}

void Dovlin_ShapeWidget::RestoreView(const View &view)
{
    m_StartScopeTime = view.m_Start;
    m_TickTime = view.m_TickTime;
    m_ZoomCo = view.m_ZoomCo;
    m_ZoomRatio = view.m_ZoomRatio;
    // The canvas may have changed its width since: the scale stays, the right edge follows.
    m_EndScopeTime = GetTime(width());
    update(true);
}

void Dovlin_ShapeWidget::CalcTick()
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0)
        return;
    const qint64 span = m_EndScopeTime - m_StartScopeTime;

    if (m_ZoomRatio >= 1.0) {
        m_TickTime = 1;
        m_ZoomCo = int(qMin<qint64>(w / span, INT_MAX));
        if (m_ZoomCo < m_TickSpacings[0])
            m_ZoomCo = m_TickSpacings[0];
    } else {
        int best = -1;
        long double bestError = 0;
        long double bestStep = 0;
        for (int i = 0; i < 3; ++i) {
            const int spacing = m_TickSpacings[i];
            const int n = w / spacing;
            // A spacing wider than the canvas gives no tick at all.
            if (n == 0)
                continue;
            const long double q = (long double)span / n;
            const long double r = std::trunc(q);
            long double v = q;
            int e = 0;
            while (v >= 10) {
                v /= 10;
                ++e;
            }
            const long double unit = std::pow(10.0L, e);
            long double step;
            if (v <= 1)
                step = unit;
            else if (v <= 2)
                step = 2 * unit;
            else if (v <= 5)
                step = 5 * unit;
            else
                step = 10 * unit;
            const long double error = (step - r) / step;
            if (best < 0 || error < bestError) {
                best = i;
                bestError = error;
                bestStep = step;
            }
        }
        if (best >= 0) {
            m_TickTime = qMax<qint64>(1, clampTime(bestStep));
            m_ZoomCo = m_TickSpacings[best];
        }
    }
    m_StartScopeTime = (m_StartScopeTime / m_TickTime) * m_TickTime;
    m_EndScopeTime = GetTime(w);
}

void Dovlin_ShapeWidget::ConfigScrollBar()
{
    const qint64 ticks = m_Owner->endTime() / m_TickTime;
    m_ScrollUnit = qMax<qint64>(1, (ticks + INT_MAX - 1) / INT_MAX);
    // Settings made here describe the current window; they must not move it.
    const QSignalBlocker blocker(m_ScrollBar);
    m_ScrollBar->setRange(0, int(qMax<qint64>(0, ticks / m_ScrollUnit)));
    m_ScrollBar->setValue(int(m_StartScopeTime / m_TickTime / m_ScrollUnit));
}

void Dovlin_ShapeWidget::shapeScrolled(int value)
{
    m_StartScopeTime = qint64(value) * m_ScrollUnit * m_TickTime;
    m_EndScopeTime = GetTime(width());
    update(true);
}

void Dovlin_ShapeWidget::resizeEvent(QResizeEvent *)
{
    m_EndScopeTime = GetTime(width());
    ConfigScrollBar();
    update(true);
}

QString Dovlin_ShapeWidget::GetActualTimeStr(qint64 time) const
{
    if (time <= 0)
        return QStringLiteral(" %1 ").arg(time);
    static const char prefixes[] = "GMKsmunpf";
    const int timeBase = m_Owner->timeBase();
    int i = 3 - timeBase / 3;
    if (timeBase % 3 != 0 || i < 0 || i > 8)
        return QStringLiteral(" %1e%2s ").arg(time).arg(timeBase);
    while (i > 0 && time % 1000 == 0) {
        time /= 1000;
        --i;
    }
    return QStringLiteral(" %1%2 ").arg(time).arg(QLatin1Char(prefixes[i]));
}

void Dovlin_ShapeWidget::SortCursorTime()
{
    bool taken[m_MaxCursor] = {};
    const int n = m_Owner->nCursor();
    for (int p = 0; p < n; ++p) {
        int chosen = -1;
        qint64 bound = LLONG_MAX;
        for (int i = 0; i < n; ++i) {
            if (!taken[i] && (chosen < 0 || m_Owner->cursorTime(i) < bound)) {
                chosen = i;
                bound = m_Owner->cursorTime(i);
            }
        }
        taken[chosen] = true;
        m_SortedCursor[p] = chosen;
    }
}

int Dovlin_ShapeWidget::GetTimeBarHeight(int n) const
{
    if (n == -1)
        n = m_Owner->nCursor();
    return shapeScrollHeight() + (n + 1) * m_Owner->cursorHeight();
}

int Dovlin_ShapeWidget::GetWaveHeight(int n) const
{
    return height() - GetTimeBarHeight(n);
}

void Dovlin_ShapeWidget::update(bool dropPicture)
{
    if (dropPicture)
        m_PictureValid = false;
    QWidget::update();
}

void Dovlin_ShapeWidget::UpdateSignalState()
{
    nameWidget()->UpdateVisibleSignalStates();
}

void Dovlin_ShapeWidget::UpdateTimeBar(QPainter *painter)
{
    const int y = GetWaveHeight(-1);
    const int w = width();
    const int cursorHeight = m_Owner->cursorHeight();
    painter->setFont(m_Font);
    const qint64 firstTick = m_StartScopeTime / m_TickTime;
    for (int x = 0; x < w; x += m_ZoomCo) {
        const int k = x / m_ZoomCo;
        const qint64 n = firstTick + k;
        if (n % 10 == 0) {
            painter->setPen(m_GridPen);
            painter->drawLine(x, 0, x, y);
            painter->setPen(m_TickPen);
            painter->drawLine(x, y, x, y + cursorHeight / 4);
            if (n % 20 == 0)
                painter->drawText(x, y + m_Font.pixelSize() + 4, GetActualTimeStr(clampTime(
                                                                   m_StartScopeTime + (long double)k * m_TickTime)));
        } else {
            painter->setPen(m_TickPen);
            painter->drawLine(x, y, x, y + 2);
        }
    }
    painter->setPen(m_SeparatorPen);
    for (int i = 1; i <= m_Owner->nCursor(); ++i)
        painter->drawLine(0, y + i * cursorHeight, w, y + i * cursorHeight);
}

void Dovlin_ShapeWidget::UpdateSignalShape(QPainter *painter)
{
    Dovlin_NameWidget *tree = nameWidget();
    // Only lines in view have rows; the walk ends at the first row that reaches the time bar.
    for (QTreeWidgetItem *item = tree->itemAt(QPoint(1, 0)); item; item = tree->itemBelow(item)) {
        Dovlin_Hierarchy *node = Dovlin_HierarchyView::GetHierarchy(item);
        if (node && !node->UpdateSignalShape(this, tree, painter))
            break;
    }
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
    m_Picture.fill(Qt::black);
    QPainter painter(&m_Picture);
    UpdateTimeBar(&painter);
    UpdateSignalShape(&painter);
    m_PictureValid = true;
    ++m_PictureRenders;
}

void Dovlin_ShapeWidget::paintView(QPainter *painter, bool light)
{
    QPen *const pens[] = {&m_BlackPen, &m_GridPen, &m_SeparatorPen, &m_TickPen,
                          &m_DefaultCursorPen, &m_CursorPen, &m_DistancePen};
    QList<QPen> screenPens;
    const QBrush screenBrush = m_Brush;
    if (light) {
        for (QPen *pen : pens) {
            screenPens << *pen;
            pen->setColor(QColor(Dovlin_RowRaster::LightColour(pen->color().rgb() & 0xFFFFFFu)));
        }
        m_Brush.setColor(Qt::white);
    }
    m_LightTheme = light;
    painter->fillRect(rect(), light ? Qt::white : Qt::black);
    UpdateTimeBar(painter);
    UpdateSignalShape(painter);
    UpdateCursor(painter);
    m_LightTheme = false;
    for (int i = 0; i < screenPens.size(); ++i)
        *pens[i] = screenPens.at(i);
    m_Brush = screenBrush;
}

void Dovlin_ShapeWidget::paintEvent(QPaintEvent *)
{
    if (!m_PictureValid || m_Picture.deviceIndependentSize().toSize() != size())
        renderPicture();
    QPainter painter(this);
    painter.drawImage(0, 0, m_Picture);
    UpdateCursor(&painter);
    if (m_ZoomBandVisible) {
        painter.setPen(m_ZoomPen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(m_ZoomRect.normalized());
    }
    m_Owner->extraWidget()->update();
}

void Dovlin_ShapeWidget::UpdateCursor(QPainter *painter, int index, bool selected)
{
    painter->setFont(m_Font);
    painter->setBrush(m_Brush);
    const qint64 time = m_Owner->cursorTime(index);
    const int x = clampPixel(((long double)time - m_StartScopeTime) * m_ZoomCo / m_TickTime);
    const int y = GetWaveHeight(index);
    m_CursorPos[index] = QPoint(x, y);

    const QString text = GetActualTimeStr(time);
    const QRect bounds = painter->boundingRect(QRect(0, 0, 0, 0), Qt::AlignCenter, text);
    m_CursorLabelSize[index] = bounds.size();
    const int hw = bounds.width() / 2 + 1;

    if (time < m_StartScopeTime)
        return;
    painter->setPen(index == m_Owner->defaultCursor() ? m_DefaultCursorPen : m_CursorPen);
    painter->drawLine(x, 0, x, y);
    painter->drawRect(QRect(QPoint(x - hw, y + 2), QPoint(x + hw - 1, y + m_Owner->cursorHeight() - 3)));
    painter->setPen(selected ? m_CursorPen : m_BlackPen);
    painter->drawText(x - hw, y + m_Font.pixelSize() + 3, text);
}

void Dovlin_ShapeWidget::UpdateCursor(QPainter *painter)
{
    for (int i = 0; i < m_Owner->nCursor(); ++i)
        UpdateCursor(painter, i, true);
    UpdateCursorTimeDist(painter);
}

void Dovlin_ShapeWidget::UpdateCursorTimeDist(QPainter *painter)
{
    const int f = m_Font.pixelSize() + 3;
    const int half = m_Owner->cursorHeight() / 2;
    painter->setPen(m_DistancePen);
    painter->setFont(m_Font);
    painter->setBrush(m_Brush);
    SortCursorTime();
    for (int j = 0; j + 1 < m_Owner->nCursor(); ++j) {
        const int a = m_SortedCursor[j];
        const int b = m_SortedCursor[j + 1];
        const int xa = m_CursorPos[a].x(), ya = m_CursorPos[a].y();
        const int xb = m_CursorPos[b].x(), yb = m_CursorPos[b].y();
        const QString text = GetActualTimeStr(m_Owner->cursorTime(b) - m_Owner->cursorTime(a));
        const QRect measured = painter->boundingRect(QRect(QPoint(0, 0), QPoint(1, 1)), Qt::AlignCenter, text);
        const int tw = measured.right() - measured.left();

        if (ya <= yb) {
            const int hw = m_CursorLabelSize[a].width() / 2 + 1;
            const int l = xa + hw;
            if (xb - xa > hw)
                painter->drawLine(l + 1, ya + half, xb, ya + half);
            if (tw + 3 < xb - l) {
                const int x = (l + xb - (tw + 1)) / 2 + 1;
                painter->fillRect(QRect(QPoint(x, ya + 1), QPoint(x + tw, yb - 2)), m_Brush);
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
                painter->fillRect(QRect(QPoint(x, yb + 1), QPoint(x + tw, ya - 2)), m_Brush);
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
    const int n = m_Owner->nCursor();
    if (n == 0)
        return;
    const qint64 t = GetTime(x);
    int chosen = 0;
    quint64 best = ULLONG_MAX;
    for (int i = 0; i < n; ++i) {
        const qint64 d = m_Owner->cursorTime(i) - t;
        const quint64 distance = d < 0 ? 0 - quint64(d) : quint64(d);
        if (distance < best) {
            best = distance;
            chosen = i;
        }
    }
    m_Owner->setDefaultCursor(chosen);
    m_Owner->setCursorTime(chosen, t);
    update(false);
}

void Dovlin_ShapeWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const int x = event->position().toPoint().x();
    if (m_Owner->isZoomingArea()) {
        m_ZoomRect.setRight(x);
        m_ZoomBandVisible = true;
        update(false);
        return;
    }
    if (m_Owner->nCursor() == 0)
        return;
    m_Owner->setCursorTime(m_Owner->defaultCursor(), qMax<qint64>(0, GetTime(x)));
    update(false);
    UpdateSignalState();
}

void Dovlin_ShapeWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_Owner->isZoomingArea()) {
        if (m_Owner->nCursor() > 0)
            UpdateSignalState();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const int x = event->position().toPoint().x();
    m_ZoomRect.setRight(x);
    m_ZoomBandVisible = false;
    update(false);
    const int left = qMin(m_ZoomRect.left(), x);
    const int right = qMax(m_ZoomRect.left(), x);
    m_Owner->endZoomingArea();
    ZoomTime2Time(GetTime(left), GetTime(right));
}

void Dovlin_ShapeWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeWidgetItem *item = nameWidget()->itemAtY(event->position().toPoint().y());
    if (!item)
        return;
    m_ContextHierarchy = Dovlin_HierarchyView::GetHierarchy(item);
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
        const qint64 visible = qMax<qint64>(1, (m_EndScopeTime - m_StartScopeTime) / m_TickTime / m_ScrollUnit);
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
        const int x = qBound(0, int(event->position().x()), qMax(0, width() - 1));
        const qint64 anchor = GetTime(x);
        if (delta > 0)
            zoomIn();
        else if (delta < 0)
            zoomOut();
        // Back to the tick nearest to where the anchor stays under the pointer.
        const long double start = (long double)anchor - (long double)x * m_TickTime / m_ZoomCo;
        const qint64 snapped = clampTime(std::floor(start / m_TickTime + 0.5L) * m_TickTime);
        m_StartScopeTime = qBound<qint64>(0, snapped, m_Owner->endTime());
        m_EndScopeTime = GetTime(width());
        update(true);
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
    QToolTip::showText(help->globalPos(), nameWidget()->GetSignalState(help->pos(), t, true), this);
    return QWidget::event(event);
}

void Dovlin_ShapeWidget::contextMenuEvent(QContextMenuEvent *event)
{
    if (ConfigPopupMenu(nameWidget()->itemAtY(event->pos().y())))
        m_ContextMenu->exec(event->globalPos());
    // A menu closed without a choice must not leave its node to a later command (or a reload).
    m_ContextHierarchy = nullptr;
}

void Dovlin_ShapeWidget::nextTrans()
{
    moveToChange(true);
}

void Dovlin_ShapeWidget::prevTrans()
{
    moveToChange(false);
}

void Dovlin_ShapeWidget::moveToChange(bool next)
{
    if (!m_ContextHierarchy || m_Owner->nCursor() == 0)
        return;
    const int cursor = m_Owner->defaultCursor();
    const qint64 from = m_Owner->cursorTime(cursor);
    const qint64 t = next ? m_ContextHierarchy->GetNextChangeTime(from) : m_ContextHierarchy->GetPrevChangeTime(from);
    m_ContextHierarchy = nullptr;
    if (t < 0)
        return;
    m_Owner->setCursorTime(cursor, t);
    update(false);
    UpdateSignalState();
}

void Dovlin_ShapeWidget::toggleDA()
{
    if (!m_ContextHierarchy)
        return;
    m_ContextHierarchy->m_Digital = !m_ContextHierarchy->m_Digital;
    m_ContextHierarchy = nullptr;
    m_Owner->setModified(true);
    update(true);
}

void Dovlin_ShapeWidget::addCursor()
{
    m_Owner->addCursor();
}

void Dovlin_ShapeWidget::removeCursor()
{
    m_Owner->removeCursor();
}

void Dovlin_ShapeWidget::zoomIn()
{
    ZoomTime2Time(m_StartScopeTime, m_StartScopeTime + (m_EndScopeTime - m_StartScopeTime) / 2);
}

void Dovlin_ShapeWidget::zoomOut()
{
    const qint64 span = m_EndScopeTime - m_StartScopeTime;
    ZoomTime2Time(m_StartScopeTime, addTime(m_StartScopeTime, addTime(span, span)));
}

void Dovlin_ShapeWidget::zoomFull()
{
    ZoomTime2Time(0, m_Owner->endTime());
}

void Dovlin_ShapeWidget::zoomArea()
{
    m_Owner->zoomArea();
}
