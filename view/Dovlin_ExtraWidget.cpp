#include "Dovlin_ExtraWidget.h"

#include "DovlinWidget.h"
#include "Dovlin_RowRaster.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_ViewState.h"
#include "QFixedSplitter.h"

#include <QPainter>

Dovlin_ExtraWidget::Dovlin_ExtraWidget(QWidget *parent, DovlinWidget *owner)
    : QWidget(parent), m_Owner(owner), m_State(&owner->viewState())
{
    for (auto changed : {&Dovlin_ViewState::windowChanged, &Dovlin_ViewState::cursorsChanged,
                         &Dovlin_ViewState::cursorCountChanged})
        connect(m_State, changed, this, qOverload<>(&QWidget::update));
    m_Font.setFamily(QStringLiteral("Arial"));
    m_Font.setPixelSize(10);
    m_Font.setWeight(QFont::Normal);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::Base, Qt::black);
    setPalette(pal);
}

void Dovlin_ExtraWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintScopeTimes(&painter, m_Screen);
    paintCursorTimes(&painter, m_Screen);
    paintViewableArea(&painter, m_Screen);
}

Dovlin_ExtraWidget::Theme Dovlin_ExtraWidget::Theme::Of(bool light)
{
    const auto colour = [light](unsigned int rgb) { return QColor(light ? Dovlin_RowRaster::LightColour(rgb) : rgb); };
    Theme theme;
    theme.m_Text = colour(0xFFFFFF);
    theme.m_Brush = QBrush(light ? Qt::white : Qt::black, Qt::SolidPattern);
    theme.m_Grid = QPen(colour(0x808080), 1, Qt::SolidLine);
    theme.m_Frame = QPen(colour(0x00FF00), 1, Qt::SolidLine);
    theme.m_Marker = QPen(colour(0xFF0000), 2, Qt::SolidLine);
    return theme;
}

void Dovlin_ExtraWidget::paintView(QPainter *painter, bool light)
{
    const Theme theme = Theme::Of(light);
    painter->fillRect(rect(), theme.m_Brush);
    paintScopeTimes(painter, theme);
    paintCursorTimes(painter, theme);
    paintViewableArea(painter, theme);
}

void Dovlin_ExtraWidget::paintScopeTimes(QPainter *painter, const Theme &theme)
{
    painter->setPen(theme.m_Text);
    painter->setFont(m_Font);
    const QString text = QStringLiteral("From:%1 - To:%2")
                             .arg(m_State->GetActualTimeStr(m_State->startScopeTime()),
                                  m_State->GetActualTimeStr(m_State->endScopeTime()));
    painter->drawText(2, m_Font.pixelSize() + 2, text);
}

void Dovlin_ExtraWidget::paintCursorTimes(QPainter *painter, const Theme &theme)
{
    const int n = m_State->nCursor();
    const int h = m_Owner->cursorHeight();
    const int hw = m_Owner->nameFixedSplitter()->handleWidth();
    const int p = m_Font.pixelSize();
    painter->setFont(m_Font);
    painter->setBrush(theme.m_Brush);
    for (int i = 0; i < n; ++i) {
        const int y = (i + 1) * h - hw;
        painter->setPen(theme.m_Grid);
        painter->drawLine(0, y, width(), y);
        painter->setPen(theme.m_Text);
        painter->drawText(2, y + p + 2, m_State->GetActualTimeStr(m_State->cursorTime(n - 1 - i)));
    }
    painter->setPen(theme.m_Grid);
    const int y = (n + 1) * h - hw;
    painter->drawLine(0, y, width(), y);
}

void Dovlin_ExtraWidget::paintViewableArea(QPainter *painter, const Theme &theme)
{
    const int w = width();
    const int h = height();
    painter->setPen(theme.m_Frame);
    painter->setBrush(theme.m_Brush);
    painter->drawLine(0, h - 2, w, h - 2);

    const double total =
        double(m_State->endTime()) + double(m_State->endScopeTime() - m_State->startScopeTime());
    // Without a file behind it the scale has no length: show no marks rather than guess.
    if (total <= 0)
        return;
    const int xs = int(double(m_State->startScopeTime()) / total * w);
    const int xe = int(double(m_State->endScopeTime()) / total * w);
    const int sh = m_Owner->shapeWidget()->shapeScrollHeight();
    painter->setPen(theme.m_Marker);
    painter->drawLine(xs, h - sh + 1, xs, h);
    painter->drawLine(xe, h - sh + 1, xe, h);
}
