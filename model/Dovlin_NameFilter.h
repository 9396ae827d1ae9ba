#ifndef DOVLIN_NAMEFILTER_H
#define DOVLIN_NAMEFILTER_H

#include <QRegularExpression>
#include <QString>

#include <vector>

class Dovlin_FileManager;

// Which nodes of a tree a name pattern picks. Plain text matches anywhere in a node's name; a
// pattern with * or ? is a wildcard over the whole name; one that starts with / is a regular
// expression searched in the node's dotted path. Case never matters.
class Dovlin_NameFilter
{
public:
    enum Mark : unsigned char { Unmarked = 0, Ancestor = 1, Match = 2 };

    // False, with the reason in ErrorString, for a regular expression that does not compile.
    // A lone / is no pattern yet: it would pick every node.
    bool SetPattern(const QString &pattern);
    bool IsEmpty() const { return m_Pattern.isEmpty(); }
    QString ErrorString() const { return m_Error; }

    // Marks every node of the model by its index, hidden ones and those under collapsed scopes
    // alike: Match, Ancestor of a match, or Unmarked. Returns the number of matches.
    int Apply(const Dovlin_FileManager &model, std::vector<unsigned char> &marks) const;

private:
    // Marks the nodes whose dotted paths the expression matches.
    void MatchPaths(const Dovlin_FileManager &model, std::vector<unsigned char> &marks) const;

    QString m_Pattern;
    QString m_Error;
    enum { Text, Wildcard, Path } m_Kind = Text;
    QString m_Text;
    QRegularExpression m_Expression;
};

#endif
