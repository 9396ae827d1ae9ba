// Fuzz target: the wave-file loader, both ways a document reads a file: from a buffer and from
// a mapped file whose events stay in the mapping. Any bytes are refused with a reason, the same
// either way, or give models that save to the same bytes and answer every query of the views.
// A file of format 2 is tried as it is and with its checksums made right, so that mutations reach
// the checks behind them.
#include "fuzz_support.h"

#include <QFile>

#include <cstdint>

namespace {
void LoadBothWays(const QByteArray &bytes)
{
    Dovlin_FileManager buffered;
    int format = 0;
    const bool loaded = Fuzz::Load(buffered, bytes, &format);
    Fuzz::Require(loaded == buffered.ErrorString().isEmpty(), "a load's result and its reason disagree");

    QFile file(Fuzz::WavePath());
    Fuzz::Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
                  "cannot write the input file");
    file.close();
    Dovlin_FileManager mapped;
    Fuzz::Require(mapped.Load(Fuzz::WavePath()) == loaded, "the mapped load differs from the buffered one:",
                  buffered.ErrorString() + " / " + mapped.ErrorString());
    if (!loaded)
        return;
    QByteArray fromMapped, fromBuffered;
    const bool savedMapped = Fuzz::TrySave(mapped, format, fromMapped);
    Fuzz::Require(savedMapped == Fuzz::TrySave(buffered, format, fromBuffered) && fromMapped == fromBuffered,
                  "the mapped model saves other bytes");
    Fuzz::Walk(buffered, format);
    Fuzz::Walk(mapped, format);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    LoadBothWays(bytes);
    const QByteArray repaired = Fuzz::Repaired(bytes);
    if (repaired != bytes)
        LoadBothWays(repaired);
    return 0;
}
