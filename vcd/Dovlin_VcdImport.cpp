#include "Dovlin_VcdImport.h"

#include "Dovlin_FileIo.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_FileMapping.h"
#include "Dovlin_Format2Reader.h"
#include "Dovlin_FstReader.h"
#include "Dovlin_FstChanges.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_SpillFile.h"
#include "vcd_changequeue.h"
#include "vcd_chunks.h"
#include "vcd_lex.h"
#include "vcd_yacc.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {
struct FileCloser
{
    void operator()(FILE *file) const { std::fclose(file); }
};

// Reads parts of a wave file that lie before its events, and no event: a file of format 2 is
// mapped, so only the pages of those parts are read; format 1 keeps its tree, with the view flags,
// in its header, and no dump.
bool ReadWithoutEvents(const QString &wavePath, Dovlin_FileManager &model, Dovlin_Format2Reader::Parts parts)
{
    QFile file(wavePath);
    if (!QFileInfo(wavePath).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    Dovlin_FileMapping mapping;
    if (mapping.Map(file.handle(), file.size())) {
        const auto *data = reinterpret_cast<const unsigned char *>(mapping.Data());
        if (Dovlin_Format2Reader::Recognises(data, mapping.Size()))
            return Dovlin_Format2Reader(model).Read(data, mapping.Size(), parts) && !mapping.Cut();
    }
    return parts == Dovlin_Format2Reader::ViewOnly && model.LoadHeader(&file);
}

// Converting a dump again keeps what the user chose to see in its old wave file: the view flags
// node by dotted path, and the saved view. An old file that does not load is simply replaced.
void CarryOverViewFlags(const QString &oldWaveFile, Dovlin_FileManager &model)
{
    Dovlin_FileManager old;
    if (!ReadWithoutEvents(oldWaveFile, old, Dovlin_Format2Reader::ViewOnly))
        return;
    model.CarryOverViewState(old);
    model.SetSavedView(old.SavedView());
}

qint64 ModifiedNanoseconds(const struct stat &status)
{
    return qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

// Reads size bytes at offset; false, with bytes empty, when the file does not hold them.
bool ReadAt(int descriptor, qint64 offset, qint64 size, QByteArray &bytes)
{
    bytes.resize(qsizetype(size));
    for (qint64 done = 0; done < size;) {
        const ssize_t read = pread(descriptor, bytes.data() + done, size_t(size - done), off_t(offset + done));
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0) {
            bytes.clear();
            return false;
        }
        done += read;
    }
    return true;
}

// The digest of a dump's first size bytes (Dovlin_DumpIdentity): its first and its last 64 KB.
// head holds what was read from the start already. Empty when the file no longer holds them.
QByteArray EdgeDigest(int descriptor, qint64 size, QByteArray head)
{
    const qint64 edge = qMin(size, Dovlin_DumpIdentity::m_EdgeBytes);
    QByteArray tail;
    if ((head.size() < edge && !ReadAt(descriptor, 0, edge, head)) || !ReadAt(descriptor, size - edge, edge, tail))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView(head).first(qsizetype(edge)));
    hash.addData(tail);
    return hash.result();
}

// A dump's identity (Dovlin_DumpIdentity) as the file is now; not known when it cannot be read.
Dovlin_DumpIdentity IdentityNow(const QString &path)
{
    Dovlin_DumpIdentity identity;
    QFile file(path);
    struct stat status;
    if (!file.open(QIODevice::ReadOnly) || fstat(file.handle(), &status) != 0)
        return identity;
    identity.m_Size = status.st_size;
    identity.m_Modified = ModifiedNanoseconds(status);
    identity.m_Digest = EdgeDigest(file.handle(), identity.m_Size, QByteArray());
    return identity;
}
}

Dovlin_VcdImport::Dovlin_VcdImport(Dovlin_ImportReporter *reporter)
    : m_Reporter(reporter)
{
}

qint64 Dovlin_ImportLimits::DefaultMemoryBudget()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize / 4 : qint64(1) << 30;
}

int Dovlin_ImportLimits::DefaultThreads()
{
    return qMax(1, QThread::idealThreadCount());
}

Dovlin_ImportLimits Dovlin_ImportLimits::FromEnvironment()
{
    Dovlin_ImportLimits limits;
    bool ok = false;
    const qint64 maxSignals = qEnvironmentVariable("DOVLIN_MAX_SIGNALS").toLongLong(&ok);
    if (ok && maxSignals > 0)
        limits.m_MaxSignals = maxSignals;
    const int threads = qEnvironmentVariable("DOVLIN_THREADS").toInt(&ok);
    if (ok && threads > 0)
        limits.m_Threads = threads;
    qint64 budget = 0;
    if (Dovlin_VcdImport::ParseSize(qEnvironmentVariable("DOVLIN_MEMORY_BUDGET"), budget))
        limits.m_MemoryBudget = budget;
    return limits;
}

bool Dovlin_VcdImport::ParseSize(const QString &text, qint64 &bytes)
{
    static const QRegularExpression size(QStringLiteral("^([0-9]+)([KMGT]?)B?$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = size.match(text.trimmed());
    if (!match.hasMatch())
        return false;
    bool ok = false;
    const qint64 number = match.captured(1).toLongLong(&ok);
    const int shift = 10 * int(QStringLiteral(" KMGT").indexOf(match.captured(2).toUpper()));
    if (!ok || (shift > 0 && number > (std::numeric_limits<qint64>::max() >> shift)))
        return false;
    bytes = number << qMax(0, shift);
    return true;
}

bool Dovlin_VcdImport::Fail(const QString &reason)
{
    m_ErrorString = reason;
    if (m_Reporter)
        m_Reporter->Error(QStringLiteral("Cannot import %1: %2").arg(m_VcdPath, reason));
    return false;
}

bool Dovlin_VcdImport::Cancel()
{
    m_Cancelled = true;
    m_ErrorString = QStringLiteral("cancelled");
    return false;
}

QString Dovlin_VcdImport::WaveFileFor(const QString &vcdPath)
{
    const QFileInfo info(vcdPath);
    // x.vcd and x.fst often lie side by side, one written from the other: each keeps a wave file.
    const bool fst = info.suffix().compare(QLatin1String("fst"), Qt::CaseInsensitive) == 0;
    return QDir::toNativeSeparators(info.absolutePath() + "/" + info.completeBaseName()) + (fst ? "-fst.dvn" : ".dvn");
}

QString Dovlin_VcdImport::CachedWaveFileFor(const QString &vcdPath)
{
    const QFileInfo info(vcdPath);
    const QString canonical = info.canonicalFilePath();
    const QByteArray key = (canonical.isEmpty() ? info.absoluteFilePath() : canonical).toUtf8();
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    return QDir::toNativeSeparators(folder + "/" + info.completeBaseName() + "-" + hash) + ".dvn";
}

bool Dovlin_VcdImport::IsCachedWaveFile(const QString &wavePath)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return !canonical.isEmpty() && QFileInfo(QFileInfo(wavePath).absolutePath()).canonicalFilePath() == canonical;
}

QString Dovlin_VcdImport::WaveFileToWrite(const QString &vcdPath)
{
    const QString beside = WaveFileFor(vcdPath);
    const QFileInfo wave(beside), folder(wave.absolutePath());
    // A read-only folder or file system, or anything at the path but a file we may write (a
    // folder, a link, a read-only file), sends the wave file to the cache.
    const bool free = !wave.exists() && !wave.isSymLink();
    if (folder.isDir() && folder.isWritable() && (free || (wave.isFile() && wave.isWritable())))
        return beside;
    const QString cached = CachedWaveFileFor(vcdPath);
    QDir().mkpath(QFileInfo(cached).absolutePath());
    return cached;
}

QString Dovlin_VcdImport::UpToDateWaveFile(const QString &vcdPath)
{
    for (const QString &wave : {WaveFileFor(vcdPath), CachedWaveFileFor(vcdPath)})
        if (WaveFileUpToDate(vcdPath, wave))
            return wave;
    return QString();
}

bool Dovlin_VcdImport::StartsLikeVcd(const QString &vcdPath)
{
    QFile file(vcdPath);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray head = file.read(1024);
    for (qsizetype i = head.indexOf('$'); i >= 0 && i + 1 < head.size(); i = head.indexOf('$', i + 1))
        if (std::isalpha(static_cast<unsigned char>(head[i + 1])))
            return true;
    return head.isEmpty();
}

bool Dovlin_VcdImport::WaveFileUpToDate(const QString &vcdPath, const QString &wavePath)
{
    return DumpUnchanged(vcdPath, RecordedDump(wavePath));
}

Dovlin_DumpIdentity Dovlin_VcdImport::RecordedDump(const QString &wavePath)
{
    Dovlin_FileManager model;
    return ReadWithoutEvents(wavePath, model, Dovlin_Format2Reader::DumpOnly) ? model.DumpIdentity() : Dovlin_DumpIdentity();
}

bool Dovlin_VcdImport::DumpUnchanged(const QString &vcdPath, const Dovlin_DumpIdentity &identity)
{
    QFile dump(vcdPath);
    struct stat status;
    if (!identity.IsKnown() || !QFileInfo(vcdPath).isFile() || !dump.open(QIODevice::ReadOnly)
        || fstat(dump.handle(), &status) != 0)
        return false;
    return status.st_size == identity.m_Size && ModifiedNanoseconds(status) == identity.m_Modified
           && EdgeDigest(dump.handle(), identity.m_Size, QByteArray()) == identity.m_Digest;
}

// Past a full disk, the reason says how much more space the import wants: the temporary event
// file grows with the part of the dump read, and the wave file, when it goes to the same
// directory, needs the unpacked size of those events beside it.
QString Dovlin_VcdImport::SpillFailure(const Dovlin_SpillFile &spill, qint64 bytesRead, qint64 dumpBytes) const
{
    if (!spill.DiskFull())
        return spill.ErrorString();
    const double share = bytesRead > 0 && dumpBytes > bytesRead ? double(dumpBytes) / double(bytesRead) : 1.0;
    const double spillBytes = double(spill.BytesWanted()) * share;
    double needed = spillBytes - double(spill.BytesWritten());
    if (QFileInfo(m_WaveFileName).absolutePath() == QFileInfo(spill.Directory()).absoluteFilePath())
        needed += double(spill.Boxes()) * double(Dovlin_SpillFile::m_BoxBytes) * share;
    const qint64 megabytes = qMax<qint64>(1, qint64(std::ceil(needed / (1 << 20))));
    return QStringLiteral("%1: %2 MB more needed").arg(spill.ErrorString()).arg(megabytes);
}

// The dump is closed after the parser, whose chunks' workers read it, is gone.
struct Dovlin_VcdImport::Run
{
    QElapsedTimer m_Timer;
    QFileInfo m_Info;
    // An FST file's changes, with the text of its declarations that the parser reads.
    std::unique_ptr<Dovlin_FstChanges> m_Fst;
    std::string m_Declarations;
    // The FST file as the import found it, before it was read: one still being written grows.
    Dovlin_DumpIdentity m_FstIdentity;
    std::unique_ptr<FILE, FileCloser> m_File;
    vcd_lex m_Lexer;
    vcd_yacc m_Parser;
    // The dump as the import opened it (see Prepare).
    struct stat m_Status;
    bool m_Stated = false;
    QByteArray m_Head;
    // The caller named the wave file; else it went to the cache for want of room beside the dump.
    bool m_WaveNamed = false;
    int m_Result = 0;
};

bool Dovlin_VcdImport::Convert(const QString &vcdPath, const QString &wavePath)
{
    m_VcdPath = vcdPath;
    m_ErrorString.clear();
    m_Cancelled = false;
    m_Stats = Dovlin_ImportStats();
    m_Started = QDateTime::currentDateTime().toMSecsSinceEpoch() * 1000000;
    // The wave file is put in place by a rename: a path that leads to the dump, under any name,
    // would lose the user's simulation result.
    const QString target = wavePath.isEmpty() ? WaveFileToWrite(vcdPath) : wavePath;
    if (Dovlin_FileIo::SameFile(vcdPath, target))
        return Fail(QStringLiteral("the wave file %1 is the dump itself, which is never overwritten")
                        .arg(QDir::toNativeSeparators(target)));
    const auto run = std::make_unique<Run>();
    run->m_Timer.start();
    if (Dovlin_FstReader::Recognises(vcdPath)) {
        run->m_FstIdentity = IdentityNow(vcdPath);
        run->m_Fst = std::make_unique<Dovlin_FstChanges>(m_Reporter);
        if (!run->m_Fst->Open(vcdPath))
            return Fail(run->m_Fst->ErrorString());
    }
    if (!Prepare(*run, wavePath) || !Parse(*run) || !Merge(*run) || !Write(*run))
        return false;
    Summarise(*run);
    return true;
}

// The scanner and the parser set up with the limits, the spill store and the dump opened.
bool Dovlin_VcdImport::Prepare(Run &run, const QString &wavePath)
{
    vcd_lex &lexer = run.m_Lexer;
    vcd_yacc &parser = run.m_Parser;
    Dovlin_FileManager &model = *parser.m_pFileManager;
    parser.SetReporter(m_Reporter);
    parser.SetVCDFileName(m_VcdPath);
    parser.m_WaveFileName = wavePath.isEmpty() ? WaveFileToWrite(m_VcdPath) : wavePath;
    m_WaveFileName = parser.m_WaveFileName;
    run.m_WaveNamed = !wavePath.isEmpty();
    const int threads = qMax(1, m_Limits.m_Threads);
    parser.SetStoringThreads(threads);
    // The budget covers what is on its way between the threads: the chunks read ahead, which
    // shrink with it, the changes queued for the storing threads and the boxes for the spill
    // store. What is left of it holds packed events.
    const qint64 budget = qMax<qint64>(0, m_Limits.m_MemoryBudget);
    const qint64 chunks = threads > 1 ? vcd_chunks::InFlight(threads, threads) : 0;
    constexpr qint64 MinChunkBytes = qint64(16) << 10, MaxChunkBytes = qint64(1) << 20;
    const qint64 chunkBytes =
        qBound(MinChunkBytes, budget / (4 * qMax<qint64>(1, chunks) * vcd_chunks::ChunkMemory(1)), MaxChunkBytes);
    // A storing thread is handed the parser's blocks and the records of the chunks.
    const qint64 handover = qMax<qint64>(vcd_changequeue::BlockBytes, chunks ? vcd_chunks::ChunkMemory(chunkBytes) : 0);
    const qint64 inFlight = qint64(threads) * vcd_changequeue::Blocks * qint64(vcd_changequeue::BlockBytes)
                            + Dovlin_SpillFile::BytesInFlight(threads) + chunks * vcd_chunks::ChunkMemory(chunkBytes)
                            + qint64(threads) * vcd_yacc::SortingMemory(handover);
    model.SetMemoryBudget(qMax<qint64>(0, budget - inFlight));
    // Events beyond the memory budget wait in a spill file until they are written, so a dump
    // larger than memory imports all the same. It goes to the temporary folder, so that the wave
    // file's folder needs room for the wave file alone, and beside the wave file when it cannot.
    // A temporary folder that does not exist reads as empty, which would mean the working folder.
    const bool packOnThread = threads > 1;
    const QString temporary = QDir::tempPath();
    if ((temporary.isEmpty() || !model.EnableSpill(temporary, packOnThread))
        && !model.EnableSpill(QFileInfo(m_WaveFileName).absolutePath(), packOnThread) && m_Reporter)
        m_Reporter->Warning(QStringLiteral("%1: %2; the events are kept in memory").arg(m_VcdPath, model.ErrorString()));
    if (m_Limits.m_MaxTokenLength > 0)
        lexer.yytextmax = m_Limits.m_MaxTokenLength;
    if (m_Limits.m_MaxSignals > 0)
        parser.SetMaxLeaves(m_Limits.m_MaxSignals);
    if (m_FastPath)
        parser.SetFastPath(&lexer);
    if (!parser.yycreate(&lexer) || !lexer.yycreate(&parser))
        return Fail(QStringLiteral("out of memory"));

    run.m_Info = QFileInfo(m_VcdPath);
    if (run.m_Info.isDir())
        return Fail(QStringLiteral("it is a directory"));
    errno = 0;
    if (run.m_Fst) {
        // The parser reads the declarations from their text and takes the changes from the blocks.
        run.m_Declarations = run.m_Fst->Declarations();
        run.m_File.reset(fmemopen(run.m_Declarations.data(), run.m_Declarations.size(), "rb"));
        if (!run.m_File)
            return Fail(QString::fromLocal8Bit(std::strerror(errno)));
        lexer.yyin = run.m_File.get();
        Dovlin_FstChanges &fst = *run.m_Fst;
        parser.SetBody([&fst, &parser] { return fst.Feed(parser); });
        return true;
    }
    run.m_File.reset(std::fopen(QFile::encodeName(m_VcdPath).constData(), "rb"));
    if (!run.m_File)
        return Fail(QString::fromLocal8Bit(std::strerror(errno)));
    lexer.yyin = run.m_File.get();
    lexer.SetProgress(m_Reporter, run.m_Info.size());
    const int descriptor = fileno(run.m_File.get());
    parser.SetDumpFile(descriptor, run.m_Info.size(), chunkBytes);
    // The dump as the import opens it: its time now, so that a dump written on while it is read
    // does not count as converted, and its first bytes, which a growing dump keeps.
    run.m_Stated = fstat(descriptor, &run.m_Status) == 0;
    if (run.m_Stated)
        ReadAt(descriptor, 0, qMin<qint64>(run.m_Status.st_size, Dovlin_DumpIdentity::m_EdgeBytes), run.m_Head);
    return true;
}

// The dump read, its value changes stored by the storing threads.
bool Dovlin_VcdImport::Parse(Run &run)
{
    run.m_Result = run.m_Parser.yyparse();
    return run.m_Lexer.Cancelled() || (run.m_Fst && run.m_Fst->Cancelled()) ? Cancel() : true;
}

// What the threads left settled: the spill store caught up, the problems told, the parse's verdict.
bool Dovlin_VcdImport::Merge(Run &run)
{
    vcd_lex &lexer = run.m_Lexer;
    vcd_yacc &parser = run.m_Parser;
    if (const Dovlin_SpillFile *spill = parser.m_pFileManager->SpillFile(); spill && !spill->Finish())
        return Fail(SpillFailure(*spill, run.m_Fst ? run.m_Fst->BytesRead() : lexer.BytesRead(), run.m_Info.size()));
    parser.ReportProblems();
    if (lexer.ReadFailed())
        return Fail(QStringLiteral("read error after %1 bytes: %2")
                        .arg(lexer.BytesRead())
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (lexer.yyfailed())
        return Fail(QStringLiteral("line %1: a word longer than %2 bytes (%3)")
                        .arg(lexer.yylineno)
                        .arg(lexer.yytextmax)
                        .arg(QString::fromLatin1(lexer.yyfailure())));
    if (run.m_Result != 0)
        return Fail(parser.ErrorString());
    // A document without a signal would only show an empty time axis.
    if (parser.m_pFileManager->GetnSignal() == 0)
        return Fail(QStringLiteral("it holds no signals"));
    return true;
}

bool Dovlin_VcdImport::Write(Run &run)
{
    vcd_yacc &parser = run.m_Parser;
    Dovlin_FileManager &model = *parser.m_pFileManager;
    if (run.m_Fst) {
        model.SetDumpIdentity(run.m_FstIdentity);
    } else if (run.m_Stated) {
        Dovlin_DumpIdentity dump;
        dump.m_Size = run.m_Lexer.BytesRead();
        dump.m_Modified = ModifiedNanoseconds(run.m_Status);
        dump.m_Digest = EdgeDigest(fileno(run.m_File.get()), dump.m_Size, run.m_Head);
        model.SetDumpIdentity(dump);
    }
    CarryOverViewFlags(m_WaveFileName, model);
    Dovlin_ReplacingFile::RemoveStale(QFileInfo(m_WaveFileName).absolutePath(), m_Started);
    model.SetWriteThreads(qMax(1, m_Limits.m_Threads));
    bool declined = false;
    if (m_Reporter)
        model.SetWriteProgress([&](qint64 written, qint64 total) {
            declined = !m_Reporter->WriteProgress(written, total);
            return !declined;
        });
    if (parser.Convert(m_Format))
        return true;
    if (declined)
        return Cancel();
    if (!run.m_WaveNamed && m_WaveFileName != WaveFileFor(m_VcdPath))
        return Fail(QStringLiteral("cannot write %1, nor %2: %3")
                        .arg(WaveFileFor(m_VcdPath), m_WaveFileName, parser.ErrorString()));
    return Fail(QStringLiteral("cannot write %1: %2").arg(m_WaveFileName, parser.ErrorString()));
}

void Dovlin_VcdImport::Summarise(const Run &run)
{
    const Dovlin_FileManager &model = *run.m_Parser.m_pFileManager;
    m_Stats.m_nSignal = model.GetnSignal();
    m_Stats.m_nHierarchy = model.GetnHierarchy();
    m_Stats.m_nEvent = run.m_Parser.StoredChanges();
    m_Stats.m_TimeBase = model.GetTimeBase();
    m_Stats.m_Bytes = run.m_Info.size();
    m_Stats.m_Seconds = run.m_Timer.elapsed() / 1000.0;
}
