// MSP430BuildSystem: the MSP430 environment's build system with its description files: the
// target description, whose groups (the "Target" group of devices) become property groups,
// and the section placement.
#pragma once

#include "project/buildsystem.h"

namespace zim::project {

class PropertyGroups;

class MSP430BuildSystem : public BuildSystem
{
public:
    MSP430BuildSystem(ProjectSystem &projects, EnvironmentSettings &settings);

    // The description files, kept as given (macros expand when they are read).
    void setDescriptionFiles(const QString &targetDescription, const QString &sectionPlacement);
    const QString &targetDescriptionFile() const { return m_targetDescription; }
    const QString &sectionPlacementFile() const { return m_sectionPlacement; }

    // Reads the target description through the preprocessor and enters every group in
    // groups: group elements with a name, holding groupEntry elements with a name, whose
    // property children carry name and value. Throws HException naming the file when it cannot
    // be read or parsed.
    void loadPropertyGroups(PropertyGroups &groups) const;

private:
    QString m_targetDescription;
    QString m_sectionPlacement;
};

} // namespace zim::project
