#ifndef DOVLIN_VCDIMPORT_H
#define DOVLIN_VCDIMPORT_H

#include "Dovlin_FileRecords.h"

#include <QString>

class Dovlin_ImportReporter;
class Dovlin_SpillFile;

// What one import may take. The import reads no environment: the viewer and the tools fill this
// from their command lines and FromEnvironment.
struct Dovlin_ImportLimits
{
    // Bytes the import keeps in memory for events: packed boxes, and the value changes and boxes
    // on their way between its threads; beyond them packed events wait in a temporary file.
    qint64 m_MemoryBudget = DefaultMemoryBudget();
    // Threads that read the body of a dump in chunks, and as many that store its value changes,
    // each owning a share of the signals; 1 does all the work on the calling thread. The wave file
    // and the messages are the same for any number.
    int m_Threads = DefaultThreads();
    // Longest word the scanner accepts, 0 for its default; a longer one fails the import.
    int m_MaxTokenLength = 0;
    // Most signals a dump may declare, 0 for the default (see vcd_yacc::DefaultMaxLeaves).
    qint64 m_MaxSignals = 0;

    // A quarter of the physical memory.
    static qint64 DefaultMemoryBudget();
    // One a core.
    static int DefaultThreads();
    // The defaults, with what the environment variables DOVLIN_MEMORY_BUDGET (a size, see
    // Dovlin_VcdImport::ParseSize), DOVLIN_THREADS and DOVLIN_MAX_SIGNALS set.
    static Dovlin_ImportLimits FromEnvironment();
};

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
    // The wave file next to the dump (same name, suffix .dvn; x-fst.dvn for x.fst), as an absolute path.
    static QString WaveFileFor(const QString &vcdPath);
    // The wave file of a dump whose folder cannot take it: in the user's cache folder, named from
    // the dump's base name and a hash of its canonical path, so that two dumps of one name in
    // different folders never share one.
    static QString CachedWaveFileFor(const QString &vcdPath);
    // The wave file lies in the cache folder that CachedWaveFileFor names files in.
    static bool IsCachedWaveFile(const QString &wavePath);
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
    void SetLimits(const Dovlin_ImportLimits &limits) { m_Limits = limits; }
    const Dovlin_ImportLimits &Limits() const { return m_Limits; }
    // The wave file's format (Dovlin_WaveFormat), the newest unless set.
    void SetFormat(int format) { m_Format = format; }
    // A size in bytes, with an optional K, M, G or T (powers of 1024) and B after it: "512M", "2GB".
    static bool ParseSize(const QString &text, qint64 &bytes);
    // Value changes and time stamps are read by a hand-written path unless this is off; the
    // result is the same either way.
    void SetFastPath(bool on) { m_FastPath = on; }
    const Dovlin_ImportStats &Stats() const { return m_Stats; }

private:
    // One conversion's scanner, parser and dump, from Prepare to Summarise.
    struct Run;
    // The steps of Convert. Each returns false once the import failed (Fail) or was cancelled
    // (Cancel): the model and the temporary event file go with the run, and no wave file is left.
    bool Prepare(Run &run, const QString &wavePath);
    bool Parse(Run &run);
    bool Merge(Run &run);
    bool Write(Run &run);
    void Summarise(const Run &run);
    bool Fail(const QString &reason);
    bool Cancel();
    QString SpillFailure(const Dovlin_SpillFile &spill, qint64 bytesRead, qint64 dumpBytes) const;

    Dovlin_ImportReporter *m_Reporter;
    QString m_VcdPath;
    QString m_WaveFileName;
    QString m_ErrorString;
    bool m_Cancelled = false;
    bool m_FastPath = true;
    Dovlin_ImportLimits m_Limits;
    int m_Format = 2;
    Dovlin_ImportStats m_Stats;
    // When the outermost Convert began, in nanoseconds since the epoch: temporaries of wave files
    // older than that are left by writes that were killed.
    qint64 m_Started = 0;
};

#endif
