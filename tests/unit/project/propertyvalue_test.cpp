// The unique list of property definitions.
#include "common/hexception.h"
#include "project/propertyvalue.h"

#include <gtest/gtest.h>

TEST(PropertyValueList, RefusesASecondDefinitionOfTheSameName)
{
    PropertyValue a("x", 0, "C", "X", "d", "", PropertyValue::Text);
    PropertyValue b("x", 0, "C", "Other", "d", "", PropertyValue::Text);
    PropertyValueList list;
    list.appendUnique(&a);
    EXPECT_THROW(list.appendUnique(&b), HException);
    EXPECT_EQ(list.values().size(), 1);
    EXPECT_EQ(list.find("x"), &a);
}

