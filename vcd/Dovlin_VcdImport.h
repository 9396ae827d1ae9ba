#ifndef DOVLIN_VCDIMPORT_H
#define DOVLIN_VCDIMPORT_H

#include "Dovlin_FileRecords.h"

#include <QString>

class Dovlin_ImportReporter;
class Dovlin_SpillFile;

// What one import produced, for the converter's summary line.
struct Dovlin_ImportStats
{
    int m_nSignal = 0;
    int m_nHierarchy = 0;
    // Value changes stored.
    qint64 m_nEvent = 0;
    int m_TimeBase = 0;
    qint64 m_Bytes = 0;
    double m_Seconds = 0;
};

// Converts one VCD or FST file into a wave file: scanner, parser and model live only for the call.
// Problems in the dump and the reason of a failure go to the reporter, and the import reports
// its progress there and stops when the reporter declines to go on. On failure or cancel no
// wave file is left behind and an existing one is untouched. A wave file that is replaced hands
// its view flags (expanded, shown, digital, radix) on to the nodes of the new one with the same
// dotted path, and its saved view to the new file. The wave file records the dump as it was read
// (Dovlin_DumpIdentity), and holds it only while the dump is still the same.
class Dovlin_VcdImport
{
public:
    explicit Dovlin_VcdImport(Dovlin_ImportReporter *reporter);

    // The wave file goes to WaveFileToWrite unless wavePath is given.
    bool Convert(const QString &vcdPath, const QString &wavePath = QString());
    // The wave file next to the dump (same name, suffix .dvn), as an absolute path.
    static QString WaveFileFor(const QString &vcdPath);
    // The wave file of a dump whose folder cannot take it: in the user's cache folder, named from
    // the dump's base name and a hash of its canonical path, so that two dumps of one name in
    // different folders never share one.
    static QString CachedWaveFileFor(const QString &vcdPath);
    // Next to the dump when a file can be written or replaced there, else the cached one (its
    // folder made on the way).
    static QString WaveFileToWrite(const QString &vcdPath);
    // The dump's wave file, next to it or else cached, that is up to date; empty when neither is.
    static QString UpToDateWaveFile(const QString &vcdPath);
    // False when the file's first kilobyte holds bytes but no $ keyword, which every VCD header
    // starts with: a failure to import it is then no fault of a dump.
    static bool StartsLikeVcd(const QString &vcdPath);
    // The wave file was converted from the dump as it is now: same size, same modification time,
    // same first and last 64 KB. A file of format 1, or one that keeps no dump, never is.
    static bool WaveFileUpToDate(const QString &vcdPath, const QString &wavePath);
    // The dump a wave file was converted from, read without its events; not known for a file
    // of format 1, one that keeps no dump, or one that cannot be read.
    static Dovlin_DumpIdentity RecordedDump(const QString &wavePath);
    // The dump is still the one identity describes; false when identity is not known.
    static bool DumpUnchanged(const QString &vcdPath, const Dovlin_DumpIdentity &identity);

    QString WaveFileName() const { return m_WaveFileName; }
    QString ErrorString() const { return m_ErrorString; }
    // The last Convert stopped because the reporter's Progress returned false.
    bool Cancelled() const { return m_Cancelled; }
    // Longest word the scanner accepts, 0 for its default; a longer one fails the import.
    void SetMaxTokenLength(int length) { m_MaxTokenLength = length; }
    // Most signals a dump may declare, 0 for the default (see vcd_yacc::DefaultMaxLeaves); the
    // environment variable DOVLIN_MAX_SIGNALS sets it for every import.
    void SetMaxSignals(qint64 count) { m_MaxSignals = count; }
    // Bytes of packed events kept in memory while the dump is read; beyond them events wait in a
    // temporary file. The default is a quarter of the physical memory; the environment variable
    // DOVLIN_MEMORY_BUDGET sets it for every import.
    void SetMemoryBudget(qint64 bytes) { m_MemoryBudget = bytes; }
    static qint64 DefaultMemoryBudget();
    // The wave file's format (Dovlin_WaveFormat), the newest unless set.
    void SetFormat(int format) { m_Format = format; }
    // A size in bytes, with an optional K, M, G or T (powers of 1024) and B after it: "512M", "2GB".
    static bool ParseSize(const QString &text, qint64 &bytes);
    // Value changes and time stamps are read by a hand-written path unless this is off; the
    // result is the same either way.
    void SetFastPath(bool on) { m_FastPath = on; }
    const Dovlin_ImportStats &Stats() const { return m_Stats; }

private:
    bool Fail(const QString &reason);
    QString SpillFailure(const Dovlin_SpillFile &spill, qint64 bytesRead, qint64 dumpBytes) const;

    Dovlin_ImportReporter *m_Reporter;
    QString m_VcdPath;
    // The FST file whose VCD text Convert reads, while it does, and its identity before it was read.
    QString m_SourceDump;
    Dovlin_DumpIdentity m_SourceIdentity;
    QString m_WaveFileName;
    QString m_ErrorString;
    bool m_Cancelled = false;
    int m_MaxTokenLength = 0;
    bool m_FastPath = true;
    qint64 m_MaxSignals = 0;
    qint64 m_MemoryBudget = DefaultMemoryBudget();
    int m_Format = 2;
    Dovlin_ImportStats m_Stats;
};

#endif
