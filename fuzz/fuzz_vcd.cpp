// Fuzz target: the VCD import from a byte buffer, scanner, parser and model construction as
// Dovlin_VcdImport runs them, with the fast path for value changes, three storing threads and the
// body read in chunks of 64 bytes by three workers, and without the fast path on one thread, which
// must agree byte for byte and message for message. A dump that imports must give a wave file that
// loads, saves back to the same bytes and answers the views' queries.
#include "fuzz_support.h"

#include "Dovlin_ImportReporter.h"
#include "vcd_lex.h"
#include "vcd_yacc.h"

#include <QFile>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <memory>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Formats every message the import makes, as a real reporter would, and keeps them.
class RecordingReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &text) override { m_Messages << text; }
    void Warning(const QString &text) override { m_Messages << text; }
    QStringList m_Messages;
};

struct FileCloser
{
    void operator()(FILE *file) const { std::fclose(file); }
};

// What an import made of the dump: its messages, why it failed, or the wave file.
struct Outcome
{
    QStringList m_Messages;
    QString m_Failure;
    QByteArray m_Wave;
    int m_nSignal = 0;
    int m_nHierarchy = 0;
    bool operator==(const Outcome &other) const
    {
        return m_Messages == other.m_Messages && m_Failure == other.m_Failure && m_Wave == other.m_Wave;
    }
};

// Imports the dump as Dovlin_VcdImport does: with the fast path for value changes on three
// threads, the dump in a file of memory that the chunks' workers read, or without the fast path on
// one thread.
Outcome import(const uint8_t *data, size_t size, bool fast)
{
    std::unique_ptr<FILE, FileCloser> in;
    if (fast) {
        const int descriptor = memfd_create("fuzz.vcd", 0);
        Fuzz::Require(descriptor >= 0 && write(descriptor, data, size) == ssize_t(size), "cannot fill a memory file");
        in.reset(fdopen(descriptor, "rb"));
        Fuzz::Require(in != nullptr && fseek(in.get(), 0, SEEK_SET) == 0, "cannot read a memory file");
    } else {
        // fmemopen refuses an empty buffer; an empty dump reads as one.
        in.reset(size > 0 ? fmemopen(const_cast<uint8_t *>(data), size, "rb") : std::fopen("/dev/null", "rb"));
    }
    Fuzz::Require(in != nullptr, "cannot open the input stream");

    RecordingReporter reporter;
    vcd_lex lexer;
    vcd_yacc parser;
    parser.SetReporter(&reporter);
    parser.SetVCDFileName(QStringLiteral("fuzz.vcd"));
    // A low cap on declared bits keeps every input well inside the run's limits of 2 GB and 10 s
    // under the sanitizers (65 536 one-bit signals take 5 s there); the malformed-input tests
    // import the widest vectors.
    parser.SetMaxLeaves(4096);
    parser.m_WaveFileName = Fuzz::WavePath();
    if (fast) {
        parser.SetFastPath(&lexer);
        parser.SetStoringThreads(3);
        parser.SetDumpFile(fileno(in.get()), qint64(size), 64);
    }
    Fuzz::Require(parser.yycreate(&lexer) && lexer.yycreate(&parser), "yycreate failed");
    lexer.yyin = in.get();
    lexer.SetProgress(&reporter, qint64(size));

    Outcome outcome;
    const int result = parser.yyparse();
    parser.ReportProblems();
    Fuzz::Require(!lexer.ReadFailed() && !lexer.Cancelled(), "a memory stream failed to read");
    if (lexer.yyfailed() || result != 0) {
        Fuzz::Require(lexer.yyfailed() || !parser.ErrorString().isEmpty(), "a failed parse gives no reason");
        outcome.m_Failure = lexer.yyfailed() ? QStringLiteral("line %1: %2").arg(lexer.yylineno).arg(QString::fromLatin1(lexer.yyfailure()))
                                             : parser.ErrorString();
    } else {
        Fuzz::Require(parser.Convert(Dovlin_WaveFormat::Newest), "Convert failed:", parser.ErrorString());
        QFile file(parser.m_WaveFileName);
        Fuzz::Require(file.open(QIODevice::ReadOnly), "the wave file is missing");
        outcome.m_Wave = file.readAll();
        outcome.m_nSignal = parser.m_pFileManager->GetnSignal();
        outcome.m_nHierarchy = parser.m_pFileManager->GetnHierarchy();
    }
    outcome.m_Messages = reporter.m_Messages;
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Outcome outcome = import(data, size, true);
    Fuzz::Require(outcome == import(data, size, false), "the fast path on three threads and the scanner's tables on one read the dump differently");
    if (!outcome.m_Failure.isEmpty())
        return 0;
    const QByteArray &written = outcome.m_Wave;
    Dovlin_FileManager loaded;
    Fuzz::Require(Fuzz::Load(loaded, written), "the imported wave file does not load:", loaded.ErrorString());
    Fuzz::Require(loaded.GetnSignal() == outcome.m_nSignal && loaded.GetnHierarchy() == outcome.m_nHierarchy,
                  "the loaded model differs in size from the imported one");
    Fuzz::Require(Fuzz::Save(loaded, Dovlin_WaveFormat::Newest) == written, "saving the loaded import changes its bytes");
    Fuzz::Walk(loaded, Dovlin_WaveFormat::Newest);
    return 0;
}
