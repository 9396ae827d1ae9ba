// Hands blocks of recorded value changes from the parser to a thread that stores them as events,
// so that scanning the text and storing its changes run side by side; the parser may hand over
// records that others made too (the chunks' workers).
#ifndef VCD_CHANGEQUEUE_H
#define VCD_CHANGEQUEUE_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class vcd_changequeue
{
public:
    static constexpr size_t BlockBytes = size_t(1) << 19;
    static constexpr int Blocks = 4;
    // Stores the changes recorded in one block; it runs on the storing thread.
    using Apply = std::function<void(const char *data, size_t size)>;

    // Without threaded, each block is stored on the parser's thread as it fills.
    vcd_changequeue(Apply apply, bool threaded);
    // Stops the storing thread; what is still queued is dropped.
    ~vcd_changequeue();
    vcd_changequeue(const vcd_changequeue &) = delete;
    vcd_changequeue &operator=(const vcd_changequeue &) = delete;

    // Room for bytes (at most BlockBytes) after the changes recorded so far; Commit keeps what
    // was written there.
    char *Reserve(size_t bytes)
    {
        if (m_Fill && m_Used + bytes <= BlockBytes)
            return m_Fill + m_Used;
        return ReserveSlow(bytes);
    }
    void Commit(size_t bytes) { m_Used += bytes; }
    // Room for bytes in the block being filled, null when it lacks the room (nothing is handed off).
    char *ReserveInBlock(size_t bytes) const
    {
        return m_Fill && m_Used + bytes <= BlockBytes ? m_Fill + m_Used : nullptr;
    }
    // Queues size bytes of records made elsewhere after the changes recorded so far; keep holds
    // them until they are stored. Waits while the storing thread has several blocks to store.
    void Submit(const char *data, size_t size, std::shared_ptr<const void> keep);
    // Returns once every change recorded so far is stored; until the next Reserve, the storing
    // thread touches nothing.
    void Drain();

private:
    // Makes the blocks and starts the thread.
    void Start();
    char *ReserveSlow(size_t bytes);
    void HandOff();
    void Run();

    Apply m_Apply;
    std::vector<std::unique_ptr<char[]>> m_Storage;
    char *m_Fill = nullptr;
    size_t m_Used = 0;
    // Without a thread of its own (none asked for, or it could not be started) a block is stored
    // when handed off.
    bool m_WantThread;
    bool m_Threaded = false;
    bool m_Started = false;

    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::vector<char *> m_Free;
    // Blocks to store: the queue's own (keep empty), or records made elsewhere.
    struct Full
    {
        const char *m_Data;
        size_t m_Size;
        std::shared_ptr<const void> m_Keep;
    };
    std::deque<Full> m_Full;
    bool m_Busy = false;
    bool m_Stop = false;
    std::thread m_Thread;
};

#endif
