// Opening a big wave file: the time until the document window shows its first picture after Zoom
// Full, and the anonymous (heap) memory it then holds, for the file mapped into memory (the
// viewer's way) and read into memory (the way of devices that cannot be mapped).
//
// Usage: bench_open [file [gigabytes]]   (the file is written once and reused; default 5 GB)

#include "DovlinWidget.h"
#include "Dovlin_ShapeWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cstdio>
#include <vector>

namespace {
constexpr int Signals = 2000;

// The wave file is written field by field here: building a model of this size would need the
// memory the benchmark is about.
bool writeWave(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto int32 = [&](qint32 value) {
        char raw[4];
        qToLittleEndian(value, raw);
        file.write(raw, 4);
    };
    const qint64 boxesPerSignal = bytes / Signals / 512;
    int32(-12);
    int32(Signals);
    for (int s = 0; s < Signals; ++s)
        int32(8);
    int32(Signals + 1);
    int32(2);
    int32(3);
    file.write("top");
    int32(0);
    int32(1);
    int32(1);
    int32(1);
    int32(Signals);
    for (int s = 0; s < Signals; ++s)
        int32(s + 1);
    for (int s = 0; s < Signals; ++s) {
        const QByteArray name = "s" + QByteArray::number(s);
        int32(1);
        int32(int(name.size()));
        file.write(name);
        int32(1);
        int32(1);
        int32(1);
        int32(s);
    }
    std::vector<char> box(512);
    for (int s = 0; s < Signals; ++s) {
        int32(31);
        int32(int(boxesPerSignal - 1));
        for (qint64 b = 0; b < boxesPerSignal; ++b) {
            for (int e = 0; e < 32; ++e) {
                const qint64 index = b * 32 + e;
                const qint64 time = index == 0 ? -1 : index * 10 + s;
                qToLittleEndian(time, box.data() + e * 16);
                qToLittleEndian(qint64(index == 0 ? 0 : (index + s) % 4), box.data() + e * 16 + 8);
            }
            if (file.write(box.data(), 512) != 512)
                return false;
        }
    }
    return file.flush();
}

qint64 anonymousKilobytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').first().toLongLong();
    return -1;
}

void measure(const char *how, const QString &path, bool mapped)
{
    const qint64 before = anonymousKilobytes();
    QElapsedTimer timer;
    timer.start();
    auto *document = new DovlinWidget(nullptr);
    bool loaded;
    if (mapped) {
        loaded = document->loadFile(path);
    } else {
        QFile file(path);
        loaded = file.open(QIODevice::ReadOnly) && document->fileManager().LoadAll(&file);
    }
    if (!loaded) {
        std::fprintf(stderr, "cannot load %s: %s\n", qPrintable(path), qPrintable(document->fileManager().ErrorString()));
        delete document;
        return;
    }
    document->resize(1600, 900);
    document->show();
    if (mapped)
        document->zoomFull();
    document->shapeWidget()->grab();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const qint64 heap = anonymousKilobytes() - before;
    const double fileMB = QFileInfo(path).size() / 1e6;
    std::printf("%-7s %8.0f MB file: shown after %.2f s, heap %.0f MB (%.1f %% of the file)\n", how, fileMB, seconds,
                heap / 1024.0, 100.0 * heap * 1024.0 / QFileInfo(path).size());
    delete document;
}
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/dovlin_open.dvn");
    const qint64 gigabytes = argc > 2 ? QByteArray(argv[2]).toLongLong() : 5;
    if (QFileInfo(path).size() < gigabytes * 1000000000 && !writeWave(path, gigabytes * 1000000000 + 100000000)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    // Once from the page cache for both ways, after a first pass that brings the file in.
    QFile warm(path);
    if (warm.open(QIODevice::ReadOnly))
        while (!warm.read(1 << 24).isEmpty()) {
        }
    measure("mapped", path, true);
    measure("read", path, false);
    return 0;
}
