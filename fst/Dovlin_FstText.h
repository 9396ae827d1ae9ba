#ifndef DOVLIN_FSTTEXT_H
#define DOVLIN_FSTTEXT_H

#include <QString>

#include <memory>

class Dovlin_ImportReporter;
class QTemporaryFile;

// Turns an FST file into the VCD text fst2vcd makes of it, in a temporary file that the VCD
// import then converts: the same declarations, the same values at the same times, so that the
// tree and the values are those of the VCD. What the text cannot carry is told to the reporter:
// a file cut short, extended-VCD ports (left out), enumeration tables (their names not shown).
class Dovlin_FstText
{
public:
    explicit Dovlin_FstText(Dovlin_ImportReporter *reporter);
    ~Dovlin_FstText();

    // Reads the FST file at fstPath and writes its text; false with ErrorString when the file is
    // damaged or the text cannot be written, or when the reporter's Progress declined.
    bool Write(const QString &fstPath);
    // The temporary file, removed with this object.
    QString Path() const;
    QString ErrorString() const { return m_ErrorString; }
    bool Cancelled() const { return m_Cancelled; }
    // The reporter for the import of the text: it passes everything on to this one's, the text's
    // progress as the second half of the whole (the FST file's was the first). Null without one.
    Dovlin_ImportReporter *TextReporter() const { return m_TextReporter.get(); }

private:
    Dovlin_ImportReporter *m_Reporter;
    std::unique_ptr<Dovlin_ImportReporter> m_TextReporter;
    std::unique_ptr<QTemporaryFile> m_File;
    QString m_ErrorString;
    bool m_Cancelled = false;
};

#endif
