#ifndef DOVLIN_FORMAT2WRITER_H
#define DOVLIN_FORMAT2WRITER_H

#include <QString>

#include <functional>
#include <optional>

class Dovlin_FileManager;
class QIODevice;

// Writes a model as a wave file of format 2 (docs/wave-file-format.md) to a device that can seek:
// the sections first, then the table of sections at the start. Boxes the model keeps packed (spilled
// by an import, or mapped from a file of format 2) are copied as they are, the others packed.
class Dovlin_Format2Writer
{
public:
    // Called after each signal's boxes with the signals written and their number; false stops the
    // writing, which then fails with "cancelled".
    using Progress = std::function<bool(qint64 written, qint64 total)>;

    Dovlin_Format2Writer(const Dovlin_FileManager &model, QIODevice &device) : m_Model(model), m_Device(device) {}

    void SetProgress(Progress progress) { m_Progress = std::move(progress); }
    // Threads the writing may use: the boxes an import spilled are read ahead on the others.
    void SetThreads(int threads) { m_Threads = threads; }
    // Writes the model, whose file ends at end, or at its last event without one; false with
    // ErrorString.
    bool Write(std::optional<qint64> end);
    QString ErrorString() const { return m_ErrorString; }

private:
    const Dovlin_FileManager &m_Model;
    QIODevice &m_Device;
    Progress m_Progress;
    int m_Threads = 1;
    QString m_ErrorString;
};

#endif
