// The body of a dump read in chunks by a pool of threads. The body is cut into byte ranges; a
// chunk starts at the first line that begins with '#' at or after its nominal start (the first at
// the body's start) and ends where the next one starts, so each time step lies in one chunk. A
// worker reads its chunk's time stamps and value changes into records for the storing threads, as
// the parser's fast path would, and stops at the first word it cannot take alone (a declaration,
// a time stamp with a fraction ...). What depends on the chunks before is left to the parser,
// which takes the chunks in order where it stands at their starts (vcd_yacc::TakeChunks): the
// times of the stamps, which must not go back; the problems' first lines; the signals a first
// value makes; the dump sections; the indices of string values' texts.
#ifndef VCD_CHUNKS_H
#define VCD_CHUNKS_H

#include "vcd_codetable.h"
#include "vcd_yacc.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// What a worker read of one chunk.
struct vcd_chunk
{
    // A record whose variable's signals the parser may have to make first: the first of each
    // variable in the chunk, and an integer's first logic value; m_Offset is where the record
    // starts in its lane (where it would start, for an integer's signal made without one).
    struct First
    {
        VcdVariable *m_Variable;
        VcdChangeTag m_Tag;
        bool m_NineState;
        size_t m_Offset;
    };
    // Records for one storing thread. The first ChunkHeader bytes are left for a ChunkTag that
    // points the thread at m_Times.
    struct Lane
    {
        std::unique_ptr<char[]> m_Bytes;
        size_t m_Used = 0;
        size_t m_Size = 0;
        // The time stamp its last record follows, -1 before the first.
        int m_Stamp = -1;
    };
    static constexpr size_t ChunkHeader = 1 + sizeof(const qint64 *);
    struct Problem
    {
        qint64 m_Count = 0;
        int m_Line = 0;
        QString m_Text;
    };

    // Where the chunk starts in the dump (-1 for a chunk without a line beginning with '#' in its
    // range, which is empty), and where the worker stopped: its end, or the first word it left to
    // the parser. Lines are counted from the start.
    qint64 m_Start = -1;
    qint64 m_End = 0;
    bool m_Whole = false;
    int m_Lines = 0;
    // The bytes read, for the text of a stamp that turns out to go back.
    QByteArray m_Text;
    // The time when the chunk starts (set by the parser), then each stamp's, as read; the parser
    // keeps none going back. A stamp record holds its index here.
    std::vector<qint64> m_Times;
    std::vector<int> m_StampLines;
    std::vector<VcdWord> m_Stamps;
    std::vector<Lane> m_Lanes;
    std::vector<First> m_Firsts;
    // Each string record's lane (the top 16 bits) and the offset of its index field there, in the
    // order read. Until the parser puts the text's index in the field, the field holds where the
    // text lies in m_Text (the top 32 bits) and its length.
    std::vector<quint64> m_Strings;
    static constexpr quint64 StringOffsetMask = (quint64(1) << 48) - 1;
    Problem m_Problems[vcd_yacc::nProblem];
    // A $dumpvars, $dumpall, $dumpon or $dumpoff was read, and the section it opened is still open.
    bool m_DumpCommand = false;
    bool m_DumpOpen = false;
};

// What the workers read with, which the parser must not change while they run.
struct vcd_chunkcontext
{
    const vcd_codetable<VcdVariable> *m_Codes = nullptr;
    size_t m_nVariable = 0;
    int m_nLane = 1;
    qint64 m_TimeMultiplier = 1;
    // The longest word the scanner takes.
    int m_MaxWord = 0;
};

class vcd_chunks
{
public:
    // Reads [begin, end) of the file at descriptor, cut every chunkBytes, on `workers` threads,
    // never more than a few chunks ahead of the one taken last.
    vcd_chunks(const vcd_chunkcontext &context, int descriptor, qint64 begin, qint64 end, qint64 chunkBytes, int workers);
    // Stops the workers; what they read is dropped.
    ~vcd_chunks();
    vcd_chunks(const vcd_chunks &) = delete;
    vcd_chunks &operator=(const vcd_chunks &) = delete;

    qint64 Count() const { return m_Count; }
    // Where chunk k starts; the end of the body for k == Count().
    qint64 Start(qint64 k);
    // Waits for chunk k, which no chunk taken or passed follows, and hands it over.
    std::shared_ptr<vcd_chunk> Take(qint64 k);
    // The chunks before k are not wanted: the parser read past their starts.
    void Pass(qint64 k);
    // Chunks whose records may wait at once, read or queued for the storing threads.
    static qint64 InFlight(int workers, int lanes);
    // The most bytes of records and text a chunk of chunkBytes may hold.
    static qint64 ChunkMemory(qint64 chunkBytes);

private:
    void Run();
    // seen: the marks of the variables met, which each worker keeps from chunk to chunk (see ChunkOut).
    void Read(qint64 k, vcd_chunk &chunk, std::vector<unsigned char> &seen);
    // Where the range of chunk k starts: the body cut every m_ChunkBytes.
    qint64 Nominal(qint64 k) const;
    // The first line at or after from, and before limit, that begins with '#'; -1 when none does.
    qint64 LineStart(qint64 from, qint64 limit) const;

    const vcd_chunkcontext m_Context;
    const int m_Descriptor;
    const qint64 m_Begin;
    const qint64 m_End;
    const qint64 m_ChunkBytes;
    const qint64 m_Count;
    const qint64 m_Window;
    // The starts found so far, by the parser's thread.
    std::vector<qint64> m_Starts;

    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    qint64 m_Next = 0;
    qint64 m_Taken = 0;
    // Workers look at it after each word they read.
    std::atomic<bool> m_Stop{false};
    std::map<qint64, std::shared_ptr<vcd_chunk>> m_Done;
    std::vector<std::thread> m_Threads;
};

#endif
