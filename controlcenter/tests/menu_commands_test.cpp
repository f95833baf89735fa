#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "menu_commands.h"
#include "resource.h"

namespace
{

const char kFolder[] = "C:\\Tarvex\\bin\\ControlCenter";

class FakePlatform : public LaunchPlatform
{
  public:
    std::map<std::string, RegistryValue> registry;
    std::set<std::string> files;
    std::vector<std::string> manuals;
    std::map<std::string, std::string> environment;
    int openResult = 42;

    std::vector<std::string> opened, started, commandLines, ran, messages, patterns;

    std::string CanonicalPath(const std::string &path) override { return "canonical:" + path; }
    int OpenDocument(const std::string &path) override
    {
        opened.push_back(path);
        return openResult;
    }
    bool FileExists(const std::string &path) override { return files.count(path) != 0; }
    void StartProcess(const std::string &file, const std::string &commandLine) override
    {
        started.push_back(file);
        commandLines.push_back(commandLine);
    }
    void RunCommandLine(const std::string &text) override { ran.push_back(text); }
    std::vector<std::string> FindFiles(const std::string &pattern) override
    {
        patterns.push_back(pattern);
        return manuals;
    }
    std::optional<RegistryValue> ReadRegistryValue(const char *key, const char *name) override
    {
        auto found = registry.find(std::string(key) + "|" + name);
        if (found == registry.end())
            return std::nullopt;
        return found->second;
    }
    void ShowMessage(const char *text) override { messages.push_back(text); }
    std::optional<std::string> Environment(const char *name) override
    {
        auto found = environment.find(name);
        if (found == environment.end())
            return std::nullopt;
        return found->second;
    }
    std::string WindowsDirectory() override { return "C:\\WINNT"; }
};

LaunchPlatform::RegistryValue Text(const std::string &text, unsigned long type = kRegistryString)
{
    return {type, std::vector<char>(text.c_str(), text.c_str() + text.size() + 1)};
}

const char kFennlab2Key[] = "SOFTWARE\\Dravenik\\KA-Fennlab2|InstallationPath";
const char kFennlab3Key[] = "SOFTWARE\\Dravenik\\KA-Fennlab3|InstallationPath";

class Commands : public ::testing::Test
{
  protected:
    FakePlatform platform;
    MenuCommands commands{platform, kFolder};
};

TEST_F(Commands, OpensPackageDocumentsCanonicalized)
{
    struct Case {
        unsigned command;
        const char *relative;
    } cases[] = {{ID_FIRST_STEPS, "\\..\\..\\docs\\FirstSteps.pdf"},
                 {ID_HELP_CHM, "\\..\\..\\docs\\tarvex.chm"},
                 {ID_OPEN_SDK_FOLDER, "\\..\\..\\SDK"}};
    for (const Case &c : cases) {
        platform.openResult = kShellNoAssociation; // never a message for these
        EXPECT_TRUE(commands.Execute(c.command));
        EXPECT_EQ(platform.opened.back(), std::string("canonical:") + kFolder + c.relative);
    }
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(Commands, LeavesTheDialogsOwnCommandsAlone)
{
    for (unsigned command :
         {ID_OPEN_CONTROL_CENTER, ID_EXIT, ID_CLOSE_MENU, ID_CLOSE_CONTROL_CENTER})
        EXPECT_FALSE(commands.Execute(command));
    EXPECT_TRUE(platform.opened.empty() && platform.started.empty() && platform.ran.empty());
}

TEST_F(Commands, StartsPackagePrograms)
{
    commands.Execute(ID_QUENDA);
    commands.Execute(ID_TRACE);
    std::string trace =
        std::string(kFolder) + "\\..\\..\\SDK\\CustomerTraceTool\\TarvexCustomerTrace.exe";
    EXPECT_EQ(platform.started,
              (std::vector<std::string>{std::string(kFolder) + "\\Quenda.exe", trace}));
    EXPECT_EQ(platform.commandLines,
              (std::vector<std::string>{std::string(kFolder) + "\\Quenda.exe", trace}));
}

TEST_F(Commands, ProgramWithoutExtensionGetsTheFirstExistingOne)
{
    const std::string path = "C:\\Program Files\\Lab\\Fennlab";
    struct Case {
        std::set<std::string> existing;
        const char *started; // null: nothing starts
    } cases[] = {
        {{".exe", ".bat", ".cmd", ".com"}, ".com"},
        {{".exe", ".bat", ".cmd"}, ".exe"},
        {{".cmd", ".bat"}, ".bat"},
        {{".cmd"}, ".cmd"},
        {{}, nullptr},
    };
    for (const Case &c : cases) {
        platform.files.clear();
        platform.started.clear();
        for (const std::string &extension : c.existing)
            platform.files.insert(path + extension);
        commands.StartProgram(path);
        if (!c.started) {
            EXPECT_TRUE(platform.started.empty());
            continue;
        }
        ASSERT_EQ(platform.started.size(), 1u);
        EXPECT_EQ(platform.started[0], path + c.started);
        // argument 0 is the path as given, one argument despite its blanks
        EXPECT_EQ(platform.commandLines.back(), '"' + path + '"');
    }
}

TEST_F(Commands, ExtensionSearchLooksAtTheLastElementOnly)
{
    platform.files = {"C:\\Lab.v2\\Fennlab.exe"};
    commands.StartProgram("C:\\Lab.v2\\Fennlab");
    EXPECT_EQ(platform.started, (std::vector<std::string>{"C:\\Lab.v2\\Fennlab.exe"}));
}

TEST_F(Commands, MeasurementApplicationsFromTheRegistry)
{
    platform.registry[kFennlab2Key] = Text("D:\\Apps\\Fennlab 2");
    EXPECT_EQ(commands.ReadApplicationPaths(), (std::vector<unsigned>{ID_FENNLAB3}));
    EXPECT_EQ(commands.ApplicationPath(0), "D:\\Apps\\Fennlab 2\\Fennlab");
    EXPECT_EQ(commands.ApplicationPath(1), "");

    platform.files = {"D:\\Apps\\Fennlab 2\\Fennlab.exe"};
    EXPECT_TRUE(commands.Execute(ID_FENNLAB2));
    EXPECT_TRUE(commands.Execute(ID_FENNLAB3)); // not installed: nothing
    EXPECT_EQ(platform.started, (std::vector<std::string>{"D:\\Apps\\Fennlab 2\\Fennlab.exe"}));

    platform.registry[kFennlab3Key] = Text("E:\\F3");
    EXPECT_TRUE(commands.ReadApplicationPaths().empty());
    EXPECT_EQ(commands.ApplicationPath(1), "E:\\F3\\KAFennlab3");
}

TEST_F(Commands, UnusableRegistryValuesCountAsNotInstalled)
{
    LaunchPlatform::RegistryValue unterminated{kRegistryString, std::vector<char>(260, 'x')};
    LaunchPlatform::RegistryValue number{4, {1, 0, 0, 0}};
    for (const auto &value : {Text(""), unterminated, number, Text("C:\\x", 3)}) {
        platform.registry[kFennlab2Key] = value;
        platform.registry[kFennlab3Key] = Text("C:\\F3", kRegistryExpandString);
        EXPECT_EQ(commands.ReadApplicationPaths(), (std::vector<unsigned>{ID_FENNLAB2}));
        EXPECT_EQ(commands.ApplicationPath(0), "");
    }
}

TEST_F(Commands, DeviceManagerUsesWindirOrTheSystemsFolder)
{
    platform.environment["windir"] = "C:\\Windows";
    commands.Execute(ID_DEVICE_MANAGER);
    platform.environment.clear();
    commands.Execute(ID_DEVICE_MANAGER);
    EXPECT_EQ(platform.ran, (std::vector<std::string>{"start C:\\Windows\\System32\\devmgmt.msc",
                                                      "start C:\\WINNT\\System32\\devmgmt.msc"}));
}

struct ManualCase {
    std::vector<std::string> files;
    const char *english; // the file opened, or null
    const char *german;
};

class Manuals : public Commands, public ::testing::WithParamInterface<ManualCase>
{
};

TEST_P(Manuals, TakeTheFirstNameWithTheMarkAfterTheProductName)
{
    platform.manuals = GetParam().files;
    const std::string docs = std::string(kFolder) + "\\..\\..\\docs\\";
    for (auto [mark, expected] : {std::pair{'E', GetParam().english}, {'D', GetParam().german}}) {
        platform.opened.clear();
        EXPECT_EQ(commands.FindManual(mark), expected ? 0 : -1) << mark;
        if (expected)
            EXPECT_EQ(platform.opened, (std::vector<std::string>{docs + expected})) << mark;
        else
            EXPECT_TRUE(platform.opened.empty()) << mark;
    }
    EXPECT_EQ(platform.patterns.back(), docs + "Tarvex*.pdf");
}

INSTANTIATE_TEST_SUITE_P(
    FileNames, Manuals,
    ::testing::Values(ManualCase{{}, nullptr, nullptr},
                      ManualCase{{"Tarvex_Manual_E.pdf", "Tarvex_Handbuch_D.pdf"},
                                 "Tarvex_Manual_E.pdf",
                                 "Tarvex_Handbuch_D.pdf"},
                      // only the German name has an upper-case D after the product name
                      ManualCase{{"Tarvex_manual_english.pdf", "Tarvex_Handbuch_D.pdf"},
                                 nullptr,
                                 "Tarvex_Handbuch_D.pdf"},
                      // marks only in the product name or the extension do not count
                      ManualCase{{"TarvEx.PDF", "TarvexD.pDf"}, nullptr, "TarvexD.pDf"},
                      ManualCase{{"TARVEX.EDF", "TarveD_x.pdf"}, nullptr, nullptr},
                      // the first name in the listed order wins
                      ManualCase{{"TarvexDE.pdf", "Tarvex_E.pdf"}, "TarvexDE.pdf", "TarvexDE.pdf"},
                      // names shorter than the product name and extension
                      ManualCase{{"T.pdf", "E", ""}, nullptr, nullptr}));

TEST_F(Commands, ManualMessages)
{
    commands.Execute(ID_MANUAL_ENGLISH);
    commands.Execute(ID_MANUAL_GERMAN);
    platform.manuals = {"Tarvex_E.pdf"};
    platform.openResult = kShellNoAssociation;
    EXPECT_EQ(commands.FindManual('E'), kShellNoAssociation);
    platform.openResult = 2; // file not found: no message
    EXPECT_EQ(commands.FindManual('E'), 0);
    EXPECT_EQ(platform.messages,
              (std::vector<std::string>{
                  "English Manual not found!", "Deutsches Handbuch nicht gefunden!",
                  "Adobe Acrobat Reader is not installed on your computer or nor associated "
                  "with .pdf files as the default application"}));
}

} // namespace
