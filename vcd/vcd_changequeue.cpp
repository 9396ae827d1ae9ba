#include "vcd_changequeue.h"

#include <system_error>

vcd_changequeue::vcd_changequeue(Apply apply)
    : m_Apply(std::move(apply))
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

char *vcd_changequeue::ReserveSlow(size_t bytes)
{
    if (bytes > BlockBytes)
        return nullptr;
    if (!m_Started) {
        m_Started = true;
        for (int i = 0; i < Blocks; ++i) {
            m_Storage.push_back(std::make_unique<char[]>(BlockBytes));
            m_Free.push_back(m_Storage.back().get());
        }
        try {
            m_Thread = std::thread(&vcd_changequeue::Run, this);
            m_Threaded = true;
        } catch (const std::system_error &) {
            m_Threaded = false;
        }
    }
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
        m_Full.emplace_back(block, used);
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
        const std::pair<char *, size_t> block = m_Full.front();
        m_Full.pop_front();
        m_Busy = true;
        lock.unlock();
        m_Apply(block.first, block.second);
        lock.lock();
        m_Busy = false;
        m_Free.push_back(block.first);
        m_Changed.notify_all();
    }
}
