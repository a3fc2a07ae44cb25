// The unique list of property definitions.
#include "common/hexception.h"
#include "project/propertyvalue.h"

#include <gtest/gtest.h>

TEST(PropertyValueList, RefusesASecondDefinitionOfTheSameName)
{
    zim::project::PropertyValue a("x", 0, "C", "X", "d", "", zim::project::PropertyValue::Text);
    zim::project::PropertyValue b("x", 0, "C", "Other", "d", "", zim::project::PropertyValue::Text);
    zim::project::PropertyValueList list;
    list.appendUnique(&a);
    EXPECT_THROW(list.appendUnique(&b), zim::common::HException);
    EXPECT_EQ(list.values().size(), 1);
    EXPECT_EQ(list.find("x"), &a);
}

