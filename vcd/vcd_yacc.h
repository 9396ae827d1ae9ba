// Parser of VCD text: its reduction actions build the wave model of the dump.
#ifndef VCD_YACC_H
#define VCD_YACC_H

#include "vcd_codetable.h"
#include "yyparser.h"

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QString>

#include <atomic>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

struct Dovlin_AppendLane;
class Dovlin_CompositeHierarchy;
class Dovlin_FileManager;
class Dovlin_Hierarchy;
class Dovlin_ImportReporter;
class Dovlin_ScalarHierarchy;
class Dovlin_Signal;
class vcd_changequeue;
class vcd_chunks;
struct vcd_chunk;
class vcd_lex;

// A word of the dump: in the scanner's token text, or in its block when the parser reads it there.
struct VcdWord
{
    const char *m_Text;
    int m_Length;
};

// One identifier code of the dump: the variable declared with it and every node showing it.
// What every value change reads, by the chunks' workers and the storing threads, fills its first
// cache line: the variables of a dump lie all over the heap, and each change is a miss.
struct alignas(64) VcdVariable
{
    int m_Kind = 0;
    // Bits of a logic variable (1 for an event, whatever its declared size); the declared size of an integer.
    int m_Width = 0;
    // The storing thread that owns the variable's signals.
    int m_Lane = 0;
    // Its place in the order of declaration.
    int m_Number = 0;
    // The logic signals are nine-state.
    bool m_NineState = false;
    // Four-state signals that received nine-state values: they become nine-state at Convert.
    bool m_Upgrade = false;
    // An integer that received unknown bits: from then on its values are stored as logic bits,
    // and Convert makes its nodes vectors.
    bool m_AsLogic = false;
    // MadeSignals once its signals are made, MadeBits once an integer's are logic bits: the chunks'
    // workers look, to leave out of what they note for the parser the variables it need not see.
    enum { MadeSignals = 1, MadeBits = 2 };
    std::atomic<unsigned char> m_Made{0};
    // Created with the first value: one per bit of a logic variable, else one.
    std::vector<Dovlin_Signal *> m_Signals;
    // The state of each logic signal's last event, -1 before the first.
    std::vector<signed char> m_States;
    // For each declaration in turn, the node of each signal: the bits in child order.
    std::vector<Dovlin_ScalarHierarchy *> m_Leaves;
};

// Checked value changes go to the storing thread of their variable as records: a tag, then its
// fields (see vcd_changes). TimeTag: the time; LogicTag: the variable, the digit count, a
// nine-state flag byte and the state codes; IntegerTag and RealTag: the variable and the value;
// StringTag: the variable and the index of its text. The records of a chunk (vcd_chunks) begin
// with a ChunkTag that points at its stamps' times, and their StampTag holds the index of one. A
// lane's records carry a time only when the time changed since its last record. RunTag: changes
// of one variable given signal by signal, each with its own time: the variable, the tag of its
// values (LogicTag, IntegerTag or RealTag), a nine-state flag byte for all of them, the bytes of
// each value and their count, then each change's time and value (state codes, the signals' states
// for values of a nine-state variable's whole width, or 8 bytes).
enum VcdChangeTag : char { TimeTag, LogicTag, IntegerTag, RealTag, StringTag, StampTag, ChunkTag, RunTag };

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
        ZeroWidth,
        EnumTable,
        nProblem
    };

    vcd_yacc();
    ~vcd_yacc() override;

    void yytables();
    // Parses the dump. Other threads store the value changes as events while the text is scanned
    // (see SetStoringThreads); all of them are stored when this returns.
    int yyparse();
    // Value changes are stored by count threads beside the parser, each owning the signals of a
    // share of the variables; with 1 they are stored on the parser's own thread. The wave file is
    // the same for any count. Before yyparse.
    void SetStoringThreads(int count) { m_nLane = count < 1 ? 1 : count; }
    // What a storing thread keeps to sort handovers of value changes of up to bytes by variable.
    static qint64 SortingMemory(qint64 bytes);
    // The dump's file, size bytes long: with more than one storing thread, as many workers read
    // the body in chunks of chunkBytes (see vcd_chunks) while the parser takes their records in
    // order. Without it the parser reads it all. Before yyparse.
    void SetDumpFile(int descriptor, qint64 size, qint64 chunkBytes);
    void SetReporter(Dovlin_ImportReporter *reporter) { m_Reporter = reporter; }
    // With the scanner, value changes and time stamps are read straight from its block (see
    // FastChanges); without it every word goes through the scanner's tables and the grammar.
    void SetFastPath(vcd_lex *scanner) { m_FastScanner = scanner; }

    // Value changes handed over instead of read from the text, as an FST file's blocks hold them:
    // body runs once the definitions are read and gives them through the Body functions in time
    // order; false from it stops the parse (BodyFail said why, or the caller cancelled).
    void SetBody(std::function<bool()> body) { m_Body = std::move(body); }
    // The variable declared with an identifier code; null for a code never declared.
    VcdVariable *BodyVariable(VcdWord code) { return m_Variables.Find(code.m_Text, code.m_Length); }
    // Messages name this block and time of the body instead of a line of the text.
    void SetBodyBlock(int block) { m_BodyBlock = block; }
    // A time stamp in the dump's time units; false once the parse failed.
    bool BodyTime(quint64 stamp);
    // A block may be given signal by signal, each variable's changes in time order, when its time
    // stamps rise from the last one given and the last of them fits: the changes then say their
    // own time (BodyChangeTime), and BodyTime gives the block's last time once they are given.
    bool BodyTimeFits(quint64 stamp) const;
    void BodyChangeTime(quint64 stamp)
    {
        m_BodyRuns = true;
        m_BodyStamp = stamp;
        m_CurrentTime = qint64(stamp) * m_TimeMultiplier;
    }
    // The value changes of a variable; code names it in messages.
    void BodyScalar(VcdVariable &variable, char value, VcdWord code);
    // count changes of one variable given signal by signal, the i-th at stamps[i], as BodyScalar
    // and BodyBits take them.
    void BodyScalars(VcdVariable &variable, const char *values, const quint64 *stamps, size_t count, VcdWord code);
    void BodyBitsList(VcdVariable &variable, const unsigned char *const *bits, const quint64 *stamps, size_t count,
                      int width, VcdWord code);
    // digits[i]: length logic value characters, as BodyDigits takes them.
    void BodyDigitsList(VcdVariable &variable, const unsigned char *const *digits, const quint64 *stamps, size_t count,
                        int length, VcdWord code);
    // digits: logic value characters.
    void BodyDigits(VcdVariable &variable, VcdWord digits, VcdWord code);
    // bits: width bits packed from the leftmost on, the top bit of each byte first.
    void BodyBits(VcdVariable &variable, const unsigned char *bits, int width, VcdWord code);
    void BodyReal(VcdVariable &variable, double value, VcdWord code);
    void BodyString(VcdVariable &variable, const char *bytes, size_t size, VcdWord code);
    // Stops the parse with reason as it stands.
    void BodyFail(const QString &reason);
    bool BodyFailed() const { return yyexitflg; }

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
    qint64 StoredChanges() const;
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

    // The parser's side of the change functions (vcd_changes): records go to the storing threads.
    struct Out;
    // The same for changes of the body, whose variable is known.
    struct BodyOut;
    const char *TokenText() const;
    int TokenLength() const;
    QString Where() const;
    // Stops the parse with a reason naming the line.
    void Fail(const QString &reason);
    void Warn(Problem problem, const QString &text);

    void OpenScope(const QString &name);
    // An attribute's words: an enumeration table (misc 07) is kept, or names the next variable's.
    void Attribute();
    void DeclareVariable(Kind kind, qint64 size);
    // names: the file manager's enumeration table of the variable, -1 for none.
    void AddNodes(VcdVariable &variable, const QString &name, const std::vector<long long> &index, int names);
    bool Link(Dovlin_Hierarchy *node);
    void CreateSignals(VcdVariable &variable, bool nineState);
    void Finish();

    void SetTimescale(const std::string &text);
    void SetTime(VcdWord stamp);
    // A stamp before the last one: its changes are kept at the last time.
    void WarnBackwards(VcdWord stamp);
    bool FractionalTime(qint64 whole, const QByteArray &fraction, VcdWord stamp, qint64 &time);
    bool RefineTimeUnit(int steps, VcdWord stamp);

    // Takes the value changes and time stamps that follow straight from the scanner's block, and
    // the chunks that start where it stands.
    void FastChanges();
    // The string table's index of a string value's text as the dump writes it.
    qint64 TextIndex(VcdWord text);

    // The variable's signals are made on the parser's thread, in the order of the first values,
    // so that the signal table is the same however many threads store them: with its first record,
    // and again as logic bits with an integer's first unknown value.
    bool NeedsSignals(const VcdVariable &variable, VcdChangeTag tag) const;
    void MakeSignals(VcdVariable &variable, VcdChangeTag tag, bool nineState);

    // Chunks are read from the end of the definitions on, until a command changes what their
    // workers read with (a declaration, a timescale, a finer time unit); the parser reads on alone.
    void StartChunks();
    void StopChunks();
    // Forgets the chunks that start before offset, which the parser reached on its own.
    void PassChunks(qint64 offset);
    // Takes the chunks that start at offset, where the fast path stands at line `line`; both then
    // say where the parser goes on.
    void TakeChunks(qint64 &offset, int &line);
    // Settles what a chunk's records depend on before handing them to the storing threads.
    void MergeChunk(const std::shared_ptr<vcd_chunk> &chunk, int line);
    void OpenLanes();
    void CloseLanes();
    // Before the parser touches what the storing threads use (signals, the model, variables).
    void DrainChanges();

    // What each storing thread keeps, on cache lines of its own: were it next to the parser's
    // fields, or another thread's, every record would pull the line away from the other thread.
    struct StoreGroups;
    struct alignas(64) StoreState
    {
        qint64 m_Time = 0;
        // The stamps' times of the chunk being stored.
        const qint64 *m_Stamps = nullptr;
        qint64 m_StoredChanges = 0;
        int m_nUpgrade = 0;
        // A value's states over the variable's width, when they are not its codes as they stand.
        std::vector<signed char> m_States;
        // What StoreGrouped sorts a handover's records with.
        std::unique_ptr<StoreGroups> m_Groups;
    };
    // The run that a body given signal by signal appends to: the last record of its lane while
    // m_End is where that lane's next record goes; m_Variable is null when there is none.
    struct BodyRun
    {
        VcdVariable *m_Variable = nullptr;
        vcd_changequeue *m_Queue = nullptr;
        VcdChangeTag m_Tag = LogicTag;
        int m_ValueBytes = 0;
        int m_Count = 0;
        char *m_Header = nullptr;
        char *m_End = nullptr;
    };
    static constexpr size_t RunHeaderBytes = 1 + sizeof(VcdVariable *) + 1 + 1 + 2 * sizeof(int);
    // Room for the value of a change of variable at the current time in its run, which starts
    // anew (NewRun) when the lane's last record is another; RunCommit keeps the change.
    inline char *RunValue(VcdVariable &variable, VcdChangeTag tag, int valueBytes);
    char *NewRun(VcdVariable &variable, VcdChangeTag tag, int valueBytes);
    inline void RunCommit(VcdVariable &variable, bool nineState);
    void StartRun(VcdVariable &variable);
    // A change as a run's when it needs no more (no warning, no signals made); false otherwise.
    inline bool RunScalar(VcdVariable &variable, char value);
    inline bool RunDigits(VcdVariable &variable, VcdWord digits);
    inline bool RunBits(VcdVariable &variable, const unsigned char *bits, int width);
    // A run's logic values hold its signals' states rather than state codes: those of a nine-state
    // variable's whole width, which the storing thread then takes as they are.
    static bool RunHoldsStates(const VcdVariable &variable, int valueBytes)
    {
        return variable.m_NineState && valueBytes == variable.m_Width;
    }
    // Whether a change of variable may go into a run: in a body given signal by signal, once its
    // signals are made (a run's tag never makes an integer's bits).
    bool RunFits(const VcdVariable &variable) const { return m_BodyRuns && !variable.m_Signals.empty(); }

    // The storing threads' side: nothing here warns or fails.
    void StoreChanges(StoreState &store, const char *data, size_t size);
    void StoreInOrder(StoreState &store, const char *data, size_t size);
    // Stores the records variable by variable when they fall on few; false, having stored
    // nothing, otherwise.
    bool StoreGrouped(StoreState &store, const char *data, size_t size);
    // The record of variable whose fields after its tag and variable start at data; returns their end.
    const char *StoreRecord(StoreState &store, char tag, VcdVariable &variable, const char *data);
    // An integer's, a string's (its text's index) or a real's value, of 8 bytes at value.
    void StoreNumber(StoreState &store, VcdVariable &variable, char tag, const char *value);
    // The run whose header (after its tag and variable) starts at data; returns its end.
    const char *StoreRun(StoreState &store, VcdVariable &variable, const char *data);
    void StoreLogic(StoreState &store, VcdVariable &variable, const signed char *codes, int length, bool nineState);
    void StoreLogicRun(StoreState &store, VcdVariable &variable, const char *from, const char *end, bool nineState);
    static void NoteNineState(StoreState &store, VcdVariable &variable);
    void StoreInteger(StoreState &store, Dovlin_Signal *signal, qint64 value);
    void StoreIntegerBits(StoreState &store, VcdVariable &variable, quint64 value);
    void IntegerToLogic(VcdVariable &variable, bool nineState);
    bool IntegerNodesToVectors();
    void StoreReal(StoreState &store, Dovlin_Signal *signal, double value);
    // Turns the four-state signals of the variables that received nine-state values into nine-state ones.
    void Upgrade();

    Dovlin_ImportReporter *m_Reporter = nullptr;
    vcd_lex *m_FastScanner = nullptr;
    std::function<bool()> m_Body;
    // The body's block (from 0) and time stamp while it is given, for messages; -1 before.
    int m_BodyBlock = -1;
    quint64 m_BodyStamp = 0;
    // The changes say their own time (BodyChangeTime), and go into runs.
    bool m_BodyRuns = false;
    BodyRun m_Run;
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
    std::vector<QByteArray> m_AttributeWords;

    // Enumeration tables by the dump's id: as defined, and the file manager's index of those a
    // variable named. The next variable's table, -1 for none.
    QHash<QByteArray, QByteArray> m_EnumDefinitions;
    QHash<QByteArray, int> m_EnumIndices;
    int m_NextEnum = -1;

    // One lane a storing thread: its queue, its state, what its signals append through, and
    // (the parser's side) the time of its last record.
    int m_nLane = 1;
    std::vector<std::unique_ptr<vcd_changequeue>> m_Queues;
    std::unique_ptr<StoreState[]> m_Stores;
    std::unique_ptr<Dovlin_AppendLane[]> m_AppendLanes;
    std::vector<qint64> m_LaneTimes;
    static constexpr qint64 NoTime = std::numeric_limits<qint64>::min();
    // Bits declared so far; a lane owns the variables that start in a run of LaneRunBits of them.
    static constexpr qint64 LaneRunBits = 64;
    qint64 m_DeclaredBits = 0;

    int m_DumpDescriptor = -1;
    qint64 m_DumpSize = 0;
    qint64 m_ChunkBytes = 0;
    std::unique_ptr<vcd_chunks> m_Chunks;
    // The next chunk to take and where it starts.
    qint64 m_NextChunk = 0;
    qint64 m_NextChunkStart = 0;
};

#endif
