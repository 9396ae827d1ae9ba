// The build installed into a temporary prefix as a desktop application, and the command lines
// of what it installs.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

class tst_Install : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_Prefix.isValid());
        QProcess install;
        install.start(QStringLiteral(DOVLIN_CMAKE_COMMAND),
                      {"--install", DOVLIN_BUILD_DIR, "--prefix", m_Prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
                 install.readAllStandardError().constData());
    }

    void installedFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("iconSize");
        for (const char *program : {"bin/dovlin", "bin/dovlin-convert", "bin/dovlin-values"})
            QTest::newRow(program) << QString(program) << 0;
        for (const char *data : {"share/applications/dovlin.desktop", "share/mime/packages/dovlin.xml",
                                 "share/icons/hicolor/scalable/apps/dovlin.svg", "share/dovlin/Resources/bmpBit.bmp",
                                 "share/man/man1/dovlin.1.gz", "share/man/man1/dovlin-convert.1.gz",
                                 "share/man/man1/dovlin-values.1.gz", "share/doc/dovlin/copyright",
                                 "share/doc/dovlin/changelog.gz"})
            QTest::newRow(data) << QString(data) << 0;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString icon = QString("share/icons/hicolor/%1x%1/apps/dovlin.png").arg(size);
            QTest::newRow(qPrintable(icon)) << icon << size;
        }
    }

    void installedFiles()
    {
        QFETCH(QString, path);
        QFETCH(int, iconSize);
        const QFileInfo info(m_Prefix.filePath(path));
        QVERIFY2(info.isFile(), qPrintable(info.filePath()));
        if (path.startsWith("bin/"))
            QVERIFY(info.isExecutable());
        if (iconSize)
            QCOMPARE(QImage(info.filePath()).size(), QSize(iconSize, iconSize));
    }

    // Every file type the menu entry names is defined by the installed MIME package.
    void desktopEntry()
    {
        QFile entry(m_Prefix.filePath("share/applications/dovlin.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString text = QString::fromUtf8(entry.readAll());
        const QRegularExpressionMatch types = QRegularExpression("^MimeType=(.*)$", QRegularExpression::MultilineOption).match(text);
        QVERIFY(types.hasMatch());
        QStringList named = types.captured(1).split(';', Qt::SkipEmptyParts);
        named.sort();
        QCOMPARE(named, QStringList({"application/x-dovlin-wave", "application/x-fst-waveform", "text/x-vcd"}));
        QVERIFY(text.contains(QRegularExpression("^Categories=.*Development;.*Electronics;", QRegularExpression::MultilineOption)));

        QFile mime(m_Prefix.filePath("share/mime/packages/dovlin.xml"));
        QVERIFY(mime.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&mime);
        QStringList defined;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("mime-type"))
                defined << xml.attributes().value("type").toString();
            else if (xml.name() == QLatin1String("glob") && !defined.isEmpty())
                defined.last() += " " + xml.attributes().value("pattern").toString();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        defined.sort();
        QCOMPARE(defined, QStringList({"application/x-dovlin-wave *.dvn", "application/x-fst-waveform *.fst", "text/x-vcd *.vcd"}));

        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed");
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(validator, {entry.fileName()});
        QVERIFY(validate.waitForFinished(30000));
        const QByteArray said = validate.readAll();
        QVERIFY2(validate.exitCode() == 0 && said.trimmed().isEmpty(), said.constData());
    }

    // --help and --version answer on standard output, without a display.
    void commandLine_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("output");
        for (const char *program : {"dovlin", "dovlin-convert", "dovlin-values"}) {
            QTest::addRow("%s --version", program) << program << "--version" << QString("%1 %2\n").arg(program, DOVLIN_VERSION);
            QTest::addRow("%s --help", program) << program << "--help" << "Usage: \\S*%1 \\[options\\] .*--version.*";
        }
    }

    void commandLine()
    {
        QFETCH(QString, program);
        QFETCH(QString, option);
        QFETCH(QString, output);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(display);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(m_Prefix.filePath("bin/" + program), {option});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        if (option == "--version") {
            QCOMPARE(out, output);
            return;
        }
        const QRegularExpression pattern("^" + output.arg(QRegularExpression::escape(program)) + "$",
                                         QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(pattern.match(out).hasMatch(), qPrintable(out));
    }

    // Debian's checker finds neither an error nor a warning in the package cpack makes.
    void debianPackage()
    {
        const QString lintian = QStandardPaths::findExecutable("lintian");
        if (lintian.isEmpty())
            QSKIP("lintian is not installed");
        QTemporaryDir out;
        QProcess cpack;
        cpack.setProcessChannelMode(QProcess::MergedChannels);
        cpack.start(QStringLiteral(DOVLIN_CPACK_COMMAND),
                    {"--config", DOVLIN_BUILD_DIR "/CPackConfig.cmake", "-G", "DEB", "-B", out.path()});
        QVERIFY(cpack.waitForFinished(300000));
        QVERIFY2(cpack.exitStatus() == QProcess::NormalExit && cpack.exitCode() == 0, cpack.readAll().constData());
        const QStringList packages = QDir(out.path()).entryList({"*.deb"}, QDir::Files);
        QCOMPARE(packages.size(), 1);
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(lintian, {"--fail-on", "error,warning", out.filePath(packages.first())});
        QVERIFY(check.waitForFinished(300000));
        QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0, check.readAll().constData());
    }

private:
    QTemporaryDir m_Prefix;
};

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_install.moc"
