#ifndef DOVLIN_WAVEIO_H
#define DOVLIN_WAVEIO_H

#include <QString>

#include <memory>

class QIODevice;

// Reads the fields of a wave file from a random-access device, never past its end: every read
// is checked against the bytes left before it reaches the device. The first failure is kept.
class Dovlin_WaveReader
{
public:
    explicit Dovlin_WaveReader(QIODevice &device);

    qint64 Offset() const { return m_Offset; }
    qint64 BytesLeft() const { return m_Left; }
    // False without reading anything when fewer than size bytes are left.
    bool Read(void *data, qint64 size);
    bool ReadInt32(qint32 &value);
    // Records the reason reading stopped (unless one is already recorded); always false.
    bool Fail(const QString &reason);
    // When the device's bytes also lie in memory from base on (a mapped file), the address of the
    // next byte to read; null otherwise.
    void SetMapped(const char *base) { m_Mapped = base; }
    const char *MappedAt() const { return m_Mapped ? m_Mapped + m_Offset : nullptr; }
    // Passes over size bytes; false without moving when fewer are left.
    bool Skip(qint64 size);
    // Fail with "truncated <what> at offset <offset>".
    bool Truncated(const QString &what);
    QString ErrorString() const { return m_ErrorString; }

private:
    QIODevice &m_Device;
    qint64 m_Offset;
    qint64 m_Left;
    QString m_ErrorString;
    const char *m_Mapped = nullptr;
};

// Writes the fields of a wave file in large pieces; every write is checked, and after the first
// failure nothing more is written. Flush must end the writing.
class Dovlin_WaveWriter
{
public:
    static constexpr qint64 BufferBytes = qint64(1) << 20;
    static constexpr qint64 DirectBytes = qint64(1) << 16;

    explicit Dovlin_WaveWriter(QIODevice &device);

    bool Write(const void *data, qint64 size);
    bool Flush();
    bool WriteInt32(qint32 value);
    // Records why writing stopped (unless something failed before); always false.
    bool Fail(const QString &reason);
    QString ErrorString() const;

private:
    bool Put(const void *data, qint64 size);

    QIODevice &m_Device;
    // Allocated once: a buffer freed and grown again at every flush would fault in fresh pages.
    std::unique_ptr<char[]> m_Buffer;
    qint64 m_Used = 0;
    bool m_Failed = false;
    QString m_Reason;
};

#endif
