// The scanner and parser runtime, driven through tables generated from tests/data/pargen.
#include "calc_compact_tables.h"
#include "calc_fast_tables.h"
#include "calc_fast_tokens.h"
#include "chain_compact_tables.h"
#include "chain_fast_tables.h"
#include "chain_fast_tokens.h"
#include "reject_compact_tables.h"
#include "reject_fast_tables.h"
#include "toy_compact_tables.h"
#include "toy_fast_tables.h"
#include "words_compact_tables.h"
#include "words_fast_tables.h"
#include "words_fast_tokens.h"

#include "memstreams.h"
#include "testfiles.h"

#include <QtTest>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

// Every test runs on both table flavours.
bool compactTables()
{
    QFETCH_GLOBAL(bool, compact);
    return compact;
}

using RuleHook = std::function<int(yylexer&, int rule)>;

// Returns each rule number as its token unless the hook decides otherwise.
template <class Base, class Tables> class ToyLexer : public Base {
public:
    ToyLexer(const Tables& tables, RuleHook hook) : m_hook(std::move(hook)) { this->yyinstall(tables); }

protected:
    int yyaction(int rule) override
    {
        this->yyreturnflg = true;
        return m_hook ? m_hook(*this, rule) : rule;
    }

private:
    RuleHook m_hook;
};

std::unique_ptr<yylexer> toyLexer(RuleHook hook = {}, const yyflexer_tables& fast = toy_fast_tables(),
                                  const yyclexer_tables& compact = toy_compact_tables())
{
    if (compactTables())
        return std::make_unique<ToyLexer<yyclexer, yyclexer_tables>>(compact, std::move(hook));
    return std::make_unique<ToyLexer<yyflexer, yyflexer_tables>>(fast, std::move(hook));
}

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

// What the parser's actions and hooks saw.
struct Script {
    QList<QPair<int, long>> input; // token and its value; fed when no lexer is linked
    int next = 0;
    std::function<void(yyparser&, int action)> action;
    int discarded = 0;
};

template <class Base, class Tables> class ToyParser : public Base {
public:
    ToyParser(const Tables& tables, Script& script) : m_script(script) { this->yyinstall(tables); }

    int yygettoken() override
    {
        if (this->yylexerptr != nullptr)
            return Base::yygettoken();
        if (m_script.next == m_script.input.size())
            return 0;
        const QPair<int, long> token = m_script.input[m_script.next++];
        this->yysetlval(token.second);
        return token.first;
    }
    void yydiscard(int) override { ++m_script.discarded; }

protected:
    int yyaction(int action) override
    {
        if (m_script.action)
            m_script.action(*this, action);
        return 0;
    }

private:
    Script& m_script;
};

std::unique_ptr<yyparser> toyParser(const yyfparser_tables& fast, const yycparser_tables& compact,
                                    Script& script)
{
    if (compactTables())
        return std::make_unique<ToyParser<yycparser, yycparser_tables>>(compact, script);
    return std::make_unique<ToyParser<yyfparser, yyfparser_tables>>(fast, script);
}

// "ID:7 = NUM:1 + NUM:2 ;" as tokens of calc.y.
QList<QPair<int, long>> calcTokens(const QString& text)
{
    QList<QPair<int, long>> tokens;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        const int token = word.startsWith("NUM") ? int(calc_fast_tokens::NUM)
                          : word.startsWith("ID") ? int(calc_fast_tokens::ID)
                                                  : word[0].toLatin1();
        tokens << qMakePair(token, word.section(':', 1).toLong());
    }
    return tokens;
}

// Hand-made compact tables for "ab"/"c" (rule 1, trailing context) and [a-c] (rule 2).
const yymatch_t contextMatch[] = {0, -1, 0};
const yycstate_t contextStates[] = {{6, 0}, {0, 0}, {0, 0}, {3, 2}, {6, 2}, {5, -1}, {6, 1}};
const yyctransition_t contextTransitions[] = {
    {'a', 'a', 3}, {'b', 'c', 4}, {0, 0, -1}, {'b', 'b', 5}, {0, 0, -1}, {'c', 'c', 6}, {0, 0, -1}};
const unsigned char contextBackup[] = {0, 1, 0};
const yyclexer_tables contextTables = {100, 100, contextMatch, contextStates, contextTransitions,
                                       contextBackup};

} // namespace

class TestParGen : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<bool>("compact");
        QTest::newRow("fast") << false;
        QTest::newRow("compact") << true;
    }

    void scanning_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("tokens");
        QTest::addColumn<QByteArray>("echoed");
        QTest::addColumn<int>("keep"); // yyless on the first word, when not negative

        const QByteArray none;
        QTest::newRow("keyword wins ties only")
            << QByteArray("if iffy i") << QStringList{"1:if", "5: ", "2:iffy", "5: ", "2:i"} << none << -1;
        QTest::newRow("longest match") << QByteArray("12 1.5 7") << QStringList{"3:12", "5: ", "4:1.5", "5: ", "3:7"} << none << -1;
        QTest::newRow("end inside a token") << QByteArray("12.") << QStringList{"3:12"} << QByteArray(".") << -1;
        QTest::newRow("backing off over a newline") << QByteArray("1.\n") << QStringList{"3:1", "5:\n"} << QByteArray(".") << -1;
        QTest::newRow("unmatched bytes echoed") << QByteArray("a+-b") << QStringList{"2:a", "2:b"} << QByteArray("+-") << -1;
        QTest::newRow("anchored rule at line starts only") << QByteArray("!ab !c\n!d")
                                                           << QStringList{"7:!ab", "5: ", "2:c", "5:\n", "7:!d"}
                                                           << QByteArray("!") << -1;
        QTest::newRow("empty input") << none << QStringList() << none << -1;
        // After the quote any byte matches, without a transition of its own in the fast tables.
        for (const char byte : {'\0', '\n', 'x', '\'', '\xff'})
            QTest::addRow("quote and byte %d", int(uchar(byte)))
                << QByteArray("'") + byte + "ab" << QStringList{"6:'" + QString(QChar(uchar(byte))), "2:ab"}
                << none << -1;
        const QByteArray hello("hello\nx");
        QTest::newRow("less: keep 2") << hello << QStringList{"2:he", "2:llo", "5:\n", "2:x"} << none << 2;
        QTest::newRow("less: keep 0") << hello << QStringList{"100:", "2:hello", "5:\n", "2:x"} << none << 0;
        QTest::newRow("less: keep all") << hello << QStringList{"2:hello", "5:\n", "2:x"} << none << 5;
    }

    void scanning()
    {
        QFETCH(QByteArray, input);
        QFETCH(QStringList, tokens);
        QFETCH(QByteArray, echoed);
        QFETCH(int, keep);

        bool first = true;
        std::unique_ptr<yylexer> lexer = toyLexer([&](yylexer& l, int rule) {
            if (keep < 0 || rule != 2 || !first)
                return rule;
            first = false;
            l.yyless(keep);
            return keep == 0 ? 100 : rule;
        });
        QCOMPARE(lexer->yycreate(), 1);
        Input in{input};
        Capture out;
        lexer->yyin = in.file;
        lexer->yyout = out.file;
        QCOMPARE(scanAll(*lexer), tokens);
        QCOMPARE(out.text(), echoed);
        // The end stays the end.
        QCOMPARE(lexer->yylex(), 0);
        QCOMPARE(lexer->yylineno, 1 + input.count('\n'));
    }

    void reject()
    {
        QStringList tried;
        const RuleHook hook = [&](yylexer& l, int rule) {
            tried << QStringLiteral("%1:%2").arg(rule).arg(QString::fromLatin1(l.yytext));
            l.yyrejectflg = rule != 3;
            l.yyreturnflg = rule == 3;
            return rule;
        };
        std::unique_ptr<yylexer> lexer = toyLexer(hook, reject_fast_tables(), reject_compact_tables());
        QCOMPARE(lexer->yycreate(), 1);
        Input in{"abcd"};
        lexer->yyin = in.file;
        QCOMPARE(lexer->yylex(), 3);
        // Every rule at every length, longest first, in rule order at each length.
        QCOMPARE(tried, (QStringList{"2:abcd", "1:abc", "2:abc", "2:ab", "2:a", "3:a"}));
        tried.clear();
        QCOMPARE(lexer->yylex(), 3);
        QCOMPARE(QByteArray(lexer->yytext), QByteArray("b"));
        QCOMPARE(tried.first(), QString("2:bcd"));
    }

    void textBuffer_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("textgrow");
        QTest::addColumn<int>("textmax");
        QTest::addColumn<bool>("unputAll");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QByteArray>("message");

        // The byte after the token is read into the buffer too.
        QTest::newRow("fits") << 99 << true << 0 << false << 100 << QByteArray();
        QTest::newRow("doubles") << 100 << true << 0 << false << 200 << QByteArray();
        QTest::newRow("doubles twice") << 250 << true << 0 << false << 400 << QByteArray();
        QTest::newRow("up to the cap") << 149 << true << 150 << false << 150 << QByteArray();
        QTest::newRow("text growth disabled") << 101 << false << 0 << false << 100 << QByteArray("lex text buffer overflow (100)");
        QTest::newRow("text cap exceeded") << 151 << true << 150 << false << 150 << QByteArray("lex text buffer overflow (150)");
        QTest::newRow("unput growth disabled") << 101 << true << 0 << true << 200 << QByteArray("lex unput buffer overflow (100)");
    }

    void textBuffer()
    {
        QFETCH(int, length);
        QFETCH(bool, textgrow);
        QFETCH(int, textmax);
        QFETCH(bool, unputAll);
        QFETCH(int, capacity);
        QFETCH(QByteArray, message);

        std::unique_ptr<yylexer> lexer = toyLexer([unputAll](yylexer& l, int rule) {
            if (unputAll && l.yyleng > 100)
                l.yyless(0);
            return rule;
        });
        QCOMPARE(lexer->yycreate(), 1);
        lexer->yytextgrow = textgrow;
        lexer->yytextmax = textmax;
        lexer->yyunputgrow = !unputAll;
        const QByteArray word(length, 'w');
        Input in{"ab " + word + " 12"};
        Capture err;
        lexer->yyin = in.file;
        lexer->yyerr = err.file;
        QCOMPARE(scanAll(*lexer, 2), (QStringList{"2:ab", "5: "}));
        const int token = lexer->yylex();
        QCOMPARE(lexer->yytext_size, capacity);
        QCOMPARE(lexer->yyfailed(), !message.isEmpty());
        QCOMPARE(QByteArray(lexer->yyfailure()), message);
        QCOMPARE(err.text(), message.isEmpty() ? QByteArray() : message + "\n");
        if (message.isEmpty()) {
            QCOMPARE(token, 2);
            QCOMPARE(QByteArray(lexer->yytext), word);
            QCOMPARE(scanAll(*lexer), (QStringList{"5: ", "3:12"}));
            lexer->yycleanup();
            QCOMPARE(lexer->yytext_size, 100);
        } else {
            // A failed scanner stays at the end until it is reset.
            QCOMPARE(token, 0);
            QCOMPARE(lexer->yylex(), 0);
            lexer->yyreset();
            QVERIFY(!lexer->yyfailed());
        }
    }

    void trailingContext()
    {
        if (!compactTables())
            QSKIP("hand-made compact tables only");
        ToyLexer<yyclexer, yyclexer_tables> lexer(contextTables, {});
        QCOMPARE(lexer.yycreate(), 1);
        Input in{"abcabbab"};
        lexer.yyin = in.file;
        // "ab" before "c" is cut back to its head; "ab" without it falls back to single letters.
        QCOMPARE(scanAll(lexer), (QStringList{"1:ab", "2:c", "2:a", "2:b", "2:b", "2:a", "2:b"}));
    }

    void calc_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<int>("errors");
        QTest::addColumn<int>("discarded");
        QTest::addColumn<QList<long>>("destroyed");

        QTest::newRow("values through attributes")
            << "ID:1 = NUM:2 + NUM:3 + NUM:4 ; ID:2 = NUM:7 ;" << 0 << QStringList{"1=9", "2=7"} << 0 << 0
            << QList<long>();
        QTest::newRow("recovery by error rule")
            << "ID:1 = + ; ID:2 = NUM:5 ;" << 0 << QStringList{"error", "2=5"} << 1 << 1 << QList<long>();
        // The popped expr (its value) and the dropped NUMs (their token values).
        QTest::newRow("tokens dropped until the error rule fits")
            << "ID:1 = NUM:2 + NUM:3 NUM:40 NUM:50 ; ID:2 = NUM:5 ;" << 0 << QStringList{"error", "2=5"} << 1 << 2
            << QList<long>{5, 40, 50};
        QTest::newRow("no second error within three tokens")
            << "ID:1 = ; = ; ID:3 = NUM:1 ;" << 0 << QStringList{"error", "error", "3=1"} << 1 << 1
            << QList<long>();
        QTest::newRow("end of input while recovering")
            << "ID:1 = NUM:2 + NUM:3 NUM:40" << 1 << QStringList() << 1 << 1 << QList<long>{5, 40};
    }

    void calc()
    {
        QFETCH(QString, input);
        QFETCH(int, result);
        QFETCH(QStringList, statements);
        QFETCH(int, errors);
        QFETCH(int, discarded);
        QFETCH(QList<long>, destroyed);

        Script script;
        script.input = calcTokens(input);
        QStringList seen;
        QList<long> seenDestroyed;
        script.action = [&](yyparser& p, int action) {
            if (action == 2)
                seen << QStringLiteral("%1=%2").arg(p.yyarg<long>(1)).arg(p.yyarg<long>(3));
            else if (action == 3)
                seen << "error";
            else if (action == 4)
                p.yysetvalue(p.yyarg<long>(1) + p.yyarg<long>(3));
            else if (action == 100)
                seenDestroyed << p.yyvalue<long>();
        };
        std::unique_ptr<yyparser> parser = toyParser(calc_fast_tables(), calc_compact_tables(), script);
        Capture err;
        parser->yyerr = err.file;
        QCOMPARE(parser->yycreate(), 1);
        QCOMPARE(parser->yyparse(), result);
        QCOMPARE(seen, statements);
        QCOMPARE(parser->yyerrorcount, errors);
        QCOMPARE(err.text(), QByteArray("syntax error\n").repeated(errors));
        QCOMPARE(script.discarded, discarded);
        QCOMPARE(seenDestroyed, destroyed);
    }

    void chain_data()
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

    void chain()
    {
        QFETCH(QByteArray, tokens);
        QFETCH(bool, grow);
        QFETCH(int, result);
        QFETCH(QByteArray, message);
        QFETCH(int, capacity);
        QFETCH(int, reductions);

        Script script;
        for (char c : tokens)
            script.input << qMakePair(int(c == 'A' ? chain_fast_tokens::A : chain_fast_tokens::B), 0L);
        int reduced = 0;
        script.action = [&](yyparser&, int) { ++reduced; };
        std::unique_ptr<yyparser> parser = toyParser(chain_fast_tables(), chain_compact_tables(), script);
        Capture err;
        parser->yyerr = err.file;
        parser->yystackgrow = grow;
        QCOMPARE(parser->yycreate(), 1);
        QCOMPARE(parser->yyparse(), result);
        QCOMPARE(err.text(), message);
        QCOMPARE(parser->yyerrorcount, message == "syntax error\n" ? 1 : 0);
        QCOMPARE(parser->yystack_size, capacity);
        QCOMPARE(reduced, reductions);
    }

    void lexerFailureAbandonsParse_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("result");
        QTest::newRow("words fit") << 99 << 0;
        QTest::newRow("a word too long") << 100 << 1;
    }

    void lexerFailureAbandonsParse()
    {
        QFETCH(int, length);
        QFETCH(int, result);

        std::unique_ptr<yylexer> lexer = toyLexer([](yylexer& l, int rule) {
            l.yyreturnflg = rule == 2;
            return int(words_fast_tokens::WORD);
        });
        Script script;
        int words = 0;
        script.action = [&](yyparser&, int) { ++words; };
        std::unique_ptr<yyparser> parser = toyParser(words_fast_tables(), words_compact_tables(), script);
        QCOMPARE(parser->yycreate(lexer.get()), 1);
        QCOMPARE(lexer->yycreate(parser.get()), 1);
        lexer->yytextgrow = false;
        Input in{"one two " + QByteArray(length, 'w') + " three"};
        Capture lexerErr, parserErr;
        lexer->yyin = in.file;
        lexer->yyerr = lexerErr.file;
        parser->yyerr = parserErr.file;
        QCOMPARE(parser->yyparse(), result);
        QCOMPARE(lexer->yyfailed(), result != 0);
        QCOMPARE(lexerErr.text(), result != 0 ? QByteArray("lex text buffer overflow (100)\n") : QByteArray());
        QCOMPARE(parserErr.text(), QByteArray());
        QCOMPARE(parser->yyerrorcount, 0);
        QCOMPARE(words, result != 0 ? 2 : 4);
    }

    void generator_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");

        const QString one("%token A\n1 0 s : A\n"), unreduced = one + "2 1 s : t\n3 2 t : A\n";
        QTest::newRow("undefined symbol") << "parser" << "%token A\n1 0 s : A b\n" << 1 << "2: error: undefined symbol b";
        QTest::newRow("rule numbers skip")
            << "parser" << one + "3 1 s : s A\n" << 1 << "3: error: rule 3 out of order: expected rule 2";
        QTest::newRow("rule numbers repeat") << "parser" << one + "1 1 s : s A\n" << 1 << "3: error: rule 1 out of order";
        QTest::newRow("missing colon") << "parser" << "%token A\n1 0 s A\n" << 1 << "missing ':'";
        QTest::newRow("token on the left") << "parser" << "%token A\n1 0 A : A\n" << 1 << "token A on the left-hand side";
        QTest::newRow("reduce/reduce resolved")
            << "parser" << unreduced << 0 << "reduce/reduce conflict on $end, rule 1 chosen over rule 3";
        QTest::newRow("rule never reduced") << "parser" << unreduced << 0 << "4: warning: rule 3 is never reduced";
        QTest::newRow("unterminated class") << "scanner" << "1 [a-\n" << 1 << "1: error: rule 1: missing ']'";
        QTest::newRow("reversed range") << "scanner" << "1 [z-a]\n" << 1 << "reversed range";
        QTest::newRow("undefined definition") << "scanner" << "%define D [0-9]\n1 {X}+\n" << 1 << "undefined definition {X}";
        QTest::newRow("empty match") << "scanner" << "1 a*\n" << 1 << "rule 1 matches the empty text";
        QTest::newRow("scanner rule numbers") << "scanner" << "1 a\n3 b\n" << 1 << "rule 3 out of order";
        QTest::newRow("actions on some rules only") << "scanner" << "1 a skip\n2 b\n" << 1 << "either every rule names its action";
        QTest::newRow("shadowed rule") << "scanner" << "1 [a-z]+\n2 \"if\"\n" << 0 << "2: warning: rule 2 can never be matched";
    }

    void generator()
    {
        QFETCH(QString, kind);
        QFETCH(QString, input);
        QFETCH(int, status);
        QFETCH(QString, message);

        QTemporaryDir dir;
        QVERIFY(TestFiles::WriteFile(dir.filePath("input"), input.toLatin1()));
        QProcess tablegen;
        tablegen.start(QStringLiteral(DOVLIN_BIN_DIR "/dovlin-tablegen"),
                       {kind, "--name", "t", "--flavour", compactTables() ? "compact" : "fast", "--out",
                        dir.path(), dir.filePath("input")});
        QVERIFY(tablegen.waitForFinished());
        const QString diagnostics = QString::fromUtf8(tablegen.readAllStandardError());
        QVERIFY2(diagnostics.contains(message), qPrintable(diagnostics));
        QCOMPARE(tablegen.exitCode(), status);
        QCOMPARE(QFile::exists(dir.filePath("t_tables.cpp")), status == 0);
    }
};

QTEST_GUILESS_MAIN(TestParGen)
#include "tst_pargen.moc"
