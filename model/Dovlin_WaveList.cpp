#include "Dovlin_WaveList.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"

#include <QHash>
#include <QSet>

#include <algorithm>

Dovlin_ListRow Dovlin_ListRow::OfNode(const QString &path, int radix, bool digital)
{
    Dovlin_ListRow row;
    row.m_Path = path;
    row.m_Radix = radix;
    row.m_Digital = digital;
    return row;
}

Dovlin_ListRow Dovlin_ListRow::OfDivider(const QString &label)
{
    Dovlin_ListRow row;
    row.m_Kind = Divider;
    row.m_Label = label;
    return row;
}

bool Dovlin_ListRow::operator==(const Dovlin_ListRow &other) const
{
    return m_Kind == other.m_Kind && m_Path == other.m_Path && m_Label == other.m_Label && m_Radix == other.m_Radix
           && m_Digital == other.m_Digital && m_Open == other.m_Open && m_Rows == other.m_Rows;
}

const Dovlin_ListRow *Dovlin_WaveList::Row(Pos pos) const
{
    if (pos.m_Row < 0 || pos.m_Row >= int(m_Rows.size()))
        return nullptr;
    const Dovlin_ListRow &top = m_Rows[size_t(pos.m_Row)];
    if (pos.m_Child < 0)
        return &top;
    return top.m_Kind == Dovlin_ListRow::Group && pos.m_Child < int(top.m_Rows.size()) ? &top.m_Rows[size_t(pos.m_Child)]
                                                                                       : nullptr;
}

Dovlin_ListRow *Dovlin_WaveList::MutableRow(Pos pos)
{
    return const_cast<Dovlin_ListRow *>(Row(pos));
}

void Dovlin_WaveList::Remember()
{
    m_Undo.push_back(m_Rows);
    if (int(m_Undo.size()) > m_MaxUndo)
        m_Undo.erase(m_Undo.begin());
}

bool Dovlin_WaveList::Undo()
{
    if (m_Undo.empty())
        return false;
    m_Rows = std::move(m_Undo.back());
    m_Undo.pop_back();
    return true;
}

namespace {
// A group's rows in place of the group: groups hold no groups.
Dovlin_ListRows flattened(Dovlin_ListRows rows)
{
    Dovlin_ListRows flat;
    for (Dovlin_ListRow &row : rows) {
        if (row.m_Kind == Dovlin_ListRow::Group)
            std::move(row.m_Rows.begin(), row.m_Rows.end(), std::back_inserter(flat));
        else
            flat.push_back(std::move(row));
    }
    return flat;
}

Dovlin_WaveList::Pos place(Dovlin_ListRows &top, Dovlin_WaveList::Pos at, Dovlin_ListRows rows)
{
    const bool inGroup = at.m_Child >= 0 && at.m_Row >= 0 && at.m_Row < int(top.size())
                         && top[size_t(at.m_Row)].m_Kind == Dovlin_ListRow::Group;
    Dovlin_ListRows &into = inGroup ? top[size_t(at.m_Row)].m_Rows : top;
    if (inGroup)
        rows = flattened(std::move(rows));
    const int index = qBound(0, inGroup ? at.m_Child : at.m_Row, int(into.size()));
    into.insert(into.begin() + index, std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    return inGroup ? Dovlin_WaveList::Pos{at.m_Row, index} : Dovlin_WaveList::Pos{index, -1};
}
} // namespace

Dovlin_WaveList::Pos Dovlin_WaveList::Insert(Pos at, Dovlin_ListRows rows)
{
    if (rows.empty())
        return at;
    Remember();
    return place(m_Rows, at, std::move(rows));
}

Dovlin_ListRows Dovlin_WaveList::Take(std::vector<Pos> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // A row inside a group that goes as a whole goes with it.
    const std::vector<Pos> asked = rows;
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&](const Pos &p) {
                                  return !Row(p) || (p.m_Child >= 0 && std::binary_search(asked.begin(), asked.end(), Pos{p.m_Row, -1}));
                              }),
               rows.end());
    Dovlin_ListRows taken;
    for (const Pos &p : rows)
        taken.push_back(*Row(p));
    for (auto p = rows.rbegin(); p != rows.rend(); ++p) {
        if (p->m_Child < 0)
            m_Rows.erase(m_Rows.begin() + p->m_Row);
        else
            m_Rows[size_t(p->m_Row)].m_Rows.erase(m_Rows[size_t(p->m_Row)].m_Rows.begin() + p->m_Child);
    }
    return taken;
}

Dovlin_WaveList::Pos Dovlin_WaveList::After(Pos to, const std::vector<Pos> &taken)
{
    int row = to.m_Row, child = to.m_Child;
    bool groupTaken = false;
    for (const Pos &p : taken) {
        if (p.m_Child < 0 && p.m_Row < to.m_Row)
            --row;
        groupTaken = groupTaken || (p.m_Child < 0 && p.m_Row == to.m_Row);
        if (to.m_Child >= 0 && p.m_Row == to.m_Row && p.m_Child >= 0 && p.m_Child < to.m_Child)
            --child;
    }
    return groupTaken ? Pos{row, -1} : Pos{row, child};
}

void Dovlin_WaveList::Remove(std::vector<Pos> rows)
{
    const bool any = std::any_of(rows.begin(), rows.end(), [&](const Pos &p) { return Row(p); });
    if (!any)
        return;
    Remember();
    Take(std::move(rows));
}

Dovlin_WaveList::Pos Dovlin_WaveList::Move(std::vector<Pos> rows, Pos to)
{
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const Pos &p) { return !Row(p); }), rows.end());
    if (rows.empty())
        return to;
    Remember();
    const Pos at = After(to, rows);
    return place(m_Rows, at, Take(std::move(rows)));
}

Dovlin_WaveList::Pos Dovlin_WaveList::MakeGroup(std::vector<Pos> rows, const QString &label)
{
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const Pos &p) { return !Row(p); }), rows.end());
    if (rows.empty())
        return Pos{};
    Remember();
    const Pos first = *std::min_element(rows.begin(), rows.end());
    const Pos at = After(Pos{first.m_Row, -1}, rows);
    Dovlin_ListRow group;
    group.m_Kind = Dovlin_ListRow::Group;
    group.m_Label = label;
    group.m_Open = true;
    group.m_Rows = flattened(Take(std::move(rows)));
    return place(m_Rows, Pos{at.m_Row, -1}, Dovlin_ListRows{std::move(group)});
}

void Dovlin_WaveList::Rename(Pos pos, const QString &label)
{
    if (!Row(pos) || Row(pos)->m_Label == label)
        return;
    Remember();
    MutableRow(pos)->m_Label = label;
}

bool Dovlin_WaveList::SetLook(const std::vector<Pos> &rows, int radix, bool toggleDigital)
{
    const auto changes = [&](const Pos &p) {
        const Dovlin_ListRow *row = Row(p);
        return row && row->m_Kind == Dovlin_ListRow::Node && (toggleDigital || (radix >= 0 && row->m_Radix != radix));
    };
    if (!std::any_of(rows.begin(), rows.end(), changes))
        return false;
    Remember();
    for (const Pos &p : rows) {
        if (!changes(p))
            continue;
        Dovlin_ListRow *row = MutableRow(p);
        if (radix >= 0)
            row->m_Radix = radix;
        row->m_Digital ^= toggleDigital;
    }
    return true;
}

void Dovlin_WaveList::Replace(Dovlin_ListRows rows)
{
    Remember();
    m_Rows = std::move(rows);
}

QStringList Dovlin_WaveList::Paths() const
{
    QStringList paths;
    for (const Dovlin_ListRow &row : m_Rows) {
        if (row.m_Kind == Dovlin_ListRow::Node)
            paths << row.m_Path;
        for (const Dovlin_ListRow &inner : row.m_Rows)
            if (inner.m_Kind == Dovlin_ListRow::Node)
                paths << inner.m_Path;
    }
    return paths;
}

QStringList Dovlin_WaveList::MissingPaths(const Dovlin_FileManager &model) const
{
    QSet<QString> known;
    model.VisitDottedPaths([&](Dovlin_Hierarchy *, const QString &path) { known.insert(path); });
    QStringList missing;
    for (const QString &path : Paths())
        if (!known.contains(path))
            missing << path;
    return missing;
}

Dovlin_ListRows Dovlin_WaveList::RowsFor(const std::vector<Dovlin_Hierarchy *> &nodes, const Dovlin_FileManager &model)
{
    QHash<const Dovlin_Hierarchy *, QString> paths;
    model.VisitDottedPaths([&](Dovlin_Hierarchy *node, const QString &path) { paths.insert(node, path); });
    const auto isScope = [](const Dovlin_Hierarchy *node) {
        return node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite
               && !static_cast<const Dovlin_CompositeHierarchy *>(node)->IsBus();
    };
    Dovlin_ListRows rows;
    const auto add = [&](const Dovlin_Hierarchy *node) {
        if (paths.contains(node))
            rows.push_back(Dovlin_ListRow::OfNode(paths.value(node), node->m_Radix, node->m_Digital));
    };
    for (const Dovlin_Hierarchy *node : nodes) {
        if (!isScope(node)) {
            add(node);
            continue;
        }
        const auto *scope = static_cast<const Dovlin_CompositeHierarchy *>(node);
        for (int i = 0; i < scope->GetnChild(); ++i)
            if (const Dovlin_Hierarchy *child = scope->GetHierarchy(i); child && !isScope(child))
                add(child);
    }
    return rows;
}
