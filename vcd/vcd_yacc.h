// Parser of VCD text: its reduction actions build the wave model of the dump.
#ifndef VCD_YACC_H
#define VCD_YACC_H

#include "yyparser.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

class Dovlin_CompositeHierarchy;
class Dovlin_FileManager;
class Dovlin_Hierarchy;
class Dovlin_ImportReporter;

// A variable's name and index range as declared; -1 for a missing bound.
struct VcdReference
{
    QString name;
    int left = -1;
    int right = -1;
};

class vcd_yacc : public yyfparser
{
public:
    // Parse result of an action that stopped the import; ErrorString says why.
    static constexpr int FailedParse = 2;
    // Widest logic vector imported: every bit becomes a signal of its own.
    static constexpr int MaxVectorWidth = 1 << 16;

    vcd_yacc();
    ~vcd_yacc() override;

    void yytables();
    void SetReporter(Dovlin_ImportReporter *reporter) { m_Reporter = reporter; }

    // Fixes the dump's path and, beside it, the wave file's.
    void SetVCDFileName(QString path);
    // Writes the wave file; false with ErrorString when it cannot be written.
    bool Convert();
    QString ErrorString() const { return m_ErrorString; }

    int GetStateCode(char c) const;
    static QString CompleteVectorState(QString value, int width);

    // Value changes dropped because their identifier code was never declared.
    qint64 UndeclaredChanges() const { return m_UndeclaredChanges; }
    // Line of the token the last syntax error stopped at.
    int SyntaxErrorLine() const { return m_SyntaxErrorLine; }

    Dovlin_FileManager *m_pFileManager;
    QHash<QByteArray, Dovlin_Hierarchy *> m_HierarchyMap;
    qint64 m_CurrentTime = 0;
    qint64 m_LastTime = -1;
    qint64 m_TimeMultiplier = 1;
    QString m_VCDFileName;
    QString m_WaveFileName;

protected:
    int yyaction(int action) override;
    void yysyntaxerror() override;

private:
    const char *TokenText() const;
    int TokenLength() const;
    int Line() const;
    // Stops the parse with a reason naming the line.
    void Fail(const QString &reason);
    // A decimal number of the token text from offset on, underscores skipped; false on overflow.
    bool ParseNumber(int offset, qint64 &value) const;
    void SetTimeUnit(int exponent);
    void DeclareVariable(int kind, qint64 size);
    void SetTime();
    void ScalarChange();
    void VectorChange();
    void RealChange();
    Dovlin_Hierarchy *Lookup(const char *caption);
    void AddBits(Dovlin_CompositeHierarchy *bus, const QByteArray &digits);

    Dovlin_ImportReporter *m_Reporter = nullptr;
    QString m_ErrorString;
    int m_SyntaxErrorLine = 0;
    qint64 m_UndeclaredChanges = 0;

    // Token texts that a later action consumes. Every one is used up by the action that ends
    // its declaration or value change, so nothing on the parser's stack owns memory.
    QByteArray m_Name;
    QByteArray m_Code;
    QByteArray m_Value;
    VcdReference m_Reference;
    // The scopes being declared, innermost last: items are linked to the innermost.
    std::vector<Dovlin_CompositeHierarchy *> m_Scopes;
};

#endif
