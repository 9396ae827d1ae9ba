#ifndef DOVLIN_FASTLZ_H
#define DOVLIN_FASTLZ_H

#include <cstddef>

// Decodes a FastLZ block (levels 1 and 2, told by its first byte) into exactly outSize bytes;
// false when the input is damaged, ends early or does not make exactly outSize bytes.
bool Dovlin_FastLzDecode(const unsigned char *in, size_t inSize, unsigned char *out, size_t outSize);

#endif
