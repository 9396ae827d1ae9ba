#ifndef DOVLIN_SPILLFILE_H
#define DOVLIN_SPILLFILE_H

#include <QString>

#include <vector>

// A temporary file that takes the full boxes of events while a dump is imported, so that the
// model keeps only each signal's last box in memory. The file is removed from its directory as
// soon as it is created: it goes away with its last descriptor, whatever ends the import.
class Dovlin_SpillFile
{
public:
    static constexpr qint64 m_BoxBytes = 512;

    Dovlin_SpillFile() = default;
    ~Dovlin_SpillFile();
    Dovlin_SpillFile(const Dovlin_SpillFile &) = delete;
    Dovlin_SpillFile &operator=(const Dovlin_SpillFile &) = delete;

    // Creates the file in directory; false with ErrorString when that fails.
    bool Open(const QString &directory);
    bool IsOpen() const { return m_Descriptor >= 0; }
    // Appends count boxes and returns the slot of the first; -1 when the file cannot take them.
    qint64 Append(const void *boxes, qint64 count);
    // Reads count boxes from slot on into to.
    bool Read(qint64 slot, qint64 count, void *to);
    qint64 Boxes() const { return m_Boxes; }
    QString ErrorString() const { return m_ErrorString; }

private:
    bool Flush();

    int m_Descriptor = -1;
    std::vector<char> m_Buffer;
    qint64 m_Buffered = 0;
    qint64 m_Boxes = 0;
    QString m_ErrorString;
};

#endif
