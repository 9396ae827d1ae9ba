// Saving never leaves a damaged wave file: a save killed at any point leaves the complete old or
// new file, a save out of space reports it and keeps the old file, and a document whose file is
// cut short neither crashes nor saves damage. Children are this executable with --save-loop/--save-cut.
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_Signals.h"
#include "Dovlin_VcdImport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

constexpr int Kills = 200;
// About 2 MB, so that a save takes long enough for kills to land inside it; seeds 1 and 2 give
// the old and the new file: the same size, different bytes.
constexpr int BigSignals = 64, BigEvents = 2000;

void Build(Dovlin_FileManager &model, int nSignal, int nEvent, quint32 seed)
{
    QRandomGenerator random(seed);
    model.SetTimeBase(-9);
    auto *top = new Dovlin_CompositeHierarchy(&model);
    top->SetName(QStringLiteral("top"));
    for (int s = 0; s < nSignal; ++s) {
        auto *signal = new Dovlin_IntSignal(&model);
        for (int e = 0; e < nEvent; ++e)
            signal->AddEvent(qint64(e) * 10, qint64(random.generate64()));
        auto *leaf = new Dovlin_ScalarHierarchy(&model);
        leaf->SetName(QStringLiteral("s%1").arg(s));
        leaf->SetSignal(signal);
        top->AddHierarchy(leaf);
    }
}

QByteArray Serialized(quint32 seed)
{
    Dovlin_FileManager model;
    Build(model, BigSignals, BigEvents, seed);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && model.SaveAll(&buffer) ? bytes : QByteArray();
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

// The child of fileCutWhileOpen: opens the wave file as a document does, cuts it to a quarter as
// another program might, asks every value and saves to savePath; prints "saved" or "refused: <reason>".
int SaveCutFile(const QString &path, const QString &savePath)
{
    Dovlin_FileManager model;
    QFile file(path);
    if (!model.Load(path) || !file.resize(file.size() / 4)) {
        std::printf("cannot load or cut the file: %s\n", qUtf8Printable(model.ErrorString()));
        return 1;
    }
    for (int h = 0; h < model.GetnHierarchy(); ++h)
        model.GetHierarchy(h)->GetSignalState(model.GetEndTime());
    if (model.Save(savePath))
        std::printf("saved\n");
    else
        std::printf("refused: %s\n", qUtf8Printable(model.ErrorString()));
    return 0;
}

class SilentReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &text) override { m_Errors << text; }
    void Warning(const QString &) override {}
    QStringList m_Errors;
};

} // namespace

class tst_SafeSave : public QObject
{
    Q_OBJECT

private slots:
    void killedWhileSaving();
    void outOfSpace_data();
    void outOfSpace();
    void fileCutWhileOpen();
};

void tst_SafeSave::killedWhileSaving()
{
    const QByteArray oldBytes = Serialized(1), newBytes = Serialized(2);
    QVERIFY(!oldBytes.isEmpty() && oldBytes != newBytes);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wave.dvn"));
    Dovlin_FileManager oldModel;
    Build(oldModel, BigSignals, BigEvents, 1);
    QVERIFY(oldModel.Save(path));

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

void tst_SafeSave::outOfSpace_data()
{
    QTest::addColumn<bool>("import");
    QTest::addColumn<bool>("fileSystem"); // a full tmpfs; else a file size limit
    QTest::newRow("document save, file size limit") << false << false;
    QTest::newRow("document save, full file system") << false << true;
    QTest::newRow("import, file size limit") << true << false;
    QTest::newRow("import, full file system") << true << true;
}

// The old wave file, about 0.2 MB, is replaced by one of about 1 MB that does not fit.
void tst_SafeSave::outOfSpace()
{
    QFETCH(bool, import);
    QFETCH(bool, fileSystem);

    QTemporaryDir dir;
    const QString waveDir = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")));
    const QByteArray mountPoint = QFile::encodeName(waveDir);
    bool mounted = false;
    const auto unmount = qScopeGuard([&] {
        if (mounted)
            umount2(mountPoint.constData(), MNT_DETACH);
    });
    if (fileSystem) {
        mounted = mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=512k") == 0;
        if (!mounted)
            QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: ") + QString::fromLocal8Bit(std::strerror(errno))));
    }
    const QString path = waveDir + QStringLiteral("/wave.dvn");
    Dovlin_FileManager oldModel;
    Build(oldModel, 16, 800, 3);
    QVERIFY2(oldModel.Save(path), qPrintable(oldModel.ErrorString()));
    const QByteArray oldBytes = ReadAll(path);
    QVERIFY(oldBytes.size() > 100000);

    // 64 one-bit wires, each changing at every one of 500 time stamps.
    QByteArray vcd("$timescale 1ns $end\n$scope module top $end\n"), changes[2];
    for (int s = 0; s < 64; ++s) {
        vcd += "$var wire 1 s" + QByteArray::number(s) + " w" + QByteArray::number(s) + " $end\n";
        for (int t = 0; t < 2; ++t)
            changes[t] += ((t + s) % 2 ? "1s" : "0s") + QByteArray::number(s) + '\n';
    }
    vcd += "$upscope $end\n$enddefinitions $end\n";
    for (int t = 0; t < 500; ++t)
        vcd += '#' + QByteArray::number(t * 10) + '\n' + changes[t % 2];
    const QString vcdPath = dir.filePath(QStringLiteral("big.vcd"));
    QFile vcdFile(vcdPath);
    QVERIFY(vcdFile.open(QIODevice::WriteOnly) && vcdFile.write(vcd) == vcd.size());
    vcdFile.close();
    Dovlin_FileManager newModel;
    Build(newModel, 64, 1000, 4);

    bool saved;
    QString error;
    SilentReporter reporter;
    {
        // With SIGXFSZ ignored, a write past the limit fails with EFBIG, as on a full disk.
        rlimit unlimited;
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        const auto restore = qScopeGuard([&] {
            setrlimit(RLIMIT_FSIZE, &unlimited);
            std::signal(SIGXFSZ, handler);
        });
        if (!fileSystem) {
            rlimit limited = unlimited;
            limited.rlim_cur = 256 * 1024;
            QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
        }
        Dovlin_VcdImport importer(&reporter);
        saved = import ? importer.Convert(vcdPath, path) : newModel.Save(path);
        error = import ? importer.ErrorString() : newModel.ErrorString();
    }

    QVERIFY(!saved);
    // A full file system is seen before writing, or at the write that finds it full.
    QVERIFY2(error.contains(QRegularExpression(QStringLiteral("cannot write|not enough space in|disk full while writing"))),
             qPrintable(error));
    if (import)
        QVERIFY2(reporter.m_Errors.size() == 1 && reporter.m_Errors.first().contains(error), qPrintable(reporter.m_Errors.join('\n')));
    QVERIFY(ReadAll(path) == oldBytes);
    QCOMPARE(QDir(waveDir).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("wave.dvn")});
    Dovlin_FileManager reloaded;
    QVERIFY2(reloaded.Load(path), qPrintable(reloaded.ErrorString()));
}

// Another program rewriting an open wave file in place (cp, a sync tool) must not take the
// document down: it answers every query and refuses to save with a reason.
void tst_SafeSave::fileCutWhileOpen()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wave.dvn"));
    const QString savePath = dir.filePath(QStringLiteral("saved.dvn"));
    Dovlin_FileManager model;
    Build(model, BigSignals, BigEvents, 1);
    QVERIFY(model.Save(path));

    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save-cut"), path, savePath});
    QVERIFY(child.waitForFinished(120000));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             qPrintable(QStringLiteral("the document crashed: %1").arg(QString::fromUtf8(output.right(2000)))));
    // Three quarters of the events are gone: saving must say so and write nothing.
    QVERIFY2(output.startsWith("refused: ") && output.contains("cut short"), output.constData());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("wave.dvn")});
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--save-loop") == 0)
        return SaveLoop(QString::fromLocal8Bit(argv[2]));
    if (argc == 4 && std::strcmp(argv[1], "--save-cut") == 0)
        return SaveCutFile(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    QCoreApplication application(argc, argv);
    tst_SafeSave test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_safesave.moc"
