#ifndef DOVLIN_ROWRASTER_H
#define DOVLIN_ROWRASTER_H

#include <QRect>

class QImage;
class QPainter;

// One-pixel lines and filled rectangles for waveform rows. On a plain 32-bit image (the canvas
// picture) pixels are written directly, which keeps rows with hundreds of thousands of marks
// cheap; on any other device, and in the light theme, the painter draws them.
class Dovlin_RowRaster
{
public:
    // light: dark traces for a white background, as pictures for paper are drawn.
    explicit Dovlin_RowRaster(QPainter *painter, bool light = false);

    // A colour of the dark theme as the light theme shows it: greys turn over, colours darken.
    static unsigned int LightColour(unsigned int rgb);
    unsigned int Colour(unsigned int rgb) const { return m_Light ? LightColour(rgb) : rgb; }

    void HLine(int x1, int x2, int y, unsigned int rgb);
    void VLine(int x, int y1, int y2, unsigned int rgb);
    void Line(int x1, int y1, int x2, int y2, unsigned int rgb);
    void Fill(int x1, int y1, int x2, int y2, unsigned int rgb);
    // Whether pixels are written directly (Blend works only then).
    bool IsDirect() const { return m_Bits != nullptr; }
    // Blends an 8-bit coverage mask (a glyph) in colour rgb with its top left corner at (x, y).
    void Blend(int x, int y, const QImage &mask, unsigned int rgb);

private:
    void Plot(int x, int y, unsigned int rgb);
    quint32 *Pixel(int x, int y) const
    {
        return reinterpret_cast<quint32 *>(m_Bits + qptrdiff(y - m_Clip.top()) * m_BytesPerLine) + (x - m_Clip.left());
    }

    QPainter *m_Painter;
    bool m_Light;
    // The image's pixels, or null when the painter draws.
    uchar *m_Bits = nullptr;
    qsizetype m_BytesPerLine = 0;
    QRect m_Clip;
};

#endif
