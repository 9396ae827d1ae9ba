#include "Dovlin_WaveIo.h"

#include <QIODevice>
#include <QtEndian>

#include <cstring>

Dovlin_WaveReader::Dovlin_WaveReader(QIODevice &device)
    : m_Device(device), m_Offset(device.pos()), m_Left(qMax<qint64>(0, device.size() - device.pos()))
{
}

bool Dovlin_WaveReader::Read(void *data, qint64 size)
{
    if (size > m_Left)
        return false;
    char *out = static_cast<char *>(data);
    for (qint64 done = 0; done < size;) {
        const qint64 got = m_Device.read(out + done, size - done);
        if (got <= 0) {
            const QString reason = got < 0 ? m_Device.errorString() : QStringLiteral("unexpected end of file");
            return Fail(QStringLiteral("read error at offset %1: %2").arg(m_Offset + done).arg(reason));
        }
        done += got;
    }
    m_Offset += size;
    m_Left -= size;
    return true;
}

bool Dovlin_WaveReader::Skip(qint64 size)
{
    if (size < 0 || size > m_Left || !m_Device.seek(m_Device.pos() + size))
        return false;
    m_Offset += size;
    m_Left -= size;
    return true;
}

bool Dovlin_WaveReader::ReadInt32(qint32 &value)
{
    char bytes[4];
    if (!Read(bytes, sizeof(bytes)))
        return false;
    value = qFromLittleEndian<qint32>(bytes);
    return true;
}

bool Dovlin_WaveReader::Fail(const QString &reason)
{
    if (m_ErrorString.isEmpty())
        m_ErrorString = reason;
    return false;
}

bool Dovlin_WaveReader::Truncated(const QString &what)
{
    return Fail(QStringLiteral("truncated %1 at offset %2").arg(what).arg(m_Offset));
}

Dovlin_WaveWriter::Dovlin_WaveWriter(QIODevice &device) : m_Device(device), m_Buffer(new char[size_t(BufferBytes)]) {}

bool Dovlin_WaveWriter::Write(const void *data, qint64 size)
{
    if (m_Failed)
        return false;
    // Large pieces (runs of events) go straight to the device rather than through the buffer.
    if ((m_Used + size > BufferBytes || size >= DirectBytes) && m_Used > 0 && !Flush())
        return false;
    if (size >= DirectBytes)
        return Put(data, size);
    std::memcpy(m_Buffer.get() + m_Used, data, size_t(size));
    m_Used += size;
    return true;
}

bool Dovlin_WaveWriter::Flush()
{
    if (m_Failed)
        return false;
    const bool written = Put(m_Buffer.get(), m_Used);
    m_Used = 0;
    return written;
}

bool Dovlin_WaveWriter::Put(const void *data, qint64 size)
{
    if (m_Device.write(static_cast<const char *>(data), size) == size)
        return true;
    m_Failed = true;
    return false;
}

bool Dovlin_WaveWriter::WriteInt32(qint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    return Write(bytes, sizeof(bytes));
}

bool Dovlin_WaveWriter::Fail(const QString &reason)
{
    if (!m_Failed)
        m_Reason = reason;
    m_Failed = true;
    return false;
}

QString Dovlin_WaveWriter::ErrorString() const
{
    if (!m_Reason.isEmpty())
        return m_Reason;
    return QStringLiteral("cannot write: %1").arg(m_Device.errorString());
}
