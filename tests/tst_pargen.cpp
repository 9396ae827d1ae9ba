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

#include <QtTest>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

// A stream that collects what is written to it.
class Capture {
public:
    Capture() : m_file(open_memstream(&m_buffer, &m_size)) {}
    ~Capture()
    {
        fclose(m_file);
        free(m_buffer);
    }
    FILE* file() const { return m_file; }
    QByteArray text()
    {
        fflush(m_file);
        return QByteArray(m_buffer, int(m_size));
    }

private:
    char* m_buffer = nullptr;
    size_t m_size = 0;
    FILE* m_file;
};

// A stream reading a fixed text, NUL bytes included.
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

using RuleHook = std::function<int(yylexer&, int rule)>;

// Returns each rule number as its token unless the hook decides otherwise.
template <class Base, class Tables> class ToyLexer : public Base {
public:
    explicit ToyLexer(const Tables& tables) { this->yyinstall(tables); }
    RuleHook hook;

protected:
    int yyaction(int rule) override
    {
        this->yyreturnflg = true;
        return hook ? hook(*this, rule) : rule;
    }
};

std::unique_ptr<yylexer> toyLexer(bool compact)
{
    if (compact)
        return std::make_unique<ToyLexer<yyclexer, yyclexer_tables>>(toy_compact_tables());
    return std::make_unique<ToyLexer<yyflexer, yyflexer_tables>>(toy_fast_tables());
}

void setHook(yylexer& lexer, bool compact, RuleHook hook)
{
    if (compact)
        static_cast<ToyLexer<yyclexer, yyclexer_tables>&>(lexer).hook = std::move(hook);
    else
        static_cast<ToyLexer<yyflexer, yyflexer_tables>&>(lexer).hook = std::move(hook);
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
    QList<int> discarded;
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
    void yydiscard(int token) override { m_script.discarded << token; }

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

template <class Fast, class Compact>
std::unique_ptr<yyparser> toyParser(bool compact, const Fast& fast, const Compact& compactTables,
                                    Script& script)
{
    if (compact)
        return std::make_unique<ToyParser<yycparser, yycparser_tables>>(compactTables, script);
    return std::make_unique<ToyParser<yyfparser, yyfparser_tables>>(fast, script);
}

// "ID:7 = NUM:1 + NUM:2 ;" as tokens of calc.y.
QList<QPair<int, long>> calcTokens(const QString& text)
{
    QList<QPair<int, long>> tokens;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        const QStringList parts = word.split(':');
        int token = parts[0].at(0).toLatin1();
        if (parts[0] == "NUM")
            token = calc_fast_tokens::NUM;
        else if (parts[0] == "ID")
            token = calc_fast_tokens::ID;
        tokens << qMakePair(token, parts.size() > 1 ? parts[1].toLong() : 0L);
    }
    return tokens;
}

} // namespace

class TestParGen : public QObject {
    Q_OBJECT

private slots:
    void scanning_data();
    void scanning();
    void negativeDefaultState_data();
    void negativeDefaultState();
    void less_data();
    void less();
    void reject_data();
    void reject();
    void textGrowth_data();
    void textGrowth();
    void bufferFailure_data();
    void bufferFailure();
    void trailingContext();
    void calc_data();
    void calc();
    void destructors_data();
    void destructors();
    void chain_data();
    void chain();
    void lexerFailureAbandonsParse_data();
    void lexerFailureAbandonsParse();
    void generator_data();
    void generator();
};

void TestParGen::scanning_data()
{
    QTest::addColumn<bool>("compact");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("tokens");
    QTest::addColumn<QByteArray>("echoed");

    const QStringList words{"1:if", "5: ", "2:iffy", "5: ", "2:i"};
    for (bool compact : {false, true}) {
        const char* f = compact ? "compact" : "fast";
        QTest::addRow("%s: keyword wins ties only", f) << compact << QByteArray("if iffy i") << words
                                                   << QByteArray();
        QTest::addRow("%s: longest match", f)
            << compact << QByteArray("12 1.5 7") << QStringList{"3:12", "5: ", "4:1.5", "5: ", "3:7"}
            << QByteArray();
        QTest::addRow("%s: end inside a token", f)
            << compact << QByteArray("12.") << QStringList{"3:12"} << QByteArray(".");
        QTest::addRow("%s: backing off over a newline", f)
            << compact << QByteArray("1.\n") << QStringList{"3:1", "5:\n"} << QByteArray(".");
        QTest::addRow("%s: unmatched bytes echoed", f)
            << compact << QByteArray("a+-b") << QStringList{"2:a", "2:b"} << QByteArray("+-");
        QTest::addRow("%s: anchored rule at line starts only", f)
            << compact << QByteArray("!ab !c\n!d")
            << QStringList{"7:!ab", "5: ", "2:c", "5:\n", "7:!d"} << QByteArray("!");
        QTest::addRow("%s: empty input", f) << compact << QByteArray() << QStringList() << QByteArray();
    }
}

void TestParGen::scanning()
{
    QFETCH(bool, compact);
    QFETCH(QByteArray, input);
    QFETCH(QStringList, tokens);
    QFETCH(QByteArray, echoed);

    std::unique_ptr<yylexer> lexer = toyLexer(compact);
    QCOMPARE(lexer->yycreate(), 1);
    Input in(input);
    Capture out;
    lexer->yyin = in.file();
    lexer->yyout = out.file();
    QCOMPARE(scanAll(*lexer), tokens);
    QCOMPARE(out.text(), echoed);
    // The end stays the end.
    QCOMPARE(lexer->yylex(), 0);
    QCOMPARE(lexer->yylineno, 1 + input.count('\n'));
}

void TestParGen::negativeDefaultState_data()
{
    QTest::addColumn<bool>("compact");
    QTest::addColumn<QByteArray>("input");

    for (bool compact : {false, true})
        for (const char byte : {'\0', '\n', 'x', '\'', '\xff'})
            QTest::addRow("%s: byte %d", compact ? "compact" : "fast", int(uchar(byte)))
                << compact << (QByteArray("'") + byte);
}

void TestParGen::negativeDefaultState()
{
    QFETCH(bool, compact);
    QFETCH(QByteArray, input);

    std::unique_ptr<yylexer> lexer = toyLexer(compact);
    QCOMPARE(lexer->yycreate(), 1);
    Input in(input + "ab");
    lexer->yyin = in.file();
    QCOMPARE(lexer->yylex(), 6);
    QCOMPARE(QByteArray(lexer->yytext, lexer->yyleng), input);
    if (!compact) {
        const yystate_t& afterQuote = toy_fast_tables().state[lexer->yystatebuf[0]];
        QVERIFY(afterQuote.def < 0);
    }
    QCOMPARE(scanAll(*lexer), QStringList{"2:ab"});
}

void TestParGen::less_data()
{
    QTest::addColumn<bool>("compact");
    QTest::addColumn<int>("keep");
    QTest::addColumn<QStringList>("tokens");

    for (bool compact : {false, true}) {
        const char* f = compact ? "compact" : "fast";
        QTest::addRow("%s: keep 2", f) << compact << 2 << QStringList{"2:he", "2:llo", "5:\n", "2:x"};
        QTest::addRow("%s: keep 0", f)
            << compact << 0 << QStringList{"100:", "2:hello", "5:\n", "2:x"};
        QTest::addRow("%s: keep all", f) << compact << 5 << QStringList{"2:hello", "5:\n", "2:x"};
    }
}

void TestParGen::less()
{
    QFETCH(bool, compact);
    QFETCH(int, keep);
    QFETCH(QStringList, tokens);

    std::unique_ptr<yylexer> lexer = toyLexer(compact);
    QCOMPARE(lexer->yycreate(), 1);
    Input in("hello\nx");
    lexer->yyin = in.file();
    bool first = true;
    setHook(*lexer, compact, [&](yylexer& l, int rule) {
        if (rule != 2 || !first)
            return rule;
        first = false;
        l.yyless(keep);
        return keep == 0 ? 100 : rule;
    });
    QCOMPARE(scanAll(*lexer), tokens);
    QCOMPARE(lexer->yylineno, 2);
}

void TestParGen::reject_data()
{
    QTest::addColumn<bool>("compact");
    for (bool compact : {false, true})
        QTest::addRow("%s", compact ? "compact" : "fast") << compact;
}

void TestParGen::reject()
{
    QFETCH(bool, compact);

    std::unique_ptr<yylexer> lexer;
    if (compact)
        lexer = std::make_unique<ToyLexer<yyclexer, yyclexer_tables>>(reject_compact_tables());
    else
        lexer = std::make_unique<ToyLexer<yyflexer, yyflexer_tables>>(reject_fast_tables());
    QCOMPARE(lexer->yycreate(), 1);
    Input in("abcd");
    lexer->yyin = in.file();
    QStringList tried;
    setHook(*lexer, compact, [&](yylexer& l, int rule) {
        tried << QStringLiteral("%1:%2").arg(rule).arg(QString::fromLatin1(l.yytext));
        l.yyrejectflg = rule != 3;
        l.yyreturnflg = rule == 3;
        return rule;
    });
    QCOMPARE(lexer->yylex(), 3);
    // Every rule at every length, longest first, in rule order at each length.
    QCOMPARE(tried, (QStringList{"2:abcd", "1:abc", "2:abc", "2:ab", "2:a", "3:a"}));
    tried.clear();
    QCOMPARE(lexer->yylex(), 3);
    QCOMPARE(QByteArray(lexer->yytext), QByteArray("b"));
    QCOMPARE(tried.first(), QString("2:bcd"));
}

void TestParGen::textGrowth_data()
{
    QTest::addColumn<bool>("compact");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("textmax");
    QTest::addColumn<int>("capacity");

    for (bool compact : {false, true}) {
        const char* f = compact ? "compact" : "fast";
        // The byte after the token is read into the buffer too.
        QTest::addRow("%s: fits", f) << compact << 99 << 0 << 100;
        QTest::addRow("%s: doubles", f) << compact << 100 << 0 << 200;
        QTest::addRow("%s: doubles twice", f) << compact << 250 << 0 << 400;
        QTest::addRow("%s: up to the cap", f) << compact << 149 << 150 << 150;
    }
}

void TestParGen::textGrowth()
{
    QFETCH(bool, compact);
    QFETCH(int, length);
    QFETCH(int, textmax);
    QFETCH(int, capacity);

    std::unique_ptr<yylexer> lexer = toyLexer(compact);
    QCOMPARE(lexer->yycreate(), 1);
    lexer->yytextmax = textmax;
    const QByteArray word(length, 'w');
    Input in(word + " 12");
    lexer->yyin = in.file();
    QCOMPARE(lexer->yylex(), 2);
    QCOMPARE(QByteArray(lexer->yytext), word);
    QCOMPARE(lexer->yytext_size, capacity);
    QCOMPARE(scanAll(*lexer), (QStringList{"5: ", "3:12"}));
    QVERIFY(!lexer->yyfailed());
    lexer->yycleanup();
    QCOMPARE(lexer->yytext_size, 100);
}

void TestParGen::bufferFailure_data()
{
    QTest::addColumn<bool>("compact");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("textgrow");
    QTest::addColumn<int>("textmax");
    QTest::addColumn<bool>("unputAll");
    QTest::addColumn<QByteArray>("message");

    for (bool compact : {false, true}) {
        const char* f = compact ? "compact" : "fast";
        QTest::addRow("%s: text growth disabled", f)
            << compact << 101 << false << 0 << false << QByteArray("lex text buffer overflow (100)");
        QTest::addRow("%s: text cap exceeded", f)
            << compact << 151 << true << 150 << false << QByteArray("lex text buffer overflow (150)");
        QTest::addRow("%s: unput growth disabled", f)
            << compact << 101 << true << 0 << true << QByteArray("lex unput buffer overflow (100)");
    }
}

void TestParGen::bufferFailure()
{
    QFETCH(bool, compact);
    QFETCH(int, length);
    QFETCH(bool, textgrow);
    QFETCH(int, textmax);
    QFETCH(bool, unputAll);
    QFETCH(QByteArray, message);

    std::unique_ptr<yylexer> lexer = toyLexer(compact);
    QCOMPARE(lexer->yycreate(), 1);
    lexer->yytextgrow = textgrow;
    lexer->yytextmax = textmax;
    lexer->yyunputgrow = !unputAll;
    if (unputAll)
        setHook(*lexer, compact, [](yylexer& l, int rule) {
            if (l.yyleng > 100)
                l.yyless(0);
            return rule;
        });
    Input in("ab " + QByteArray(length, 'w') + " cd");
    Capture err;
    lexer->yyin = in.file();
    lexer->yyerr = err.file();
    QCOMPARE(scanAll(*lexer), (QStringList{"2:ab", "5: "}));
    QVERIFY(lexer->yyfailed());
    QCOMPARE(QByteArray(lexer->yyfailure()), message);
    QCOMPARE(err.text(), message + "\n");
    // A failed scanner stays at the end until it is reset.
    QCOMPARE(lexer->yylex(), 0);
    lexer->yyreset();
    QVERIFY(!lexer->yyfailed());
}

// Hand-made compact tables for "ab"/"c" (rule 1, trailing context) and [a-c] (rule 2).
namespace {
const yymatch_t contextMatch[] = {0, -1, 0};
const yycstate_t contextStates[] = {{6, 0}, {0, 0}, {0, 0}, {3, 2}, {6, 2}, {5, -1}, {6, 1}};
const yyctransition_t contextTransitions[] = {
    {'a', 'a', 3}, {'b', 'c', 4}, {0, 0, -1}, {'b', 'b', 5}, {0, 0, -1}, {'c', 'c', 6}, {0, 0, -1}};
const unsigned char contextBackup[] = {0, 1, 0};
const yyclexer_tables contextTables = {100, 100, contextMatch, contextStates, contextTransitions,
                                       contextBackup};
} // namespace

void TestParGen::trailingContext()
{
    ToyLexer<yyclexer, yyclexer_tables> lexer(contextTables);
    QCOMPARE(lexer.yycreate(), 1);
    Input in("abcabbab");
    lexer.yyin = in.file();
    // "ab" before "c" is cut back to its head; "ab" without it falls back to single letters.
    QCOMPARE(scanAll(lexer), (QStringList{"1:ab", "2:c", "2:a", "2:b", "2:b", "2:a", "2:b"}));
}

void TestParGen::calc_data()
{
    QTest::addColumn<bool>("compact");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<int>("errors");
    QTest::addColumn<int>("messages");
    QTest::addColumn<int>("discarded");

    for (bool compact : {false, true}) {
        const char* f = compact ? "compact" : "fast";
        QTest::addRow("%s: values through attributes", f)
            << compact << "ID:1 = NUM:2 + NUM:3 + NUM:4 ; ID:2 = NUM:7 ;" << 0
            << QStringList{"1=9", "2=7"} << 0 << 0 << 0;
        QTest::addRow("%s: recovery by error rule", f)
            << compact << "ID:1 = + ; ID:2 = NUM:5 ;" << 0 << QStringList{"error", "2=5"} << 1 << 1
            << 1;
        QTest::addRow("%s: tokens dropped until the error rule fits", f)
            << compact << "ID:1 = NUM:1 NUM:2 NUM:3 ; ID:2 = NUM:5 ;" << 0
            << QStringList{"error", "2=5"} << 1 << 1 << 2;
        QTest::addRow("%s: no second error within three tokens", f)
            << compact << "ID:1 = ; = ; ID:3 = NUM:1 ;" << 0 << QStringList{"error", "error", "3=1"}
            << 1 << 1 << 1;
        QTest::addRow("%s: end of input while recovering", f)
            << compact << "ID:1 = NUM:1 NUM:2" << 1 << QStringList() << 1 << 1 << 1;
    }
}

void TestParGen::calc()
{
    QFETCH(bool, compact);
    QFETCH(QString, input);
    QFETCH(int, result);
    QFETCH(QStringList, statements);
    QFETCH(int, errors);
    QFETCH(int, messages);
    QFETCH(int, discarded);

    Script script;
    script.input = calcTokens(input);
    QStringList seen;
    script.action = [&](yyparser& p, int action) {
        switch (action) {
        case 2:
            seen << QStringLiteral("%1=%2").arg(p.yyarg<long>(1)).arg(p.yyarg<long>(3));
            break;
        case 3:
            seen << "error";
            break;
        case 4:
            p.yysetvalue(p.yyarg<long>(1) + p.yyarg<long>(3));
            break;
        }
    };
    std::unique_ptr<yyparser> parser = toyParser(compact, calc_fast_tables(), calc_compact_tables(), script);
    Capture err;
    parser->yyerr = err.file();
    QCOMPARE(parser->yycreate(), 1);
    QCOMPARE(parser->yyparse(), result);
    QCOMPARE(seen, statements);
    QCOMPARE(parser->yyerrorcount, errors);
    QCOMPARE(err.text(), QByteArray("syntax error\n").repeated(messages));
    QCOMPARE(script.discarded.size(), discarded);
}

void TestParGen::destructors_data()
{
    QTest::addColumn<bool>("compact");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QList<long>>("destroyed");

    for (bool compact : {false, true}) {
        const char* f = compact ? "compact" : "fast";
        QTest::addRow("%s: none on success", f) << compact << "ID:1 = NUM:2 ;" << QList<long>();
        // The popped expr (its value) and the dropped NUM (its token value).
        QTest::addRow("%s: popped value and dropped token", f)
            << compact << "ID:1 = NUM:2 + NUM:3 NUM:40 ;" << QList<long>{5, 40};
        QTest::addRow("%s: everything left when the parse is abandoned", f)
            << compact << "ID:1 = NUM:2 + NUM:3 NUM:40" << QList<long>{5, 40};
    }
}

void TestParGen::destructors()
{
    QFETCH(bool, compact);
    QFETCH(QString, input);
    QFETCH(QList<long>, destroyed);

    Script script;
    script.input = calcTokens(input);
    QList<long> seen;
    script.action = [&](yyparser& p, int action) {
        if (action == 4)
            p.yysetvalue(p.yyarg<long>(1) + p.yyarg<long>(3));
        else if (action == 100)
            seen << p.yyvalue<long>();
    };
    std::unique_ptr<yyparser> parser = toyParser(compact, calc_fast_tables(), calc_compact_tables(), script);
    Capture err;
    parser->yyerr = err.file();
    QCOMPARE(parser->yycreate(), 1);
    parser->yyparse();
    QCOMPARE(seen, destroyed);
}

void TestParGen::chain_data()
{
    QTest::addColumn<bool>("compact");
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("grow");
    QTest::addColumn<QByteArray>("ending");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("reductions");

    const QByteArray syntax("syntax error\n");
    const QByteArray overflow("yacc stack overflow\n");
    for (bool compact : {false, true}) {
        const char* f = compact ? "compact" : "fast";
        QTest::addRow("%s: short", f)
            << compact << 3 << true << QByteArray("B") << 0 << QByteArray() << 100 << 4;
        QTest::addRow("%s: stack doubles twice", f)
            << compact << 250 << true << QByteArray("B") << 0 << QByteArray() << 400 << 251;
        QTest::addRow("%s: stack overflow", f)
            << compact << 250 << false << QByteArray("B") << 1 << overflow << 100 << 0;
        QTest::addRow("%s: end too early", f)
            << compact << 3 << true << QByteArray() << 1 << syntax << 100 << 0;
        QTest::addRow("%s: token after the end", f)
            << compact << 3 << true << QByteArray("BA") << 1 << syntax << 100 << 4;
    }
}

void TestParGen::chain()
{
    QFETCH(bool, compact);
    QFETCH(int, depth);
    QFETCH(bool, grow);
    QFETCH(QByteArray, ending);
    QFETCH(int, result);
    QFETCH(QByteArray, message);
    QFETCH(int, capacity);
    QFETCH(int, reductions);

    Script script;
    for (int i = 0; i < depth; ++i)
        script.input << qMakePair(int(chain_fast_tokens::A), 0L);
    for (char c : ending)
        script.input << qMakePair(int(c == 'A' ? chain_fast_tokens::A : chain_fast_tokens::B), 0L);
    int reduced = 0;
    script.action = [&](yyparser&, int) { ++reduced; };
    std::unique_ptr<yyparser> parser =
        toyParser(compact, chain_fast_tables(), chain_compact_tables(), script);
    Capture err;
    parser->yyerr = err.file();
    parser->yystackgrow = grow;
    QCOMPARE(parser->yycreate(), 1);
    QCOMPARE(parser->yyparse(), result);
    QCOMPARE(err.text(), message);
    QCOMPARE(parser->yyerrorcount, message == "syntax error\n" ? 1 : 0);
    QCOMPARE(parser->yystack_size, capacity);
    QCOMPARE(reduced, reductions);
}

void TestParGen::lexerFailureAbandonsParse_data()
{
    QTest::addColumn<bool>("compact");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("result");

    for (bool compact : {false, true}) {
        const char* f = compact ? "compact" : "fast";
        QTest::addRow("%s: words fit", f) << compact << 99 << 0;
        QTest::addRow("%s: a word too long", f) << compact << 100 << 1;
    }
}

void TestParGen::lexerFailureAbandonsParse()
{
    QFETCH(bool, compact);
    QFETCH(int, length);
    QFETCH(int, result);

    std::unique_ptr<yylexer> lexer = toyLexer(compact);
    setHook(*lexer, compact, [](yylexer& l, int rule) {
        l.yyreturnflg = rule == 2;
        return int(words_fast_tokens::WORD);
    });
    Script script;
    int words = 0;
    script.action = [&](yyparser&, int) { ++words; };
    std::unique_ptr<yyparser> parser =
        toyParser(compact, words_fast_tables(), words_compact_tables(), script);
    QCOMPARE(parser->yycreate(lexer.get()), 1);
    QCOMPARE(lexer->yycreate(parser.get()), 1);
    lexer->yytextgrow = false;
    Input in("one two " + QByteArray(length, 'w') + " three");
    Capture lexerErr, parserErr;
    lexer->yyin = in.file();
    lexer->yyerr = lexerErr.file();
    parser->yyerr = parserErr.file();
    QCOMPARE(parser->yyparse(), result);
    QCOMPARE(lexer->yyfailed(), result != 0);
    QCOMPARE(lexerErr.text(), result != 0 ? QByteArray("lex text buffer overflow (100)\n") : QByteArray());
    QCOMPARE(parserErr.text(), QByteArray());
    QCOMPARE(parser->yyerrorcount, 0);
    QCOMPARE(words, result != 0 ? 2 : 4);
}

void TestParGen::generator_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    QTest::newRow("undefined symbol")
        << "parser" << QByteArray("%token A\n1 0 s : A b\n") << 1 << "2: error: undefined symbol b";
    QTest::newRow("rule numbers skip")
        << "parser" << QByteArray("%token A\n1 0 s : A\n3 1 s : s A\n") << 1
        << "3: error: rule 3 out of order: expected rule 2";
    QTest::newRow("rule numbers repeat")
        << "parser" << QByteArray("%token A\n1 0 s : A\n1 1 s : s A\n") << 1
        << "3: error: rule 1 out of order";
    QTest::newRow("missing colon")
        << "parser" << QByteArray("%token A\n1 0 s A\n") << 1 << "missing ':'";
    QTest::newRow("token on the left")
        << "parser" << QByteArray("%token A\n1 0 A : A\n") << 1 << "token A on the left-hand side";
    QTest::newRow("reduce/reduce resolved")
        << "parser" << QByteArray("%token A\n1 0 s : A\n2 1 s : t\n3 2 t : A\n") << 0
        << "reduce/reduce conflict on $end, rule 1 chosen over rule 3";
    QTest::newRow("rule never reduced")
        << "parser" << QByteArray("%token A\n1 0 s : A\n2 1 s : t\n3 2 t : A\n") << 0
        << "4: warning: rule 3 is never reduced";
    QTest::newRow("unterminated class")
        << "scanner" << QByteArray("1 [a-\n") << 1 << "1: error: rule 1: missing ']'";
    QTest::newRow("reversed range")
        << "scanner" << QByteArray("1 [z-a]\n") << 1 << "reversed range";
    QTest::newRow("undefined definition")
        << "scanner" << QByteArray("%define D [0-9]\n1 {X}+\n") << 1 << "undefined definition {X}";
    QTest::newRow("empty match")
        << "scanner" << QByteArray("1 a*\n") << 1 << "rule 1 matches the empty text";
    QTest::newRow("scanner rule numbers")
        << "scanner" << QByteArray("1 a\n3 b\n") << 1 << "rule 3 out of order";
    QTest::newRow("actions on some rules only")
        << "scanner" << QByteArray("1 a skip\n2 b\n") << 1 << "either every rule names its action";
    QTest::newRow("shadowed rule")
        << "scanner" << QByteArray("1 [a-z]+\n2 \"if\"\n") << 0 << "2: warning: rule 2 can never be matched";
}

void TestParGen::generator()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath("input"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(input);
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
