// System: the option handlers, the listings and the run sequence of one loading job.
#include "loader/system.h"

#include "common/hexception.h"
#include "common/text.h"
#include "loader/targetproperties.h"
#include "loadfile/loadfilefactory.h"
#include "loadfile/loadfilewriter.h"
#include "msp430/devicelisting.h"
#include "target/targetinterface.h"
#include "target/targetregistry.h"

#include <cstdlib>

namespace {

// Words of the command line are in the local 8-bit encoding of the system.
QString fromWord(const char *word)
{
    return QString::fromLocal8Bit(word);
}

} // namespace

System::System(ArgParseReporter &reporter, FILE *out, TextProgressBar::Clock clock)
    : ArgParse(reporter), m_out(out), m_loader(out, std::move(clock))
{
    registerOptions();
    // Registering the Loader and the Console as script globals belongs here once the script
    // system exists.
}

System::~System() = default;

System &System::instance()
{
    // The entry makes the reporter before anything else.
    Q_ASSERT(ArgParseReporter::shared());
    static System *system = new System(*ArgParseReporter::shared());
    return *system;
}

void System::addArgumentOption(const char *option, std::function<void(const char *)> handler)
{
    OptionRecord record;
    record.kind = OptionRecord::NextWord;
    record.hasHandler = true;
    record.handler = [handler = std::move(handler)](const char *, const char *argument) { handler(argument); };
    addOption(option, record);
}

void System::registerOptions()
{
    using Flag = OptionRecord::Handler;
    auto flag = [this](const char *option, std::function<void()> action) {
        addFlag(option, Flag([action = std::move(action)](const char *, const char *) { action(); }));
    };

    addArgumentOption("-target", [this](const char *a) { setTarget(a); });
    flag("-listtargets", [this] { print(targetListing()); });
    addArgumentOption("-setprop", [this](const char *a) { setProperty(a); });
    flag("-listprops", [this] { listProperties(m_out, m_loader.target(), m_targetName); });
    flag("-nodownload", [this] { m_download = false; });
    flag("-noverify", [this] { m_verify = false; });
    flag("-nodisconnect", [this] { m_disconnect = false; });
    flag("-quiet", [this] {
        m_quiet = true;
        m_loader.setQuiet(true);
    });
    flag("-verbose", [this] {
        m_verbose = true;
        m_loader.setVerbose(true);
    });
    flag("-help", [this] { m_help = true; });
    addArgumentOption("-solution", [this](const char *a) { m_solutionPath = fromWord(a); });
    addArgumentOption("-project", [this](const char *a) { m_projectName = fromWord(a); });
    addArgumentOption("-config", [this](const char *a) { m_configName = fromWord(a); });
    addArgumentOption("-filetype", [this](const char *a) { setFileType(a); });
    addArgumentOption("-loadaddress", [this](const char *a) { setLoadAddress(a); });
    flag("-listfiletypes", [this] { print(fileTypeListing()); });
    addArgumentOption("-upload", [this](const char *a) { m_uploadPath = fromWord(a); });
    flag("-listdevices", [this] { listDevices(); });
    addArgumentOption("-device", [this](const char *a) { m_deviceName = fromWord(a); });
}

void System::argument(const char *word)
{
    m_files.append(fromWord(word));
}

void System::print(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), m_out);
    std::fflush(m_out);
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
        throw HException(QStringLiteral("format for option should be \"-setprop PROPERTY=VALUE\""));
    setPropertyFromText(m_loader.target(), text.left(equals), text.mid(equals + 1));
}

void System::setFileType(const char *type)
{
    const QString wanted = fromWord(type);
    for (const LoadFileType &entry : loadFileFactory().types()) {
        const QString name = QString::fromLatin1(entry.typeName);
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
            m_loader.setFileType(name);
            return;
        }
    }
    throw HException(QStringLiteral("unknown file type \"") + wanted + QLatin1Char('"'));
}

void System::setLoadAddress(const char *text)
{
    // strtoul with base 0: decimal, "0x" hexadecimal or leading-zero octal, stopping at the
    // first character it cannot use.
    m_loader.setLoadAddress(uint32_t(std::strtoul(text, nullptr, 0)));
}

void System::listDevices()
{
    print(msp430DeviceListing().toUtf8());
}

QByteArray System::targetListing()
{
    QByteArray text = "Target Interfaces:\n\n";
    for (const TargetRegistryEntry &entry : targetInterfaceFactory().entries())
        text += QString::asprintf("  %-21s %s\n", entry.shortName ? entry.shortName : entry.className,
                                  entry.description)
                    .toUtf8();
    return text + "\n";
}

QByteArray System::fileTypeListing()
{
    QByteArray text = "File Types:\n\n";
    for (const LoadFileType &type : loadFileFactory().types())
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
                      "Options:\n"
                      "  -target 'target'      The target interface to use\n"
                      "  -listtargets          List all the supported target interfaces\n"
                      "  -solution 'file'      Use Veltrix solution file 'file'\n"
                      "  -project 'name'       Use project 'name' contained within solution file\n"
                      "  -config 'config'      Use build configuration 'config'\n"
                      "  -filetype 'type'      Specify the load file type\n"
                      "  -listfiletypes        List all the supported file types\n"
                      "  -setprop 'prop'='val' Set a target property 'prop' to 'val'\n"
                      "  -listprops            List target properties of selected target\n"
                      "  -loadaddress          Specify the address at which to load the load file\n"
                      "  -noverify             Do not carry out verification of download\n"
                      "  -nodownload           Do not carry out download\n"
                      "  -nodisconnect         Do not disconnect target interface when finished\n"
                      "  -help                 Print options help\n"
                      "  -verbose              Produce verbose output\n"
                      "  -quiet                Do not output any progress messages\n"
                      "  -upload 'file'        Read back the loaded address ranges into 'file'\n"
                      "  -listdevices          List all the supported devices\n"
                      "  -device 'name'        Use device 'name' instead of the project's target device\n"
                      "\n"
                      "Examples\n"
                      "--------\n\n";

    const QList<TargetRegistryEntry> &entries = targetInterfaceFactory().entries();
    auto shown = [](const TargetRegistryEntry &e) { return QByteArray(e.shortName ? e.shortName : e.className); };
    const QByteArray first = entries.isEmpty() ? QByteArray("'target'") : shown(entries.first());
    text += "  Download a Veltrix project using target interface \"" + first + "\":\n\n";
    text += "    zimprog -target " + first + " -solution MySolution.hzp -project MyProject -config Debug\n\n";
    text += "  Download MyApp.s19 using the target settings from a Veltrix project:\n\n";
    text += "    zimprog -target " + first
            + " -solution MySolution.hzp -project MyProject -config Release MyApp.s19\n\n";
    for (const TargetRegistryEntry &entry : entries) {
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
    if (!m_solutionPath.isEmpty() || !m_deviceName.isEmpty()) {
        if (!m_selection)
            throw HException(QStringLiteral("solution files and devices cannot be selected in this run"));
    }
    if (!m_solutionPath.isEmpty()) {
        m_selection->select(m_solutionPath, m_projectName, m_configName);
    } else {
        const QString className = QString::fromLatin1(m_loader.target().metaObject()->className());
        for (const TargetRegistryEntry &entry : targetInterfaceFactory().entries())
            if (className == QLatin1String(entry.className) && entry.needsSolution)
                throw HException(QStringLiteral("no solution specified (use -solution)"));
    }
    if (!m_selection)
        return;
    m_selection->setDeviceName(m_deviceName);
    m_selection->resolveDevice();
    m_selection->addOutputFile(m_files);
}

QString System::uploadType() const
{
    const QString type = loadFileFactory().typeForFileName(m_uploadPath);
    if (type.isEmpty())
        throw HException(QStringLiteral("Cannot determine type of file \"") + fileNameOnly(m_uploadPath)
                         + QLatin1Char('"'));
    return type;
}

void System::loadOne(const QString &fileName)
{
    m_loader.SetLoadFile(fileName);
    TargetInterface &target = m_loader.target();
    target.reset(true);
    target.beginLoad();
    if (m_download)
        m_loader.Download();
    if (m_verify && !m_loader.Verify())
        throw HException(QStringLiteral("Verification of ") + fileName + QStringLiteral(" has failed"));
    target.endLoad();
    target.run(m_loader.loadFile().startAddress(), true);
    if (!m_uploadPath.isEmpty()) {
        std::unique_ptr<LoadFileInterface> readBack = target.upload(m_loader.loadFile(), m_uploadPath);
        m_uploaded->takeSections(*readBack);
    }
}

int System::run(int count, const char *const *words)
{
    if (count > 1)
        parse(count - 1, words + 1);
    if (count <= 1 || m_help) {
        print(usageText());
        return 0;
    }
    if (!m_loader.hasTarget())
        throw HException(QStringLiteral("no target interface specified (use -target)"));
    // Making the target visible to scripts (addScriptMethods with the console script
    // system's context) belongs here once the script system exists.
    selectSolution();
    if (m_files.isEmpty())
        return 0;

    // The upload file's type is checked before anything is connected, so that a bad name
    // does not cost a whole download.
    QString uploadFileType;
    if (!m_uploadPath.isEmpty()) {
        uploadFileType = uploadType();
        m_uploaded = std::make_unique<UploadedLoadFile>();
    }

    if (m_selection) {
        const QString device = m_selection->targetDevice().name;
        if (!device.isEmpty())
            m_loader.message(QStringLiteral("Using device ") + device);
    }
    m_loader.ConnectTarget();
    for (const QString &fileName : std::as_const(m_files))
        loadOne(fileName);
    if (m_uploaded)
        writeLoadFile(m_uploadPath, uploadFileType, *m_uploaded);
    if (m_disconnect)
        m_loader.DisconnectTarget();
    return 0;
}
