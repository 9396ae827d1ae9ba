#ifndef DOVLIN_FILEMANAGER_H
#define DOVLIN_FILEMANAGER_H

#include "Dovlin_FileRecords.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QIODevice;
class Dovlin_EventArena;
class Dovlin_SpillFile;
class Dovlin_Signal;
class Dovlin_Hierarchy;
struct CSignalEvent;

// Reads the fields of a wave file from a random-access device, never past its end: every read
// is checked against the bytes left before it reaches the device. The first failure is kept.
class Dovlin_WaveReader
{
public:
    explicit Dovlin_WaveReader(QIODevice &device);

    qint64 Offset() const { return m_Offset; }
    qint64 BytesLeft() const { return m_Left; }
    // False without reading anything when fewer than size bytes are left.
    bool Read(void *data, qint64 size);
    bool ReadInt32(qint32 &value);
    // Records the reason reading stopped (unless one is already recorded); always false.
    bool Fail(const QString &reason);
    // When the device's bytes also lie in memory from base on (a mapped file), the address of the
    // next byte to read; null otherwise.
    void SetMapped(const char *base) { m_Mapped = base; }
    const char *MappedAt() const { return m_Mapped ? m_Mapped + m_Offset : nullptr; }
    // Passes over size bytes; false without moving when fewer are left.
    bool Skip(qint64 size);
    // Fail with "truncated <what> at offset <offset>".
    bool Truncated(const QString &what);
    QString ErrorString() const { return m_ErrorString; }

private:
    QIODevice &m_Device;
    qint64 m_Offset;
    qint64 m_Left;
    QString m_ErrorString;
    const char *m_Mapped = nullptr;
};

// A file mapped read-only into memory, for as long as the object lives.
class Dovlin_FileMapping
{
public:
    Dovlin_FileMapping() = default;
    ~Dovlin_FileMapping();
    Dovlin_FileMapping(const Dovlin_FileMapping &) = delete;
    Dovlin_FileMapping &operator=(const Dovlin_FileMapping &) = delete;

    // Maps size bytes of the open file descriptor; false when the system refuses. The mapping keeps
    // a descriptor of its own, to tell whether the file is still the one that was mapped.
    bool Map(int descriptor, qint64 size);
    const char *Data() const { return m_Data; }
    qint64 Size() const { return m_Size; }
    // True once a read found the file shorter than its mapping (another program cut it while it
    // was open); the bytes past its new end read as zeros from then on.
    bool Cut() const;
    // False once the file is cut short or written since it was mapped (another program truncated it
    // or copied over it): its pages may be gone or hold other bytes. A file renamed over the mapped
    // one leaves it intact.
    bool Intact() const;

private:
    char *m_Data = nullptr;
    qint64 m_Size = 0;
    int m_Descriptor = -1;
    qint64 m_Modified = 0;
    // Where the mapping is registered for the bus-error handler; -1 when it is not.
    int m_Slot = -1;
};

// Writes the fields of a wave file in large pieces; every write is checked, and after the first
// failure nothing more is written. Flush must end the writing.
class Dovlin_WaveWriter
{
public:
    static constexpr qint64 BufferBytes = qint64(1) << 20;
    static constexpr qint64 DirectBytes = qint64(1) << 16;

    explicit Dovlin_WaveWriter(QIODevice &device) : m_Device(device) { m_Buffer.reserve(BufferBytes); }

    bool Write(const void *data, qint64 size);
    bool Flush();
    bool WriteInt32(qint32 value);
    // Records why writing stopped (unless something failed before); always false.
    bool Fail(const QString &reason);
    QString ErrorString() const;

private:
    bool Put(const void *data, qint64 size);

    QIODevice &m_Device;
    QByteArray m_Buffer;
    bool m_Failed = false;
    QString m_Reason;
};

// The model of one wave file: it owns every signal and hierarchy node, in two tables indexed
// from 0, and reads and writes the whole file.
//
// Loading checks every count, code, length and index against the bytes left and the tables
// read, and refuses damaged or foreign files with a reason (ErrorString). A failed load may
// leave the model partly filled: the caller discards the file manager. Loading needs an empty
// model. Saving reports the device's error; Save() replaces the file only when everything was
// written.
class Dovlin_FileManager
{
public:
    Dovlin_FileManager();
    ~Dovlin_FileManager();
    Dovlin_FileManager(const Dovlin_FileManager &) = delete;
    Dovlin_FileManager &operator=(const Dovlin_FileManager &) = delete;

    int GetnSignal() const { return int(m_Signals.size()); }
    int GetnHierarchy() const { return int(m_Hierarchies.size()); }
    // Null for an index out of range.
    Dovlin_Signal *GetSignal(int index) const;
    Dovlin_Hierarchy *GetHierarchy(int index) const;

    // A new signal of class T at the next signal index.
    template <class T>
    T &AddSignal()
    {
        return Append(m_Signals, std::make_unique<T>(this, GetnSignal()));
    }
    // A new node of class T (scalar or composite) at the next hierarchy index, not linked.
    template <class T>
    T &AddNode(const QString &name = QString())
    {
        T &node = Append(m_Hierarchies, std::make_unique<T>(this, GetnHierarchy()));
        node.SetName(name);
        return node;
    }
    // The same for a type or hierarchy code of a wave file; null for an unknown code.
    Dovlin_Signal *AddSignalOfType(int typeCode);
    Dovlin_Hierarchy *AddNodeOfCode(int hierarchyCode);

    // A new signal of class T in the place of the signal at index (which must exist): it takes
    // the index, so nodes showing the old signal show it. The old signal moves to old, for its
    // events to be copied before it goes.
    template <class T>
    T &ReplaceSignal(int index, std::unique_ptr<Dovlin_Signal> &old)
    {
        auto signal = std::make_unique<T>(this, index);
        T &replacement = *signal;
        old = std::exchange(m_Signals.at(size_t(index)), std::move(signal));
        StructureChanged();
        return replacement;
    }
    // A new node of class T in the place of the node at index (which must exist), which is
    // deleted: under the same parent, with its level and view flags.
    template <class T>
    T &ReplaceNode(int index, const QString &name = QString())
    {
        auto node = std::make_unique<T>(this, index);
        T &replacement = *node;
        replacement.SetName(name);
        TakePlaceOf(m_Hierarchies.at(size_t(index)), std::move(node));
        return replacement;
    }

    int GetTimeBase() const { return m_TimeBase; }
    void SetTimeBase(int timeBase) { m_TimeBase = timeBase; }
    qint64 GetEndTime() const { return m_EndTime; }
    // Recomputes the end time from the events in memory: the largest last time, -1 for none.
    qint64 FindEndTime();

    // Opens the file read-only and loads it all. The file is mapped into memory
    // and the boxes of the signals point into it, so only what is looked at is read; every count
    // and length is still checked against the file's size first.
    bool Load(const QString &path);
    bool LoadAll(QIODevice *device);
    bool LoadHeader(QIODevice *device);
    bool LoadSignalEvents(QIODevice *device);

    // Calls visit(node, path) for every node below the roots, depth first in child order; the path
    // is the names of the node's ancestors and its own joined with dots.
    void VisitDottedPaths(const std::function<void(Dovlin_Hierarchy *, const QString &)> &visit) const;
    // Gives each node the view flags (shown, digital, radix, expanded) of the node with the same dotted
    // path in from, the n-th of equal paths those of the n-th; returns how many nodes of from found no
    // match.
    int CarryOverViewState(const Dovlin_FileManager &from);
    // Writes the whole file to a temporary file and renames it over path; on failure any old
    // file stays as it was. A lastTime other than -1 closes every signal but an event signal first, as in
    // SaveSignalEvents; those events stay in the model even when writing fails.
    bool Save(const QString &path, qint64 lastTime = -1);
    // About the size of the file Save writes: a bound on what a full disk must make room for.
    qint64 WaveFileBytes(qint64 lastTime) const;
    bool SaveAll(QIODevice *device);
    bool SaveHeader(QIODevice *device);
    // Appends to every signal a copy of its last event at lastTime unless it is -1, then
    // writes every event block.
    bool SaveSignalEvents(QIODevice *device, qint64 lastTime);

    // Called as the event blocks are written, after each signal, with the signals written and
    // their number; returning false stops the writing, which then fails with "cancelled".
    using WriteProgress = std::function<bool(qint64 written, qint64 total)>;
    void SetWriteProgress(WriteProgress progress) { m_WriteProgress = std::move(progress); }
    // False once the mapped file the loaded events lie in changed on disk: nothing may be drawn
    // or saved from them any more.
    bool FileIntact() const;

    // Why the last load or save failed; empty after a success.
    QString ErrorString() const { return m_ErrorString; }

    // From now on, the full boxes of appended events go packed to a spill store, kept in memory
    // up to the memory budget and past it in a temporary file in directory (the file is gone when
    // the model is); false with ErrorString when it cannot be made. An event pointer of such a
    // signal stays valid only until the signal's next append.
    bool EnableSpill(const QString &directory);
    Dovlin_SpillFile *SpillFile() const { return m_SpillFile.get(); }
    // Bytes of packed events an import keeps in memory before they go to the spill file; 0 (the
    // default) sends them all there.
    void SetMemoryBudget(qint64 bytes);
    qint64 MemoryBudget() const { return m_MemoryBudget; }
    // Where spilled boxes are read back before they are written, reused from signal to signal.
    std::vector<CSignalEvent> &ReadBackBuffer() { return m_ReadBack; }
    // A box of default events for a signal's first appends; it lives as long as the model. A dump
    // may declare hundreds of thousands of signals that change a few times each: carving their
    // first boxes from large blocks spares an allocation, and the heap's growth, per signal.
    CSignalEvent *TakeFirstBox();

    // The dump the file was converted from, and the view it was saved with (kept by format 2).
    const Dovlin_DumpIdentity &DumpIdentity() const { return m_DumpIdentity; }
    void SetDumpIdentity(const Dovlin_DumpIdentity &identity) { m_DumpIdentity = identity; }
    const Dovlin_SavedView &SavedView() const { return m_SavedView; }
    void SetSavedView(const Dovlin_SavedView &view) { m_SavedView = view; }

    // Counts changes of the tree's shape (nodes linked, signals attached) and of the events, so
    // that what is derived from them can be kept until they change.
    quint64 Structure() const { return m_Structure; }
    void StructureChanged() { ++m_Structure; }
    quint64 *StructureCounter() { return &m_Structure; }

private:
    template <class Base, class T>
    static T &Append(std::vector<std::unique_ptr<Base>> &table, std::unique_ptr<T> item)
    {
        T &added = *item;
        table.push_back(std::move(item));
        return added;
    }
    // Puts replacement in the table slot of old, with old's parent, level and view flags.
    void TakePlaceOf(std::unique_ptr<Dovlin_Hierarchy> &old, std::unique_ptr<Dovlin_Hierarchy> replacement);

    bool ReadHeader(Dovlin_WaveReader &reader);
    bool ReadHierarchy(Dovlin_WaveReader &reader, int index);
    bool LinkHierarchies(Dovlin_WaveReader &reader);
    bool ReadSignalEvents(Dovlin_WaveReader &reader);
    bool WriteHeader(Dovlin_WaveWriter &writer);
    bool WriteSignalEvents(Dovlin_WaveWriter &writer, qint64 lastTime);
    bool Fail(const QString &reason);
    QString FileLost() const;

    std::vector<std::unique_ptr<Dovlin_Signal>> m_Signals;
    std::vector<std::unique_ptr<Dovlin_Hierarchy>> m_Hierarchies;
    qint64 m_EndTime = 0;
    int m_TimeBase = 0;
    QString m_ErrorString;
    Dovlin_DumpIdentity m_DumpIdentity;
    Dovlin_SavedView m_SavedView;
    // The file Load read last: lost-file messages name it.
    QString m_FileName;
    quint64 m_Structure = 0;
    WriteProgress m_WriteProgress;
    // The events of the loaded file, pointed into by the boxes of its signals.
    std::unique_ptr<Dovlin_EventArena> m_EventArena;
    std::unique_ptr<Dovlin_SpillFile> m_SpillFile;
    std::vector<std::unique_ptr<Dovlin_EventArena>> m_FirstBoxBlocks;
    qint64 m_MemoryBudget = 0;
    std::vector<CSignalEvent> m_ReadBack;
    CSignalEvent *m_NextFirstBox = nullptr;
    qint64 m_FirstBoxesLeft = 0;
    // The mapped file the boxes of a loaded model point into; it outlives the signals.
    std::unique_ptr<Dovlin_FileMapping> m_Mapping;
    // While a mapped file is being loaded, its bytes: readers take the events from there.
    const char *m_LoadBase = nullptr;
};

#endif
