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

#endif
