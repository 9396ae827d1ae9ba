#ifndef DOVLIN_UTILITIES_H
#define DOVLIN_UTILITIES_H

#include <QString>
#include <QStringList>

#include <vector>

// Bit texts to numbers and back. Only the character '1' counts as a one; every other
// character (0, X, Z, U, blank ...) counts as zero. Arithmetic wraps modulo 2^64.
qint64 BinToUnsigned(const QString &bits);
// Two's complement of the bit text; any first character other than '0' is the sign bit.
// Texts wider than 64 characters give their low 64 bits read as a signed number.
qint64 BinToSigned(const QString &bits);
// The 64-bit pattern in upper-case hexadecimal followed by 'h' ("0h", "FFh").
QString DecToHex(qint64 value);
// Text of a bus value in a radix (Dovlin_Radix) from the state letters of its bits, most
// significant first. L and H are weak 0 and 1; other states (X Z U W - ?) are never read as a
// number: hexadecimal and octal show a digit of four (three) known bits, the letter of equal
// unknown ones and X for a mix; unsigned and signed fall back to the binary text. Any width is
// exact.
QString BusText(const QString &bits, int radix);

// An enumeration of the dump (a SystemVerilog typedef enum): its literals and the bits of each
// literal's value, most significant first.
struct Dovlin_EnumTable
{
    QString m_Name;
    QStringList m_Literals;
    QStringList m_Values;

    bool operator==(const Dovlin_EnumTable &other) const
    {
        return m_Name == other.m_Name && m_Literals == other.m_Literals && m_Values == other.m_Values;
    }
    // The literal whose value equals bits as numbers (leading zeros aside); empty for no bits, a bit
    // other than 0, 1, L or H, or a value no literal has.
    QString Literal(const QString &bits) const;
    // Reads the text of a dump's table, "<type> <count> <literals> <values>" with its items escaped;
    // false with the reason when the text has another form.
    bool Parse(const QByteArray &definition, QString &reason);
};

// In the Names radix, the text of the table's literal for the bits; empty in other radices, without
// a table, or when no literal matches.
QString LiteralText(const QString &bits, int radix, const Dovlin_EnumTable *names);
// A bus value's text: its literal's, else BusText's.
QString BusText(const QString &bits, int radix, const Dovlin_EnumTable *names);

// Text of an integer variable's value in a radix: the low `width` bits (1 to 64) of value, shown
// as a bus of that width shows them, so that -1 in a byte reads "FFh", "255u" and "-1d".
QString IntegerText(qint64 value, int width, int radix);
// The shortest text that reads back as the same double, followed by 'r'.
QString RealText(double value);

// The text of UTF-8 bytes, a leading byte order mark kept as a character: QString::fromUtf8 drops
// it, and the text would not read back as it was written.
QString Utf8Text(QByteArrayView bytes);

// The bytes of a dump's escaped text. Writers escape what a word cannot hold as C does (nvc writes
// a blank as \040, a quote as \"); a backslash that starts no escape stays as it is.
QByteArray UnescapedBytes(QByteArrayView text);
// A dump's text bytes as UTF-8 when they are valid UTF-8, else as Latin-1, which older tools write.
QString DumpText(QByteArrayView bytes);

// The time unit of a file's time base (the power of ten of a second): "1 ns", or "1e-10 s" for a
// base that is no multiple of three from s to fs.
QString TimeUnitText(int timeBase);

// A time the user typed, for a file of timeBase whose last time is endTime: a number with a unit
// ("1.5us", "1500 ns"; s, ms, us, ns, ps, fs) or without one, in the file's unit ("200"). False
// with the reason in error when it is no time, not a whole number of the file's unit, or outside
// 0 to endTime.
bool ParseTimeText(const QString &text, int timeBase, qint64 endTime, qint64 &time, QString &error);

// One radix: how a node writes its values in it, and how menus and tools name it.
struct Dovlin_RadixFormat
{
    int m_Code; // Dovlin_Radix, as kept in Dovlin_Hierarchy::m_Radix
    const char *m_Name; // on command lines
    const char *m_MenuText;
    const char *m_StatusTip;
    // From the bit letters, most significant first, and the same bits as 0 and 1 (L and H read as
    // 0 and 1), or an empty text when some bit is of another state.
    QString (*m_BusText)(const QString &bits, const QString &ones);
};

// Every radix, in menu order; null for a code or name that is none of them.
const std::vector<Dovlin_RadixFormat> &Dovlin_RadixFormats();
const Dovlin_RadixFormat *Dovlin_FindRadix(int code);
const Dovlin_RadixFormat *Dovlin_FindRadix(const QString &name);

#endif
