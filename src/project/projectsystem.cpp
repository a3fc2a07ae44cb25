// Loading solution files into the project tree, templates, and the configuration and
// property lookups.
#include "project/projectsystem.h"

#include "project/domreader.h"
#include "project/propertyvalue.h"
#include "project/solutionloaderror.h"
#include "project/xmlpp.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <vector>

namespace {

const QString kDoctype = QStringLiteral("Veltrix_Project_File");
const QString kCommon = QStringLiteral("Common");
const QString kName = QStringLiteral("Name");

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
// does not know the name yet, so that the top solution finds imported projects too.
void registerProjects(ProjectElement *parent, ProjectElement *child)
{
    QMap<QString, ProjectElement *> found;
    if (child->type() == ProjectElement::Project)
        found.insert(child->name(), child);
    else if (child->type() == ProjectElement::Solution)
        found = child->projects();
    if (found.isEmpty())
        return;
    for (ProjectElement *s = parent; s; s = s->parent()) {
        if (s->type() != ProjectElement::Solution)
            continue;
        for (auto it = found.cbegin(); it != found.cend(); ++it)
            if (!s->projects().contains(it.key()))
                s->projects().insert(it.key(), it.value());
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
    if (!QFileInfo::exists(name) && !baseDirectory.isEmpty())
        name = baseDirectory + QLatin1Char('/') + name;
    const QFileInfo info(name);
    if (!info.exists())
        throw SolutionLoadError(name, QStringLiteral(" does not exist"));
    QFile file(name);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        throw SolutionLoadError(name, QStringLiteral(" cannot access"));
    const QString absolute = info.absoluteFilePath();
    if (m_loading.contains(absolute))
        throw SolutionLoadError(name, QStringLiteral(" solution already loaded"));
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw SolutionLoadError(name, QStringLiteral(" cannot access"));

    QDomDocument document;
    DomReader::Error error;
    if (!DomReader::read(text, document, error))
        throw SolutionLoadError(name, error.message, error.line, error.column);
    if (document.doctype().name() != kDoctype)
        throw SolutionLoadError(name, QStringLiteral(" not a solution file"));

    m_loading.append(absolute);
    struct Pop
    {
        QStringList &stack;
        ~Pop() { stack.removeLast(); }
    } pop{m_loading};
    QDomElement root = document.documentElement();
    if (!root.hasAttribute(QStringLiteral("version")))
        convertUnversionedSolution(document);
    return buildTree(root, absolute);
}

ProjectElement *ProjectSystem::buildTree(const QDomElement &root, const QString &filePath)
{
    struct Item
    {
        QDomElement dom;
        ProjectElement *parent;
    };
    std::unique_ptr<ProjectElement> top;
    std::vector<Item> stack{{root, nullptr}};
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        const QDomElement &dom = item.dom;
        ProjectElement *element = nullptr;
        if (dom.tagName() == QLatin1String("import")) {
            const QString importName = dom.attribute(QStringLiteral("file_name"));
            element = loadFile(expandMacros(m_environment, importName), QFileInfo(filePath).absolutePath());
            element->setProperty(QStringLiteral("file_name"), importName);
            element->setImported(true);
        } else {
            element = new ProjectElement(ProjectElement::typeForTag(dom.tagName()));
            const QDomNamedNodeMap attributes = dom.attributes();
            for (int i = 0; i < attributes.count(); ++i) {
                const QDomAttr a = attributes.item(i).toAttr();
                element->setProperty(a.name(), a.value());
            }
            if (element->type() == ProjectElement::Solution)
                element->setFilePath(filePath);
            else if (element->type() == ProjectElement::File)
                element->setFilePath(element->property(QStringLiteral("file_name")));
        }
        if (!item.parent) {
            top.reset(element);
        } else {
            ProjectElement *kept = item.parent->appendChild(element);
            if (kept != element) {
                element = kept;
            } else {
                registerProjects(item.parent, element);
            }
        }
        if (element->type() == ProjectElement::Project && !element->isImported()
            && element->hasProperty(QStringLiteral("template_name")))
            m_needTemplates.append(element);
        if (element->isImported())
            continue;
        std::vector<QDomElement> children;
        for (QDomElement c = dom.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
            children.push_back(c);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back({*it, element});
    }
    return top.release();
}

void convertUnversionedSolution(QDomDocument &document)
{
    const QDomElement root = document.documentElement();
    QMap<QString, QString> projectNames; // uuid -> Name
    for (QDomElement e = root; !e.isNull(); e = nextInDocument(e, root)) {
        const QString tag = e.tagName();
        if (tag == QLatin1String("project"))
            projectNames.insert(e.attribute(QStringLiteral("uuid")), e.attribute(kName));
        if (tag == QLatin1String("folder") && e.hasAttribute(QStringLiteral("filter"))) {
            QDomElement common = document.createElement(QStringLiteral("configuration"));
            common.setAttribute(kName, kCommon);
            common.setAttribute(QStringLiteral("filter"), e.attribute(QStringLiteral("filter")));
            e.removeAttribute(QStringLiteral("filter"));
            e.appendChild(common);
        }
        e.removeAttribute(QStringLiteral("uuid"));
    }
    for (QDomElement p = root.firstChildElement(QStringLiteral("project")); !p.isNull();
         p = p.nextSiblingElement(QStringLiteral("project"))) {
        for (QDomElement c = p.firstChildElement(QStringLiteral("configuration")); !c.isNull();
             c = c.nextSiblingElement(QStringLiteral("configuration"))) {
            if (!c.hasAttribute(QStringLiteral("project_dependencies")))
                continue;
            QStringList names = c.attribute(QStringLiteral("project_dependencies")).split(QLatin1Char(';'));
            for (QString &n : names)
                n = projectNames.value(n, n);
            c.setAttribute(QStringLiteral("project_dependencies"), names.join(QLatin1Char(';')));
        }
    }
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
    for (ProjectElement *project : std::as_const(m_needTemplates)) {
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
            if (!present)
                project->appendChild(buildTree(c, templatesPath));
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

bool ProjectSystem::findPropertyValue(ProjectElement *element, const QString &name, bool accumulate,
                                      const QString &configuration, QString &value) const
{
    QString result;
    bool found = false;
    // True when the search is over.
    auto look = [&](const ProjectElement *c) {
        if (!c || !c->hasProperty(name))
            return false;
        if (!found)
            result = c->property(name);
        else
            result += QLatin1Char(';') + c->property(name);
        found = true;
        return !accumulate;
    };
    bool done = false;
    for (ProjectElement *e = element; e && !done; e = e->parent()) {
        if (e->configurations().isEmpty())
            continue;
        done = look(e->configuration(configuration));
        if (done || configuration == kCommon)
            continue;
        const QStringList inherited = inheritedConfigurations(e, configuration);
        for (const QString &n : inherited)
            if ((done = look(e->configuration(n))))
                break;
        if (!done)
            done = look(e->configuration(kCommon));
    }
    if (found)
        value = result;
    return found;
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
