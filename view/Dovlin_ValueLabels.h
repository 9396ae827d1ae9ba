#ifndef DOVLIN_VALUELABELS_H
#define DOVLIN_VALUELABELS_H

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QString>

class QPainter;
class Dovlin_RowRaster;

// Value texts drawn inside the stretches of bus rows. Widths are summed from a table of character
// advances and printable ASCII is drawn from glyphs rendered once, so that a label costs no text
// layout: a canvas may hold thousands of them.
class Dovlin_ValueLabels
{
public:
    static constexpr unsigned int m_Color = 0xFFFFFF;

    explicit Dovlin_ValueLabels(const QFont &font);

    // The narrowest stretch inside that can show anything: one character and the ellipsis.
    int MinWidth() const { return m_MinWidth; }
    // The text without its surrounding blanks, whole when it fits in width pixels, else its
    // longest beginning followed by an ellipsis; empty when not even one character fits.
    QString Fit(const QString &text, int width) const;
    // Draws the fitting part of text centred on the columns x1 to x2, around the height yMid:
    // straight into the raster's pixels where it can, else through the painter.
    void Draw(QPainter *painter, Dovlin_RowRaster &raster, int x1, int x2, int yMid, const QString &text) const;

private:
    int Advance(QChar c) const;
    // The coverage mask of a character, null for one without a rendered glyph.
    const QImage *Glyph(QChar c) const;

    QFont m_Font;
    QFontMetrics m_Metrics;
    int m_Ascii[128] = {};
    // Printable ASCII from ' ' on, then the ellipsis.
    QImage m_Glyphs[96];
    int m_Ellipsis = 0;
    int m_MinWidth = 0;
};

#endif
