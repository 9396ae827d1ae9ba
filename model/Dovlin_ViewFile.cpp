#include "Dovlin_ViewFile.h"

#include "Dovlin_Utilities.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <limits>

namespace {

const QString Format = QStringLiteral("dovlin-view");
constexpr int Version = 1;
// A view file beyond this is no view file of ours.
constexpr qint64 MaxBytes = qint64(64) << 20;

QJsonArray rowsToJson(const Dovlin_ListRows &rows)
{
    QJsonArray array;
    for (const Dovlin_ListRow &row : rows) {
        QJsonObject object;
        switch (row.m_Kind) {
        case Dovlin_ListRow::Node:
            object[QStringLiteral("path")] = row.m_Path;
            object[QStringLiteral("radix")] = QString::fromLatin1(Dovlin_FindRadix(row.m_Radix) ? Dovlin_FindRadix(row.m_Radix)->m_Name : "hex");
            object[QStringLiteral("analog")] = !row.m_Digital;
            if (!row.m_Label.isEmpty())
                object[QStringLiteral("name")] = row.m_Label;
            if (row.m_Open)
                object[QStringLiteral("open")] = true;
            break;
        case Dovlin_ListRow::Divider:
            object[QStringLiteral("divider")] = row.m_Label;
            break;
        case Dovlin_ListRow::Group:
            object[QStringLiteral("group")] = row.m_Label;
            object[QStringLiteral("open")] = row.m_Open;
            object[QStringLiteral("rows")] = rowsToJson(row.m_Rows);
            break;
        }
        array.append(object);
    }
    return array;
}

bool rowsFromJson(const QJsonArray &array, bool top, Dovlin_ListRows &rows, QString &error)
{
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonObject object = array.at(i).toObject();
        Dovlin_ListRow row;
        if (object.contains(QStringLiteral("path")) && object.value(QStringLiteral("path")).isString()) {
            row.m_Path = object.value(QStringLiteral("path")).toString();
            const QString radix = object.value(QStringLiteral("radix")).toString(QStringLiteral("hex"));
            const Dovlin_RadixFormat *format = Dovlin_FindRadix(radix);
            if (!format) {
                error = QStringLiteral("row %1: unknown radix '%2'").arg(i).arg(radix);
                return false;
            }
            row.m_Radix = format->m_Code;
            row.m_Digital = !object.value(QStringLiteral("analog")).toBool();
            row.m_Label = object.value(QStringLiteral("name")).toString();
            row.m_Open = object.value(QStringLiteral("open")).toBool();
        } else if (object.value(QStringLiteral("divider")).isString()) {
            row = Dovlin_ListRow::OfDivider(object.value(QStringLiteral("divider")).toString());
        } else if (top && object.value(QStringLiteral("group")).isString() && object.value(QStringLiteral("rows")).isArray()) {
            row.m_Kind = Dovlin_ListRow::Group;
            row.m_Label = object.value(QStringLiteral("group")).toString();
            row.m_Open = object.value(QStringLiteral("open")).toBool(true);
            if (!rowsFromJson(object.value(QStringLiteral("rows")).toArray(), false, row.m_Rows, error))
                return false;
        } else {
            error = QStringLiteral("row %1 is neither a signal (\"path\"), a divider nor a group%2")
                        .arg(i)
                        .arg(top ? QString() : QStringLiteral(" (groups hold no groups)"));
            return false;
        }
        rows.push_back(std::move(row));
    }
    return true;
}

// Times travel as decimal texts: a JSON number is a double, which holds 53 bits.
bool timeFromJson(const QJsonValue &value, qint64 &time)
{
    bool ok = false;
    time = value.toString().toLongLong(&ok);
    return ok;
}

} // namespace

bool Dovlin_ViewFile::Write(const QString &path, QString &error) const
{
    QJsonObject root;
    root[QStringLiteral("format")] = Format;
    root[QStringLiteral("version")] = Version;
    root[QStringLiteral("timeBase")] = m_TimeBase;
    if (m_End > m_Start) {
        root[QStringLiteral("start")] = QString::number(m_Start);
        root[QStringLiteral("end")] = QString::number(m_End);
    }
    QJsonArray cursors;
    for (const qint64 time : m_Cursors)
        cursors.append(QString::number(time));
    root[QStringLiteral("cursors")] = cursors;
    root[QStringLiteral("defaultCursor")] = m_DefaultCursor;
    root[QStringLiteral("list")] = rowsToJson(m_List);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool Dovlin_ViewFile::Read(const QString &path, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    if (file.size() > MaxBytes) {
        error = QStringLiteral("%1 bytes is more than a view file holds").arg(file.size());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (document.isNull()) {
        error = QStringLiteral("not JSON: %1 at byte %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != Format) {
        error = QStringLiteral("not a view file of Dovlin");
        return false;
    }
    if (root.value(QStringLiteral("version")).toInt() > Version) {
        error = QStringLiteral("written by a newer version of Dovlin (view file version %1)").arg(root.value(QStringLiteral("version")).toInt());
        return false;
    }
    Dovlin_ViewFile read;
    read.m_TimeBase = root.value(QStringLiteral("timeBase")).toInt(1);
    if (read.m_TimeBase > 0 || read.m_TimeBase < -18) {
        error = QStringLiteral("time base %1 out of range").arg(read.m_TimeBase);
        return false;
    }
    if (root.contains(QStringLiteral("start"))
        && (!timeFromJson(root.value(QStringLiteral("start")), read.m_Start) || !timeFromJson(root.value(QStringLiteral("end")), read.m_End))) {
        error = QStringLiteral("the time window is not two whole numbers");
        return false;
    }
    const QJsonArray cursors = root.value(QStringLiteral("cursors")).toArray();
    if (cursors.size() > 10) {
        error = QStringLiteral("%1 cursors, more than 10").arg(cursors.size());
        return false;
    }
    for (const QJsonValue &cursor : cursors) {
        qint64 time = 0;
        if (!timeFromJson(cursor, time) || time < 0) {
            error = QStringLiteral("a cursor time is not a whole number of 0 or more");
            return false;
        }
        read.m_Cursors.push_back(time);
    }
    read.m_DefaultCursor = qBound(0, root.value(QStringLiteral("defaultCursor")).toInt(), qMax(0, int(read.m_Cursors.size()) - 1));
    if (!rowsFromJson(root.value(QStringLiteral("list")).toArray(), true, read.m_List, error))
        return false;
    *this = std::move(read);
    return true;
}

bool Dovlin_ViewFile::Rebase(int timeBase)
{
    const auto rebase = [&](qint64 &time) {
        for (int base = m_TimeBase; base > timeBase; --base) {
            if (time > std::numeric_limits<qint64>::max() / 10 || time < std::numeric_limits<qint64>::min() / 10)
                return false;
            time *= 10;
        }
        for (int base = m_TimeBase; base < timeBase; ++base)
            time /= 10;
        return true;
    };
    std::vector<qint64> cursors = m_Cursors;
    qint64 start = m_Start, end = m_End;
    for (qint64 &time : cursors)
        if (!rebase(time))
            return false;
    if (!rebase(start) || !rebase(end))
        return false;
    m_Cursors = std::move(cursors);
    m_Start = start;
    m_End = end;
    m_TimeBase = timeBase;
    return true;
}
