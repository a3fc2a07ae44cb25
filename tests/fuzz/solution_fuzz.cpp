// Fuzz target: opening a solution file must end in a project tree or a SolutionLoadError,
// never a crash or a hang; the lookups then walk whatever tree was built.
#include "project/msp430projectsystem.h"
#include "project/propertyvalue.h"
#include "project/solutionloaderror.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir; // one scratch directory for the whole fuzzing run
    const QString path = dir.filePath(QStringLiteral("fuzz.hzp"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    file.close();

    // No templates file exists under VeltDir, so projects with a template fail to load.
    const zim::project::MacroMap environment{{QStringLiteral("VeltDir"), dir.path() + QStringLiteral("/none")}};
    zim::project::MSP430ProjectSystem projects(environment);
    try {
        projects.openSolution(path);
    } catch (const zim::project::SolutionLoadError &) {
        return 0;
    }
    const zim::project::PropertyValue text(QStringLiteral("p"), 0, QString(), QString(), QString(), QString(), zim::project::PropertyValue::Text);
    const zim::project::PropertyValue list(QStringLiteral("macros"), 0, QString(), QString(), QString(), QString(),
                             zim::project::PropertyValue::Accumulating);
    for (zim::project::ProjectElement *project : projects.projects()) {
        QStringList names;
        projects.configurationNames(project, true, names);
        names.append(QStringLiteral("Common"));
        for (const QString &configuration : std::as_const(names)) {
            projects.propertyValue(project, text, configuration);
            projects.propertyValue(project, list, configuration);
        }
    }
    return 0;
}
