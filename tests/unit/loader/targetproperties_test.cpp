// Setting target properties by display name, and their text, for every kind of property.
#include "common/hexception.h"
#include "fakes/faketarget.h"
#include "loader/targetproperties.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

// "name=value" as a test name.
template <class Case>
std::string caseName(const testing::TestParamInfo<Case> &info)
{
    std::string name = std::string(info.param.name) + "_" + info.param.value;
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

// A target with one property of every kind the command line converts.
class PropertyTarget : public FakeTarget
{
    Q_OBJECT
    Q_PROPERTY(Mode speedMode MEMBER m_mode)
    Q_PROPERTY(QStringList paths MEMBER m_paths)
    Q_PROPERTY(int count MEMBER m_count)
    Q_PROPERTY(uint limit MEMBER m_limit)
    Q_PROPERTY(bool enabled MEMBER m_enabled)
    Q_PROPERTY(QString label MEMBER m_label)
    Q_PROPERTY(QString serial READ serial)

public:
    enum Mode { Slow, Fast_Mode, Turbo, Quick = Turbo };
    Q_ENUM(Mode)

    PropertyTarget()
    {
        registerProperty(QStringLiteral("speedMode"), QStringLiteral("Connection"), QStringLiteral("Speed"),
                         QStringLiteral("How fast to talk."));
        registerProperty(QStringLiteral("paths"), QStringLiteral("Files"), QStringLiteral("Search Paths"),
                         QStringLiteral("Where to look."));
        registerProperty(QStringLiteral("count"), QStringLiteral("Misc"), QStringLiteral("Count"),
                         QStringLiteral("A signed number."));
        registerProperty(QStringLiteral("limit"), QStringLiteral("Misc"), QStringLiteral("Limit"),
                         QStringLiteral("An unsigned number."));
        registerProperty(QStringLiteral("enabled"), QStringLiteral("Misc"), QStringLiteral("Enabled"),
                         QStringLiteral("On or off."));
        registerProperty(QStringLiteral("label"), QStringLiteral("Misc"), QStringLiteral("Label"),
                         QStringLiteral("Free text."));
        registerProperty(QStringLiteral("serial"), QStringLiteral("Misc"), QStringLiteral("Serial"),
                         QStringLiteral("Read only."));
    }

    QString serial() const { return QStringLiteral("X1"); }

    Mode m_mode = Fast_Mode;
    QStringList m_paths{QStringLiteral("a;b"), QStringLiteral("c\\d")};
    int m_count = -3;
    uint m_limit = 7;
    bool m_enabled = false;
    QString m_label = QStringLiteral("hi");
};

struct SetCase
{
    const char *name;
    const char *value;
    const char *property;
    const char *text; // propertyText afterwards
};

// Printed by its fields: the raw bytes would include padding.
void PrintTo(const SetCase &c, std::ostream *os)
{
    *os << c.name << "=" << c.value;
}

class SetProperty : public testing::TestWithParam<SetCase> {};

TEST_P(SetProperty, ConvertsByType)
{
    PropertyTarget target;
    zim::loader::setPropertyFromText(target, QString::fromUtf8(GetParam().name), QString::fromUtf8(GetParam().value));
    const QMetaObject *meta = target.metaObject();
    const QMetaProperty property = meta->property(meta->indexOfProperty(GetParam().property));
    EXPECT_EQ(zim::loader::propertyText(target, property).toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetProperty,
    testing::Values(SetCase{"Speed", "Turbo", "speedMode", "Turbo"}, SetCase{"Speed", "fast_mode", "speedMode", "Fast Mode"},
                    SetCase{"Search Paths", "x\\;y;z", "paths", "x\\;y;z"}, SetCase{"Search Paths", "", "paths", ""},
                    SetCase{"Count", "-42", "count", "-42"},
                    SetCase{"Limit", "4000000000", "limit", "4000000000"}, SetCase{"Enabled", "no", "enabled", "No"},
                    // The ends of each range are accepted, leading zeros and signs included.
                    SetCase{"Count", "-2147483648", "count", "-2147483648"}, SetCase{"Count", "+0002147483647", "count", "2147483647"},
                    SetCase{"Limit", "4294967295", "limit", "4294967295"}, SetCase{"Limit", "-0", "limit", "0"}),
    caseName<SetCase>);

struct RefusedCase
{
    const char *name;
    const char *value;
    const char *message;
};

// Printed by its fields: the raw bytes would include padding.
void PrintTo(const RefusedCase &c, std::ostream *os)
{
    *os << c.name << "=" << c.value;
}

class RefusedProperty : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedProperty, WithItsMessage)
{
    PropertyTarget target;
    EXPECT_THAT([&] { zim::loader::setPropertyFromText(target, QString::fromUtf8(GetParam().name), QString::fromUtf8(GetParam().value)); },
                testing::ThrowsMessage<zim::common::HException>(testing::StrEq(GetParam().message)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedProperty,
    testing::Values(
        RefusedCase{"Speed", "Fast Mode",
                    "invalid value \"Fast Mode\"\n\nThe only valid values for \"Speed\" are \"Slow\", \"Fast_Mode\", "
                    "\"Turbo\", \"Quick\""},
        // Quick is another name for Turbo's number, which maps back to Turbo.
        RefusedCase{"Speed", "Quick",
                    "invalid value \"Quick\"\n\nThe only valid values for \"Speed\" are \"Slow\", \"Fast_Mode\", "
                    "\"Turbo\", \"Quick\""},
        RefusedCase{"Serial", "X2", "property \"Serial\" cannot be set"},
        // Numbers a property cannot hold are refused rather than wrapped.
        RefusedCase{"Limit", "-1", "invalid value \"-1\"\n\nThe only valid values for \"Limit\" are whole numbers from 0 to 4294967295"},
        RefusedCase{"Count", "-2147483649",
                    "invalid value \"-2147483649\"\n\nThe only valid values for \"Count\" are whole numbers from -2147483648 to "
                    "2147483647"}),
    caseName<RefusedCase>);

} // namespace

#include "targetproperties_test.moc"
