// Property definitions: the name, texts, default and kind of one property, declared once
// for the whole program by the build system and the target interfaces.
#pragma once

#include <QList>
#include <QString>

namespace zim::project {

class PropertyValue
{
public:
    enum Kind {
        YesNo = 0,       // "Yes" or "No"
        Text = 4,        // free text
        Path = 5,        // a file or directory name that may hold macros
        Accumulating = 8 // values from several levels of a project tree joined with ";"
    };

    PropertyValue(const QString &name, unsigned flags, const QString &category, const QString &displayName,
                  const QString &description, const QString &defaultValue, Kind kind);
    virtual ~PropertyValue() = default;

    const QString &name() const { return m_name; }
    unsigned flags() const { return m_flags; }
    const QString &category() const { return m_category; }
    const QString &displayName() const { return m_displayName; }
    const QString &description() const { return m_description; }
    const QString &defaultValue() const { return m_defaultValue; }
    Kind kind() const { return m_kind; }

private:
    QString m_name;
    unsigned m_flags;
    QString m_category;
    QString m_displayName;
    QString m_description;
    QString m_defaultValue;
    Kind m_kind;
};

// A definition whose values are read from project elements.
class ProjectPropertyValue : public PropertyValue
{
public:
    using PropertyValue::PropertyValue;
};

// An ordered list of definitions that refuses a second definition of the same name.
// Does not own the definitions: they are program-wide objects.
class PropertyValueList
{
public:
    // Throws HException "Bad property value in PropertyValueList::appendUnique" for a duplicate name.
    void appendUnique(const PropertyValue *value);
    const PropertyValue *find(const QString &name) const;
    const QList<const PropertyValue *> &values() const { return m_values; }

private:
    QList<const PropertyValue *> m_values;
};

class PropertyValueGroupValue;

// Program-wide definitions read by the loader and the targets.
struct PropertyDefinitions
{
    static const ProjectPropertyValue &macros();
    static const ProjectPropertyValue &debugInterface();           // msp430_debug_interface
    static const ProjectPropertyValue &instructionSet();           // msp430_insn_set
    static const ProjectPropertyValue &useHardwareMultiplier();    // build_use_hardware_multiplier
    static const ProjectPropertyValue &targetResetScript();        // target_reset_script
    static const ProjectPropertyValue &targetAttachScript();       // target_attach_script
    static const ProjectPropertyValue &projectType();              // project_type: "Executable", "Library", ...
    static const ProjectPropertyValue &excludeFromBuild();         // build_exclude_from_build: "Yes" or "No"
    // "Target": the name of the device's entry in the "Target" group of the target description.
    static const PropertyValueGroupValue &target();
    // Every definition above, in declaration order.
    static const PropertyValueList &all();
};

} // namespace zim::project
