#ifndef DOVLIN_FILEMAPPING_H
#define DOVLIN_FILEMAPPING_H

#include <QtGlobal>

// A file mapped read-only into memory, for as long as the object lives.
class Dovlin_FileMapping
{
public:
    Dovlin_FileMapping() = default;
    ~Dovlin_FileMapping();
    Dovlin_FileMapping(const Dovlin_FileMapping &) = delete;
    Dovlin_FileMapping &operator=(const Dovlin_FileMapping &) = delete;

    // Maps size bytes of the open file descriptor; false when the system refuses. The mapping keeps
    // a descriptor of its own, to tell whether the file is still the one that was mapped.
    bool Map(int descriptor, qint64 size);
    const char *Data() const { return m_Data; }
    qint64 Size() const { return m_Size; }
    // True once a read found the file shorter than its mapping (another program cut it while it
    // was open); the bytes past its new end read as zeros from then on.
    bool Cut() const;
    // False once the file is cut short or written since it was mapped (another program truncated it
    // or copied over it): its pages may be gone or hold other bytes. A file renamed over the mapped
    // one leaves it intact.
    bool Intact() const;

private:
    char *m_Data = nullptr;
    qint64 m_Size = 0;
    int m_Descriptor = -1;
    qint64 m_Modified = 0;
    // Where the mapping is registered for the bus-error handler; -1 when it is not.
    int m_Slot = -1;
};

#endif
