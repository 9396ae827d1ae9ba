#include "Dovlin_Settings.h"

#include <QFileInfo>

namespace {
const QString recentKey = QStringLiteral("recentFiles");
const QString openFolderKey = QStringLiteral("openFolder");
const QString alwaysReloadKey = QStringLiteral("alwaysReload");
}

Dovlin_Settings::Dovlin_Settings()
    : QSettings(QStringLiteral("dovlin"), QStringLiteral("dovlin"))
{
}

QStringList Dovlin_Settings::recentFiles() const
{
    return value(recentKey).toStringList().mid(0, m_MaxRecentFiles);
}

void Dovlin_Settings::addRecentFile(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
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
