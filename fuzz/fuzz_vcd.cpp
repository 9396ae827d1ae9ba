// Fuzz target: the VCD import from a byte buffer, scanner, parser and model construction as
// Dovlin_VcdImport runs them. A dump that imports must give a wave file that loads, saves
// back to the same bytes and answers the views' queries.
#include "fuzz_support.h"

#include "Dovlin_ImportReporter.h"
#include "vcd_lex.h"
#include "vcd_yacc.h"

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

// Formats every message the import makes, as a real reporter would, and keeps none.
class DiscardingReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &text) override { m_Chars += text.size(); }
    void Warning(const QString &text) override { m_Chars += text.size(); }
    qint64 m_Chars = 0;
};

struct FileCloser
{
    void operator()(FILE *file) const { std::fclose(file); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // fmemopen refuses an empty buffer; an empty dump reads as one.
    std::unique_ptr<FILE, FileCloser> in(size > 0 ? fmemopen(const_cast<uint8_t *>(data), size, "rb")
                                                  : std::fopen("/dev/null", "rb"));
    Fuzz::Require(in != nullptr, "cannot open the input stream");

    DiscardingReporter reporter;
    vcd_lex lexer;
    vcd_yacc parser;
    parser.SetReporter(&reporter);
    parser.SetVCDFileName(QStringLiteral("fuzz.vcd"));
    // A low cap on declared bits keeps every input well inside the run's limits of 2 GB and 10 s
    // under the sanitizers (65 536 one-bit signals take 5 s there); the malformed-input tests
    // import the widest vectors.
    parser.SetMaxLeaves(4096);
    parser.m_WaveFileName = Fuzz::WavePath();
    Fuzz::Require(parser.yycreate(&lexer) && lexer.yycreate(&parser), "yycreate failed");
    lexer.yyin = in.get();
    lexer.SetProgress(&reporter, qint64(size));

    const int result = parser.yyparse();
    parser.ReportProblems();
    Fuzz::Require(!lexer.ReadFailed() && !lexer.Cancelled(), "a memory stream failed to read");
    if (lexer.yyfailed() || result != 0) {
        Fuzz::Require(lexer.yyfailed() || !parser.ErrorString().isEmpty(), "a failed parse gives no reason");
        return 0;
    }
    Fuzz::Require(parser.Convert(Dovlin_WaveFormat::Newest), "Convert failed:", parser.ErrorString());

    QFile file(parser.m_WaveFileName);
    Fuzz::Require(file.open(QIODevice::ReadOnly), "the wave file is missing");
    const QByteArray written = file.readAll();
    Dovlin_FileManager loaded;
    Fuzz::Require(Fuzz::Load(loaded, written), "the imported wave file does not load:", loaded.ErrorString());
    Fuzz::Require(loaded.GetnSignal() == parser.m_pFileManager->GetnSignal()
                      && loaded.GetnHierarchy() == parser.m_pFileManager->GetnHierarchy(),
                  "the loaded model differs in size from the imported one");
    Fuzz::Require(Fuzz::Save(loaded, Dovlin_WaveFormat::Newest) == written, "saving the loaded import changes its bytes");
    Fuzz::Walk(loaded, Dovlin_WaveFormat::Newest);
    return 0;
}
