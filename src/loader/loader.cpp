// The Loader: the operations of a loading job over the selected target and load file.
#include "loader/loader.h"

#include "common/hexception.h"
#include "common/text.h"
#include "loadfile/loadfilefactory.h"
#include "loadfile/loadfileinterface.h"
#include "target/targetinterface.h"
#include "target/programstate.h"

namespace {

QString quotedName(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

Loader::Loader(ProgramState &state, FILE *out, TextProgressBar::Clock clock, QObject *parent)
    : QObject(parent), m_state(state), m_progressBar(80, out, std::move(clock))
{
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

    MSP430TargetInterfaceFactory &factory = m_state.targetFactory();
    std::unique_ptr<TargetInterface> created(factory.create(name, m_state, nullptr));
    if (!created) {
        const QString className = factory.classForShortName(name);
        if (!className.isEmpty())
            created.reset(factory.create(className, m_state, nullptr));
    }
    if (!created) {
        QString text = QStringLiteral("unknown target ") + quotedName(name) + QStringLiteral("\n\nTarget interfaces:\n\n");
        for (const TargetRegistryEntry &entry : factory.entries()) {
            const char *shown = entry.shortName ? entry.shortName : entry.className;
            text += QStringLiteral("  ") + QString::fromLatin1(shown).leftJustified(22)
                    + QString::fromLatin1(entry.description) + QLatin1Char('\n');
        }
        throw HException(text);
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
    const QString name = quotedName(fileNameOnly(path));
    if (!m_fileInfo.exists())
        throw HException(QStringLiteral("The file ") + name + QStringLiteral(" does not exist"));

    TEVOLoadFileFactory &factory = m_state.loadFileFactory();
    const QString type = m_fileType.isEmpty() ? factory.typeForFileName(path) : m_fileType;
    if (type.isEmpty())
        throw HException(QStringLiteral("Cannot determine type of file ") + name);

    std::unique_ptr<LoadFileInterface> file = factory.create(path, type);
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
    if (m_verbose && !m_quiet)
        m_progressBar.message(text);
}

void Loader::progress(int step, int steps, const char *task, const char *units)
{
    if (!m_quiet)
        m_progressBar.progress(step, steps, task, units);
}
