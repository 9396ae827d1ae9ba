#include "vcd_chunks.h"

#include "vcd_changes.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <unistd.h>

using namespace vcd_changes;

namespace {

// A worker's side of the change functions: records go to the chunk's lanes, problems are counted
// in the chunk at lines counted from its start, and the first record of each variable is noted for
// the parser, which makes the signals.
class ChunkOut
{
public:
    // seen: a byte for each variable, which the worker keeps from chunk to chunk: the marks of
    // what it noted, which it clears after each chunk, and of what the parser had made.
    ChunkOut(const vcd_chunkcontext &context, vcd_chunk &chunk, std::vector<unsigned char> &seen)
        : m_Context(context), m_Chunk(chunk), m_Seen(seen)
    {
        m_Seen.resize(context.m_nVariable);
    }
    // Clears the marks of what was noted.
    ~ChunkOut()
    {
        for (const vcd_chunk::First &first : m_Chunk.m_Firsts)
            m_Seen[size_t(first.m_Variable->m_Number)] = 0;
    }

    VcdVariable *Find(VcdWord code) const { return m_Context.m_Codes->Find(code.m_Text, code.m_Length); }

    void Warn(vcd_yacc::Problem problem, const QString &text)
    {
        vcd_chunk::Problem &record = m_Chunk.m_Problems[problem];
        if (record.m_Count++ == 0) {
            record.m_Line = m_Line;
            record.m_Text = text;
        }
    }

    char *Reserve(const VcdVariable &variable, size_t bytes)
    {
        vcd_chunk::Lane &lane = m_Chunk.m_Lanes[size_t(variable.m_Lane)];
        const int stamp = int(m_Chunk.m_Times.size()) - 1;
        if (lane.m_Stamp != stamp) {
            char *to = Room(lane, 1 + sizeof stamp);
            to[0] = StampTag;
            std::memcpy(to + 1, &stamp, sizeof stamp);
            lane.m_Used += 1 + sizeof stamp;
            lane.m_Stamp = stamp;
        }
        return Room(lane, bytes);
    }

    void Commit(VcdVariable &variable, VcdChangeTag tag, bool nineState, char *record, size_t bytes)
    {
        vcd_chunk::Lane &lane = m_Chunk.m_Lanes[size_t(variable.m_Lane)];
        Note(variable, tag, nineState, size_t(record - lane.m_Bytes.get()));
        lane.m_Used += bytes;
    }

    void MakeSignal(VcdVariable &variable) { Note(variable, IntegerTag, false, m_Chunk.m_Lanes[size_t(variable.m_Lane)].m_Used); }

    // The parser, taking the chunks in order, gives the text its index (vcd_chunk::m_Strings).
    void String(VcdVariable &variable, VcdWord text)
    {
        const quint64 place = quint64(text.m_Text - m_Chunk.m_Text.constData()) << 32 | quint32(text.m_Length);
        vcd_changes::Record(*this, StringTag, &variable, place);
        const size_t lane = size_t(variable.m_Lane);
        m_Chunk.m_Strings.push_back(quint64(lane) << 48 | (m_Chunk.m_Lanes[lane].m_Used - sizeof place));
    }

    // The line of the change being read, counted from the chunk's start.
    int m_Line = 0;

private:
    static char *Room(vcd_chunk::Lane &lane, size_t bytes)
    {
        if (lane.m_Used + bytes > lane.m_Size) {
            const size_t size = qMax(qMax(2 * lane.m_Size, lane.m_Used + bytes), size_t(64) << 10);
            std::unique_ptr<char[]> bytesNow(new char[size]);
            if (lane.m_Bytes)
                std::memcpy(bytesNow.get(), lane.m_Bytes.get(), lane.m_Used);
            lane.m_Bytes = std::move(bytesNow);
            lane.m_Size = size;
        }
        return lane.m_Bytes.get() + lane.m_Used;
    }

    void Note(VcdVariable &variable, VcdChangeTag tag, bool nineState, size_t offset)
    {
        const bool integer = variable.m_Kind == vcd_yacc::Integer || variable.m_Kind == vcd_yacc::SignedInteger;
        const unsigned char mark = tag == LogicTag && integer ? VcdVariable::MadeSignals | VcdVariable::MadeBits
                                                             : VcdVariable::MadeSignals;
        unsigned char &seen = m_Seen[size_t(variable.m_Number)];
        if ((seen & mark) == mark)
            return;
        seen |= mark;
        // A variable whose signals the parser made already needs no note; its mark stays for the
        // next chunks. The parser looks again at each note, so one it made meanwhile does no harm.
        if ((variable.m_Made.load(std::memory_order_relaxed) & mark) == mark)
            return;
        m_Chunk.m_Firsts.push_back({&variable, tag, nineState, offset});
    }

    const vcd_chunkcontext &m_Context;
    vcd_chunk &m_Chunk;
    std::vector<unsigned char> &m_Seen;
};

// $dumpvars, $dumpall, $dumpon and $dumpoff open a section that $end closes; any other command
// is left to the parser, and so is an $end whose section opened before the chunk.
bool dumpWord(VcdWord word, vcd_chunk &chunk)
{
    const auto is = [word](const char *command) {
        return size_t(word.m_Length) == std::strlen(command) && std::memcmp(word.m_Text, command, size_t(word.m_Length)) == 0;
    };
    if (is("$dumpvars") || is("$dumpall") || is("$dumpon") || is("$dumpoff")) {
        chunk.m_DumpCommand = true;
        chunk.m_DumpOpen = true;
        return true;
    }
    if (is("$end") && chunk.m_DumpOpen) {
        chunk.m_DumpOpen = false;
        return true;
    }
    return false;
}

bool readAt(int descriptor, char *to, qint64 size, qint64 offset)
{
    for (qint64 done = 0; done < size;) {
        const ssize_t got = pread(descriptor, to + done, size_t(size - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

// The most of a chunk read, in nominal chunks.
constexpr qint64 MaxReadChunks = 2;
// Records take at most seven times their text (a one-bit change of three bytes makes fifteen, a
// string value of four bytes seventeen and an eight-byte place in m_Strings, and a stamp record goes
// before at most each of them), in buffers up to twice what they hold.
constexpr qint64 RecordsPerTextByte = 14;

} // namespace

vcd_chunks::vcd_chunks(const vcd_chunkcontext &context, int descriptor, qint64 begin, qint64 end, qint64 chunkBytes,
                       int workers)
    : m_Context(context), m_Descriptor(descriptor), m_Begin(begin), m_End(end), m_ChunkBytes(qMax<qint64>(1, chunkBytes)),
      m_Count(end > begin ? (end - begin + m_ChunkBytes - 1) / m_ChunkBytes : 0), m_Window(2 * qint64(workers) + 2)
{
    try {
        for (int i = 0; i < workers; ++i)
            m_Threads.emplace_back(&vcd_chunks::Run, this);
    } catch (const std::system_error &) {
    }
}

vcd_chunks::~vcd_chunks()
{
    {
        const std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stop = true;
    }
    m_Changed.notify_all();
    for (std::thread &thread : m_Threads)
        thread.join();
}

qint64 vcd_chunks::InFlight(int workers, int lanes)
{
    // The window of chunks read ahead, and the parts of chunks each storing thread may have queued.
    return 2 * qint64(workers) + 2 + 4 * qint64(lanes);
}

qint64 vcd_chunks::ChunkMemory(qint64 chunkBytes)
{
    return MaxReadChunks * chunkBytes * (1 + RecordsPerTextByte);
}

qint64 vcd_chunks::Nominal(qint64 k) const
{
    return k < m_Count ? m_Begin + k * m_ChunkBytes : m_End;
}

qint64 vcd_chunks::LineStart(qint64 from, qint64 limit) const
{
    char buffer[4096];
    // The byte before from tells whether from begins a line.
    qint64 at = from - 1;
    char previous = 0;
    while (at < limit) {
        const ssize_t got = pread(m_Descriptor, buffer, size_t(qMin<qint64>(qint64(sizeof buffer), limit - at)), off_t(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t i = 0; i < got; ++i) {
            if (at + i >= from && buffer[i] == '#' && previous == '\n')
                return at + i;
            previous = buffer[i];
        }
        at += got;
    }
    return -1;
}

// A chunk without a line that begins with '#' in its range is empty, and starts where the next
// one does; each range is searched once.
qint64 vcd_chunks::Start(qint64 k)
{
    while (qint64(m_Starts.size()) <= k) {
        const qint64 first = qint64(m_Starts.size());
        qint64 found = first == 0 ? m_Begin : -1;
        qint64 last = first;
        for (; found < 0 && last < m_Count; ++last)
            found = LineStart(Nominal(last), Nominal(last + 1));
        if (found < 0)
            found = m_End;
        m_Starts.resize(size_t(qMax(last, first + 1)), found);
    }
    return m_Starts[size_t(k)];
}

void vcd_chunks::Run()
{
    std::vector<unsigned char> seen;
    for (;;) {
        qint64 k = 0;
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            m_Changed.wait(lock, [this] { return m_Stop || m_Next >= m_Count || m_Next < m_Taken + m_Window; });
            if (m_Stop || m_Next >= m_Count)
                return;
            k = m_Next++;
        }
        auto chunk = std::make_shared<vcd_chunk>();
        Read(k, *chunk, seen);
        {
            const std::lock_guard<std::mutex> lock(m_Mutex);
            if (k >= m_Taken)
                m_Done.emplace(k, std::move(chunk));
        }
        m_Changed.notify_all();
    }
}

std::shared_ptr<vcd_chunk> vcd_chunks::Take(qint64 k)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Done.erase(m_Done.begin(), m_Done.lower_bound(k));
    m_Taken = qMax(m_Taken, k);
    m_Next = qMax(m_Next, m_Taken);
    std::shared_ptr<vcd_chunk> chunk;
    if (m_Threads.empty()) {
        lock.unlock();
        std::vector<unsigned char> seen;
        chunk = std::make_shared<vcd_chunk>();
        Read(k, *chunk, seen);
        lock.lock();
    } else {
        m_Changed.notify_all();
        m_Changed.wait(lock, [this, k] { return m_Done.count(k) > 0; });
        chunk = std::move(m_Done[k]);
        m_Done.erase(k);
    }
    m_Taken = k + 1;
    m_Next = qMax(m_Next, m_Taken);
    lock.unlock();
    m_Changed.notify_all();
    return chunk;
}

void vcd_chunks::Pass(qint64 k)
{
    {
        const std::lock_guard<std::mutex> lock(m_Mutex);
        m_Done.erase(m_Done.begin(), m_Done.lower_bound(k));
        m_Taken = qMax(m_Taken, k);
        m_Next = qMax(m_Next, m_Taken);
    }
    m_Changed.notify_all();
}

void vcd_chunks::Read(qint64 k, vcd_chunk &chunk, std::vector<unsigned char> &seen)
{
    const qint64 start = k == 0 ? m_Begin : LineStart(Nominal(k), Nominal(k + 1));
    chunk.m_Times.assign(1, 0);
    chunk.m_Lanes.resize(size_t(m_Context.m_nLane));
    for (vcd_chunk::Lane &lane : chunk.m_Lanes)
        lane.m_Used = vcd_chunk::ChunkHeader;
    chunk.m_Whole = start < 0;
    if (start < 0)
        return;
    chunk.m_Start = chunk.m_End = start;
    // The chunk ends where the next one starts, if that lies in what is read of it; a chunk whose
    // next one starts much later (a dump with few time stamps) is read in part.
    const qint64 limit = qMin(m_End, start + MaxReadChunks * m_ChunkBytes);
    const qint64 next = k + 1 < m_Count ? LineStart(Nominal(k + 1), limit) : -1;
    const qint64 readEnd = next >= 0 ? next : limit;
    const bool hardEnd = next >= 0 || limit == m_End;
    chunk.m_Text.resize(qsizetype(readEnd - start));
    // A chunk that cannot be read is left to the parser, which meets the failure itself.
    if (!readAt(m_Descriptor, chunk.m_Text.data(), readEnd - start, start))
        return;

    ChunkOut out(m_Context, chunk, seen);
    const char *const text = chunk.m_Text.constData();
    Words words{text, text + chunk.m_Text.size(), 0};
    // The next word: false when only blanks are left, or the word may run on past what was read,
    // or it is longer than the scanner takes.
    const auto nextWord = [&](VcdWord &word) {
        word = words.Next();
        return word.m_Length > 0 && (words.m_At != words.m_End || hardEnd) && word.m_Length <= m_Context.m_MaxWord;
    };
    const auto atLine = [&] { out.m_Line = words.m_Line; };
    const char *taken = text;
    int takenLine = 0;
    bool whole = false;
    VcdWord word{};
    while (!m_Stop) {
        if (!nextWord(word)) {
            whole = word.m_Length == 0 && hardEnd;
            break;
        }
        if (word.m_Text[0] == '#') {
            qint64 time = 0;
            if (!WholeTime(word, m_Context.m_TimeMultiplier, time))
                break;
            chunk.m_Times.push_back(time);
            chunk.m_StampLines.push_back(words.m_Line);
            chunk.m_Stamps.push_back(word);
        } else if (word.m_Text[0] == '$' ? !dumpWord(word, chunk) : !ReadChange(out, word, nextWord, atLine)) {
            break;
        }
        taken = words.m_At;
        takenLine = words.m_Line;
    }
    if (whole) {
        taken = words.m_End;
        takenLine = words.m_Line;
    }
    chunk.m_End = start + (taken - text);
    chunk.m_Lines = takenLine;
    chunk.m_Whole = whole;
}
