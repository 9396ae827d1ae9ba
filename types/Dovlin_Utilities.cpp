#include "Dovlin_Utilities.h"

#include "Dovlin_Types.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <limits>
#include <vector>

namespace {

quint64 UnsignedOf(QStringView bits)
{
    quint64 value = 0;
    quint64 weight = 1;
    // Once the weight has shifted out of 64 bits no further character can contribute.
    for (qsizetype i = bits.size() - 1; i >= 0 && weight != 0; --i, weight <<= 1) {
        if (bits.at(i) == QLatin1Char('1'))
            value += weight;
    }
    return value;
}

QString Digits(quint64 value, int bitsPerDigit, char suffix)
{
    static const char digits[] = "0123456789ABCDEF";
    const quint64 mask = (quint64(1) << bitsPerDigit) - 1;
    char buffer[66];
    int pos = sizeof(buffer);
    buffer[--pos] = suffix;
    do {
        buffer[--pos] = digits[value & mask];
        value >>= bitsPerDigit;
    } while (value != 0);
    return QString::fromLatin1(buffer + pos, sizeof(buffer) - pos);
}

// The value of a known bit (0 1 L H), -1 for any other state.
int KnownBit(QChar c)
{
    switch (c.unicode()) {
    case '0':
    case 'L':
        return 0;
    case '1':
    case 'H':
        return 1;
    default:
        return -1;
    }
}

// Decimal digits of an unsigned number of any width given as 0/1 characters, most significant
// first: 32-bit limbs divided by 10^9 in turn.
QString Decimal(const QString &ones)
{
    const qsizetype n = ones.size();
    if (n <= 64)
        return QString::number(quint64(BinToUnsigned(ones)));
    std::vector<quint32> limbs(size_t((n + 31) / 32), 0);
    for (qsizetype i = 0; i < n; ++i)
        if (ones.at(n - 1 - i) == QLatin1Char('1'))
            limbs[size_t(i / 32)] |= quint32(1) << (i % 32);
    QString text;
    while (!limbs.empty()) {
        quint64 rest = 0;
        for (size_t i = limbs.size(); i > 0; --i) {
            const quint64 part = rest << 32 | limbs[i - 1];
            limbs[i - 1] = quint32(part / 1000000000u);
            rest = part % 1000000000u;
        }
        while (!limbs.empty() && limbs.back() == 0)
            limbs.pop_back();
        const QString chunk = QString::number(rest);
        text.prepend(limbs.empty() ? chunk : chunk.rightJustified(9, QLatin1Char('0')));
    }
    return text;
}

// Two's complement negation of a 0/1 text.
QString Negated(const QString &ones)
{
    QString result = ones;
    bool carry = true;
    for (qsizetype i = result.size() - 1; i >= 0; --i) {
        const bool one = result.at(i) == QLatin1Char('0');
        result[i] = QLatin1Char(one != carry ? '1' : '0');
        carry = carry && one;
    }
    return result;
}

// Digits of groups of bitsPerDigit bits from the least significant end (the leftmost group may be
// shorter): a group of known bits shows its digit, a group of one repeated state its letter, any
// other group X. Leading zero digits are dropped.
QString GroupText(const QString &bits, int bitsPerDigit)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    for (qsizetype end = bits.size(); end > 0; end -= bitsPerDigit) {
        const qsizetype begin = qMax<qsizetype>(0, end - bitsPerDigit);
        int digit = 0;
        bool known = true;
        bool same = true;
        for (qsizetype i = begin; i < end; ++i) {
            const int bit = KnownBit(bits.at(i));
            known = known && bit >= 0;
            same = same && bits.at(i) == bits.at(begin);
            digit = digit << 1 | qMax(bit, 0);
        }
        text.prepend(known ? QChar(QLatin1Char(digits[digit])) : same ? bits.at(begin).toUpper() : QChar(QLatin1Char('X')));
    }
    qsizetype zeros = 0;
    while (zeros + 1 < text.size() && text.at(zeros) == QLatin1Char('0'))
        ++zeros;
    return text.mid(zeros);
}

QString BinaryBus(const QString &bits, const QString &)
{
    return QLatin1Char(' ') + bits + QLatin1Char('b');
}

QString HexadecimalBus(const QString &bits, const QString &ones)
{
    if (ones.size() <= 64 && ones == bits)
        return QLatin1Char(' ') + DecToHex(BinToUnsigned(ones));
    return QLatin1Char(' ') + GroupText(bits, 4) + QLatin1Char('h');
}

QString OctalBus(const QString &bits, const QString &)
{
    return QLatin1Char(' ') + GroupText(bits, 3) + QLatin1Char('o');
}

QString UnsignedBus(const QString &bits, const QString &ones)
{
    if (ones.isEmpty())
        return BinaryBus(bits, ones);
    return QStringLiteral(" %1u ").arg(Decimal(ones));
}

QString SignedBus(const QString &bits, const QString &ones)
{
    if (ones.isEmpty())
        return BinaryBus(bits, ones);
    if (ones.size() <= 64)
        return QStringLiteral(" %1d ").arg(BinToSigned(ones));
    if (ones.at(0) == QLatin1Char('1'))
        return QStringLiteral(" -%1d ").arg(Decimal(Negated(ones)));
    return QStringLiteral(" %1d ").arg(Decimal(ones));
}

} // namespace

QString BusText(const QString &bits, int radix)
{
    const Dovlin_RadixFormat *format = Dovlin_FindRadix(radix);
    if (bits.isEmpty() || !format)
        return bits;
    QString ones = bits;
    for (qsizetype i = 0; i < ones.size(); ++i) {
        const int bit = KnownBit(ones.at(i));
        if (bit < 0)
            return format->m_BusText(bits, QString());
        ones[i] = QLatin1Char(bit == 1 ? '1' : '0');
    }
    return format->m_BusText(bits, ones);
}

namespace {
// Whether two bit texts hold the same number: bits 0, 1, L and H only, leading zeros aside. Compared
// in place: the texts of every bus shape on screen go through it.
bool SameKnownValue(QStringView a, QStringView b)
{
    const auto significant = [](QStringView bits) {
        qsizetype i = 0;
        while (i < bits.size() && KnownBit(bits.at(i).toUpper()) == 0)
            ++i;
        return bits.mid(i);
    };
    a = significant(a);
    b = significant(b);
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const int bit = KnownBit(a.at(i).toUpper());
        if (bit < 0 || bit != KnownBit(b.at(i).toUpper()))
            return false;
    }
    return true;
}
} // namespace

QString Dovlin_EnumTable::Literal(const QString &bits) const
{
    if (bits.isEmpty())
        return QString();
    for (qsizetype i = 0; i < m_Values.size() && i < m_Literals.size(); ++i)
        if (!m_Values.at(i).isEmpty() && SameKnownValue(bits, m_Values.at(i)))
            return m_Literals.at(i);
    return QString();
}

bool Dovlin_EnumTable::Parse(const QByteArray &definition, QString &reason)
{
    const QList<QByteArray> parts = definition.split(' ');
    bool number = false;
    const qsizetype count = parts.size() > 1 ? parts.at(1).toUInt(&number) : 0;
    if (!number) {
        reason = QStringLiteral("no count of literals after its name");
        return false;
    }
    if (parts.size() != 2 + 2 * count) {
        reason = QStringLiteral("%1 items where its count of %2 literals calls for %3")
                     .arg(parts.size()).arg(count).arg(2 + 2 * count);
        return false;
    }
    m_Name = DumpText(UnescapedBytes(parts.at(0)));
    m_Literals.clear();
    m_Values.clear();
    for (qsizetype i = 0; i < count; ++i) {
        m_Literals.append(DumpText(UnescapedBytes(parts.at(2 + i))));
        m_Values.append(DumpText(UnescapedBytes(parts.at(2 + count + i))));
    }
    return true;
}

QString LiteralText(const QString &bits, int radix, const Dovlin_EnumTable *names)
{
    const QString literal = radix == Dovlin_Radix::Names && names ? names->Literal(bits) : QString();
    return literal.isEmpty() ? QString() : QLatin1Char(' ') + literal + QLatin1Char(' ');
}

QString BusText(const QString &bits, int radix, const Dovlin_EnumTable *names)
{
    const QString literal = LiteralText(bits, radix, names);
    return literal.isEmpty() ? BusText(bits, radix) : literal;
}

QString IntegerText(qint64 value, int width, int radix)
{
    const Dovlin_RadixFormat *format = Dovlin_FindRadix(radix);
    if (!format)
        return QStringLiteral(" ");
    width = qBound(1, width, 64);
    QString ones(width, QLatin1Char('0'));
    for (int b = 0; b < width; ++b)
        if (quint64(value) >> b & 1)
            ones[width - 1 - b] = QLatin1Char('1');
    return format->m_BusText(ones, ones);
}

QString RealText(double value)
{
    return QStringLiteral(" %1r ").arg(QString::number(value, 'g', QLocale::FloatingPointShortest));
}

const std::vector<Dovlin_RadixFormat> &Dovlin_RadixFormats()
{
    static const std::vector<Dovlin_RadixFormat> formats = {
        {Dovlin_Radix::Binary, "binary", "Binary", "Binary Radix", BinaryBus},
        {Dovlin_Radix::Hexadecimal, "hex", "Hexadecimal", "Hexadecimal Radix", HexadecimalBus},
        {Dovlin_Radix::Octal, "octal", "Octal", "Octal Radix", OctalBus},
        {Dovlin_Radix::Unsigned, "unsigned", "Unsigned", "Unsigned Radix", UnsignedBus},
        {Dovlin_Radix::Signed, "signed", "Signed", "Signed Radix", SignedBus},
        {Dovlin_Radix::Names, "names", "Names", "Names of the enumeration's literals", BinaryBus},
    };
    return formats;
}

const Dovlin_RadixFormat *Dovlin_FindRadix(int code)
{
    for (const Dovlin_RadixFormat &format : Dovlin_RadixFormats())
        if (format.m_Code == code)
            return &format;
    return nullptr;
}

const Dovlin_RadixFormat *Dovlin_FindRadix(const QString &name)
{
    for (const Dovlin_RadixFormat &format : Dovlin_RadixFormats())
        if (name == QLatin1String(format.m_Name))
            return &format;
    return nullptr;
}

qint64 BinToUnsigned(const QString &bits)
{
    return qint64(UnsignedOf(bits));
}

qint64 BinToSigned(const QString &bits)
{
    if (bits.isEmpty())
        return 0;
    quint64 value = UnsignedOf(QStringView(bits).mid(1));
    const qsizetype signBit = bits.size() - 1;
    if (bits.at(0) != QLatin1Char('0') && signBit < 64)
        value -= quint64(1) << signBit;
    return qint64(value);
}

QString DecToHex(qint64 value)
{
    return Digits(quint64(value), 4, 'h');
}

QByteArray UnescapedBytes(QByteArrayView text)
{
    // The byte a letter after a backslash stands for; 0 for a letter that names none.
    const auto named = [](char c) -> char {
        switch (c) {
        case '\\': case '"': case '\'': case '?': return c;
        case 'a': return '\a';
        case 'b': return '\b';
        case 'f': return '\f';
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        case 'v': return '\v';
        default: return 0;
        }
    };
    const qsizetype size = text.size();
    // The value of the digit at i in a base up to 16; -1 for none.
    const auto digit = [&](qsizetype i, int base) {
        const int c = i < size ? std::tolower(static_cast<unsigned char>(text[i])) : 0;
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : base;
        return d < base ? d : -1;
    };
    QByteArray bytes;
    bytes.reserve(size);
    for (qsizetype i = 0; i < size; ++i) {
        const char next = i + 1 < size ? text[i + 1] : '\0';
        if (text[i] != '\\' || !next) {
            bytes += text[i];
        } else if (const char byte = named(next)) {
            bytes += byte;
            i += 1;
        } else if (digit(i + 1, 4) >= 0 && digit(i + 2, 8) >= 0 && digit(i + 3, 8) >= 0) {
            bytes += char(digit(i + 1, 4) << 6 | digit(i + 2, 8) << 3 | digit(i + 3, 8));
            i += 3;
        } else if (next == 'x' && digit(i + 2, 16) >= 0 && digit(i + 3, 16) >= 0) {
            bytes += char(digit(i + 2, 16) << 4 | digit(i + 3, 16));
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

QString DumpText(QByteArrayView bytes)
{
    return bytes.isValidUtf8() ? Utf8Text(bytes) : QString::fromLatin1(bytes);
}

QString Utf8Text(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    return utf8.decode(bytes);
}

namespace {
struct TimeUnit
{
    const char *m_Name;
    int m_Power;
};
constexpr TimeUnit TimeUnits[] = {{"s", 0}, {"ms", -3}, {"us", -6}, {"ns", -9}, {"ps", -12}, {"fs", -15}};

// "1200 ns", or "1200 x 1e-10 s" for a unit without a name.
QString TimeInUnit(qint64 time, int timeBase)
{
    for (const TimeUnit &unit : TimeUnits)
        if (unit.m_Power == timeBase)
            return QStringLiteral("%1 %2").arg(time).arg(QLatin1String(unit.m_Name));
    return QStringLiteral("%1 x %2").arg(time).arg(TimeUnitText(timeBase));
}
}

bool ParseTimeText(const QString &text, int timeBase, qint64 endTime, qint64 &time, QString &error)
{
    static const QRegularExpression form(QStringLiteral("^(-?)([0-9]*)(?:\\.([0-9]*))?\\s*(\\S*)$"));
    const QString typed = text.trimmed();
    const QRegularExpressionMatch match = form.match(typed);
    const QString whole = match.captured(2), fraction = match.captured(3);
    if (!match.hasMatch() || (whole.isEmpty() && fraction.isEmpty())) {
        error = QStringLiteral("\"%1\" is not a time: give a number with a unit (s, ms, us, ns, ps or fs), "
                               "or a number of the file's unit (%2)")
                    .arg(typed, TimeUnitText(timeBase));
        return false;
    }
    int power = timeBase;
    // The micro sign and the Greek mu both stand for u.
    const QString unitName =
        match.captured(4).toLower().replace(QChar(0xB5), QLatin1Char('u')).replace(QChar(0x3BC), QLatin1Char('u'));
    if (!unitName.isEmpty()) {
        const TimeUnit *unit = std::find_if(std::begin(TimeUnits), std::end(TimeUnits), [&](const TimeUnit &u) {
            return unitName == QLatin1String(u.m_Name);
        });
        if (unit == std::end(TimeUnits)) {
            error = QStringLiteral("\"%1\" is not a time unit: use s, ms, us, ns, ps or fs").arg(match.captured(4));
            return false;
        }
        power = unit->m_Power;
    }
    // The digits of the number and the power of ten of the file's unit they are to be scaled by.
    QString digits = whole + fraction;
    int shift = power - timeBase - int(fraction.size());
    for (; shift < 0 && digits.endsWith(QLatin1Char('0')); ++shift)
        digits.chop(1);
    while (digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    if (digits.isEmpty())
        shift = 0;
    if (shift < 0) {
        error = QStringLiteral("%1 is not a whole number of the file's unit (%2)").arg(typed, TimeUnitText(timeBase));
        return false;
    }
    const bool negative = !match.captured(1).isEmpty() && !digits.isEmpty();
    // Past 18 digits a number may not fit in 64 bits: it lies past any file's end anyway.
    const bool huge = digits.size() + shift > 18;
    if (!huge) {
        time = digits.isEmpty() ? 0 : digits.toLongLong();
        for (int i = 0; i < shift; ++i)
            time *= 10;
    }
    if (negative) {
        error = QStringLiteral("%1 lies before the start of the file (0)").arg(typed);
        return false;
    }
    if (huge || time > endTime) {
        error = QStringLiteral("%1 lies past the end of the file (%2)").arg(typed, TimeInUnit(qMax<qint64>(0, endTime), timeBase));
        return false;
    }
    return true;
}

QString TimeUnitText(int timeBase)
{
    static const char *const units[] = {"s", "ms", "us", "ns", "ps", "fs"};
    if (timeBase <= 0 && timeBase >= -15 && timeBase % 3 == 0)
        return QStringLiteral("1 %1").arg(QLatin1String(units[-timeBase / 3]));
    return QStringLiteral("1e%1 s").arg(timeBase);
}
