// A failed write, read, sync or rename of an import or a save, through the file seam at a chosen
// call, fails it with the file and the reason and leaves an older wave file as it was; an open
// document whose file is cut short or written over says so once and reloads it on request.
#include "Dovlin_Dialogs.h"
#include "Dovlin_FileIo.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_MainWindow.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_VcdImport.h"
#include "DovlinWidget.h"
#include "scopedseams.h"
#include "testfiles.h"
#include "tst_vcdimport_support.h"

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/mount.h>
#include <sys/time.h>

namespace {

// No events are kept in memory: every full box goes to the temporary event file. One thread, so
// that the calls of every run come in the same order and the n-th of them can be failed.
Dovlin_ImportLimits Limits()
{
    Dovlin_ImportLimits limits;
    limits.m_MemoryBudget = 0;
    limits.m_Threads = 1;
    return limits;
}

enum Call { SpillWrite, WaveWrite, SpillRead, SyncCall, RenameCall, FolderSyncCall, Calls };

// Counts the calls of each kind, and fails the failAt-th call of one kind (from 1 on) with error.
// A short fault first writes half of what the failing call asks and fails the call after it, as
// a disk does when it fills in the middle of a write. With a cap, every write takes at most cap
// bytes, every read gives back at most cap bytes, and nothing fails.
class FaultyIo : public Dovlin_FileIo
{
public:
    Call m_Call = Calls;
    int m_FailAt = 0;
    int m_Error = 0;
    bool m_Short = false;
    size_t m_Cap = 0;
    // What FreeBytes answers; below -1 the system's answer.
    qint64 m_FreeBytes = -2;
    int m_Count[Calls] = {};

    qint64 FreeBytes(const QString &directory) override { return m_FreeBytes < -1 ? Dovlin_FileIo::FreeBytes(directory) : m_FreeBytes; }

    ssize_t Write(Target target, int descriptor, const void *data, size_t size) override
    {
        const Call call = target == SpillFile ? SpillWrite : WaveWrite;
        if (Hit(call)) {
            if (!m_Short || size < 2)
                return Failure();
            m_Short = false;
            ++m_FailAt;
            size /= 2;
        }
        return Dovlin_FileIo::Write(target, descriptor, data, m_Cap ? qMin(size, m_Cap) : size);
    }
    ssize_t ReadAt(int descriptor, void *data, size_t size, off_t offset) override
    {
        if (!Hit(SpillRead))
            return Dovlin_FileIo::ReadAt(descriptor, data, m_Cap ? qMin(size, m_Cap) : size, offset);
        return m_Error ? Failure() : 0;
    }
    int Sync(int descriptor) override { return Hit(SyncCall) ? int(Failure()) : Dovlin_FileIo::Sync(descriptor); }
    int Rename(const char *from, const char *to) override { return Hit(RenameCall) ? int(Failure()) : Dovlin_FileIo::Rename(from, to); }
    int SyncFolder(const char *folder) override { return Hit(FolderSyncCall) ? int(Failure()) : Dovlin_FileIo::SyncFolder(folder); }

private:
    bool Hit(Call call) { return ++m_Count[call] == m_FailAt && call == m_Call; }
    ssize_t Failure()
    {
        errno = m_Error;
        return -1;
    }
};

using TestFiles::ReadAll;

// 16 one-bit wires toggling at each of 80000 time stamps: about 40000 boxes of events, enough
// for several writes of the temporary event file.
QByteArray Dump()
{
    // Integers of scattered values: packed, their events still fill many blocks of the event file.
    QByteArray vcd("$timescale 1ns $end\n$scope module top $end\n");
    for (char id = 'a'; id < 'a' + 16; ++id)
        vcd += QByteArray("$var integer 32 ") + id + " w" + id + " $end\n";
    vcd += "$upscope $end\n$enddefinitions $end\n";
    quint32 value = 1;
    for (int t = 0; t < 20000; ++t) {
        vcd += '#' + QByteArray::number(t) + '\n';
        for (char id = 'a'; id < 'a' + 16; ++id) {
            value = value * 1664525u + 1013904223u;
            vcd += 'b' + QByteArray::number(value, 2) + ' ' + id + '\n';
        }
    }
    return vcd;
}

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

class tst_Faults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_VcdPath = m_Dir.filePath(QStringLiteral("dump.vcd"));
        QVERIFY(TestFiles::WriteFile(m_VcdPath, Dump()));

        QString error;
        FaultyIo counter;
        QVERIFY2(Run(counter, true, m_Dir.path(), error), qPrintable(error));
        std::copy_n(counter.m_Count, int(Calls), m_ImportCalls);
        QVERIFY(QFile::rename(m_Dir.filePath(QStringLiteral("wave.dvn")), m_Dir.filePath(QStringLiteral("reference.dvn"))));
        m_Reference = ReadAll(m_Dir.filePath(QStringLiteral("reference.dvn")));

        FaultyIo saveCounter;
        QVERIFY2(Run(saveCounter, false, m_Dir.path(), error), qPrintable(error));
        std::copy_n(saveCounter.m_Count, int(Calls), m_SaveCalls);
        QVERIFY(ReadAll(m_Dir.filePath(QStringLiteral("wave.dvn"))) == m_Reference);
        QVERIFY(QFile::remove(m_Dir.filePath(QStringLiteral("wave.dvn"))));
        // The dump does exercise each kind of call, and the spill file more than twice.
        QVERIFY2(m_ImportCalls[SpillWrite] >= 3 && m_ImportCalls[SpillRead] >= 3, qPrintable(QString::number(m_ImportCalls[SpillWrite])));
        QVERIFY(m_ImportCalls[WaveWrite] >= 3 && m_ImportCalls[SyncCall] == 1 && m_ImportCalls[RenameCall] == 1
                && m_ImportCalls[FolderSyncCall] == 1);
        QVERIFY(m_SaveCalls[WaveWrite] >= 3 && m_SaveCalls[SpillWrite] == 0);
    }

    void failedCall_data()
    {
        QTest::addColumn<bool>("import");
        QTest::addColumn<int>("call");
        QTest::addColumn<int>("position"); // 0 the first call, 1 a middle one, 2 the last
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("shortFirst");
        const struct { const char *name; bool import; Call call; } sites[] = {
            {"import, event file write", true, SpillWrite}, {"import, event file read", true, SpillRead},
            {"import, wave file write", true, WaveWrite},   {"import, wave file sync", true, SyncCall},
            {"import, wave file rename", true, RenameCall}, {"save, wave file write", false, WaveWrite},
            {"save, wave file sync", false, SyncCall},      {"save, wave file rename", false, RenameCall}};
        const char *positions[] = {"first", "middle", "last"};
        for (const auto &site : sites) {
            const bool single = site.call == SyncCall || site.call == RenameCall;
            for (int position = 0; position < (single ? 1 : 3); ++position) {
                const QByteArray name = QByteArray(site.name) + ", " + positions[position];
                if (site.call == SpillRead) {
                    QTest::newRow(name + ", EIO") << site.import << int(site.call) << position << EIO << false;
                    QTest::newRow(name + ", end of file") << site.import << int(site.call) << position << 0 << false;
                    continue;
                }
                QTest::newRow(name + ", ENOSPC") << site.import << int(site.call) << position << ENOSPC << false;
                QTest::newRow(name + ", EIO") << site.import << int(site.call) << position << EIO << false;
                if (site.call == SpillWrite || site.call == WaveWrite)
                    QTest::newRow(name + ", short, then ENOSPC") << site.import << int(site.call) << position << ENOSPC << true;
            }
        }
        QTest::newRow("import, folder sync, EIO") << true << int(FolderSyncCall) << 0 << EIO << false;
    }

    void failedCall()
    {
        QFETCH(bool, import);
        QFETCH(int, call);
        QFETCH(int, position);
        QFETCH(int, error);
        QFETCH(bool, shortFirst);

        // An older wave file of other content is there before.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wave.dvn"));
        const QByteArray older = m_Reference.left(m_Reference.size() / 2);
        QVERIFY(TestFiles::WriteFile(path, older));

        const int calls = (import ? m_ImportCalls : m_SaveCalls)[call];
        FaultyIo io;
        io.m_Call = Call(call);
        io.m_FailAt = position == 0 ? 1 : position == 1 ? (calls + 1) / 2 : calls;
        io.m_Error = error;
        io.m_Short = shortFirst;
        QString reason;
        QVERIFY2(!Run(io, import, dir.path(), reason), "the failure went unnoticed");
        QCOMPARE(io.m_Count[call], io.m_FailAt);

        // Past the rename the new file is in place; only its durability is unknown.
        const bool renamed = call == FolderSyncCall;
        if (renamed) {
            QCOMPARE(reason, QStringLiteral("cannot write %1: %1 was written but its folder could not be synced: %2")
                                 .arg(path, Reason(error)));
        } else if (call == SpillWrite && error == ENOSPC) {
            const QString expected = QStringLiteral("disk full while writing the temporary event file in %1: ").arg(dir.path());
            QVERIFY2(reason.contains(expected) && reason.contains(QRegularExpression(QStringLiteral(": [1-9][0-9]* MB more needed$"))),
                     qPrintable(reason));
        } else if (call == WaveWrite && error == ENOSPC) {
            // As much as the wave file still needed, about: at most its whole size.
            const QRegularExpressionMatch needed =
                QRegularExpression(QStringLiteral("^disk full while writing %1: ([0-9]+) MB more needed$")
                                       .arg(QRegularExpression::escape(path)))
                    .match(reason.mid(reason.indexOf(QStringLiteral("disk full"))));
            QVERIFY2(needed.hasMatch(), qPrintable(reason));
            QVERIFY(needed.captured(1).toLongLong() >= 1);
            QVERIFY(needed.captured(1).toLongLong() <= (m_Reference.size() >> 20) + 1);
        } else {
            QVERIFY2(reason.contains(error ? Reason(error) : QStringLiteral("ended early")), qPrintable(reason));
            QVERIFY2(reason.contains(call == SpillRead || call == SpillWrite ? dir.path() : path), qPrintable(reason));
        }
        QVERIFY(ReadAll(path) == (renamed ? m_Reference : older));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{QStringLiteral("wave.dvn")});
    }

    // Writes that take a few bytes at a time and reads that give back a few still make the same file.
    void shortWritesAndReads()
    {
        for (const bool import : {true, false}) {
            QTemporaryDir dir;
            FaultyIo io;
            io.m_Cap = 1000;
            QString error;
            QVERIFY2(Run(io, import, dir.path(), error), qPrintable(error));
            QVERIFY(ReadAll(dir.filePath(QStringLiteral("wave.dvn"))) == m_Reference);
        }
    }

    // A folder without room for the wave file is refused before anything is written, with the space
    // it needs; an unknown free space (-1) lets the writing go ahead.
    void notEnoughRoom()
    {
        for (const bool import : {true, false}) {
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("wave.dvn"));
            const QByteArray older("an older wave file");
            QVERIFY(TestFiles::WriteFile(path, older));
            FaultyIo io;
            io.m_FreeBytes = m_Reference.size() / 2;
            QString error;
            QVERIFY(!Run(io, import, dir.path(), error));
            const QRegularExpressionMatch needs =
                QRegularExpression(QStringLiteral("not enough space in %1 for wave.dvn: it needs ([0-9]+) MB, %2 MB are free")
                                       .arg(QRegularExpression::escape(dir.path()))
                                       .arg(io.m_FreeBytes >> 20))
                    .match(error);
            QVERIFY2(needs.hasMatch(), qPrintable(error));
            // The size is reckoned before writing: the file's own, give or take a closing box a signal.
            QVERIFY(qAbs(needs.captured(1).toLongLong() - (m_Reference.size() >> 20)) <= 1);
            QCOMPARE(io.m_Count[WaveWrite], 0);
            QVERIFY(ReadAll(path) == older);
            io.m_FreeBytes = -1;
            QVERIFY2(Run(io, import, dir.path(), error), qPrintable(error));
            QVERIFY(ReadAll(path) == m_Reference);
        }
    }

    // The temporary event file goes to the temporary folder, and beside the wave file only when the
    // temporary folder cannot take it: a failed write of it names the folder it is in.
    void spillFolder_data()
    {
        QTest::addColumn<bool>("temporaryExists");
        QTest::newRow("temporary folder") << true;
        QTest::newRow("beside the wave file") << false;
    }

    void spillFolder()
    {
        QFETCH(bool, temporaryExists);
        QTemporaryDir out, temporary;
        FaultyIo io;
        io.m_Call = SpillWrite;
        io.m_FailAt = 1;
        io.m_Error = EIO;
        RecordingReporter reporter;
        Dovlin_VcdImport importer(&reporter);
        importer.SetLimits(Limits());
        {
            const ScopedFileIo installed(&io);
            const ScopedEnvironment folder(
                "TMPDIR", QFile::encodeName(temporaryExists ? temporary.path() : temporary.filePath(QStringLiteral("missing"))));
            QVERIFY(!importer.Convert(m_VcdPath, out.filePath(QStringLiteral("wave.dvn"))));
        }
        QCOMPARE(importer.ErrorString(), QStringLiteral("cannot write the temporary event file in %1: %2")
                                             .arg(temporaryExists ? temporary.path() : out.path(), Reason(EIO)));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
    }

    // A file system with room for the wave file but not for the temporary event file beside it takes
    // the import; one without room for the wave file is refused before a byte is written, with the
    // size it needs.
    void roomForWaveFileAlone()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")));
        const QByteArray mountPoint = QFile::encodeName(out);
        // Room for one wave file and half another.
        const QByteArray size = "size=" + QByteArray::number(m_Reference.size() * 3 / 2 / 1024 + 64) + "k";
        if (mount("tmpfs", mountPoint.constData(), "tmpfs", 0, size.constData()) != 0)
            QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: ") + Reason(errno)));
        const auto unmount = qScopeGuard([&] { umount2(mountPoint.constData(), MNT_DETACH); });

        const ScopedEnvironment temporary("TMPDIR", QFile::encodeName(dir.path()));
        RecordingReporter reporter;
        Dovlin_VcdImport importer(&reporter);
        importer.SetLimits(Limits());
        QVERIFY2(importer.Convert(m_VcdPath, out + QStringLiteral("/wave.dvn")), qPrintable(importer.ErrorString()));
        QVERIFY(ReadAll(out + QStringLiteral("/wave.dvn")) == m_Reference);
        QVERIFY(!importer.Convert(m_VcdPath, out + QStringLiteral("/again.dvn")));
        const QRegularExpressionMatch needs =
            QRegularExpression(QStringLiteral("not enough space in %1 for again.dvn: it needs ([0-9]+) MB, [0-4] MB are free$")
                                   .arg(QRegularExpression::escape(out)))
                .match(importer.ErrorString());
        QVERIFY2(needs.hasMatch(), qPrintable(importer.ErrorString()));
        QVERIFY(qAbs(needs.captured(1).toLongLong() - (m_Reference.size() >> 20)) <= 1);
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{QStringLiteral("wave.dvn")});
    }

    void openFileChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("lost");
        QTest::newRow("cut short") << "cut" << true;
        QTest::newRow("written over in place") << "write" << true;
        QTest::newRow("replaced by a rename") << "rename" << false;
    }

    void openFileChanged()
    {
        QFETCH(QString, change);
        QFETCH(bool, lost);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wave.dvn"));
        const QString savePath = dir.filePath(QStringLiteral("saved.dvn"));
        QVERIFY(QFile::copy(m_Dir.filePath(QStringLiteral("reference.dvn")), path));
        // Made an hour old, so that a write in the same clock tick still changes the file's time.
        const timeval past[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        QVERIFY(utimes(QFile::encodeName(path).constData(), past) == 0);

        QStringList messages;
        Dovlin_Dialogs::setMessageHandler([&](QWidget *, const Dovlin_Dialogs::Message &message) {
            messages << message.text;
            return QMessageBox::Ok;
        });
        const auto restore = qScopeGuard([] { Dovlin_Dialogs::setMessageHandler({}); });
        Dovlin_MainWindow window;
        window.resize(1000, 700);
        window.show();
        QVERIFY(window.DoFileOpen(path));
        auto *document = window.findChild<DovlinWidget *>();
        QVERIFY(document);
        document->grab();
        QVERIFY(!document->isFileLost());

        if (change == QLatin1String("cut")) {
            QVERIFY(QFile::resize(path, m_Reference.size() / 4));
        } else if (change == QLatin1String("write")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(m_Reference.size() / 2) && file.write(QByteArray(64, 'x')) == 64);
        } else {
            const QString other = dir.filePath(QStringLiteral("other.dvn"));
            QVERIFY(TestFiles::WriteFile(other, m_Reference.left(m_Reference.size() / 2)));
            QVERIFY(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
        }

        // Drawing, zooming, scrolling and moving cursors go on; the change is told once.
        for (int round = 0; round < 2; ++round) {
            document->grab();
            document->zoomIn();
            document->nextTrans();
            document->zoomOut();
            document->prevTrans();
            document->addCursor();
            document->setCursorTime(0, m_Reference.size());
            document->zoomFull();
            document->grab();
            QCoreApplication::processEvents();
        }
        QCOMPARE(document->isFileLost(), lost);
        QCOMPARE(document->shapeWidget()->isVisibleTo(document), !lost);
        QCOMPARE(messages.size(), lost ? 1 : 0);
        if (lost)
            QVERIFY2(messages.first().contains(path) && messages.first().contains(QLatin1String("cut short")), qPrintable(messages.first()));

        // Save As refuses what can no longer be read; the renamed-over document still holds its events.
        QCOMPARE(document->saveFile(savePath), !lost);
        if (lost) {
            QVERIFY2(document->errorString().contains(path), qPrintable(document->errorString()));
            QVERIFY(!QFile::exists(savePath));
            // Reload opens the file as it is now.
            QVERIFY(QFile::remove(path) && QFile::copy(m_Dir.filePath(QStringLiteral("reference.dvn")), path));
            QPushButton *reload = document->findChild<QPushButton *>("lostReloadButton");
            QVERIFY(reload);
            reload->click();
            QCOMPARE(window.findChildren<DovlinWidget *>(), QList<DovlinWidget *>{document});
            document->grab();
            QVERIFY(!document->isFileLost());
            QVERIFY(document->shapeWidget()->isVisibleTo(document));
            QVERIFY(document->saveFile(savePath));
        }
        // The saved file is the reference with the document's view besides.
        Dovlin_FileManager saved;
        QVERIFY(saved.Load(savePath) && saved.SavedView().m_Present);
        saved.SetSavedView({});
        QVERIFY(saved.Save(dir.filePath(QStringLiteral("again.dvn"))));
        QVERIFY(ReadAll(dir.filePath(QStringLiteral("again.dvn"))) == m_Reference);
        QCOMPARE(messages.size(), lost ? 1 : 0);
    }

private:
    // Imports the dump, or loads the reference wave file and saves it, into dir/wave.dvn, through io.
    bool Run(FaultyIo &io, bool import, const QString &dir, QString &error)
    {
        const ScopedFileIo installed(&io);
        const QString path = dir + QStringLiteral("/wave.dvn");
        if (import) {
            // The temporary folder, where the import puts its temporary event file.
            const ScopedEnvironment temporary("TMPDIR", QFile::encodeName(dir));
            RecordingReporter reporter;
            Dovlin_VcdImport importer(&reporter);
            importer.SetLimits(Limits());
            const bool converted = importer.Convert(m_VcdPath, path);
            error = importer.ErrorString();
            return converted;
        }
        Dovlin_FileManager model;
        if (!model.Load(m_Dir.filePath(QStringLiteral("reference.dvn")))) {
            error = model.ErrorString();
            return false;
        }
        const bool saved = model.Save(path);
        error = model.ErrorString();
        return saved;
    }

    QTemporaryDir m_Dir;
    QString m_VcdPath;
    QByteArray m_Reference;
    // Calls of each kind in a clean import and a clean save.
    int m_ImportCalls[Calls] = {};
    int m_SaveCalls[Calls] = {};
};

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
