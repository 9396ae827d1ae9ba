// VCD tokens from vcd_lex, and parses with the VCD grammar tables whose actions do nothing.
#include "vcd_lex.h"
#include "vcd_yacc_tables.h"
#include "vcd_yacc_tokens.h"

#include <QtTest>

#include <cstdio>

namespace {

// "NAME(text)" per token, bytes outside printable ASCII as \xHH.
QString describe(int token, const char* text, int length)
{
    QString shown;
    for (int i = 0; i < length; ++i) {
        const uchar c = uchar(text[i]);
        shown += c >= 0x20 && c < 0x7f ? QString(QChar(c)) : QStringLiteral("\\x%1").arg(c, 2, 16, QChar('0'));
    }
    return QStringLiteral("%1(%2)").arg(QString::fromLatin1(vcd_yacc_tokens::token_name(token)), shown);
}

class Input {
public:
    explicit Input(const QByteArray& text)
        : m_text(text), m_file(fmemopen(m_text.data(), size_t(m_text.size()), "r"))
    {
    }
    ~Input() { fclose(m_file); }
    FILE* file() const { return m_file; }

private:
    QByteArray m_text;
    FILE* m_file;
};

// Reduction actions that read the text of the token just shifted, by action number.
bool readsTokenText(int action)
{
    const int rule = action + 1;
    return rule == 23 || rule == 33 || (rule >= 56 && rule <= 65) || (rule >= 67 && rule <= 71)
           || rule == 75 || rule == 76 || rule == 83 || rule == 86 || rule == 89 || rule == 90;
}

// Parses with the VCD tables; records "action:text" for the text-reading actions, with the
// text the scanner holds at that moment ("action:LOOK-AHEAD" if a token was read past it).
class ParseOnly : public yyfparser {
public:
    explicit ParseOnly(vcd_lex& lexer) : m_lexer(lexer) { yyinstall(vcd_yacc_tables()); }
    QStringList texts;

protected:
    int yyaction(int action) override
    {
        if (readsTokenText(action))
            texts << QStringLiteral("%1:%2").arg(action).arg(
                yylookahead ? QStringLiteral("LOOK-AHEAD") : QString::fromLatin1(m_lexer.yytext));
        // A parse that loops without end stops with a result no test expects.
        if (++m_actions > 100000) {
            yyexitflg = true;
            yyexitcode = 2;
        }
        return 0;
    }

private:
    vcd_lex& m_lexer;
    int m_actions = 0;
};

} // namespace

class TestVcdLex : public QObject {
    Q_OBJECT

private slots:
    void tokens_data();
    void tokens();
    void parse_data();
    void parse();
    void tokenTextWithoutLookahead();
};

void TestVcdLex::tokens_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("vector declaration")
        << QByteArray("$var wire 8 # data [7:0] $end")
        << "VAR($var) WIRE(wire) DECIMAL_NUMBER(8) IDENTIFIER_CODE(#) "
           "RANGE_REFERENCE(data [7:0]) END($end)";
    QTest::newRow("time value") << QByteArray("$timescale 1ns $end")
                                << "TIMESCALE($timescale) TIME_VALUE(1ns) END($end)";
    QTest::newRow("number and unit")
        << QByteArray("$timescale 1 ns $end")
        << "TIMESCALE($timescale) DECIMAL_NUMBER(1) UNIT_NS(ns) END($end)";
    QTest::newRow("time stamps") << QByteArray("#1_000 # #12a")
                                 << "SIMULATION_TIME(#1_000) IDENTIFIER_CODE(#) IDENTIFIER_CODE(#12a)";
    QTest::newRow("values and numbers")
        << QByteArray("0! x# 1 10 1s 0ns 1ms x xa")
        << "BINARY_VALUE(0!) BINARY_VALUE(x#) DECIMAL_NUMBER(1) DECIMAL_NUMBER(10) TIME_VALUE(1s) "
           "TIME_VALUE(0ns) TIME_VALUE(1ms) IDENTIFIER(x) BINARY_VALUE(xa)";
    QTest::newRow("vectors") << QByteArray("b0101 B1x0z b012 b")
                             << "BINARYVECTOR_VALUE(b0101) BINARYVECTOR_VALUE(B1x0z) "
                                "IDENTIFIER(b012) IDENTIFIER(b)";
    QTest::newRow("reals") << QByteArray("r1.5 R2.5E3 r1E+5 r1_0.5 r1.5e3 r-1.5 r.5")
                           << "REAL_VALUE(r1.5) REAL_VALUE(R2.5E3) REAL_VALUE(r1E+5) "
                              "REAL_VALUE(r1_0.5) IDENTIFIER_CODE(r1.5e3) IDENTIFIER_CODE(r-1.5) "
                              "IDENTIFIER_CODE(r.5)";
    QTest::newRow("identifiers") << QByteArray("a__b _a abc_d Module $COMMENT $end2")
                                 << "IDENTIFIER_CODE(a__b) IDENTIFIER_CODE(_a) IDENTIFIER(abc_d) "
                                    "IDENTIFIER(Module) IDENTIFIER_CODE($COMMENT) "
                                    "IDENTIFIER_CODE($end2)";
    QTest::newRow("references")
        << QByteArray("data[7:0] data [ 7 : 0 ] a [3] a[3] a\n[1_0]")
        << "RANGE_REFERENCE(data[7:0]) RANGE_REFERENCE(data [ 7 : 0 ]) BIT_REFERENCE(a [3]) "
           "BIT_REFERENCE(a[3]) BIT_REFERENCE(a\\x0a[1_0])";
    QTest::newRow("punctuation alone") << QByteArray(": [ ]")
                                       << "COLON(:) LEFT_BRACKET([) RIGHT_BRACKET(])";
    QTest::newRow("reference in a text block")
        << QByteArray("$comment a [3] $end") << "TEXT_COMMAND($comment) BIT_REFERENCE(a [3]) END($end)";
    QTest::newRow("bytes in a text block")
        << QByteArray("$date 5 \xc3\xa9t\xc3\xa9 $end $var")
        << "TEXT_COMMAND($date) OTHER_CHAR(\\xc3) OTHER_CHAR(\\xa9) OTHER_CHAR(\\xc3) "
           "OTHER_CHAR(\\xa9) END($end) VAR($var)";
    QTest::newRow("words of a text block dropped")
        << QByteArray("$version tool 1.0 $scope $end $end") << "TEXT_COMMAND($version) END($end) END($end)";
    QTest::newRow("control byte outside a text block") << QByteArray("\x01 \x7f")
                                                       << "OTHER_CHAR(\\x01) OTHER_CHAR(\\x7f)";
    QTest::newRow("end inside a text block") << QByteArray("$comment words")
                                             << "TEXT_COMMAND($comment)";
    QTest::newRow("commands")
        << QByteArray("$enddefinitions $scope $upscope $dumpall $dumpoff $dumpon $dumpvars")
        << "ENDDEFINITIONS($enddefinitions) SCOPE($scope) UPSCOPE($upscope) DUMPALL($dumpall) "
           "DUMPOFF($dumpoff) DUMPON($dumpon) DUMPVARS($dumpvars)";
    QTest::newRow("keywords")
        << QByteArray("module task function begin fork event integer parameter real reg supply0 "
                      "supply1 time tri triand trior trireg tri0 tri1 wire wand wor")
        << "MODULE(module) TASK(task) FUNCTION(function) BEGIN(begin) FORK(fork) EVENT(event) "
           "INTEGER(integer) PARAMETER(parameter) REAL(real) REG(reg) SUPPLY0(supply0) "
           "SUPPLY1(supply1) TIME(time) TRI(tri) TRIAND(triand) TRIOR(trior) TRIREG(trireg) "
           "TRI0(tri0) TRI1(tri1) WIRE(wire) WAND(wand) WOR(wor)";
    QTest::newRow("units") << QByteArray("s ms us ns ps fs")
                           << "UNIT_S(s) UNIT_MS(ms) UNIT_US(us) UNIT_NS(ns) UNIT_PS(ps) UNIT_FS(fs)";
}

void TestVcdLex::tokens()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);

    vcd_lex lexer;
    QCOMPARE(lexer.lastToken, int(vcd_yacc_tokens::BEGIN));
    QCOMPARE(lexer.yycreate(), 1);
    Input in(input);
    lexer.yyin = in.file();
    QStringList seen;
    for (int token; (token = lexer.yylex()) != 0 && seen.size() < 100;)
        seen << describe(token, lexer.yytext, lexer.yyleng);
    QCOMPARE(seen.join(' '), expected);
    QCOMPARE(lexer.yylex(), 0);
}

void TestVcdLex::parse_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("result");

    QTest::newRow("small file")
        << QByteArray("$date today $end\n$timescale 1ns $end\n$scope module top $end\n"
                      "$var wire 8 # data [7:0] $end\n$scope begin inner $end\n"
                      "$var real 64 % r $end\n$upscope $end\n$upscope $end\n$scope task t $end\n"
                      "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\nb0 #\nr1.5 %\n$end\n"
                      "#10\nb10000000 #\n")
        << 0;
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("words in a comment") << QByteArray("$comment any words here $end") << 0;
    QTest::newRow("stray end") << QByteArray("$end") << 1;
    QTest::newRow("stray upscope") << QByteArray("$upscope $end") << 1;
    QTest::newRow("var outside a scope") << QByteArray("$var wire 1 ! a $end") << 1;
    QTest::newRow("number at top level") << QByteArray("#1 12") << 1;
    QTest::newRow("empty dumpvars") << QByteArray("$dumpvars $end") << 1;
    QTest::newRow("time stamp in dumpvars") << QByteArray("$dumpvars #1 $end") << 1;
    QTest::newRow("code as a reference")
        << QByteArray("$scope module m $end $var wire 1 ! a.b $end $upscope $end") << 1;
    QTest::newRow("range in a comment") << QByteArray("$comment bus [7:0] $end") << 1;
    QTest::newRow("end inside a command") << QByteArray("$timescale 1ns") << 1;
    QTest::newRow("end inside a text block") << QByteArray("$comment words") << 1;
}

void TestVcdLex::parse()
{
    QFETCH(QByteArray, input);
    QFETCH(int, result);

    vcd_lex lexer;
    ParseOnly parser(lexer);
    QCOMPARE(parser.yycreate(&lexer), 1);
    QCOMPARE(lexer.yycreate(&parser), 1);
    Input in(input);
    char* messages = nullptr;
    size_t size = 0;
    FILE* err = open_memstream(&messages, &size);
    lexer.yyin = in.file();
    parser.yyerr = err;
    const int parsed = parser.yyparse();
    fclose(err);
    const QByteArray written(messages, int(size));
    free(messages);
    QCOMPARE(parsed, result);
    QCOMPARE(written, result == 0 ? QByteArray() : QByteArray("syntax error\n"));
    QCOMPARE(parser.yyerrorcount, result);
}

void TestVcdLex::tokenTextWithoutLookahead()
{
    const QByteArray input("$timescale 10 ps $end\n$timescale 1ns $end\n$scope module top $end\n"
                           "$var wire 8 # data [7:0] $end\n$var reg 1 1s s $end\n"
                           "$var reg 1 7 r1.5 $end\n$var reg 1 a[0] b0 $end\n"
                           "$var reg 2 q[1:0] 1x $end\n$var reg 1 ~ e [2] $end\n"
                           "$scope task us $end $var reg 1 %a ms $end $var reg 1 %b ns $end\n"
                           "$var reg 1 %c ps $end $var reg 1 %d fs $end $upscope $end\n"
                           "$upscope $end\n$enddefinitions $end\n#5\n1~\nb101 #\nr2.5 7\n");
    vcd_lex lexer;
    ParseOnly parser(lexer);
    QCOMPARE(parser.yycreate(&lexer), 1);
    QCOMPARE(lexer.yycreate(&parser), 1);
    Input in(input);
    lexer.yyin = in.file();
    QCOMPARE(parser.yyparse(), 0);
    const QStringList expected{
        "22:10",   "32:1ns", "64:top", "22:8",  "68:#",  "75:data [7:0]", "22:1",  "67:1s",
        "55:s",    "22:1",   "66:7",   "63:r1.5", "22:1", "69:a[0]", "62:b0", "22:2",
        "70:q[1:0]", "61:1x", "22:1",  "68:~",  "74:e [2]", "57:us", "22:1",  "68:%a",
        "56:ms",   "22:1",   "68:%b",  "58:ns", "22:1",  "68:%c", "59:ps",  "22:1",
        "68:%d",   "60:fs",  "82:#5",  "85:1~", "88:b101", "68:#", "89:r2.5", "66:7"};
    QCOMPARE(parser.texts, expected);
}

QTEST_GUILESS_MAIN(TestVcdLex)
#include "tst_vcdlex.moc"
