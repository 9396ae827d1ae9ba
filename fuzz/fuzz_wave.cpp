// Fuzz target: the wave-file loader, both ways a document reads a file: from a buffer and from
// a mapped file whose events stay in the mapping. Any bytes are refused with a reason, the same
// either way, or give models that save to the same bytes and answer every query of the views.
#include "fuzz_support.h"

#include <QFile>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    Dovlin_FileManager buffered;
    const bool loaded = Fuzz::Load(buffered, bytes);
    Fuzz::Require(loaded == buffered.ErrorString().isEmpty(), "a load's result and its reason disagree");

    QFile file(Fuzz::WavePath());
    Fuzz::Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
                  "cannot write the input file");
    file.close();
    Dovlin_FileManager mapped;
    Fuzz::Require(mapped.Load(Fuzz::WavePath()) == loaded, "the mapped load differs from the buffered one:",
                  buffered.ErrorString() + " / " + mapped.ErrorString());
    if (!loaded)
        return 0;
    Fuzz::Require(Fuzz::Save(mapped) == Fuzz::Save(buffered), "the mapped model saves other bytes");
    Fuzz::Walk(buffered);
    Fuzz::Walk(mapped);
    return 0;
}
