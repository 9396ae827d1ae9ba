#include "vcd_yacc.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_Signals.h"
#include "Dovlin_VcdImport.h"
#include "Dovlin_SpillFile.h"
#include "Dovlin_Utilities.h"
#include "vcd_changequeue.h"
#include "vcd_changes.h"
#include "vcd_chunks.h"
#include "vcd_lex.h"
#include "vcd_yacc_tables.h"
#include "vcd_yacc_tokens.h"

#include <QStringDecoder>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <locale.h>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

using vcd_changes::firstNineState;
using vcd_changes::IsBlank;
using vcd_changes::ParseDecimal;
using vcd_changes::Shown;
using vcd_changes::StateCode;

// Nine-state code (U X 0 1 Z W L H -) of each extended four-state code.
constexpr int nineStateOf[9] = {2, 3, 4, 1, 0, 5, 6, 7, 8};

// One bit set, the top one of its byte, for each byte of word that is not zero.
quint64 nonZeroBytes(quint64 word)
{
    constexpr quint64 low7 = 0x7f7f7f7f7f7f7f7f;
    return (((word & low7) + low7) | word) & ~low7;
}

// Stores an event of each bit whose state changed from last to states (width of them) and
// updates last; returns how many. Found eight at a time, without a branch a bit, as a wide
// vector's change leaves many bits as they were.
inline qint64 storeChangedBits(signed char *last, const signed char *states, int width, Dovlin_Signal *const *signalList,
                               qint64 time)
{
    qint64 stored = 0;
    int bit = 0;
    for (; bit + 8 <= width; bit += 8) {
        quint64 before, after;
        std::memcpy(&before, last + bit, 8);
        std::memcpy(&after, states + bit, 8);
        for (quint64 changed = nonZeroBytes(before ^ after); changed; changed &= changed - 1) {
            const int b = bit + (__builtin_ctzll(changed) >> 3);
            signalList[b]->AddEvent(time, int(states[b]));
            ++stored;
        }
        std::memcpy(last + bit, &after, 8);
    }
    for (; bit < width; ++bit) {
        if (last[bit] != states[bit]) {
            signalList[bit]->AddEvent(time, int(states[bit]));
            last[bit] = states[bit];
            ++stored;
        }
    }
    return stored;
}

// Bit j of byte i goes to bit i of byte j: an 8 x 8 matrix of bits transposed.
inline quint64 transposeBits8(quint64 x)
{
    quint64 t = (x ^ (x >> 7)) & Q_UINT64_C(0x00AA00AA00AA00AA);
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & Q_UINT64_C(0x0000CCCC0000CCCC);
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & Q_UINT64_C(0x00000000F0F0F0F0);
    x ^= t ^ (t << 28);
    return x;
}

// The top bits of the bytes of flags (as nonZeroBytes sets them) as a byte, byte i's as bit i.
inline quint64 packByteFlags(quint64 flags)
{
    return ((flags >> 7) * Q_UINT64_C(0x0102040810204080)) >> 56;
}

// Stores the changes of entries [from, to) of a run of a logic variable's values of its full width:
// each entry its time, then the states of its bits from offset on. A tile of 64 entries at a time,
// eight bits at a time: which of the eight changed at each entry is found without a branch on the
// values (which change at random), and turned into each bit's changes over the tile, so that a
// bit's events are appended in one go, and a bit that did not change touches nothing.
qint64 storeBitsRun(signed char *last, Dovlin_Signal *const *signalList, int width, const char *from, const char *to,
                    size_t entry, size_t offset)
{
    constexpr int Tile = 64;
    qint64 times[Tile];
    quint64 columns[8];
    qint64 stored = 0;
    while (from != to) {
        const int count = int(qMin(size_t(Tile), size_t(to - from) / entry));
        for (int i = 0; i < count; ++i)
            std::memcpy(&times[i], from + size_t(i) * entry, sizeof times[i]);
        for (int base = 0; base < width; base += 8) {
            const int bits = qMin(8, width - base);
            // Past the last bit lie other bytes, or the end of the run. Byte by byte into a
            // register: a word read back from bytes stored in memory would wait for them.
            const auto load = [bits](const void *at) {
                quint64 word = 0;
                if (bits == 8) {
                    std::memcpy(&word, at, 8);
                    return word;
                }
                for (int k = 0; k < bits; ++k)
                    word |= quint64(static_cast<const unsigned char *>(at)[k]) << (8 * k);
                return word;
            };
            const char *const states = from + offset + size_t(base);
            quint64 before = load(last + base);
            std::fill_n(columns, bits, 0);
            for (int group = 0; group * 8 < count; ++group) {
                quint64 rows = 0;
                const int end = qMin(8, count - group * 8);
                for (int j = 0; j < end; ++j) {
                    const quint64 after = load(states + size_t(group * 8 + j) * entry);
                    rows |= packByteFlags(nonZeroBytes(after ^ before)) << (8 * j);
                    before = after;
                }
                if (!rows)
                    continue;
                const quint64 changes = transposeBits8(rows);
                for (int bit = 0; bit < bits; ++bit)
                    columns[bit] |= (changes >> (8 * bit) & 0xff) << (8 * group);
            }
            std::memcpy(last + base, &before, size_t(bits));
            for (int bit = 0; bit < bits; ++bit) {
                quint64 changed = columns[bit];
                if (!changed)
                    continue;
                stored += __builtin_popcountll(changed);
                Dovlin_Signal *const signal = signalList[base + bit];
                CSignalEvent *slot = signal->AppendFree();
                CSignalEvent *slotEnd = signal->AppendEnd();
                int taken = 0;
                for (; changed; changed &= changed - 1) {
                    const int i = __builtin_ctzll(changed);
                    const int state = states[size_t(i) * entry + size_t(bit)];
                    if (slot == slotEnd) {
                        signal->Appended(taken);
                        taken = 0;
                        signal->AddEvent(times[i], state);
                        slot = signal->AppendFree();
                        slotEnd = signal->AppendEnd();
                        continue;
                    }
                    slot->m_Time = times[i];
                    slot->m_Value.m_IntValue = qint64(quint32(state));
                    ++slot;
                    ++taken;
                }
                signal->Appended(taken);
            }
        }
        from += size_t(count) * entry;
    }
    return stored;
}

// Calls visit with each stored event of signal but the sentinel (event 0, which AddEvent writes
// again in a copy), reading spilled ones back a block at a time.
template <class Visit>
void forEachEvent(const Dovlin_Signal &signal, Visit visit)
{
    std::vector<CSignalEvent> events(4096);
    for (qint64 first = 1; first < signal.GetnEvent(); first += qint64(events.size())) {
        const qint64 count = qMin(qint64(events.size()), signal.GetnEvent() - first);
        signal.ReadEvents(first, count, events.data());
        for (qint64 e = 0; e < count; ++e)
            visit(events[size_t(e)]);
    }
}

// A signed index inside brackets, surrounded by optional whitespace.
bool parseIndex(const std::string &text, long long &value)
{
    size_t begin = text.find_first_not_of(" \t\n\v\f\r");
    size_t end = text.find_last_not_of(" \t\n\v\f\r");
    if (begin == std::string::npos)
        return false;
    const bool negative = text[begin] == '-';
    if (negative)
        ++begin;
    qint64 magnitude = 0;
    if (begin > end || !ParseDecimal(text.data() + begin, int(end - begin + 1), magnitude) || magnitude > INT_MAX)
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

// A wave file's name ends at its first zero byte: a name is cut there so it reads back as imported.
// Simulators write names in UTF-8; bytes that are not valid UTF-8 come from older tools, which wrote Latin-1.
QString nameText(const char *text, size_t length)
{
    const void *zero = std::memchr(text, 0, length);
    const QByteArrayView bytes(text, qsizetype(zero ? static_cast<const char *>(zero) - text : length));
    if (!bytes.isValidUtf8())
        return QString::fromLatin1(bytes);
    // A byte order mark at the start belongs to the name: QString::fromUtf8 would drop it.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    return utf8.decode(bytes);
}

// The text of a string value as the dump writes it.
QString stringText(QByteArrayView value)
{
    return std::memchr(value.data(), '\\', size_t(value.size())) ? DumpText(UnescapedBytes(value)) : DumpText(value);
}

// A node with an enumeration table shows its literals from the start.
void Name(Dovlin_Hierarchy &node, int names)
{
    if (names >= 0) {
        node.m_EnumTable = names;
        node.m_Radix = Dovlin_Radix::Names;
    }
}

// Splits "name [m:l]", "name[i]" or "name" into the name and its trailing index (none, one
// number, or the two bounds of a range).

QString splitReference(const std::string &reference, std::vector<long long> &index)
{
    index.clear();
    const size_t last = reference.find_last_not_of(" \t\n\v\f\r");
    const size_t open = reference.rfind('[');
    if (last != std::string::npos && reference[last] == ']' && open != std::string::npos && open > 0) {
        const std::string inside = reference.substr(open + 1, last - open - 1);
        const size_t colon = inside.find(':');
        long long first = 0, second = 0;
        const bool ok = colon == std::string::npos
                            ? parseIndex(inside, first)
                            : parseIndex(inside.substr(0, colon), first) && parseIndex(inside.substr(colon + 1), second);
        const size_t nameEnd = reference.find_last_not_of(" \t\n\v\f\r", open - 1);
        if (ok && nameEnd != std::string::npos) {
            index.push_back(first);
            if (colon != std::string::npos)
                index.push_back(second);
            return nameText(reference.data(), nameEnd + 1);
        }
    }
    return nameText(reference.data(), reference.size());
}

// What a declaration's type word makes of a variable: any word not listed is logic.
vcd_yacc::Kind kindOf(const QByteArray &typeWord)
{
    static const QHash<QByteArray, vcd_yacc::Kind> kinds{
        {"integer", vcd_yacc::SignedInteger}, {"int", vcd_yacc::SignedInteger},  {"shortint", vcd_yacc::SignedInteger},
        {"longint", vcd_yacc::SignedInteger}, {"byte", vcd_yacc::SignedInteger}, {"time", vcd_yacc::Integer},
        {"parameter", vcd_yacc::Integer},     {"real", vcd_yacc::Real},          {"realtime", vcd_yacc::Real},
        {"shortreal", vcd_yacc::Real},        {"string", vcd_yacc::String},      {"real_parameter", vcd_yacc::Real},
        {"event", vcd_yacc::Event}};
    return kinds.value(typeWord, vcd_yacc::Logic);
}

QString bitName(const QString &name, long long index)
{
    return QStringLiteral("%1[%2]").arg(name, QString::number(index));
}

} // namespace

struct vcd_yacc::Out
{
    vcd_yacc &m_Parser;

    VcdVariable *Find(VcdWord code) const { return m_Parser.m_Variables.Find(code.m_Text, code.m_Length); }
    void Warn(Problem problem, const QString &text) { m_Parser.Warn(problem, text); }
    // The lane is brought to the current time first.
    char *Reserve(const VcdVariable &variable, size_t bytes)
    {
        const size_t lane = size_t(variable.m_Lane);
        vcd_changequeue &queue = *m_Parser.m_Queues[lane];
        const qint64 time = m_Parser.m_CurrentTime;
        if (m_Parser.m_LaneTimes[lane] != time) {
            m_Parser.m_LaneTimes[lane] = time;
            char *to = queue.Reserve(1 + sizeof time);
            to[0] = TimeTag;
            std::memcpy(to + 1, &time, sizeof time);
            queue.Commit(1 + sizeof time);
        }
        return queue.Reserve(bytes);
    }
    void Commit(VcdVariable &variable, VcdChangeTag tag, bool nineState, char *record, size_t bytes)
    {
        if (m_Parser.NeedsSignals(variable, tag)) {
            // Making the signals may hand the block that holds the record to the storing thread.
            const std::vector<char> copy(record, record + bytes);
            m_Parser.MakeSignals(variable, tag, nineState);
            std::memmove(Reserve(variable, bytes), copy.data(), bytes);
        }
        m_Parser.m_Queues[size_t(variable.m_Lane)]->Commit(bytes);
    }
    void MakeSignal(VcdVariable &variable)
    {
        if (m_Parser.NeedsSignals(variable, IntegerTag))
            m_Parser.MakeSignals(variable, IntegerTag, false);
    }
    void String(VcdVariable &variable, VcdWord text)
    {
        vcd_changes::Record(*this, StringTag, &variable, m_Parser.TextIndex(text));
    }
};

namespace {
// The codes of the eight bits of each byte, the top bit first: the state codes, or the nine-state
// states of 0 and 1.
struct ByteCodes
{
    quint64 m_Codes[256];
    constexpr ByteCodes(int zero, int one) : m_Codes()
    {
        for (int byte = 0; byte < 256; ++byte)
            for (int bit = 0; bit < 8; ++bit)
                m_Codes[byte] |= quint64((byte >> (7 - bit)) & 1 ? one : zero)
                                 << (Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 8 * bit : 56 - 8 * bit);
    }
};
constexpr ByteCodes byteCodes(0, 1);
constexpr ByteCodes nineByteCodes(nineStateOf[0], nineStateOf[1]);

// The codes of width bits packed from the leftmost on, the top bit of each byte first.
void bitCodes(const unsigned char *bits, int width, char *codes, const ByteCodes &table = byteCodes)
{
    int i = 0;
    for (; i + 8 <= width; i += 8)
        std::memcpy(codes + i, &table.m_Codes[bits[i / 8]], 8);
    if (i < width)
        for (quint64 last = table.m_Codes[bits[i / 8]]; i < width; ++i, last >>= 8)
            codes[i] = char(last);
}
} // namespace

struct vcd_yacc::BodyOut : Out
{
    VcdVariable *m_Variable;

    VcdVariable *Find(VcdWord) const { return m_Variable; }
    // A record of its own ends the lane's run.
    char *Reserve(const VcdVariable &variable, size_t bytes)
    {
        m_Parser.m_Run.m_Variable = nullptr;
        return Out::Reserve(variable, bytes);
    }
};

vcd_yacc::vcd_yacc()
    : m_pFileManager(new Dovlin_FileManager)
{
    yytables();
}

vcd_yacc::~vcd_yacc()
{
    // The workers and the storing threads stop before what they read and store into goes.
    StopChunks();
    m_Queues.clear();
    delete m_pFileManager;
}

int vcd_yacc::yyparse()
{
    OpenLanes();
    const int result = yyfparser::yyparse();
    StopChunks();
    DrainChanges();
    CloseLanes();
    return result;
}

void vcd_yacc::SetDumpFile(int descriptor, qint64 size, qint64 chunkBytes)
{
    m_DumpDescriptor = descriptor;
    m_DumpSize = size;
    m_ChunkBytes = chunkBytes;
}

void vcd_yacc::OpenLanes()
{
    m_Queues.clear();
    m_Stores.reset(new StoreState[size_t(m_nLane)]);
    m_AppendLanes.reset(new Dovlin_AppendLane[size_t(m_nLane)]);
    m_LaneTimes.assign(size_t(m_nLane), 0);
    m_DeclaredBits = 0;
    Dovlin_SpillFile *spill = m_pFileManager->SpillFile();
    for (int lane = 0; lane < m_nLane; ++lane) {
        StoreState *store = &m_Stores[size_t(lane)];
        m_Queues.push_back(std::make_unique<vcd_changequeue>(
            [this, store](const char *data, size_t size) { StoreChanges(*store, data, size); }, m_nLane > 1));
        if (spill && m_nLane > 1)
            m_AppendLanes[size_t(lane)].m_Spill = spill->AddLane();
    }
}

// The signals count their appends in the file manager again, which counts the lanes' as one change.
void vcd_yacc::CloseLanes()
{
    for (int s = 0; s < m_pFileManager->GetnSignal(); ++s)
        m_pFileManager->GetSignal(s)->SetAppendLane(nullptr);
    m_pFileManager->StructureChanged();
}

void vcd_yacc::DrainChanges()
{
    m_Run.m_Variable = nullptr;
    for (const auto &queue : m_Queues)
        queue->Drain();
}

qint64 vcd_yacc::StoredChanges() const
{
    qint64 stored = 0;
    for (int lane = 0; lane < m_nLane && m_Stores; ++lane)
        stored += m_Stores[size_t(lane)].m_StoredChanges;
    return stored;
}

void vcd_yacc::yytables()
{
    yyinstall(vcd_yacc_tables());
}

void vcd_yacc::SetVCDFileName(QString path)
{
    m_VCDFileName = path;
    m_WaveFileName = Dovlin_VcdImport::WaveFileFor(path);
}

bool vcd_yacc::Convert(int format)
{
    int upgrades = 0;
    for (int lane = 0; lane < m_nLane && m_Stores; ++lane)
        upgrades += m_Stores[size_t(lane)].m_nUpgrade;
    if (upgrades > 0)
        Upgrade();
    if (!IntegerNodesToVectors())
        return false;
    if (!m_pFileManager->Save(m_WaveFileName, m_LastTime, format)) {
        m_ErrorString = m_pFileManager->ErrorString();
        return false;
    }
    if (m_Reporter)
        for (const QString &warning : m_pFileManager->SaveWarnings())
            m_Reporter->Warning(QStringLiteral("%1: %2").arg(m_WaveFileName, warning));
    return true;
}


const char *vcd_yacc::TokenText() const
{
    return yylexerptr->yytext;
}

int vcd_yacc::TokenLength() const
{
    return yylexerptr->yyleng;
}

QString vcd_yacc::Where() const
{
    if (m_BodyBlock >= 0)
        return QStringLiteral("value-change block %1, time %2").arg(m_BodyBlock + 1).arg(m_BodyStamp);
    // The lines of an FST file's declarations are the import's own text, which no one sees.
    if (m_Body)
        return QStringLiteral("its hierarchy");
    return QStringLiteral("line %1").arg(m_TokenLine);
}

void vcd_yacc::Fail(const QString &reason)
{
    if (m_ErrorString.isEmpty())
        m_ErrorString = QStringLiteral("%1: %2").arg(Where(), reason);
    yyexitflg = true;
    yyexitcode = FailedParse;
}

void vcd_yacc::Warn(Problem problem, const QString &text)
{
    ProblemRecord &record = m_Problems[problem];
    if (record.m_Count++ == 0)
        record.m_First = QStringLiteral("%1: %2").arg(Where(), text);
}

void vcd_yacc::ReportProblems()
{
    if (m_Reporter) {
        for (const ProblemRecord &record : m_Problems) {
            if (record.m_Count == 1)
                m_Reporter->Warning(QStringLiteral("%1: %2").arg(m_VCDFileName, record.m_First));
            else if (record.m_Count > 1)
                m_Reporter->Warning(QStringLiteral("%1: %2 (and %3 more like it)")
                                        .arg(m_VCDFileName, record.m_First, QString::number(record.m_Count - 1)));
        }
    }
    for (ProblemRecord &record : m_Problems)
        record = ProblemRecord();
}

int vcd_yacc::yygettoken()
{
    const int token = yyfparser::yygettoken();
    if (token > 0)
        m_TokenLine = yylexerptr->yylineno;
    return token;
}

void vcd_yacc::yysyntaxerror()
{
    // The reason goes to the user through the import's error, never as a line of its own.
    QString found = yychar == 0 ? QStringLiteral("end of file")
                                : QStringLiteral("'%1'").arg(Shown(TokenText(), TokenLength()));
    if (yychar == 0 && !m_Scopes.empty())
        found += QStringLiteral(" inside scope '%1'").arg(m_Scopes.back()->GetName());
    m_ErrorString = QStringLiteral("%1: syntax error: unexpected %2").arg(Where(), found);
}

void vcd_yacc::yystackoverflow()
{
    m_ErrorString = QStringLiteral("%1: the parser ran out of memory").arg(Where());
}

int vcd_yacc::yyaction(int action)
{
    // Commands that change the tree, the variables or the time unit stop the chunks' workers, which
    // read with them, and wait for the stored changes.
    if (action == 0 || action == 16 || action == 17 || action == 18 || action == 26 || action == 35) {
        StopChunks();
        DrainChanges();
    }
    Out out{*this};
    switch (action) {
    case 0: // vcd : commands
        Finish();
        break;
    case 3: // commands : commands SCALAR_CHANGE
        vcd_changes::ScalarChange(out, TokenText()[0], {TokenText() + 1, TokenLength() - 1});
        break;
    case 4: // commands : commands scalar_value IDENTIFIER_CODE
        vcd_changes::ScalarChange(out, char(yyarg<int>(2)), {TokenText(), TokenLength()});
        break;
    case 5: // commands : commands vector_value IDENTIFIER_CODE
        vcd_changes::VectorChange(out, {m_Value.data(), int(m_Value.size())}, {TokenText(), TokenLength()});
        break;
    case 6: // commands : commands real_value IDENTIFIER_CODE
        vcd_changes::RealChange(out, {m_Value.data(), int(m_Value.size())}, {TokenText(), TokenLength()});
        break;
    case 7: // commands : commands string_value IDENTIFIER_CODE
        vcd_changes::StringChange(out, {m_Value.data(), int(m_Value.size())}, {TokenText(), TokenLength()});
        break;
    case 8: // commands : commands SIMULATION_TIME
        SetTime({TokenText(), TokenLength()});
        break;
    case 13: // command : ENDDEFINITIONS END
        StartChunks();
        if (m_Body && !m_Body() && !yyexitflg) {
            yyexitflg = true;
            yyexitcode = FailedParse;
        }
        break;
    case 14: // command : DUMP_COMMAND
        m_DumpSection = true;
        break;
    case 15: // command : END, closing a $dumpvars, $dumpall, $dumpon or $dumpoff
        if (!m_DumpSection)
            Fail(QStringLiteral("$end without a command to end"));
        m_DumpSection = false;
        break;
    case 16: // scope : scope_begin scope_items UPSCOPE END
        m_Scopes.pop_back();
        break;
    case 17: // scope_begin : SCOPE scope_type scope_name END
        OpenScope(m_Name);
        break;
    case 18: // scope_begin : SCOPE scope_type END
        OpenScope(QString());
        break;
    case 20: // scope_name : WORD
        m_Name = nameText(TokenText(), size_t(TokenLength()));
        break;
    case 26: // var_declaration : VAR var_type var_size var_code reference END
        DeclareVariable(Kind(yyarg<int>(2)), yyarg<qint64>(3));
        break;
    case 27: // var_type : WORD
        yysetvalue<int>(kindOf(QByteArray::fromRawData(TokenText(), TokenLength())));
        break;
    case 28: { // var_size : WORD
        qint64 size = 0;
        if (!ParseDecimal(TokenText(), TokenLength(), size))
            Fail(QStringLiteral("invalid variable size '%1'").arg(Shown(TokenText(), TokenLength())));
        yysetvalue<qint64>(size);
        break;
    }
    case 29: // var_code : WORD
        m_Code = QByteArray(TokenText(), TokenLength());
        break;
    case 30: // reference : WORD
        m_Reference.assign(TokenText(), size_t(TokenLength()));
        break;
    case 31: // reference : reference WORD
        m_Reference += ' ';
        m_Reference.append(TokenText(), size_t(TokenLength()));
        break;
    case 34: // unknown_command : UNKNOWN_COMMAND
        Warn(UnknownCommand, QStringLiteral("unknown command '%1' skipped").arg(Shown(TokenText(), TokenLength())));
        break;
    case 35: // timescale_command : TIMESCALE timescale_text END
        SetTimescale(m_Value);
        break;
    case 36: // timescale_text : WORD
        m_Value.assign(TokenText(), size_t(TokenLength()));
        break;
    case 37: // timescale_text : timescale_text WORD
        m_Value.append(TokenText(), size_t(TokenLength()));
        break;
    case 38: // scalar_value : SCALAR_VALUE
        yysetvalue<int>(TokenText()[0]);
        break;
    case 39: // vector_value : VECTOR_VALUE
    case 40: // real_value : REAL_VALUE
    case 41: // string_value : STRING_VALUE
        m_Value.assign(TokenText() + 1, size_t(TokenLength() - 1));
        break;
    case 44: // attribute : ATTRBEGIN attribute_words END
        Attribute();
        break;
    case 45: // attribute_words : attribute_words WORD
        m_AttributeWords.emplace_back(TokenText(), TokenLength());
        break;
    case 46: // attribute_words :
        m_AttributeWords.clear();
        break;
    default:
        break;
    }
    // The parser stands where any command may follow, and most often more changes do.
    if (action >= 3 && action <= 15)
        FastChanges();
    return 0;
}

// The grammar costs each value change and time stamp a token or two from the scanner's tables
// and a reduction. Those that follow are read here straight from the scanner's block, checked
// and recorded as their reductions would, each word's line counted as the scanner counts it.
// The first word not taken stays for the scanner: a command, a string value, a lone r (no
// change), a word that the block's end may cut or that is too long for the scanner. Where a
// chunk starts, its workers' records are taken instead, and the scanner goes on after it.
void vcd_yacc::FastChanges()
{
    if (!m_FastScanner || yylookahead)
        return;
    // The scanner holds a word and the byte after it in a buffer that grows up to yytextmax.
    const int maxLength = m_FastScanner->yytextmax > 0 ? m_FastScanner->yytextmax - 1 : INT_MAX;
    Out out{*this};
    while (!yyexitflg) {
        vcd_changes::Words words{nullptr, nullptr, m_FastScanner->yylineno};
        m_FastScanner->Unread(words.m_At, words.m_End);
        if (words.m_At == words.m_End)
            return;
        const char *const begin = words.m_At;
        const qint64 offset = m_FastScanner->OffsetOf(begin);
        // The start of the next chunk, when it lies in the block.
        const auto nextChunk = [&]() -> const char * {
            PassChunks(offset + (words.m_At - begin));
            const bool inBlock =
                m_Chunks && m_NextChunk < m_Chunks->Count() && m_NextChunkStart <= offset + (words.m_End - begin);
            return inBlock ? begin + (m_NextChunkStart - offset) : nullptr;
        };
        const char *chunk = nextChunk();
        // A word that the block's end may cut, or that is too long for the scanner, is the scanner's.
        const auto nextWord = [&](VcdWord &word) {
            word = words.Next();
            return words.m_At != words.m_End && word.m_Length <= maxLength;
        };
        const auto atLine = [&] { m_TokenLine = words.m_Line; };
        const char *taken = words.m_At;
        int takenLine = words.m_Line;
        bool atChunk = false;
        VcdWord word{};
        while (!yyexitflg) {
            // The first chunk starts where the definitions end, blanks and all.
            words.SkipBlanks(chunk);
            if (words.m_At == chunk) {
                taken = words.m_At;
                takenLine = words.m_Line;
                atChunk = true;
                break;
            }
            if (!nextWord(word))
                break;
            if (word.m_Text[0] == '#') {
                atLine();
                SetTime(word);
            } else if (!vcd_changes::ReadChange(out, word, nextWord, atLine)) {
                break;
            }
            taken = words.m_At;
            takenLine = words.m_Line;
            // A chunk whose first word was read as an identifier code is the parser's to read.
            if (chunk && words.m_At > chunk)
                chunk = nextChunk();
        }
        m_FastScanner->Consume(taken, takenLine);
        if (!atChunk || yyexitflg)
            return;
        qint64 resume = m_NextChunkStart;
        TakeChunks(resume, takenLine);
        m_FastScanner->SkipTo(resume, takenLine);
    }
}

void vcd_yacc::StartChunks()
{
    const char *p = nullptr;
    const char *end = nullptr;
    if (m_FastScanner)
        m_FastScanner->Unread(p, end);
    if (m_nLane < 2 || m_DumpDescriptor < 0 || !p || m_Chunks)
        return;
    vcd_chunkcontext context;
    context.m_Codes = &m_Variables;
    context.m_nVariable = m_VariableList.size();
    context.m_nLane = m_nLane;
    context.m_TimeMultiplier = m_TimeMultiplier;
    context.m_MaxWord = m_FastScanner->yytextmax > 0 ? m_FastScanner->yytextmax - 1 : INT_MAX;
    const qint64 begin = m_FastScanner->OffsetOf(p);
    m_Chunks = std::make_unique<vcd_chunks>(context, m_DumpDescriptor, begin, qMax(begin, m_DumpSize), m_ChunkBytes, m_nLane);
    m_NextChunk = 0;
    m_NextChunkStart = m_Chunks->Start(0);
}

void vcd_yacc::StopChunks()
{
    m_Chunks.reset();
}

void vcd_yacc::PassChunks(qint64 offset)
{
    if (!m_Chunks || m_NextChunkStart >= offset)
        return;
    while (m_NextChunk < m_Chunks->Count() && m_Chunks->Start(m_NextChunk) < offset)
        ++m_NextChunk;
    m_NextChunkStart = m_Chunks->Start(m_NextChunk);
    m_Chunks->Pass(m_NextChunk);
}

void vcd_yacc::TakeChunks(qint64 &offset, int &line)
{
    while (m_Chunks && !yyexitflg && m_NextChunk < m_Chunks->Count() && m_NextChunkStart == offset) {
        const std::shared_ptr<vcd_chunk> chunk = m_Chunks->Take(m_NextChunk);
        ++m_NextChunk;
        m_NextChunkStart = m_Chunks->Start(m_NextChunk);
        // An empty chunk starts where the next one does.
        if (chunk->m_Start < 0)
            continue;
        MergeChunk(chunk, line);
        offset = chunk->m_End;
        line += chunk->m_Lines;
        if (!chunk->m_Whole)
            return;
    }
}

void vcd_yacc::MergeChunk(const std::shared_ptr<vcd_chunk> &chunk, int line)
{
    // Once the temporary event file has failed, events are lost: reading on would only take time.
    const Dovlin_SpillFile *spill = m_pFileManager->SpillFile();
    if (spill && spill->Failed() && !chunk->m_StampLines.empty()) {
        m_TokenLine = line + chunk->m_StampLines.front();
        Fail(spill->ErrorString());
        return;
    }
    // The stamps' times, none going back before the times of the chunks before.
    chunk->m_Times.front() = m_CurrentTime;
    for (size_t i = 1; i < chunk->m_Times.size(); ++i) {
        if (chunk->m_Times[i] < m_LastTime) {
            m_TokenLine = line + chunk->m_StampLines[i - 1];
            WarnBackwards(chunk->m_Stamps[i - 1]);
            chunk->m_Times[i] = m_LastTime;
        }
        m_CurrentTime = m_LastTime = chunk->m_Times[i];
        m_TimeSeen = true;
    }
    // String values take their texts' indices in the order they were read, as the parser's own do.
    for (const quint64 place : chunk->m_Strings) {
        char *const field = chunk->m_Lanes[size_t(place >> 48)].m_Bytes.get() + (place & vcd_chunk::StringOffsetMask);
        quint64 text = 0;
        std::memcpy(&text, field, sizeof text);
        const qint64 index = TextIndex({chunk->m_Text.constData() + (text >> 32), int(quint32(text))});
        std::memcpy(field, &index, sizeof index);
    }
    chunk->m_Stamps.clear();
    chunk->m_Text.clear();
    for (int problem = 0; problem < nProblem; ++problem) {
        const vcd_chunk::Problem &found = chunk->m_Problems[problem];
        ProblemRecord &record = m_Problems[problem];
        if (found.m_Count > 0 && record.m_Count == 0)
            record.m_First = QStringLiteral("line %1: %2").arg(line + found.m_Line).arg(found.m_Text);
        record.m_Count += found.m_Count;
    }
    if (chunk->m_DumpCommand)
        m_DumpSection = chunk->m_DumpOpen;
    // The signals, in the order of their first values. An integer whose values were stored already
    // becomes logic bits only once they are: its lane's records before the first unknown bit go first.
    std::vector<size_t> handed(size_t(m_nLane), 0);
    const auto hand = [&](size_t lane, size_t to) {
        vcd_chunk::Lane &records = chunk->m_Lanes[lane];
        if (to <= vcd_chunk::ChunkHeader || to == handed[lane])
            return;
        if (handed[lane] == 0) {
            const qint64 *times = chunk->m_Times.data();
            records.m_Bytes[0] = ChunkTag;
            std::memcpy(records.m_Bytes.get() + 1, &times, sizeof times);
        }
        m_Queues[lane]->Submit(records.m_Bytes.get() + handed[lane], to - handed[lane], chunk);
        handed[lane] = to;
    };
    for (const vcd_chunk::First &first : chunk->m_Firsts) {
        VcdVariable &variable = *first.m_Variable;
        if (!NeedsSignals(variable, first.m_Tag))
            continue;
        if (first.m_Tag == LogicTag && !variable.m_Signals.empty())
            hand(size_t(variable.m_Lane), first.m_Offset);
        MakeSignals(variable, first.m_Tag, first.m_NineState);
    }
    for (int lane = 0; lane < m_nLane; ++lane)
        hand(size_t(lane), chunk->m_Lanes[size_t(lane)].m_Used);
    // What the parser records next carries its time again.
    std::fill(m_LaneTimes.begin(), m_LaneTimes.end(), NoTime);
}

bool vcd_yacc::Link(Dovlin_Hierarchy *node)
{
    if (m_Scopes.empty() || m_Scopes.back()->AddHierarchy(node))
        return true;
    Fail(QStringLiteral("scopes and variables nested more than %1 levels deep").arg(Dovlin_Hierarchy::m_MaxDepth));
    return false;
}

void vcd_yacc::OpenScope(const QString &name)
{
    const QPair<int, QString> key(m_Scopes.empty() ? -1 : m_Scopes.back()->m_Index, name);
    Dovlin_CompositeHierarchy *scope = m_ScopeNodes.value(key);
    if (!scope) {
        scope = &m_pFileManager->AddNode<Dovlin_CompositeHierarchy>(name);
        if (!Link(scope))
            return;
        m_ScopeNodes.insert(key, scope);
    }
    m_Scopes.push_back(scope);
}

void vcd_yacc::Attribute()
{
    const std::vector<QByteArray> &words = m_AttributeWords;
    if (words.size() < 2 || words[0] != "misc" || words[1].toInt() != 7)
        return;
    if (words.size() < 4) {
        Warn(EnumTable, QStringLiteral("enumeration attribute without a table and its id left out"));
        return;
    }
    const QByteArray &id = words.back();
    // fst2vcd -e writes the reference of the next variable with an empty name.
    if (words.size() == 4 && words[2] == "\"\"") {
        const auto known = m_EnumIndices.constFind(id);
        if (known != m_EnumIndices.cend()) {
            m_NextEnum = *known;
            return;
        }
        const auto defined = m_EnumDefinitions.constFind(id);
        Dovlin_EnumTable table;
        QString reason = QStringLiteral("it is not defined before");
        if (defined != m_EnumDefinitions.cend() && table.Parse(*defined, reason)) {
            m_NextEnum = m_pFileManager->AddEnumTable(table);
            m_EnumIndices.insert(id, m_NextEnum);
        } else {
            Warn(EnumTable, QStringLiteral("enumeration table %1 not shown (%2): its variables show numbers")
                                .arg(Shown(id.constData(), int(id.size())), reason));
        }
        return;
    }
    QByteArray definition = words[2];
    for (size_t i = 3; i + 1 < words.size(); ++i)
        definition += ' ' + words[i];
    m_EnumDefinitions.insert(id, definition);
    m_EnumIndices.remove(id);
}

void vcd_yacc::DeclareVariable(Kind kind, qint64 size)
{
    const int names = std::exchange(m_NextEnum, -1);
    std::vector<long long> index;
    const QString name = splitReference(m_Reference, index);
    if ((kind == Integer || kind == SignedInteger) && size > 64)
        kind = Logic;
    if (kind == Logic && size == 0) {
        Warn(ZeroWidth, QStringLiteral("variable '%1' of width 0 left out").arg(name));
        kind = Skipped;
    } else if (kind == Logic && size > MaxVectorWidth) {
        Warn(SkippedVariable, QStringLiteral("variable '%1' of width %2 left out (widths from 1 to %3 are imported)")
                                  .arg(name, QString::number(size), QString::number(MaxVectorWidth)));
        kind = Skipped;
    }
    // An event is one bit whatever size it declares.
    int width = 1;
    if (kind == Logic)
        width = int(size);
    else if (kind == Integer || kind == SignedInteger)
        width = size < 1 ? 64 : int(size);

    if (VcdVariable *alias = m_Variables.Find(m_Code.constData(), int(m_Code.size()))) {
        const auto storage = [](int k) { return k == SignedInteger ? Integer : k; };
        if (storage(alias->m_Kind) != storage(kind) || alias->m_Width != width) {
            Warn(AliasMismatch, QStringLiteral("'%1' reuses identifier code '%2' with another type or size: left out")
                                    .arg(name, Shown(m_Code.constData(), int(m_Code.size()))));
            return;
        }
        AddNodes(*alias, name, index, names);
        return;
    }
    m_VariableList.push_back(std::make_unique<VcdVariable>());
    VcdVariable &variable = *m_VariableList.back();
    variable.m_Kind = kind;
    variable.m_Width = width;
    variable.m_Number = int(m_VariableList.size() - 1);
    // The lanes take turns at runs of variables that lie side by side in memory, whose last
    // states one thread then writes alone: variables taken in turn would share cache lines.
    variable.m_Lane = int(m_DeclaredBits / LaneRunBits % m_nLane);
    m_DeclaredBits += kind == Logic ? width : 1;
    m_Variables.Insert(m_Code.constData(), int(m_Code.size()), &variable);
    AddNodes(variable, name, index, names);
}

qint64 vcd_yacc::DefaultMaxLeaves()
{
    // Far above real designs, yet a few lines of declarations cannot make it take the machine.
    constexpr qint64 limit = 4000000;
    // A signal with its node and its first box of events takes about 1.5 KB while importing;
    // leave a quarter of the memory to everything else.
    constexpr qint64 bytesPerLeaf = 1536;
#ifdef Q_OS_UNIX
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        return qMin(limit, qint64(pages) / 4 * 3 * pageSize / bytesPerLeaf);
#endif
    return qMin(limit, (qint64(8) << 30) / bytesPerLeaf);
}

void vcd_yacc::AddNodes(VcdVariable &variable, const QString &name, const std::vector<long long> &index, int names)
{
    if (variable.m_Kind == Skipped)
        return;
    m_nLeaves += variable.m_Kind == Logic ? variable.m_Width : 1;
    if (m_nLeaves > m_MaxLeaves) {
        Fail(QStringLiteral("more than %1 signals declared (each bit of a vector and each alias counts), the "
                            "most an import takes; dovlin-convert --max-signals N or the environment variable "
                            "DOVLIN_MAX_SIGNALS=N sets another limit")
                 .arg(m_MaxLeaves));
        return;
    }
    const size_t first = variable.m_Leaves.size();
    if (variable.m_Kind != Logic || variable.m_Width == 1) {
        const bool bit = variable.m_Kind == Logic || variable.m_Kind == Event;
        auto &node =
            m_pFileManager->AddNode<Dovlin_ScalarHierarchy>(bit && !index.empty() ? bitName(name, index.front()) : name);
        variable.m_Leaves.push_back(&node);
        Name(node, names);
        if (!Link(&node))
            return;
    } else {
        const long long width = variable.m_Width;
        auto &bus =
            m_pFileManager->AddNode<Dovlin_CompositeHierarchy>(index.size() == 1 ? bitName(name, index.front()) : name);
        Name(bus, names);
        if (!Link(&bus))
            return;
        // Child 0 takes the leftmost value digit, the most significant bit of the declared range.
        long long left = width - 1, step = -1;
        if (index.size() == 2) {
            step = index[1] >= index[0] ? 1 : -1;
            left = index[0];
            // The width wins over a range of another size: the lower bound stays.
            if (std::llabs(index[1] - index[0]) + 1 != width && step < 0)
                left = index[1] + width - 1;
        }
        for (long long i = 0; i < width; ++i) {
            auto &bit = m_pFileManager->AddNode<Dovlin_ScalarHierarchy>(bitName(bus.GetName(), left + i * step));
            bus.AddHierarchy(&bit);
            variable.m_Leaves.push_back(&bit);
        }
    }
    if (!variable.m_Signals.empty())
        for (size_t i = first; i < variable.m_Leaves.size(); ++i)
            variable.m_Leaves[i]->SetSignal(variable.m_Signals[(i - first) % variable.m_Signals.size()]);
}

void vcd_yacc::CreateSignals(VcdVariable &variable, bool nineState)
{
    const int count = variable.m_Kind == Logic ? variable.m_Width : 1;
    variable.m_NineState = variable.m_Kind == Logic && nineState;
    variable.m_Signals.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        Dovlin_Signal *signal;
        if (variable.m_Kind == Integer || variable.m_Kind == SignedInteger) {
            auto &integer = m_pFileManager->AddSignal<Dovlin_IntSignal>();
            integer.SetDeclaredWidth(variable.m_Width);
            signal = &integer;
        }
        else if (variable.m_Kind == Real)
            signal = &m_pFileManager->AddSignal<Dovlin_RealSignal>();
        else if (variable.m_Kind == Event)
            signal = &m_pFileManager->AddSignal<Dovlin_EventSignal>();
        else if (variable.m_Kind == String)
            signal = &m_pFileManager->AddSignal<Dovlin_StringSignal>();
        else if (variable.m_NineState)
            signal = &m_pFileManager->AddSignal<Dovlin_StateSignalT<Dovlin_StdLogicType>>();
        else
            signal = &m_pFileManager->AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
        signal->SetAppendLane(&m_AppendLanes[size_t(variable.m_Lane)]);
        variable.m_Signals.push_back(signal);
    }
    if (variable.m_Kind == Logic || variable.m_Kind == Event)
        variable.m_States.assign(size_t(count), -1);
    variable.m_Made.fetch_or(VcdVariable::MadeSignals, std::memory_order_relaxed);
    for (size_t i = 0; i < variable.m_Leaves.size(); ++i)
        variable.m_Leaves[i]->SetSignal(variable.m_Signals[i % size_t(count)]);
}

void vcd_yacc::Finish()
{
    for (const auto &variable : m_VariableList)
        if (variable->m_Signals.empty() && !variable->m_Leaves.empty())
            CreateSignals(*variable, false);
}

void vcd_yacc::SetTimescale(const std::string &text)
{
    if (m_TimeSeen) {
        Warn(LateTimescale, QStringLiteral("$timescale after the first time stamp ignored"));
        return;
    }
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    static const struct
    {
        const char *unit;
        int exponent;
    } units[] = {{"s", 0}, {"ms", -3}, {"us", -6}, {"ns", -9}, {"ps", -12}, {"fs", -15}};
    const QByteArray unit = QByteArray(text.data() + digits, int(text.size() - digits)).toLower();
    qint64 multiplier = 1;
    for (const auto &u : units) {
        if (unit != u.unit)
            continue;
        if (digits > 0 && (!ParseDecimal(text.data(), int(digits), multiplier) || multiplier == 0))
            break;
        m_TimeMultiplier = multiplier;
        m_pFileManager->SetTimeBase(u.exponent);
        return;
    }
    Fail(QStringLiteral("invalid timescale '%1'").arg(Shown(text.data(), int(text.size()))));
}

void vcd_yacc::SetTime(VcdWord stamp)
{
    // Once the temporary event file has failed, events are lost: reading on would only take time.
    const Dovlin_SpillFile *spill = m_pFileManager->SpillFile();
    if (spill && spill->Failed()) {
        Fail(spill->ErrorString());
        return;
    }
    const char *text = stamp.m_Text + 1;
    const int length = stamp.m_Length - 1;
    int point = 0;
    while (point < length && text[point] != '.')
        ++point;
    qint64 whole = 0;
    QByteArray fraction(text + qMin(point + 1, length), qMax(0, length - point - 1));
    while (fraction.endsWith('0'))
        fraction.chop(1);
    bool valid = point > 0 && text[0] >= '0' && text[0] <= '9';
    for (int i = 0; i < point; ++i)
        valid = valid && ((text[i] >= '0' && text[i] <= '9') || text[i] == '_');
    for (char c : std::as_const(fraction))
        valid = valid && c >= '0' && c <= '9';
    if (!valid) {
        Fail(QStringLiteral("invalid time stamp '%1'").arg(Shown(stamp)));
        return;
    }
    if (!ParseDecimal(text, point, whole)) {
        Fail(QStringLiteral("time stamp %1 does not fit in 64 bits").arg(Shown(stamp)));
        return;
    }
    qint64 time = 0;
    if (!fraction.isEmpty()) {
        if (!FractionalTime(whole, fraction, stamp, time))
            return;
    } else if (__builtin_mul_overflow(whole, m_TimeMultiplier, &time)) {
        Fail(QStringLiteral("time stamp %1 times the timescale %2 does not fit in 64 bits")
                 .arg(Shown(stamp), QString::number(m_TimeMultiplier)));
        return;
    }
    m_TimeSeen = true;
    if (time < m_LastTime) {
        WarnBackwards(stamp);
        time = m_LastTime;
    }
    m_CurrentTime = time;
    m_LastTime = time;
}

bool vcd_yacc::BodyTime(quint64 stamp)
{
    m_BodyRuns = false;
    m_BodyStamp = stamp;
    const Dovlin_SpillFile *spill = m_pFileManager->SpillFile();
    if (spill && spill->Failed()) {
        Fail(spill->ErrorString());
        return false;
    }
    qint64 time = 0;
    if (stamp > quint64(LLONG_MAX) || __builtin_mul_overflow(qint64(stamp), m_TimeMultiplier, &time)) {
        Fail(QStringLiteral("time stamp %1 times the timescale %2 does not fit in 64 bits")
                 .arg(stamp)
                 .arg(m_TimeMultiplier));
        return false;
    }
    m_TimeSeen = true;
    if (time < m_LastTime) {
        const std::string text = "#" + std::to_string(stamp);
        WarnBackwards({text.data(), int(text.size())});
        time = m_LastTime;
    }
    m_CurrentTime = time;
    m_LastTime = time;
    return true;
}

bool vcd_yacc::BodyTimeFits(quint64 stamp) const
{
    qint64 time = 0;
    return stamp <= quint64(LLONG_MAX) && !__builtin_mul_overflow(qint64(stamp), m_TimeMultiplier, &time);
}

char *vcd_yacc::NewRun(VcdVariable &variable, VcdChangeTag tag, int valueBytes)
{
    vcd_changequeue *const queue = m_Queues[size_t(variable.m_Lane)].get();
    char *const header = queue->Reserve(RunHeaderBytes + sizeof(qint64) + size_t(valueBytes));
    m_Run = {nullptr, queue, tag, valueBytes, 0, header, header + RunHeaderBytes};
    return m_Run.m_End + sizeof(qint64);
}

char *vcd_yacc::RunValue(VcdVariable &variable, VcdChangeTag tag, int valueBytes)
{
    if (m_Run.m_Variable == &variable && m_Run.m_Tag == tag && m_Run.m_ValueBytes == valueBytes
        && m_Run.m_Queue->ReserveInBlock(sizeof(qint64) + size_t(valueBytes)) == m_Run.m_End)
        return m_Run.m_End + sizeof(qint64);
    return NewRun(variable, tag, valueBytes);
}

void vcd_yacc::StartRun(VcdVariable &variable)
{
    char *const header = m_Run.m_Header;
    VcdVariable *target = &variable;
    header[0] = RunTag;
    std::memcpy(header + 1, &target, sizeof target);
    header[1 + sizeof target] = m_Run.m_Tag;
    header[2 + sizeof target] = 0;
    std::memcpy(header + 3 + sizeof target, &m_Run.m_ValueBytes, sizeof(int));
    m_Run.m_Queue->Commit(RunHeaderBytes);
    m_Run.m_Variable = &variable;
}

void vcd_yacc::RunCommit(VcdVariable &variable, bool nineState)
{
    if (m_Run.m_Variable != &variable)
        StartRun(variable);
    const qint64 time = m_CurrentTime;
    std::memcpy(m_Run.m_End, &time, sizeof time);
    const size_t entry = sizeof time + size_t(m_Run.m_ValueBytes);
    m_Run.m_Queue->Commit(entry);
    m_Run.m_End += entry;
    ++m_Run.m_Count;
    char *const header = m_Run.m_Header;
    std::memcpy(header + RunHeaderBytes - sizeof(int), &m_Run.m_Count, sizeof(int));
    header[2 + sizeof(VcdVariable *)] |= char(nineState);
    m_LaneTimes[size_t(variable.m_Lane)] = time;
}

bool vcd_yacc::RunScalar(VcdVariable &variable, char value)
{
    const int state = StateCode(value);
    if (!(variable.m_Kind == Logic || variable.m_Kind == Event) || state < 0 || variable.m_Width <= 0 || !RunFits(variable))
        return false;
    *RunValue(variable, LogicTag, 1) = char(RunHoldsStates(variable, 1) ? nineStateOf[state] : state);
    RunCommit(variable, state >= firstNineState);
    return true;
}

void vcd_yacc::BodyScalar(VcdVariable &variable, char value, VcdWord code)
{
    if (RunScalar(variable, value))
        return;
    BodyOut out{{*this}, &variable};
    vcd_changes::ScalarChange(out, value, code);
}

void vcd_yacc::BodyScalars(VcdVariable &variable, const char *values, const quint64 *stamps, size_t count, VcdWord code)
{
    for (size_t i = 0; i < count; ++i) {
        BodyChangeTime(stamps[i]);
        BodyScalar(variable, values[i], code);
    }
}

void vcd_yacc::BodyBitsList(VcdVariable &variable, const unsigned char *const *bits, const quint64 *stamps, size_t count,
                            int width, VcdWord code)
{
    for (size_t i = 0; i < count; ++i) {
        BodyChangeTime(stamps[i]);
        if (!RunBits(variable, bits[i], width))
            BodyBits(variable, bits[i], width, code);
    }
}

bool vcd_yacc::RunDigits(VcdVariable &variable, VcdWord digits)
{
    // What LogicChange keeps of digits that need no warning and carry no binary literal's prefix.
    const char *const text = digits.m_Text;
    const int length = digits.m_Length;
    if (!(variable.m_Kind == Logic || variable.m_Kind == Event) || length <= 0 || length > variable.m_Width
        || (length > 2 && text[0] == '0' && (text[1] == 'b' || text[1] == 'B')) || !RunFits(variable))
        return false;
    signed char *const codes = reinterpret_cast<signed char *>(RunValue(variable, LogicTag, length));
    int lowest = 0;
    int highest = 0;
    vcd_changes::StateCodesOf(text, length, length, codes, lowest, highest);
    if (lowest < 0)
        return false;
    if (RunHoldsStates(variable, length))
        for (int i = 0; i < length; ++i)
            codes[i] = static_cast<signed char>(nineStateOf[codes[i]]);
    RunCommit(variable, highest >= firstNineState);
    return true;
}

void vcd_yacc::BodyDigits(VcdVariable &variable, VcdWord digits, VcdWord code)
{
    if (RunDigits(variable, digits))
        return;
    BodyOut out{{*this}, &variable};
    vcd_changes::VectorChange(out, digits, code);
}

void vcd_yacc::BodyDigitsList(VcdVariable &variable, const unsigned char *const *digits, const quint64 *stamps,
                              size_t count, int length, VcdWord code)
{
    for (size_t i = 0; i < count; ++i) {
        BodyChangeTime(stamps[i]);
        BodyDigits(variable, {reinterpret_cast<const char *>(digits[i]), length}, code);
    }
}

bool vcd_yacc::RunBits(VcdVariable &variable, const unsigned char *bits, int width)
{
    if (!(variable.m_Kind == Logic || variable.m_Kind == Event) || width <= 0 || width > variable.m_Width
        || !RunFits(variable))
        return false;
    bitCodes(bits, width, RunValue(variable, LogicTag, width), RunHoldsStates(variable, width) ? nineByteCodes : byteCodes);
    RunCommit(variable, false);
    return true;
}

void vcd_yacc::BodyBits(VcdVariable &variable, const unsigned char *bits, int width, VcdWord code)
{
    if (RunBits(variable, bits, width))
        return;
    BodyOut out{{*this}, &variable};
    const auto bit = [bits](int i) { return (bits[i / 8] >> (7 - i % 8)) & 1; };
    const bool logic = variable.m_Kind == Logic || variable.m_Kind == Event;
    const bool integer = variable.m_Kind == Integer || variable.m_Kind == SignedInteger;
    if (logic && width > 0 && width <= variable.m_Width) {
        // The record LogicChange makes of these bits as digits: all of them kept, none nine-state.
        constexpr size_t header = 1 + sizeof(VcdVariable *) + sizeof(int) + 1;
        char *const record = out.Reserve(variable, header + size_t(width));
        VcdVariable *target = &variable;
        record[0] = LogicTag;
        std::memcpy(record + 1, &target, sizeof target);
        std::memcpy(record + 1 + sizeof target, &width, sizeof width);
        record[header - 1] = 0;
        bitCodes(bits, width, record + header);
        out.Commit(variable, LogicTag, false, record, header + size_t(width));
        return;
    }
    if (integer && width > 0) {
        // The value IntegerChange reads from these bits as digits.
        const int used = qMin(width, variable.m_Width);
        quint64 value = 0;
        for (int i = width - used; i < width; ++i)
            value = value << 1 | quint64(bit(i));
        if (variable.m_Kind == SignedInteger && width >= variable.m_Width && variable.m_Width < 64
            && (value >> (variable.m_Width - 1) & 1))
            value |= ~quint64(0) << variable.m_Width;
        if (RunFits(variable)) {
            std::memcpy(RunValue(variable, IntegerTag, sizeof value), &value, sizeof value);
            RunCommit(variable, false);
            return;
        }
        vcd_changes::Record(out, IntegerTag, &variable, qint64(value));
        return;
    }
    std::string digits(size_t(qMax(0, width)), '0');
    for (int i = 0; i < width; ++i)
        digits[size_t(i)] = char('0' + bit(i));
    vcd_changes::VectorChange(out, {digits.data(), int(digits.size())}, code);
}

void vcd_yacc::BodyReal(VcdVariable &variable, double value, VcdWord code)
{
    BodyOut out{{*this}, &variable};
    if (variable.m_Kind == Real) {
        // Every NaN reads as the one a dump's "nan" gives.
        const double real = std::isnan(value) ? std::numeric_limits<double>::quiet_NaN() : value;
        if (RunFits(variable)) {
            std::memcpy(RunValue(variable, RealTag, sizeof real), &real, sizeof real);
            RunCommit(variable, false);
            return;
        }
        vcd_changes::Record(out, RealTag, &variable, real);
        return;
    }
    // Other kinds take a real as its text, with the warnings that names.
    char number[32];
    const int length = std::isnan(value) ? std::snprintf(number, sizeof number, "nan")
                                         : std::snprintf(number, sizeof number, "%.17g", value);
    vcd_changes::RealChange(out, {number, length}, code);
}

void vcd_yacc::BodyString(VcdVariable &variable, const char *bytes, size_t size, VcdWord code)
{
    if (variable.m_Kind == Skipped)
        return;
    if (variable.m_Kind != String) {
        Warn(WrongKind, QStringLiteral("string value for the variable '%1' left out").arg(Shown(code)));
        return;
    }
    const QByteArray key = QByteArray::fromRawData(bytes, qsizetype(size));
    qint64 index = m_TextIndices.value(key, -1);
    if (index < 0) {
        const QByteArray copy(bytes, qsizetype(size));
        index = m_pFileManager->AddString(DumpText(copy));
        if (m_TextIndices.size() < MaxCachedTexts)
            m_TextIndices.insert(copy, index);
    }
    BodyOut out{{*this}, &variable};
    vcd_changes::Record(out, StringTag, &variable, index);
}

void vcd_yacc::BodyFail(const QString &reason)
{
    if (m_ErrorString.isEmpty())
        m_ErrorString = reason;
    yyexitflg = true;
    yyexitcode = FailedParse;
}

void vcd_yacc::WarnBackwards(VcdWord stamp)
{
    Warn(TimeBackwards, QStringLiteral("time stamp %1 goes back before %2; value changes are kept at %2 until "
                                       "the time passes it")
                            .arg(Shown(stamp), QString::number(m_LastTime)));
}

bool vcd_yacc::FractionalTime(qint64 whole, const QByteArray &fraction, VcdWord stamp, qint64 &time)
{
    using Wide = unsigned __int128;
    // A fraction of more than 18 digits is finer than any time unit and is rounded anyway.
    const bool tooLong = fraction.size() > 18;
    const int digits = qMin(int(fraction.size()), 18);
    qint64 numerator = 0;
    ParseDecimal(fraction.constData(), digits, numerator);
    Wide denominator = 1;
    for (int i = 0; i < digits; ++i)
        denominator *= 10;
    // Refine the time unit by factors of 1000 until the fraction is a whole number of units.
    const auto wholeUnits = [&](qint64 multiplier) { return Wide(numerator) * Wide(multiplier) % denominator == 0; };
    int steps = 0;
    qint64 multiplier = m_TimeMultiplier;
    qint64 finer = 0;
    while (!wholeUnits(multiplier) && m_pFileManager->GetTimeBase() - 3 * (steps + 1) >= -15
           && !__builtin_mul_overflow(multiplier, qint64(1000), &finer)) {
        ++steps;
        multiplier = finer;
    }
    if (steps > 0 && !RefineTimeUnit(steps, stamp))
        return false;
    if (tooLong || !wholeUnits(m_TimeMultiplier))
        Warn(RoundedTime, QStringLiteral("time stamp %1 is finer than the time unit: rounded")
                              .arg(Shown(stamp)));
    const Wide parts = (Wide(numerator) * Wide(m_TimeMultiplier) * 2 / denominator + 1) / 2;
    const Wide total = Wide(whole) * Wide(m_TimeMultiplier) + parts;
    if (total > Wide(LLONG_MAX)) {
        Fail(QStringLiteral("time stamp %1 does not fit in 64 bits").arg(Shown(stamp)));
        return false;
    }
    time = qint64(total);
    return true;
}

bool vcd_yacc::RefineTimeUnit(int steps, VcdWord stamp)
{
    qint64 factor = 1;
    for (int i = 0; i < steps; ++i)
        factor *= 1000;
    const auto scaled = [factor](qint64 &value) { return value == -1 || !__builtin_mul_overflow(value, factor, &value); };
    StopChunks();
    DrainChanges();
    bool fits = scaled(m_CurrentTime) && scaled(m_LastTime) && scaled(m_TimeMultiplier);
    // What the parser records next carries its time, in the finer unit.
    std::fill(m_LaneTimes.begin(), m_LaneTimes.end(), NoTime);
    for (int s = 0; fits && s < m_pFileManager->GetnSignal(); ++s)
        fits = m_pFileManager->GetSignal(s)->ScaleTimes(factor);
    if (!fits) {
        Fail(QStringLiteral("time stamp %1 needs a finer time unit, at which the times do not fit in 64 bits")
                 .arg(Shown(stamp)));
        return false;
    }
    m_pFileManager->SetTimeBase(m_pFileManager->GetTimeBase() - 3 * steps);
    Warn(FinerTimeUnit, QStringLiteral("time stamp %1 has a fraction: the time unit is refined to %2")
                            .arg(Shown(stamp), TimeUnitText(m_pFileManager->GetTimeBase())));
    return true;
}

void vcd_yacc::StoreInteger(StoreState &store, Dovlin_Signal *signal, qint64 value)
{
    const std::optional<CSignalEvent> last = signal->GetLastEvent();
    if (last && last->m_Value.m_IntValue == value)
        return;
    signal->AddEvent(store.m_Time, value);
    ++store.m_StoredChanges;
}

void vcd_yacc::StoreReal(StoreState &store, Dovlin_Signal *signal, double value)
{
    const std::optional<CSignalEvent> last = signal->GetLastEvent();
    if (last && (last->m_Value.m_RealValue == value || (std::isnan(value) && std::isnan(last->m_Value.m_RealValue))))
        return;
    signal->AddEvent(store.m_Time, value);
    ++store.m_StoredChanges;
}

// The parser adds the text to the string table, which the storing thread never reads: the record
// carries its index, so a dump's repeated texts are kept once.
qint64 vcd_yacc::TextIndex(VcdWord text)
{
    const QByteArrayView bytes(text.m_Text, text.m_Length);
    qint64 index = m_TextIndices.value(QByteArray::fromRawData(bytes.data(), bytes.size()), -1);
    if (index < 0) {
        index = m_pFileManager->AddString(stringText(bytes));
        if (m_TextIndices.size() < MaxCachedTexts)
            m_TextIndices.insert(bytes.toByteArray(), index);
    }
    return index;
}

bool vcd_yacc::NeedsSignals(const VcdVariable &variable, VcdChangeTag tag) const
{
    const bool integer = variable.m_Kind == Integer || variable.m_Kind == SignedInteger;
    return variable.m_Signals.empty() || (tag == LogicTag && integer && !variable.m_AsLogic);
}

void vcd_yacc::MakeSignals(VcdVariable &variable, VcdChangeTag tag, bool nineState)
{
    const bool integer = variable.m_Kind == Integer || variable.m_Kind == SignedInteger;
    if (tag == LogicTag && integer)
        IntegerToLogic(variable, nineState);
    else
        CreateSignals(variable, tag == LogicTag && nineState);
}

// A handover's records sorted by variable. The variables of a dump lie all over the heap, and
// so do their states, signals and the signals' boxes: taken in order, a record misses on each.
// Stored one variable after another, each is read once for all of its records.
struct vcd_yacc::StoreGroups
{
    static constexpr quint32 Slots = 8192;
    static constexpr quint32 MaxGroups = 4096;
    // Records a variable needs on average in a handover for sorting to pay.
    static constexpr size_t MinRecords = 4;
    // The most of m_States.
    static constexpr size_t SliceBytes = size_t(1) << 20;
    struct Slot
    {
        const VcdVariable *m_Variable = nullptr;
        quint32 m_Handover = 0;
        quint32 m_Group = 0;
    };
    struct Group
    {
        VcdVariable *m_Variable;
        size_t m_Bytes;
        // All its records are logic values, and one at least has nine-state codes.
        bool m_Logic;
        bool m_NineState;
    };
    std::vector<Slot> m_Slots = std::vector<Slot>(Slots);
    // Slots of other handovers than m_Handover are free.
    quint32 m_Handover = 0;
    std::vector<Group> m_Groups;
    std::vector<quint32> m_GroupOf;
    std::vector<size_t> m_Next;
    std::vector<char> m_Sorted;
    // A logic variable's values over its whole width, each after its time.
    std::vector<char> m_States;

    // The group of variable, made when new; MaxGroups when there are that many already.
    quint32 GroupOf(VcdVariable *variable)
    {
        quint32 slot = quint32((quintptr(variable) >> 6) * Q_UINT64_C(0x9E3779B97F4A7C15) >> 51) & (Slots - 1);
        for (;; slot = (slot + 1) & (Slots - 1)) {
            Slot &at = m_Slots[slot];
            if (at.m_Handover != m_Handover) {
                if (m_Groups.size() == MaxGroups)
                    return MaxGroups;
                at = {variable, m_Handover, quint32(m_Groups.size())};
                m_Groups.push_back({variable, 0, true, false});
                return at.m_Group;
            }
            if (at.m_Variable == variable)
                return at.m_Group;
        }
    }
};

qint64 vcd_yacc::SortingMemory(qint64 bytes)
{
    // The sorted records, a group's number for each (a record takes 17 bytes at least), a slice of
    // values over their whole widths, and the table of groups.
    return bytes + bytes / 4 + qint64(StoreGroups::SliceBytes)
           + qint64(StoreGroups::Slots * sizeof(StoreGroups::Slot) + StoreGroups::MaxGroups * (sizeof(StoreGroups::Group) + sizeof(size_t)));
}

namespace {

// The bytes of the fields after a record's tag at data (its variable's included); 0 for a run.
size_t recordFields(char tag, const char *data)
{
    switch (tag) {
    case TimeTag:
    case ChunkTag:
        return sizeof(qint64);
    case StampTag:
        return sizeof(int);
    case LogicTag: {
        int length = 0;
        std::memcpy(&length, data + sizeof(VcdVariable *), sizeof length);
        return sizeof(VcdVariable *) + sizeof length + 1 + size_t(length);
    }
    case RunTag:
        return 0;
    default:
        return sizeof(VcdVariable *) + sizeof(qint64);
    }
}

} // namespace

void vcd_yacc::StoreChanges(StoreState &store, const char *data, size_t size)
{
    if (!StoreGrouped(store, data, size))
        StoreInOrder(store, data, size);
}

bool vcd_yacc::StoreGrouped(StoreState &store, const char *data, size_t size)
{
    if (!store.m_Groups)
        store.m_Groups = std::make_unique<StoreGroups>();
    StoreGroups &groups = *store.m_Groups;
    if (++groups.m_Handover == 0) {
        std::fill(groups.m_Slots.begin(), groups.m_Slots.end(), StoreGroups::Slot());
        groups.m_Handover = 1;
    }
    groups.m_Groups.clear();
    groups.m_GroupOf.clear();
    const char *const end = data + size;
    for (const char *at = data; at < end;) {
        const char tag = *at++;
        const size_t fields = recordFields(tag, at);
        if (fields == 0)
            return false;
        if (tag != TimeTag && tag != StampTag && tag != ChunkTag) {
            VcdVariable *variable = nullptr;
            std::memcpy(&variable, at, sizeof variable);
            const quint32 group = groups.GroupOf(variable);
            if (group == StoreGroups::MaxGroups)
                return false;
            StoreGroups::Group &into = groups.m_Groups[group];
            // The variable's place holds the record's time once sorted.
            into.m_Bytes += 1 + fields;
            into.m_Logic &= tag == LogicTag;
            into.m_NineState |= tag == LogicTag && at[sizeof variable + sizeof(int)] != 0;
            groups.m_GroupOf.push_back(group);
        }
        at += fields;
    }
    if (groups.m_GroupOf.size() < StoreGroups::MinRecords * groups.m_Groups.size())
        return false;

    std::vector<size_t> &next = groups.m_Next;
    next.resize(groups.m_Groups.size());
    size_t total = 0;
    for (size_t g = 0; g < groups.m_Groups.size(); ++g) {
        next[g] = total;
        total += groups.m_Groups[g].m_Bytes;
    }
    groups.m_Sorted.resize(total);
    char *const sorted = groups.m_Sorted.data();
    size_t record = 0;
    for (const char *at = data; at < end;) {
        const char tag = *at++;
        const size_t fields = recordFields(tag, at);
        if (tag == TimeTag) {
            std::memcpy(&store.m_Time, at, sizeof store.m_Time);
        } else if (tag == StampTag) {
            int stamp = 0;
            std::memcpy(&stamp, at, sizeof stamp);
            store.m_Time = store.m_Stamps[stamp];
        } else if (tag == ChunkTag) {
            std::memcpy(&store.m_Stamps, at, sizeof store.m_Stamps);
        } else {
            size_t &place = next[groups.m_GroupOf[record++]];
            char *const to = sorted + place;
            std::memcpy(to, &store.m_Time, sizeof store.m_Time);
            to[sizeof store.m_Time] = tag;
            std::memcpy(to + sizeof store.m_Time + 1, at + sizeof(VcdVariable *), fields - sizeof(VcdVariable *));
            place += 1 + fields;
        }
        at += fields;
    }
    const qint64 time = store.m_Time;
    const char *from = sorted;
    for (size_t g = 0; g < groups.m_Groups.size(); ++g) {
        const StoreGroups::Group &group = groups.m_Groups[g];
        VcdVariable &variable = *group.m_Variable;
        if (g + 1 < groups.m_Groups.size())
            __builtin_prefetch(groups.m_Groups[g + 1].m_Variable);
        const char *const groupEnd = from + group.m_Bytes;
        if (group.m_Logic && variable.m_Kind != Event) {
            StoreLogicRun(store, variable, from, groupEnd, group.m_NineState);
            from = groupEnd;
            continue;
        }
        while (from < groupEnd) {
            std::memcpy(&store.m_Time, from, sizeof store.m_Time);
            from = StoreRecord(store, from[sizeof store.m_Time], variable, from + sizeof store.m_Time + 1);
        }
    }
    store.m_Time = time;
    return true;
}

// Sorted logic values of variable (not an event) [from, end), each its time, then the tag, digit
// count (1 to the width, as the parser keeps them), nine-state flag and codes, stored as StoreLogic
// would store them one by one.
void vcd_yacc::StoreLogicRun(StoreState &store, VcdVariable &variable, const char *from, const char *end, bool nineState)
{
    constexpr size_t CodesAt = sizeof(qint64) + 1 + sizeof(int) + 1;
    const int width = variable.m_Width;
    if (nineState)
        NoteNineState(store, variable);
    // The values as the states of the whole width, each after its time, a slice at a time: a
    // value of a few digits may stand for thousands of bits.
    const size_t entry = sizeof(qint64) + size_t(width);
    const size_t sliceEntries = qMax<size_t>(1, StoreGroups::SliceBytes / entry);
    std::vector<char> &states = store.m_Groups->m_States;
    states.resize(sliceEntries * entry);
    const bool nine = variable.m_NineState;
    const auto stateOf = [nine](signed char code) { return static_cast<char>(nine ? nineStateOf[code] : code); };
    for (const char *at = from; at != end;) {
        char *to = states.data();
        for (char *const sliceEnd = to + sliceEntries * entry; at != end && to != sliceEnd; to += entry) {
            int length = 0;
            std::memcpy(&length, at + sizeof(qint64) + 1, sizeof length);
            std::memcpy(to, at, sizeof(qint64));
            const signed char *const codes = reinterpret_cast<const signed char *>(at + CodesAt);
            const int missing = width - length;
            // A shorter value is extended to the left, 0 and 1 by 0, any other state by itself.
            if (missing > 0)
                std::memset(to + sizeof(qint64), stateOf(codes[0] == 1 ? 0 : codes[0]), size_t(missing));
            if (nine)
                for (int i = 0; i < length; ++i)
                    to[sizeof(qint64) + size_t(missing + i)] = stateOf(codes[i]);
            else
                std::memcpy(to + sizeof(qint64) + missing, codes, size_t(length));
            at += CodesAt + size_t(length);
        }
        store.m_StoredChanges += storeBitsRun(variable.m_States.data(), variable.m_Signals.data(), width, states.data(),
                                              to, entry, sizeof(qint64));
    }
}

// A four-state variable that received a nine-state value becomes nine-state at Convert.
void vcd_yacc::NoteNineState(StoreState &store, VcdVariable &variable)
{
    if (!variable.m_NineState && !variable.m_Upgrade) {
        variable.m_Upgrade = true;
        ++store.m_nUpgrade;
    }
}

void vcd_yacc::StoreInOrder(StoreState &store, const char *data, size_t size)
{
    const char *const end = data + size;
    while (data < end) {
        const char tag = *data++;
        if (tag == TimeTag) {
            std::memcpy(&store.m_Time, data, sizeof store.m_Time);
            data += sizeof store.m_Time;
            continue;
        }
        if (tag == StampTag) {
            int stamp = 0;
            std::memcpy(&stamp, data, sizeof stamp);
            data += sizeof stamp;
            store.m_Time = store.m_Stamps[stamp];
            continue;
        }
        if (tag == ChunkTag) {
            std::memcpy(&store.m_Stamps, data, sizeof store.m_Stamps);
            data += sizeof store.m_Stamps;
            continue;
        }
        VcdVariable *variable = nullptr;
        std::memcpy(&variable, data, sizeof variable);
        data += sizeof variable;
        // The variables of a dump lie all over the heap: the next record's is asked for while
        // this one is stored (what storing reads of it is on its first cache line).
        if (tag == LogicTag) {
            int length = 0;
            std::memcpy(&length, data, sizeof length);
            const char *const after = data + sizeof length + 1 + length;
            if (after + 1 + sizeof variable <= end && *after == LogicTag) {
                const char *next = nullptr;
                std::memcpy(&next, after + 1, sizeof next);
                __builtin_prefetch(next);
            }
        }
        data = StoreRecord(store, tag, *variable, data);
    }
}

const char *vcd_yacc::StoreRecord(StoreState &store, char tag, VcdVariable &variable, const char *data)
{
    if (tag == LogicTag) {
        int length = 0;
        std::memcpy(&length, data, sizeof length);
        const bool nineState = data[sizeof length] != 0;
        data += sizeof length + 1;
        StoreLogic(store, variable, reinterpret_cast<const signed char *>(data), length, nineState);
        return data + length;
    }
    if (tag == RunTag)
        return StoreRun(store, variable, data);
    StoreNumber(store, variable, tag, data);
    return data + sizeof(qint64);
}

void vcd_yacc::StoreNumber(StoreState &store, VcdVariable &variable, char tag, const char *value)
{
    // A string's value is the index of its text, a repeated one no change, as for an integer.
    if (tag == IntegerTag || tag == StringTag) {
        qint64 integer = 0;
        std::memcpy(&integer, value, sizeof integer);
        if (variable.m_AsLogic)
            StoreIntegerBits(store, variable, quint64(integer));
        else
            StoreInteger(store, variable.m_Signals.front(), integer);
    } else {
        double real = 0;
        std::memcpy(&real, value, sizeof real);
        StoreReal(store, variable.m_Signals.front(), real);
    }
}

const char *vcd_yacc::StoreRun(StoreState &store, VcdVariable &variable, const char *data)
{
    const char tag = data[0];
    const bool nineState = data[1] != 0;
    int valueBytes = 0;
    int count = 0;
    std::memcpy(&valueBytes, data + 2, sizeof valueBytes);
    std::memcpy(&count, data + 2 + sizeof valueBytes, sizeof count);
    data += 2 + sizeof valueBytes + sizeof count;
    const size_t entry = sizeof(qint64) + size_t(valueBytes);
    const char *const end = data + size_t(count) * entry;
    // Values of full width (a bit's, most changes of most dumps): what StoreLogic does for each
    // value, without its call and set-up.
    if (tag == LogicTag && valueBytes == variable.m_Width && variable.m_Kind != Event) {
        if (nineState)
            NoteNineState(store, variable);
        store.m_StoredChanges += storeBitsRun(variable.m_States.data(), variable.m_Signals.data(), valueBytes, data,
                                              end, entry, sizeof(qint64));
        if (count > 0)
            std::memcpy(&store.m_Time, end - entry, sizeof store.m_Time);
        return end;
    }
    for (; data != end; data += entry) {
        std::memcpy(&store.m_Time, data, sizeof store.m_Time);
        const char *const value = data + sizeof(qint64);
        if (tag == LogicTag)
            StoreLogic(store, variable, reinterpret_cast<const signed char *>(value), valueBytes, nineState);
        else
            StoreNumber(store, variable, tag, value);
    }
    return end;
}

void vcd_yacc::StoreLogic(StoreState &store, VcdVariable &variable, const signed char *codes, int length, bool nineState)
{
    // An event stays four-state: its nine-state values are triggers all the same, stored as X.
    const bool event = variable.m_Kind == Event;
    if (nineState && !event)
        NoteNineState(store, variable);
    signed char *const last = variable.m_States.data();
    Dovlin_Signal *const *const signalList = variable.m_Signals.data();
    const bool nine = variable.m_NineState;
    const qint64 time = store.m_Time;
    const int width = variable.m_Width;
    // The states over the whole width: a shorter value is extended to the left, 0 and 1 by 0, any
    // other state by itself. A four-state value of full width is its own states.
    const int missing = width - length;
    const signed char *states = codes;
    if (missing > 0 || nine || (event && nineState)) {
        if (store.m_States.size() < size_t(width))
            store.m_States.resize(size_t(width));
        signed char *const to = store.m_States.data();
        const auto stateOf = [&](int code) {
            return static_cast<signed char>(nine ? nineStateOf[code] : event && code >= firstNineState ? 3 : code);
        };
        if (missing > 0)
            std::fill_n(to, missing, stateOf(codes[0] == 1 ? 0 : codes[0]));
        if (nine || event)
            for (int i = 0; i < length; ++i)
                to[missing + i] = stateOf(codes[i]);
        else
            std::memcpy(to + missing, codes, size_t(length));
        states = to;
    }
    qint64 stored = 0;
    if (event) {
        // Every value of an event is a trigger.
        for (int bit = 0; bit < width; ++bit)
            signalList[bit]->AddEvent(time, int(states[bit]));
        std::memcpy(last, states, size_t(width));
        stored = width;
    } else {
        stored = storeChangedBits(last, states, width, signalList, time);
    }
    store.m_StoredChanges += stored;
}

void vcd_yacc::StoreIntegerBits(StoreState &store, VcdVariable &variable, quint64 value)
{
    signed char codes[64];
    const int width = variable.m_Width;
    for (int bit = 0; bit < width; ++bit)
        codes[bit] = static_cast<signed char>(value >> (width - 1 - bit) & 1);
    StoreLogic(store, variable, codes, width, false);
}

// On the parser's thread: an integer with values stored already waits for its storing thread,
// whose state then takes the integer's values again as bits.
void vcd_yacc::IntegerToLogic(VcdVariable &variable, bool nineState)
{
    Dovlin_Signal *integer = variable.m_Signals.empty() ? nullptr : variable.m_Signals.front();
    if (integer)
        DrainChanges();
    Dovlin_AppendLane *lane = &m_AppendLanes[size_t(variable.m_Lane)];
    const int width = variable.m_Width;
    variable.m_AsLogic = true;
    variable.m_NineState = nineState;
    variable.m_Signals.assign(size_t(width), nullptr);
    variable.m_States.assign(size_t(width), -1);
    // With values stored already, bit 0 takes the integer's place in the signal table.
    const int logicType = nineState ? Dovlin_TypeCode::StdLogic : Dovlin_TypeCode::Verilog;
    for (int bit = integer ? 1 : 0; bit < width; ++bit) {
        variable.m_Signals[size_t(bit)] = m_pFileManager->AddSignalOfType(logicType);
        variable.m_Signals[size_t(bit)]->SetAppendLane(lane);
    }
    variable.m_Made.fetch_or(VcdVariable::MadeSignals | VcdVariable::MadeBits, std::memory_order_relaxed);
    if (!integer)
        return;
    std::unique_ptr<Dovlin_Signal> old;
    Dovlin_Signal *&bit0 = variable.m_Signals.front();
    if (nineState)
        bit0 = &m_pFileManager->ReplaceSignal<Dovlin_StateSignalT<Dovlin_StdLogicType>>(integer->GetIndex(), old);
    else
        bit0 = &m_pFileManager->ReplaceSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>(integer->GetIndex(), old);
    bit0->SetAppendLane(lane);
    StoreState &store = m_Stores[size_t(variable.m_Lane)];
    const qint64 time = store.m_Time;
    store.m_StoredChanges -= old->GetnEvent() - 1;
    forEachEvent(*old, [&](const CSignalEvent &event) {
        store.m_Time = event.m_Time;
        StoreIntegerBits(store, variable, quint64(event.m_Value.m_IntValue));
    });
    store.m_Time = time;
}

bool vcd_yacc::IntegerNodesToVectors()
{
    for (const auto &variable : m_VariableList) {
        if (!variable->m_AsLogic)
            continue;
        std::vector<Dovlin_ScalarHierarchy *> bits;
        for (Dovlin_ScalarHierarchy *leaf : variable->m_Leaves) {
            auto &bus = m_pFileManager->ReplaceNode<Dovlin_CompositeHierarchy>(leaf->m_Index, leaf->GetName());
            for (int i = 0; i < variable->m_Width; ++i) {
                auto &bit =
                    m_pFileManager->AddNode<Dovlin_ScalarHierarchy>(bitName(bus.GetName(), variable->m_Width - 1 - i));
                bit.SetSignal(variable->m_Signals[size_t(i)]);
                if (!bus.AddHierarchy(&bit)) {
                    m_ErrorString = QStringLiteral("the bits of '%1' would nest more than %2 levels deep")
                                        .arg(bus.GetName(), QString::number(Dovlin_Hierarchy::m_MaxDepth));
                    return false;
                }
                bits.push_back(&bit);
            }
        }
        variable->m_Leaves = std::move(bits);
    }
    return true;
}

void vcd_yacc::Upgrade()
{
    for (const auto &variable : m_VariableList) {
        if (!variable->m_Upgrade)
            continue;
        // Each signal is copied into a nine-state one that takes its place in the table, so
        // every index, and with it every node, stays as it is.
        for (Dovlin_Signal *&signal : variable->m_Signals) {
            std::unique_ptr<Dovlin_Signal> old;
            auto &nineState =
                m_pFileManager->ReplaceSignal<Dovlin_StateSignalT<Dovlin_StdLogicType>>(signal->GetIndex(), old);
            forEachEvent(*old, [&nineState](const CSignalEvent &event) {
                nineState.AddEvent(event.m_Time, nineStateOf[event.m_Value.m_State]);
            });
            signal = &nineState;
        }
        for (signed char &state : variable->m_States)
            state = state < 0 ? state : static_cast<signed char>(nineStateOf[state]);
        variable->m_NineState = true;
        variable->m_Upgrade = false;
    }
    for (int lane = 0; lane < m_nLane; ++lane)
        m_Stores[size_t(lane)].m_nUpgrade = 0;
}
