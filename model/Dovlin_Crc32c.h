#ifndef DOVLIN_CRC32C_H
#define DOVLIN_CRC32C_H

#include <QtGlobal>

// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78, initial value and final xor 0xFFFFFFFF),
// with the processor's instruction where it has one. Crc32c(data, n, Crc32c(prefix, m)) is the CRC
// of prefix followed by data.
quint32 Dovlin_Crc32c(const void *data, qint64 size, quint32 previous = 0);

#endif
