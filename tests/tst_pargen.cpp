// The scanner and parser runtime, driven through tables generated from tests/data/pargen (the
// VCD tables' own use of it is in tst_vcdimport and tst_malformed).
#include "calc_tables.h"
#include "calc_tokens.h"
#include "chain_tables.h"
#include "chain_tokens.h"
#include "toy_tables.h"

#include "memstreams.h"

#include <QtTest>

#include <cstdio>
#include <functional>

namespace {

// Returns each rule number as its token.
class ToyLexer : public yyflexer {
public:
    ToyLexer() { yyinstall(toy_tables()); }

protected:
    int yyaction(int rule) override
    {
        yyreturnflg = true;
        return rule;
    }
};

// "rule:text" for every token up to the end of input.
QStringList scanAll(yylexer& lexer, int limit = 50)
{
    QStringList tokens;
    while (int token = lexer.yylex()) {
        tokens << QStringLiteral("%1:%2").arg(token).arg(QString::fromLatin1(lexer.yytext, lexer.yyleng));
        if (--limit == 0)
            break;
    }
    return tokens;
}

// Feeds the given tokens and values and hands each reduction to action.
class ToyParser : public yyfparser {
public:
    ToyParser(const yyfparser_tables& tables, const QList<QPair<int, long>>& input,
              std::function<void(yyparser&, int action)> action)
        : m_input(input), m_action(std::move(action))
    {
        yyinstall(tables);
    }

    int yygettoken() override
    {
        if (m_next == m_input.size())
            return 0;
        const QPair<int, long> token = m_input[m_next++];
        yysetlval(token.second);
        return token.first;
    }

protected:
    int yyaction(int action) override
    {
        m_action(*this, action);
        return 0;
    }

private:
    QList<QPair<int, long>> m_input;
    int m_next = 0;
    std::function<void(yyparser&, int action)> m_action;
};

} // namespace

class TestParGen : public QObject {
    Q_OBJECT

private slots:
    void scanning_data();
    void scanning();
    void textBuffer_data();
    void textBuffer();
    void attributes();
    void chain_data();
    void chain();
    void generator_data();
    void generator();
};

void TestParGen::scanning_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("tokens");
    QTest::addColumn<QByteArray>("echoed");

    const QByteArray none;
    QTest::newRow("keyword wins ties only")
        << QByteArray("if iffy i") << QStringList{"1:if", "5: ", "2:iffy", "5: ", "2:i"} << none;
    QTest::newRow("longest match") << QByteArray("12 1.5 7") << QStringList{"3:12", "5: ", "4:1.5", "5: ", "3:7"}
                                   << none;
    QTest::newRow("end inside a token") << QByteArray("12.") << QStringList{"3:12"} << QByteArray(".");
    QTest::newRow("backing off over a newline") << QByteArray("1.\n") << QStringList{"3:1", "5:\n"} << QByteArray(".");
    QTest::newRow("unmatched bytes echoed") << QByteArray("a+-b") << QStringList{"2:a", "2:b"} << QByteArray("+-");
    QTest::newRow("empty input") << none << QStringList() << none;
    // After the quote any byte matches, without a transition of its own in the tables.
    for (const char byte : {'\0', '\n', 'x', '\'', '\xff'})
        QTest::addRow("quote and byte %d", int(uchar(byte)))
            << QByteArray("'") + byte + "ab" << QStringList{"6:'" + QString(QChar(uchar(byte))), "2:ab"} << none;
}

void TestParGen::scanning()
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, tokens);
    QFETCH(QByteArray, echoed);

    ToyLexer lexer;
    QCOMPARE(lexer.yycreate(), 1);
    Input in{input};
    Capture out;
    lexer.yyin = in.file;
    lexer.yyout = out.file;
    QCOMPARE(scanAll(lexer), tokens);
    QCOMPARE(out.text(), echoed);
    // The end stays the end.
    QCOMPARE(lexer.yylex(), 0);
    QCOMPARE(lexer.yylineno, 1 + input.count('\n'));
}

// The text buffer grows by doubling up to its cap; a longer word fails the scanner.
void TestParGen::textBuffer_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("textmax");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QByteArray>("message");

    // The byte after the token is read into the buffer too.
    QTest::newRow("fits") << 99 << 0 << 100 << QByteArray();
    QTest::newRow("doubles") << 100 << 0 << 200 << QByteArray();
    QTest::newRow("doubles twice") << 250 << 0 << 400 << QByteArray();
    QTest::newRow("up to the cap") << 149 << 150 << 150 << QByteArray();
    QTest::newRow("cap exceeded") << 151 << 150 << 150 << QByteArray("lex text buffer overflow (150)");
}

void TestParGen::textBuffer()
{
    QFETCH(int, length);
    QFETCH(int, textmax);
    QFETCH(int, capacity);
    QFETCH(QByteArray, message);

    ToyLexer lexer;
    QCOMPARE(lexer.yycreate(), 1);
    lexer.yytextmax = textmax;
    const QByteArray word(length, 'w');
    Input in{"ab " + word + " 12"};
    Capture err;
    lexer.yyin = in.file;
    lexer.yyerr = err.file;
    QCOMPARE(scanAll(lexer, 2), (QStringList{"2:ab", "5: "}));
    const int token = lexer.yylex();
    QCOMPARE(lexer.yytext_size, capacity);
    QCOMPARE(lexer.yyfailed(), !message.isEmpty());
    QCOMPARE(QByteArray(lexer.yyfailure()), message);
    QCOMPARE(err.text(), message.isEmpty() ? QByteArray() : message + "\n");
    if (message.isEmpty()) {
        QCOMPARE(token, 2);
        QCOMPARE(QByteArray(lexer.yytext), word);
        QCOMPARE(scanAll(lexer), (QStringList{"5: ", "3:12"}));
        lexer.yycleanup();
        QCOMPARE(lexer.yytext_size, 100);
    } else {
        // A failed scanner stays at the end until it is reset.
        QCOMPARE(token, 0);
        QCOMPARE(lexer.yylex(), 0);
        lexer.yyreset();
        QVERIFY(!lexer.yyfailed());
    }
}

// Values travel from the tokens through the reductions' attributes.
void TestParGen::attributes()
{
    QList<QPair<int, long>> input;
    for (const QString& word : QString("ID:1 = NUM:2 + NUM:3 + NUM:4 ; ID:2 = NUM:7 ;").split(' ')) {
        const int token = word.startsWith("NUM") ? int(calc_tokens::NUM)
                          : word.startsWith("ID") ? int(calc_tokens::ID)
                                                  : word[0].toLatin1();
        input << qMakePair(token, word.section(':', 1).toLong());
    }
    QStringList statements;
    ToyParser parser(calc_tables(), input, [&](yyparser& p, int action) {
        if (action == 2)
            statements << QStringLiteral("%1=%2").arg(p.yyarg<long>(1)).arg(p.yyarg<long>(3));
        else if (action == 3)
            p.yysetvalue(p.yyarg<long>(1) + p.yyarg<long>(3));
    });
    QCOMPARE(parser.yycreate(), 1);
    QCOMPARE(parser.yyparse(), 0);
    QCOMPARE(statements, (QStringList{"1=9", "2=7"}));
    QCOMPARE(parser.yyerrorcount, 0);
}

void TestParGen::chain_data()
{
    QTest::addColumn<QByteArray>("tokens");
    QTest::addColumn<bool>("grow");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("reductions");

    const QByteArray syntax("syntax error\n"), deep = QByteArray(250, 'A') + 'B';
    QTest::newRow("short") << QByteArray("AAAB") << true << 0 << QByteArray() << 100 << 4;
    QTest::newRow("stack doubles twice") << deep << true << 0 << QByteArray() << 400 << 251;
    QTest::newRow("stack overflow") << deep << false << 1 << QByteArray("yacc stack overflow\n") << 100 << 0;
    QTest::newRow("end too early") << QByteArray("AAA") << true << 1 << syntax << 100 << 0;
    QTest::newRow("token after the end") << QByteArray("AAABA") << true << 1 << syntax << 100 << 4;
}

void TestParGen::chain()
{
    QFETCH(QByteArray, tokens);
    QFETCH(bool, grow);
    QFETCH(int, result);
    QFETCH(QByteArray, message);
    QFETCH(int, capacity);
    QFETCH(int, reductions);

    QList<QPair<int, long>> input;
    for (char c : tokens)
        input << qMakePair(int(c == 'A' ? chain_tokens::A : chain_tokens::B), 0L);
    int reduced = 0;
    ToyParser parser(chain_tables(), input, [&](yyparser&, int) { ++reduced; });
    Capture err;
    parser.yyerr = err.file;
    parser.yystackgrow = grow;
    QCOMPARE(parser.yycreate(), 1);
    QCOMPARE(parser.yyparse(), result);
    QCOMPARE(err.text(), message);
    QCOMPARE(parser.yyerrorcount, message == "syntax error\n" ? 1 : 0);
    QCOMPARE(parser.yystack_size, capacity);
    QCOMPARE(reduced, reductions);
}

void TestParGen::generator_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    const QString one("%token A\n1 0 s : A\n"), unreduced = one + "2 1 s : t\n3 2 t : A\n";
    QTest::newRow("undefined symbol")
        << "parser" << "%token A\n1 0 s : A b\n" << 1 << "2: error: undefined symbol b";
    QTest::newRow("rule numbers skip")
        << "parser" << one + "3 1 s : s A\n" << 1 << "3: error: rule 3 out of order: expected rule 2";
    QTest::newRow("reduce/reduce resolved")
        << "parser" << unreduced << 0 << "reduce/reduce conflict on $end, rule 1 chosen over rule 3";
    QTest::newRow("rule never reduced") << "parser" << unreduced << 0 << "4: warning: rule 3 is never reduced";
    QTest::newRow("unterminated class") << "scanner" << "1 [a-\n" << 1 << "1: error: rule 1: missing ']'";
    QTest::newRow("empty match") << "scanner" << "1 a*\n" << 1 << "rule 1 matches the empty text";
    QTest::newRow("shadowed rule")
        << "scanner" << "1 [a-z]+\n2 \"if\"\n" << 0 << "2: warning: rule 2 can never be matched";
}

void TestParGen::generator()
{
    QFETCH(QString, kind);
    QFETCH(QString, input);
    QFETCH(int, status);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath("input"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(input.toLatin1()) == input.size());
    file.close();
    QProcess tablegen;
    tablegen.start(QStringLiteral(DOVLIN_BIN_DIR "/dovlin-tablegen"),
                   {kind, "--name", "t", "--flavour", "fast", "--out", dir.path(), file.fileName()});
    QVERIFY(tablegen.waitForFinished());
    const QString diagnostics = QString::fromUtf8(tablegen.readAllStandardError());
    QVERIFY2(diagnostics.contains(message), qPrintable(diagnostics));
    QCOMPARE(tablegen.exitCode(), status);
    QCOMPARE(QFile::exists(dir.filePath("t_tables.cpp")), status == 0);
}

QTEST_GUILESS_MAIN(TestParGen)
#include "tst_pargen.moc"
