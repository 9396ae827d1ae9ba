#include "Dovlin_FileManager.h"

#include "Dovlin_FileIo.h"
#include "Dovlin_FileMapping.h"
#include "Dovlin_Format1Reader.h"
#include "Dovlin_Format1Writer.h"
#include "Dovlin_Format2.h"
#include "Dovlin_Format2Reader.h"
#include "Dovlin_Format2Writer.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_PackedBoxes.h"
#include "Dovlin_Signals.h"
#include "Dovlin_SpillFile.h"
#include "Dovlin_Utilities.h"
#include "Dovlin_WaveIo.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

Dovlin_FileManager::Dovlin_FileManager() = default;

void Dovlin_FileManager::TakePlaceOf(std::unique_ptr<Dovlin_Hierarchy> &old,
                                     std::unique_ptr<Dovlin_Hierarchy> replacement)
{
    replacement->m_ParentIndex = old->m_ParentIndex;
    replacement->ModifyLevels(old->m_Level);
    replacement->m_Shown = old->m_Shown;
    replacement->m_Digital = old->m_Digital;
    replacement->m_Radix = old->m_Radix;
    replacement->m_EnumTable = old->m_EnumTable;
    old = std::move(replacement);
    StructureChanged();
}

CSignalEvent *Dovlin_FileManager::TakeFirstBox()
{
    constexpr qint64 boxesPerBlock = 4096;
    const std::lock_guard<std::mutex> lock(m_FirstBoxMutex);
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

bool Dovlin_FileManager::EnableSpill(const QString &directory, bool packOnThread)
{
    auto spill = std::make_unique<Dovlin_SpillFile>();
    if (!spill->Open(directory, packOnThread)) {
        m_ErrorString = spill->ErrorString();
        return false;
    }
    spill->SetMemoryBudget(m_MemoryBudget);
    m_SpillFile = std::move(spill);
    // Spilled boxes are read back one after the other: a few stay unpacked.
    m_BoxCache = std::make_unique<Dovlin_BoxCache>(256);
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
    m_EndTimeSet = true;
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

bool Dovlin_FileManager::FileIntact() const
{
    return !m_Mapping || m_Mapping->Intact();
}

void Dovlin_FileManager::KeepMapping(std::unique_ptr<Dovlin_FileMapping> mapping)
{
    m_Mapping = std::move(mapping);
}

void Dovlin_FileManager::KeepEventArena(std::unique_ptr<Dovlin_EventArena> arena)
{
    m_EventArena = std::move(arena);
}

void Dovlin_FileManager::SetPackedFile(std::unique_ptr<Dovlin_PackedFile> file)
{
    m_PackedFile = std::move(file);
    m_BoxCache = std::make_unique<Dovlin_BoxCache>(ViewerCacheBoxes);
}

QByteArrayView Dovlin_FileManager::GetStringUtf8(qint64 index) const
{
    const qint64 start = index == 0 ? 0 : m_StringEnds[size_t(index - 1)];
    return QByteArrayView(m_StringBytes.data() + start, m_StringEnds[size_t(index)] - start);
}

QString Dovlin_FileManager::GetString(qint64 index) const
{
    return index >= 0 && index < GetnString() ? Utf8Text(GetStringUtf8(index)) : QString();
}

size_t Dovlin_FileManager::StringSlot(QByteArrayView bytes) const
{
    const size_t mask = m_StringSlots.size() - 1;
    size_t slot = qHash(bytes) & mask;
    while (m_StringSlots[slot] >= 0 && GetStringUtf8(m_StringSlots[slot]) != bytes)
        slot = (slot + 1) & mask;
    return slot;
}

qint64 Dovlin_FileManager::AddString(const QString &text)
{
    // At most half the slots are taken, so that a search ends soon at a free one.
    if (2 * (GetnString() + 1) > qint64(m_StringSlots.size())) {
        m_StringSlots.assign(qMax<size_t>(64, 2 * m_StringSlots.size()), -1);
        for (qint64 i = 0; i < GetnString(); ++i)
            m_StringSlots[StringSlot(GetStringUtf8(i))] = i;
    }
    const QByteArray bytes = text.toUtf8();
    const size_t slot = StringSlot(bytes);
    if (m_StringSlots[slot] < 0) {
        m_StringBytes.insert(m_StringBytes.end(), bytes.begin(), bytes.end());
        m_StringEnds.push_back(qint64(m_StringBytes.size()));
        m_StringSlots[slot] = GetnString() - 1;
    }
    return m_StringSlots[slot];
}

void Dovlin_FileManager::ReportDamage(int signal, const QString &reason)
{
    if (m_Damage.contains(signal))
        return;
    m_Damage.insert(signal, reason);
    m_NewDamage.append({signal, reason});
}

QList<QPair<int, QString>> Dovlin_FileManager::TakeDamageReports()
{
    return std::exchange(m_NewDamage, {});
}

void Dovlin_FileManager::KeepChangeTimes(int node, qint64 bytes)
{
    if (const auto found = m_ChangeTimesAt.find(node); found != m_ChangeTimesAt.end()) {
        m_ChangeTimesBytes -= (*found)->second;
        m_ChangeTimesUse.erase(*found);
        m_ChangeTimesAt.erase(found);
    }
    m_ChangeTimesUse.emplace_front(node, bytes);
    m_ChangeTimesAt.insert(node, m_ChangeTimesUse.begin());
    m_ChangeTimesBytes += bytes;
    // The newest list stays, however large: it is about to be drawn.
    while (m_ChangeTimesBytes > ChangeTimesBudget && m_ChangeTimesUse.size() > 1) {
        const auto [oldest, oldBytes] = m_ChangeTimesUse.back();
        m_ChangeTimesBytes -= oldBytes;
        m_ChangeTimesAt.remove(oldest);
        m_ChangeTimesUse.pop_back();
        if (const Dovlin_Hierarchy *dropped = GetHierarchy(oldest))
            dropped->DropChangeTimes();
    }
}

bool Dovlin_FileManager::UseChangeTimes(int node)
{
    const auto found = m_ChangeTimesAt.find(node);
    if (found == m_ChangeTimesAt.end())
        return false;
    m_ChangeTimesUse.splice(m_ChangeTimesUse.begin(), m_ChangeTimesUse, *found);
    return true;
}

void Dovlin_FileManager::CloseSignals(qint64 lastTime)
{
    if (lastTime == -1)
        return;
    // A copy of the last trigger at the end time would read as one more trigger.
    for (const auto &signal : m_Signals)
        if (signal->GetTypeCode() != Dovlin_TypeCode::Event)
            signal->AddLastEvent(lastTime);
}

bool Dovlin_FileManager::Load(const QString &path, int *format)
{
    m_ErrorString.clear();
    m_FileName = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot open: %1").arg(file.errorString()));
    // A file that cannot be mapped (a pipe, say) is read the ordinary way.
    auto mapping = std::make_unique<Dovlin_FileMapping>();
    if (!mapping->Map(file.handle(), file.size()))
        return LoadAll(&file, format);
    file.close();
    // The model keeps pointers into the mapping: the file may be replaced on disk (saving renames
    // a new file into place), the mapped bytes stay those of the file that was opened.
    const auto *data = reinterpret_cast<const unsigned char *>(mapping->Data());
    bool loaded = false;
    if (Dovlin_Format2Reader::Recognises(data, mapping->Size())) {
        Dovlin_Format2Reader reader(*this);
        loaded = reader.Read(data, mapping->Size()) || Fail(reader.ErrorString());
        if (format)
            *format = Dovlin_WaveFormat::Format2;
    } else {
        QBuffer bytes;
        bytes.setData(QByteArray::fromRawData(mapping->Data(), qsizetype(mapping->Size())));
        bytes.open(QIODevice::ReadOnly);
        Dovlin_WaveReader reader(bytes);
        reader.SetMapped(mapping->Data());
        Dovlin_Format1Reader format1(*this, reader);
        StructureChanged();
        loaded = (format1.LoadHeader() && format1.LoadSignalEvents(nullptr)) || Fail(reader.ErrorString());
        if (format)
            *format = Dovlin_WaveFormat::Format1;
    }
    if (loaded && mapping->Cut())
        loaded = Fail(QStringLiteral("the file was cut short by another program while it was read"));
    if (loaded)
        m_Mapping = std::move(mapping);
    return loaded;
}

bool Dovlin_FileManager::LoadAll(QIODevice *device, int *format)
{
    m_ErrorString.clear();
    if (!device || !device->isReadable())
        return Fail(QStringLiteral("cannot read: the file is not open for reading"));
    const QByteArray start = device->peek(sizeof Dovlin_Format2::Magic);
    if (!Dovlin_Format2Reader::Recognises(reinterpret_cast<const unsigned char *>(start.constData()), start.size())) {
        if (format)
            *format = Dovlin_WaveFormat::Format1;
        return LoadHeader(device) && LoadSignalEvents(device);
    }
    if (format)
        *format = Dovlin_WaveFormat::Format2;
    // The events stay where the file's bytes are: here, in a buffer the model keeps.
    m_Bytes = device->readAll();
    Dovlin_Format2Reader reader(*this);
    return reader.Read(reinterpret_cast<const unsigned char *>(m_Bytes.constData()), m_Bytes.size())
           || Fail(reader.ErrorString());
}

bool Dovlin_FileManager::LoadHeader(QIODevice *device)
{
    m_ErrorString.clear();
    if (!device || !device->isReadable())
        return Fail(QStringLiteral("cannot read: the file is not open for reading"));
    if (GetnSignal() != 0 || GetnHierarchy() != 0)
        return Fail(QStringLiteral("cannot load into a model that already holds signals or nodes"));
    Dovlin_WaveReader reader(*device);
    StructureChanged();
    return Dovlin_Format1Reader(*this, reader).LoadHeader() || Fail(reader.ErrorString());
}

bool Dovlin_FileManager::LoadSignalEvents(QIODevice *device)
{
    m_ErrorString.clear();
    if (!device || !device->isReadable())
        return Fail(QStringLiteral("cannot read: the file is not open for reading"));
    Dovlin_WaveReader reader(*device);
    if (m_EventArena || m_Mapping)
        return Fail(QStringLiteral("the events are already loaded"));
    // The events go to one arena, as big as a well-formed event section (block headers and whole
    // boxes up to the end of the file) needs.
    const qint64 eventBytes = reader.BytesLeft() - GetnSignal() * qint64(8);
    m_EventArena = std::make_unique<Dovlin_EventArena>(eventBytes / qint64(sizeof(CSignalEvent)));
    if (!m_EventArena->IsValid())
        return Fail(QStringLiteral("out of memory for %1 bytes of events").arg(eventBytes));
    return Dovlin_Format1Reader(*this, reader).LoadSignalEvents(m_EventArena.get()) || Fail(reader.ErrorString());
}

QString Dovlin_FileManager::FileLost() const
{
    return QStringLiteral("%1 was cut short or written by another program while it was open: its events can no "
                          "longer be read; open it again")
        .arg(QDir::toNativeSeparators(m_FileName));
}

bool Dovlin_FileManager::Save(const QString &path, qint64 lastTime, int format)
{
    m_ErrorString.clear();
    m_SaveWarnings.clear();
    if (!FileIntact())
        return Fail(FileLost());
    CloseSignals(lastTime);
    if (lastTime != -1)
        SetEndTime(qMax(lastTime, m_EndTimeSet ? m_EndTime : -1));
    // A file that cannot fit is refused before a byte is written: it would only fill the disk.
    const qint64 needed = WaveFileBytes(-1, format);
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
    if (!SaveAll(&file, format))
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

qint64 Dovlin_FileManager::WaveFileBytes(qint64 lastTime, int format) const
{
    // A closing copy of the last value may open one more box.
    const qint64 closing = lastTime != -1 ? GetnSignal() * qint64(Dovlin_Signal::m_BoxSize * sizeof(CSignalEvent)) : 0;
    if (format == Dovlin_WaveFormat::Format1)
        return Dovlin_Format1Writer::FileBytes(*this) + closing;
    // Packed boxes at their size, the others at about what packing leaves of them.
    constexpr qint64 packedBox = 128;
    qint64 bytes = (m_PackedFile ? m_PackedFile->BoxesSize() : 0) + GetnSignal() * qint64(24) + GetnHierarchy() * qint64(16);
    if (m_SpillFile)
        bytes += m_SpillFile->BytesWritten() + m_SpillFile->BytesInMemory();
    for (int i = 0; i < GetnHierarchy(); ++i)
        bytes += m_Hierarchies[size_t(i)]->GetName().size();
    for (const auto &signal : m_Signals)
        for (qint64 box = 0; box <= signal->GetLastBox(); ++box)
            if (signal->BoxRefOf(box).GetKind() == Dovlin_BoxRef::InMemory)
                bytes += packedBox;
    return bytes + (closing ? GetnSignal() * packedBox : 0);
}

bool Dovlin_FileManager::SaveAll(QIODevice *device, int format)
{
    m_ErrorString.clear();
    if (format == Dovlin_WaveFormat::Format1)
        return SaveHeader(device) && SaveSignalEvents(device, -1);
    if (!device || !device->isWritable())
        return Fail(QStringLiteral("cannot write: the file is not open for writing"));
    if (m_SpillFile && m_SpillFile->Failed())
        return Fail(m_SpillFile->ErrorString());
    Dovlin_Format2Writer writer(*this, *device);
    writer.SetProgress(m_WriteProgress);
    writer.SetThreads(m_WriteThreads);
    if (!writer.Write(m_EndTimeSet ? std::optional<qint64>(m_EndTime) : std::nullopt))
        return Fail(writer.ErrorString());
    if (!FileIntact())
        return Fail(FileLost());
    return true;
}

bool Dovlin_FileManager::SaveHeader(QIODevice *device)
{
    m_ErrorString.clear();
    if (!device || !device->isWritable())
        return Fail(QStringLiteral("cannot write: the file is not open for writing"));
    Dovlin_WaveWriter writer(*device);
    Dovlin_Format1Writer format1(*this, writer);
    if (!format1.SaveHeader() || !writer.Flush())
        return Fail(writer.ErrorString());
    m_SaveWarnings.clear();
    if (format1.StringSignalsLeftOut() > 0)
        m_SaveWarnings << QStringLiteral("format 1 cannot hold string variables: %1 left out").arg(format1.StringSignalsLeftOut());
    if (format1.InexactNames() > 0)
        m_SaveWarnings << QStringLiteral("format 1 writes names in Latin-1: %1 of them could not be written exactly")
                              .arg(format1.InexactNames());
    if (!m_EnumTables.empty())
        m_SaveWarnings << QStringLiteral("format 1 cannot hold enumeration tables: %1 left out, their nodes show numbers")
                              .arg(m_EnumTables.size());
    if (!m_SavedView.m_List.empty())
        m_SaveWarnings << QStringLiteral("format 1 cannot hold the wave list: its %1 rows are not kept").arg(m_SavedView.m_List.size());
    return true;
}

bool Dovlin_FileManager::SaveSignalEvents(QIODevice *device, qint64 lastTime)
{
    m_ErrorString.clear();
    if (!device || !device->isWritable())
        return Fail(QStringLiteral("cannot write: the file is not open for writing"));
    if (m_SpillFile && m_SpillFile->Failed())
        return Fail(m_SpillFile->ErrorString());
    CloseSignals(lastTime);
    Dovlin_WaveWriter writer(*device);
    if (!Dovlin_Format1Writer(*this, writer).SaveSignalEvents(m_WriteProgress) || !writer.Flush())
        return Fail(writer.ErrorString());
    if (!FileIntact())
        return Fail(FileLost());
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
    case Dovlin_TypeCode::String:
        return &AddSignal<Dovlin_StringSignal>();
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

bool Dovlin_FileManager::LinkHierarchies(bool levelsStored, QString &reason)
{
    const auto fail = [&reason](const QString &why) {
        reason = why;
        return false;
    };
    std::vector<int> parent(GetnHierarchy(), -1);
    for (int i = 0; i < GetnHierarchy(); ++i) {
        const Dovlin_Hierarchy *node = m_Hierarchies.at(i).get();
        if (levelsStored && (node->m_Level < 0 || node->m_Level >= GetnHierarchy()))
            return fail(QStringLiteral("level %1 of node %2 out of range").arg(node->m_Level).arg(i));
        if (node->GetHierarchyCode() != Dovlin_HierarchyCode::Composite)
            continue;
        for (int child : static_cast<const Dovlin_CompositeHierarchy *>(node)->m_Children) {
            if (child < 0 || child >= GetnHierarchy())
                return fail(QStringLiteral("child index %1 of node %2 out of range").arg(child).arg(i));
            if (child == i)
                return fail(QStringLiteral("child index %1 of node %2 points to the node itself").arg(child).arg(i));
            if (parent[child] != -1)
                return fail(QStringLiteral("node %1 is listed as a child of node %2 and of node %3")
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
            return fail(QStringLiteral("node %1 is nested more than %2 levels deep").arg(i).arg(Dovlin_Hierarchy::m_MaxDepth));
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
        return fail(QStringLiteral("child index %1 of node %2 points to its own ancestor").arg(node).arg(parent[node]));
    }

    // The tree is drawn from the levels: a level that disagrees with the links would show a
    // node twice, once as a root.
    for (int i = 0; i < GetnHierarchy(); ++i) {
        if (!levelsStored)
            m_Hierarchies.at(i)->m_Level = depth[i];
        else if (m_Hierarchies.at(i)->m_Level != depth[i])
            return fail(QStringLiteral("node %1 stores level %2 but lies at level %3 under its parents")
                                   .arg(i).arg(m_Hierarchies.at(i)->m_Level).arg(depth[i]));
    }

    for (int i = 0; i < GetnHierarchy(); ++i)
        m_Hierarchies.at(i)->m_ParentIndex = parent[i];
    return true;
}
