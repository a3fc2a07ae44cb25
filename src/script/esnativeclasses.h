// The native classes of every context: the constructors, prototypes and functions of the
// built-in objects, each dispatching on the member number of the function object called.
#pragma once

#include "script/esclass.h"
#include "script/escontext.h"

#include <QRegularExpression>

class QRegularExpression;

namespace zim::script {

// Base of the native classes: member registration and the dispatch of call and construct.
class ESNativeClass : public ESClass
{
public:
    using ESClass::ESClass;
    // Makes the class's objects and functions in the context.
    virtual void setUp(ESContext &context) = 0;

    void call(ESContext &context, ESObject *function, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *construct(ESContext &context, ESObject *function, int count, ESValue *args) override;

    // The member's result; number is the function object's builtinIndex.
    virtual ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args);
    virtual ESObject *constructMember(ESContext &context, int number, int count, ESValue *args);

    ESObject *prototype = nullptr;
    ESObject *constructor = nullptr;

protected:
    // A native function object put on holder under name (not enumerable).
    ESObject *addMethod(ESContext &context, ESObject *holder, const char *name, const char *qualified, int arity,
                        int number);
    // The constructor (member 0), linked with prototype and put on the global object.
    ESObject *addConstructor(ESContext &context, const char *name, int arity, ESObject *prototypeObject);
};

// A native function object of class cls, put on holder under name (not enumerable); a call of it
// reaches cls->call with number as the function's builtinIndex.
ESObject *makeNativeFunction(ESContext &context, ESClass *cls, ESObject *holder, const char *name,
                             const QString &qualified, int arity, int number);

// The string of one character: a shared atom for Latin-1, a new string otherwise.
inline ESValue characterString(ESContext &context, QChar c)
{
    if (ESAtom *atom = atoms::forCharacter(c.unicode()))
        return ESValue::fromAtom(atom);
    return context.newString(QString(c));
}

// The string value of part of a text: a shared atom when it is empty or one Latin-1 character,
// the whole text's own string when it is all of it, else a new string.
inline ESValue substringValue(ESContext &context, const QString &text, qsizetype start, qsizetype length)
{
    if (length == 0)
        return ESValue::fromAtom(atoms::emptyText());
    if (length == 1)
        return characterString(context, text[start]);
    return context.newString(start == 0 && length == text.size() ? text : text.mid(start, length));
}

inline ESValue argument(int count, const ESValue *args, int i)
{
    return i < count ? args[i] : ESValue();
}

class ESNativeObject : public ESNativeClass
{
public:
    ESNativeObject() : ESNativeClass("Object") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *constructMember(ESContext &context, int number, int count, ESValue *args) override;
};

class ESNativeFunction : public ESNativeClass
{
public:
    ESNativeFunction() : ESNativeClass("Function") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *constructMember(ESContext &context, int number, int count, ESValue *args) override;
};

class ESNativeArray : public ESNativeClass
{
public:
    ESNativeArray() : ESNativeClass("Array") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *constructMember(ESContext &context, int number, int count, ESValue *args) override;

    void put(ESContext &context, ESObject *object, ESAtom *atom, const ESValue &value) override;
    bool removeProperty(ESContext &context, ESObject *object, ESAtom *atom) override;
    bool getOwn(ESContext &context, ESObject *object, ESAtom *atom, ESValue &value) override;
    bool deleteProperty(ESContext &context, ESObject *object, ESAtom *atom) override;
    void enumerate(ESContext &context, ESObject *object, std::vector<ESAtom *> &names) override;
    bool getIndex(ESContext &context, ESObject *object, uint32_t index, ESValue &value) override;
    void putIndex(ESContext &context, ESObject *object, uint32_t index, const ESValue &value) override;
    void markExtra(ESContext &context, ESObject *object) override;

    void setLength(ESContext &context, ESObject *array, uint32_t length);
};

class ESNativeString : public ESNativeClass
{
public:
    ESNativeString() : ESNativeClass("String") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *constructMember(ESContext &context, int number, int count, ESValue *args) override;
    bool getOwn(ESContext &context, ESObject *object, ESAtom *atom, ESValue &value) override;
    void put(ESContext &context, ESObject *object, ESAtom *atom, const ESValue &value) override;
    bool deleteProperty(ESContext &context, ESObject *object, ESAtom *atom) override;
    void enumerate(ESContext &context, ESObject *object, std::vector<ESAtom *> &names) override;

private:
    ESAtom *m_emptyAtom = nullptr;
};

class ESNativeBoolean : public ESNativeClass
{
public:
    ESNativeBoolean() : ESNativeClass("Boolean") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *constructMember(ESContext &context, int number, int count, ESValue *args) override;
};

class ESNativeNumber : public ESNativeClass
{
public:
    ESNativeNumber() : ESNativeClass("Number") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *constructMember(ESContext &context, int number, int count, ESValue *args) override;
};

class ESNativeDate : public ESNativeClass
{
public:
    ESNativeDate() : ESNativeClass("Date") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *constructMember(ESContext &context, int number, int count, ESValue *args) override;

    // Time values are kept on the local Julian-day clock; the standard dialect shows scripts
    // milliseconds since 1970 UTC. These convert between the two.
    static double toUnixTime(double tv);
    static double fromUnixTime(double ms);
    static double currentUnixTime();
    // YYYY-MM-DDTHH:mm:ss.sssZ of a finite time in milliseconds since 1970 UTC.
    static QString isoText(double ms);
};

class ESNativeMath : public ESNativeClass
{
public:
    ESNativeMath() : ESNativeClass("Math") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
};

class ESNativeGlobal : public ESNativeClass
{
public:
    ESNativeGlobal() : ESNativeClass("global") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
};

// Flag bits of a regular expression, as a literal carries them.
namespace regexpflag {
enum : int { Global = 1, IgnoreCase = 2, Multiline = 4 };
}

class ESNativeRegExp : public ESNativeClass
{
public:
    ESNativeRegExp() : ESNativeClass("RegExp") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *constructMember(ESContext &context, int number, int count, ESValue *args) override;
    void finalize(ESObject *object) override;

    // The RegExp object for a pattern argument of match, replace, search and split.
    ESObject *fromValue(ESContext &context, const ESValue &value, bool forceRegExp);
    // A new RegExp object, as a literal makes one each time it is evaluated; flags are regexpflag bits.
    ESObject *create(ESContext &context, const QString &source, int flags);
    // Why a pattern cannot be compiled, or empty when it can.
    QString patternError(const QString &source, bool multiline) const;
    // exec as the standard has it, on a string value: an array with index and input, or null.
    ESValue exec(ESContext &context, ESObject *regexp, const ESValue &input);
    bool isRegExp(const ESValue &value) const { return value.isObject() && value.object->cls == this; }
    // The first match at or after from (exactly at from when anchored). A match the library cannot
    // finish within its limits is a RangeError, never a missed match; a stop request ends the script.
    QRegularExpressionMatch match(ESContext &context, ESObject *regexp, const QString &input, qsizetype from,
                                  bool anchored = false);
    int groupCount(ESObject *regexp) const;
    // The g flag, as the object's read-only global property has it.
    bool isGlobal(ESObject *regexp) const;
    // Where a group of a match begins, -1 when it took no part in the match as the standard
    // counts it (a group inside a repeated group belongs to the last repetition only).
    qsizetype captureStart(ESObject *regexp, const QRegularExpressionMatch &m, int group) const;

    // A pattern in the library's form with what matching needs to know about its groups.
    struct Compiled
    {
        QRegularExpression expression;
        int groups = 0;
        // For each group, the group that repeats it: the nearest quantified group around it when
        // that one captures (0 when none repeats it). See captureStart.
        std::vector<int> repeatedBy;
    };

private:
    // exec's search with its reading and moving of lastIndex, without the result array: false
    // when nothing matched, else the match is in m.
    bool execMatch(ESContext &context, ESObject *regexp, const QString &input, QRegularExpressionMatch &m);
    // The compiled form of a pattern, from the cache or made and kept there; a SyntaxError when
    // the pattern is not valid.
    std::shared_ptr<const Compiled> compile(ESContext &context, const QString &source, bool ignoreCase,
                                            bool multiline);
    // Compiled patterns by source and flags: a literal evaluated again in a loop, or a pattern
    // built again by new RegExp, shares the translated and compiled (and machine-code) form
    // instead of building it anew for every object.
    QHash<QString, std::shared_ptr<const Compiled>> m_compiled;
    ESAtom *m_sourceAtom = nullptr;
    ESAtom *m_globalAtom = nullptr;
    ESAtom *m_ignoreCaseAtom = nullptr;
    ESAtom *m_multilineAtom = nullptr;
};

// Error and its six subclasses share this class; each has its own instance and name.
class ESNativeError : public ESNativeClass
{
public:
    explicit ESNativeError(const char *name) : ESNativeClass(name) {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *constructMember(ESContext &context, int number, int count, ESValue *args) override;
    // Slot 8: takes one argument and does nothing.
    virtual void errorHook(const ESValue &) {}
};

// The arguments object: indexes below the parameter count share the activation's entries.
class ESArguments : public ESClass
{
public:
    ESArguments() : ESClass("Arguments") {}
    bool getOwn(ESContext &context, ESObject *object, ESAtom *atom, ESValue &value) override;
    void put(ESContext &context, ESObject *object, ESAtom *atom, const ESValue &value) override;
    bool deleteProperty(ESContext &context, ESObject *object, ESAtom *atom) override;
    void enumerate(ESContext &context, ESObject *object, std::vector<ESAtom *> &names) override;
    void markExtra(ESContext &context, ESObject *object) override;
    void finalize(ESObject *object) override;
};

} // namespace zim::script
