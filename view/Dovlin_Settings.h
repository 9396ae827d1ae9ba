#ifndef DOVLIN_SETTINGS_H
#define DOVLIN_SETTINGS_H

#include <QSettings>
#include <QStringList>

// The user's settings of the viewer, in its own file of the configuration folder (dovlin/dovlin.conf).
class Dovlin_Settings : public QSettings
{
public:
    static constexpr int m_MaxRecentFiles = 10;

    Dovlin_Settings();

    // The files opened last, the latest first, each once however it was named.
    QStringList recentFiles() const;
    // Puts path first, once, and forgets the oldest beyond m_MaxRecentFiles.
    void addRecentFile(const QString &path);
    void clearRecentFiles();

    // The folder the Open dialog showed last.
    QString openFolder() const;
    void setOpenFolder(const QString &folder);

    // The dump a wave file of the cache folder was converted from; empty when not known.
    QString cachedDump(const QString &wavePath) const;
    void setCachedDump(const QString &wavePath, const QString &dump);

    // Whether a document whose file changed on disk reloads without asking.
    bool alwaysReload() const;
    void setAlwaysReload(bool always);
};

#endif
