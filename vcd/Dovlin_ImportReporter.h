#ifndef DOVLIN_IMPORTREPORTER_H
#define DOVLIN_IMPORTREPORTER_H

#include <QString>

// Where an import tells about problems in a dump and about its progress. The viewer turns the
// messages into message boxes and shows a progress dialog; the command-line converter prints
// them on the standard error stream.
class Dovlin_ImportReporter
{
public:
    virtual ~Dovlin_ImportReporter() = default;

    // The reason the import failed, once, naming the dump.
    virtual void Error(const QString &text) = 0;
    // Something the import worked around.
    virtual void Warning(const QString &text) = 0;
    // Called after each block of the dump is read (64 KiB, see vcd_lex::BlockSize) with the
    // bytes read so far and the file's size. Returning false cancels the import: Convert then
    // returns false, writes no wave file and leaves an existing one as it was.
    virtual bool Progress(qint64 bytesRead, qint64 bytesTotal)
    {
        Q_UNUSED(bytesRead);
        Q_UNUSED(bytesTotal);
        return true;
    }
    // Called after each signal's events are written to the wave file, with the signals written
    // and their number. Returning false cancels the import as Progress does.
    virtual bool WriteProgress(qint64 written, qint64 total)
    {
        Q_UNUSED(written);
        Q_UNUSED(total);
        return true;
    }
};

#endif
