// The Loader: the operations of a loading job over the selected target and load file.
#include "loader/loader.h"

#include "common/hexception.h"
#include "common/text.h"
#include "loader/loadertext.h"
#include "loadfile/loadfilefactory.h"
#include "loadfile/loadfileinterface.h"
#include "target/targetinterface.h"
#include "target/programstate.h"

Loader::Loader(ConsoleOutput &out, ProgramState &state, TextProgressBar::Clock clock, QObject *parent)
    : QObject(parent), m_out(out), m_state(state), m_progressBar(80, out, std::move(clock))
{
}

MSP430TargetInterfaceFactory &Loader::targetFactory() const
{
    return m_state.targetFactory();
}

TEVOLoadFileFactory &Loader::loadFileFactory() const
{
    return m_state.loadFileFactory();
}

Loader::~Loader() = default;

TargetInterface &Loader::target() const
{
    if (!m_target)
        throw HException(QStringLiteral("No target selected"));
    return *m_target;
}

LoadFileInterface &Loader::loadFile() const
{
    if (!m_loadFile)
        throw HException(QStringLiteral("No load file selected"));
    return *m_loadFile;
}

TargetInterface &Loader::connectedTarget() const
{
    TargetInterface &t = target();
    if (!t.isConnected())
        throw HException(QStringLiteral("Target is not connected"));
    return t;
}

void Loader::SetTarget(const QString &name)
{
    if (m_target) {
        if (m_target->isConnected())
            m_target->disconnect();
        m_target.reset();
    }

    QString className = name;
    std::unique_ptr<TargetInterface> created(m_state.targetFactory().create(className, m_state, nullptr));
    if (!created) {
        const QString shortNameClass = m_state.targetFactory().classForShortName(name);
        if (!shortNameClass.isEmpty()) {
            className = shortNameClass;
            created.reset(m_state.targetFactory().create(className, m_state, nullptr));
        }
    }
    if (!created) {
        for (const TargetRegistryEntry &entry : m_state.targetFactory().entries())
            if (className == QLatin1String(entry.className))
                throw HException(QStringLiteral("target ") + quoted(name)
                                 + QStringLiteral(" is not available in this version of zimprog"));
        throw HException(QStringLiteral("unknown target ") + quoted(name) + QStringLiteral("\n\nTarget interfaces:\n\n")
                         + targetLines(m_state.targetFactory()));
    }

    m_target = std::move(created);
    QObject::connect(m_target.get(), qOverload<const QString &>(&TargetInterface::message), this, &Loader::message);
    QObject::connect(m_target.get(), &TargetInterface::progress, this, &Loader::progress);
}

bool Loader::ConnectTarget()
{
    TargetInterface &t = target();
    if (t.isConnected())
        throw HException(QStringLiteral("Target already connected"));
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
    m_fileInfo = QFileInfo(path);
    const QString name = quoted(fileNameOnly(path));
    if (!m_fileInfo.exists())
        throw HException(QStringLiteral("The file ") + name + QStringLiteral(" does not exist"));

    const QString type = m_fileType.isEmpty() ? m_state.loadFileFactory().typeForFileName(path) : m_fileType;
    if (type.isEmpty())
        throw HException(QStringLiteral("Cannot determine type of file ") + name);

    std::unique_ptr<LoadFileInterface> file = m_state.loadFileFactory().create(path, type);
    if (!file)
        throw HException(QStringLiteral("Cannot load file ") + name);

    if (!file->hasAddresses()) {
        if (!m_loadAddressGiven)
            throw HException(QStringLiteral("no load address specified (-loadaddress option)"));
        file->setLoadAddress(m_loadAddress);
    }
    m_loadFile = std::move(file);
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

void Loader::message(const QString &text)
{
    if (m_out.showsMessages())
        m_progressBar.message(text);
}

void Loader::progress(int step, int steps, const char *task, const char *units)
{
    if (m_out.showsProgress())
        m_progressBar.progress(step, steps, task, units);
}
