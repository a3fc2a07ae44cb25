// The target as a script object (the methods of TargetInterface) and the project's reset and
// attach scripts that run with it.
#include "target/targetinterface.h"

#include "common/boundedread.h"
#include "common/hexception.h"
#include "platform/platform.h"
#include "project/buildsystem.h"
#include "project/macros.h"
#include "project/projectsystem.h"
#include "project/propertyvalue.h"
#include "script/escontext.h"
#include "script/esnativeclasses.h"
#include "target/targetenvironment.h"
#include "target/targetmemoryinterface.h"

#include <QFileInfo>
#include <QScopedValueRollback>
#include <algorithm>
#include <iterator>
#include <vector>

namespace zim::target {

using script::ESContext;
using script::ESObject;
using script::ESValue;

namespace {

struct MethodEntry
{
    const char *name;
    int number;
    int arity;
};

const MethodEntry kMethods[] = {
#define TARGET_SCRIPT_METHOD(name, number, arity) {#name, number, arity},
#include "target/targetscriptmethods.def"
#undef TARGET_SCRIPT_METHOD
};

const char *methodName(int number)
{
    for (const MethodEntry &m : kMethods)
        if (m.number == number)
            return m.name;
    return "?";
}

// A count of elements that one call may move, checked before anything is allocated.
uint32_t transferCount(const char *method, double requested)
{
    if (!(requested >= 0) || requested > TargetInterface::kMaxScriptTransfer)
        throw common::HException(QStringLiteral("%1: a count of %2 is outside 0 to %3")
                                     .arg(QLatin1String(method), ESContext::formatNumber(requested))
                                     .arg(TargetInterface::kMaxScriptTransfer));
    return uint32_t(requested);
}

// The array argument of a poke method, checked for its length before it is converted.
ESValue arrayArgument(ESContext &context, const char *method, const ESValue &value)
{
    if (context.isArray(value))
        transferCount(method, value.object->length);
    return value;
}

// The first file element below element, depth-first in element order, that classifies as a
// "Reset Script" and is not excluded from the build in configuration.
project::ProjectElement *findTargetScriptFile(const project::ProjectSystem &projects, project::ProjectElement *element,
                                              const QString &configuration)
{
    for (project::ProjectElement *child : element->children()) {
        if (child->type() == project::ProjectElement::File && projects.fileType(child) == QLatin1String("Reset Script")
            && projects.propertyValue(child, project::PropertyDefinitions::excludeFromBuild(), configuration)
                   == QLatin1String("No"))
            return child;
        if (project::ProjectElement *found = findTargetScriptFile(projects, child, configuration))
            return found;
    }
    return nullptr;
}

} // namespace

void TargetInterface::addScriptMethods(script::ESContext *context)
{
    Q_ASSERT(context);
    m_hasScriptObjects = true;
    ESObject *object = context->newObject(context->objectPrototype, context->objectClass);
    context->global()->define(script::atoms::intern(className()), ESValue::fromObject(object), script::DontEnum);
    const QString prefix = QLatin1String(className()) + QStringLiteral(".prototype.");
    for (const MethodEntry &m : kMethods)
        script::makeNativeFunction(*context, this, object, m.name, prefix + QLatin1String(m.name), m.arity, m.number);
}

void TargetInterface::call(ESContext &context, ESObject *function, const ESValue &, int count, ESValue *args)
{
    const int number = function->builtinIndex;
    if (number < 0 || number >= int(std::size(kMethods)))
        context.throwPlainError(QStringLiteral("bad signature in TargetInterface::call"));
    args[0] = callScriptMethod(context, ScriptMethod(number), count, args);
}

TargetMemoryInterface &TargetInterface::scriptMemory()
{
    TargetMemoryInterface *m = isConnected() ? memory() : nullptr;
    if (!m)
        throw common::HException(QStringLiteral("Target is not connected"));
    return *m;
}

ESValue TargetInterface::callScriptMethod(ESContext &context, ScriptMethod method, int count, ESValue *args)
{
    const char *name = methodName(int(method));
    auto arg = [&](int i) { return script::argument(count, args, i); };
    auto address = [&] { return context.toUint32(arg(0)); };
    auto countArg = [&] { return transferCount(name, context.toInteger(arg(1))); };

    switch (method) {
    case ScriptMethod::reset:
        reset(false);
        return ESValue();
    case ScriptMethod::go:
        go();
        return ESValue();
    case ScriptMethod::peekByte:
        return ESValue::fromNumber(scriptMemory().peekByte(address()));
    case ScriptMethod::pokeByte:
        scriptMemory().pokeByte(address(), uint8_t(context.toUint32(arg(1))));
        return ESValue();
    case ScriptMethod::peekUint16:
        return ESValue::fromNumber(scriptMemory().peekUint16(address()));
    case ScriptMethod::pokeUint16:
        scriptMemory().pokeUint16(address(), uint16_t(context.toUint32(arg(1))));
        return ESValue();
    case ScriptMethod::pokeUint32:
        scriptMemory().pokeUint32(address(), context.toUint32(arg(1)));
        return ESValue();
    case ScriptMethod::peekUint32:
        return ESValue::fromNumber(scriptMemory().peekUint32(address()));
    case ScriptMethod::peekBytes: {
        TargetMemoryInterface &m = scriptMemory();
        const uint32_t from = address();
        QByteArray buffer(qsizetype(countArg()), '\0');
        m.readBytes(from, uint32_t(buffer.size()), reinterpret_cast<uint8_t *>(buffer.data()));
        return ESValue::fromObject(context.arrayFromBytes(buffer));
    }
    case ScriptMethod::pokeBytes: {
        TargetMemoryInterface &m = scriptMemory();
        const QByteArray bytes = context.bytesFromArray(arrayArgument(context, name, arg(1)));
        m.writeBytes(address(), uint32_t(bytes.size()), reinterpret_cast<const uint8_t *>(bytes.constData()));
        return ESValue();
    }
    case ScriptMethod::peekMultUint16: {
        TargetMemoryInterface &m = scriptMemory();
        const uint32_t from = address();
        std::vector<uint16_t> words(countArg());
        m.peekMultUint16(from, uint32_t(words.size()), words.data());
        return ESValue::fromObject(context.arrayFromWords16(words));
    }
    case ScriptMethod::pokeMultUint16: {
        TargetMemoryInterface &m = scriptMemory();
        const std::vector<uint16_t> words = context.words16FromArray(arrayArgument(context, name, arg(1)));
        m.pokeMultUint16(address(), uint32_t(words.size()), words.data());
        return ESValue();
    }
    case ScriptMethod::peekMultUint32: {
        TargetMemoryInterface &m = scriptMemory();
        const uint32_t from = address();
        std::vector<uint32_t> words(countArg());
        m.peekMultUint32(from, uint32_t(words.size()), words.data());
        return ESValue::fromObject(context.arrayFromWords32(words));
    }
    case ScriptMethod::pokeMultUint32: {
        TargetMemoryInterface &m = scriptMemory();
        const std::vector<uint32_t> words = context.words32FromArray(arrayArgument(context, name, arg(1)));
        m.pokeMultUint32(address(), uint32_t(words.size()), words.data());
        return ESValue();
    }
    case ScriptMethod::eraseBytes: {
        TargetMemoryInterface &m = scriptMemory();
        const uint32_t from = address();
        const uint32_t bytes = context.toUint32(arg(1));
        eraseInBracket(m, [&] {
            uint32_t start = 0;
            uint32_t length = 0;
            m.eraseRange(from, bytes, start, length);
        });
        return ESValue();
    }
    case ScriptMethod::delay: {
        // Slept in short steps so that a stop request ends a long delay.
        const double requested = context.toInteger(arg(0));
        uint64_t left = requested > 0 ? uint64_t(std::min(requested, 1e15)) : 0;
        while (left > 0 && context.keepRunning()) {
            const unsigned step = unsigned(std::min<uint64_t>(left, 10));
            if (m_environment)
                m_environment->clock().sleep(step);
            else
                platform::sleepMs(step);
            left -= step;
        }
        return ESValue();
    }
    case ScriptMethod::message:
        emit message(context.toString(arg(0)));
        return ESValue();
    case ScriptMethod::readBinary: {
        const QString path = context.toString(arg(0));
        const QByteArray bytes = common::readWholeFile(path, common::kMaxScriptFileSize, QStringLiteral("file"),
                                                       QStringLiteral("a script may read"));
        return ESValue::fromObject(context.arrayFromBytes(bytes));
    }
    }
    context.throwPlainError(QStringLiteral("bad signature in TargetInterface::call"));
}

bool TargetInterface::runResetScript()
{
    return runTargetScript(project::PropertyDefinitions::targetResetScript(), QStringLiteral("Executing reset script "));
}

bool TargetInterface::runAttachScript()
{
    return runTargetScript(project::PropertyDefinitions::targetAttachScript(),
                           QStringLiteral("Executing attach script "));
}

QString TargetInterface::targetScriptFilePath() const
{
    TargetScriptHost *host = m_environment ? m_environment->scriptHost() : nullptr;
    project::ProjectElement *project = host ? host->currentProject() : nullptr;
    const QString configuration = host ? host->configName() : QString();
    if (!project || configuration.isEmpty())
        return QString();
    const project::ProjectSystem &projects = m_environment->projectSystem();
    project::ProjectElement *file = findTargetScriptFile(projects, project, configuration);
    if (!file)
        return QString();
    QString path = project::expandMacros(m_environment->buildSystem().buildMacros(file, configuration), file->filePath());
    if (QFileInfo(path).isRelative())
        path = project::BuildSystem::projectDirectory(file) + QLatin1Char('/') + path;
    return path;
}

bool TargetInterface::runTargetScript(const project::PropertyValue &property, const QString &announcement)
{
    // A script that resets the target would otherwise run itself again without end.
    if (m_runningTargetScript)
        return true;
    TargetScriptHost *host = m_environment ? m_environment->scriptHost() : nullptr;
    project::ProjectElement *project = host ? host->currentProject() : nullptr;
    const QString configuration = host ? host->configName() : QString();
    const bool selected = project && !configuration.isEmpty();
    const project::ProjectSystem *projects = m_environment ? &m_environment->projectSystem() : nullptr;

    const QString text = selected ? projects->propertyValue(project, property, configuration) : property.defaultValue();
    if (text.isEmpty())
        return true;
    emit message(announcement + text);

    QString contents;
    const QString path = targetScriptFilePath();
    if (!path.isEmpty()) {
        emit message(QStringLiteral("Loading target script file ") + path);
        const QByteArray bytes = common::readWholeFile(path, common::kMaxScriptFileSize,
                                                       QStringLiteral("target script file"),
                                                       QStringLiteral("a target script file may have"));
        contents = QString::fromUtf8(bytes);
    }
    if (!host)
        throw common::HException(QStringLiteral("no script system to run the script ") + text);
    QScopedValueRollback<bool> running(m_runningTargetScript, true);
    return host->evaluateScript(contents + QLatin1Char('\n') + text, property.displayName());
}

} // namespace zim::target
