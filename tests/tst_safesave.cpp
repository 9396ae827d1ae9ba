// Saving never leaves a damaged wave file: a save killed at any point leaves the complete old
// file or the complete new one, and a save that runs out of space reports it and keeps the old
// file, and a document whose file another program cuts short neither crashes nor saves damage.
// The children are this executable started with --save-loop or --save-cut.
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_Signals.h"
#include "Dovlin_VcdImport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

constexpr int Kills = 200;

// A model of nSignal integer signals with nEvent changes each, its values drawn from seed:
// different seeds give files of the same size and different bytes.
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

// About 2 MB: a save takes long enough for kills to land inside it.
void BuildOld(Dovlin_FileManager &model)
{
    Build(model, 64, 2000, 1);
}

void BuildNew(Dovlin_FileManager &model)
{
    Build(model, 64, 2000, 2);
}

QByteArray Digest(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QByteArray Serialized(void (*build)(Dovlin_FileManager &))
{
    Dovlin_FileManager model;
    build(model);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return model.SaveAll(&buffer) ? bytes : QByteArray();
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The child: saves the new and the old model over path, in turn, until it is killed.
int SaveLoop(const char *path)
{
    Dovlin_FileManager oldModel, newModel;
    BuildOld(oldModel);
    BuildNew(newModel);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        if (!newModel.Save(QString::fromLocal8Bit(path)) || !oldModel.Save(QString::fromLocal8Bit(path))) {
            std::printf("save failed: %s\n", qUtf8Printable(newModel.ErrorString() + oldModel.ErrorString()));
            return 1;
        }
    }
}

// The child of fileCutWhileOpen: opens the wave file at path as a document does, lets another
// program cut it to a quarter, then asks every value and saves the document to savePath. Prints
// "saved" or "refused: <reason>".
int SaveCutFile(const char *path, const char *savePath)
{
    Dovlin_FileManager model;
    if (!model.Load(QString::fromLocal8Bit(path))) {
        std::printf("cannot load: %s\n", qUtf8Printable(model.ErrorString()));
        return 1;
    }
    QFile file(QString::fromLocal8Bit(path));
    if (!file.resize(file.size() / 4)) {
        std::printf("cannot cut the file\n");
        return 1;
    }
    for (int h = 0; h < model.GetnHierarchy(); ++h)
        model.GetHierarchy(h)->GetSignalState(model.GetEndTime());
    if (model.Save(QString::fromLocal8Bit(savePath)))
        std::printf("saved\n");
    else
        std::printf("refused: %s\n", qUtf8Printable(model.ErrorString()));
    return 0;
}

// A dump of nSignal one-bit wires, each changing at every one of `steps` time stamps.
QByteArray Dump(int nSignal, int steps)
{
    QByteArray vcd("$timescale 1ns $end\n$scope module top $end\n");
    for (int s = 0; s < nSignal; ++s)
        vcd += "$var wire 1 s" + QByteArray::number(s) + " w" + QByteArray::number(s) + " $end\n";
    vcd += "$upscope $end\n$enddefinitions $end\n";
    for (int t = 0; t < steps; ++t) {
        vcd += '#' + QByteArray::number(t * 10) + '\n';
        for (int s = 0; s < nSignal; ++s)
            vcd += ((t + s) % 2 ? "1s" : "0s") + QByteArray::number(s) + '\n';
    }
    return vcd;
}

class SilentReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &, const QString &text) override { m_Errors << text; }
    void Warning(const QString &) override {}
    QStringList m_Errors;
};

// A small tmpfs mounted over a folder for the life of the object, where that is permitted.
class SmallFileSystem
{
public:
    SmallFileSystem(const QString &path, const char *size) : m_Path(QFile::encodeName(path))
    {
        const QByteArray options = QByteArray("size=") + size;
        m_Mounted = mount("tmpfs", m_Path.constData(), "tmpfs", 0, options.constData()) == 0;
        m_Error = m_Mounted ? QString() : QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallFileSystem()
    {
        if (m_Mounted)
            umount2(m_Path.constData(), MNT_DETACH);
    }
    bool Mounted() const { return m_Mounted; }
    QString Error() const { return m_Error; }

private:
    QByteArray m_Path;
    bool m_Mounted = false;
    QString m_Error;
};

// Limits the size of the files this process writes, with SIGXFSZ ignored so that a write
// past it fails with EFBIG, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_Saved);
        m_Handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_Saved;
        limited.rlim_cur = bytes;
        m_Active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_Saved);
        std::signal(SIGXFSZ, m_Handler);
    }
    bool Active() const { return m_Active; }

private:
    rlimit m_Saved;
    void (*m_Handler)(int);
    bool m_Active = false;
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
    const QByteArray oldBytes = Serialized(&BuildOld);
    const QByteArray newBytes = Serialized(&BuildNew);
    QCOMPARE(oldBytes.size(), newBytes.size());
    QVERIFY(oldBytes != newBytes);
    const QByteArray oldDigest = Digest(oldBytes);
    const QByteArray newDigest = Digest(newBytes);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wave.dvn"));
    Dovlin_FileManager oldModel;
    BuildOld(oldModel);
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

        const QByteArray digest = Digest(ReadAll(path));
        QVERIFY2(digest == oldDigest || digest == newDigest, qPrintable(QStringLiteral("after kill %1").arg(kill)));
        ++(digest == oldDigest ? oldSeen : newSeen);
        // A kill between linking the finished temporary file and renaming it over the target
        // leaves that file behind: complete, never a part of one.
        for (const QString &stray : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden)) {
            if (stray == QLatin1String("wave.dvn"))
                continue;
            const QByteArray strayDigest = Digest(ReadAll(dir.filePath(stray)));
            QVERIFY2(strayDigest == oldDigest || strayDigest == newDigest, qPrintable(stray));
            QVERIFY(QFile::remove(dir.filePath(stray)));
        }
    }
    // Both versions were caught: the kills did land while saves replaced the file.
    QVERIFY2(oldSeen > 0 && newSeen > 0, qPrintable(QStringLiteral("old %1, new %2").arg(oldSeen).arg(newSeen)));
}

void tst_SafeSave::outOfSpace_data()
{
    QTest::addColumn<bool>("import");
    QTest::addColumn<bool>("fileSystem");
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
    std::unique_ptr<SmallFileSystem> small;
    if (fileSystem) {
        small = std::make_unique<SmallFileSystem>(waveDir, "512k");
        if (!small->Mounted())
            QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: %1").arg(small->Error())));
    }
    const QString path = waveDir + QStringLiteral("/wave.dvn");
    Dovlin_FileManager oldModel;
    Build(oldModel, 16, 800, 3);
    QVERIFY2(oldModel.Save(path), qPrintable(oldModel.ErrorString()));
    const QByteArray oldBytes = ReadAll(path);
    QVERIFY(oldBytes.size() > 100000);

    const QString vcdPath = dir.filePath(QStringLiteral("big.vcd"));
    {
        QFile vcd(vcdPath);
        QVERIFY(vcd.open(QIODevice::WriteOnly));
        vcd.write(Dump(64, 500));
    }
    Dovlin_FileManager newModel;
    Build(newModel, 64, 1000, 4);

    bool saved;
    QString error;
    SilentReporter reporter;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (!fileSystem) {
            limit = std::make_unique<FileSizeLimit>(256 * 1024);
            QVERIFY(limit->Active());
        }
        if (import) {
            Dovlin_VcdImport importer(&reporter);
            saved = importer.Convert(vcdPath, path);
            error = importer.ErrorString();
        } else {
            saved = newModel.Save(path);
            error = newModel.ErrorString();
        }
    }

    QVERIFY(!saved);
    QVERIFY2(error.contains(QLatin1String("cannot write")), qPrintable(error));
    if (import)
        QVERIFY2(reporter.m_Errors.size() == 1 && reporter.m_Errors.first().contains(error), qPrintable(reporter.m_Errors.join('\n')));
    QCOMPARE(Digest(ReadAll(path)), Digest(oldBytes));
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
    BuildOld(model);
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
    QVERIFY(!QFile::exists(savePath));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("wave.dvn")});
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--save-loop") == 0)
        return SaveLoop(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--save-cut") == 0)
        return SaveCutFile(argv[2], argv[3]);
    QCoreApplication application(argc, argv);
    tst_SafeSave test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_safesave.moc"
