#include "Dovlin_FstText.h"

#include "Dovlin_FstReader.h"
#include "Dovlin_ImportReporter.h"

#include <QDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const char *const variableTypes[] = {"event", "integer", "parameter", "real", "real_parameter", "reg", "supply0",
                                     "supply1", "time", "tri", "triand", "trior", "trireg", "tri0", "tri1", "wand",
                                     "wire", "wor", "port", "sparray", "realtime", "string", "bit", "logic", "int",
                                     "shortint", "longint", "byte", "enum", "shortreal"};
const char *const scopeTypes[] = {"module", "task", "function", "begin", "fork", "generate", "struct", "union",
                                  "class", "interface", "package", "program", "vhdl_architecture", "vhdl_procedure",
                                  "vhdl_function", "vhdl_record", "vhdl_process", "vhdl_block", "vhdl_for_generate",
                                  "vhdl_if_generate", "vhdl_generate", "vhdl_package", "sv_array"};

// A handle's identifier code, in the printable ASCII letters of VCD.
std::string codeOf(quint32 handle)
{
    std::string code;
    quint32 n = handle - 1;
    do {
        code += char('!' + n % 94);
        n /= 94;
    } while (n > 0);
    return code;
}

// A name as one VCD word (a scope's) or as words (a variable's, whose range follows a blank):
// other blanks and control bytes would end the word.
std::string nameWords(const QByteArray &name, bool oneWord)
{
    std::string text(name.constData(), size_t(name.size()));
    for (char &c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || (oneWord && c == ' '))
            c = '_';
    return text;
}

// Escapes a string value as fst2vcd does, so that it stays one word.
void appendEscaped(std::string &out, const unsigned char *data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = data[i];
        const char *named = nullptr;
        switch (c) {
        case '\a': named = "\\a"; break;
        case '\b': named = "\\b"; break;
        case '\f': named = "\\f"; break;
        case '\n': named = "\\n"; break;
        case '\r': named = "\\r"; break;
        case '\t': named = "\\t"; break;
        case '\v': named = "\\v"; break;
        case '\'': named = "\\'"; break;
        case '"': named = "\\\""; break;
        case '\\': named = "\\\\"; break;
        case '?': named = "\\?"; break;
        default: break;
        }
        if (named) {
            out += named;
        } else if (c > 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            char octal[5];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            out += octal;
        }
    }
}

class TextWriter
{
public:
    TextWriter(Dovlin_FstReader &reader, FILE *out) : m_Reader(reader), m_Out(out) {}

    void Declarations();
    // Writes block i's changes; false when they are damaged (the reader holds why).
    bool Block(int i);
    void Finish();
    int SkippedPorts() const { return m_SkippedPorts; }
    bool WriteFailed() const { return std::ferror(m_Out) != 0; }

private:
    void Flush(bool always);
    void Time(quint64 time);
    void Blackouts(quint64 before, bool including);
    void Value(quint32 handle, const Dovlin_FstReader::Change &change);
    void FrameValue(quint32 handle, const Dovlin_FstReader::Block &block, size_t offset);

    Dovlin_FstReader &m_Reader;
    FILE *m_Out;
    std::string m_Text;
    std::vector<std::string> m_Codes;
    size_t m_NextBlackout = 0;
    bool m_TimeWritten = false;
    quint64 m_LastTime = 0;
    quint64 m_EndTime = 0;
    int m_SkippedPorts = 0;
};

void TextWriter::Flush(bool always)
{
    if (always || m_Text.size() >= (1u << 16)) {
        std::fwrite(m_Text.data(), 1, m_Text.size(), m_Out);
        m_Text.clear();
    }
}

void TextWriter::Declarations()
{
    m_Text += "$date\n\t" + m_Reader.Date().toStdString() + "\n$end\n";
    m_Text += "$version\n\t" + m_Reader.Version().toStdString() + "\n$end\n";
    static const char *const units[] = {"s", "ms", "us", "ns", "ps", "fs", "as", "zs"};
    const int exponent = m_Reader.TimeExponent();
    // 10^exponent seconds as a multiple of 1, 10 or 100 of the unit at or below it.
    const int unit = exponent >= 0 ? 0 : (-exponent + 2) / 3;
    int power = exponent + 3 * unit;
    std::string multiple = "1";
    for (; power > 0; --power)
        multiple += '0';
    m_Text += "$timescale\n\t" + multiple + (unit < 8 ? units[unit] : "?") + "\n$end\n";
    m_Codes.assign(m_Reader.HandleCount() + size_t(1), std::string());
    int unnamed = 0;
    for (const Dovlin_FstReader::HierarchyRecord &record : m_Reader.Hierarchy()) {
        if (record.m_Kind == Dovlin_FstReader::ScopeBegin) {
            const char *type = record.m_Type < std::size(scopeTypes) ? scopeTypes[record.m_Type] : "module";
            const std::string name = record.m_Name.isEmpty() ? "$unnamed_scope_" + std::to_string(unnamed++)
                                                             : nameWords(record.m_Name, true);
            m_Text += std::string("$scope ") + type + " " + name + " $end\n";
        } else if (record.m_Kind == Dovlin_FstReader::ScopeEnd) {
            m_Text += "$upscope $end\n";
        } else if (record.m_Type == Dovlin_FstReader::PortType) {
            ++m_SkippedPorts;
        } else {
            const quint32 geometry = m_Reader.Geometry(record.m_Handle);
            quint64 width = record.m_Length;
            if (record.m_Type == Dovlin_FstReader::ShortRealType)
                width = 32;
            else if (geometry == Dovlin_FstReader::RealGeometry)
                width = 64;
            std::string &code = m_Codes[record.m_Handle];
            if (code.empty())
                code = codeOf(record.m_Handle);
            const std::string name = record.m_Name.isEmpty() ? std::string("_") : nameWords(record.m_Name, false);
            m_Text += std::string("$var ") + variableTypes[record.m_Type] + " " + std::to_string(width) + " " + code
                      + " " + name + " $end\n";
        }
        Flush(false);
    }
    m_Text += "$enddefinitions $end\n";
}

void TextWriter::Blackouts(quint64 before, bool including)
{
    const auto &blackouts = m_Reader.Blackouts();
    for (; m_NextBlackout < blackouts.size(); ++m_NextBlackout) {
        const Dovlin_FstReader::Blackout &b = blackouts[m_NextBlackout];
        if (b.m_Time > before || (b.m_Time == before && !including))
            break;
        if (b.m_Time != before) {
            m_Text += "#" + std::to_string(b.m_Time) + "\n";
            m_TimeWritten = true;
            m_LastTime = b.m_Time;
        }
        m_Text += b.m_On ? "$dumpon $end\n" : "$dumpoff $end\n";
    }
}

void TextWriter::Time(quint64 time)
{
    if (m_TimeWritten && time == m_LastTime)
        return;
    Blackouts(time, false);
    m_Text += "#" + std::to_string(time) + "\n";
    m_TimeWritten = true;
    m_LastTime = time;
    Blackouts(time, true);
}

void TextWriter::Value(quint32 handle, const Dovlin_FstReader::Change &change)
{
    const std::string &code = m_Codes[handle];
    if (code.empty())
        return;
    using Change = Dovlin_FstReader::Change;
    switch (change.m_Coding) {
    case Change::Scalar:
        m_Text += change.m_Scalar;
        m_Text += code;
        m_Text += '\n';
        return;
    case Change::PackedBits: {
        const quint32 width = m_Reader.Geometry(handle);
        m_Text += 'b';
        for (quint32 j = 0; j < width; ++j)
            m_Text += char('0' + ((change.m_Data[j / 8] >> (7 - j % 8)) & 1));
        break;
    }
    case Change::Characters:
        m_Text += 'b';
        // A blank or control byte would end the word: it stands for no logic value.
        for (size_t j = 0; j < change.m_Size; ++j)
            m_Text += change.m_Data[j] > 0x20 && change.m_Data[j] < 0x7F ? char(change.m_Data[j]) : '?';
        break;
    case Change::Double:
    case Change::PackedDouble: {
        unsigned char bytes[8];
        if (change.m_Coding == Change::Double) {
            std::memcpy(bytes, change.m_Data, 8);
        } else {
            for (int j = 0; j < 8; ++j)
                bytes[j] = '0' + ((change.m_Data[0] >> (7 - j)) & 1);
        }
        if (m_Reader.BigEndianReals() == (Q_BYTE_ORDER == Q_LITTLE_ENDIAN))
            std::reverse(bytes, bytes + 8);
        double value;
        std::memcpy(&value, bytes, 8);
        char number[32];
        if (std::isnan(value))
            std::snprintf(number, sizeof number, "nan");
        else
            std::snprintf(number, sizeof number, "%.17g", value);
        m_Text += 'r';
        m_Text += number;
        break;
    }
    case Change::Bytes:
        m_Text += 's';
        appendEscaped(m_Text, change.m_Data, change.m_Size);
        break;
    }
    m_Text += ' ';
    m_Text += code;
    m_Text += '\n';
}

void TextWriter::FrameValue(quint32 handle, const Dovlin_FstReader::Block &block, size_t offset)
{
    const quint32 geometry = m_Reader.Geometry(handle);
    Dovlin_FstReader::Change change{};
    change.m_Data = reinterpret_cast<const unsigned char *>(block.m_Frame.constData()) + offset;
    if (geometry == 1) {
        change.m_Coding = Dovlin_FstReader::Change::Scalar;
        change.m_Scalar = char(change.m_Data[0]);
        if (change.m_Scalar <= 0x20 || change.m_Scalar >= 0x7F)
            change.m_Scalar = '?';
    } else {
        change.m_Coding = geometry == Dovlin_FstReader::RealGeometry ? Dovlin_FstReader::Change::Double
                                                                      : Dovlin_FstReader::Change::Characters;
        change.m_Size = geometry == Dovlin_FstReader::RealGeometry ? 8 : geometry;
    }
    Value(handle, change);
}

bool TextWriter::Block(int i)
{
    Dovlin_FstReader::Block block;
    if (!m_Reader.ReadBlock(i, block))
        return false;
    const size_t handles = block.m_ChainStart.size();
    const size_t times = block.m_Times.size();
    // The handles with a change at each time index, as lists through next: a handle sits in the
    // list of the time index of its next change, so the block is written in time order.
    std::vector<qint64> head(times, -1);
    std::vector<qint64> next(handles, -1);
    std::vector<const unsigned char *> at(handles), end(handles);
    std::vector<quint64> index(handles, 0);
    Dovlin_FstReader::Change change{};
    const auto schedule = [&](size_t k, quint64 from) {
        if (at[k] == end[k])
            return true;
        const unsigned char *peek = at[k];
        if (!Dovlin_FstReader::NextChange(m_Reader.Geometry(quint32(k + 1)), peek, end[k], change)
            || change.m_Delta >= times - from) {
            m_Reader.SetBlockError(i, QStringLiteral("the changes of handle %1 are damaged").arg(k + 1));
            return false;
        }
        index[k] = from + change.m_Delta;
        next[k] = head[size_t(index[k])];
        head[size_t(index[k])] = qint64(k);
        return true;
    };
    for (size_t k = handles; k > 0; --k) {
        at[k - 1] = block.m_Chains.data() + block.m_ChainStart[k - 1];
        end[k - 1] = at[k - 1] + block.m_ChainSize[k - 1];
        if (!schedule(k - 1, 0))
            return false;
    }
    // The first block's frame holds the values a writer gave before its first time, x or NaN
    // for the others. A handle that changes at the block's begin time takes that value instead.
    if (i == 0) {
        std::vector<bool> changesFirst(handles, false);
        if (times > 0 && block.m_Times[0] == block.m_Begin)
            for (qint64 k = head[0]; k >= 0; k = next[size_t(k)])
                changesFirst[size_t(k)] = true;
        Time(block.m_Begin);
        m_Text += "$dumpvars\n";
        size_t offset = 0;
        for (quint64 k = 0; k < block.m_FrameHandles; ++k) {
            const quint32 geometry = m_Reader.Geometry(quint32(k + 1));
            if (geometry != Dovlin_FstReader::StringGeometry && !(k < handles && changesFirst[size_t(k)]))
                FrameValue(quint32(k + 1), block, offset);
            offset += geometry == Dovlin_FstReader::RealGeometry ? 8
                      : geometry == Dovlin_FstReader::StringGeometry ? 0 : geometry;
        }
        m_Text += "$end\n";
    }
    for (size_t t = 0; t < times; ++t) {
        if (head[t] < 0)
            continue;
        Time(block.m_Times[t]);
        while (head[t] >= 0) {
            const size_t k = size_t(head[t]);
            head[t] = next[k];
            // Parsed when it was scheduled: it cannot fail now.
            Dovlin_FstReader::NextChange(m_Reader.Geometry(quint32(k + 1)), at[k], end[k], change);
            Value(quint32(k + 1), change);
            if (!schedule(k, t))
                return false;
        }
        Flush(false);
    }
    m_EndTime = block.m_End;
    return true;
}

void TextWriter::Finish()
{
    // The last time stamp written closes the dump, whether or not anything changed then.
    if (m_TimeWritten && m_EndTime > m_LastTime)
        Time(m_EndTime);
    Blackouts(~quint64(0), true);
    Flush(true);
}

class SecondHalf : public Dovlin_ImportReporter
{
public:
    SecondHalf(Dovlin_ImportReporter *whole, qint64 size) : m_Whole(whole), m_Size(size) {}
    void Error(const QString &text) override { m_Whole->Error(text); }
    void Warning(const QString &text) override { m_Whole->Warning(text); }
    bool Progress(qint64 bytesRead, qint64 bytesTotal) override
    {
        const double share = bytesTotal > 0 ? double(bytesRead) / double(bytesTotal) : 1.0;
        return m_Whole->Progress(m_Size + qint64(share * double(m_Size)), 2 * m_Size);
    }
    bool WriteProgress(qint64 written, qint64 total) override { return m_Whole->WriteProgress(written, total); }

private:
    Dovlin_ImportReporter *m_Whole;
    qint64 m_Size;
};

} // namespace

Dovlin_FstText::Dovlin_FstText(Dovlin_ImportReporter *reporter)
    : m_Reporter(reporter)
{
}

Dovlin_FstText::~Dovlin_FstText() = default;

QString Dovlin_FstText::Path() const
{
    return m_File ? m_File->fileName() : QString();
}

bool Dovlin_FstText::Write(const QString &fstPath)
{
    Dovlin_FstReader reader;
    if (!reader.Open(fstPath)) {
        m_ErrorString = reader.ErrorString();
        return false;
    }
    m_File = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/dovlin-fst-XXXXXX.vcd"));
    if (!m_File->open()) {
        m_ErrorString = QStringLiteral("cannot write its text to %1: %2").arg(QDir::tempPath(), m_File->errorString());
        return false;
    }
    FILE *out = fdopen(dup(m_File->handle()), "wb");
    if (!out) {
        m_ErrorString = QStringLiteral("cannot write its text to %1").arg(m_File->fileName());
        return false;
    }
    TextWriter writer(reader, out);
    writer.Declarations();
    bool ok = true;
    for (int i = 0; ok && i < reader.BlockCount(); ++i) {
        if (m_Reporter && !m_Reporter->Progress(reader.BlockOffset(i), 2 * reader.Size())) {
            m_Cancelled = true;
            m_ErrorString = QStringLiteral("cancelled");
            ok = false;
        } else if (!writer.Block(i)) {
            m_ErrorString = reader.ErrorString();
            ok = false;
        } else if (writer.WriteFailed()) {
            ok = false;
        }
    }
    if (ok)
        writer.Finish();
    const bool failed = writer.WriteFailed();
    const bool written = std::fclose(out) == 0 && !failed;
    if (ok && !written)
        m_ErrorString = QStringLiteral("cannot write its text to %1: %2").arg(m_File->fileName(), QString::fromLocal8Bit(std::strerror(errno)));
    if (!ok || !written)
        return false;
    if (m_Reporter) {
        m_TextReporter = std::make_unique<SecondHalf>(m_Reporter, reader.Size());
        if (!reader.Truncation().isEmpty())
            m_Reporter->Warning(QStringLiteral("%1: %2; read up to its last complete block").arg(fstPath, reader.Truncation()));
        if (writer.SkippedPorts() > 0)
            m_Reporter->Warning(QStringLiteral("%1: %2 extended-VCD ports left out").arg(fstPath).arg(writer.SkippedPorts()));
        if (reader.EnumTables() > 0)
            m_Reporter->Warning(QStringLiteral("%1: %2 enumeration tables (named by %3 variables) not shown: their values appear as numbers")
                                    .arg(fstPath).arg(reader.EnumTables()).arg(reader.EnumVariables()));
    }
    return true;
}
