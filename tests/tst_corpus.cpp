// Dumps written by real simulators: copies of a public corpus (tests/data/corpus) and dumps of
// small designs of our own (tests/data/vcd, with their sources).
#include "Dovlin_VcdImport.h"
#include "testfiles.h"
#include "tst_vcdimport_support.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <iterator>

namespace {
const QString dataDir = QStringLiteral(DOVLIN_TEST_DATA);
}

class TestCorpus : public QObject
{
    Q_OBJECT

private:
    QString wavePath(const QString &file, int format) const
    {
        return m_Dir.filePath(QString(file).replace('/', '_') + QString::number(format) + ".dvn");
    }

    QTemporaryDir m_Dir;

private slots:
    void converts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QByteArray>("digest");

        // Every dump but these converts without a word.
        const QHash<QString, QString> problems{
            {"corpus/VCD_file_with_errors.vcd", "line 92: syntax error: unexpected end of file inside scope 'SPI_i'"},
            {"corpus/github_issues/issue40.vcd", "line 4: unknown command '$crash' skipped"},
            {"corpus/migen/fractional_time_stamp.vcd", "line 13: time stamp #3.2 has a fraction: the time unit is refined to 1 ms"},
            {"corpus/wellen/issue_5.vcd", "line 10: time stamp #1 goes back before 4; value changes are kept at 4 "
                                          "until the time passes it (and 1 more like it)"}};
        // Each wave file byte for byte as a reference conversion wrote it: speed work must not change a byte.
        QHash<QString, QByteArray> digests;
        QFile list(dataDir + "/wave-digests.txt");
        QVERIFY(list.open(QIODevice::ReadOnly | QIODevice::Text));
        while (!list.atEnd()) {
            const QList<QByteArray> fields = list.readLine().trimmed().split(' ');
            if (fields.size() == 2)
                digests.insert(QString::fromUtf8(fields.at(1)), fields.at(0));
        }
        QDirIterator files(dataDir, {"*.vcd"}, QDir::Files, QDirIterator::Subdirectories);
        QStringList names;
        while (files.hasNext())
            names << files.next().mid(dataDir.size() + 1);
        names.sort();
        QVERIFY(names.size() >= 20);
        for (const QString &name : std::as_const(names))
            QTest::newRow(qPrintable(name)) << name << problems.value(name) << digests.value(name);
    }

    // Each dump converts in both formats with the same words and bytes on any number of threads (format
    // 1 with one more word for the string variables it leaves out), format 1 byte for byte as before;
    // format 2 saves back to its own bytes, and its model saved in format 1 is the format-1 file.
    void converts()
    {
        QFETCH(QString, file);
        QFETCH(QString, problem);
        QFETCH(QByteArray, digest);

        // The format-2 file's model saved in format 1, and what that save left out.
        QByteArray asFormat1;
        QStringList leftOut;
        for (const int format : {Dovlin_WaveFormat::Format2, Dovlin_WaveFormat::Format1}) {
            const QString path = wavePath(file, format);
            const QString prefix = dataDir + "/" + file + ": ";
            // The same from the scanner's tables alone and from the fast path for value changes, on
            // one, two and eight threads (the last in the smallest chunks, with every packed box in the
            // temporary file).
            struct Variant { bool m_Fast; int m_Threads; qint64 m_Budget; };
            const qint64 budget = Dovlin_ImportLimits::DefaultMemoryBudget();
            const Variant variants[] = {{false, 1, budget}, {true, 1, budget}, {true, 2, budget}, {true, 8, 0}};
            QList<QByteArray> bytes;
            for (size_t v = 0; v < std::size(variants); ++v) {
                RecordingReporter reporter;
                Dovlin_VcdImport importer(&reporter);
                importer.SetFormat(format);
                importer.SetFastPath(variants[v].m_Fast);
                Dovlin_ImportLimits limits;
                limits.m_Threads = variants[v].m_Threads;
                limits.m_MemoryBudget = variants[v].m_Budget;
                importer.SetLimits(limits);
                const bool converted = importer.Convert(dataDir + "/" + file, path);
                if (file.contains("with_errors")) {
                    QVERIFY(!converted);
                    QCOMPARE(reporter.m_Errors, QStringList{"Cannot import " + prefix + problem});
                    continue;
                }
                QVERIFY2(converted, qPrintable(reporter.m_Errors.join('\n')));
                QCOMPARE(reporter.m_Errors, QStringList());
                QStringList warnings = problem.isEmpty() ? QStringList() : QStringList{prefix + problem};
                for (const QString &warning : std::as_const(leftOut))
                    warnings << path + ": " + warning;
                QCOMPARE(reporter.m_Warnings, warnings);
                bytes << TestFiles::ReadAll(path);
                QVERIFY2(!bytes.last().isEmpty() && bytes.last() == bytes.first(), qPrintable(QStringLiteral("variant %1 differs").arg(v)));
            }
            if (file.contains("with_errors"))
                return;
            if (format == Dovlin_WaveFormat::Format1)
                QCOMPARE(QCryptographicHash::hash(bytes[1], QCryptographicHash::Sha256).toHex(), digest);
            Dovlin_FileManager model;
            int loaded = 0;
            QVERIFY2(model.Load(path, &loaded), qPrintable(model.ErrorString()));
            QCOMPARE(loaded, format);
            QVERIFY(model.GetnHierarchy() > 0);
            QVERIFY(TestFiles::SaveBytes(model, format) == bytes[1]);
            if (format == Dovlin_WaveFormat::Format1) {
                QVERIFY(bytes[1] == asFormat1);
            } else {
                asFormat1 = TestFiles::SaveBytes(model, Dovlin_WaveFormat::Format1);
                leftOut = model.SaveWarnings();
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"
