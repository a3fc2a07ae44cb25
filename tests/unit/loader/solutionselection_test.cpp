// The device of a run: -device against the "Target" group, and the multiplier setting from
// the project, the device's entry or the default.
#include "common/hexception.h"
#include "loader/solutionselection.h"
#include "project/environmentsettings.h"
#include "project/msp430buildsystem.h"
#include "project/msp430projectsystem.h"
#include "project/propertygroups.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

class DeviceSelection : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        write("targets.xml", R"(<target_description><group name="Target">
  <groupEntry name="MSP430F149"><property name="build_use_hardware_multiplier" value="Yes"/></groupEntry>
  <groupEntry name="MSP430F1101"><property name="build_use_hardware_multiplier" value="No"/></groupEntry>
  <groupEntry name="MSP430F5438A"/>
</group></target_description>)");
        m_build.setDescriptionFiles(m_dir.filePath("targets.xml"), QString());
    }
    void write(const QString &name, const QByteArray &text)
    {
        QFile f(m_dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(text), text.size());
    }
    void selectProject(const QByteArray &common)
    {
        write("s.hzp", "<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><project Name=\"P\">"
                       "<configuration Name=\"Common\" " + common + "/><configuration Name=\"Debug\"/></project></solution>");
        m_selection.select(m_dir.filePath("s.hzp"), "P", "Debug");
    }

    QTemporaryDir m_dir;
    zim::project::MacroMap m_environment;
    zim::project::EnvironmentSettings m_settings{QStringLiteral(ZIM_BINARY_DIR "/bin/zimprog")};
    zim::project::MSP430ProjectSystem m_projects{m_environment};
    zim::project::MSP430BuildSystem m_build{m_projects, m_settings};
    zim::project::PropertyGroups m_groups;
    zim::loader::SolutionSelection m_selection{m_projects, m_build, m_groups};
};

TEST_F(DeviceSelection, NoDeviceWithoutProjectOrOption)
{
    m_selection.resolveDevice();
    EXPECT_EQ(m_selection.targetDevice().name, "");
    EXPECT_TRUE(m_selection.targetDevice().hardwareMultiplier);
}

TEST_F(DeviceSelection, OptionTakesAnyCaseAndTheEntrysMultiplier)
{
    m_selection.setDeviceName("msp430f1101");
    m_selection.resolveDevice();
    EXPECT_EQ(m_selection.targetDevice().name, "MSP430F1101");
    EXPECT_FALSE(m_selection.targetDevice().hardwareMultiplier);
}

TEST_F(DeviceSelection, OptionWinsOverTheProjectWhoseMultiplierSettingWinsOverTheEntry)
{
    selectProject(R"(Target="MSP430F149" build_use_hardware_multiplier="Yes")");
    m_selection.resolveDevice();
    EXPECT_EQ(m_selection.targetDevice().name, "MSP430F149");
    m_selection.setDeviceName("MSP430F1101");
    m_selection.resolveDevice();
    EXPECT_EQ(m_selection.targetDevice().name, "MSP430F1101");
    EXPECT_TRUE(m_selection.targetDevice().hardwareMultiplier);
}

TEST_F(DeviceSelection, MissingDescriptionFails)
{
    m_build.setDescriptionFiles(m_dir.filePath("none.xml"), QString());
    m_selection.setDeviceName("MSP430F149");
    EXPECT_THROW(m_selection.resolveDevice(), zim::common::HException);
}

} // namespace
