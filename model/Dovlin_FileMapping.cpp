#include "Dovlin_FileMapping.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reading a mapped page past the end of a file that another program has cut short raises SIGBUS.
// The handler maps a page of zeros there and marks the mapping cut, so that the window stays up
// and the document refuses to save what it no longer has.
struct MappedRange
{
    std::atomic<char *> m_Begin{nullptr};
    std::atomic<qint64> m_Size{0};
    std::atomic<bool> m_Cut{false};
};

constexpr int MaxMappedRanges = 1024;
MappedRange mappedRanges[MaxMappedRanges];
std::mutex mappedRangesMutex;
struct sigaction previousBusAction;
uintptr_t pageSize = 4096;

void onBusError(int, siginfo_t *info, void *)
{
    char *address = static_cast<char *>(info->si_addr);
    for (MappedRange &range : mappedRanges) {
        char *begin = range.m_Begin.load();
        if (!begin || address < begin || address >= begin + range.m_Size.load())
            continue;
        void *page = reinterpret_cast<void *>(reinterpret_cast<uintptr_t>(address) & ~(pageSize - 1));
        if (mmap(page, pageSize, PROT_READ, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) == MAP_FAILED)
            break;
        range.m_Cut.store(true);
        return;
    }
    // Not a mapping of ours: the faulting access runs again under the handler there was before.
    sigaction(SIGBUS, &previousBusAction, nullptr);
}

int registerMapping(char *data, qint64 size)
{
    static const bool installed = [] {
        pageSize = uintptr_t(sysconf(_SC_PAGESIZE));
        struct sigaction action = {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        return sigaction(SIGBUS, &action, &previousBusAction) == 0;
    }();
    if (!installed)
        return -1;
    const std::lock_guard<std::mutex> lock(mappedRangesMutex);
    for (int slot = 0; slot < MaxMappedRanges; ++slot) {
        MappedRange &range = mappedRanges[slot];
        if (range.m_Begin.load())
            continue;
        range.m_Size.store(size);
        range.m_Cut.store(false);
        range.m_Begin.store(data);
        return slot;
    }
    return -1;
}

} // namespace

Dovlin_FileMapping::~Dovlin_FileMapping()
{
    if (m_Slot >= 0) {
        const std::lock_guard<std::mutex> lock(mappedRangesMutex);
        mappedRanges[m_Slot].m_Begin.store(nullptr);
    }
    if (m_Data)
        munmap(m_Data, size_t(m_Size));
    if (m_Descriptor >= 0)
        ::close(m_Descriptor);
}

namespace {
qint64 modifiedAt(const struct stat &status)
{
    return qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}
}

bool Dovlin_FileMapping::Map(int descriptor, qint64 size)
{
    struct stat status;
    if (size <= 0 || fstat(descriptor, &status) != 0 || status.st_size != size)
        return false;
    m_Descriptor = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (m_Descriptor < 0)
        return false;
    m_Modified = modifiedAt(status);
    void *data = mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, descriptor, 0);
    if (data == MAP_FAILED)
        return false;
    m_Data = static_cast<char *>(data);
    m_Size = size;
    m_Slot = registerMapping(m_Data, m_Size);
    return true;
}

bool Dovlin_FileMapping::Cut() const
{
    return m_Slot >= 0 && mappedRanges[m_Slot].m_Cut.load();
}

bool Dovlin_FileMapping::Intact() const
{
    struct stat status;
    return !Cut() && fstat(m_Descriptor, &status) == 0 && status.st_size == m_Size && modifiedAt(status) == m_Modified;
}
