#include "Dovlin_Crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace {

constexpr quint32 Polynomial = 0x82F63B78u;

// Eight tables: the bytes of a 64-bit word are folded in at once.
struct Tables
{
    std::array<std::array<quint32, 256>, 8> m_Table{};
    constexpr Tables()
    {
        for (quint32 i = 0; i < 256; ++i) {
            quint32 crc = i;
            for (int bit = 0; bit < 8; ++bit)
                crc = crc & 1 ? (crc >> 1) ^ Polynomial : crc >> 1;
            m_Table[0][i] = crc;
        }
        for (int t = 1; t < 8; ++t)
            for (int i = 0; i < 256; ++i)
                m_Table[t][i] = (m_Table[t - 1][i] >> 8) ^ m_Table[0][m_Table[t - 1][i] & 0xff];
    }
};
constexpr Tables tables;

quint32 crcPortable(const unsigned char *p, qint64 size, quint32 crc)
{
    const auto &t = tables.m_Table;
    for (; size >= 8; size -= 8, p += 8) {
        quint64 word;
        std::memcpy(&word, p, sizeof word);
        word ^= crc;
        crc = t[7][word & 0xff] ^ t[6][(word >> 8) & 0xff] ^ t[5][(word >> 16) & 0xff] ^ t[4][(word >> 24) & 0xff]
              ^ t[3][(word >> 32) & 0xff] ^ t[2][(word >> 40) & 0xff] ^ t[1][(word >> 48) & 0xff] ^ t[0][word >> 56];
    }
    for (; size > 0; --size, ++p)
        crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xff];
    return crc;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) quint32 crcHardware(const unsigned char *p, qint64 size, quint32 crc)
{
    quint64 wide = crc;
    for (; size >= 8; size -= 8, p += 8) {
        quint64 word;
        std::memcpy(&word, p, sizeof word);
        wide = _mm_crc32_u64(wide, word);
    }
    crc = quint32(wide);
    for (; size > 0; --size, ++p)
        crc = _mm_crc32_u8(crc, *p);
    return crc;
}
#endif

} // namespace

quint32 Dovlin_Crc32c(const void *data, qint64 size, quint32 previous)
{
    const auto *p = static_cast<const unsigned char *>(data);
    const quint32 crc = ~previous;
#if defined(__x86_64__)
    static const bool hardware = __builtin_cpu_supports("sse4.2");
    if (hardware)
        return ~crcHardware(p, size, crc);
#endif
    return ~crcPortable(p, size, crc);
}
