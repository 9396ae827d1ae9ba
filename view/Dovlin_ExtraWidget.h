#ifndef DOVLIN_EXTRAWIDGET_H
#define DOVLIN_EXTRAWIDGET_H

#include <QBrush>
#include <QFont>
#include <QPen>
#include <QWidget>

class DovlinWidget;
class Dovlin_ViewState;

// The bar under the name tree: the visible time window, every cursor's time, and a strip that
// shows where the visible window lies in the whole file.
class Dovlin_ExtraWidget : public QWidget
{
    Q_OBJECT

public:
    Dovlin_ExtraWidget(QWidget *parent, DovlinWidget *owner);

    void UpdateScopeTimes(QPainter *painter);
    void UpdateCursorTimes(QPainter *painter, int index);
    void UpdateViewableArea(QPainter *painter);
    // Draws the bar through painter in its own coordinates, for a picture of the view; light draws
    // dark on white.
    void paintView(QPainter *painter, bool light);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    DovlinWidget *m_Owner;
    const Dovlin_ViewState *m_State;
    QColor m_TextColor{0xFFFFFF};
    QBrush m_Brush{Qt::black, Qt::SolidPattern};
    QFont m_Font;
    QPen m_GridPen{QColor(0x808080), 1, Qt::SolidLine};
    QPen m_FramePen{QColor(0x00FF00), 1, Qt::SolidLine};
    QPen m_MarkerPen{QColor(0xFF0000), 2, Qt::SolidLine};
};

#endif
