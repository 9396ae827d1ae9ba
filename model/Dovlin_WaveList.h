#ifndef DOVLIN_WAVELIST_H
#define DOVLIN_WAVELIST_H

#include "Dovlin_Types.h"

#include <QString>
#include <QStringList>

#include <vector>

class Dovlin_FileManager;
class Dovlin_Hierarchy;

// One row of a wave list: a node named by its dotted path, a divider, or a named group of rows.
// Rows name their nodes by path, so that a list outlives the model it was made on: a reload, a
// new conversion, the next simulation's dump.
struct Dovlin_ListRow
{
    enum Kind { Node, Divider, Group };

    Kind m_Kind = Node;
    // A node's dotted path.
    QString m_Path;
    // Shown instead of the node's own name when not empty; a divider's or a group's text.
    QString m_Label;
    // A node's radix (Dovlin_Radix) and display, its own whatever other rows of the node show.
    int m_Radix = Dovlin_Radix::Hexadecimal;
    bool m_Digital = true;
    // A bus shows its bits; a group its rows.
    bool m_Open = false;
    // A group's rows: nodes and dividers, never groups.
    std::vector<Dovlin_ListRow> m_Rows;

    static Dovlin_ListRow OfNode(const QString &path, int radix, bool digital);
    static Dovlin_ListRow OfDivider(const QString &label);
    bool operator==(const Dovlin_ListRow &other) const;
    bool operator!=(const Dovlin_ListRow &other) const { return !(*this == other); }
};

using Dovlin_ListRows = std::vector<Dovlin_ListRow>;

// The rows of a wave list and their edits, each of which Undo takes back. A row is addressed by
// its index among the top rows and, inside a group, its index there.
class Dovlin_WaveList
{
public:
    struct Pos
    {
        int m_Row = 0;
        // -1 for the top row itself.
        int m_Child = -1;
        bool operator==(const Pos &other) const { return m_Row == other.m_Row && m_Child == other.m_Child; }
        bool operator<(const Pos &other) const
        {
            return m_Row != other.m_Row ? m_Row < other.m_Row : m_Child < other.m_Child;
        }
    };
    // Undo keeps this many edits.
    static constexpr int m_MaxUndo = 100;

    const Dovlin_ListRows &Rows() const { return m_Rows; }
    bool IsEmpty() const { return m_Rows.empty(); }
    // Null for a position that holds no row.
    const Dovlin_ListRow *Row(Pos pos) const;
    // A row's open flag, which changes without an undo step.
    Dovlin_ListRow *MutableRow(Pos pos);

    // Puts rows before `at` (at the end of the list or of a group when at is one past its last
    // row); a group's rows placed inside a group go in without their group. Returns where the
    // first one went.
    Pos Insert(Pos at, Dovlin_ListRows rows);
    void Remove(std::vector<Pos> rows);
    // Takes rows out and puts them back in their order before the row at `to` (counted before the
    // move); returns where the first one went.
    Pos Move(std::vector<Pos> rows, Pos to);
    // Puts the given top-level node and divider rows into a new open group at the first one's
    // place; groups among them give up their rows to it.
    Pos MakeGroup(std::vector<Pos> rows, const QString &label);
    void Rename(Pos pos, const QString &label);
    // Gives the node rows among these the radix (when not negative) and turns their display
    // between digital and analog (when toggle is set), as one edit; false when nothing changed.
    bool SetLook(const std::vector<Pos> &rows, int radix, bool toggleDigital);
    // Replaces every row, as one edit.
    void Replace(Dovlin_ListRows rows);
    bool CanUndo() const { return !m_Undo.empty(); }
    bool Undo();
    void ClearUndo() { m_Undo.clear(); }

    // Every node path of the rows, group rows included, in list order.
    QStringList Paths() const;
    // The paths of rows whose node the model does not have.
    QStringList MissingPaths(const Dovlin_FileManager &model) const;
    // Rows for nodes of the model: a scope gives its signals and buses (not its scopes), in
    // tree order, a bus or a signal itself; each with the node's radix and display.
    static Dovlin_ListRows RowsFor(const std::vector<Dovlin_Hierarchy *> &nodes, const Dovlin_FileManager &model);

private:
    void Remember();
    // Removes the rows (sorted, deepest last) and returns them in list order.
    Dovlin_ListRows Take(std::vector<Pos> rows);
    // Where `to` lies once the rows before it among `taken` are gone.
    static Pos After(Pos to, const std::vector<Pos> &taken);

    Dovlin_ListRows m_Rows;
    std::vector<Dovlin_ListRows> m_Undo;
};

#endif
