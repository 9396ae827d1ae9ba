#include "lalr.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>

namespace {

enum { shift = 0, reduce = 1, error = 2, accept = 3 };

using Item = std::pair<int, int>;

class Bits {
public:
    explicit Bits(size_t n = 0) : m_words((n + 63) / 64, 0) {}
    void set(size_t i) { m_words[i / 64] |= uint64_t(1) << (i % 64); }
    bool test(size_t i) const { return (m_words[i / 64] >> (i % 64)) & 1; }
    void unite(const Bits& other)
    {
        for (size_t i = 0; i < m_words.size(); ++i)
            m_words[i] |= other.m_words[i];
    }

private:
    std::vector<uint64_t> m_words;
};

// F(x) = F'(x) united with F(y) for every y reachable from x through `relation`
// (the digraph algorithm of DeRemer and Pennello).
void digraph(const std::vector<std::vector<int>>& relation, std::vector<Bits>& f)
{
    const size_t n = relation.size();
    const size_t infinity = SIZE_MAX;
    std::vector<size_t> depth(n, 0);
    std::vector<int> stack;
    std::function<void(int)> traverse = [&](int x) {
        stack.push_back(x);
        const size_t d = stack.size();
        depth[size_t(x)] = d;
        for (int y : relation[size_t(x)]) {
            if (depth[size_t(y)] == 0)
                traverse(y);
            depth[size_t(x)] = std::min(depth[size_t(x)], depth[size_t(y)]);
            f[size_t(x)].unite(f[size_t(y)]);
        }
        if (depth[size_t(x)] == d)
            for (;;) {
                const int top = stack.back();
                stack.pop_back();
                depth[size_t(top)] = infinity;
                if (top == x)
                    break;
                f[size_t(top)] = f[size_t(x)];
            }
    };
    for (size_t x = 0; x < n; ++x)
        if (depth[x] == 0)
            traverse(int(x));
}

class Builder {
public:
    Builder(const Grammar& g, std::vector<ParserState>& states, Diagnostics& diag)
        : m_g(g), m_states(states), m_diag(diag), m_rulesOf(g.nonterminals.size()),
          m_termIndex(g.symbols.size(), -1)
    {
        for (size_t r = 0; r < g.rules.size(); ++r)
            m_rulesOf[size_t(g.symbol(g.rules[r].lhs).number)].push_back(int(r));
        for (size_t i = 0; i < g.terminals.size(); ++i)
            m_termIndex[size_t(g.terminals[i])] = int(i);
    }

    void run()
    {
        buildStates();
        computeNullable();
        computeLookaheads();
        buildActions();
    }

private:
    bool terminal(int symbol) const { return m_g.symbol(symbol).terminal; }
    const std::vector<int>& rhs(int rule) const { return m_g.rules[size_t(rule)].rhs; }

    std::vector<Item> closure(const std::vector<Item>& kernel) const
    {
        std::vector<Item> items = kernel;
        std::vector<bool> added(m_g.nonterminals.size(), false);
        for (size_t i = 0; i < items.size(); ++i) {
            const auto [rule, dot] = items[i];
            if (size_t(dot) == rhs(rule).size() || terminal(rhs(rule)[size_t(dot)]))
                continue;
            const int nonterm = m_g.symbol(rhs(rule)[size_t(dot)]).number;
            if (added[size_t(nonterm)])
                continue;
            added[size_t(nonterm)] = true;
            for (int r : m_rulesOf[size_t(nonterm)])
                items.push_back({r, 0});
        }
        return items;
    }

    void buildStates()
    {
        std::map<std::vector<Item>, int> ids;
        m_states.push_back(ParserState());
        m_states[0].kernel = {{0, 0}};
        ids[m_states[0].kernel] = 0;
        for (size_t s = 0; s < m_states.size(); ++s) {
            std::map<int, std::vector<Item>> moves;
            for (const auto& [rule, dot] : closure(m_states[s].kernel))
                if (size_t(dot) < rhs(rule).size())
                    moves[rhs(rule)[size_t(dot)]].push_back({rule, dot + 1});
            for (auto& [symbol, kernel] : moves) {
                std::sort(kernel.begin(), kernel.end());
                auto found = ids.find(kernel);
                if (found == ids.end()) {
                    found = ids.emplace(kernel, int(m_states.size())).first;
                    ParserState state;
                    state.kernel = kernel;
                    state.accessing = symbol;
                    m_states.push_back(state);
                }
                m_states[s].go[symbol] = found->second;
            }
        }
    }

    void computeNullable()
    {
        m_nullable.assign(m_g.symbols.size(), false);
        for (bool changed = true; changed;) {
            changed = false;
            for (const GrammarRule& rule : m_g.rules)
                if (!m_nullable[size_t(rule.lhs)] && nullable(rule.rhs.begin(), rule.rhs.end())) {
                    m_nullable[size_t(rule.lhs)] = true;
                    changed = true;
                }
        }
    }

    bool nullable(std::vector<int>::const_iterator from, std::vector<int>::const_iterator to) const
    {
        return std::all_of(from, to, [&](int x) { return m_nullable[size_t(x)]; });
    }

    int walk(int state, const std::vector<int>& symbols, size_t count) const
    {
        for (size_t i = 0; i < count; ++i)
            state = m_states[size_t(state)].go.at(symbols[i]);
        return state;
    }

    void computeLookaheads()
    {
        // The nonterminal transitions (p, A) of the LR(0) automaton.
        std::map<std::pair<int, int>, int> index;
        std::vector<std::pair<int, int>> transitions;
        for (size_t p = 0; p < m_states.size(); ++p)
            for (const auto& [symbol, target] : m_states[p].go)
                if (!terminal(symbol)) {
                    index[{int(p), symbol}] = int(transitions.size());
                    transitions.push_back({int(p), symbol});
                }
        const size_t nt = transitions.size();
        const size_t terms = m_g.terminals.size();

        std::vector<Bits> read(nt, Bits(terms));
        std::vector<std::vector<int>> reads(nt), includes(nt);
        for (size_t x = 0; x < nt; ++x) {
            const int r = m_states[size_t(transitions[x].first)].go.at(transitions[x].second);
            for (const auto& [symbol, target] : m_states[size_t(r)].go) {
                if (terminal(symbol))
                    read[x].set(size_t(m_termIndex[size_t(symbol)]));
                else if (m_nullable[size_t(symbol)])
                    reads[x].push_back(index.at({r, symbol}));
            }
            // The end of input follows the start symbol.
            if (std::find(m_states[size_t(r)].kernel.begin(), m_states[size_t(r)].kernel.end(),
                          Item(0, 1)) != m_states[size_t(r)].kernel.end())
                read[x].set(size_t(m_termIndex[size_t(m_g.endSymbol)]));
        }
        digraph(reads, read);

        std::vector<std::vector<std::pair<int, int>>> lookback(nt); // (state, rule)
        for (size_t x = 0; x < nt; ++x) {
            const auto [from, lhs] = transitions[x];
            for (int rule : m_rulesOf[size_t(m_g.symbol(lhs).number)]) {
                const std::vector<int>& symbols = rhs(rule);
                int p = from;
                for (size_t i = 0; i < symbols.size(); ++i) {
                    if (!terminal(symbols[i]) && nullable(symbols.begin() + long(i) + 1, symbols.end()))
                        includes[size_t(index.at({p, symbols[i]}))].push_back(int(x));
                    p = m_states[size_t(p)].go.at(symbols[i]);
                }
                lookback[x].push_back({p, rule});
            }
        }
        digraph(includes, read);
        for (size_t x = 0; x < nt; ++x)
            for (const auto& key : lookback[x]) {
                auto found = m_lookahead.find(key);
                if (found == m_lookahead.end())
                    found = m_lookahead.emplace(key, Bits(terms)).first;
                found->second.unite(read[x]);
            }
    }

    std::string name(int symbol) const { return m_g.symbol(symbol).name; }

    void conflict(size_t state, int token, const std::string& kind, const std::string& resolution)
    {
        m_diag.note(0, "state " + std::to_string(state) + ": " + kind + " conflict on " + name(token)
                           + ", " + resolution);
        ++m_conflicts;
    }

    void buildActions()
    {
        std::set<int> reduced;
        for (size_t s = 0; s < m_states.size(); ++s) {
            ParserState& state = m_states[s];
            std::map<int, ParserAction> actions; // by terminal symbol
            for (const auto& [symbol, target] : state.go)
                if (terminal(symbol))
                    actions[symbol] = {shift, target};
            if (std::find(state.kernel.begin(), state.kernel.end(), Item(0, 1)) != state.kernel.end())
                actions[m_g.endSymbol] = {accept, 0};
            std::set<int> complete;
            for (const auto& [rule, dot] : closure(state.kernel))
                if (rule != 0 && size_t(dot) == rhs(rule).size())
                    complete.insert(rule);
            for (int rule : complete) {
                const auto found = m_lookahead.find({int(s), rule});
                if (found == m_lookahead.end())
                    continue;
                for (size_t i = 0; i < m_g.terminals.size(); ++i) {
                    if (!found->second.test(i))
                        continue;
                    const int t = m_g.terminals[i];
                    const auto existing = actions.find(t);
                    if (existing == actions.end())
                        actions[t] = {reduce, rule};
                    else if (existing->second.type == shift)
                        conflict(s, t, "shift/reduce", "shift chosen over rule " + std::to_string(rule));
                    else if (existing->second.type == accept)
                        conflict(s, t, "reduce/accept", "accept chosen over rule " + std::to_string(rule));
                    else
                        conflict(s, t, "reduce/reduce",
                                 "rule " + std::to_string(existing->second.value)
                                     + " chosen over rule " + std::to_string(rule));
                }
            }
            std::set<int> rules;
            bool onlyReductions = !actions.empty();
            for (const auto& [symbol, action] : actions) {
                if (action.type == reduce)
                    rules.insert(action.value);
                else
                    onlyReductions = false;
                state.actions[m_g.symbol(symbol).number] = action;
            }
            reduced.insert(rules.begin(), rules.end());
            // A lone reduction needs no look-ahead: its rule's action may still read the text
            // of the token just shifted.
            if (onlyReductions && rules.size() == 1) {
                state.lookahead = false;
                state.defaultAction = {reduce, *rules.begin()};
                state.actions.clear();
            }
        }
        for (size_t r = 1; r < m_g.rules.size(); ++r)
            if (reduced.count(int(r)) == 0)
                m_diag.warning(m_g.rules[r].line, "rule " + std::to_string(r) + " is never reduced");
        if (m_conflicts > 0)
            m_diag.note(0, std::to_string(m_conflicts) + " conflicts resolved");
    }

    const Grammar& m_g;
    std::vector<ParserState>& m_states;
    Diagnostics& m_diag;
    std::vector<std::vector<int>> m_rulesOf; // by nonterminal index
    std::vector<int> m_termIndex;            // by symbol
    std::vector<bool> m_nullable;            // by symbol
    std::map<std::pair<int, int>, Bits> m_lookahead; // (state, rule) -> terminal indexes
    int m_conflicts = 0;
};

} // namespace

bool buildParser(const Grammar& grammar, std::vector<ParserState>& states, Diagnostics& diag)
{
    Builder(grammar, states, diag).run();
    return !diag.failed();
}
