// The Loader: the operations of a loading job over the selected target and load file.
#include "loader/loader.h"

#include "common/hexception.h"
#include "common/text.h"
#include "loader/loadertext.h"
#include "loadfile/loadfilefactory.h"
#include "loadfile/loadfileinterface.h"
#include "script/esnativeclasses.h"
#include "target/targetinterface.h"
#include "loader/programstate.h"
#include "target/progressreport.h"

namespace zim::loader {

Loader::Loader(ConsoleOutput &out, ProgramState &state, TextProgressBar::Clock clock, QObject *parent)
    : script::ESQObject(parent), m_out(out), m_state(state), m_progressBar(80, out, std::move(clock))
{
}

target::TargetInterfaceFactory &Loader::targetFactory() const
{
    return m_state.targetFactory();
}

loadfile::TEVOLoadFileFactory &Loader::loadFileFactory() const
{
    return m_state.loadFileFactory();
}

Loader::~Loader() = default;

target::TargetInterface &Loader::target() const
{
    if (!m_target)
        throw common::HException(QStringLiteral("No target selected"));
    return *m_target;
}

loadfile::LoadFileInterface &Loader::loadFile() const
{
    if (!m_loadFile)
        throw common::HException(QStringLiteral("No load file selected"));
    return *m_loadFile;
}

target::TargetInterface &Loader::connectedTarget() const
{
    target::TargetInterface &t = target();
    if (!t.isConnected())
        throw common::HException(QStringLiteral("Target is not connected"));
    return t;
}

void Loader::SetTarget(const QString &name)
{
    if (m_target) {
        if (m_target->isConnected())
            m_target->disconnect();
        QObject::disconnect(m_target.get(), nullptr, this, nullptr);
        // Script objects of the old target may still be called or reclaimed: it stays alive.
        if (m_target->hasScriptObjects())
            m_retiredTargets.push_back(std::move(m_target));
        m_target.reset();
    }

    QString className = name;
    std::unique_ptr<target::TargetInterface> created = m_state.targetFactory().create(className);
    if (!created) {
        const QString shortNameClass = m_state.targetFactory().classForShortName(name);
        if (!shortNameClass.isEmpty()) {
            className = shortNameClass;
            created = m_state.targetFactory().create(className);
        }
    }
    if (!created) {
        throw common::HException(QStringLiteral("unknown target ") + quoted(name) + QStringLiteral("\n\nTarget interfaces:\n\n")
                         + targetLines(m_state.targetFactory()));
    }

    m_target = std::move(created);
    QObject::connect(m_target.get(), qOverload<const QString &>(&target::TargetInterface::message), this, &Loader::message);
    QObject::connect(m_target.get(), &target::TargetInterface::progress, this, &Loader::progress);
}

bool Loader::ConnectTarget()
{
    target::TargetInterface &t = target();
    if (t.isConnected())
        throw common::HException(QStringLiteral("Target already connected"));
    t.prepareConnect();
    t.connect();
    return t.isConnected();
}

void Loader::DisconnectTarget()
{
    connectedTarget().disconnect();
}

void Loader::SetLoadFile(const QString &path)
{
    const QFileInfo info(path);
    const QString name = quoted(common::fileNameOnly(path));
    if (!info.exists())
        throw common::HException(QStringLiteral("The file ") + name + QStringLiteral(" does not exist"));

    // A target connected later refuses to write over it.
    m_state.addInputFile(path);
    const QString type = m_fileType.isEmpty() ? m_state.loadFileFactory().typeForFileName(path) : m_fileType;
    if (type.isEmpty())
        throw common::HException(QStringLiteral("Cannot determine type of file ") + name);

    std::unique_ptr<loadfile::LoadFileInterface> file = m_state.loadFileFactory().create(path, type);
    if (!file)
        throw common::HException(QStringLiteral("Cannot load file ") + name);

    if (!file->hasAddresses()) {
        if (!m_loadAddressGiven)
            throw common::HException(QStringLiteral("no load address specified (-loadaddress option)"));
        file->setLoadAddress(m_loadAddress);
    }
    m_loadFile = std::move(file);
    m_fileInfo = info;
}

void Loader::Download()
{
    connectedTarget().download(loadFile(), m_fileInfo.filePath(), true);
}

bool Loader::Verify()
{
    return connectedTarget().verify(loadFile(), m_fileInfo.filePath());
}

void Loader::ResetTarget()
{
    connectedTarget().reset(false);
}

void Loader::setLoadAddress(uint32_t address)
{
    m_loadAddress = address;
    m_loadAddressGiven = true;
}

script::ESObject *Loader::registerObject(script::ESContext &context)
{
    m_scriptContext = &context;
    script::ESObject *object = script::ESQObject::registerObject(context);
    struct Method
    {
        const char *name;
        int number;
        int arity;
    };
    static const Method methods[] = {
#define LOADER_SCRIPT_METHOD(name, number, arity) {#name, number, arity},
#include "loader/loaderscriptmethods.def"
#undef LOADER_SCRIPT_METHOD
    };
    for (const Method &m : methods)
        addMethod(context, object, m.name, m.arity, m.number);
    return object;
}

void Loader::setTargetProperty(const QString &name)
{
    SetTarget(name);
    if (m_scriptContext)
        m_target->addScriptMethods(m_scriptContext);
}

script::ESValue Loader::callMethod(script::ESContext &context, int number, int count, script::ESValue *args)
{
    auto text = [&](int i) { return context.toString(script::argument(count, args, i)); };
    switch (ScriptMethod(number)) {
    case ScriptMethod::SetTarget:
        setTargetProperty(text(0));
        return script::ESValue();
    case ScriptMethod::GetArguments: {
        std::vector<script::ESValue> values;
        values.reserve(size_t(m_arguments.size()));
        for (const QString &a : std::as_const(m_arguments))
            values.push_back(context.newString(a));
        // The strings are held only here until the array holds them.
        script::ESContext::TempRoot root(context, values);
        return script::ESValue::fromObject(context.arrayFromValues(int(values.size()), values.data()));
    }
    case ScriptMethod::ConnectTarget:
        return script::ESValue::boolean(ConnectTarget());
    case ScriptMethod::DisconnectTarget:
        DisconnectTarget();
        return script::ESValue();
    case ScriptMethod::SetLoadFile:
        SetLoadFile(text(0));
        return script::ESValue();
    case ScriptMethod::Download:
        Download();
        return script::ESValue();
    case ScriptMethod::Verify:
        return script::ESValue::boolean(Verify());
    case ScriptMethod::ResetTarget:
        ResetTarget();
        return script::ESValue();
    case ScriptMethod::SetTargetProperty:
        script::ESQObject::setProperty(context, propertyHolder(text(0)), text(0), script::argument(count, args, 1));
        return script::ESValue();
    case ScriptMethod::GetTargetProperty:
        return script::ESQObject::getProperty(context, propertyHolder(text(0)), text(0));
    }
    return script::ESQObject::callMethod(context, number, count, args);
}

QObject *Loader::propertyHolder(const QString &name) const
{
    // An unknown name is refused by the target itself.
    QObject *holder = target().propertyOwner(name);
    return holder ? holder : &target();
}

void Loader::message(const QString &text)
{
    if (m_out.showsMessages())
        m_progressBar.message(text);
}

void Loader::progress(const target::ProgressReport &report)
{
    if (!m_out.showsProgress())
        return;
    if (report.opens)
        m_progressBar.progress(0, int(report.total), target::progressTitle(report), target::progressUnit(report.unit));
    else
        m_progressBar.progress(int(report.done), -1, nullptr, nullptr);
}

} // namespace zim::loader
