// Loading solution files into the project tree, templates, and the configuration and
// property lookups.
#include "project/projectsystem.h"

#include "common/boundedread.h"
#include "platform/filestatus.h"
#include "project/domreader.h"
#include "project/propertyvalue.h"
#include "project/solutionloaderror.h"
#include "project/xmlpp.h"

#include <QDebug>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QXmlStreamReader>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace zim::project {

namespace {

const QString kDoctype = QStringLiteral("Veltrix_Project_File");
const QString kCommon = QStringLiteral("Common");
const QString kName = QStringLiteral("Name");
// Imports nested deeper than this are taken for a runaway chain of files.
constexpr int kMaxImportDepth = 100;

// Whether path names something that can be examined: false with reason empty when nothing is
// there, false with the system's reason when the path cannot be followed (a link loop, a folder
// that may not be entered, ...).
bool reachable(const QString &path, QString &reason)
{
    reason.clear();
    const platform::FileStatus status = platform::destinationStatus(path);
    if (status.kind != platform::FileStatus::Failed)
        return status.kind != platform::FileStatus::Missing;
    if (status.error != ENOENT && status.error != ENOTDIR)
        reason = QString::fromLocal8Bit(std::strerror(status.error));
    return false;
}

// The element after e in document order within root, or a null element.
QDomElement nextInDocument(QDomElement e, const QDomElement &root)
{
    const QDomElement child = e.firstChildElement();
    if (!child.isNull())
        return child;
    while (e != root) {
        const QDomElement sibling = e.nextSiblingElement();
        if (!sibling.isNull())
            return sibling;
        e = e.parentNode().toElement();
    }
    return QDomElement();
}

ProjectElement *ensureConfiguration(ProjectElement *element, const QString &name)
{
    if (ProjectElement *c = element->configuration(name))
        return c;
    auto *c = new ProjectElement(ProjectElement::Configuration);
    c->setProperty(kName, name);
    return element->appendChild(c);
}

// Enters project, or the projects of an imported solution, in every solution above it that
// does not know the name yet, so that the top solution finds imported projects too. A name
// known already keeps its first project; the later one is ignored with a warning.
void registerProjects(ProjectElement *parent, ProjectElement *child)
{
    QMap<QString, ProjectElement *> found;
    if (child->type() == ProjectElement::Project)
        found.insert(child->name(), child);
    else if (child->type() == ProjectElement::Solution)
        found = child->projects();
    if (found.isEmpty())
        return;
    QSet<QString> warned;
    for (ProjectElement *s = parent; s; s = s->parent()) {
        if (s->type() != ProjectElement::Solution)
            continue;
        for (auto it = found.cbegin(); it != found.cend(); ++it) {
            ProjectElement *known = s->projects().value(it.key());
            if (!known) {
                s->projects().insert(it.key(), it.value());
            } else if (known != it.value() && !warned.contains(it.key())) {
                warned.insert(it.key());
                const QString name = QLatin1Char('"') + it.key() + QLatin1Char('"');
                qWarning().noquote() << QStringLiteral("warning: project ") + name + QStringLiteral(" of \u201C")
                                            + it.value()->sourceFile() + QStringLiteral("\u201D is ignored: the project ")
                                            + name + QStringLiteral(" of \u201C") + known->sourceFile()
                                            + QStringLiteral("\u201D has the same name");
            }
        }
    }
}

} // namespace

ProjectSystem::ProjectSystem(const MacroMap &environment, QObject *parent)
    : QObject(parent), m_environment(environment)
{
}

ProjectSystem::~ProjectSystem() = default;

QString ProjectSystem::templatesFile() const
{
    return expandMacros(m_environment, QStringLiteral("$(VeltDir)/targets/project_templates.xml"));
}

void ProjectSystem::closeSolution()
{
    m_needTemplates.clear();
    m_loading.clear();
    m_loaded.clear();
    m_root.reset();
}

void ProjectSystem::openSolution(const QString &path)
{
    closeSolution();
    try {
        m_root.reset(loadFile(path, QString()));
        applyTemplates();
        recomputeInheritedConfigurations();
        m_needTemplates.clear();
    } catch (...) {
        closeSolution();
        throw;
    }
}

ProjectElement *ProjectSystem::loadFile(const QString &fileName, const QString &baseDirectory)
{
    QString name = fileName;
    QString reason;
    if (!reachable(name, reason) && reason.isEmpty() && !baseDirectory.isEmpty())
        name = baseDirectory + QLatin1Char('/') + name;
    if (!reachable(name, reason)) {
        if (reason.isEmpty())
            throw SolutionLoadError(name, QStringLiteral(" does not exist"));
        throw SolutionLoadError(name, QStringLiteral(" cannot access: ") + reason);
    }
    const QFileInfo info(name);
    QFile file(name);
    if (info.isDir())
        throw SolutionLoadError(name, QStringLiteral(" cannot access: ") + QString::fromLocal8Bit(std::strerror(EISDIR)));
    if (!file.open(QIODevice::ReadOnly))
        throw SolutionLoadError(name, QStringLiteral(" cannot access: ") + file.errorString());
    // The canonical path sees through links, so a cycle through a linked directory stops too.
    const QString absolute = info.canonicalFilePath();
    if (m_loading.contains(absolute))
        throw SolutionLoadError(name, QStringLiteral(" solution already loaded"));
    // A file imported from several places is read in at its first import only: imports that
    // fan out would otherwise read the same files an exponential number of times.
    if (m_loaded.contains(absolute))
        return nullptr;
    if (m_loading.size() >= kMaxImportDepth)
        throw SolutionLoadError(name, QStringLiteral(" imports nested too deeply"));
    QByteArray text;
    bool tooLarge = false;
    if (!common::readAllBounded(file, common::kMaxSolutionFileSize, text, &tooLarge)) {
        if (tooLarge)
            throw SolutionLoadError(QString(), common::tooLargeMessage(name, common::kMaxSolutionFileSize,
                                                                       QStringLiteral("a solution file may have")));
        throw SolutionLoadError(name, QStringLiteral(" cannot access: ") + file.errorString());
    }
    m_loaded.insert(absolute);

    // A whole pass over the text first, so that a file is judged as XML before anything of it
    // is built; then the tree is built straight from a second pass. (A DOM of a large solution
    // would cost many times the file's size in memory and time.)
    QString doctype;
    DomReader::Error error;
    if (!DomReader::check(text, doctype, error))
        throw SolutionLoadError(name, error.message, error.line, error.column);
    if (doctype != kDoctype)
        throw SolutionLoadError(name, QStringLiteral(" not a solution file"));

    m_loading.append(absolute);
    struct Pop
    {
        QStringList &stack;
        ~Pop() { stack.removeLast(); }
    } pop{m_loading};
    QXmlStreamReader reader(text);
    return buildTree(reader, info.absoluteFilePath(), true);
}

ProjectElement *ProjectSystem::buildTree(QXmlStreamReader &reader, const QString &filePath, bool wholeFile)
{
    std::unique_ptr<ProjectElement> top;
    std::vector<ProjectElement *> open; // the elements whose end tag is still to come
    QMap<QString, QString> projectNames; // uuid -> Name, for a file without version
    bool convert = false;
    const QString uuid = QStringLiteral("uuid");
    const QString filter = QStringLiteral("filter");

    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (!open.empty())
                open.pop_back();
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QString tag = reader.name().toString();
        ProjectElement *parent = open.empty() ? nullptr : open.back();
        ProjectElement *element = nullptr;
        if (tag == QLatin1String("import")) {
            const QString importName = reader.attributes().value(QStringLiteral("file_name")).toString();
            element = loadFile(expandMacros(m_environment, importName), QFileInfo(filePath).absolutePath());
            reader.skipCurrentElement();
            if (!element)
                continue; // read in already, where it was first imported
            element->setProperty(QStringLiteral("file_name"), importName);
            element->setImported(true);
        } else {
            element = new ProjectElement(ProjectElement::typeForTag(tag));
            for (const QXmlStreamAttribute &a : reader.attributes())
                element->setProperty(a.qualifiedName().toString(), a.value().toString());
            if (!top && wholeFile && !element->hasProperty(QStringLiteral("version")))
                convert = true;
            if (convert) {
                // A file without version: projects are known by uuid, folder filters live in
                // a "Common" configuration.
                if (element->type() == ProjectElement::Project)
                    projectNames.insert(element->property(uuid), element->name());
                element->removeProperty(uuid);
            }
            if (element->type() == ProjectElement::Solution)
                element->setFilePath(filePath);
            else if (element->type() == ProjectElement::File)
                element->setFilePath(element->property(QStringLiteral("file_name")));
        }
        if (!parent) {
            if (top) {
                // Only one root: anything after it is not part of the file's tree.
                delete element;
                reader.skipCurrentElement();
                continue;
            }
            top.reset(element);
            if (wholeFile)
                top->setSourcePath(filePath);
        } else {
            ProjectElement *kept = parent->appendChild(element);
            if (kept == element)
                registerProjects(parent, element);
            element = kept;
        }
        if (convert && element->type() == ProjectElement::Folder && element->hasProperty(filter)) {
            ProjectElement *common = ensureConfiguration(element, kCommon);
            common->setProperty(filter, element->property(filter));
            element->removeProperty(filter);
        }
        if (element->type() == ProjectElement::Project && !element->isImported()
            && element->hasProperty(QStringLiteral("template_name")))
            m_needTemplates.append(element);
        if (!element->isImported())
            open.push_back(element);
    }

    if (convert && top) {
        const QString dependencies = QStringLiteral("project_dependencies");
        for (ProjectElement *project : top->children()) {
            if (project->type() != ProjectElement::Project || project->isImported())
                continue;
            for (ProjectElement *c : project->configurations()) {
                if (!c->hasProperty(dependencies))
                    continue;
                QStringList names = c->property(dependencies).split(QLatin1Char(';'));
                for (QString &n : names)
                    n = projectNames.value(n, n);
                c->setProperty(dependencies, names.join(QLatin1Char(';')));
            }
        }
    }
    return top.release();
}

void ProjectSystem::applyTemplates()
{
    if (m_needTemplates.isEmpty())
        return;
    const QString path = templatesFile();
    if (!QFileInfo::exists(path))
        throw SolutionLoadError(path, QStringLiteral(" does not exist"));
    XmlPP pp(m_environment);
    if (!pp.processFile(path)) {
        if (pp.errorMessage() == QLatin1String("cannot access"))
            throw SolutionLoadError(path, QStringLiteral(" cannot access"));
        throw SolutionLoadError(path, pp.errorMessage(), pp.errorLine(), pp.errorColumn());
    }
    QMap<QString, QDomElement> templates;
    const QDomElement root = pp.document().documentElement();
    for (QDomElement e = root; !e.isNull(); e = nextInDocument(e, root))
        if (e.tagName() == QLatin1String("project") && !templates.contains(e.attribute(QStringLiteral("name"))))
            templates.insert(e.attribute(QStringLiteral("name")), e);
    // Applying a template builds its content, which may hold projects that name templates in
    // turn; those are content of the template and are not expanded, so the list is taken
    // whole before the first template is applied.
    const QList<ProjectElement *> projects = std::exchange(m_needTemplates, {});
    for (ProjectElement *project : projects) {
        const QString name = project->property(QStringLiteral("template_name"));
        auto it = templates.constFind(name);
        if (it == templates.constEnd())
            throw SolutionLoadError(name, QStringLiteral(" project template not found"));
        applyTemplate(project, it.value(), path);
    }
}

void ProjectSystem::applyTemplate(ProjectElement *project, const QDomElement &templateElement,
                                  const QString &templatesPath)
{
    // The project's own values win: the template only fills in what the project leaves open.
    ProjectElement *common = ensureConfiguration(project, kCommon);
    const QString typeProperty = QStringLiteral("project_type");
    if (templateElement.hasAttribute(QStringLiteral("type")) && !common->hasProperty(typeProperty))
        common->setProperty(typeProperty, templateElement.attribute(QStringLiteral("type")));

    for (QDomElement c = templateElement.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        const QString tag = c.tagName();
        if (tag == QLatin1String("property")) {
            const QString name = c.attribute(QStringLiteral("name"));
            if (!name.isEmpty() && !common->hasProperty(name))
                common->setProperty(name, c.attribute(QStringLiteral("value")));
        } else if (tag == QLatin1String("configuration")) {
            ProjectElement *configuration = ensureConfiguration(project, c.attribute(kName));
            const QDomNamedNodeMap attributes = c.attributes();
            for (int i = 0; i < attributes.count(); ++i) {
                const QDomAttr a = attributes.item(i).toAttr();
                if (!configuration->hasProperty(a.name()))
                    configuration->setProperty(a.name(), a.value());
            }
        } else if (tag == QLatin1String("folder") || tag == QLatin1String("file")) {
            const bool present = tag == QLatin1String("folder")
                && std::any_of(project->children().cbegin(), project->children().cend(), [&](ProjectElement *e) {
                       return e->type() == ProjectElement::Folder && e->name() == c.attribute(kName);
                   });
            if (!present) {
                // The template's element goes through the same builder as solution files.
                QString text;
                QTextStream stream(&text);
                c.save(stream, -1);
                stream.flush();
                QXmlStreamReader reader(text);
                if (ProjectElement *built = buildTree(reader, templatesPath, false))
                    project->appendChild(built);
            }
        } else if (tag == QLatin1String("configurations") && m_root) {
            for (QDomElement entry = c.firstChildElement(QStringLiteral("configuration")); !entry.isNull();
                 entry = entry.nextSiblingElement(QStringLiteral("configuration"))) {
                const QString name = entry.attribute(QStringLiteral("name"));
                if (name.isEmpty() || m_root->configuration(name))
                    continue;
                ProjectElement *configuration = ensureConfiguration(m_root.get(), name);
                if (entry.hasAttribute(QStringLiteral("inherited_configurations")))
                    configuration->setProperty(QStringLiteral("inherited_configurations"),
                                               entry.attribute(QStringLiteral("inherited_configurations")));
            }
        }
    }
}

void ProjectSystem::recomputeInheritedConfigurations()
{
    QMap<QString, QStringList> &cache = m_root->inheritedConfigurations();
    cache.clear();
    for (ProjectElement *c : m_root->configurations()) {
        if (c->hasProperty(QStringLiteral("inherited_configurations")))
            cache.insert(c->name(),
                         c->property(QStringLiteral("inherited_configurations")).split(QLatin1Char(';'), Qt::SkipEmptyParts));
    }
}

const QMap<QString, ProjectElement *> &ProjectSystem::projects(ProjectElement *element) const
{
    if (element && element->type() == ProjectElement::Solution)
        return element->projects();
    return m_root ? m_root->projects() : m_noProjects;
}

ProjectElement *ProjectSystem::findInSolution(ProjectElement *element, const QString &name) const
{
    for (ProjectElement *s = element; s; s = s->parent())
        if (s->type() == ProjectElement::Solution)
            if (ProjectElement *found = s->projects().value(name))
                return found;
    return nullptr;
}

void ProjectSystem::configurationNames(ProjectElement *element, bool includeHidden, QStringList &list) const
{
    for (ProjectElement *e = element; e; e = e->parent()) {
        for (auto it = e->configurations().cbegin(); it != e->configurations().cend(); ++it) {
            if (list.contains(it.key()))
                continue;
            if (it.value()->hasProperty(QStringLiteral("hidden"))) {
                if (includeHidden)
                    list.append(it.key());
            } else if (it.key() != kCommon) {
                list.append(it.key());
            }
        }
    }
}

QStringList ProjectSystem::inheritedConfigurations(ProjectElement *element, const QString &configuration) const
{
    for (ProjectElement *s = element; s; s = s->parent()) {
        if (s->type() != ProjectElement::Solution)
            continue;
        auto it = s->inheritedConfigurations().constFind(configuration);
        if (it != s->inheritedConfigurations().constEnd())
            return it.value();
    }
    return QStringList();
}

void ProjectSystem::walkPropertyValues(ProjectElement *element, const QString &name, const QString &configuration,
                                       const std::function<bool(const QString &)> &take) const
{
    // True when the search is over.
    auto look = [&](const ProjectElement *c) { return c && c->hasProperty(name) && take(c->property(name)); };
    for (ProjectElement *e = element; e; e = e->parent()) {
        if (e->configurations().isEmpty())
            continue;
        if (look(e->configuration(configuration)))
            return;
        if (configuration == kCommon)
            continue;
        const QStringList inherited = inheritedConfigurations(e, configuration);
        for (const QString &n : inherited)
            if (look(e->configuration(n)))
                return;
        if (look(e->configuration(kCommon)))
            return;
    }
}

QStringList ProjectSystem::propertyValues(ProjectElement *element, const QString &name,
                                          const QString &configuration) const
{
    QStringList values;
    walkPropertyValues(element, name, configuration, [&](const QString &v) {
        values.append(v);
        return false;
    });
    return values;
}

bool ProjectSystem::findPropertyValue(ProjectElement *element, const QString &name, bool accumulate,
                                      const QString &configuration, QString &value) const
{
    QString result;
    bool found = false;
    walkPropertyValues(element, name, configuration, [&](const QString &v) {
        if (!found)
            result = v;
        else
            result += QLatin1Char(';') + v;
        found = true;
        return !accumulate;
    });
    if (found)
        value = result;
    return found;
}

QString ProjectSystem::fileType(const ProjectElement *element) const
{
    if (!element || element->type() != ProjectElement::File)
        return QString();
    if (element->hasProperty(QStringLiteral("file_type")))
        return element->property(QStringLiteral("file_type"));
    struct Kind
    {
        const char *extension;
        const char *kind;
    };
    static const Kind kinds[] = {
#define FILE_TYPE(extension, kind) {extension, kind},
#include "project/filetypes.def"
#undef FILE_TYPE
    };
    const QString extension = QFileInfo(element->property(QStringLiteral("file_name"))).suffix().toLower();
    for (const Kind &k : kinds)
        if (extension == QLatin1String(k.extension))
            return QString::fromLatin1(k.kind);
    return QString();
}

QString ProjectSystem::propertyValue(ProjectElement *element, const PropertyValue &property,
                                     const QString &configuration) const
{
    QString value;
    if (findPropertyValue(element, property.name(), property.kind() == PropertyValue::Accumulating, configuration,
                          value))
        return value;
    return property.defaultValue();
}

} // namespace zim::project
