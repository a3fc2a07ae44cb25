// Property definitions and the list that keeps their names unique.
#include "project/propertyvalue.h"

#include "common/hexception.h"
#include "project/propertyvaluegroupvalue.h"

namespace zim::project {

PropertyValue::PropertyValue(const QString &name, unsigned flags, const QString &category,
                             const QString &displayName, const QString &description,
                             const QString &defaultValue, Kind kind)
    : m_name(name), m_flags(flags), m_category(category), m_displayName(displayName),
      m_description(description), m_defaultValue(defaultValue), m_kind(kind)
{
}

void PropertyValueList::appendUnique(const PropertyValue *value)
{
    if (!value || find(value->name()))
        throw common::HException(QStringLiteral("Bad property value in PropertyValueList::appendUnique"));
    m_values.append(value);
}

const PropertyValue *PropertyValueList::find(const QString &name) const
{
    for (const PropertyValue *v : m_values)
        if (v->name() == name)
            return v;
    return nullptr;
}

const ProjectPropertyValue &PropertyDefinitions::macros()
{
    static const ProjectPropertyValue value(
        QStringLiteral("macros"), 0, QString(), QStringLiteral("Macros"),
        QStringLiteral("Specifies macro values for this project element using \"name=value\""), QString(),
        PropertyValue::Accumulating);
    return value;
}

const ProjectPropertyValue &PropertyDefinitions::debugInterface()
{
    static const ProjectPropertyValue value(
        QStringLiteral("msp430_debug_interface"), 0, QStringLiteral("Target Options"),
        QStringLiteral("Debug Interface"), QStringLiteral("The debug interface for the target."),
        QStringLiteral("JTAG"), PropertyValue::Text);
    return value;
}

const ProjectPropertyValue &PropertyDefinitions::instructionSet()
{
    static const ProjectPropertyValue value(
        QStringLiteral("msp430_insn_set"), 0, QStringLiteral("Code Generation Options"),
        QStringLiteral("Instruction Set"),
        QStringLiteral("The architecture instruction set to use for code generation."), QStringLiteral("MSP430"),
        PropertyValue::Text);
    return value;
}

const ProjectPropertyValue &PropertyDefinitions::useHardwareMultiplier()
{
    // A plain simulator run without a project has a multiplier, so the default is "Yes".
    static const ProjectPropertyValue value(
        QStringLiteral("build_use_hardware_multiplier"), 0, QStringLiteral("Code Generation Options"),
        QStringLiteral("Use Hardware Multiplier"),
        QStringLiteral("Use the hardware multiplier of the target for multiplication."), QStringLiteral("Yes"),
        PropertyValue::YesNo);
    return value;
}

namespace {

// Definitions without any state of their own: constants shared by every reader.
const ProjectPropertyValue kTargetResetScript(
    QStringLiteral("target_reset_script"), 0, QStringLiteral("Debugger Options"), QStringLiteral("Reset Script"),
    QStringLiteral("The script that is executed when the target is reset."), QString(), PropertyValue::Text);
const ProjectPropertyValue kTargetAttachScript(
    QStringLiteral("target_attach_script"), 0, QStringLiteral("Debugger Options"), QStringLiteral("Attach Script"),
    QStringLiteral("The script that is executed when the debugger attaches to a running target."), QString(),
    PropertyValue::Text);
const ProjectPropertyValue kProjectType(QStringLiteral("project_type"), 0, QStringLiteral("General Options"),
                                        QStringLiteral("Project Type"),
                                        QStringLiteral("The kind of output the project builds."),
                                        QStringLiteral("Executable"), PropertyValue::Text);
const ProjectPropertyValue kExcludeFromBuild(QStringLiteral("build_exclude_from_build"), 0,
                                            QStringLiteral("Build Options"), QStringLiteral("Exclude From Build"),
                                            QStringLiteral("Leave this project element out of the build."),
                                            QStringLiteral("No"), PropertyValue::YesNo);
// No default device: without one the targets keep their own memory map.
const PropertyValueGroupValue kTarget(QStringLiteral("Target"), 0, QStringLiteral("Target Options"),
                                      QStringLiteral("Target Processor"),
                                      QStringLiteral("The device the project is built for and run on."), QString());

} // namespace

const ProjectPropertyValue &PropertyDefinitions::targetResetScript()
{
    return kTargetResetScript;
}

const ProjectPropertyValue &PropertyDefinitions::targetAttachScript()
{
    return kTargetAttachScript;
}

const ProjectPropertyValue &PropertyDefinitions::projectType()
{
    return kProjectType;
}

const ProjectPropertyValue &PropertyDefinitions::excludeFromBuild()
{
    return kExcludeFromBuild;
}

const PropertyValueGroupValue &PropertyDefinitions::target()
{
    return kTarget;
}

const PropertyValueList &PropertyDefinitions::all()
{
    static const PropertyValueList list = [] {
        PropertyValueList l;
        l.appendUnique(&macros());
        l.appendUnique(&debugInterface());
        l.appendUnique(&instructionSet());
        l.appendUnique(&useHardwareMultiplier());
        l.appendUnique(&targetResetScript());
        l.appendUnique(&targetAttachScript());
        l.appendUnique(&projectType());
        l.appendUnique(&excludeFromBuild());
        l.appendUnique(&target());
        return l;
    }();
    return list;
}

} // namespace zim::project
