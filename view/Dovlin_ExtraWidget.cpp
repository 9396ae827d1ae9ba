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
    UpdateScopeTimes(&painter);
    UpdateCursorTimes(&painter, -1);
    UpdateViewableArea(&painter);
}

void Dovlin_ExtraWidget::paintView(QPainter *painter, bool light)
{
    const QColor text = m_TextColor;
    const QBrush brush = m_Brush;
    const QPen grid = m_GridPen, frame = m_FramePen, marker = m_MarkerPen;
    if (light) {
        const auto paper = [](const QColor &colour) {
            return QColor(Dovlin_RowRaster::LightColour(colour.rgb() & 0xFFFFFFu));
        };
        m_TextColor = paper(text);
        m_Brush.setColor(Qt::white);
        m_GridPen.setColor(paper(grid.color()));
        m_FramePen.setColor(paper(frame.color()));
        m_MarkerPen.setColor(paper(marker.color()));
    }
    painter->fillRect(rect(), light ? Qt::white : Qt::black);
    UpdateScopeTimes(painter);
    UpdateCursorTimes(painter, -1);
    UpdateViewableArea(painter);
    m_TextColor = text;
    m_Brush = brush;
    m_GridPen = grid;
    m_FramePen = frame;
    m_MarkerPen = marker;
}

void Dovlin_ExtraWidget::UpdateScopeTimes(QPainter *painter)
{
    painter->setPen(m_TextColor);
    painter->setFont(m_Font);
    const QString text = QStringLiteral("From:%1 - To:%2")
                             .arg(m_State->GetActualTimeStr(m_State->startScopeTime()),
                                  m_State->GetActualTimeStr(m_State->endScopeTime()));
    painter->drawText(2, m_Font.pixelSize() + 2, text);
}

void Dovlin_ExtraWidget::UpdateCursorTimes(QPainter *painter, int index)
{
    const int n = m_State->nCursor();
    const int h = m_Owner->cursorHeight();
    const int hw = m_Owner->nameFixedSplitter()->handleWidth();
    const int p = m_Font.pixelSize();
    painter->setFont(m_Font);
    painter->setBrush(m_Brush);

    auto drawRow = [&](int y, int cursor) {
        painter->setPen(m_GridPen);
        painter->drawLine(0, y, width(), y);
        painter->setPen(m_TextColor);
        painter->drawText(2, y + p + 2, m_State->GetActualTimeStr(m_State->cursorTime(cursor)));
    };
    if (index < 0) {
        for (int i = 0; i < n; ++i)
            drawRow((i + 1) * h - hw, n - 1 - i);
    } else if (index < n) {
        drawRow((n - index) * h - hw, index);
    }
    painter->setPen(m_GridPen);
    const int y = (n + 1) * h - hw;
    painter->drawLine(0, y, width(), y);
}

void Dovlin_ExtraWidget::UpdateViewableArea(QPainter *painter)
{
    const int w = width();
    const int h = height();
    painter->setPen(m_FramePen);
    painter->setBrush(m_Brush);
    painter->drawLine(0, h - 2, w, h - 2);

    const double total =
        double(m_State->endTime()) + double(m_State->endScopeTime() - m_State->startScopeTime());
    // Without a file behind it the scale has no length: show no marks rather than guess.
    if (total <= 0)
        return;
    const int xs = int(double(m_State->startScopeTime()) / total * w);
    const int xe = int(double(m_State->endScopeTime()) / total * w);
    const int sh = m_Owner->shapeWidget()->shapeScrollHeight();
    painter->setPen(m_MarkerPen);
    painter->drawLine(xs, h - sh + 1, xs, h);
    painter->drawLine(xe, h - sh + 1, xe, h);
}
