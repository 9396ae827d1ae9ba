// Fuzz target: load, save to a buffer, load again. A file the loader accepts saves to bytes that
// load into a model saving to the same bytes again. (The first save may differ from the input:
// booleans other than 1 and names cut at a zero byte are written back normalised.) Its events,
// packed and spilled as an import does, save to the same bytes as kept in memory.
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

    // An import packs whatever events it is given: the file's events appended to a model that
    // spills every full box and to one that keeps them save to the same bytes.
    static const QString spillFolder = QFileInfo(Fuzz::WavePath()).absolutePath();
    Dovlin_FileManager kept, spilled;
    Fuzz::Require(spilled.EnableSpill(spillFolder), "no spill file:", spilled.ErrorString());
    for (int s = 0; s < first.GetnSignal(); ++s) {
        const Dovlin_Signal *from = first.GetSignal(s);
        auto *a = &kept.AddSignal<Dovlin_IntSignal>();
        auto *b = &spilled.AddSignal<Dovlin_IntSignal>();
        for (qint64 i = 0; i < from->GetnEvent(); ++i) {
            const std::optional<CSignalEvent> event = from->GetEvent(i);
            a->AddEvent(event->m_Time, event->m_Value.m_IntValue);
            b->AddEvent(event->m_Time, event->m_Value.m_IntValue);
        }
    }
    Fuzz::Require(Fuzz::Save(kept) == Fuzz::Save(spilled), "spilled events save differently");
    return 0;
}
