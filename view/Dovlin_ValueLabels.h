#ifndef DOVLIN_VALUELABELS_H
#define DOVLIN_VALUELABELS_H

#include <QFont>
#include <QFontMetrics>
#include <QString>

class QPainter;

// Value texts drawn inside the stretches of bus rows. Widths are summed from a table of character
// advances, so that fitting a text costs no text layout: a canvas may hold thousands of labels.
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
    // Draws the fitting part of text centred on the columns x1 to x2, around the height yMid.
    void Draw(QPainter *painter, int x1, int x2, int yMid, const QString &text) const;

private:
    int Advance(QChar c) const;

    QFont m_Font;
    QFontMetrics m_Metrics;
    int m_Ascii[128] = {};
    int m_Ellipsis = 0;
    int m_MinWidth = 0;
};

#endif
