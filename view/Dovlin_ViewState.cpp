#include "Dovlin_ViewState.h"

#include <QtGlobal>

#include <climits>
#include <cmath>

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

Dovlin_ViewState::Dovlin_ViewState(QObject *parent) : QObject(parent) {}

void Dovlin_ViewState::SetFile(qint64 endTime, int timeBase)
{
    m_EndTime = endTime;
    m_TimeBase = timeBase;
    Q_EMIT windowChanged();
}

QSize Dovlin_ViewState::canvasSize() const
{
    return m_CanvasSize ? m_CanvasSize() : QSize();
}

void Dovlin_ViewState::CanvasResized()
{
    m_EndScopeTime = GetTime(canvasSize().width());
    Q_EMIT windowChanged();
}

qint64 Dovlin_ViewState::GetTime(int x) const
{
    return clampTime((long double)x * m_TickTime / m_ZoomCo + m_StartScopeTime);
}

int Dovlin_ViewState::TimeToX(qint64 time) const
{
    const __int128 x = (__int128(time) - m_StartScopeTime) * m_ZoomCo / m_TickTime;
    if (x > m_PixelLimit)
        return int(m_PixelLimit);
    if (x < -m_PixelLimit)
        return int(-m_PixelLimit);
    return int(x);
}

void Dovlin_ViewState::ZoomTime2Time(qint64 start, qint64 end)
{
    // Nothing lies before time 0; a window that did would make spans overflow near the largest time.
    start = qMax<qint64>(start, 0);
    if (start >= m_EndTime || end <= start)
        return;
    if (end > m_EndTime)
        end = m_EndTime;
    m_ZoomRatio = m_ZoomRatio * (double(m_EndScopeTime) - double(m_StartScopeTime)) / double(end - start);
    m_EndScopeTime = end;
    m_StartScopeTime = start;
    CalcTick();
    Q_EMIT windowChanged();
}

void Dovlin_ViewState::CalcTick()
{
    const QSize canvas = canvasSize();
    const int w = canvas.width();
    if (w <= 0 || canvas.height() <= 0)
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

void Dovlin_ViewState::ShowTime(qint64 time)
{
    if (time >= m_StartScopeTime && time < m_EndScopeTime)
        return;
    const qint64 half = (m_EndScopeTime - m_StartScopeTime) / 2;
    ScrollTo(qMax<qint64>(0, time - half) / m_TickTime * m_TickTime);
}

void Dovlin_ViewState::ScrollTo(qint64 start)
{
    m_StartScopeTime = start;
    m_EndScopeTime = GetTime(canvasSize().width());
    Q_EMIT windowChanged();
}

Dovlin_ViewState::View Dovlin_ViewState::CurrentView() const
{
    return View{m_StartScopeTime, m_EndScopeTime, m_TickTime, m_ZoomCo, m_ZoomRatio};
}

void Dovlin_ViewState::RestoreView(const View &view)
{
    // A view read from a file may hold any numbers: each is held to what the window can take.
    m_TickTime = qMax<qint64>(1, view.m_TickTime);
    m_ZoomCo = qMax(1, view.m_ZoomCo);
    m_ZoomRatio = std::isfinite(view.m_ZoomRatio) && view.m_ZoomRatio > 0 ? view.m_ZoomRatio : 1.0;
    // The canvas may have changed its width since: the scale stays, the right edge follows.
    ScrollTo(qBound<qint64>(0, view.m_Start, qMax<qint64>(0, m_EndTime)));
}

bool Dovlin_ViewState::ShowRange(qint64 start, qint64 end)
{
    start = qMax<qint64>(0, start);
    end = qMin(end, m_EndTime);
    if (start >= end)
        return false;
    qint64 asked = start;
    ZoomTime2Time(start, end);
    // The window starts at a tick, which may lie before start: from there the range is wider, and
    // it is asked for again until its end is in view too, or the start no longer moves.
    while (m_EndScopeTime < end && m_StartScopeTime < asked) {
        asked = m_StartScopeTime;
        ZoomTime2Time(asked, end);
    }
    return true;
}

bool Dovlin_ViewState::ShowSavedView(const View &view)
{
    // The width the window had is not kept, but its scale and span tell it: fitting the range
    // anew could choose a coarser tick for the same width.
    const int w = canvasSize().width();
    const bool sameWidth = view.m_TickTime >= 1 && view.m_ZoomCo >= 1 && w > 0
                           && clampTime((long double)w * view.m_TickTime / view.m_ZoomCo + view.m_Start) == view.m_End;
    if (sameWidth && view.m_Start >= 0 && view.m_Start < m_EndTime) {
        RestoreView(view);
        return true;
    }
    return ShowRange(view.m_Start, view.m_End);
}

void Dovlin_ViewState::zoomIn()
{
    ZoomTime2Time(m_StartScopeTime, m_StartScopeTime + (m_EndScopeTime - m_StartScopeTime) / 2);
}

void Dovlin_ViewState::zoomOut()
{
    const qint64 span = m_EndScopeTime - m_StartScopeTime;
    ZoomTime2Time(m_StartScopeTime, addTime(m_StartScopeTime, addTime(span, span)));
}

void Dovlin_ViewState::zoomFull()
{
    ZoomTime2Time(0, m_EndTime);
}

void Dovlin_ViewState::ZoomAbout(int x, bool in)
{
    const qint64 anchor = GetTime(x);
    if (in)
        zoomIn();
    else
        zoomOut();
    // Back to the tick nearest to where the anchor stays under the pointer.
    const long double start = (long double)anchor - (long double)x * m_TickTime / m_ZoomCo;
    ScrollTo(qBound<qint64>(0, clampTime(std::floor(start / m_TickTime + 0.5L) * m_TickTime), m_EndTime));
}

QString Dovlin_ViewState::GetActualTimeStr(qint64 time) const
{
    if (time <= 0)
        return QStringLiteral(" %1 ").arg(time);
    static const char prefixes[] = "GMKsmunpf";
    int i = 3 - m_TimeBase / 3;
    if (m_TimeBase % 3 != 0 || i < 0 || i > 8)
        return QStringLiteral(" %1e%2s ").arg(time).arg(m_TimeBase);
    while (i > 0 && time % 1000 == 0) {
        time /= 1000;
        --i;
    }
    return QStringLiteral(" %1%2 ").arg(time).arg(QLatin1Char(prefixes[i]));
}

void Dovlin_ViewState::setnCursor(int n)
{
    n = qBound(0, n, m_MaxCursor);
    if (n == m_nCursor)
        return;
    m_nCursor = n;
    Q_EMIT cursorCountChanged();
}

void Dovlin_ViewState::setDefaultCursor(int index)
{
    if (index == m_DefaultCursor)
        return;
    m_DefaultCursor = index;
    Q_EMIT cursorsChanged();
}

qint64 Dovlin_ViewState::cursorTime(int index) const
{
    return index >= 0 && index < m_MaxCursor ? m_CursorTime[index] : 0;
}

void Dovlin_ViewState::setCursorTime(int index, qint64 time)
{
    if (index < 0 || index >= m_MaxCursor)
        return;
    m_CursorTime[index] = time;
    Q_EMIT cursorsChanged();
}

void Dovlin_ViewState::addCursor()
{
    if (m_nCursor >= m_MaxCursor)
        return;
    const int n = m_nCursor;
    m_CursorTime[n] = (m_StartScopeTime + m_EndScopeTime) / 2;
    m_DefaultCursor = n;
    m_nCursor = n + 1;
    Q_EMIT cursorCountChanged();
}

void Dovlin_ViewState::removeCursor()
{
    if (m_nCursor == 0)
        return;
    const int n = m_nCursor;
    const int d = m_DefaultCursor;
    for (int i = d; i < n - 1; ++i)
        m_CursorTime[i] = m_CursorTime[i + 1];
    m_nCursor = n - 1;
    m_DefaultCursor = d - 1 >= 0 ? d - 1 : n - 2;
    Q_EMIT cursorCountChanged();
}
