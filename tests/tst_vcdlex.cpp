// VCD tokens from vcd_lex in its start conditions, and parses with the VCD grammar tables whose
// actions do nothing.
#include "memstreams.h"
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

// Reduction actions that read the text of the token just shifted, by action number.
bool readsTokenText(int action)
{
    return (action >= 3 && action <= 8) || action == 20 || (action >= 27 && action <= 31) || action == 34
           || (action >= 36 && action <= 40);
}

// Parses with the VCD tables; records "action:text" for the text-reading actions, with the
// text the scanner holds at that moment ("action:LOOK-AHEAD" if a token was read past it).
class ParseOnly : public yyfparser {
public:
    ParseOnly() { yyinstall(vcd_yacc_tables()); }
    QStringList texts;

protected:
    int yyaction(int action) override
    {
        if (readsTokenText(action))
            texts << QStringLiteral("%1:%2").arg(action).arg(
                yylookahead ? QStringLiteral("LOOK-AHEAD") : QString::fromLatin1(yylexerptr->yytext));
        // A parse that loops without end stops with a result no test expects.
        if (++m_actions > 100000) {
            yyexitflg = true;
            yyexitcode = 2;
        }
        return 0;
    }

private:
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
};

void TestVcdLex::tokens_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("declaration words of any kind")
        << QByteArray("$scope vhdl_architecture gen[0] $end $var logic 8 10 \\a.b [7:0] $end")
        << "SCOPE($scope) WORD(vhdl_architecture) WORD(gen[0]) END($end) VAR($var) WORD(logic) WORD(8) "
           "WORD(10) WORD(\\a.b) WORD([7:0]) END($end)";
    QTest::newRow("timescale on several lines")
        << QByteArray("$timescale\n\t1ps\n$end") << "TIMESCALE($timescale) WORD(1ps) END($end)";
    QTest::newRow("a command word inside a declaration")
        << QByteArray("$var wire 1 ! a $upscope $end")
        << "VAR($var) WORD(wire) WORD(1) WORD(!) WORD(a) UPSCOPE($upscope) END($end)";
    QTest::newRow("scalar changes whose codes look like other tokens")
        << QByteArray("0! 10 1s 0ns x# U\" -a hH")
        << "SCALAR_CHANGE(0!) SCALAR_CHANGE(10) SCALAR_CHANGE(1s) SCALAR_CHANGE(0ns) SCALAR_CHANGE(x#) "
           "SCALAR_CHANGE(U\") SCALAR_CHANGE(-a) SCALAR_CHANGE(hH)";
    QTest::newRow("the word after a value is its code")
        << QByteArray("b0101 0 B1x0z 1s b 10 r-3.5 rNaN rnan b1 s foo\\040bar $end 1 $ 0!")
        << "VECTOR_VALUE(b0101) IDENTIFIER_CODE(0) VECTOR_VALUE(B1x0z) IDENTIFIER_CODE(1s) VECTOR_VALUE(b) "
           "IDENTIFIER_CODE(10) REAL_VALUE(r-3.5) IDENTIFIER_CODE(rNaN) REAL_VALUE(rnan) IDENTIFIER_CODE(b1) "
           "STRING_VALUE(s) IDENTIFIER_CODE(foo\\040bar) END($end) SCALAR_VALUE(1) IDENTIFIER_CODE($) "
           "SCALAR_CHANGE(0!)";
    QTest::newRow("time stamps and values on one line")
        << QByteArray("#1_000 #12a # #3.5 1! b10 \" #20")
        << "SIMULATION_TIME(#1_000) SIMULATION_TIME(#12a) SIMULATION_TIME(#) SIMULATION_TIME(#3.5) "
           "SCALAR_CHANGE(1!) VECTOR_VALUE(b10) IDENTIFIER_CODE(\") SIMULATION_TIME(#20)";
    QTest::newRow("text blocks skip everything")
        << QByteArray("$comment bus [7:0] $var #1 $date 5 \xc3\xa9t\xc3\xa9 \x01 $end $version a$end $end 0!")
        << "TEXT_COMMAND($comment) END($end) TEXT_COMMAND($version) END($end) SCALAR_CHANGE(0!)";
    QTest::newRow("unknown commands skip to their end")
        << QByteArray("$crash $version Icarus $end $end2 x $end $")
        << "UNKNOWN_COMMAND($crash) END($end) UNKNOWN_COMMAND($end2) END($end) UNKNOWN_COMMAND($)";
    QTest::newRow("stray words") << QByteArray("foo \x01 [") << "WORD(foo) WORD(\\x01) WORD([)";
    QTest::newRow("end of input inside a text block") << QByteArray("$comment words") << "TEXT_COMMAND($comment)";
}

void TestVcdLex::tokens()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);

    vcd_lex lexer;
    QCOMPARE(lexer.yycreate(), 1);
    Input in{input};
    lexer.yyin = in.file;
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
    QTest::addColumn<QStringList>("texts"); // read by the actions of an accepted file

    QTest::newRow("token text without look-ahead")
        << QByteArray("$timescale 10 ps $end\n$scope module top $end\n$var wire 8 # data [7:0] $end\n"
                      "$crash here $end\n$scope begin $end $upscope $end\n$upscope $end\n#5\n1~ 0 ! b101 #\n"
                      "r2.5 7 sx y\n")
        << 0
        << QStringList{"36:10", "37:ps", "20:top", "27:wire", "28:8", "29:#", "30:data", "31:[7:0]",
                       "34:$crash", "8:#5", "3:1~", "38:0", "4:!", "39:b101", "5:#", "40:r2.5", "6:7", "7:y"};
    QTest::newRow("time stamps in an open dump section")
        << QByteArray("$dumpvars #0 1! #1 0!") << 0 << QStringList{"8:#0", "3:1!", "8:#1", "3:0!"};
    QTest::newRow("stray upscope") << QByteArray("$upscope $end") << 1 << QStringList();
    QTest::newRow("value without a code") << QByteArray("b0101") << 1 << QStringList();
    QTest::newRow("declaration without its end")
        << QByteArray("$scope module m $end $var wire 1 ! a $var wire 1 \" b $end $upscope $end") << 1
        << QStringList();
    QTest::newRow("variable without a name") << QByteArray("$var wire 1 ! $end") << 1 << QStringList();
    QTest::newRow("empty timescale") << QByteArray("$timescale $end") << 1 << QStringList();
    QTest::newRow("end of input inside a command") << QByteArray("$timescale 1ns") << 1 << QStringList();
    QTest::newRow("end of input inside a text block") << QByteArray("$comment words") << 1 << QStringList();
}

void TestVcdLex::parse()
{
    QFETCH(QByteArray, input);
    QFETCH(int, result);
    QFETCH(QStringList, texts);

    vcd_lex lexer;
    ParseOnly parser;
    QCOMPARE(parser.yycreate(&lexer), 1);
    QCOMPARE(lexer.yycreate(&parser), 1);
    Input in{input};
    Capture err;
    lexer.yyin = in.file;
    parser.yyerr = err.file;
    QCOMPARE(parser.yyparse(), result);
    QCOMPARE(err.text(), result == 0 ? QByteArray() : QByteArray("syntax error\n"));
    QCOMPARE(parser.yyerrorcount, result);
    if (result == 0)
        QCOMPARE(parser.texts, texts);
}

QTEST_GUILESS_MAIN(TestVcdLex)
#include "tst_vcdlex.moc"
