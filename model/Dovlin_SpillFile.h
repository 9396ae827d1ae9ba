#ifndef DOVLIN_SPILLFILE_H
#define DOVLIN_SPILLFILE_H

#include "Dovlin_Signals.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

struct Dovlin_PackedBox;
class Dovlin_SpillLane;

// Takes the full boxes of events while a dump is imported, so that each signal keeps only its
// last box in memory. A box is packed as it comes (times as deltas, values as offsets from the
// box's smallest, each in as few bits as the box needs; see Dovlin_BoxCodec): packed boxes stay in memory while they
// fit the memory budget, past it they go to a temporary file in blocks. The file is removed from
// its directory as soon as it is created: it goes away with its last descriptor, whatever ends
// the import.
//
// Appending packs a box while its events are still in the appending thread's cache (and each
// appending thread packs its own); the packed boxes go, a batch at a time, to a thread of the
// store's own that places them in blocks, kept or written, so that a batch carries some 25 bytes a
// box rather than 512. Each appending thread has a lane of its own, which takes its slots a batch
// at a time, so that threads appending side by side share nothing per box. Every other call waits
// for the placing thread to catch up first, and needs every lane to stand still.
class Dovlin_SpillFile
{
    struct Batch;

public:
    static constexpr qint64 m_BoxBytes = 512;
    // Packed boxes are gathered in blocks of this size, kept in memory or written in one piece.
    static constexpr qint64 m_BlockBytes = qint64(256) << 10;

    Dovlin_SpillFile();
    ~Dovlin_SpillFile();
    Dovlin_SpillFile(const Dovlin_SpillFile &) = delete;
    Dovlin_SpillFile &operator=(const Dovlin_SpillFile &) = delete;

    // Creates the file in directory; false with ErrorString when that fails. Without packOnThread
    // the packed boxes are placed on the appending thread, a batch at a time.
    bool Open(const QString &directory, bool packOnThread = true);
    // Packed bytes kept in memory before blocks go to the file; 0 sends every full block there.
    void SetMemoryBudget(qint64 bytes) { m_Budget = bytes; }
    // Appends count events (a box, or a box but its sentinel) and returns its slot; -1 when the
    // store has failed. Through the store's own lane unless one is given; one thread at a time
    // appends through a lane.
    qint64 Append(const CSignalEvent *events, int count);
    qint64 Append(Dovlin_SpillLane &lane, const CSignalEvent *events, int count);
    // A lane for another appending thread; the store owns it.
    Dovlin_SpillLane *AddLane();
    // The most bytes of boxes waiting to be packed while lanes append.
    static qint64 BytesInFlight(int lanes);
    // Reads the count events of a slot; false for a slot never handed out.
    bool Read(qint64 slot, CSignalEvent *events, int count);
    // The box of a slot as it is packed.
    bool ReadPacked(qint64 slot, Dovlin_PackedBox &packed);
    // Asks the cache for what reading a slot needs: first where the box lies (some slots ahead),
    // then its packed bytes (once where it lies has come).
    void PrefetchSlot(qint64 slot) const;
    void PrefetchBox(qint64 slot) const;
    qint64 Boxes() const;
    // Bytes on disk, and bytes that were to go there when writing failed.
    qint64 BytesWritten() const;
    // Packed bytes kept in memory.
    qint64 BytesInMemory() const;
    qint64 BytesWanted() const;
    // True once a write or a read failed: from then on the file refuses every append and read,
    // since what it holds no longer matches the slots handed out, and the import must fail. Any
    // thread may ask, without waiting.
    bool Failed() const { return m_Failed.load(std::memory_order_acquire); }
    // Waits until every box appended so far is placed (and written where it goes); false when the
    // store has failed.
    bool Finish() const
    {
        Settle();
        return !Failed();
    }
    // The write failed for want of space (not for a fault of the device).
    bool DiskFull() const;
    QString Directory() const { return m_Directory; }
    QString ErrorString() const;

private:
    struct Block
    {
        char *m_Memory = nullptr;
        // Where the block lies in the file; -1 while it is in memory.
        qint64 m_Offset = -1;
        qint64 m_Used = 0;
    };

    static constexpr size_t BatchBoxes = 4096;
    static const size_t BatchBytes;
    // Batches waiting for the placing thread, beyond one a lane.
    static constexpr size_t Batches = 2;
    // Packed boxes on their way to the blocks, one after the other; its boxes take the slots from
    // m_FirstSlot on, in order.
    struct Batch
    {
        std::unique_ptr<unsigned char[]> m_Bytes;
        std::unique_ptr<quint16[]> m_Sizes;
        size_t m_Count = 0;
        size_t m_Used = 0;
        qint64 m_FirstSlot = 0;
    };
    friend class Dovlin_SpillLane;

    // Closes the block being filled (kept, or written and its memory reused) and opens the next.
    bool NextBlock();
    char *BlockMemory();
    bool Failure(const QString &what, int error);
    static Batch NewBatch();
    // Puts a packed box of a batch in the block being filled.
    bool Place(const unsigned char *bytes, qint64 size, qint64 slot);
    void PlaceBatch(const Batch &batch);
    // Hands the lane's batch to the placing thread, or places it here without one.
    void HandOff(Dovlin_SpillLane &lane);
    void Run();
    // Returns once every box appended so far is placed.
    void Settle() const;

    // The appending threads' side: the first lane is the store's own.
    std::vector<std::unique_ptr<Dovlin_SpillLane>> m_Lanes;
    // The first slot of the next batch begun.
    std::atomic<qint64> m_NextSlot{0};
    // Boxes handed to the placing thread.
    std::atomic<qint64> m_Issued{0};
    // Placing on the appending threads takes turns.
    std::mutex m_PlaceMutex;
    // Shared with the placing thread under m_Mutex.
    mutable std::mutex m_Mutex;
    mutable std::condition_variable m_Changed;
    std::deque<Batch> m_Queue;
    std::vector<Batch> m_FreeBatches;
    size_t m_BatchesOut = 0;
    std::atomic<qint64> m_PackedBoxes{0};
    // Every box appended is placed and no lane holds any: readers need not look (cleared by the
    // first box of a batch).
    mutable std::atomic<bool> m_Settled{false};
    bool m_Stop = false;
    std::thread m_Placer;
    std::atomic<bool> m_Failed{false};

    int m_Descriptor = -1;
    QString m_Directory;
    qint64 m_Budget = 0;
    // For each slot, its block (upper 32 bits), the offset of its packed box there and its size
    // (see SlotPlace); 0 for a slot never handed out.
    std::vector<quint64> m_Slots;
    std::vector<Block> m_Blocks;
    qint64 m_InMemory = 0;
    // Mappings the block memory is carved from.
    std::vector<std::pair<void *, size_t>> m_Mappings;
    char *m_NextBlock = nullptr;
    int m_BlocksLeft = 0;
    qint64 m_Written = 0;
    qint64 m_Wanted = 0;
    bool m_DiskFull = false;
    QString m_ErrorString;
};

// One appending thread's side of a spill store: its batch of boxes.
class Dovlin_SpillLane
{
private:
    friend class Dovlin_SpillFile;
    Dovlin_SpillFile::Batch m_Batch;
};

#endif
