#ifndef DOVLIN_BOXCODEC_H
#define DOVLIN_BOXCODEC_H

#include <QtGlobal>

struct CSignalEvent;

// The packed form of a box of events, shared by the import's spill store and the wave file's
// format 2 (docs/wave-file-format.md). A box's first time is kept outside it (in the file's box
// index), and so is its number of events. The times follow as steps of a unit, each step a field
// of as few bits as the box needs; the values as fields of as few bits as their range needs from
// the smallest, or as nothing at all when they alternate between two (a clock, most single bits).
namespace Dovlin_BoxCodec {

constexpr int MaxEvents = 32;
// The most a packed box takes: two mode bytes, three varints and 63 fields of 64 bits.
constexpr int MaxBoxBytes = 2 + 3 * 10 + (2 * MaxEvents - 1) * 8;
// Room Encode needs: it stores its bits 8 bytes at a time.
constexpr int MaxEncodedBytes = MaxBoxBytes + 8;
// Decode reads the bit fields 8 bytes at a time: a copy of a box with this much zero padding
// after it may be decoded from anywhere.
constexpr int Padding = 16;

// Unsigned LEB128: 7 bits a byte, lowest first; at most 10 bytes.
int PutVarint(quint64 value, unsigned char *to);
// The varint at from, not past end; 0 when it runs past end or past 10 bytes.
int GetVarint(const unsigned char *from, const unsigned char *end, quint64 &value);
inline quint64 ZigZag(qint64 value) { return (quint64(value) << 1) ^ quint64(value >> 63); }
inline qint64 UnZigZag(quint64 value) { return qint64(value >> 1) ^ -qint64(value & 1); }

// Packs count events (1 to MaxEvents) into to (MaxEncodedBytes of room); returns the bytes used.
// Any times and values are taken: times that go backwards wrap around modulo 2^64.
int Encode(const CSignalEvent *events, int count, unsigned char *to);
// Unpacks a box of count events whose first time is firstTime from bytes [from, from + size),
// which must be followed by Padding readable bytes. False when the bytes are not exactly such a box.
bool Decode(const unsigned char *from, int size, int count, qint64 firstTime, CSignalEvent *events);

} // namespace Dovlin_BoxCodec

#endif
