// Parser of VCD text: its reduction actions build the wave model of the dump.
#ifndef VCD_YACC_H
#define VCD_YACC_H

#include "vcd_codetable.h"
#include "yyparser.h"

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class Dovlin_CompositeHierarchy;
class Dovlin_FileManager;
class Dovlin_Hierarchy;
class Dovlin_ImportReporter;
class Dovlin_ScalarHierarchy;
class Dovlin_Signal;
class vcd_changequeue;
class vcd_lex;

// A word of the dump: in the scanner's token text, or in its block when the parser reads it there.
struct VcdWord
{
    const char *m_Text;
    int m_Length;
};

// One identifier code of the dump: the variable declared with it and every node showing it.
struct VcdVariable
{
    int m_Kind;
    // Bits of a logic variable (1 for an event, whatever its declared size); the declared size of an integer.
    int m_Width;
    // The logic signals are nine-state.
    bool m_NineState = false;
    // Four-state signals that received nine-state values: they become nine-state at Convert.
    bool m_Upgrade = false;
    // An integer that received unknown bits: from then on its values are stored as logic bits,
    // and Convert makes its nodes vectors.
    bool m_AsLogic = false;
    // Created with the first value: one per bit of a logic variable, else one.
    std::vector<Dovlin_Signal *> m_Signals;
    // The state of each logic signal's last event, -1 before the first.
    std::vector<signed char> m_States;
    // For each declaration in turn, the node of each signal: the bits in child order.
    std::vector<Dovlin_ScalarHierarchy *> m_Leaves;
};

class vcd_yacc : public yyfparser
{
public:
    // Parse result of an action that stopped the import; ErrorString says why.
    static constexpr int FailedParse = 2;
    // Widest logic vector imported: every bit becomes a signal of its own.
    static constexpr int MaxVectorWidth = 1 << 16;

    // What a declaration's type word makes of a variable.
    enum Kind { Logic, Integer, SignedInteger, Real, String, Event, Skipped };
    // Problems the import works around; each is reported once, with how often it occurred.
    enum Problem {
        UnknownCommand,
        WrongKind,
        InvalidValue,
        WideValue,
        TimeBackwards,
        FinerTimeUnit,
        RoundedTime,
        LateTimescale,
        AliasMismatch,
        SkippedVariable,
        UndeclaredCode,
        nProblem
    };

    vcd_yacc();
    ~vcd_yacc() override;

    void yytables();
    // Parses the dump. A second thread stores the value changes as events while the text is
    // scanned; all of them are stored when this returns.
    int yyparse();
    void SetReporter(Dovlin_ImportReporter *reporter) { m_Reporter = reporter; }
    // With the scanner, value changes and time stamps are read straight from its block (see
    // FastChanges); without it every word goes through the scanner's tables and the grammar.
    void SetFastPath(vcd_lex *scanner) { m_FastScanner = scanner; }

    // Fixes the dump's path and, beside it, the wave file's.
    void SetVCDFileName(QString path);
    // Writes the wave file in a format; false with ErrorString when it cannot be written. What the
    // format could not hold goes to the reporter as warnings.
    bool Convert(int format);
    // Why the parse stopped (syntax error, overflow) or Convert failed; empty otherwise.
    QString ErrorString() const { return m_ErrorString; }
    // Passes the problems met so far to the reporter, each once with how often it occurred.
    void ReportProblems();

    // Value changes stored as events.
    qint64 StoredChanges() const { return m_Store.m_StoredChanges; }
    // Most signals a dump may declare (aliases included): each costs memory while importing,
    // so the default is 4 million or what the machine's memory holds, whichever is less.
    void SetMaxLeaves(qint64 leaves) { m_MaxLeaves = leaves; }
    static qint64 DefaultMaxLeaves();

    Dovlin_FileManager *m_pFileManager;
    qint64 m_CurrentTime = 0;
    qint64 m_LastTime = -1;
    qint64 m_TimeMultiplier = 1;
    QString m_VCDFileName;
    QString m_WaveFileName;

protected:
    int yyaction(int action) override;
    int yygettoken() override;
    void yysyntaxerror() override;
    void yystackoverflow() override;

private:
    struct ProblemRecord
    {
        qint64 m_Count = 0;
        QString m_First;
    };

    // The extended four-state code of a value character: 0 1 z x as in the four-state type,
    // then u w l h - as 4 to 8; -1 for a character that is no logic value.
    static int GetStateCode(char c) { return m_StateCodes[static_cast<unsigned char>(c)]; }
    static const signed char *const m_StateCodes;
    const char *TokenText() const;
    int TokenLength() const;
    QString Where() const;
    // Stops the parse with a reason naming the line.
    void Fail(const QString &reason);
    void Warn(Problem problem, const QString &text);

    void OpenScope(const QString &name);
    void DeclareVariable(Kind kind, qint64 size);
    void AddNodes(VcdVariable &variable, const QString &name, const std::vector<long long> &index);
    bool Link(Dovlin_Hierarchy *node);
    void CreateSignals(VcdVariable &variable, bool nineState);
    void Finish();

    void SetTimescale(const std::string &text);
    void SetTime(VcdWord stamp);
    bool FractionalTime(qint64 whole, const QByteArray &fraction, VcdWord stamp, qint64 &time);
    bool RefineTimeUnit(int steps, VcdWord stamp);

    // Takes the value changes and time stamps that follow straight from the scanner's block.
    void FastChanges();
    // The variable of an identifier code; null, with a warning, for a code never declared.
    VcdVariable *Lookup(VcdWord code);
    void ScalarChange(char value, VcdWord code);
    // text: the digits or the number, without the letter before them.
    void VectorChange(VcdWord text, VcdWord code);
    void RealChange(VcdWord text, VcdWord code);
    void StringChange();
    void LogicChange(VcdVariable &variable, VcdWord text, VcdWord code);
    void IntegerChange(VcdVariable &variable, VcdWord text, VcdWord code);

    // Checked value changes go to the storing thread as records: a tag, then its fields.
    // TimeTag: the time; LogicTag: the variable, the digit count, a nine-state flag byte and the
    // state codes; IntegerTag and RealTag: the variable and the value; StringTag: the variable and
    // the index of its text; SignalsTag: a variable whose signals are made without a value.
    enum ChangeTag : char { TimeTag, LogicTag, IntegerTag, RealTag, SignalsTag, StringTag };
    template <typename... Fields>
    void Record(ChangeTag tag, const Fields &...fields);
    // Before the parser touches what the storing thread uses (signals, the model, variables).
    void DrainChanges();
    // The storing thread's side: nothing here warns or fails.
    void StoreChanges(const char *data, size_t size);
    void StoreLogic(VcdVariable &variable, const signed char *codes, int length, bool nineState);
    void StoreInteger(Dovlin_Signal *signal, qint64 value);
    void StoreIntegerBits(VcdVariable &variable, quint64 value);
    void IntegerToLogic(VcdVariable &variable, bool nineState);
    bool IntegerNodesToVectors();
    void StoreReal(Dovlin_Signal *signal, double value);
    // Turns the four-state signals of the variables that received nine-state values into nine-state ones.
    void Upgrade();

    Dovlin_ImportReporter *m_Reporter = nullptr;
    vcd_lex *m_FastScanner = nullptr;
    QString m_ErrorString;
    int m_TokenLine = 1;
    qint64 m_nLeaves = 0;
    qint64 m_MaxLeaves = DefaultMaxLeaves();
    bool m_TimeSeen = false;
    bool m_DumpSection = false;
    ProblemRecord m_Problems[nProblem];

    vcd_codetable<VcdVariable> m_Variables;
    // In order of declaration.
    std::vector<std::unique_ptr<VcdVariable>> m_VariableList;
    // Scopes by parent index (-1 at the top) and name: a scope opened again is the same node.
    QHash<QPair<int, QString>, Dovlin_CompositeHierarchy *> m_ScopeNodes;
    // The scopes being declared, innermost last.
    std::vector<Dovlin_CompositeHierarchy *> m_Scopes;
    // The string table's index of string values' bytes as the dump writes them, so that a text
    // seen before is found without being decoded again: for the first MaxCachedTexts texts, which
    // hold the few that a dump's enumerations repeat, without a copy of every text of a dump
    // whose texts are all new.
    static constexpr qsizetype MaxCachedTexts = 4096;
    QHash<QByteArray, qint64> m_TextIndices;

    // Token texts that a later action consumes; each is used up by the action that ends its
    // command, so nothing on the parser's stack owns memory.
    QString m_Name;
    QByteArray m_Code;
    std::string m_Value;
    std::string m_Reference;

    std::unique_ptr<vcd_changequeue> m_Changes;
    // What the storing thread keeps, on cache lines of its own: were it next to the parser's
    // fields, every token would pull the line away from the other thread.
    struct alignas(64) StoreState
    {
        qint64 m_Time = 0;
        qint64 m_StoredChanges = 0;
        int m_nUpgrade = 0;
    } m_Store;
};

#endif
