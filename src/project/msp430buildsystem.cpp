// The MSP430 build system's description files.
#include "project/msp430buildsystem.h"

#include "common/hexception.h"
#include "project/propertygroups.h"
#include "project/projectsystem.h"
#include "project/xmlpp.h"

#include <QDomElement>

namespace zim::project {

MSP430BuildSystem::MSP430BuildSystem(ProjectSystem &projects, EnvironmentSettings &settings)
    : BuildSystem(projects, settings)
{
}

void MSP430BuildSystem::setDescriptionFiles(const QString &targetDescription, const QString &sectionPlacement)
{
    m_targetDescription = targetDescription;
    m_sectionPlacement = sectionPlacement;
}

void MSP430BuildSystem::loadPropertyGroups(PropertyGroups &groups) const
{
    const QString path = expandMacros(projectSystem().environment(), m_targetDescription);
    XmlPP pp(projectSystem().environment());
    if (!pp.processFile(path)) {
        if (pp.errorMessage() == QLatin1String("cannot access"))
            throw common::HException(QStringLiteral("cannot read target description \"") + path + QLatin1Char('"'));
        throw common::HException(QStringLiteral("bad target description \"") + path + QStringLiteral("\": ")
                         + pp.errorMessage() + QStringLiteral(" (line %1, column %2)").arg(pp.errorLine()).arg(pp.errorColumn()));
    }
    const QDomElement root = pp.document().documentElement();
    for (QDomElement g = root.firstChildElement(QStringLiteral("group")); !g.isNull();
         g = g.nextSiblingElement(QStringLiteral("group"))) {
        PropertyGroup group;
        group.name = g.attribute(QStringLiteral("name"));
        for (QDomElement e = g.firstChildElement(QStringLiteral("groupEntry")); !e.isNull();
             e = e.nextSiblingElement(QStringLiteral("groupEntry"))) {
            PropertyGroupEntry entry;
            entry.name = e.attribute(QStringLiteral("name"));
            for (QDomElement p = e.firstChildElement(QStringLiteral("property")); !p.isNull();
                 p = p.nextSiblingElement(QStringLiteral("property")))
                entry.properties.insert(p.attribute(QStringLiteral("name")), p.attribute(QStringLiteral("value")));
            group.entries.append(entry);
        }
        groups.addGroup(group);
    }
}

} // namespace zim::project
