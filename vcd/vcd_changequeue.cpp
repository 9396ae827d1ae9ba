#include "vcd_changequeue.h"

#include <system_error>

vcd_changequeue::vcd_changequeue(Apply apply, bool threaded)
    : m_Apply(std::move(apply)), m_WantThread(threaded)
{
}

vcd_changequeue::~vcd_changequeue()
{
    if (!m_Threaded)
        return;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stop = true;
    }
    m_Changed.notify_all();
    m_Thread.join();
}

void vcd_changequeue::Start()
{
    m_Started = true;
    for (int i = 0; i < Blocks; ++i) {
        m_Storage.push_back(std::make_unique<char[]>(BlockBytes));
        m_Free.push_back(m_Storage.back().get());
    }
    try {
        if (m_WantThread) {
            m_Thread = std::thread(&vcd_changequeue::Run, this);
            m_Threaded = true;
        }
    } catch (const std::system_error &) {
        m_Threaded = false;
    }
}

char *vcd_changequeue::ReserveSlow(size_t bytes)
{
    if (bytes > BlockBytes)
        return nullptr;
    if (!m_Started)
        Start();
    if (m_Fill)
        HandOff();
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait(lock, [this] { return !m_Free.empty(); });
    m_Fill = m_Free.back();
    m_Free.pop_back();
    m_Used = 0;
    return m_Fill;
}

void vcd_changequeue::HandOff()
{
    char *block = m_Fill;
    const size_t used = m_Used;
    m_Fill = nullptr;
    m_Used = 0;
    if (!m_Threaded) {
        m_Apply(block, used);
        m_Free.push_back(block);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Full.push_back({block, used, nullptr});
    }
    m_Changed.notify_all();
}

void vcd_changequeue::Submit(const char *data, size_t size, std::shared_ptr<const void> keep)
{
    if (!m_Started)
        Start();
    if (m_Fill)
        HandOff();
    if (!m_Threaded) {
        m_Apply(data, size);
        return;
    }
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Changed.wait(lock, [this] { return m_Full.size() < size_t(Blocks); });
        m_Full.push_back({data, size, std::move(keep)});
    }
    m_Changed.notify_all();
}

void vcd_changequeue::Drain()
{
    if (m_Fill)
        HandOff();
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait(lock, [this] { return m_Full.empty() && !m_Busy; });
}

void vcd_changequeue::Run()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Changed.wait(lock, [this] { return m_Stop || !m_Full.empty(); });
        if (m_Stop)
            return;
        Full block = std::move(m_Full.front());
        m_Full.pop_front();
        m_Busy = true;
        lock.unlock();
        m_Apply(block.m_Data, block.m_Size);
        const bool own = !block.m_Keep;
        block.m_Keep.reset();
        lock.lock();
        m_Busy = false;
        if (own)
            m_Free.push_back(const_cast<char *>(block.m_Data));
        m_Changed.notify_all();
    }
}
