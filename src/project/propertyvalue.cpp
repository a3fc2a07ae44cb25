// Property definitions and the list that keeps their names unique.
#include "project/propertyvalue.h"

#include "common/hexception.h"

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
        throw HException(QStringLiteral("Bad property value in PropertyValueList::appendUnique"));
    m_values.append(value);
}

const PropertyValue *PropertyValueList::find(const QString &name) const
{
    for (const PropertyValue *v : m_values)
        if (v->name() == name)
            return v;
    return nullptr;
}

namespace PropertyDefinitions {

const ProjectPropertyValue &macros()
{
    static const ProjectPropertyValue value(
        QStringLiteral("macros"), 0, QString(), QStringLiteral("Macros"),
        QStringLiteral("Specifies macro values for this project element using \"name=value\""), QString(),
        PropertyValue::Accumulating);
    return value;
}

const ProjectPropertyValue &debugInterface()
{
    static const ProjectPropertyValue value(
        QStringLiteral("msp430_debug_interface"), 0, QStringLiteral("Target Options"),
        QStringLiteral("Debug Interface"), QStringLiteral("The debug interface for the target."),
        QStringLiteral("JTAG"), PropertyValue::Text);
    return value;
}

const ProjectPropertyValue &instructionSet()
{
    static const ProjectPropertyValue value(
        QStringLiteral("msp430_insn_set"), 0, QStringLiteral("Code Generation Options"),
        QStringLiteral("Instruction Set"),
        QStringLiteral("The architecture instruction set to use for code generation."), QStringLiteral("MSP430"),
        PropertyValue::Text);
    return value;
}

const ProjectPropertyValue &useHardwareMultiplier()
{
    // A plain simulator run without a project has a multiplier, so the default is "Yes".
    static const ProjectPropertyValue value(
        QStringLiteral("build_use_hardware_multiplier"), 0, QStringLiteral("Code Generation Options"),
        QStringLiteral("Use Hardware Multiplier"),
        QStringLiteral("Use the hardware multiplier of the target for multiplication."), QStringLiteral("Yes"),
        PropertyValue::YesNo);
    return value;
}

const PropertyValueList &all()
{
    static const PropertyValueList list = [] {
        PropertyValueList l;
        l.appendUnique(&macros());
        l.appendUnique(&debugInterface());
        l.appendUnique(&instructionSet());
        l.appendUnique(&useHardwareMultiplier());
        return l;
    }();
    return list;
}

} // namespace PropertyDefinitions
