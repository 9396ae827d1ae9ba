#include "Dovlin_BoxCodec.h"

#include "Dovlin_Signals.h"

#include <cstring>

namespace Dovlin_BoxCodec {

namespace {

constexpr unsigned char Alternating = 0x80;

int bitsFor(quint64 value)
{
    return value ? 64 - __builtin_clzll(value) : 0;
}

// The inverse of an odd number modulo 2^64 (Newton's iteration, each step doubling the bits).
quint64 inverseOf(quint64 odd)
{
    quint64 inverse = odd;
    for (int i = 0; i < 5; ++i)
        inverse *= 2 - odd * inverse;
    return inverse;
}

// Fields go out lowest bit first, 8 bytes at a time: the bits of a word wait in a register until
// it is full.
class BitWriter
{
public:
    explicit BitWriter(unsigned char *to) : m_To(to) {}
    // value has no bits at or above width (0 to 64).
    void Put(quint64 value, int width)
    {
        if (width == 0)
            return;
        m_Bits |= value << m_Count;
        const int total = m_Count + width;
        if (total < 64) {
            m_Count = total;
            return;
        }
        std::memcpy(m_To, &m_Bits, sizeof m_Bits);
        m_To += sizeof m_Bits;
        // The bits of value that did not fit in the word.
        m_Bits = m_Count == 0 ? 0 : value >> (64 - m_Count);
        m_Count = total - 64;
    }
    // The end of the last byte written, the partial one included.
    unsigned char *Finish()
    {
        std::memcpy(m_To, &m_Bits, sizeof m_Bits);
        return m_To + (m_Count + 7) / 8;
    }

private:
    unsigned char *m_To;
    quint64 m_Bits = 0;
    int m_Count = 0;
};

class BitReader
{
public:
    explicit BitReader(const unsigned char *from) : m_From(from) {}
    quint64 Get(int width)
    {
        if (width == 0)
            return 0;
        const unsigned char *at = m_From + (m_Position >> 3);
        const int shift = int(m_Position & 7);
        quint64 low;
        std::memcpy(&low, at, sizeof low);
        quint64 value = low >> shift;
        if (shift + width > 64)
            value |= quint64(at[8]) << (64 - shift);
        m_Position += quint64(width);
        return width == 64 ? value : value & ((quint64(1) << width) - 1);
    }

private:
    const unsigned char *m_From;
    quint64 m_Position = 0;
};

} // namespace

int PutVarint(quint64 value, unsigned char *to)
{
    int n = 0;
    while (value >= 0x80) {
        to[n++] = static_cast<unsigned char>(value | 0x80);
        value >>= 7;
    }
    to[n++] = static_cast<unsigned char>(value);
    return n;
}

int GetVarint(const unsigned char *from, const unsigned char *end, quint64 &value)
{
    value = 0;
    for (int n = 0; n < 10 && from + n < end; ++n) {
        const quint64 byte = from[n];
        // The tenth byte holds the top bit alone.
        if (n == 9 && byte > 1)
            return 0;
        value |= (byte & 0x7f) << (7 * n);
        if (!(byte & 0x80))
            return n + 1;
    }
    return 0;
}

int Encode(const CSignalEvent *events, int count, unsigned char *to)
{
    quint64 steps[MaxEvents - 1], units[MaxEvents - 1], values[MaxEvents];
    // The loops below keep two of each bound, for even and odd entries, and merge them after: one
    // chain of comparisons would make every entry wait for the one before.
    // The smallest non-zero step less one: a zero step wraps around to the largest.
    quint64 allSteps = 0, smallestLess = ~quint64(0), smallestLessOdd = ~quint64(0);
    int i = 0;
    for (; i + 1 < count - 1; i += 2) {
        const quint64 step = quint64(events[i + 1].m_Time) - quint64(events[i].m_Time);
        const quint64 next = quint64(events[i + 2].m_Time) - quint64(events[i + 1].m_Time);
        steps[i] = step;
        steps[i + 1] = next;
        allSteps |= step | next;
        smallestLess = qMin(smallestLess, step - 1);
        smallestLessOdd = qMin(smallestLessOdd, next - 1);
    }
    for (; i < count - 1; ++i) {
        const quint64 step = quint64(events[i + 1].m_Time) - quint64(events[i].m_Time);
        steps[i] = step;
        allSteps |= step;
        smallestLess = qMin(smallestLess, step - 1);
    }
    smallestLess = qMin(smallestLess, smallestLessOdd);
    qint64 low = events[0].m_Value.m_IntValue, high = low, lowOdd = low, highOdd = low;
    for (i = 0; i + 1 < count; i += 2) {
        values[i] = quint64(events[i].m_Value.m_IntValue);
        values[i + 1] = quint64(events[i + 1].m_Value.m_IntValue);
        low = qMin(low, qint64(values[i]));
        high = qMax(high, qint64(values[i]));
        lowOdd = qMin(lowOdd, qint64(values[i + 1]));
        highOdd = qMax(highOdd, qint64(values[i + 1]));
    }
    if (i < count) {
        values[i] = quint64(events[i].m_Value.m_IntValue);
        low = qMin(low, qint64(values[i]));
        high = qMax(high, qint64(values[i]));
    }
    low = qMin(low, lowOdd);
    high = qMax(high, highOdd);
    quint64 differs = 0;
    for (i = 2; i < count; ++i)
        differs |= values[i] ^ values[i - 2];
    const bool alternating = count >= 2 && differs == 0 && values[0] != values[1];

    // The smallest step is the unit when it divides every step (tested by multiplying with the
    // inverse of its odd part, which gives the quotient too), else the largest power of two that
    // does. The fields are the steps in units less the smallest.
    quint64 unit = 1, base = 0, top = 0;
    if (allSteps) {
        const quint64 lowBit = allSteps & (~allSteps + 1), smallest = smallestLess + 1;
        bool divides = false;
        if (smallest != lowBit) {
            const int shift = __builtin_ctzll(smallest);
            const quint64 odd = smallest >> shift, inverse = inverseOf(odd), limit = ~quint64(0) / odd;
            divides = (allSteps & ((quint64(1) << shift) - 1)) == 0;
            quint64 wrapped = 0, baseOdd = ~quint64(0), topOdd = 0;
            base = ~quint64(0);
            for (i = 0; i + 1 < count - 1; i += 2) {
                const quint64 quotient = (steps[i] >> shift) * inverse;
                const quint64 next = (steps[i + 1] >> shift) * inverse;
                wrapped |= quint64(quotient > limit) | quint64(next > limit);
                units[i] = quotient;
                units[i + 1] = next;
                base = qMin(base, quotient);
                top = qMax(top, quotient);
                baseOdd = qMin(baseOdd, next);
                topOdd = qMax(topOdd, next);
            }
            for (; i < count - 1; ++i) {
                const quint64 quotient = (steps[i] >> shift) * inverse;
                wrapped |= quint64(quotient > limit);
                units[i] = quotient;
                base = qMin(base, quotient);
                top = qMax(top, quotient);
            }
            base = qMin(base, baseOdd);
            top = qMax(top, topOdd);
            divides = divides && !wrapped;
            unit = smallest;
        }
        if (!divides) {
            unit = lowBit;
            const int shift = __builtin_ctzll(lowBit);
            base = ~quint64(0);
            top = 0;
            quint64 baseOdd = ~quint64(0), topOdd = 0;
            for (i = 0; i + 1 < count - 1; i += 2) {
                units[i] = steps[i] >> shift;
                units[i + 1] = steps[i + 1] >> shift;
                base = qMin(base, units[i]);
                top = qMax(top, units[i]);
                baseOdd = qMin(baseOdd, units[i + 1]);
                topOdd = qMax(topOdd, units[i + 1]);
            }
            for (; i < count - 1; ++i) {
                units[i] = steps[i] >> shift;
                base = qMin(base, units[i]);
                top = qMax(top, units[i]);
            }
            base = qMin(base, baseOdd);
            top = qMax(top, topOdd);
        }
    }
    const int stepBits = bitsFor(top - base);

    unsigned char *out = to;
    *out++ = static_cast<unsigned char>(stepBits);
    if (count >= 2) {
        out += PutVarint(unit, out);
        out += PutVarint(base, out);
    }
    const int valueBits = bitsFor(quint64(high) - quint64(low));
    if (alternating) {
        *out++ = Alternating;
        out += PutVarint(ZigZag(qint64(values[0])), out);
        out += PutVarint(ZigZag(qint64(values[1] - values[0])), out);
    } else {
        *out++ = static_cast<unsigned char>(valueBits);
        out += PutVarint(ZigZag(low), out);
    }
    BitWriter bits(out);
    if (stepBits > 0)
        for (int i = 0; i < count - 1; ++i)
            bits.Put(units[i] - base, stepBits);
    if (!alternating && valueBits > 0)
        for (int i = 0; i < count; ++i)
            bits.Put(values[i] - quint64(low), valueBits);
    return int(bits.Finish() - to);
}

bool Decode(const unsigned char *from, int size, int count, qint64 firstTime, CSignalEvent *events)
{
    if (size < 2 || count < 1 || count > MaxEvents)
        return false;
    const unsigned char *in = from, *end = from + size;
    const int stepBits = *in++;
    quint64 unit = 1, base = 0;
    if (count >= 2) {
        int n = GetVarint(in, end, unit);
        if (!n || unit == 0)
            return false;
        in += n;
        if (!(n = GetVarint(in, end, base)))
            return false;
        in += n;
    }
    if (stepBits > 64 || (count == 1 && stepBits != 0) || in == end)
        return false;
    const unsigned char mode = *in++;
    const bool alternating = mode == Alternating;
    if (!alternating && mode > 64)
        return false;
    quint64 first = 0, second = 0;
    int n = GetVarint(in, end, first);
    if (!n)
        return false;
    in += n;
    if (alternating) {
        if (count < 2 || !(n = GetVarint(in, end, second)))
            return false;
        in += n;
        second = quint64(UnZigZag(first)) + quint64(UnZigZag(second));
    }
    const int valueBits = alternating ? 0 : mode;
    const qint64 streamBits = qint64(count - 1) * stepBits + qint64(count) * valueBits;
    if (end - in != (streamBits + 7) / 8)
        return false;

    BitReader bits(in);
    quint64 time = quint64(firstTime);
    events[0].m_Time = firstTime;
    for (int i = 1; i < count; ++i) {
        time += (base + bits.Get(stepBits)) * unit;
        events[i].m_Time = qint64(time);
    }
    if (alternating) {
        const quint64 even = quint64(UnZigZag(first));
        for (int i = 0; i < count; ++i)
            events[i].m_Value.m_IntValue = qint64(i % 2 ? second : even);
    } else {
        const quint64 low = quint64(UnZigZag(first));
        for (int i = 0; i < count; ++i)
            events[i].m_Value.m_IntValue = qint64(low + bits.Get(valueBits));
    }
    return true;
}

} // namespace Dovlin_BoxCodec
