#include "grammar.h"

#include <set>

namespace {

int addSymbol(Grammar& g, const std::string& name, bool terminal, int number, int line)
{
    g.symbols.push_back({name, terminal, number, line, -1});
    const int s = int(g.symbols.size()) - 1;
    g.byName[name] = s;
    (terminal ? g.terminals : g.nonterminals).push_back(s);
    return s;
}

bool isCharLiteral(const std::string& word)
{
    return word.size() == 3 && word[0] == '\'' && word[2] == '\'' && word[1] != '\'';
}

struct PendingRule {
    int line;
    int action;
    std::string lhs;
    std::vector<std::string> rhs;
};

struct PendingDestructor {
    int line;
    int action;
    std::vector<std::string> names;
};

bool parseAction(const std::string& word, int& action)
{
    long value = 0;
    if (word == "-") {
        action = -1;
        return true;
    }
    if (!parseNumber(word, 0, 32767, value))
        return false;
    action = int(value);
    return true;
}

void parseRuleLine(const SourceLine& line, const std::vector<std::string>& words,
                   std::vector<PendingRule>& rules, Diagnostics& diag)
{
    long number = 0;
    if (!parseNumber(words[0], 1, 32767, number)) {
        diag.error(line.number, "bad rule number " + words[0]);
        return;
    }
    const long expected = long(rules.size()) + 1;
    if (number != expected) {
        diag.error(line.number, "rule " + words[0] + " out of order: expected rule "
                                    + std::to_string(expected));
        return;
    }
    PendingRule rule{line.number, -1, "", {}};
    if (words.size() < 3 || !parseAction(words[1], rule.action)) {
        diag.error(line.number, "expected: number action-or-'-' lhs : symbols");
        return;
    }
    size_t next = 3;
    rule.lhs = words[2];
    if (rule.lhs.size() > 1 && rule.lhs.back() == ':')
        rule.lhs.pop_back();
    else if (words.size() > 3 && words[3] == ":")
        next = 4;
    else {
        diag.error(line.number, "missing ':' after the left-hand side");
        return;
    }
    if (!isIdentifier(rule.lhs)) {
        diag.error(line.number, "bad left-hand side " + rule.lhs);
        return;
    }
    rule.rhs.assign(words.begin() + long(next), words.end());
    rules.push_back(rule);
}

void warnUnused(const Grammar& g, Diagnostics& diag)
{
    std::set<int> used;
    for (size_t r = 1; r < g.rules.size(); ++r)
        used.insert(g.rules[r].rhs.begin(), g.rules[r].rhs.end());
    for (int t : g.declaredTokens)
        if (used.count(t) == 0)
            diag.warning(g.symbol(t).line, "token " + g.symbol(t).name + " is never used");

    // Reachable from the start symbol.
    std::set<int> reached{g.acceptSymbol};
    std::vector<int> work{g.acceptSymbol};
    while (!work.empty()) {
        const int s = work.back();
        work.pop_back();
        for (const GrammarRule& rule : g.rules)
            if (rule.lhs == s)
                for (int x : rule.rhs)
                    if (!g.symbol(x).terminal && reached.insert(x).second)
                        work.push_back(x);
    }
    // Deriving at least one string of tokens.
    std::set<int> productive;
    for (bool changed = true; changed;) {
        changed = false;
        for (const GrammarRule& rule : g.rules) {
            bool all = true;
            for (int x : rule.rhs)
                all = all && (g.symbol(x).terminal || productive.count(x) != 0);
            if (all && productive.insert(rule.lhs).second)
                changed = true;
        }
    }
    for (int s : g.nonterminals) {
        if (reached.count(s) == 0)
            diag.warning(0, "nonterminal " + g.symbol(s).name + " is unreachable from the start");
        if (productive.count(s) == 0)
            diag.warning(0, "nonterminal " + g.symbol(s).name + " derives no string of tokens");
    }
}

} // namespace

bool parseGrammar(const std::vector<SourceLine>& lines, Grammar& g, Diagnostics& diag)
{
    g.endSymbol = addSymbol(g, "$end", true, 0, 0);
    g.errorSymbol = addSymbol(g, "error", true, 256, 0);
    g.acceptSymbol = addSymbol(g, "$accept", false, 0, 0);
    std::string start;
    int startLine = 0;
    std::vector<PendingRule> pending;
    std::vector<PendingDestructor> destructors;
    for (const SourceLine& line : lines) {
        const std::vector<std::string> words = splitWords(stripComment(line.text));
        if (words.empty())
            continue;
        const std::string& first = words[0];
        long value = 0;
        if (first == "%token") {
            for (size_t i = 1; i < words.size(); ++i) {
                if (!isIdentifier(words[i]))
                    diag.error(line.number, "bad token name " + words[i]);
                else if (g.byName.count(words[i]) != 0)
                    diag.error(line.number, words[i] + " is already declared");
                else
                    g.declaredTokens.push_back(addSymbol(
                        g, words[i], true, 257 + int(g.declaredTokens.size()), line.number));
            }
        } else if (first == "%start") {
            if (words.size() != 2 || !isIdentifier(words[1]))
                diag.error(line.number, "expected %start NAME");
            else {
                start = words[1];
                startLine = line.number;
            }
        } else if (first == "%attribute" || first == "%stack") {
            if (words.size() != 2 || !parseNumber(words[1], first == "%stack" ? 0 : 1, 1 << 20, value))
                diag.error(line.number, first + " needs one size");
            else
                (first == "%stack" ? g.stackSize : g.attributeSize) = int(value);
        } else if (first == "%destructor") {
            PendingDestructor d{line.number, -1, {}};
            if (words.size() < 3 || !parseAction(words[1], d.action) || d.action < 0)
                diag.error(line.number, "expected %destructor ACTION SYMBOL...");
            else {
                d.names.assign(words.begin() + 2, words.end());
                destructors.push_back(d);
            }
        } else if (first[0] == '%')
            diag.error(line.number, "unknown option " + first);
        else
            parseRuleLine(line, words, pending, diag);
    }
    if (pending.empty()) {
        diag.error(0, "no rules");
        return false;
    }

    for (const PendingRule& rule : pending) {
        const auto found = g.byName.find(rule.lhs);
        if (found == g.byName.end())
            addSymbol(g, rule.lhs, false, int(g.nonterminals.size()), rule.line);
        else if (g.symbol(found->second).terminal)
            diag.error(rule.line, "token " + rule.lhs + " on the left-hand side");
    }
    if (start.empty())
        start = pending.front().lhs;
    const auto startSymbol = g.byName.find(start);
    if (startSymbol == g.byName.end() || g.symbol(startSymbol->second).terminal) {
        diag.error(startLine, "start symbol " + start + " is not a nonterminal");
        return false;
    }
    g.rules.push_back({g.acceptSymbol, {startSymbol->second}, -1, 0});
    for (const PendingRule& p : pending) {
        GrammarRule rule{g.byName[p.lhs], {}, p.action, p.line};
        for (const std::string& name : p.rhs) {
            auto found = g.byName.find(name);
            if (found == g.byName.end() && isCharLiteral(name)) {
                addSymbol(g, name, true, static_cast<unsigned char>(name[1]), p.line);
                found = g.byName.find(name);
            }
            if (found == g.byName.end() || found->second == g.endSymbol
                || found->second == g.acceptSymbol) {
                diag.error(p.line, "undefined symbol " + name);
                continue;
            }
            rule.rhs.push_back(found->second);
        }
        g.rules.push_back(rule);
    }
    for (const PendingDestructor& d : destructors)
        for (const std::string& name : d.names) {
            const auto found = g.byName.find(name);
            if (found == g.byName.end() || found->second == g.endSymbol
                || found->second == g.acceptSymbol)
                diag.error(d.line, "undefined symbol " + name);
            else {
                g.symbols[size_t(found->second)].destructor = d.action;
                g.destructors = true;
            }
        }
    if (!diag.failed())
        warnUnused(g, diag);
    return !diag.failed();
}
