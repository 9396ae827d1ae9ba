#include "Dovlin_FileManager.h"

#include "Dovlin_FileIo.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"
#include "Dovlin_SpillFile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Smallest record of a node: code, name length, level, shown, digital and one more int32.
constexpr qint64 MinHierarchyRecord = 6 * 4;
// Every signal has a type code and, later, the two int32 of its event block header.
constexpr qint64 MinSignalBytes = 3 * 4;
constexpr qint64 EventHeaderBytes = 2 * 4;

} // namespace

Dovlin_WaveReader::Dovlin_WaveReader(QIODevice &device)
    : m_Device(device), m_Offset(device.pos()), m_Left(qMax<qint64>(0, device.size() - device.pos()))
{
}

bool Dovlin_WaveReader::Read(void *data, qint64 size)
{
    if (size > m_Left)
        return false;
    char *out = static_cast<char *>(data);
    for (qint64 done = 0; done < size;) {
        const qint64 got = m_Device.read(out + done, size - done);
        if (got <= 0) {
            const QString reason = got < 0 ? m_Device.errorString() : QStringLiteral("unexpected end of file");
            return Fail(QStringLiteral("read error at offset %1: %2").arg(m_Offset + done).arg(reason));
        }
        done += got;
    }
    m_Offset += size;
    m_Left -= size;
    return true;
}

bool Dovlin_WaveReader::Skip(qint64 size)
{
    if (size < 0 || size > m_Left || !m_Device.seek(m_Device.pos() + size))
        return false;
    m_Offset += size;
    m_Left -= size;
    return true;
}

bool Dovlin_WaveReader::ReadInt32(qint32 &value)
{
    char bytes[4];
    if (!Read(bytes, sizeof(bytes)))
        return false;
    value = qFromLittleEndian<qint32>(bytes);
    return true;
}

bool Dovlin_WaveReader::Fail(const QString &reason)
{
    if (m_ErrorString.isEmpty())
        m_ErrorString = reason;
    return false;
}

bool Dovlin_WaveReader::Truncated(const QString &what)
{
    return Fail(QStringLiteral("truncated %1 at offset %2").arg(what).arg(m_Offset));
}

bool Dovlin_WaveWriter::Write(const void *data, qint64 size)
{
    if (m_Failed)
        return false;
    // Large pieces (runs of events) go straight to the device rather than through the buffer.
    if ((qint64(m_Buffer.size()) + size > BufferBytes || size >= DirectBytes) && !m_Buffer.isEmpty() && !Flush())
        return false;
    if (size >= DirectBytes)
        return Put(data, size);
    m_Buffer.append(static_cast<const char *>(data), size);
    return true;
}

bool Dovlin_WaveWriter::Flush()
{
    if (m_Failed)
        return false;
    const bool written = Put(m_Buffer.constData(), m_Buffer.size());
    m_Buffer.clear();
    return written;
}

bool Dovlin_WaveWriter::Put(const void *data, qint64 size)
{
    if (m_Device.write(static_cast<const char *>(data), size) == size)
        return true;
    m_Failed = true;
    return false;
}

bool Dovlin_WaveWriter::WriteInt32(qint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    return Write(bytes, sizeof(bytes));
}

bool Dovlin_WaveWriter::Fail(const QString &reason)
{
    if (!m_Failed)
        m_Reason = reason;
    m_Failed = true;
    return false;
}

QString Dovlin_WaveWriter::ErrorString() const
{
    if (!m_Reason.isEmpty())
        return m_Reason;
    return QStringLiteral("cannot write: %1").arg(m_Device.errorString());
}

Dovlin_FileManager::Dovlin_FileManager() = default;

void Dovlin_FileManager::TakePlaceOf(std::unique_ptr<Dovlin_Hierarchy> &old,
                                     std::unique_ptr<Dovlin_Hierarchy> replacement)
{
    replacement->m_ParentIndex = old->m_ParentIndex;
    replacement->ModifyLevels(old->m_Level);
    replacement->m_Shown = old->m_Shown;
    replacement->m_Digital = old->m_Digital;
    replacement->m_Radix = old->m_Radix;
    old = std::move(replacement);
    StructureChanged();
}

CSignalEvent *Dovlin_FileManager::TakeFirstBox()
{
    constexpr qint64 boxesPerBlock = 4096;
    if (m_FirstBoxesLeft == 0) {
        // An arena asks for huge pages: faulting in a block 4 KB at a time costs more than filling it.
        constexpr qint64 events = boxesPerBlock * Dovlin_Signal::m_BoxSize;
        m_FirstBoxBlocks.push_back(std::make_unique<Dovlin_EventArena>(events));
        m_NextFirstBox = m_FirstBoxBlocks.back()->Take(events);
        if (!m_NextFirstBox)
            throw std::bad_alloc();
        std::fill_n(m_NextFirstBox, events, CSignalEvent());
        m_FirstBoxesLeft = boxesPerBlock;
    }
    CSignalEvent *box = m_NextFirstBox;
    m_NextFirstBox += Dovlin_Signal::m_BoxSize;
    --m_FirstBoxesLeft;
    return box;
}

bool Dovlin_FileManager::EnableSpill(const QString &directory)
{
    auto spill = std::make_unique<Dovlin_SpillFile>();
    if (!spill->Open(directory)) {
        m_ErrorString = spill->ErrorString();
        return false;
    }
    spill->SetMemoryBudget(m_MemoryBudget);
    m_SpillFile = std::move(spill);
    return true;
}

void Dovlin_FileManager::SetMemoryBudget(qint64 bytes)
{
    m_MemoryBudget = qMax<qint64>(0, bytes);
    if (m_SpillFile)
        m_SpillFile->SetMemoryBudget(m_MemoryBudget);
}

// The event arena goes after the signals whose boxes point into it.
Dovlin_FileManager::~Dovlin_FileManager()
{
    m_Signals.clear();
    m_Hierarchies.clear();
}

Dovlin_Signal *Dovlin_FileManager::GetSignal(int index) const
{
    return index >= 0 && index < GetnSignal() ? m_Signals[size_t(index)].get() : nullptr;
}

Dovlin_Hierarchy *Dovlin_FileManager::GetHierarchy(int index) const
{
    return index >= 0 && index < GetnHierarchy() ? m_Hierarchies[size_t(index)].get() : nullptr;
}

qint64 Dovlin_FileManager::FindEndTime()
{
    m_EndTime = -1;
    for (const auto &signal : m_Signals)
        m_EndTime = qMax(m_EndTime, signal->GetLastTime());
    return m_EndTime;
}

bool Dovlin_FileManager::Fail(const QString &reason)
{
    m_ErrorString = reason;
    return false;
}

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

bool Dovlin_FileManager::FileIntact() const
{
    return !m_Mapping || m_Mapping->Intact();
}

bool Dovlin_FileManager::Load(const QString &path)
{
    m_ErrorString.clear();
    m_FileName = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot open: %1").arg(file.errorString()));
    // A file that cannot be mapped (a pipe, say) is read the ordinary way.
    auto mapping = std::make_unique<Dovlin_FileMapping>();
    if (!mapping->Map(file.handle(), file.size()))
        return LoadAll(&file);
    file.close();
    // The model keeps pointers into the mapping: the file may be replaced on disk (saving renames
    // a new file into place), the mapped bytes stay those of the file that was opened.
    QBuffer bytes;
    bytes.setData(QByteArray::fromRawData(mapping->Data(), qsizetype(mapping->Size())));
    bytes.open(QIODevice::ReadOnly);
    m_LoadBase = mapping->Data();
    bool loaded = LoadAll(&bytes);
    m_LoadBase = nullptr;
    if (loaded && mapping->Cut())
        loaded = Fail(QStringLiteral("the file was cut short by another program while it was read"));
    if (loaded)
        m_Mapping = std::move(mapping);
    return loaded;
}

bool Dovlin_FileManager::LoadAll(QIODevice *device)
{
    return LoadHeader(device) && LoadSignalEvents(device);
}

bool Dovlin_FileManager::LoadHeader(QIODevice *device)
{
    m_ErrorString.clear();
    if (!device || !device->isReadable())
        return Fail(QStringLiteral("cannot read: the file is not open for reading"));
    if (GetnSignal() != 0 || GetnHierarchy() != 0)
        return Fail(QStringLiteral("cannot load into a model that already holds signals or nodes"));
    Dovlin_WaveReader reader(*device);
    reader.SetMapped(m_LoadBase);
    StructureChanged();
    if (!ReadHeader(reader))
        return Fail(reader.ErrorString());
    return true;
}

bool Dovlin_FileManager::LoadSignalEvents(QIODevice *device)
{
    m_ErrorString.clear();
    if (!device || !device->isReadable())
        return Fail(QStringLiteral("cannot read: the file is not open for reading"));
    Dovlin_WaveReader reader(*device);
    reader.SetMapped(m_LoadBase);
    if (!ReadSignalEvents(reader))
        return Fail(reader.ErrorString());
    return true;
}

Dovlin_Signal *Dovlin_FileManager::AddSignalOfType(int typeCode)
{
    switch (typeCode) {
    case Dovlin_TypeCode::Integer:
        return &AddSignal<Dovlin_IntSignal>();
    case Dovlin_TypeCode::Real:
        return &AddSignal<Dovlin_RealSignal>();
    case Dovlin_TypeCode::Bit:
        return &AddSignal<Dovlin_StateSignalT<Dovlin_BitType>>();
    case Dovlin_TypeCode::Verilog:
        return &AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
    case Dovlin_TypeCode::StdLogic:
        return &AddSignal<Dovlin_StateSignalT<Dovlin_StdLogicType>>();
    case Dovlin_TypeCode::Event:
        return &AddSignal<Dovlin_EventSignal>();
    default:
        return nullptr;
    }
}

Dovlin_Hierarchy *Dovlin_FileManager::AddNodeOfCode(int hierarchyCode)
{
    switch (hierarchyCode) {
    case Dovlin_HierarchyCode::Scalar:
        return &AddNode<Dovlin_ScalarHierarchy>();
    case Dovlin_HierarchyCode::Composite:
        return &AddNode<Dovlin_CompositeHierarchy>();
    default:
        return nullptr;
    }
}

bool Dovlin_FileManager::ReadHeader(Dovlin_WaveReader &reader)
{
    qint32 timeBase = 0;
    if (!reader.ReadInt32(timeBase))
        return reader.Truncated(QStringLiteral("time base"));
    m_TimeBase = timeBase;

    qint64 at = reader.Offset();
    qint32 nSignal = 0;
    if (!reader.ReadInt32(nSignal))
        return reader.Truncated(QStringLiteral("signal count"));
    if (nSignal < 0)
        return reader.Fail(QStringLiteral("negative signal count %1 at offset %2").arg(nSignal).arg(at));
    if (nSignal * MinSignalBytes > reader.BytesLeft())
        return reader.Fail(QStringLiteral("signal count %1 at offset %2 does not fit in the %3 bytes left").arg(nSignal).arg(at).arg(reader.BytesLeft()));
    m_Signals.reserve(nSignal);
    for (int i = 0; i < nSignal; ++i) {
        at = reader.Offset();
        qint32 typeCode = 0;
        if (!reader.ReadInt32(typeCode))
            return reader.Truncated(QStringLiteral("type code of signal %1").arg(i));
        Dovlin_Signal *signal = AddSignalOfType(typeCode);
        if (!signal)
            return reader.Fail(QStringLiteral("unknown type code %1 at offset %2").arg(typeCode).arg(at));
        if (!signal->LoadHeader(reader))
            return false;
    }

    at = reader.Offset();
    qint32 nHierarchy = 0;
    if (!reader.ReadInt32(nHierarchy))
        return reader.Truncated(QStringLiteral("hierarchy count"));
    if (nHierarchy < 0)
        return reader.Fail(QStringLiteral("negative hierarchy count %1 at offset %2").arg(nHierarchy).arg(at));
    if (nHierarchy * MinHierarchyRecord + nSignal * EventHeaderBytes > reader.BytesLeft())
        return reader.Fail(QStringLiteral("hierarchy count %1 at offset %2 does not fit in the %3 bytes left").arg(nHierarchy).arg(at).arg(reader.BytesLeft()));
    m_Hierarchies.reserve(nHierarchy);
    for (int i = 0; i < nHierarchy; ++i) {
        if (!ReadHierarchy(reader, i))
            return false;
    }
    return LinkHierarchies(reader);
}

bool Dovlin_FileManager::ReadHierarchy(Dovlin_WaveReader &reader, int index)
{
    const QString record = QStringLiteral("record of node %1").arg(index);
    qint64 at = reader.Offset();
    qint32 code = 0;
    if (!reader.ReadInt32(code))
        return reader.Truncated(record);
    Dovlin_Hierarchy *node = AddNodeOfCode(code);
    if (!node)
        return reader.Fail(QStringLiteral("unknown hierarchy code %1 at offset %2").arg(code).arg(at));

    at = reader.Offset();
    qint32 length = 0;
    if (!reader.ReadInt32(length))
        return reader.Truncated(record);
    if (length < 0)
        return reader.Fail(QStringLiteral("negative name length %1 of node %2 at offset %3").arg(length).arg(index).arg(at));
    if (length > reader.BytesLeft())
        return reader.Fail(QStringLiteral("name length %1 of node %2 at offset %3 does not fit in the %4 bytes left").arg(length).arg(index).arg(at).arg(reader.BytesLeft()));
    QByteArray name(length, Qt::Uninitialized);
    if (!reader.Read(name.data(), length))
        return reader.Truncated(record);
    // A name ends at its first zero byte.
    const qsizetype end = name.indexOf('\0');
    node->SetName(QString::fromLatin1(name.constData(), end < 0 ? name.size() : end));
    return node->LoadHeader(reader);
}

// Checks the links between the nodes read: every child index in range, at most one parent per
// node, no cycle, no deeper nesting than the tree code can walk, and every stored level the
// node's depth under its parents. Records the parents.
bool Dovlin_FileManager::LinkHierarchies(Dovlin_WaveReader &reader)
{
    std::vector<int> parent(GetnHierarchy(), -1);
    for (int i = 0; i < GetnHierarchy(); ++i) {
        const Dovlin_Hierarchy *node = m_Hierarchies.at(i).get();
        if (node->m_Level < 0 || node->m_Level >= GetnHierarchy())
            return reader.Fail(QStringLiteral("level %1 of node %2 out of range").arg(node->m_Level).arg(i));
        if (node->GetHierarchyCode() != Dovlin_HierarchyCode::Composite)
            continue;
        for (int child : static_cast<const Dovlin_CompositeHierarchy *>(node)->m_Children) {
            if (child < 0 || child >= GetnHierarchy())
                return reader.Fail(QStringLiteral("child index %1 of node %2 out of range").arg(child).arg(i));
            if (child == i)
                return reader.Fail(QStringLiteral("child index %1 of node %2 points to the node itself").arg(child).arg(i));
            if (parent[child] != -1)
                return reader.Fail(QStringLiteral("node %1 is listed as a child of node %2 and of node %3")
                                       .arg(child).arg(parent[child]).arg(i));
            parent[child] = i;
        }
    }

    // With one parent at most, a node not reached from a root lies on or below a cycle.
    std::vector<int> depth(GetnHierarchy(), -1);
    std::vector<int> pending;
    for (int i = 0; i < GetnHierarchy(); ++i) {
        if (parent[i] == -1) {
            depth[i] = 0;
            pending.push_back(i);
        }
    }
    while (!pending.empty()) {
        const int i = pending.back();
        pending.pop_back();
        if (depth[i] >= Dovlin_Hierarchy::m_MaxDepth)
            return reader.Fail(QStringLiteral("node %1 is nested deeper than %2 levels").arg(i).arg(Dovlin_Hierarchy::m_MaxDepth));
        const Dovlin_Hierarchy *node = m_Hierarchies.at(i).get();
        if (node->GetHierarchyCode() != Dovlin_HierarchyCode::Composite)
            continue;
        for (int child : static_cast<const Dovlin_CompositeHierarchy *>(node)->m_Children) {
            depth[child] = depth[i] + 1;
            pending.push_back(child);
        }
    }
    for (int i = 0; i < GetnHierarchy(); ++i) {
        if (depth[i] != -1)
            continue;
        // Walk up from the unreached node until a node repeats: that node is on the cycle.
        std::vector<bool> seen(GetnHierarchy(), false);
        int node = i;
        while (!seen[node]) {
            seen[node] = true;
            node = parent[node];
        }
        return reader.Fail(QStringLiteral("child index %1 of node %2 points to its own ancestor").arg(node).arg(parent[node]));
    }

    // The tree is drawn from the levels: a level that disagrees with the links would show a
    // node twice, once as a root.
    for (int i = 0; i < GetnHierarchy(); ++i) {
        if (m_Hierarchies.at(i)->m_Level != depth[i])
            return reader.Fail(QStringLiteral("node %1 stores level %2 but lies at level %3 under its parents")
                                   .arg(i).arg(m_Hierarchies.at(i)->m_Level).arg(depth[i]));
    }

    for (int i = 0; i < GetnHierarchy(); ++i)
        m_Hierarchies.at(i)->m_ParentIndex = parent[i];
    return true;
}

bool Dovlin_FileManager::ReadSignalEvents(Dovlin_WaveReader &reader)
{
    if (m_EventArena || m_Mapping)
        return reader.Fail(QStringLiteral("the events are already loaded"));
    // Mapped events stay where they are; others go to one arena, as big as a well-formed event
    // section (block headers and whole boxes up to the end of the file) needs.
    if (!reader.MappedAt()) {
        const qint64 eventBytes = reader.BytesLeft() - GetnSignal() * EventHeaderBytes;
        m_EventArena = std::make_unique<Dovlin_EventArena>(eventBytes / qint64(sizeof(CSignalEvent)));
        if (!m_EventArena->IsValid())
            return reader.Fail(QStringLiteral("out of memory for %1 bytes of events").arg(eventBytes));
    }
    m_EndTime = -1;
    for (const auto &signal : m_Signals) {
        if (!signal->LoadSignalEvents(reader, m_EventArena.get()))
            return false;
        m_EndTime = qMax(m_EndTime, signal->GetLastTime());
    }
    if (reader.BytesLeft() != 0)
        return reader.Fail(QStringLiteral("%1 trailing bytes after the last event block at offset %2")
                               .arg(reader.BytesLeft()).arg(reader.Offset()));
    return true;
}

QString Dovlin_FileManager::FileLost() const
{
    return QStringLiteral("%1 was cut short or written by another program while it was open: its events can no "
                          "longer be read; open it again")
        .arg(QDir::toNativeSeparators(m_FileName));
}

bool Dovlin_FileManager::Save(const QString &path, qint64 lastTime)
{
    m_ErrorString.clear();
    if (!FileIntact())
        return Fail(FileLost());
    // A file that cannot fit is refused before a byte is written: it would only fill the disk.
    const qint64 needed = WaveFileBytes(lastTime);
    const QString directory = QFileInfo(path).absolutePath();
    const qint64 free = Dovlin_FileIo::Current().FreeBytes(directory);
    if (free >= 0 && free < needed)
        return Fail(QStringLiteral("not enough space in %1 for %2: it needs %3 MB, %4 MB are free")
                        .arg(QDir::toNativeSeparators(directory), QFileInfo(path).fileName())
                        .arg((needed + (1 << 20) - 1) >> 20)
                        .arg(free >> 20));
    Dovlin_ReplacingFile file(path);
    if (!file.Open())
        return Fail(file.errorString());
    file.SetExpectedSize(needed);
    if (!SaveHeader(&file) || !SaveSignalEvents(&file, lastTime))
        return false;
    if (!file.Commit())
        return Fail(file.errorString());
    return true;
}

void Dovlin_FileManager::VisitDottedPaths(const std::function<void(Dovlin_Hierarchy *, const QString &)> &visit) const
{
    std::vector<std::pair<Dovlin_Hierarchy *, QString>> stack;
    for (int i = GetnHierarchy() - 1; i >= 0; --i) {
        Dovlin_Hierarchy *node = m_Hierarchies.at(i).get();
        if (node->GetParentIndex() == -1)
            stack.emplace_back(node, node->GetName());
    }
    while (!stack.empty()) {
        auto [node, path] = std::move(stack.back());
        stack.pop_back();
        visit(node, path);
        if (node->GetHierarchyCode() != Dovlin_HierarchyCode::Composite)
            continue;
        const auto *composite = static_cast<const Dovlin_CompositeHierarchy *>(node);
        for (int i = composite->GetnChild() - 1; i >= 0; --i)
            if (Dovlin_Hierarchy *child = composite->GetHierarchy(i))
                stack.emplace_back(child, path + QLatin1Char('.') + child->GetName());
    }
}

int Dovlin_FileManager::CarryOverViewState(const Dovlin_FileManager &from)
{
    QHash<QString, QList<Dovlin_Hierarchy *>> oldNodes;
    int unmatched = 0;
    from.VisitDottedPaths([&](Dovlin_Hierarchy *node, const QString &path) {
        oldNodes[path].append(node);
        ++unmatched;
    });
    VisitDottedPaths([&](Dovlin_Hierarchy *node, const QString &path) {
        const auto found = oldNodes.find(path);
        if (found == oldNodes.end() || found->isEmpty())
            return;
        const Dovlin_Hierarchy *old = found->takeFirst();
        --unmatched;
        node->m_Shown = old->m_Shown;
        node->m_Digital = old->m_Digital;
        node->m_Radix = old->m_Radix;
        if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite &&
            old->GetHierarchyCode() == Dovlin_HierarchyCode::Composite)
            static_cast<Dovlin_CompositeHierarchy *>(node)->m_Expanded =
                static_cast<const Dovlin_CompositeHierarchy *>(old)->m_Expanded;
    });
    return unmatched;
}

qint64 Dovlin_FileManager::WaveFileBytes(qint64 lastTime) const
{
    qint64 bytes = 12 + 4 * qint64(GetnSignal());
    for (const auto &node : m_Hierarchies) {
        bytes += 20 + node->GetName().size() + 4;
        if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite)
            bytes += 4 + 4 * qint64(static_cast<const Dovlin_CompositeHierarchy *>(node.get())->m_Children.size());
    }
    for (const auto &signal : m_Signals) {
        // A closing copy of the last value may open one more box.
        const qint64 events = signal->HasEvent() ? signal->GetnEvent() + (lastTime != -1 ? 1 : 0) : 0;
        bytes += 8 + (events + Dovlin_Signal::m_BoxSize - 1) / Dovlin_Signal::m_BoxSize * Dovlin_Signal::m_BoxSize
                         * qint64(sizeof(CSignalEvent));
    }
    return bytes;
}

bool Dovlin_FileManager::SaveAll(QIODevice *device)
{
    return SaveHeader(device) && SaveSignalEvents(device, -1);
}

bool Dovlin_FileManager::SaveHeader(QIODevice *device)
{
    m_ErrorString.clear();
    if (!device || !device->isWritable())
        return Fail(QStringLiteral("cannot write: the file is not open for writing"));
    Dovlin_WaveWriter writer(*device);
    if (!WriteHeader(writer) || !writer.Flush())
        return Fail(writer.ErrorString());
    return true;
}

bool Dovlin_FileManager::SaveSignalEvents(QIODevice *device, qint64 lastTime)
{
    m_ErrorString.clear();
    if (!device || !device->isWritable())
        return Fail(QStringLiteral("cannot write: the file is not open for writing"));
    if (m_SpillFile && m_SpillFile->Failed())
        return Fail(m_SpillFile->ErrorString());
    Dovlin_WaveWriter writer(*device);
    if (!WriteSignalEvents(writer, lastTime) || !writer.Flush())
        return Fail(writer.ErrorString());
    if (!FileIntact())
        return Fail(FileLost());
    return true;
}

bool Dovlin_FileManager::WriteHeader(Dovlin_WaveWriter &writer)
{
    if (!writer.WriteInt32(m_TimeBase) || !writer.WriteInt32(GetnSignal()))
        return false;
    for (const auto &signal : m_Signals) {
        if (!writer.WriteInt32(signal->GetTypeCode()) || !signal->SaveHeader(writer))
            return false;
    }
    if (!writer.WriteInt32(GetnHierarchy()))
        return false;
    for (const auto &node : m_Hierarchies) {
        const QByteArray name = node->GetName().toLatin1();
        if (!writer.WriteInt32(node->GetHierarchyCode()) || !writer.WriteInt32(qint32(name.size()))
            || !writer.Write(name.constData(), name.size()) || !node->SaveHeader(writer))
            return false;
    }
    return true;
}

bool Dovlin_FileManager::WriteSignalEvents(Dovlin_WaveWriter &writer, qint64 lastTime)
{
    qint64 written = 0;
    for (const auto &signal : m_Signals) {
        if (!signal->SaveSignalEvents(writer, lastTime))
            return false;
        if (m_WriteProgress && !m_WriteProgress(++written, m_Signals.size()))
            return writer.Fail(QStringLiteral("cancelled"));
    }
    return true;
}
