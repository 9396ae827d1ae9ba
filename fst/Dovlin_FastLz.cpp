#include "Dovlin_FastLz.h"

bool Dovlin_FastLzDecode(const unsigned char *in, size_t inSize, unsigned char *out, size_t outSize)
{
    if (inSize == 0)
        return outSize == 0;
    const int level = (in[0] >> 5) + 1;
    if (level > 2)
        return false;
    size_t ip = 0, op = 0;
    unsigned instruction = in[ip++] & 0x1F;
    for (;;) {
        if (instruction < 32) {
            const size_t run = instruction + 1;
            if (run > inSize - ip || run > outSize - op)
                return false;
            for (size_t i = 0; i < run; ++i)
                out[op++] = in[ip++];
        } else {
            size_t length = instruction >> 5;
            const size_t high = instruction & 0x1F;
            if (length == 7) {
                if (level == 1) {
                    if (ip >= inSize)
                        return false;
                    length += in[ip++];
                } else {
                    unsigned char extra;
                    do {
                        if (ip >= inSize)
                            return false;
                        extra = in[ip++];
                        length += extra;
                    } while (extra == 255 && length <= outSize);
                }
            }
            if (ip >= inSize)
                return false;
            const unsigned code = in[ip++];
            size_t distance = (high << 8) + code + 1;
            if (level == 2 && code == 255 && high == 31) {
                if (inSize - ip < 2)
                    return false;
                distance = ((size_t(in[ip]) << 8) | in[ip + 1]) + 8192;
                ip += 2;
            }
            length += 2;
            if (distance > op || length > outSize - op)
                return false;
            for (size_t i = 0; i < length; ++i, ++op)
                out[op] = out[op - distance];
        }
        if (ip == inSize)
            return op == outSize;
        instruction = in[ip++];
    }
}
