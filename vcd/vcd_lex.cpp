#include "vcd_lex.h"

#include "Dovlin_ImportReporter.h"
#include "vcd_lex_tables.h"
#include "vcd_yacc_tokens.h"

#include <cassert>
#include <cstdio>
#include <iterator>

namespace {

using namespace vcd_yacc_tokens;
using namespace vcd_lex_conditions;

// The action of a rule whose text is dropped; any other action is a start condition.
constexpr int skip = -1;

struct RuleAction {
    int condition; // the condition after the token, or skip
    int token;
};

#define VCD_RULE_ACTION(rule, condition, token) {condition, token},
// Indexed by rule number; there is no rule 0.
const RuleAction ruleActions[] = {{skip, 0}, VCD_LEX_RULE_ACTIONS(VCD_RULE_ACTION)};
#undef VCD_RULE_ACTION

} // namespace

vcd_lex::vcd_lex()
{
    yytables();
    yytextmax = MaxTokenLength;
    yynoreject = true;
}

void vcd_lex::yytables()
{
    yyinstall(vcd_lex_tables());
}

void vcd_lex::SetProgress(Dovlin_ImportReporter* reporter, qint64 total)
{
    m_Reporter = reporter;
    m_Total = total;
}

int vcd_lex::yyaction(int rule)
{
    assert(rule >= 1 && rule < int(std::size(ruleActions)));
    const RuleAction& action = ruleActions[rule];
    yyreturnflg = action.condition != skip;
    if (!yyreturnflg)
        return 0;
    yystart = action.condition;
    return action.token;
}

void vcd_lex::Unread(const char *&begin, const char *&end) const
{
    begin = end = nullptr;
    if (yystart != INITIAL || yyunputindex != 0 || yymoreflg || yyfailflg)
        return;
    begin = reinterpret_cast<const char *>(yyreadptr);
    end = reinterpret_cast<const char *>(yyreadend);
}

void vcd_lex::Consume(const char *to, int line)
{
    assert(to >= reinterpret_cast<const char *>(yyreadptr) && to <= reinterpret_cast<const char *>(yyreadend));
    if (to == reinterpret_cast<const char *>(yyreadptr))
        return;
    yyreadptr = reinterpret_cast<const unsigned char *>(to);
    yylineno = line;
    yyeol = false;
}

qint64 vcd_lex::OffsetOf(const char *byte) const
{
    return m_BytesRead - (reinterpret_cast<const char *>(yyreadend) - byte);
}

void vcd_lex::SkipTo(qint64 offset, int line)
{
    yylineno = line;
    yyeol = false;
    const qint64 blockStart = m_BytesRead - (yyreadend - yyreadbegin);
    if (offset >= blockStart && offset <= m_BytesRead) {
        yyreadptr = yyreadbegin + (offset - blockStart);
        return;
    }
    yyreadbegin = yyreadptr = yyreadend = m_Block.get();
    if (fseeko(yyin, off_t(offset), SEEK_SET) != 0) {
        m_ReadFailed = true;
        yyfailflg = true;
        return;
    }
    m_BytesRead = offset;
    // The block from there on is read at once, so that the parser finds the next chunk's start in it.
    if (Refill() >= 0)
        --yyreadptr;
}

// Whitespace only ever separates words, so a run of it is passed over here, block after block,
// instead of being scanned as a token of its own: however long it runs, nothing is buffered.
int vcd_lex::yylex()
{
    while (yyunputindex == 0 && !yymoreflg) {
        const unsigned char* p = yyreadptr;
        while (p != yyreadend && (*p == ' ' || *p == '\n' || (*p >= '\t' && *p <= '\r'))) {
            if (*p == '\n')
                ++yylineno;
            ++p;
        }
        if (p != yyreadptr) {
            yyeol = p[-1] == '\n';
            yyreadptr = p;
        }
        if (p != yyreadend || Refill() < 0)
            break;
        // Refill handed out the block's first byte: the scan goes on from it.
        --yyreadptr;
    }
    return yyflexer::yylex();
}

int vcd_lex::yygetchar()
{
    if (yyreadptr != yyreadend)
        return *yyreadptr++;
    return Refill();
}

int vcd_lex::Refill()
{
    assert(yyin != nullptr);
    if (m_Cancelled || m_ReadFailed)
        return -1;
    if (!m_Block)
        m_Block.reset(new unsigned char[BlockSize]);
    const size_t read = fread(m_Block.get(), 1, BlockSize, yyin);
    if (read == 0) {
        // A stream error ends the scan like a cancel: what was read must not pass as the whole.
        m_ReadFailed = ferror(yyin) != 0;
        yyfailflg = m_ReadFailed;
        return -1;
    }
    m_BytesRead += qint64(read);
    if (m_Reporter && !m_Reporter->Progress(m_BytesRead, m_Total)) {
        m_Cancelled = true;
        yyfailflg = true;
        return -1;
    }
    yyreadbegin = yyreadptr = m_Block.get();
    yyreadend = yyreadptr + read;
    return *yyreadptr++;
}
