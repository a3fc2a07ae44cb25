// Property definitions and their unique list.
#include "common/hexception.h"
#include "project/propertygroups.h"
#include "project/propertyvalue.h"

#include <gtest/gtest.h>

TEST(PropertyValueList, RefusesASecondDefinitionOfTheSameName)
{
    PropertyValue a("x", 0, "C", "X", "d", "", PropertyValue::Text);
    PropertyValue b("x", 0, "C", "Other", "d", "", PropertyValue::Text);
    PropertyValueList list;
    list.appendUnique(&a);
    try {
        list.appendUnique(&b);
        FAIL() << "no exception";
    } catch (const HException &e) {
        EXPECT_EQ(e.message(), "Bad property value in PropertyValueList::appendUnique");
    }
    EXPECT_EQ(list.values().size(), 1);
    EXPECT_EQ(list.find("x"), &a);
}

TEST(PropertyGroups, ValueOfAnEntry)
{
    PropertyGroup g{"Target", {{"MSP430F149", {{"msp430_identify_string", "F149;;F14x"}}}}};
    PropertyGroups::instance().addGroup(g);
    EXPECT_EQ(PropertyGroups::instance().value("Target", "MSP430F149", "msp430_identify_string"), "F149;;F14x");
    EXPECT_TRUE(PropertyGroups::instance().value("Target", "MSP430F1611", "msp430_identify_string").isNull());
    EXPECT_TRUE(PropertyGroups::instance().value("Other", "MSP430F149", "x").isNull());
    PropertyGroups::instance().removeGroup("Target");
    EXPECT_EQ(PropertyGroups::instance().group("Target"), nullptr);
}
