#include "Dovlin_MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

namespace {

void describeCommandLine(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QApplication::translate(
        "main", "A waveform viewer for the VCD files of digital simulations and their Dovlin wave files."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QApplication::translate("main", "VCD (.vcd), FST (.fst) or wave (.dvn) files to open."),
                                 QStringLiteral("[FILE...]"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("dovlin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DOVLIN_VERSION));
    {
        // --help and --version answer without a display; Qt's own options are only known to QApplication.
        QCoreApplication probe(argc, argv);
        QCommandLineParser parser;
        describeCommandLine(parser);
        parser.parse(probe.arguments());
        if (parser.isSet(QStringLiteral("help"))) {
            std::printf("%s", qUtf8Printable(parser.helpText()));
            return 0;
        }
        if (parser.isSet(QStringLiteral("version"))) {
            std::printf("dovlin %s\n", DOVLIN_VERSION);
            return 0;
        }
    }

    Q_INIT_RESOURCE(Dovlin);
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(":/images/main.png"));
    QApplication::setDesktopFileName(QStringLiteral("dovlin"));
    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(app);

    Dovlin_MainWindow mainWin;
    // DOVLIN_THREADS, DOVLIN_MEMORY_BUDGET and DOVLIN_MAX_SIGNALS tune the conversion of dumps.
    mainWin.SetImportLimits(Dovlin_ImportLimits::FromEnvironment());
    mainWin.show();

    // Files named on the command line open once the window is up, in the order given.
    const QStringList files = parser.positionalArguments();
    QTimer::singleShot(0, &mainWin, [&mainWin, files] { mainWin.openFiles(files); });
    return app.exec();
}
