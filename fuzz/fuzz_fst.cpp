// Fuzz target: the FST import from a byte buffer, written to a file as the reader maps it, then
// converted as Dovlin_VcdImport converts any FST file. A file that is refused must say why; one
// that converts must give a wave file that loads and answers the views' queries.
#include "fuzz_support.h"

#include "Dovlin_ImportReporter.h"
#include "Dovlin_VcdImport.h"

#include <QFile>
#include <QStringList>

#include <cstdint>

namespace {

class RecordingReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &text) override { m_Errors << text; }
    void Warning(const QString &) override {}
    QStringList m_Errors;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString fstPath = Fuzz::WavePath() + QStringLiteral(".fst");
    QFile file(fstPath);
    Fuzz::Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input file");
    Fuzz::Require(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size), "cannot write the input file");
    file.close();
    QFile::remove(Fuzz::WavePath());

    RecordingReporter reporter;
    Dovlin_VcdImport import(&reporter);
    // A low cap on declared bits keeps every input well inside the run's limits, as for the VCD target.
    Dovlin_ImportLimits limits;
    limits.m_MaxSignals = 4096;
    import.SetLimits(limits);
    if (!import.Convert(fstPath, Fuzz::WavePath())) {
        Fuzz::Require(!import.ErrorString().isEmpty() && reporter.m_Errors.size() == 1, "a refused file gives no reason");
        Fuzz::Require(!QFile::exists(Fuzz::WavePath()), "a refused file left a wave file");
        return 0;
    }
    QFile wave(Fuzz::WavePath());
    Fuzz::Require(wave.open(QIODevice::ReadOnly), "the converted wave file is missing");
    Dovlin_FileManager loaded;
    Fuzz::Require(Fuzz::Load(loaded, wave.readAll()), "the converted wave file does not load:", loaded.ErrorString());
    Fuzz::Walk(loaded, Dovlin_WaveFormat::Newest);
    return 0;
}
