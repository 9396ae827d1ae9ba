// Saving never leaves a damaged wave file: a save killed at any point leaves the complete old or
// new file (failed writes and a file cut under an open document are in tst_faults). Children are
// this executable with --save-loop.
#include "Dovlin_FileIo.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"
#include "Dovlin_VcdImport.h"
#include "scopedseams.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <cstring>

#include <sys/time.h>

namespace {

constexpr int Kills = 200;
// About 2 MB, so that a save takes long enough for kills to land inside it; seeds 1 and 2 give
// the old and the new file: the same size, different bytes.
constexpr int BigSignals = 64, BigEvents = 2000;

void Build(Dovlin_FileManager &model, int nSignal, int nEvent, quint32 seed)
{
    QRandomGenerator random(seed);
    model.SetTimeBase(-9);
    auto *top = &model.AddNode<Dovlin_CompositeHierarchy>(QStringLiteral("top"));
    for (int s = 0; s < nSignal; ++s) {
        auto *signal = &model.AddSignal<Dovlin_IntSignal>();
        for (int e = 0; e < nEvent; ++e)
            signal->AddEvent(qint64(e) * 10, qint64(random.generate64()));
        auto *leaf = &model.AddNode<Dovlin_ScalarHierarchy>(QStringLiteral("s%1").arg(s));
        leaf->SetSignal(signal);
        top->AddHierarchy(leaf);
    }
}

using TestFiles::ReadAll;

// The child: saves the new and the old model over path, in turn, until it is killed.
int SaveLoop(const QString &path)
{
    Dovlin_FileManager oldModel, newModel;
    Build(oldModel, BigSignals, BigEvents, 1);
    Build(newModel, BigSignals, BigEvents, 2);
    std::printf("ready\n");
    std::fflush(stdout);
    while (newModel.Save(path) && oldModel.Save(path)) {
    }
    std::printf("save failed: %s\n", qUtf8Printable(newModel.ErrorString() + oldModel.ErrorString()));
    return 1;
}

// The wave file's calls in their order, a run of writes as one.
class RecordingIo : public Dovlin_FileIo
{
public:
    QStringList m_Calls;

    ssize_t Write(Target target, int descriptor, const void *data, size_t size) override
    {
        if (target == WaveFile && m_Calls.value(m_Calls.size() - 1) != QLatin1String("write"))
            m_Calls << QStringLiteral("write");
        return Dovlin_FileIo::Write(target, descriptor, data, size);
    }
    int Sync(int descriptor) override { return m_Calls << "sync", Dovlin_FileIo::Sync(descriptor); }
    int Rename(const char *from, const char *to) override { return m_Calls << "rename", Dovlin_FileIo::Rename(from, to); }
    int SyncFolder(const char *folder) override { return m_Calls << "sync folder", Dovlin_FileIo::SyncFolder(folder); }
};

} // namespace

class tst_SafeSave : public QObject
{
    Q_OBJECT

private slots:
    void killedWhileSaving()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wave.dvn"));
        Dovlin_FileManager oldModel, newModel;
        Build(oldModel, BigSignals, BigEvents, 1);
        Build(newModel, BigSignals, BigEvents, 2);
        QVERIFY(newModel.Save(path));
        const QByteArray newBytes = ReadAll(path);
        QVERIFY(oldModel.Save(path));
        const QByteArray oldBytes = ReadAll(path);
        QVERIFY(!oldBytes.isEmpty() && oldBytes != newBytes);

        // Kills spread over the time of a few saves, so that they land in every part of one.
        QElapsedTimer timer;
        timer.start();
        QVERIFY(oldModel.Save(path));
        const int window = int(qMax<qint64>(1, timer.nsecsElapsed() / 1000)) * 4;

        int oldSeen = 0, newSeen = 0;
        QRandomGenerator random(20261206);
        for (int kill = 0; kill < Kills; ++kill) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save-loop"), path});
            QVERIFY2(child.waitForReadyRead(60000), qPrintable(child.errorString()));
            QCOMPARE(child.readLine(), QByteArray("ready\n"));
            QThread::usleep(random.bounded(window));
            child.kill();
            QVERIFY(child.waitForFinished(60000));
            QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAll().constData());

            const QByteArray bytes = ReadAll(path);
            QVERIFY2(bytes == oldBytes || bytes == newBytes, qPrintable(QStringLiteral("after kill %1").arg(kill)));
            ++(bytes == oldBytes ? oldSeen : newSeen);
            // A kill between linking the finished temporary file and renaming it over the target
            // leaves that file behind: complete, never a part of one.
            for (const QString &stray : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden)) {
                const QByteArray strayBytes = ReadAll(dir.filePath(stray));
                QVERIFY2(strayBytes == oldBytes || strayBytes == newBytes, qPrintable(stray));
                QVERIFY(stray == QLatin1String("wave.dvn") || QFile::remove(dir.filePath(stray)));
            }
        }
        // Both versions were caught: the kills did land while saves replaced the file.
        QVERIFY2(oldSeen > 0 && newSeen > 0, qPrintable(QStringLiteral("old %1, new %2").arg(oldSeen).arg(newSeen)));
    }

    // The wave file is on the disk before it takes the old one's name, and that name is on the disk
    // before the import counts as done.
    void syncedBeforeRenamed()
    {
        QTemporaryDir dir;
        const QString dump = dir.filePath(QStringLiteral("dump.vcd"));
        QVERIFY(TestFiles::WriteFile(dump, "$var wire 1 ! a $end\n#0 0!\n#5 1!\n"));
        RecordingIo io;
        const ScopedFileIo installed(&io);
        Dovlin_VcdImport importer(nullptr);
        QVERIFY2(importer.Convert(dump), qPrintable(importer.ErrorString()));
        QCOMPARE(io.m_Calls, QStringList({"write", "sync", "rename", "sync folder"}));
    }

    // What a killed write leaves is removed by a later one; nothing else is.
    void staleTemporaries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind"); // "file", "folder" or "link"
        QTest::addColumn<int>("age");      // seconds it was last written before the cleaning write began
        QTest::addColumn<bool>("removed");
        QTest::newRow("ours, stale") << ".wave.dvn.0badf00d" << "file" << 3600 << true;
        QTest::newRow("ours, still being written") << ".wave.dvn.0badf00d" << "file" << -5 << false;
        QTest::newRow("another suffix") << ".wave.vcd.0badf00d" << "file" << 3600 << false;
        QTest::newRow("a folder") << ".wave.dvn.0badf00d" << "folder" << 3600 << false;
        QTest::newRow("a link") << ".wave.dvn.0badf00d" << "link" << 3600 << false;
    }

    void staleTemporaries()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(int, age);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const QString path = dir.filePath(name), other = dir.filePath("wave.dvn");
        QVERIFY(TestFiles::WriteFile(kind == "file" ? path : other, "x"));
        if (kind == "folder")
            QVERIFY(QDir(dir.path()).mkdir(name));
        else if (kind == "link")
            QVERIFY(QFile::link(other, path));
        // The cleaning write begins later than the file was made: its change time cannot be set back.
        const QDateTime begun = QDateTime::currentDateTime().addSecs(60);
        const timeval times[2] = {{begun.toSecsSinceEpoch() - age, 0}, {begun.toSecsSinceEpoch() - age, 0}};
        QCOMPARE(::lutimes(QFile::encodeName(path).constData(), times), 0);
        QCOMPARE(Dovlin_ReplacingFile::RemoveStale(dir.path(), begun.toMSecsSinceEpoch() * 1000000), removed ? 1 : 0);
        QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), !removed);
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--save-loop") == 0)
        return SaveLoop(QString::fromLocal8Bit(argv[2]));
    QCoreApplication application(argc, argv);
    tst_SafeSave test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_safesave.moc"
