// The preprocessor of the description files: conditions, switches, includes and definitions.
#include "project/xmlpp.h"

#include "common/boundedread.h"
#include "common/hexception.h"
#include "project/domreader.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <vector>

namespace zim::project {

namespace {

const QString kWarningPrefix = QStringLiteral("XmlPP::processConditionals(): ");

void warn(const QString &text)
{
    qWarning().noquote() << kWarningPrefix + text;
}

// Included files nested deeper than this are taken for a runaway chain.
constexpr int kMaxIncludeDepth = 64;

const QString kSizeReader = QStringLiteral("a description file may have");

QString quoted(const QString &path)
{
    return QStringLiteral("\u201C") + path + QStringLiteral("\u201D");
}

} // namespace

XmlPP::XmlPP(const MacroMap &environment) : m_environment(environment)
{
    m_definitions.insert(QStringLiteral("ide"), QStringLiteral("Veltrix"));
    m_definitions.insert(QStringLiteral("platform"), QStringLiteral("MSP430"));
    m_definitions.insert(QStringLiteral("release"), QStringLiteral("1.4"));
    m_definitions.insert(QStringLiteral("build"), QStringLiteral("RELEASE"));
    m_definitions.insert(QStringLiteral("host"), QStringLiteral("WIN32"));
}

void XmlPP::define(const QString &name, const QString &value)
{
    m_definitions.insert(name, value);
}

bool XmlPP::processFile(const QString &fileName)
{
    m_errorMessage.clear();
    m_errorLine = m_errorColumn = 0;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        m_errorMessage = QStringLiteral("cannot access");
        return false;
    }
    QByteArray text;
    bool tooLarge = false;
    if (!common::readAllBounded(file, common::kMaxSolutionFileSize, text, &tooLarge)) {
        if (tooLarge)
            throw common::HException(common::tooLargeMessage(fileName, common::kMaxSolutionFileSize, kSizeReader));
        m_errorMessage = QStringLiteral("cannot access");
        return false;
    }
    return processText(text, fileName);
}

bool XmlPP::processText(const QByteArray &text, const QString &fileName)
{
    m_errorMessage.clear();
    m_errorLine = m_errorColumn = 0;
    DomReader::Error error;
    if (!DomReader::read(text, m_document, error)) {
        m_errorMessage = error.message;
        m_errorLine = error.line;
        m_errorColumn = error.column;
        return false;
    }
    const QFileInfo info(fileName);
    // The run's state goes when it ends, also when a limit throws out of it.
    struct RunState
    {
        XmlPP &pp;
        ~RunState()
        {
            pp.m_files.clear();
            pp.m_texts.clear();
            pp.m_includeLoads = 0;
            pp.m_includedBytes = 0;
        }
    } run{*this};
    m_files = QStringList{info.absoluteFilePath()};
    m_texts.clear();
    m_includeLoads = 0;
    m_includedBytes = 0;
    processElement(m_document.documentElement(), info.absolutePath());
    return true;
}

bool XmlPP::condition(const QDomElement &element) const
{
    const QString tag = element.tagName();
    if (tag == QLatin1String("ifdef"))
        return isDefined(element.attribute(QStringLiteral("name")));
    if (tag == QLatin1String("ifndef"))
        return !isDefined(element.attribute(QStringLiteral("name")));
    // if and ifnot: the one attribute names the definition, its value lists the choices.
    const QDomAttr attribute = element.attributes().item(0).toAttr();
    const bool listed =
        attribute.value().split(QLatin1Char(',')).contains(definition(attribute.name()));
    return tag == QLatin1String("if") ? listed : !listed;
}

QDomElement XmlPP::takenCase(const QDomElement &switchElement) const
{
    const QString value = definition(switchElement.attribute(QStringLiteral("name")));
    QDomElement fallback;
    for (QDomElement c = switchElement.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.tagName() == QLatin1String("case")) {
            if (c.attribute(QStringLiteral("value")).split(QLatin1Char(',')).contains(value))
                return c;
        } else if (c.tagName() == QLatin1String("default") && fallback.isNull()) {
            fallback = c;
        }
    }
    return fallback;
}

QDomNode XmlPP::unwrap(QDomElement element)
{
    QDomNode parent = element.parentNode();
    QDomNode first = element.firstChild();
    QDomNode next = element.nextSibling();
    while (!element.firstChild().isNull())
        parent.insertBefore(element.firstChild(), element);
    parent.removeChild(element);
    return first.isNull() ? next : first;
}

QDomNode XmlPP::include(QDomElement includeElement, const QString &directory)
{
    QDomNode parent = includeElement.parentNode();
    const QDomNode next = includeElement.nextSibling();
    auto drop = [&] {
        parent.removeChild(includeElement);
        return next;
    };
    if (!includeElement.hasAttribute(QStringLiteral("filename"))) {
        warn(QStringLiteral("missing filename in <include>"));
        return drop();
    }
    const QString path = directory + QLatin1Char('/') + includeElement.attribute(QStringLiteral("filename"));
    QByteArray bytes;
    if (!readIncluded(path, bytes))
        return drop();
    const QFileInfo info(path);
    if (m_files.contains(info.absoluteFilePath()) || m_files.size() >= kMaxIncludeDepth) {
        warn(QStringLiteral("include file ") + path + QStringLiteral(" includes itself"));
        return drop();
    }
    // Every merge counts, also of a file read before: each copy grows the document.
    if (++m_includeLoads > maxIncludeLoads)
        throw common::HException(QStringLiteral("description file ") + quoted(m_files.first())
                                 + QStringLiteral(" loads include files more than %1 times").arg(maxIncludeLoads));
    m_includedBytes += bytes.size();
    if (m_includedBytes > common::kMaxSolutionFileSize)
        throw common::HException(QStringLiteral("the files that ") + quoted(m_files.first())
                                 + QStringLiteral(" includes add up to more than the %1 bytes ")
                                       .arg(common::kMaxSolutionFileSize)
                                 + kSizeReader);
    QDomDocument included;
    DomReader::Error error;
    bool parsed = false;
    if (includeElement.hasAttribute(QStringLiteral("expand_macros"))) {
        // Macros expand in the decoded text, which then parses as it stands.
        QString text;
        if (DomReader::decode(bytes, text, error)) {
            MacroMap macros = m_environment;
            const MacroMap extra = parseMacroList(includeElement.attribute(QStringLiteral("macros")));
            for (auto it = extra.cbegin(); it != extra.cend(); ++it)
                macros.insert(it.key(), it.value());
            parsed = DomReader::read(expandMacros(macros, text), included, error);
        }
    } else {
        parsed = DomReader::read(bytes, included, error);
    }
    if (!parsed) {
        warn(QStringLiteral("error \"") + error.message + QStringLiteral("\" in include file") + path
             + QStringLiteral(" line:") + QString::number(error.line) + QStringLiteral(" column:")
             + QString::number(error.column));
        return drop();
    }
    m_files.append(info.absoluteFilePath());
    processElement(included.documentElement(), info.absolutePath());
    m_files.removeLast();

    const QDomNode imported = includeElement.ownerDocument().importNode(included.documentElement(), true);
    if (includeElement.hasAttribute(QStringLiteral("no_root"))) {
        while (!imported.firstChild().isNull())
            parent.insertBefore(imported.firstChild(), includeElement);
        drop();
        // The merged nodes are processed already; go on after them.
        return next;
    }
    if (!imported.isNull())
        parent.insertBefore(imported, includeElement);
    return drop();
}

bool XmlPP::readIncluded(const QString &path, QByteArray &bytes)
{
    const QString key = QFileInfo(path).canonicalFilePath();
    if (!key.isEmpty()) {
        const auto it = m_texts.constFind(key);
        if (it != m_texts.constEnd()) {
            bytes = it.value();
            return true;
        }
    }
    QFile file(path);
    bool tooLarge = false;
    if (!file.open(QIODevice::ReadOnly)
        || !common::readAllBounded(file, common::kMaxSolutionFileSize, bytes, &tooLarge)) {
        if (tooLarge)
            warn(common::tooLargeMessage(path, common::kMaxSolutionFileSize, kSizeReader));
        else
            warn(QStringLiteral("couldn't open include file") + path);
        return false;
    }
    if (!key.isEmpty())
        m_texts.insert(key, bytes);
    return true;
}

void XmlPP::processElement(QDomElement element, const QString &directory)
{
    // One entry per element whose children are being walked: the next child to look at.
    std::vector<QDomNode> stack{element.firstChild()};
    while (!stack.empty()) {
        QDomNode node = stack.back();
        if (node.isNull()) {
            stack.pop_back();
            continue;
        }
        if (!node.isElement()) {
            stack.back() = node.nextSibling();
            continue;
        }
        QDomElement e = node.toElement();
        const QString tag = e.tagName();
        QDomNode parent = e.parentNode();
        if (tag == QLatin1String("if") || tag == QLatin1String("ifnot")) {
            if (e.attributes().count() != 1) {
                warn(QStringLiteral("one condition required for <if[not]>"));
                stack.back() = e.nextSibling();
                parent.removeChild(e);
            } else if (condition(e)) {
                stack.back() = unwrap(e);
            } else {
                stack.back() = e.nextSibling();
                parent.removeChild(e);
            }
        } else if (tag == QLatin1String("ifdef") || tag == QLatin1String("ifndef")) {
            if (condition(e)) {
                stack.back() = unwrap(e);
            } else {
                stack.back() = e.nextSibling();
                parent.removeChild(e);
            }
        } else if (tag == QLatin1String("switch")) {
            QDomElement taken = takenCase(e);
            if (taken.isNull()) {
                stack.back() = e.nextSibling();
                parent.removeChild(e);
            } else {
                // The taken case stands in for the switch, then gives way to its children.
                parent.replaceChild(taken, e);
                stack.back() = unwrap(taken);
            }
        } else if (tag == QLatin1String("include")) {
            stack.back() = include(e, directory);
        } else if (tag == QLatin1String("define")) {
            if (!e.hasAttribute(QStringLiteral("name")) || !e.hasAttribute(QStringLiteral("value")))
                warn(QStringLiteral("missing name and/or value in <define>"));
            else
                define(e.attribute(QStringLiteral("name")), e.attribute(QStringLiteral("value")));
            stack.back() = e.nextSibling();
            parent.removeChild(e);
        } else if (tag == QLatin1String("expand_definition")) {
            const QDomNode text = e.ownerDocument().createTextNode(definition(e.attribute(QStringLiteral("name"))));
            parent.replaceChild(text, e);
            stack.back() = text.nextSibling();
        } else {
            stack.back() = e.nextSibling();
            stack.push_back(e.firstChild());
        }
    }
}

} // namespace zim::project
