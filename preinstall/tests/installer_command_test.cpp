#include "installer_command.h"

#include <gtest/gtest.h>

#include <string>

namespace preinstall
{
namespace
{

struct PackageCase {
    const char *folder;
    bool wow64;
    const char *quoted;
};

class QuotedPackagePathTest : public testing::TestWithParam<PackageCase>
{
};

TEST_P(QuotedPackagePathTest, QuotesFolderAndPackageOfTheWindowsKind)
{
    const PackageCase &c = GetParam();
    EXPECT_EQ(QuotedPackagePath(c.folder, c.wow64), std::optional<std::string>(c.quoted));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, QuotedPackagePathTest,
    testing::Values(PackageCase{"D:\\Setup", true, "\"D:\\Setup\\Tarvex64.msi\""},
                    PackageCase{"D:\\Setup", false, "\"D:\\Setup\\Tarvex.msi\""},
                    // A drive root keeps its separator, so two follow the colon.
                    PackageCase{"D:\\", true, "\"D:\\\\Tarvex64.msi\""},
                    PackageCase{"C:\\Program Files\\Tarvex Setup", false,
                                "\"C:\\Program Files\\Tarvex Setup\\Tarvex.msi\""}));

// Quote, folder, package name, quote and terminating zero in 264 bytes.
TEST(QuotedPackagePath, RefusesAFolderThatWouldNotFitTheBuffer)
{
    for (bool wow64 : {false, true}) {
        std::size_t longest = kPackageArgumentSize - 3 - std::string(PackageName(wow64)).size();
        std::string folder = "C:\\" + std::string(longest - 3, 'x');
        ASSERT_TRUE(QuotedPackagePath(folder, wow64).has_value()) << wow64;
        EXPECT_EQ(QuotedPackagePath(folder, wow64)->size(), kPackageArgumentSize - 1);
        EXPECT_FALSE(QuotedPackagePath(folder + "x", wow64).has_value()) << wow64;
    }
}

struct CommandCase {
    int selection;
    const char *commandLine;
};

class InstallerCommandTest : public testing::TestWithParam<CommandCase>
{
};

TEST_P(InstallerCommandTest, JoinsTheChoicesArgumentsWithSingleBlanks)
{
    const CommandCase &c = GetParam();
    std::string quoted = "\"D:\\My Setup\\Tarvex64.msi\"";
    EXPECT_EQ(JoinCommandLine(InstallerArguments(c.selection, quoted)), c.commandLine);
}

INSTANTIATE_TEST_SUITE_P(
    Selections, InstallerCommandTest,
    testing::Values(
        CommandCase{kGerman, "msiexec /i \"D:\\My Setup\\Tarvex64.msi\""},
        CommandCase{kEnglish,
                    "msiexec /i \"D:\\My Setup\\Tarvex64.msi\" TRANSFORMS=:Tarvex_en.mst"},
        CommandCase{kPatch,
                    "msiexec /i \"D:\\My Setup\\Tarvex64.msi\" REINSTALL=ALL REINSTALLMODE=vomus"},
        // Whatever else the radio group answers (none checked: -1) patches.
        CommandCase{-1,
                    "msiexec /i \"D:\\My Setup\\Tarvex64.msi\" REINSTALL=ALL REINSTALLMODE=vomus"},
        CommandCase{
            7, "msiexec /i \"D:\\My Setup\\Tarvex64.msi\" REINSTALL=ALL REINSTALLMODE=vomus"}));

} // namespace
} // namespace preinstall
