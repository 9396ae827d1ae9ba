// Scanner of VCD text. The token rules live in vcd.l, the token numbers in vcd.y.
#ifndef VCD_LEX_H
#define VCD_LEX_H

#include "yylexer.h"

#include <QtGlobal>

#include <memory>

class Dovlin_ImportReporter;

class vcd_lex : public yyflexer {
public:
    // Bytes read from yyin at a time; progress is reported once per block.
    static constexpr int BlockSize = 64 * 1024;
    // Default cap on the length of one token.
    static constexpr int MaxTokenLength = 16 * 1024 * 1024;

    vcd_lex();

    void yytables();

    // Reports bytes read of total after each block; a reporter that declines cancels the scan.
    void SetProgress(Dovlin_ImportReporter* reporter, qint64 total);
    bool Cancelled() const { return m_Cancelled; }
    // yyin failed to deliver its bytes.
    bool ReadFailed() const { return m_ReadFailed; }
    qint64 BytesRead() const { return m_BytesRead; }

    // The unread bytes of the block in hand, while the scanner stands between two tokens of the
    // body (condition INITIAL, nothing given back or kept): the parser reads value changes from
    // them itself. Empty otherwise.
    void Unread(const char *&begin, const char *&end) const;
    // The parser read the unread bytes up to `to`, the end of a word, and line `line` holds it.
    void Consume(const char *to, int line);
    // Where a byte of the block in hand lies in yyin.
    qint64 OffsetOf(const char *byte) const;
    // The parser took what others read up to offset, where line `line` begins: the scan goes on
    // there, in the block in hand or in the block read from there.
    void SkipTo(qint64 offset, int line);

    int yylex() override;
    int yygetchar() override;
    // Buffer overflows are reported through yyfailure() by the import, not on yyerr.
    void yytextoverflow() override {}
    void yyunputoverflow() override {}

protected:
    int yyaction(int rule) override;

private:
    int Refill();

    std::unique_ptr<unsigned char[]> m_Block;
    qint64 m_BytesRead = 0;
    Dovlin_ImportReporter* m_Reporter = nullptr;
    qint64 m_Total = 0;
    bool m_Cancelled = false;
    bool m_ReadFailed = false;
};

#endif
