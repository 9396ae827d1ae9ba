// Paint time of the wave canvas: 50 visible rows of digital, bus, analog or scope waveforms with
// 10^3, 10^5 and 10^7 changes per row in view (Zoom Full), and the time of one cursor move with
// 100 000 expanded tree lines; adding 10 000 signals to the wave list at once, and a scroll of
// that list with the canvas and the list repainted. Wave files are written to a directory once and reused.
// The "values" rows (16-bit vectors and integers, alternately) show their value texts: at 64
// changes per row nearly every stretch is as narrow as a text can be, so the canvas holds about
// as many texts as it can.
//
// Usage: bench_paint [directory [kind [changes [repaints]]]]
//   kind: digital, bus, analog, scope or values (all by default); changes: only that case;
//   repaints: timed repaints per case (7 by default; more for a profile).

#include "DovlinWidget.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ListWidget.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_Signals.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
constexpr int Rows = 50;
constexpr int ScopeLeaves = 10000;

enum class Kind { Digital, Bus, Analog, Scope, Values };
constexpr int VectorBits = 16;

const char *name(Kind kind)
{
    switch (kind) {
    case Kind::Digital: return "digital";
    case Kind::Bus: return "bus";
    case Kind::Analog: return "analog";
    case Kind::Scope: return "scope";
    case Kind::Values: return "values";
    }
    return "";
}

// Rows share their signals (as aliases do), so a file with 50 rows of 10^7 changes stays small.
bool writeWave(const QString &path, Kind kind, qint64 changes)
{
    Dovlin_FileManager model;
    model.SetTimeBase(-12);
    std::vector<Dovlin_Signal *> signalList;
    if (kind == Kind::Scope) {
        // A synchronous design: every leaf changes on a quarter of the clock edges, so the
        // scope's changes fall on 4 * changes / 10 000 distinct times across the whole file.
        const qint64 perLeaf = qMax<qint64>(1, changes / ScopeLeaves);
        const qint64 edges = 4 * perLeaf;
        const qint64 period = qint64(changes) * 10 / edges;
        for (int leaf = 0; leaf < ScopeLeaves; ++leaf) {
            auto *signal = &model.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
            int value = 0;
            for (qint64 edge = 0; edge < edges; ++edge)
                if ((edge * 7 + leaf) % 4 == 0)
                    signal->AddEvent(edge * period, value ^= 1);
            signalList.push_back(signal);
        }
    } else if (kind == Kind::Values) {
        // A counter's bits (bit 0 unknown on every 16th value), and an integer of the same values.
        auto *integer = &model.AddSignal<Dovlin_IntSignal>();
        for (int bit = 0; bit < VectorBits; ++bit) {
            auto *signal = &model.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
            int last = -1;
            for (qint64 i = 0; i < changes; ++i) {
                const int state = bit == 0 && i % 16 == 5 ? 3 : int((i * 37 >> bit) & 1);
                if (state != last)
                    signal->AddEvent(i * 10, last = state);
            }
            signalList.push_back(signal);
        }
        for (qint64 i = 0; i < changes; ++i)
            integer->AddEvent(i * 10, i * 37);
        signalList.push_back(integer);
    } else if (kind == Kind::Digital) {
        auto *signal = &model.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
        for (qint64 i = 0; i < changes; ++i)
            signal->AddEvent(i * 10, int(i % 7 == 3 ? 3 : i % 2));
        signalList.push_back(signal);
    } else {
        auto *signal = &model.AddSignal<Dovlin_IntSignal>();
        for (qint64 i = 0; i < changes; ++i)
            signal->AddEvent(i * 10, qint64(1000 * std::sin(double(i) / 97)));
        signalList.push_back(signal);
    }
    for (int row = 0; row < Rows; ++row) {
        if (kind == Kind::Scope) {
            auto *scope = &model.AddNode<Dovlin_CompositeHierarchy>(QString("scope%1").arg(row));
            scope->m_Expanded = false;
            for (Dovlin_Signal *signal : signalList) {
                auto *leaf = &model.AddNode<Dovlin_ScalarHierarchy>(QString("s%1").arg(signal->GetIndex()));
                leaf->SetSignal(signal);
                scope->AddHierarchy(leaf);
            }
        } else if (kind == Kind::Values && row % 2 == 0) {
            auto *vector = &model.AddNode<Dovlin_CompositeHierarchy>(QString("vector%1").arg(row));
            vector->m_Expanded = false;
            vector->m_Radix = Dovlin_Radix::Hexadecimal;
            for (int bit = 0; bit < VectorBits; ++bit) {
                auto *leaf =
                    &model.AddNode<Dovlin_ScalarHierarchy>(QString("vector%1[%2]").arg(row).arg(VectorBits - 1 - bit));
                leaf->SetSignal(signalList[size_t(VectorBits - 1 - bit)]);
                vector->AddHierarchy(leaf);
            }
        } else {
            auto *leaf = &model.AddNode<Dovlin_ScalarHierarchy>(QString("%1%2").arg(name(kind)).arg(row));
            leaf->SetSignal(signalList.back());
            leaf->m_Digital = kind != Kind::Analog;
        }
    }
    return model.Save(path, qint64(changes) * 10);
}

bool writeTree(const QString &path, int lines)
{
    Dovlin_FileManager model;
    auto *signal = &model.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
    for (int i = 0; i < 1000; ++i)
        signal->AddEvent(i * 10, i % 2);
    auto *top = &model.AddNode<Dovlin_CompositeHierarchy>("top");
    for (int i = 0; i < lines; ++i) {
        auto *leaf = &model.AddNode<Dovlin_ScalarHierarchy>(QString("line%1").arg(i));
        leaf->SetSignal(signal);
        top->AddHierarchy(leaf);
    }
    return model.Save(path, 10000);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A document window whose canvas is 1920 by 1080 pixels.
DovlinWidget *openDocument(const QString &path)
{
    auto *document = new DovlinWidget(nullptr);
    if (!document->loadFile(path)) {
        std::fprintf(stderr, "cannot load %s: %s\n", qPrintable(path), qPrintable(document->errorString()));
        return nullptr;
    }
    document->resize(2900, 1080);
    document->show();
    QCoreApplication::processEvents();
    const int extra = 1920 - document->shapeWidget()->width();
    document->resize(2900 + extra, 1080);
    QCoreApplication::processEvents();
    document->zoomFull();
    return document;
}
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath() + "/dovlin_paint";
    QDir().mkpath(directory);

    std::printf("%-8s %10s %12s %12s %8s\n", "rows", "changes", "first ms", "repaint ms", "canvas");
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const qint64 onlyChanges = argc > 3 ? std::atoll(argv[3]) : 0;
    const int repaints = argc > 4 ? qMax(1, std::atoi(argv[4])) : 7;
    for (Kind kind : {Kind::Digital, Kind::Bus, Kind::Analog, Kind::Scope, Kind::Values}) {
        if (!only.isEmpty() && only != QLatin1String(name(kind)))
            continue;
        const std::vector<qint64> counts = kind == Kind::Values ? std::vector<qint64>{64, 1000, 100000}
                                                                : std::vector<qint64>{1000, 100000, 10000000};
        for (qint64 changes : counts) {
            if (onlyChanges > 0 && changes != onlyChanges)
                continue;
            const QString path = QString("%1/%2_%3.dvn").arg(directory, name(kind)).arg(changes);
            if (!QFileInfo::exists(path) && !writeWave(path, kind, changes)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
            DovlinWidget *document = openDocument(path);
            if (!document)
                return 1;
            Dovlin_ShapeWidget *shape = document->shapeWidget();
            QElapsedTimer timer;
            timer.start();
            shape->grab();
            const double first = timer.nsecsElapsed() / 1e6;
            std::vector<double> times;
            for (int run = 0; run < repaints; ++run) {
                shape->invalidatePicture();
                timer.restart();
                shape->grab();
                times.push_back(timer.nsecsElapsed() / 1e6);
            }
            std::printf("%-8s %10lld %12.2f %12.2f %4dx%d\n", name(kind), changes, first, median(times),
                        shape->width(), shape->height());
            delete document;
        }
    }

    if (onlyChanges > 0)
        return 0;
    const QString treePath = directory + "/tree_100000.dvn";
    if (!QFileInfo::exists(treePath) && !writeTree(treePath, 100000))
        return 1;
    DovlinWidget *document = openDocument(treePath);
    if (!document)
        return 1;
    Dovlin_ShapeWidget *shape = document->shapeWidget();
    shape->grab();
    std::vector<double> moves;
    for (int run = 0; run < 21; ++run) {
        QElapsedTimer timer;
        timer.start();
        // The Values column and the canvas follow the cursor by themselves.
        document->setCursorTime(0, 137 * run);
        shape->grab();
        moves.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("cursor move with 100000 expanded tree lines: %.2f ms (median of %zu)\n", median(moves), moves.size());
    delete document;

    const QString listPath = directory + "/tree_10000.dvn";
    if (!QFileInfo::exists(listPath) && !writeTree(listPath, 10000))
        return 1;
    document = openDocument(listPath);
    if (!document)
        return 1;
    Dovlin_ListWidget *list = document->listWidget();
    QElapsedTimer timer;
    timer.start();
    // The top scope gives its 10 000 signals.
    list->AddNodes({document->fileManager().GetHierarchy(0)});
    const double adding = timer.nsecsElapsed() / 1e6;
    document->setShowList(true);
    shape = document->shapeWidget();
    shape->grab();
    std::vector<double> scrolls;
    for (int run = 0; run < 21; ++run) {
        timer.restart();
        list->verticalScrollBar()->setValue(run * 467 % list->verticalScrollBar()->maximum());
        list->viewport()->grab();
        shape->grab();
        scrolls.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("wave list of %d rows: added in %.2f ms, scroll and repaint %.2f ms (median of %zu)\n",
                int(list->waveList().Rows().size()), adding, median(scrolls), scrolls.size());
    delete document;
    return 0;
}
