#ifndef DOVLIN_BOXGATHERER_H
#define DOVLIN_BOXGATHERER_H

#include <QtGlobal>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class Dovlin_FileManager;

// Reads an import's spilled boxes ahead of the wave file's writer, on threads of its own. The
// spill store keeps boxes in the order they filled, so a writer that takes them signal by signal
// waits on memory at nearly every box: here that wait is spread over other cores, and the writer
// gets a signal's boxes as one run of bytes.
//
// Boxes come out in signal order, box order within a signal; every box but the last of a signal
// is gathered. A box that is not spilled, or that cannot be read, is left out: the writer reads it
// itself (and reports what went wrong). Only for an import's model (Pays), whose box lists and
// spill store nothing changes meanwhile.
class Dovlin_BoxGatherer
{
public:
    // Boxes first to first + count of a signal: their packed bytes lie one after the other from
    // bytes + start, box i's up to bytes + ends[i]; the first time of box i is times[i].
    struct Run
    {
        const unsigned char *m_Bytes = nullptr;
        quint32 m_Start = 0;
        const quint32 *m_Ends = nullptr;
        const qint64 *m_Times = nullptr;
        qint64 m_Count = 0;
    };

    Dovlin_BoxGatherer(const Dovlin_FileManager &model, int threads);
    ~Dovlin_BoxGatherer();
    Dovlin_BoxGatherer(const Dovlin_BoxGatherer &) = delete;
    Dovlin_BoxGatherer &operator=(const Dovlin_BoxGatherer &) = delete;

    // Whether gathering pays for writing model with threads threads: an import's model (boxes
    // spilled, none in a mapped file) with enough of them.
    static bool Pays(const Dovlin_FileManager &model, int threads);
    // The gathered boxes of signal from box first on, as many as lie together; none when box first
    // was left out. Calls go in signal and box order; a run stays valid until the next call.
    Run Take(int signal, qint64 first);

private:
    struct Span
    {
        int m_Signal;
        qint64 m_First;
        qint64 m_End;
    };
    struct Piece;

    void Work();
    void Gather(Piece &piece) const;
    // The piece the writer takes from, waited for; null past the last.
    Piece *Current();

    const Dovlin_FileManager &m_Model;
    std::vector<Span> m_Spans;
    // Piece i gathers spans m_Bounds[i] to m_Bounds[i + 1], into slot i % m_Slots.size().
    std::vector<size_t> m_Bounds;
    std::vector<std::unique_ptr<Piece>> m_Slots;
    std::vector<std::thread> m_Threads;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    // The next piece to gather, and the piece the writer takes from (under m_Mutex).
    size_t m_Next = 0;
    size_t m_Taken = 0;
    bool m_Stop = false;
    // The writer's side: its piece, once ready, and its place there.
    Piece *m_Current = nullptr;
    size_t m_Box = 0;
};

#endif
