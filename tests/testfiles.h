// Reading and writing whole files, and a model loaded from or saved to bytes in memory: the
// helpers the tests of the wave file share.
#ifndef DOVLIN_TESTFILES_H
#define DOVLIN_TESTFILES_H

#include "Dovlin_FileManager.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QString>

namespace TestFiles {

// Empty when the file cannot be read.
inline QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Loads a wave file of either format from bytes; format, when given, tells which it was.
inline bool LoadBytes(Dovlin_FileManager &model, QByteArray bytes, int *format = nullptr)
{
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::ReadOnly) && model.LoadAll(&buffer, format);
}

// The whole file in a format; empty when saving fails.
inline QByteArray SaveBytes(Dovlin_FileManager &model, int format = Dovlin_WaveFormat::Format1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && model.SaveAll(&buffer, format) ? bytes : QByteArray();
}

} // namespace TestFiles

#endif
