// ESLexer: turns script source into tokens; the token codes double as tree node kinds.
#pragma once

#include "script/esvalue.h"

#include <QString>

namespace zim::script {

class ESContext;

namespace tok {
enum : int {
    End = 128,
    AndAssign = 129, OrAssign, XorAssign, ShlAssign, ShrAssign, UshrAssign, AddAssign, SubAssign,
    MulAssign, DivAssign, ModAssign,          // 129..139
    OrOr = 140, AndAnd = 141, StrictEq = 142, StrictNe = 143, Eq = 144, Ne = 145, Le = 146, Ge = 147,
    Shl = 148, Shr = 149, Ushr = 150, PlusPlus = 151, MinusMinus = 152,
    Number = 153, Identifier = 159, String = 161,
    This = 162, Typeof = 163, Delete = 164, Void = 165, While = 166, For = 167, Break = 168,
    Continue = 169, With = 170, Return = 171, Function = 172, Var = 173, If = 174, Else = 175, In = 176,
    New = 177, Case = 178, Default = 179, Switch = 180, True = 181, False = 182, Null = 183,
    PostInc = 186, PostDec = 187, Neg = 188, Pos = 189, Call = 190, ForIn = 192, ArrayInit = 195,
    ObjectInit = 196, Elision = 197, Labelled = 198,
    Catch = 199, Class = 200, Const = 201, Debugger = 202, Do = 203, Enum = 204, Export = 205,
    Extends = 206, Finally = 207, Import = 208, Super = 209, Throw = 210, Try = 211,
    Instanceof = 212,
    RegExp = 213,   // a regular-expression literal: atom is the body, number the flag bits
};
}

// The name of a token code as messages show it.
QString tokenName(int code);

// The value of a hexadecimal digit, or -1 for any other character.
int hexValue(QChar c);

struct ESToken
{
    int code = tok::End;
    int line = 1;
    bool newlineBefore = false;
    double number = 0.0;
    ESAtom *atom = nullptr;
};

class ESLexer
{
public:
    ESLexer(ESContext &context, const QString &text, int firstLine = 1);
    ESToken next();
    // Rereads the '/' or '/=' token just returned as the start of a regular-expression literal;
    // only the parser knows where a division is impossible.
    ESToken regExp(const ESToken &slash);
    int line() const { return m_line; }

private:
    [[noreturn]] void fail(const QString &message);
    void skipSpace(bool &newline);
    double readNumber();
    ESAtom *readString(QChar quote);

    ESContext &m_context;
    const QChar *m_p;
    const QChar *m_end;
    int m_line;
};

} // namespace zim::script
