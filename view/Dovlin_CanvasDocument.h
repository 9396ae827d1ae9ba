#ifndef DOVLIN_CANVASDOCUMENT_H
#define DOVLIN_CANVASDOCUMENT_H

class Dovlin_RowsWidget;
class Dovlin_ViewState;
class QTreeWidgetItem;

// What the wave canvas asks of its document, and all it tells it.
class Dovlin_CanvasDocument
{
public:
    // The time window and the cursors.
    virtual Dovlin_ViewState &viewState() = 0;
    // The lines the rows follow: the name tree or the wave list, whichever is shown.
    virtual Dovlin_RowsWidget *rowsWidget() const = 0;
    // The height of one cursor's band of the time bar.
    virtual int cursorHeight() const = 0;
    virtual bool isZoomingArea() const = 0;
    virtual void endZoomingArea() = 0;
    virtual void zoomArea() = 0;
    // Shows the row of line digital if it was analog, and the other way round.
    virtual void toggleRowDisplay(QTreeWidgetItem *line) = 0;

protected:
    ~Dovlin_CanvasDocument() = default;
};

#endif
