#include "Dovlin_BoxGatherer.h"

#include "Dovlin_BoxCodec.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_PackedBoxes.h"
#include "Dovlin_Signals.h"
#include "Dovlin_SpillFile.h"

#include <cstring>

namespace {

// Boxes a piece gathers: a few hundred KB of bytes, 5 MB at most. Smaller pieces would make the
// writer wait for them more often.
constexpr qint64 PieceBoxes = 8192;

qint64 gatheredBoxes(const Dovlin_Signal &signal)
{
    const qint64 nEvent = signal.GetnEvent();
    return nEvent <= 1 ? 0 : (nEvent - 1) / Dovlin_BoxCodec::MaxEvents;
}

} // namespace

struct Dovlin_BoxGatherer::Piece
{
    // Which piece the slot holds, and whether it is gathered (under m_Mutex).
    size_t m_Index = 0;
    bool m_Ready = false;
    std::vector<unsigned char> m_Bytes;
    std::vector<quint32> m_Ends;
    std::vector<qint64> m_Times;
    std::vector<int> m_Signals;
    std::vector<qint64> m_Numbers;
};

bool Dovlin_BoxGatherer::Pays(const Dovlin_FileManager &model, int threads)
{
    if (threads < 2 || !model.SpillFile() || model.PackedFile())
        return false;
    qint64 boxes = 0;
    for (int s = 0; s < model.GetnSignal(); ++s)
        boxes += gatheredBoxes(*model.GetSignal(s));
    return boxes >= 2 * PieceBoxes;
}

Dovlin_BoxGatherer::Dovlin_BoxGatherer(const Dovlin_FileManager &model, int threads) : m_Model(model)
{
    // Boxes still in a lane's batch are handed over here, on the writer's thread: the helpers'
    // reads then find the store settled and touch no lane.
    model.SpillFile()->Finish();
    qint64 inPiece = 0;
    m_Bounds.push_back(0);
    for (int s = 0; s < model.GetnSignal(); ++s) {
        const qint64 boxes = gatheredBoxes(*model.GetSignal(s));
        for (qint64 first = 0; first < boxes;) {
            const qint64 end = qMin(boxes, first + PieceBoxes - inPiece);
            m_Spans.push_back(Span{s, first, end});
            inPiece += end - first;
            first = end;
            if (inPiece == PieceBoxes) {
                m_Bounds.push_back(m_Spans.size());
                inPiece = 0;
            }
        }
    }
    if (m_Bounds.back() != m_Spans.size())
        m_Bounds.push_back(m_Spans.size());
    const int helpers = qMax(1, threads - 1);
    // Each helper a piece in hand, and one more ready for the writer beside the one it takes from.
    for (int i = 0; i < helpers + 2; ++i)
        m_Slots.push_back(std::make_unique<Piece>());
    for (int i = 0; i < helpers; ++i)
        m_Threads.emplace_back([this] { Work(); });
}

Dovlin_BoxGatherer::~Dovlin_BoxGatherer()
{
    {
        const std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stop = true;
    }
    m_Changed.notify_all();
    for (std::thread &thread : m_Threads)
        thread.join();
}

void Dovlin_BoxGatherer::Work()
{
    const size_t pieces = m_Bounds.size() - 1;
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Changed.wait(lock, [&] { return m_Stop || m_Next >= pieces || m_Next < m_Taken + m_Slots.size(); });
        if (m_Stop || m_Next >= pieces)
            return;
        Piece &piece = *m_Slots[m_Next % m_Slots.size()];
        piece.m_Index = m_Next++;
        lock.unlock();
        Gather(piece);
        lock.lock();
        piece.m_Ready = true;
        m_Changed.notify_all();
    }
}

void Dovlin_BoxGatherer::Gather(Piece &piece) const
{
    piece.m_Bytes.clear();
    piece.m_Ends.clear();
    piece.m_Times.clear();
    piece.m_Signals.clear();
    piece.m_Numbers.clear();
    Dovlin_SpillFile &spill = *m_Model.SpillFile();
    Dovlin_PackedBox packed;
    for (size_t i = m_Bounds[piece.m_Index]; i < m_Bounds[piece.m_Index + 1]; ++i) {
        const Span &span = m_Spans[i];
        const Dovlin_Signal &signal = *m_Model.GetSignal(span.m_Signal);
        for (qint64 b = span.m_First; b < span.m_End; ++b) {
            // Where a box lies is asked for well ahead, its bytes once that has come.
            constexpr qint64 slotsAhead = 16, bytesAhead = 8;
            signal.PrefetchPackedBox(b + slotsAhead, false);
            signal.PrefetchPackedBox(b + bytesAhead, true);
            const Dovlin_BoxRef ref = signal.BoxRefOf(b);
            if (ref.GetKind() != Dovlin_BoxRef::Spilled || !spill.ReadPacked(ref.Number(), packed))
                continue;
            piece.m_Bytes.insert(piece.m_Bytes.end(), packed.m_Bytes, packed.m_Bytes + packed.m_Size);
            piece.m_Ends.push_back(quint32(piece.m_Bytes.size()));
            piece.m_Times.push_back(packed.m_FirstTime);
            piece.m_Signals.push_back(span.m_Signal);
            piece.m_Numbers.push_back(b);
        }
    }
}

Dovlin_BoxGatherer::Piece *Dovlin_BoxGatherer::Current()
{
    if (m_Current && m_Box < m_Current->m_Ends.size())
        return m_Current;
    const size_t pieces = m_Bounds.size() - 1;
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        if (m_Current) {
            m_Current->m_Ready = false;
            m_Current = nullptr;
            ++m_Taken;
            m_Box = 0;
            m_Changed.notify_all();
        }
        if (m_Taken >= pieces)
            return nullptr;
        Piece &piece = *m_Slots[m_Taken % m_Slots.size()];
        m_Changed.wait(lock, [&] { return piece.m_Ready && piece.m_Index == m_Taken; });
        m_Current = &piece;
        if (!piece.m_Ends.empty())
            return m_Current;
    }
}

Dovlin_BoxGatherer::Run Dovlin_BoxGatherer::Take(int signal, qint64 first)
{
    Run run;
    Piece *piece = Current();
    // Boxes the writer went past without asking (it never does) are passed over.
    while (piece && (piece->m_Signals[m_Box] < signal || (piece->m_Signals[m_Box] == signal && piece->m_Numbers[m_Box] < first))) {
        ++m_Box;
        piece = Current();
    }
    if (!piece || piece->m_Signals[m_Box] != signal || piece->m_Numbers[m_Box] != first)
        return run;
    const size_t begin = m_Box;
    const size_t count = piece->m_Ends.size();
    while (m_Box < count && piece->m_Signals[m_Box] == signal && piece->m_Numbers[m_Box] == first + qint64(m_Box - begin))
        ++m_Box;
    run.m_Bytes = piece->m_Bytes.data();
    run.m_Start = begin == 0 ? 0 : piece->m_Ends[begin - 1];
    run.m_Ends = piece->m_Ends.data() + begin;
    run.m_Times = piece->m_Times.data() + begin;
    run.m_Count = qint64(m_Box - begin);
    return run;
}
