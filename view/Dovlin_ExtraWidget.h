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

    // The colours the bar paints with: the screen's, or for a picture dark on white.
    struct Theme
    {
        QColor m_Text;
        QBrush m_Brush;
        QPen m_Grid, m_Frame, m_Marker;
        static Theme Of(bool light);
    };
    void paintScopeTimes(QPainter *painter, const Theme &theme);
    void paintCursorTimes(QPainter *painter, const Theme &theme);
    void paintViewableArea(QPainter *painter, const Theme &theme);
    // Draws the bar through painter in its own coordinates, for a picture of the view; light draws
    // dark on white.
    void paintView(QPainter *painter, bool light);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    DovlinWidget *m_Owner;
    const Dovlin_ViewState *m_State;
    QFont m_Font;
    const Theme m_Screen = Theme::Of(false);
};

#endif
