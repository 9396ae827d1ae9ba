#ifndef DOVLIN_UTILITIES_H
#define DOVLIN_UTILITIES_H

#include <QString>

// Bit texts to numbers and back. Only the character '1' counts as a one; every other
// character (0, X, Z, U, blank ...) counts as zero. Arithmetic wraps modulo 2^64.
qint64 BinToUnsigned(const QString &bits);
// Two's complement of the bit text; any first character other than '0' is the sign bit.
// Texts wider than 64 characters give their low 64 bits read as a signed number.
qint64 BinToSigned(const QString &bits);
// The 64-bit pattern in upper-case hexadecimal followed by 'h' ("0h", "FFh").
QString DecToHex(qint64 value);
// The 64-bit pattern in binary followed by 'b' ("0b", "101b").
QString DecToBin(qint64 value);
// Text of a bus value in a radix (Dovlin_Radix) from the state letters of its bits, most
// significant first. L and H are weak 0 and 1; other states (X Z U W - ?) are never read as a
// number: hexadecimal shows a digit of four known bits, the letter of four equal unknown ones
// and X for a mix; unsigned and signed fall back to the binary text. Any width is exact.
QString BusText(const QString &bits, int radix);

#endif
