#include "Dovlin_SpillFile.h"

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
    m_Buffer.resize(size_t(BufferBoxes * m_BoxBytes));
    return true;
}

qint64 Dovlin_SpillFile::Append(const void *boxes, qint64 count)
{
    if (m_Descriptor < 0 || count < 0 || count > BufferBoxes)
        return -1;
    if (m_Buffered + count > BufferBoxes && !Flush())
        return -1;
    std::memcpy(m_Buffer.data() + m_Buffered * m_BoxBytes, boxes, size_t(count * m_BoxBytes));
    m_Buffered += count;
    m_Boxes += count;
    return m_Boxes - count;
}

bool Dovlin_SpillFile::Flush()
{
    const char *data = m_Buffer.data();
    qint64 left = m_Buffered * m_BoxBytes;
    while (left > 0) {
        const ssize_t written = ::write(m_Descriptor, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            m_ErrorString = QStringLiteral("cannot write the spill file: %1").arg(systemError());
            return false;
        }
        data += written;
        left -= written;
    }
    m_Buffered = 0;
    return true;
}

bool Dovlin_SpillFile::Read(qint64 slot, qint64 count, void *to)
{
    if (m_Descriptor < 0 || slot < 0 || count < 0 || slot + count > m_Boxes)
        return false;
    // Boxes still in the buffer come from there; the rest from the file.
    const qint64 inFile = m_Boxes - m_Buffered;
    char *out = static_cast<char *>(to);
    qint64 offset = slot * m_BoxBytes;
    qint64 bytes = qMin(count, qMax<qint64>(0, inFile - slot)) * m_BoxBytes;
    while (bytes > 0) {
        const ssize_t got = ::pread(m_Descriptor, out, size_t(bytes), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            m_ErrorString = QStringLiteral("cannot read the spill file: %1")
                                .arg(got < 0 ? systemError() : QStringLiteral("it ended early"));
            return false;
        }
        out += got;
        offset += got;
        bytes -= got;
    }
    const qint64 fromBuffer = slot + count - qMax(slot, inFile);
    if (fromBuffer > 0)
        std::memcpy(out, m_Buffer.data() + (qMax(slot, inFile) - inFile) * m_BoxBytes, size_t(fromBuffer * m_BoxBytes));
    return true;
}
