// Fuzz target: load, save to a buffer, load again. A file the loader accepts saves to bytes that
// load into a model saving to the same bytes again. (The first save may differ from the input:
// booleans other than 1 and names cut at a zero byte are written back normalised.)
#include "fuzz_support.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    Dovlin_FileManager first;
    if (!Fuzz::Load(first, bytes))
        return 0;
    const QByteArray saved = Fuzz::Save(first);
    Dovlin_FileManager second;
    Fuzz::Require(Fuzz::Load(second, saved), "a saved model does not load:", second.ErrorString());
    Fuzz::Require(Fuzz::Save(second) == saved, "saving the reloaded model changes its bytes");
    Fuzz::Require(first.GetEndTime() == second.GetEndTime() && first.GetTimeBase() == second.GetTimeBase(),
                  "end time or time base changed");
    return 0;
}
