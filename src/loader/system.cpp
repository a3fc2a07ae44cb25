// System: the option table and its handlers, the listings and the run sequence of one loading job.
#include "loader/system.h"

#include "common/hexception.h"
#include "common/text.h"
#include "loader/loadertext.h"
#include "loader/targetproperties.h"
#include "loadfile/loadfiledestination.h"
#include "loadfile/loadfilefactory.h"
#include "loadfile/loadfilewriter.h"
#include "msp430/devicelisting.h"
#include "target/targetinterface.h"
#include "target/download.h"
#include "loader/programstate.h"

#include <cstdlib>
#include <cstring>

namespace zim::loader {

namespace {

// Words of the command line other than file names are taken in the system's encoding.
QString fromWord(const char *word)
{
    return QString::fromLocal8Bit(word);
}

} // namespace

System::System(ProgramState &state, ArgParseReporter &reporter, FILE *out, TextProgressBar::Clock clock)
    : ArgParse(reporter), m_state(state), m_output(out), m_console(m_output), m_loader(m_output, state, std::move(clock)),
      m_scripts(m_output), m_selection(state.projectSystem(), state.buildSystem(), state.propertyGroups())
{
    registerOptions();
    m_loader.registerObject(m_scripts.context());
    m_console.registerObject(m_scripts.context());
    m_state.setScriptHost(this);
}

System::~System()
{
    if (m_state.scriptHost() == this)
        m_state.setScriptHost(nullptr);
}

bool System::evaluateScript(const QString &text, const QString &name)
{
    return m_scripts.evaluateText(text, name);
}

const std::vector<System::OptionEntry> &System::optionTable()
{
    static const std::vector<OptionEntry> table = {
        {"-target", "'target'", true, nullptr, "The target interface to use",
         [](System &s, const char *a) { s.setTarget(a); }},
        {"-listtargets", nullptr, false, nullptr, "List all the supported target interfaces",
         [](System &s, const char *) { s.m_output.print(s.targetListing()); }},
        {"-solution", "'file'", true, "a file name", "Use Veltrix solution file 'file'",
         [](System &s, const char *a) { s.m_solutionPath = fileNameFromWord(a); }},
        {"-project", "'name'", true, "a project name", "Use project 'name' contained within solution file",
         [](System &s, const char *a) { s.m_projectName = fromWord(a); }},
        {"-config", "'config'", true, "a configuration name", "Use build configuration 'config'",
         [](System &s, const char *a) { s.m_configName = fromWord(a); }},
        {"-filetype", "'type'", true, nullptr, "Specify the load file type", [](System &s, const char *a) { s.setFileType(a); }},
        {"-listfiletypes", nullptr, false, nullptr, "List all the supported file types",
         [](System &s, const char *) { s.m_output.print(s.fileTypeListing()); }},
        {"-setprop", "'prop'='val'", true, nullptr, "Set a target property 'prop' to 'val'",
         [](System &s, const char *a) { s.setProperty(a); }},
        {"-listprops", nullptr, false, nullptr, "List target properties of selected target",
         [](System &s, const char *) {
             s.m_output.print(propertyListing(s.m_loader.target(), s.m_targetName));
         }},
        // The usage line shows no argument for -loadaddress, although it takes one.
        {"-loadaddress", nullptr, true, nullptr, "Specify the address at which to load the load file",
         [](System &s, const char *a) { s.setLoadAddress(a); }},
        {"-noverify", nullptr, false, nullptr, "Do not carry out verification of download",
         [](System &s, const char *) { s.m_verify = false; }},
        {"-nodownload", nullptr, false, nullptr, "Do not carry out download", [](System &s, const char *) { s.m_download = false; }},
        {"-nodisconnect", nullptr, false, nullptr, "Do not disconnect target interface when finished",
         [](System &s, const char *) { s.m_disconnect = false; }},
        {"-help", nullptr, false, nullptr, "Print options help", [](System &s, const char *) { s.m_help = true; }},
        {"-verbose", nullptr, false, nullptr, "Produce verbose output",
         [](System &s, const char *) { s.m_output.setVerbose(true); }},
        {"-quiet", nullptr, false, nullptr, "Do not output any progress messages",
         [](System &s, const char *) { s.m_output.setQuiet(true); }},
        {"-upload", "'file'", true, "a file name", "Read back the loaded address ranges into 'file'",
         [](System &s, const char *a) { s.m_uploadPath = fileNameFromWord(a); }},
        {"-listdevices", nullptr, false, nullptr, "List all the supported devices",
         [](System &s, const char *) { s.m_output.print(msp430::msp430DeviceListing(s.m_state.deviceLibrary()).toUtf8()); }},
        {"-device", "'name'", true, "a device name", "Use device 'name' instead of the project's target device",
         [](System &s, const char *a) { s.m_deviceName = fromWord(a); }},
        {"-script", "'file'", true, "a file name", "Run script 'file'; the words after it are its arguments",
         [](System &s, const char *a) { s.m_scriptPath = fileNameFromWord(a); }},
    };
    return table;
}

void System::registerOptions()
{
    for (const OptionEntry &entry : optionTable()) {
        OptionRecord record;
        record.kind = entry.takesArgument ? OptionRecord::NextWord : OptionRecord::NoArgument;
        // The script's own words follow its file.
        record.endsOptions = std::strcmp(entry.option, "-script") == 0;
        record.handler = [this, entry](const char *, const char *argument) {
            // An empty word (an unset variable in a build script) would otherwise read as an
            // option not given.
            if (entry.needs && !*argument)
                throw common::HException(QStringLiteral("option %1 needs %2, not an empty word")
                                             .arg(QLatin1String(entry.option), QLatin1String(entry.needs)));
            entry.act(*this, argument);
        };
        addOption(entry.option, record);
    }
}

void System::argument(const char *word)
{
    m_files.append(fileNameFromWord(word));
}

void System::restArgument(const char *word)
{
    m_scriptArguments.append(fromWord(word));
}

void System::setTarget(const char *name)
{
    m_targetName = fromWord(name);
    m_loader.SetTarget(m_targetName);
}

void System::setProperty(const char *argument)
{
    const QString text = fromWord(argument);
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0 || equals == text.size() - 1)
        throw common::HException(QStringLiteral("format for option should be ") + quoted(QStringLiteral("-setprop PROPERTY=VALUE")));
    setPropertyFromText(m_loader.target(), text.left(equals), text.mid(equals + 1));
}

void System::setFileType(const char *type)
{
    const QString wanted = fromWord(type);
    for (const loadfile::LoadFileType &entry : m_loader.loadFileFactory().types()) {
        const QString name = QString::fromLatin1(entry.typeName);
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
            m_loader.setFileType(name);
            return;
        }
    }
    throw common::HException(QStringLiteral("unknown file type ") + quoted(wanted));
}

void System::setLoadAddress(const char *text)
{
    // strtoul with base 0: decimal, "0x" hexadecimal or leading-zero octal, stopping at the
    // first character it cannot use.
    m_loader.setLoadAddress(uint32_t(std::strtoul(text, nullptr, 0)));
}

QByteArray System::targetListing() const
{
    return "Target Interfaces:\n\n" + targetLines(m_loader.targetFactory()).toUtf8() + "\n";
}

QByteArray System::fileTypeListing() const
{
    QByteArray text = "File Types:\n\n";
    for (const loadfile::LoadFileType &type : m_loader.loadFileFactory().types())
        text += QString::asprintf("  %-21s %s File\n", type.typeName, type.description).toUtf8();
    return text + "\n";
}

QByteArray System::usageText() const
{
    QByteArray text = "Halvane for MSP430 Loader - Release 1.4\n"
                      "zimprog: a free command-line loader for MSP430 microcontrollers\n"
                      "\n"
                      "Usage: zimprog [options] [files...]\n"
                      "\n"
                      "Options:\n";
    for (const OptionEntry &entry : optionTable()) {
        const QByteArray shown = entry.label ? QByteArray(entry.option) + ' ' + entry.label : QByteArray(entry.option);
        text += QString::asprintf("  %-21s %s\n", shown.constData(), entry.help).toUtf8();
    }
    text += "\n"
            "Examples\n"
            "--------\n\n";

    const QList<target::TargetRegistryEntry> &entries = m_loader.targetFactory().entries();
    auto shown = [](const target::TargetRegistryEntry &e) { return QByteArray(e.shortName ? e.shortName : e.className); };
    const QByteArray first = entries.isEmpty() ? QByteArray("'target'") : shown(entries.first());
    text += "  Download a Veltrix project using target interface \"" + first + "\":\n\n";
    text += "    zimprog -target " + first + " -solution MySolution.hzp -project MyProject -config Debug\n\n";
    text += "  Download MyApp.s19 using the target settings from a Veltrix project:\n\n";
    text += "    zimprog -target " + first
            + " -solution MySolution.hzp -project MyProject -config Release MyApp.s19\n\n";
    for (const target::TargetRegistryEntry &entry : entries) {
        if (entry.needsSolution)
            continue;
        text += "  Download MyApp.hex using target interface \"" + shown(entry) + "\":\n\n";
        text += "    zimprog -target " + shown(entry) + " MyApp.hex\n\n";
        break;
    }
    return text;
}

void System::selectSolution()
{
    if (!m_solutionPath.isEmpty()) {
        m_selection.select(m_solutionPath, m_projectName, m_configName);
    } else if (m_loader.hasTarget()) {
        // The registry names classes without the namespace that the meta-object includes.
        const QString className = QString::fromLatin1(m_loader.target().metaObject()->className()).section(QStringLiteral("::"), -1);
        for (const target::TargetRegistryEntry &entry : m_state.targetFactory().entries())
            if (className == QLatin1String(entry.className) && entry.needsSolution)
                throw common::HException(QStringLiteral("no solution specified (use -solution)"));
    }
    m_selection.setDeviceName(m_deviceName);
    m_selection.resolveDevice();
    m_selection.addOutputFile(m_files);
    // Targets that write files refuse to write over any of these.
    m_state.addInputFile(m_solutionPath);
    m_state.addInputFile(m_scriptPath);
    for (const QString &file : std::as_const(m_files))
        m_state.addInputFile(file);
    // The targets read the run's device and multiplier setting from the state when they connect.
    const SolutionSelection::TargetDevice device = m_selection.targetDevice();
    m_state.setSelectedDevice(device.name);
    m_state.setHardwareMultiplierSetting(device.hardwareMultiplier ? QStringLiteral("Yes") : QStringLiteral("No"));
}

void System::prepareUpload()
{
    const loadfile::TEVOLoadFileFactory &factory = m_loader.loadFileFactory();
    const QString type = factory.typeForFileName(m_uploadPath);
    if (type.isEmpty())
        throw common::HException(QStringLiteral("Cannot determine type of file ") + quoted(common::fileNameOnly(m_uploadPath)));
    m_uploadWriter = &factory.requireWriter(type);
    m_uploadDestination = std::make_unique<loadfile::LoadFileDestination>(m_uploadPath);
}

void System::finishUpload()
{
    const std::unique_ptr<loadfile::LoadFileInterface> readBack =
        target::uploadRanges(m_loader.target(), m_uploadRanges, m_uploadPath);
    m_uploadDestination->write(m_uploadWriter->contents(*readBack, m_uploadPath));
}

void System::loadOne(const QString &fileName)
{
    m_loader.SetLoadFile(fileName);
    target::TargetInterface &target = m_loader.target();
    target.reset(true);
    target.beginLoad();
    if (m_download)
        m_loader.Download();
    if (m_verify && !m_loader.Verify())
        throw common::HException(QStringLiteral("Verification of ") + fileName + QStringLiteral(" has failed"));
    target.endLoad();
    target.run(m_loader.loadFile().startAddress(), true);
    if (m_uploadWriter)
        m_uploadRanges.add(m_loader.loadFile());
}

void System::runScript()
{
    // A script run does no loading job of its own: what only that job would use is refused
    // rather than dropped.
    if (!m_files.isEmpty())
        throw common::HException(QStringLiteral("load file \u201C") + m_files.first()
                                 + QStringLiteral("\u201D is given before -script, but a script run loads only what its "
                                                  "script loads (give the file after the script's name, as one of "
                                                  "its arguments)"));
    const auto refuse = [](const char *option) {
        throw common::HException(QStringLiteral("option %1 does not apply to a script run (the script does the "
                                                "loading job itself)")
                                     .arg(QLatin1String(option)));
    };
    if (!m_uploadPath.isEmpty())
        refuse("-upload");
    if (!m_verify)
        refuse("-noverify");
    if (!m_download)
        refuse("-nodownload");
    if (!m_disconnect)
        refuse("-nodisconnect");
    // A target and a solution named before -script are in place when the script starts, so
    // that it can use them and the project's reset script runs on its resets.
    if (m_loader.hasTarget())
        m_loader.target().addScriptMethods(&m_scripts.context());
    selectSolution();
    m_loader.setArguments(m_scriptArguments);
    m_scripts.runFile(m_scriptPath, m_scriptArguments);
}

int System::run(int count, const char *const *words)
{
    const int status = runSequence(count, words);
    m_output.check();
    return status;
}

int System::runSequence(int count, const char *const *words)
{
    // -script ends the options: the words after its file are the script's own, wherever it
    // stands (restArgument).
    if (count > 1)
        parse(count - 1, words + 1);
    if (count <= 1 || m_help) {
        m_output.print(usageText());
        return 0;
    }
    if (!m_scriptPath.isEmpty()) {
        runScript();
        return 0;
    }
    if (!m_loader.hasTarget())
        throw common::HException(QStringLiteral("no target interface specified (use -target)"));
    m_loader.target().addScriptMethods(&m_scripts.context());
    selectSolution();
    if (m_files.isEmpty())
        return 0;

    // A bad upload file would otherwise be found only after the whole download.
    if (!m_uploadPath.isEmpty())
        prepareUpload();

    if (!m_state.selectedDevice().isEmpty())
        m_loader.message(QStringLiteral("Using device ") + m_state.selectedDevice());
    if ((m_devices = platform::DeviceAccess::fromEnvironment()))
        m_loader.message(QStringLiteral("Using device shim \u201c") + m_devices->shimPath() + QStringLiteral("\u201d"));
    m_state.setDeviceAccess(m_devices.get());
    m_loader.ConnectTarget();
    for (const QString &fileName : std::as_const(m_files))
        loadOne(fileName);
    // One read-back after every file is loaded: ranges that several files share hold what
    // the last of them left there.
    if (m_uploadWriter)
        finishUpload();
    if (m_disconnect)
        m_loader.DisconnectTarget();
    return 0;
}

} // namespace zim::loader
