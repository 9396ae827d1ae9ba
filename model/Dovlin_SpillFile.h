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
    // Appends count boxes and returns the slot of the first; -1 when the file cannot take them.
    qint64 Append(const void *boxes, qint64 count);
    // Reads count boxes from slot on into to; false for boxes never appended.
    bool Read(qint64 slot, qint64 count, void *to);
    qint64 Boxes() const { return m_Boxes; }
    // Bytes on disk, and bytes that were to go there when writing failed.
    qint64 BytesWritten() const { return m_Written; }
    qint64 BytesWanted() const { return m_Boxes * m_BoxBytes; }
    // True once a write or a read failed: from then on the file refuses every append and read,
    // since what it holds no longer matches the slots handed out, and the import must fail.
    bool Failed() const { return m_Failed; }
    // The write failed for want of space (not for a fault of the device).
    bool DiskFull() const { return m_DiskFull; }
    QString Directory() const { return m_Directory; }
    QString ErrorString() const { return m_ErrorString; }

private:
    bool Flush();
    bool Failure(const QString &what, int error);

    int m_Descriptor = -1;
    QString m_Directory;
    qint64 m_Written = 0;
    bool m_Failed = false;
    bool m_DiskFull = false;
    std::vector<char> m_Buffer;
    qint64 m_Buffered = 0;
    qint64 m_Boxes = 0;
    QString m_ErrorString;
};

#endif
