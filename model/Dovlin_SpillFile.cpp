#include "Dovlin_SpillFile.h"

#include "Dovlin_FileIo.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {
// Boxes gathered before one write.
constexpr qint64 BufferBoxes = 8192;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
}

Dovlin_SpillFile::~Dovlin_SpillFile()
{
    if (m_Descriptor >= 0)
        ::close(m_Descriptor);
}

bool Dovlin_SpillFile::Open(const QString &directory)
{
    const QByteArray path = QFile::encodeName(QDir(directory).filePath(QStringLiteral(".dovlin-spill-XXXXXX")));
    std::vector<char> name(path.constData(), path.constData() + path.size() + 1);
    m_Descriptor = ::mkstemp(name.data());
    if (m_Descriptor < 0) {
        m_ErrorString = QStringLiteral("cannot create a spill file in %1: %2").arg(directory, systemError());
        return false;
    }
    ::unlink(name.data());
    m_Directory = directory;
    m_Buffer.resize(size_t(BufferBoxes * m_BoxBytes));
    return true;
}

qint64 Dovlin_SpillFile::Append(const void *boxes, qint64 count)
{
    if (m_Descriptor < 0 || m_Failed || count < 0 || count > BufferBoxes)
        return -1;
    // The boxes count as appended even when the write fails: the space the file wanted is known.
    m_Boxes += count;
    if (m_Buffered + count > BufferBoxes && !Flush())
        return -1;
    std::memcpy(m_Buffer.data() + m_Buffered * m_BoxBytes, boxes, size_t(count * m_BoxBytes));
    m_Buffered += count;
    return m_Boxes - count;
}

bool Dovlin_SpillFile::Failure(const QString &what, int error)
{
    m_Failed = true;
    m_DiskFull = error == ENOSPC || error == EDQUOT;
    const QString directory = QDir::toNativeSeparators(m_Directory);
    m_ErrorString = m_DiskFull ? QStringLiteral("disk full while writing the temporary event file in %1").arg(directory)
                               : QStringLiteral("cannot %1 the temporary event file in %2: %3").arg(what, directory,
                                     error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("it ended early"));
    return false;
}

bool Dovlin_SpillFile::Flush()
{
    const qint64 bytes = m_Buffered * m_BoxBytes;
    if (!Dovlin_FileIo::WriteAll(Dovlin_FileIo::SpillFile, m_Descriptor, m_Buffer.data(), bytes))
        return Failure(QStringLiteral("write"), errno);
    m_Written += bytes;
    m_Buffered = 0;
    return true;
}

bool Dovlin_SpillFile::Read(qint64 slot, qint64 count, void *to)
{
    if (m_Descriptor < 0 || m_Failed || slot < 0 || count < 0 || slot + count > m_Boxes)
        return false;
    // Boxes still in the buffer come from there; the rest from the file.
    const qint64 inFile = m_Boxes - m_Buffered;
    char *out = static_cast<char *>(to);
    const qint64 bytes = qMin(count, qMax<qint64>(0, inFile - slot)) * m_BoxBytes;
    if (bytes > 0 && !Dovlin_FileIo::ReadAll(m_Descriptor, out, bytes, slot * m_BoxBytes))
        return Failure(QStringLiteral("read"), errno);
    out += bytes;
    const qint64 fromBuffer = slot + count - qMax(slot, inFile);
    if (fromBuffer > 0)
        std::memcpy(out, m_Buffer.data() + (qMax(slot, inFile) - inFile) * m_BoxBytes, size_t(fromBuffer * m_BoxBytes));
    return true;
}
