// Fuzz target: load, save to a buffer in each format, load again. A model saved in a format
// loads again into the same model (format 1 holds no radix, no strings and Latin-1 names only;
// format 2 holds no times that go back), and saves to the same bytes again. Its events, packed
// and spilled as an import does, save to the same bytes as kept in memory. A file of format 2 is
// taken with its checksums made right, so that mutations reach what lies behind them.
#include "fuzz_support.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        Fuzz::Repaired(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    Dovlin_FileManager first;
    if (!Fuzz::Load(first, bytes))
        return 0;
    for (const int format : {Dovlin_WaveFormat::Format1, Dovlin_WaveFormat::Format2}) {
        QByteArray saved;
        if (!Fuzz::TrySave(first, format, saved)) {
            // A box found damaged on the way fails either format; times that go back fail format 2.
            Fuzz::Require(format == Dovlin_WaveFormat::Format2 || first.HasDamage(), "format 1 refused a model:",
                          first.ErrorString());
            continue;
        }
        Dovlin_FileManager second;
        Fuzz::Require(Fuzz::Load(second, saved), "a saved model does not load:", second.ErrorString());
        Fuzz::Require(Fuzz::Save(second, format) == saved, "saving the reloaded model changes its bytes");
        const bool exact = format == Dovlin_WaveFormat::Format2 || first.SaveWarnings().isEmpty();
        const bool radix = format == Dovlin_WaveFormat::Format2;
        Fuzz::Require(!exact || Fuzz::ModelText(first, radix) == Fuzz::ModelText(second, radix),
                      "the model changed on its way through format", QString::number(format));
        Fuzz::Require(first.GetTimeBase() == second.GetTimeBase(), "the time base changed");
        Fuzz::Require(format == Dovlin_WaveFormat::Format1 || first.GetEndTime() == second.GetEndTime(),
                      "the end time changed");
    }

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
            if (!event)
                return 0;
            a->AddEvent(event->m_Time, event->m_Value.m_IntValue);
            b->AddEvent(event->m_Time, event->m_Value.m_IntValue);
        }
    }
    // Spilled boxes go to format 2 as they were packed: only events in time order, as an import
    // appends them, may be spilled for it.
    const bool inOrder = Fuzz::InOrder(first);
    for (const int format : {Dovlin_WaveFormat::Format1, Dovlin_WaveFormat::Format2}) {
        if (format == Dovlin_WaveFormat::Format2 && !inOrder)
            continue;
        QByteArray fromKept, fromSpilled;
        const bool savedKept = Fuzz::TrySave(kept, format, fromKept);
        Fuzz::Require(savedKept == Fuzz::TrySave(spilled, format, fromSpilled) && fromKept == fromSpilled,
                      "spilled events save differently in format", QString::number(format));
    }
    return 0;
}
