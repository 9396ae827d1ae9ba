#ifndef DOVLIN_NAMEFILTER_H
#define DOVLIN_NAMEFILTER_H

#include <QString>

#include <memory>
#include <vector>

class Dovlin_FileManager;

// Which nodes of a tree a name pattern picks. Plain text matches anywhere in a node's name; a
// pattern with * or ? is a wildcard over the whole name; one that starts with / is a regular
// expression searched in the node's dotted path. Case never matters. No pattern holds the caller
// for long: wildcards are matched without going back more than one star, and an expression that
// needs too many steps for one path stops the filter, which says so.
class Dovlin_NameFilter
{
public:
    enum Mark : unsigned char { Unmarked = 0, Ancestor = 1, Match = 2 };

    Dovlin_NameFilter();
    ~Dovlin_NameFilter();
    Dovlin_NameFilter(const Dovlin_NameFilter &) = delete;
    Dovlin_NameFilter &operator=(const Dovlin_NameFilter &) = delete;

    // False, with the reason in ErrorString, for a regular expression that does not compile.
    // A lone / is no pattern yet: it would pick every node.
    bool SetPattern(const QString &pattern);
    bool IsEmpty() const { return m_Pattern.isEmpty(); }
    QString ErrorString() const { return m_Error; }

    // Marks every node of the model by its index, hidden ones and those under collapsed scopes
    // alike: Match, Ancestor of a match, or Unmarked. Returns the number of matches, or -1 when a
    // regular expression took too many steps on a path (LimitString says which).
    int Apply(const Dovlin_FileManager &model, std::vector<unsigned char> &marks) const;
    QString LimitString() const { return m_Limit; }
    // Steps of the expression's matcher allowed for one path.
    static constexpr quint32 m_MatchLimit = 200000;

private:
    // Marks the nodes whose dotted paths the expression matches; false when one took too long.
    bool MatchPaths(const Dovlin_FileManager &model, std::vector<unsigned char> &marks) const;
    bool WildcardMatches(const std::vector<char32_t> &name) const;

    QString m_Pattern;
    QString m_Error;
    mutable QString m_Limit;
    enum { Text, Wildcard, Path } m_Kind = Text;
    QString m_Text;
    // The wildcard's characters, case-folded; Star and Any stand for * and ?.
    std::vector<char32_t> m_Wildcard;
    struct Expression;
    std::unique_ptr<Expression> m_Expression;
};

#endif
