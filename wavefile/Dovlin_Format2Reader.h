#ifndef DOVLIN_FORMAT2READER_H
#define DOVLIN_FORMAT2READER_H

#include <QString>

class Dovlin_FileManager;

// Reads a wave file of format 2 (docs/wave-file-format.md) from its bytes in memory into an empty
// model. Every section but the packed boxes is checked against its checksum before its bytes are
// trusted, and every count, offset and index against what holds it; the packed boxes are checked
// chunk by chunk as they are first read. Sections of a kind it does not know are passed over.
class Dovlin_Format2Reader
{
public:
    // What to read: all of it, or only what a new conversion carries over (the tree with its view
    // flags, and the saved view), or only the dump the file was converted from.
    enum Parts { Everything, ViewOnly, DumpOnly };

    explicit Dovlin_Format2Reader(Dovlin_FileManager &model) : m_Model(model) {}

    // True when the bytes start as a file of format 2 does.
    static bool Recognises(const unsigned char *data, qint64 size);
    // Reads the file whose bytes are [data, data + size); with Everything they must stay where they
    // are for as long as the model lives. False with ErrorString (the section and the reason).
    bool Read(const unsigned char *data, qint64 size, Parts parts = Everything);
    QString ErrorString() const { return m_ErrorString; }

private:
    bool Fail(const QString &reason);

    Dovlin_FileManager &m_Model;
    QString m_ErrorString;
};

#endif
