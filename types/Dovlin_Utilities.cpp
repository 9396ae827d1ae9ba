#include "Dovlin_Utilities.h"

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

} // namespace

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

QString DecToBin(qint64 value)
{
    return Digits(quint64(value), 1, 'b');
}
