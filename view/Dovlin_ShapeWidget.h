#ifndef DOVLIN_SHAPEWIDGET_H
#define DOVLIN_SHAPEWIDGET_H

#include "Dovlin_ViewState.h"

#include <QBrush>
#include <QFont>
#include <QPen>
#include <QImage>
#include <QWidget>

#include <memory>

class Dovlin_CanvasDocument;
class Dovlin_Hierarchy;
class Dovlin_RowsWidget;
class Dovlin_ValueLabels;
class QAction;
class QMenu;
class QScrollBar;
class QTreeWidgetItem;

// The wave canvas: the visible window of the time axis with its ruler, one waveform row per
// visible line of the name tree or the wave list, and the measurement cursors with the time distances between them.
class Dovlin_ShapeWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int m_MaxCursor = Dovlin_ViewState::m_MaxCursor;
    using View = Dovlin_ViewState::View;

    Dovlin_ShapeWidget(QWidget *parent, Dovlin_CanvasDocument *owner);
    ~Dovlin_ShapeWidget() override;

    qint64 startScopeTime() const { return m_State->startScopeTime(); }
    qint64 endScopeTime() const { return m_State->endScopeTime(); }
    qint64 currTickTime() const { return m_State->currTickTime(); }
    int currZoomCo() const { return m_State->currZoomCo(); }
    int shapeScrollHeight() const;
    QScrollBar *scrollBar() const { return m_ScrollBar; }

    // The window and its scale are the document's (Dovlin_ViewState); these ask it.
    qint64 GetTime(int x) const { return m_State->GetTime(x); }
    int TimeToX(qint64 time) const { return m_State->TimeToX(time); }
    void ZoomTime2Time(qint64 start, qint64 end) { m_State->ZoomTime2Time(start, end); }
    View CurrentView() const { return m_State->CurrentView(); }
    void ConfigScrollBar();
    QString GetActualTimeStr(qint64 time) const { return m_State->GetActualTimeStr(time); }
    void SortCursorTime();
    int sortedCursor(int position) const { return m_SortedCursor[position]; }
    int GetTimeBarHeight(int n = -1) const;
    int GetWaveHeight(int n = -1) const;

    // Repaints with the rows and the ruler drawn anew; update() draws only the cursors over the
    // kept picture.
    void invalidatePicture();
    // The pens and the brush the canvas paints with: the screen's, or for a picture the light
    // theme's, dark traces on white.
    struct Theme
    {
        bool m_Light = false;
        QBrush m_Brush;
        QPen m_Grid, m_Separator, m_Tick, m_DefaultCursor, m_Cursor, m_Distance;
        static Theme Of(bool light);
    };
    void paintTimeBar(QPainter *painter, const Theme &theme);
    // Draws the rows in view; true when a row found its signal damaged and may be drawn in part.
    bool paintRows(QPainter *painter, const Theme &theme);
    void paintCursors(QPainter *painter, const Theme &theme);
    void paintCursor(QPainter *painter, int index, const Theme &theme);
    void paintCursorDistances(QPainter *painter, const Theme &theme);
    bool ConfigPopupMenu(QTreeWidgetItem *item);
    Dovlin_Hierarchy *contextHierarchy() const { return m_ContextHierarchy; }
    bool showSignalTip() const { return m_ShowSignalTip; }
    void setShowSignalTip(bool show) { m_ShowSignalTip = show; }
    // How many times the rows and the ruler were drawn: a cursor move must not add to it.
    int pictureRenders() const { return m_PictureRenders; }
    // Draws the ruler, the rows and the cursors through painter in the canvas's coordinates, for
    // a picture of the view; light draws dark traces on white.
    void paintView(QPainter *painter, bool light);
    // The canvas font's measures for the value texts inside bus rows.
    const Dovlin_ValueLabels &valueLabels() const { return *m_ValueLabels; }
    // Moves the default cursor to node's next or previous change and scrolls it into view; false
    // when there is no cursor or no change that way.
    bool moveToChange(Dovlin_Hierarchy *node, bool next);

public Q_SLOTS:
    void shapeScrolled(int value);
    void addCursor();
    void removeCursor();
    void zoomIn();
    void zoomOut();
    void zoomFull();
    void zoomArea();
    void nextTrans();
    void prevTrans();
    void toggleDA();

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void createActions();
    void createContextMenu();
    void renderPicture();
    // A light band across the row of the line selected in the tree, over the kept picture.
    void paintSelectedRow(QPainter *painter);
    // The lines the rows follow: the name tree or the wave list, whichever the document shows.
    Dovlin_RowsWidget *rowsWidget() const;

    Dovlin_CanvasDocument *m_Owner;
    Dovlin_ViewState *m_State;
    QScrollBar *m_ScrollBar = nullptr;

    int m_SortedCursor[m_MaxCursor] = {};
    // Ticks per scroll-bar step: more than one when the file has more ticks than an int holds.
    qint64 m_ScrollUnit = 1;

    QAction *m_ZoomInAct = nullptr;
    QAction *m_ZoomOutAct = nullptr;
    QAction *m_ZoomFullAct = nullptr;
    QAction *m_ZoomAreaAct = nullptr;
    QAction *m_NextTransAct = nullptr;
    QAction *m_PrevTransAct = nullptr;
    QAction *m_ToggleDAAct = nullptr;
    QAction *m_AddCursorAct = nullptr;
    QAction *m_RemoveCursorAct = nullptr;
    QMenu *m_ContextMenu = nullptr;

    const Theme m_Screen = Theme::Of(false);
    QFont m_Font;
    std::unique_ptr<Dovlin_ValueLabels> m_ValueLabels;
    QPen m_ZoomPen{QColor(0xFFFFFF), 2};

    // The rows and the ruler, kept per canvas so that cursor moves only draw the cursors again.
    QImage m_Picture;
    bool m_PictureValid = false;
    int m_PictureRenders = 0;

    Dovlin_Hierarchy *m_ContextHierarchy = nullptr;
    // The line of the row the context menu is open on.
    QTreeWidgetItem *m_ContextLine = nullptr;
    bool m_ShowSignalTip = true;
    QRect m_ZoomRect{QPoint(0, 0), QPoint(-1, -1)};
    bool m_ZoomBandVisible = false;
    QPoint m_CursorPos[m_MaxCursor];
    QSize m_CursorLabelSize[m_MaxCursor];
};

#endif
