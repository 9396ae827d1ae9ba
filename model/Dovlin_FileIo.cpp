#include "Dovlin_FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStorageInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Dovlin_FileIo systemIo;
Dovlin_FileIo *currentIo = &systemIo;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

Dovlin_FileIo::~Dovlin_FileIo() = default;

ssize_t Dovlin_FileIo::Write(Target, int descriptor, const void *data, size_t size)
{
    return ::write(descriptor, data, size);
}

ssize_t Dovlin_FileIo::ReadAt(int descriptor, void *data, size_t size, off_t offset)
{
    return ::pread(descriptor, data, size, offset);
}

int Dovlin_FileIo::Sync(int descriptor)
{
    return ::fsync(descriptor);
}

int Dovlin_FileIo::Rename(const char *from, const char *to)
{
    return std::rename(from, to);
}

int Dovlin_FileIo::SyncFolder(const char *directory)
{
    const int descriptor = ::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    int result = ::fsync(descriptor);
    // A file system that cannot sync a folder keeps no separate record to sync.
    if (result != 0 && errno == EINVAL)
        result = 0;
    const int error = errno;
    ::close(descriptor);
    errno = error;
    return result;
}

qint64 Dovlin_FileIo::FreeBytes(const QString &directory)
{
    const QStorageInfo storage(directory);
    return storage.isValid() ? storage.bytesAvailable() : -1;
}

Dovlin_FileIo &Dovlin_FileIo::Current()
{
    return *currentIo;
}

Dovlin_FileIo *Dovlin_FileIo::Install(Dovlin_FileIo *io)
{
    Dovlin_FileIo *before = currentIo;
    currentIo = io ? io : &systemIo;
    return before;
}

bool Dovlin_FileIo::WriteAll(Target target, int descriptor, const void *data, qint64 size)
{
    const char *from = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t written = currentIo->Write(target, descriptor, from, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            // A write that takes nothing and names no error is a device that cannot take more.
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        from += written;
        size -= written;
    }
    return true;
}

bool Dovlin_FileIo::ReadAll(int descriptor, void *data, qint64 size, qint64 offset)
{
    char *to = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t got = currentIo->ReadAt(descriptor, to, size_t(size), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = 0;
            return false;
        }
        to += got;
        offset += got;
        size -= got;
    }
    return true;
}

bool Dovlin_FileIo::SameFile(const QString &first, const QString &second)
{
    struct stat one, other;
    return ::stat(QFile::encodeName(first).constData(), &one) == 0
           && ::stat(QFile::encodeName(second).constData(), &other) == 0 && one.st_dev == other.st_dev
           && one.st_ino == other.st_ino;
}

Dovlin_ReplacingFile::Dovlin_ReplacingFile(const QString &path)
    : m_Path(path)
{
}

Dovlin_ReplacingFile::~Dovlin_ReplacingFile()
{
    Discard();
}

void Dovlin_ReplacingFile::Discard()
{
    if (m_Descriptor >= 0)
        ::close(m_Descriptor);
    m_Descriptor = -1;
    if (!m_TemporaryName.isEmpty())
        ::unlink(m_TemporaryName.constData());
    m_TemporaryName.clear();
    if (isOpen())
        close();
}

bool Dovlin_ReplacingFile::Failed(const QString &what)
{
    const int error = errno;
    Discard();
    setErrorString(QStringLiteral("%1: %2").arg(what, systemError(error)));
    return false;
}

// A name in the target's directory that no file has yet: a dot, the target's name and a random part.
QByteArray Dovlin_ReplacingFile::FreeName() const
{
    const QFileInfo target(m_Path);
    return QFile::encodeName(QDir(target.absolutePath())
                                 .filePath(QStringLiteral(".%1.%2").arg(target.fileName())
                                               .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
}

int Dovlin_ReplacingFile::RemoveStale(const QString &directory, qint64 since)
{
    // The names FreeName gives the temporaries of wave files.
    static const QRegularExpression ours(QStringLiteral("^\\..+\\.dvn\\.[0-9a-f]{8}$"));
    const auto nanoseconds = [](const struct timespec &time) {
        return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
    };
    const QDir folder(directory);
    int removed = 0;
    for (const QString &name : folder.entryList({QStringLiteral(".*.dvn.*")}, QDir::Files | QDir::Hidden | QDir::System)) {
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        struct stat status;
        if (!ours.match(name).hasMatch() || ::lstat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode)
            || status.st_uid != ::geteuid() || nanoseconds(status.st_mtim) >= since
            || nanoseconds(status.st_ctim) >= since)
            continue;
        if (::unlink(path.constData()) == 0)
            ++removed;
    }
    return removed;
}

bool Dovlin_ReplacingFile::Open()
{
    const QFileInfo target(m_Path);
    const QByteArray directory = QFile::encodeName(target.absolutePath());
    // An unnamed file vanishes by itself whatever stops the writing; it is named later through
    // /proc. Where the file system cannot make one, or there is no /proc, a named file takes its
    // place and is removed on failure.
    if (::access("/proc/self/fd", X_OK) == 0)
        m_Descriptor = ::open(directory.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    while (m_Descriptor < 0) {
        const QByteArray name = FreeName();
        m_Descriptor = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (m_Descriptor >= 0)
            m_TemporaryName = name;
        else if (errno != EEXIST)
            return Failed(QStringLiteral("cannot create a temporary file in %1").arg(QDir::toNativeSeparators(target.absolutePath())));
    }
    // A file written again keeps the permissions it had.
    struct stat existing;
    if (::stat(QFile::encodeName(m_Path).constData(), &existing) == 0)
        ::fchmod(m_Descriptor, existing.st_mode & 07777);
    return open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 Dovlin_ReplacingFile::writeData(const char *data, qint64 size)
{
    if (m_Descriptor < 0)
        return -1;
    if (pos() != m_Position) {
        if (::lseek(m_Descriptor, pos(), SEEK_SET) != pos()) {
            setErrorString(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_Path), systemError(errno)));
            return -1;
        }
        m_Position = pos();
    }
    if (!Dovlin_FileIo::WriteAll(Dovlin_FileIo::WaveFile, m_Descriptor, data, size)) {
        const int error = errno;
        if (error == ENOSPC || error == EDQUOT) {
            const qint64 megabytes = qMax<qint64>(1, (m_ExpectedSize - m_Written + (1 << 20) - 1) >> 20);
            setErrorString(QStringLiteral("disk full while writing %1: %2 MB more needed")
                               .arg(QDir::toNativeSeparators(m_Path)).arg(megabytes));
        } else {
            setErrorString(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_Path), systemError(error)));
        }
        return -1;
    }
    m_Position += size;
    m_Written = qMax(m_Written, m_Position);
    // The disk starts on what is written while the rest is being written, so that the sync
    // before the rename waits for the last part alone. It only asks for writeback: a failure
    // here shows at the sync.
#ifdef SYNC_FILE_RANGE_WRITE
    if (m_Written - m_WrittenBack >= WritebackBytes) {
        ::sync_file_range(m_Descriptor, m_WrittenBack, m_Written - m_WrittenBack, SYNC_FILE_RANGE_WRITE);
        m_WrittenBack = m_Written;
    }
#endif
    return size;
}

bool Dovlin_ReplacingFile::Commit()
{
    if (m_Descriptor < 0)
        return false;
    const QString shown = QDir::toNativeSeparators(m_Path);
    if (Dovlin_FileIo::Current().Sync(m_Descriptor) != 0)
        return Failed(QStringLiteral("cannot write %1 to disk").arg(shown));
    if (m_TemporaryName.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_Descriptor);
        for (;;) {
            const QByteArray name = FreeName();
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
                m_TemporaryName = name;
                break;
            }
            if (errno != EEXIST)
                return Failed(QStringLiteral("cannot give the new %1 a name").arg(shown));
        }
    }
    const int descriptor = m_Descriptor;
    m_Descriptor = -1;
    if (::close(descriptor) != 0)
        return Failed(QStringLiteral("cannot write %1").arg(shown));
    if (Dovlin_FileIo::Current().Rename(m_TemporaryName.constData(), QFile::encodeName(m_Path).constData()) != 0)
        return Failed(QStringLiteral("cannot put the new %1 in place").arg(shown));
    m_TemporaryName.clear();
    const QByteArray folder = QFile::encodeName(QFileInfo(m_Path).absolutePath());
    if (Dovlin_FileIo::Current().SyncFolder(folder.constData()) != 0)
        return Failed(QStringLiteral("%1 was written but its folder could not be synced").arg(shown));
    close();
    return true;
}
