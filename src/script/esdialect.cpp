// ESContext's two dialects: switching between them, the "use loader" directive, and the error
// texts of the standard dialect, which name what failed and where.
#include "script/escompiledfunction.h"
#include "script/escompiler.h"
#include "script/escontext.h"
#include "script/esmachine.h"
#include "script/esnativeclasses.h"

namespace zim::script {

namespace {

// Marks every record of a compiled text with the file it came from.
void markSource(ESCompiledFunction &function, const QString &name)
{
    if (!function.source.isEmpty())
        return;
    function.source = name;
    for (const std::shared_ptr<ESCompiledFunction> &nested : function.functions)
        if (nested)
            markSource(*nested, name);
}

bool lineTerminator(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0x2028) || c == QChar(0x2029);
}

// Skips white space and comments from i; false when a comment does not end.
bool skipBlank(const QString &text, qsizetype &i)
{
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (ESContext::isWhiteSpace(c) || lineTerminator(c)) {
            ++i;
        } else if (text.mid(i, 2) == QLatin1String("//")) {
            while (i < text.size() && text.at(i) != QLatin1Char('\n') && text.at(i) != QLatin1Char('\r'))
                ++i;
        } else if (text.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
            if (end < 0)
                return false;
            i = end + 2;
        } else {
            break;
        }
    }
    return true;
}

} // namespace

void ESContext::setDialect(ESDialect dialect)
{
    m_dialect = dialect;
    if (dialect == ESDialect::Standard && !m_standardNatives) {
        m_standardNatives = true;
        setUpStandardNatives();
    }
}

ESDialect ESContext::requestedDialect(const QString &text, ESDialect fallback)
{
    qsizetype i = 0;
    if (text.startsWith(QChar(0xFEFF)))
        i = 1;
    if (!skipBlank(text, i) || i >= text.size())
        return fallback;
    const QChar quote = text.at(i);
    if (quote != QLatin1Char('"') && quote != QLatin1Char('\''))
        return fallback;
    if (text.mid(i + 1, 10) != QLatin1String("use loader") || i + 11 >= text.size() || text.at(i + 11) != quote)
        return fallback;
    // A directive is a whole expression statement: ";", a line end or the end of the text
    // follows (so "use loader".length is not one).
    qsizetype j = i + 12;
    while (j < text.size() && ESContext::isWhiteSpace(text.at(j)) && !lineTerminator(text.at(j)))
        ++j;
    if (j >= text.size() || text.at(j) == QLatin1Char(';') || lineTerminator(text.at(j))
        || text.mid(j, 2) == QLatin1String("//"))
        return ESDialect::Loader;
    return fallback;
}

QString ESContext::currentSource() const
{
    for (const ESFrame *f = frame; f; f = f->previous)
        if (f->code && f->pc)
            return f->code->source;
    return QString();
}

void ESContext::throwNotAFunction(const QString &name)
{
    if (!standard())
        throwTypeError(QStringLiteral("not a function object"));
    throwTypeError((name.isEmpty() ? QStringLiteral("value") : name) + QStringLiteral(" is not a function"));
}

ESValue ESContext::getUndeclared(ESAtom *name)
{
    if (standard() && !hasProperty(m_global, name))
        throwError(referenceErrorClass, name->text + QStringLiteral(" is not defined"));
    return get(m_global, name);
}

void ESContext::noteErrorPlace(ESObject *error, int line, const QString &source)
{
    error->define(atoms::intern("lineNumber"), ESValue::fromNumber(line), DontEnum);
    if (!source.isEmpty())
        error->define(atoms::intern("fileName"), newString(source), DontEnum);
}

QString ESContext::standardUncaughtMessage(const ESValue &value)
{
    // Nothing else holds a value thrown out of every frame; reading its name runs script code
    // before its message is read.
    const ESRoot root(*this, value);
    QString text;
    try {
        int line = m_thrownLine;
        QString source = m_thrownSource;
        if (isError(value)) {
            ESObject *error = value.object;
            ESValue place;
            if (error->cls->getOwn(*this, error, atoms::intern("lineNumber"), place) && place.isNumber())
                line = int(place.number);
            if (error->cls->getOwn(*this, error, atoms::intern("fileName"), place))
                source = toString(place);
            const QString name = toString(get(error, nameAtom));
            const QString message = toString(get(error, messageAtom));
            text = message.isEmpty() ? name : name + QStringLiteral(": ") + message;
        } else {
            text = QStringLiteral("uncaught exception - ") + toString(value);
        }
        if (line > 0)
            text = QStringLiteral("line %1: ").arg(line) + text;
        if (!source.isEmpty())
            text = source + QStringLiteral(": ") + text;
    } catch (const ESException &) {
        text = uncaughtMessage(value, UncaughtForm::ErrorMessage);
    }
    // A message that ends in line breaks would leave blank lines under the report.
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}

ESValue ESContext::executeFile(const QString &text, const QString &name)
{
    std::shared_ptr<ESCompiledFunction> program;
    try {
        program = compileCached(text, false);
    } catch (const ESException &e) {
        // A compile error happens before any of the file's code runs: name the file here.
        if (standard() && isError(e.value()) && !hasOwnProperty(e.value().object, atoms::intern("fileName")))
            e.value().object->define(atoms::intern("fileName"), newString(name), DontEnum);
        throw;
    }
    if (standard())
        markSource(*program, name);
    return ESMachine::runProgram(*this, program, ESValue::fromObject(m_global), nullptr);
}

} // namespace zim::script
