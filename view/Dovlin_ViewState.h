#ifndef DOVLIN_VIEWSTATE_H
#define DOVLIN_VIEWSTATE_H

#include "Dovlin_FileRecords.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <functional>

// The time state of one document: the file's span, the visible time window with its scale, and
// the measurement cursors. The canvas, the ruler, the cursor time bar and the name tree's Values
// column follow its signals, so no part has to tell the others that something moved.
class Dovlin_ViewState : public QObject
{
    Q_OBJECT

public:
    static constexpr int m_MaxCursor = 10;
    // Pixels far outside the canvas are pinned this far out: QPainter takes them, int math does not overflow.
    static constexpr qint64 m_PixelLimit = qint64(1) << 28;

    // Everything that fixes the visible window, so that a bookmark brings back the same view; a
    // wave file keeps it as it is.
    using View = Dovlin_SavedView::Window;

    explicit Dovlin_ViewState(QObject *parent = nullptr);

    // The file shown: its last time and its time base (the power of ten of a second of its unit).
    void SetFile(qint64 endTime, int timeBase);
    qint64 endTime() const { return m_EndTime; }
    int timeBase() const { return m_TimeBase; }

    // Where the canvas's size in pixels comes from: the window's width in time follows it.
    void SetCanvasSize(std::function<QSize()> size) { m_CanvasSize = std::move(size); }
    // The canvas was resized: the right edge follows its width, the left edge and the scale stay.
    void CanvasResized();

    qint64 startScopeTime() const { return m_StartScopeTime; }
    qint64 endScopeTime() const { return m_EndScopeTime; }
    qint64 currTickTime() const { return m_TickTime; }
    int currZoomCo() const { return m_ZoomCo; }
    // Time at pixel x, and the pixel of a time, clamped to a range that painting can take.
    qint64 GetTime(int x) const;
    int TimeToX(qint64 time) const;
    void ZoomTime2Time(qint64 start, qint64 end);
    void CalcTick();
    // Scrolls, keeping the scale, so that time lies in the window: in its middle when it was outside.
    void ShowTime(qint64 time);
    // Puts the window's left edge at start, keeping the scale.
    void ScrollTo(qint64 start);
    View CurrentView() const;
    // Brings back a view, its scale and its left edge; the right edge follows the canvas's width.
    void RestoreView(const View &view);
    // Fits the time range start to end into the canvas's width, as much of it as lies in the file,
    // the whole range in view; false, changing nothing, when none of it does.
    bool ShowRange(qint64 start, qint64 end);
    // Brings back a window kept in a file: as it was when the canvas has the width it had then,
    // else its time range fitted into the canvas (ShowRange); false when none of it lies in the file.
    bool ShowSavedView(const View &view);
    void zoomIn();
    void zoomOut();
    void zoomFull();
    // Zooms in or out about the time at pixel x, which stays under x (to the nearest tick).
    void ZoomAbout(int x, bool in);
    // A time in the file's unit with its prefix, " 20ns "; blanks around it as the ruler draws it.
    QString GetActualTimeStr(qint64 time) const;

    int nCursor() const { return m_nCursor; }
    void setnCursor(int n);
    int defaultCursor() const { return m_DefaultCursor; }
    void setDefaultCursor(int index);
    qint64 cursorTime(int index) const;
    void setCursorTime(int index, qint64 time);
    // A new cursor in the middle of the window becomes the default one.
    void addCursor();
    // Removes the default cursor; the one before it becomes the default.
    void removeCursor();

Q_SIGNALS:
    // The visible window or its scale changed.
    void windowChanged();
    // A cursor moved, or another one became the default.
    void cursorsChanged();
    // Cursors were added or removed: the time bar changes its height.
    void cursorCountChanged();

private:
    QSize canvasSize() const;

    qint64 m_EndTime = -1;
    int m_TimeBase = 0;
    std::function<QSize()> m_CanvasSize;

    qint64 m_StartScopeTime = 0;
    qint64 m_EndScopeTime = 1;
    qint64 m_TickTime = 1;
    int m_ZoomCo = 5;
    int m_TickSpacings[3] = {5, 8, 11};
    double m_ZoomRatio = 1.0;

    int m_nCursor = 1;
    int m_DefaultCursor = 0;
    qint64 m_CursorTime[m_MaxCursor] = {};
};

#endif
