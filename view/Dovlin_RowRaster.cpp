#include "Dovlin_RowRaster.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

Dovlin_RowRaster::Dovlin_RowRaster(QPainter *painter, bool light)
    : m_Painter(painter), m_Light(light)
{
    auto *image = dynamic_cast<QImage *>(painter->device());
    const QTransform transform = painter->deviceTransform();
    // Whole-pixel offsets only: anything scaled, rotated or clipped goes through the painter.
    const bool plain = image && transform.type() <= QTransform::TxTranslate && !painter->hasClipping() &&
                       transform.dx() == int(transform.dx()) && transform.dy() == int(transform.dy()) &&
                       (image->format() == QImage::Format_RGB32 || image->format() == QImage::Format_ARGB32 ||
                        image->format() == QImage::Format_ARGB32_Premultiplied);
    if (plain && !light) {
        m_Bits = image->bits();
        m_BytesPerLine = image->bytesPerLine();
        m_Clip = QRect(QPoint(0, 0), image->size()).translated(-int(transform.dx()), -int(transform.dy()));
    }
}

unsigned int Dovlin_RowRaster::LightColour(unsigned int rgb)
{
    const QColor colour(rgb);
    if (colour.red() == colour.green() && colour.green() == colour.blue())
        return ~rgb & 0xFFFFFFu;
    return colour.darker(220).rgb() & 0xFFFFFFu;
}

void Dovlin_RowRaster::Plot(int x, int y, unsigned int rgb)
{
    if (x >= m_Clip.left() && x <= m_Clip.right() && y >= m_Clip.top() && y <= m_Clip.bottom())
        *Pixel(x, y) = 0xFF000000u | rgb;
}

void Dovlin_RowRaster::HLine(int x1, int x2, int y, unsigned int rgb)
{
    if (!m_Bits) {
        m_Painter->setPen(QPen(QColor(Colour(rgb)), 0));
        m_Painter->drawLine(x1, y, x2, y);
        return;
    }
    if (x1 > x2)
        std::swap(x1, x2);
    if (y < m_Clip.top() || y > m_Clip.bottom())
        return;
    x1 = qMax(x1, m_Clip.left());
    x2 = qMin(x2, m_Clip.right());
    if (x1 > x2)
        return;
    std::fill(Pixel(x1, y), Pixel(x2, y) + 1, 0xFF000000u | rgb);
}

void Dovlin_RowRaster::VLine(int x, int y1, int y2, unsigned int rgb)
{
    if (!m_Bits) {
        m_Painter->setPen(QPen(QColor(Colour(rgb)), 0));
        m_Painter->drawLine(x, y1, x, y2);
        return;
    }
    if (y1 > y2)
        std::swap(y1, y2);
    if (x < m_Clip.left() || x > m_Clip.right())
        return;
    y1 = qMax(y1, m_Clip.top());
    y2 = qMin(y2, m_Clip.bottom());
    const quint32 colour = 0xFF000000u | rgb;
    for (int y = y1; y <= y2; ++y)
        *Pixel(x, y) = colour;
}

void Dovlin_RowRaster::Line(int x1, int y1, int x2, int y2, unsigned int rgb)
{
    if (!m_Bits) {
        m_Painter->setPen(QPen(QColor(Colour(rgb)), 0));
        m_Painter->drawLine(x1, y1, x2, y2);
        return;
    }
    if (y1 == y2) {
        HLine(x1, x2, y1, rgb);
        return;
    }
    if (x1 == x2) {
        VLine(x1, y1, y2, rgb);
        return;
    }
    // Cut the line to the columns in view first: analog stretches may start far off screen.
    if (x1 > x2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    if (x2 < m_Clip.left() || x1 > m_Clip.right())
        return;
    const auto yAt = [&](int x) { return int(y1 + (long double)(y2 - y1) * (x - x1) / (x2 - x1)); };
    if (x1 < m_Clip.left()) {
        y1 = yAt(m_Clip.left());
        x1 = m_Clip.left();
    }
    if (x2 > m_Clip.right()) {
        const int y = yAt(m_Clip.right());
        x2 = m_Clip.right();
        y2 = y;
    }
    // Bresenham; a line inside the image (a crossing, mostly) writes its pixels without checking
    // each against the edges.
    const int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
    const int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
    const bool inside = qMin(y1, y2) >= m_Clip.top() && qMax(y1, y2) <= m_Clip.bottom();
    const quint32 colour = 0xFF000000u | rgb;
    int error = dx + dy;
    for (;;) {
        if (inside)
            *Pixel(x1, y1) = colour;
        else
            Plot(x1, y1, rgb);
        if (x1 == x2 && y1 == y2)
            break;
        const int e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x1 += sx;
        }
        if (e2 <= dx) {
            error += dx;
            y1 += sy;
        }
    }
}

void Dovlin_RowRaster::Fill(int x1, int y1, int x2, int y2, unsigned int rgb)
{
    if (!m_Bits) {
        m_Painter->fillRect(QRect(QPoint(qMin(x1, x2), qMin(y1, y2)), QPoint(qMax(x1, x2), qMax(y1, y2))),
                            QColor(Colour(rgb)));
        return;
    }
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    x1 = qMax(x1, m_Clip.left());
    x2 = qMin(x2, m_Clip.right());
    y1 = qMax(y1, m_Clip.top());
    y2 = qMin(y2, m_Clip.bottom());
    if (x1 > x2)
        return;
    const quint32 colour = 0xFF000000u | rgb;
    const qptrdiff rowStep = m_BytesPerLine / qsizetype(sizeof(quint32));
    quint32 *row = Pixel(x1, y1);
    for (int y = y1; y <= y2; ++y, row += rowStep)
        for (int x = 0; x <= x2 - x1; ++x)
            row[x] = colour;
}

void Dovlin_RowRaster::Blend(int x, int y, const QImage &mask, unsigned int rgb)
{
    const int left = qMax(x, m_Clip.left()), right = qMin(x + mask.width() - 1, m_Clip.right());
    const int top = qMax(y, m_Clip.top()), bottom = qMin(y + mask.height() - 1, m_Clip.bottom());
    for (int row = top; row <= bottom; ++row) {
        const uchar *coverage = mask.constScanLine(row - y);
        quint32 *pixel = Pixel(left, row);
        for (int column = left; column <= right; ++column, ++pixel) {
            const uint a = coverage[column - x];
            if (a == 0)
                continue;
            quint32 mixed = 0xFF000000u;
            for (int shift = 0; shift < 24; shift += 8) {
                const uint under = *pixel >> shift & 0xFF, over = rgb >> shift & 0xFF;
                mixed |= ((over * a + under * (255 - a) + 127) / 255) << shift;
            }
            *pixel = mixed;
        }
    }
}
