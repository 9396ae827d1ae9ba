#include "Dovlin_Settings.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString recentKey = QStringLiteral("recentFiles");
const QString openFolderKey = QStringLiteral("openFolder");
const QString alwaysReloadKey = QStringLiteral("alwaysReload");
const QString cachedDumpsGroup = QStringLiteral("cachedDumps");

// One name for a file however it is reached: through links, "..", or a relative path.
QString normalPath(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}
}

Dovlin_Settings::Dovlin_Settings()
    : QSettings(QStringLiteral("dovlin"), QStringLiteral("dovlin"))
{
}

QStringList Dovlin_Settings::recentFiles() const
{
    // A list written before paths were made canonical may name a file twice.
    QStringList files;
    for (const QString &path : value(recentKey).toStringList()) {
        const QString normal = normalPath(path);
        if (!files.contains(normal))
            files << normal;
    }
    return files.mid(0, m_MaxRecentFiles);
}

void Dovlin_Settings::addRecentFile(const QString &path)
{
    const QString normal = normalPath(path);
    QStringList files = recentFiles();
    files.removeAll(normal);
    files.prepend(normal);
    setValue(recentKey, files.mid(0, m_MaxRecentFiles));
}

void Dovlin_Settings::clearRecentFiles()
{
    remove(recentKey);
}

QString Dovlin_Settings::openFolder() const
{
    return value(openFolderKey).toString();
}

void Dovlin_Settings::setOpenFolder(const QString &folder)
{
    setValue(openFolderKey, folder);
}

bool Dovlin_Settings::alwaysReload() const
{
    return value(alwaysReloadKey, false).toBool();
}

void Dovlin_Settings::setAlwaysReload(bool always)
{
    setValue(alwaysReloadKey, always);
}

QString Dovlin_Settings::cachedDump(const QString &wavePath) const
{
    return value(cachedDumpsGroup + QLatin1Char('/') + QFileInfo(wavePath).fileName()).toString();
}

void Dovlin_Settings::setCachedDump(const QString &wavePath, const QString &dump)
{
    // Wave files deleted from the cache since take their entries with them.
    const QDir folder = QFileInfo(wavePath).absoluteDir();
    beginGroup(cachedDumpsGroup);
    for (const QString &name : childKeys())
        if (!folder.exists(name))
            remove(name);
    endGroup();
    setValue(cachedDumpsGroup + QLatin1Char('/') + QFileInfo(wavePath).fileName(), normalPath(dump));
}
