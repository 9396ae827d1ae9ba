#ifndef DOVLIN_FILEIO_H
#define DOVLIN_FILEIO_H

#include <QIODevice>
#include <QString>

#include <sys/types.h>

// The system calls through which the import, its temporary event file and the wave-file writer
// reach the disk. They all go through Current(), which a test replaces to make a chosen call
// fail the way a full or failing disk does.
class Dovlin_FileIo
{
public:
    // The file a write goes to.
    enum Target { SpillFile, WaveFile };

    virtual ~Dovlin_FileIo();
    virtual ssize_t Write(Target target, int descriptor, const void *data, size_t size);
    virtual ssize_t ReadAt(int descriptor, void *data, size_t size, off_t offset);
    virtual int Sync(int descriptor);
    virtual int Rename(const char *from, const char *to);
    // Syncs the folder's own record of its names, so that a rename in it outlives a crash.
    virtual int SyncFolder(const char *directory);
    // Bytes a file in the folder may still take; -1 when the system cannot tell.
    virtual qint64 FreeBytes(const QString &directory);

    static Dovlin_FileIo &Current();
    // Makes io (null: the system's calls) the current one; returns the one before.
    static Dovlin_FileIo *Install(Dovlin_FileIo *io);

    // Writes all size bytes, going on after short writes; false with errno set otherwise.
    static bool WriteAll(Target target, int descriptor, const void *data, qint64 size);
    // Reads all size bytes from offset on; false with errno set (0 when the file ended first).
    static bool ReadAll(int descriptor, void *data, qint64 size, qint64 offset);
    // Both paths lead to one file (same device and inode), through links or not; false when
    // either does not exist.
    static bool SameFile(const QString &first, const QString &second);
};

// A wave file being written: the bytes go to an unnamed temporary file in the target's directory,
// and Commit() flushes it to disk, renames it over the target and syncs the folder. Until the
// rename, and whenever something before it fails, the target stays as it was and nothing is left
// behind; a failed folder sync fails the commit with the new file in place.
class Dovlin_ReplacingFile : public QIODevice
{
public:
    explicit Dovlin_ReplacingFile(const QString &path);
    ~Dovlin_ReplacingFile() override;

    bool Open();
    bool Commit();
    // Removes from directory the named temporaries of wave files (*.dvn) that a write killed
    // between naming and renaming them left there: regular files of this user, by their name's
    // pattern, last written and linked before since (nanoseconds since the epoch), so that none
    // another write is still finishing goes. Returns how many went.
    static int RemoveStale(const QString &directory, qint64 since);
    // The size the finished file will have, about: a full disk then says how much more it needs.
    void SetExpectedSize(qint64 bytes) { m_ExpectedSize = bytes; }
    // It may seek back: a file of format 2 writes its table of sections last, at its start.
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_Written; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool Failed(const QString &what);
    void Discard();
    QByteArray FreeName() const;

    QString m_Path;
    int m_Descriptor = -1;
    qint64 m_ExpectedSize = 0;
    qint64 m_Written = 0;
    // Where the descriptor writes next.
    qint64 m_Position = 0;
    // Bytes handed to the disk's writeback so far, in steps of WritebackBytes.
    static constexpr qint64 WritebackBytes = qint64(32) << 20;
    qint64 m_WrittenBack = 0;
    // The name the temporary file is given just before the rename; empty until then.
    QByteArray m_TemporaryName;
};

#endif
