#include "platform/Executable.h"

#include <gtest/gtest.h>

namespace qmpvx {
namespace {

TEST(ExecutableName, IsTheFileNameItWasStartedUnder)
{
    EXPECT_EQ(executableNameFromPath("/usr/bin/qm-pvx", false), "qm-pvx");
    EXPECT_EQ(executableNameFromPath("qm-pvx", false), "qm-pvx");
    // Linux has no program extension: the name stands whole.
    EXPECT_EQ(executableNameFromPath("/opt/tool.exe", false), "tool.exe");
    EXPECT_EQ(executableNameFromPath("dir\\name", false), "dir\\name");
}

TEST(ExecutableName, DropsTheProgramExtensionWhereThePlatformUsesOne)
{
    EXPECT_EQ(executableNameFromPath("C:\\Tools\\QM-PVX.exe", true), "QM-PVX");
    EXPECT_EQ(executableNameFromPath("C:/Tools/Copy.EXE", true), "Copy");
    EXPECT_EQ(executableNameFromPath("archive.exe.bak", true), "archive.exe.bak");
    EXPECT_EQ(executableNameFromPath(".exe", true), ".exe");
}

} // namespace
} // namespace qmpvx
