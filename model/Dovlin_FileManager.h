#ifndef DOVLIN_FILEMANAGER_H
#define DOVLIN_FILEMANAGER_H

#include "Dovlin_FileRecords.h"
#include "Dovlin_Utilities.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class QIODevice;
class Dovlin_BoxCache;
class Dovlin_EventArena;
class Dovlin_FileMapping;
class Dovlin_PackedFile;
class Dovlin_SpillFile;
class Dovlin_Signal;
class Dovlin_Hierarchy;
struct CSignalEvent;

// The formats of a wave file (docs/wave-file-format.md): 1, the first layout, 16 bytes an event;
// 2, events packed behind an index. Files are written in format 2 unless asked otherwise.
namespace Dovlin_WaveFormat {
enum { Format1 = 1, Format2 = 2, Newest = Format2 };
}

// The model of one wave file: it owns every signal and hierarchy node, in two tables indexed
// from 0, with the time base, the end time, the strings of string signals and what a file keeps
// besides (the dump it came from, the view it was saved with). It does not know which format it
// was read from: the readers and writers of wavefile/ fill it and write it.
//
// Loading checks every count, code, length and index against the bytes that hold it, and refuses
// damaged or foreign files with a reason (ErrorString). A failed load may leave the model partly
// filled: the caller discards the file manager. Loading needs an empty model. Saving reports the
// device's error; Save() replaces the file only when everything was written.
class Dovlin_FileManager
{
public:
    // Boxes the cache keeps unpacked for a loaded file: 8 MB.
    static constexpr qint64 ViewerCacheBoxes = 16384;

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

    void SetEndTime(qint64 time)
    {
        m_EndTime = time;
        m_EndTimeSet = true;
    }
    // Closes every signal but an event signal with a copy of its last value at lastTime, so that the
    // last value lasts until the end of the dump; nothing for -1.
    void CloseSignals(qint64 lastTime);

    // Opens the wave file read-only and loads it, in either format; format, when given, tells which.
    // The file is mapped into memory and the signals' events stay in it, so only what is looked at
    // is read; every count and length is still checked first.
    bool Load(const QString &path, int *format = nullptr);
    // Loads the file a device holds, in either format.
    bool LoadAll(QIODevice *device, int *format = nullptr);
    // The two halves of loading a file of format 1: the signal table and the hierarchy, then the
    // event blocks.
    bool LoadHeader(QIODevice *device);
    bool LoadSignalEvents(QIODevice *device);

    // Calls visit(node, path) for every node below the roots, depth first in child order; the path
    // is the names of the node's ancestors and its own joined with dots.
    void VisitDottedPaths(const std::function<void(Dovlin_Hierarchy *, const QString &)> &visit) const;
    // Gives each node the view flags (shown, digital, radix, expanded) of the node with the same dotted
    // path in from, the n-th of equal paths those of the n-th; returns how many nodes of from found no
    // match.
    int CarryOverViewState(const Dovlin_FileManager &from);
    // Writes the whole file in a format to a temporary file and renames it over path; on failure
    // any old file stays as it was. A lastTime other than -1 closes the signals first (CloseSignals);
    // those events stay in the model even when writing fails. What the format could not hold is
    // told in SaveWarnings.
    bool Save(const QString &path, qint64 lastTime = -1, int format = Dovlin_WaveFormat::Newest);
    // About the size of the file Save writes: a bound on what a full disk must make room for.
    qint64 WaveFileBytes(qint64 lastTime, int format = Dovlin_WaveFormat::Newest) const;
    // Writes the whole file to a device, one that can seek for format 2.
    bool SaveAll(QIODevice *device, int format = Dovlin_WaveFormat::Format1);
    // The two halves of writing a file of format 1; SaveSignalEvents closes the signals at
    // lastTime first, unless it is -1.
    bool SaveHeader(QIODevice *device);
    bool SaveSignalEvents(QIODevice *device, qint64 lastTime);
    // What the last save could not write exactly (string signals and names format 1 cannot hold).
    QStringList SaveWarnings() const { return m_SaveWarnings; }

    // Called as the event blocks are written, after each signal, with the signals written and
    // their number; returning false stops the writing, which then fails with "cancelled".
    using WriteProgress = std::function<bool(qint64 written, qint64 total)>;
    void SetWriteProgress(WriteProgress progress) { m_WriteProgress = std::move(progress); }
    // Threads writing a file of format 2 may use (1, the caller's alone, unless set).
    void SetWriteThreads(int threads) { m_WriteThreads = threads; }
    // False once the mapped file the loaded events lie in changed on disk: nothing may be drawn
    // or saved from them any more.
    bool FileIntact() const;

    // Why the last load or save failed; empty after a success.
    QString ErrorString() const { return m_ErrorString; }

    // From now on, the full boxes of appended events go packed to a spill store, kept in memory
    // up to the memory budget and past it in a temporary file in directory (the file is gone when
    // the model is); false with ErrorString when it cannot be made. The events must come in time
    // order, as an import appends them: format 2 takes a spilled box as it was packed.
    // Without packOnThread the appending threads pack the boxes themselves.
    bool EnableSpill(const QString &directory, bool packOnThread = true);
    Dovlin_SpillFile *SpillFile() const { return m_SpillFile.get(); }
    // Bytes of packed events an import keeps in memory before they go to the spill file; 0 (the
    // default) sends them all there.
    void SetMemoryBudget(qint64 bytes);
    qint64 MemoryBudget() const { return m_MemoryBudget; }
    // A box of default events for a signal's first appends; it lives as long as the model. A dump
    // may declare hundreds of thousands of signals that change a few times each: carving their
    // first boxes from large blocks spares an allocation, and the heap's growth, per signal. Any
    // thread may take one.
    CSignalEvent *TakeFirstBox();

    // The dump the file was converted from, and the view it was saved with (kept by format 2).
    const Dovlin_DumpIdentity &DumpIdentity() const { return m_DumpIdentity; }
    void SetDumpIdentity(const Dovlin_DumpIdentity &identity) { m_DumpIdentity = identity; }
    const Dovlin_SavedView &SavedView() const { return m_SavedView; }
    void SetSavedView(const Dovlin_SavedView &view) { m_SavedView = view; }

    // The texts of string signals, whose events hold their index; an equal text is added once.
    qint64 GetnString() const { return qint64(m_StringEnds.size()); }
    // Empty for an index out of range.
    QString GetString(qint64 index) const;
    // The UTF-8 bytes of the text at an index in range, for writers; valid until the next AddString.
    QByteArrayView GetStringUtf8(qint64 index) const;
    qint64 AddString(const QString &text);

    // The enumeration tables of the dump; a node names its own by index (m_EnumTable).
    const std::vector<Dovlin_EnumTable> &EnumTables() const { return m_EnumTables; }
    // Null for an index out of range.
    const Dovlin_EnumTable *EnumTable(int index) const
    {
        return index >= 0 && size_t(index) < m_EnumTables.size() ? &m_EnumTables[size_t(index)] : nullptr;
    }
    int AddEnumTable(const Dovlin_EnumTable &table)
    {
        m_EnumTables.push_back(table);
        return int(m_EnumTables.size() - 1);
    }

    // Where a loaded file's bytes stay while the model lives: a mapping, a buffer, or an arena of
    // events read from a file of format 1 that could not be mapped.
    void KeepMapping(std::unique_ptr<Dovlin_FileMapping> mapping);
    void KeepBuffer(const QByteArray &bytes) { m_Bytes = bytes; }
    void KeepEventArena(std::unique_ptr<Dovlin_EventArena> arena);
    // The packed events of a loaded file of format 2.
    void SetPackedFile(std::unique_ptr<Dovlin_PackedFile> file);
    Dovlin_PackedFile *PackedFile() const { return m_PackedFile.get(); }
    // Where boxes kept packed or spilled are unpacked when read; null until there are such boxes.
    Dovlin_BoxCache *BoxCache() const { return m_BoxCache.get(); }

    // A signal whose box could not be read: its first reason is kept, and told once.
    void ReportDamage(int signal, const QString &reason);
    QString DamageOf(int signal) const { return m_Damage.value(signal); }
    // Whether any signal was found damaged: the views ask it before they ask each signal.
    bool HasDamage() const { return !m_Damage.isEmpty(); }
    // The signals found damaged since the last call, each with its reason.
    QList<QPair<int, QString>> TakeDamageReports();

    // Checks the links between the nodes of a loaded file and records each node's parent: every
    // child index in range, at most one parent per node, no cycle, no deeper nesting than the tree
    // code can walk. With levelsStored every node's level must be its depth, else the levels are
    // set to the depths. False with the reason.
    bool LinkHierarchies(bool levelsStored, QString &reason);

    // The merged change times that nodes keep (Dovlin_Hierarchy::ChangeTimes) take at most this many
    // bytes in all: past it, those used least recently are dropped.
    static constexpr qint64 ChangeTimesBudget = qint64(64) << 20;
    // A node keeps bytes of merged times, or says it uses the ones it keeps; false when they were
    // dropped since.
    void KeepChangeTimes(int node, qint64 bytes);
    bool UseChangeTimes(int node);

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

    bool Fail(const QString &reason);
    QString FileLost() const;
    // The slot of text bytes in m_StringSlots: the one holding an equal text, or the free one
    // where it goes.
    size_t StringSlot(QByteArrayView bytes) const;

    std::vector<std::unique_ptr<Dovlin_Signal>> m_Signals;
    std::vector<std::unique_ptr<Dovlin_Hierarchy>> m_Hierarchies;
    qint64 m_EndTime = 0;
    // The end time was read from a file, set or found; until then a file written ends at its last event.
    bool m_EndTimeSet = false;
    int m_TimeBase = 0;
    QString m_ErrorString;
    Dovlin_DumpIdentity m_DumpIdentity;
    Dovlin_SavedView m_SavedView;
    // The file Load read last: lost-file messages name it.
    QString m_FileName;
    quint64 m_Structure = 0;
    WriteProgress m_WriteProgress;
    int m_WriteThreads = 1;
    QStringList m_SaveWarnings;
    // The texts of string signals as their UTF-8 bytes one after the other, where each ends, and
    // their indices in a table of open addressing by the hash of their bytes (-1 a free slot), so
    // that an equal text is found without a second copy: a dump may hold millions of texts.
    std::vector<char> m_StringBytes;
    std::vector<qint64> m_StringEnds;
    std::vector<qint64> m_StringSlots;
    QHash<int, QString> m_Damage;
    std::vector<Dovlin_EnumTable> m_EnumTables;
    // Nodes that keep merged change times, the most recently used first, with their bytes.
    std::list<std::pair<int, qint64>> m_ChangeTimesUse;
    QHash<int, std::list<std::pair<int, qint64>>::iterator> m_ChangeTimesAt;
    qint64 m_ChangeTimesBytes = 0;
    QList<QPair<int, QString>> m_NewDamage;
    // The events of the loaded file, pointed into by the boxes of its signals.
    std::unique_ptr<Dovlin_EventArena> m_EventArena;
    std::unique_ptr<Dovlin_SpillFile> m_SpillFile;
    std::vector<std::unique_ptr<Dovlin_EventArena>> m_FirstBoxBlocks;
    qint64 m_MemoryBudget = 0;
    std::mutex m_FirstBoxMutex;
    CSignalEvent *m_NextFirstBox = nullptr;
    qint64 m_FirstBoxesLeft = 0;
    // The mapped file (or the bytes read from a device) the boxes of a loaded model point into;
    // they outlive the signals.
    std::unique_ptr<Dovlin_FileMapping> m_Mapping;
    QByteArray m_Bytes;
    std::unique_ptr<Dovlin_PackedFile> m_PackedFile;
    std::unique_ptr<Dovlin_BoxCache> m_BoxCache;
};

#endif
