#include "Dovlin_ValueLabels.h"

#include "Dovlin_RowRaster.h"

#include <QPainter>

namespace {
const QChar Ellipsis(0x2026);
}

Dovlin_ValueLabels::Dovlin_ValueLabels(const QFont &font)
    : m_Font(font), m_Metrics(font)
{
    for (int c = 0; c < 128; ++c)
        m_Ascii[c] = m_Metrics.horizontalAdvance(QChar(c));
    m_Ellipsis = m_Metrics.horizontalAdvance(Ellipsis);
    // Value texts begin with a digit, a sign or a state letter.
    int narrowest = m_Metrics.horizontalAdvance(QLatin1Char('0'));
    for (const char c : QByteArrayLiteral("0123456789ABCDEFabcdefXZUWLH-?"))
        if (c)
            narrowest = qMin(narrowest, m_Ascii[int(c)]);
    m_MinWidth = narrowest + m_Ellipsis;
    for (int i = 0; i < 96; ++i) {
        const QChar c = i < 95 ? QChar(' ' + i) : Ellipsis;
        QImage glyph(qMax(1, Advance(c)), m_Metrics.height(), QImage::Format_ARGB32_Premultiplied);
        glyph.fill(Qt::transparent);
        QPainter painter(&glyph);
        painter.setFont(m_Font);
        painter.setPen(Qt::white);
        painter.drawText(0, m_Metrics.ascent(), QString(c));
        painter.end();
        m_Glyphs[i] = glyph.convertToFormat(QImage::Format_Alpha8);
    }
}

const QImage *Dovlin_ValueLabels::Glyph(QChar c) const
{
    if (c == Ellipsis)
        return &m_Glyphs[95];
    return c.unicode() >= 32 && c.unicode() < 127 ? &m_Glyphs[c.unicode() - 32] : nullptr;
}

int Dovlin_ValueLabels::Advance(QChar c) const
{
    return c.unicode() < 128 ? m_Ascii[c.unicode()] : m_Metrics.horizontalAdvance(c);
}

QString Dovlin_ValueLabels::Fit(const QString &text, int width) const
{
    qsizetype first = 0, end = text.size();
    while (first < end && text.at(first).isSpace())
        ++first;
    while (end > first && text.at(end - 1).isSpace())
        --end;
    int whole = 0;
    for (qsizetype i = first; i < end && whole <= width; ++i)
        whole += Advance(text.at(i));
    if (whole <= width)
        return text.mid(first, end - first);
    int used = m_Ellipsis;
    qsizetype cut = first;
    while (cut < end && used + Advance(text.at(cut)) <= width)
        used += Advance(text.at(cut++));
    return cut == first ? QString() : text.mid(first, cut - first) + Ellipsis;
}

void Dovlin_ValueLabels::Draw(QPainter *painter, Dovlin_RowRaster &raster, int x1, int x2, int yMid,
                              const QString &text) const
{
    const QString shown = Fit(text, x2 - x1 + 1);
    if (shown.isEmpty())
        return;
    int width = 0;
    bool glyphs = raster.IsDirect();
    for (const QChar c : shown) {
        width += Advance(c);
        glyphs = glyphs && Glyph(c);
    }
    int x = x1 + (x2 - x1 + 1 - width) / 2;
    const int baseline = yMid + (m_Metrics.ascent() - m_Metrics.descent()) / 2;
    if (!glyphs) {
        painter->setFont(m_Font);
        painter->setPen(QColor(raster.Colour(m_Color)));
        painter->drawText(x, baseline, shown);
        return;
    }
    for (const QChar c : shown) {
        raster.Blend(x, baseline - m_Metrics.ascent(), *Glyph(c), m_Color);
        x += Advance(c);
    }
}
