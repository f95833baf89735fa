#include "menu_commands.h"

#include <cstring>

#include "resource.h"

namespace
{

enum class Launch { Document, Program };

struct PackageEntry {
    unsigned command;
    Launch launch;
    const char *relativePath;
};

const PackageEntry kPackageEntries[] = {
    {ID_FIRST_STEPS, Launch::Document, "\\..\\..\\docs\\FirstSteps.pdf"},
    {ID_HELP_CHM, Launch::Document, "\\..\\..\\docs\\tarvex.chm"},
    {ID_OPEN_SDK_FOLDER, Launch::Document, "\\..\\..\\SDK"},
    {ID_QUENDA, Launch::Program, "\\Quenda.exe"},
    {ID_TRACE, Launch::Program, "\\..\\..\\SDK\\CustomerTraceTool\\TarvexCustomerTrace.exe"},
};

struct ManualEntry {
    unsigned command;
    char mark;
    const char *notFound;
};

const ManualEntry kManualEntries[] = {
    {ID_MANUAL_ENGLISH, 'E', "English Manual not found!"},
    {ID_MANUAL_GERMAN, 'D', "Deutsches Handbuch nicht gefunden!"},
};

struct ApplicationEntry {
    unsigned command;
    const char *key;
    const char *executable;
};

const ApplicationEntry kApplications[] = {
    {ID_FENNLAB2, "SOFTWARE\\Dravenik\\KA-Fennlab2", "\\Fennlab"},
    {ID_FENNLAB3, "SOFTWARE\\Dravenik\\KA-Fennlab3", "\\KAFennlab3"},
};

const char kDocsFolder[] = "\\..\\..\\docs\\";
const char kManualPattern[] = "Tarvex*.pdf";
const std::size_t kProductNameLength = 6; // "Tarvex", where no mark counts
const char kNoPdfReader[] = "Adobe Acrobat Reader is not installed on your computer or nor "
                            "associated with .pdf files as the default application";
const char *const kProgramExtensions[] = {".com", ".exe", ".bat", ".cmd"};

bool LastElementHasExtension(const std::string &path)
{
    std::size_t elementStart = path.find_last_of("\\/");
    elementStart = elementStart == std::string::npos ? 0 : elementStart + 1;
    return path.find('.', elementStart) != std::string::npos;
}

} // namespace

std::optional<std::string> InstallationPath(const LaunchPlatform::RegistryValue &value)
{
    if (value.type != kRegistryString && value.type != kRegistryExpandString)
        return std::nullopt;
    const void *end = std::memchr(value.data.data(), '\0', value.data.size());
    if (!end)
        return std::nullopt;
    return std::string(value.data.data(), static_cast<const char *>(end));
}

std::string ProgramCommandLine(const std::string &path)
{
    if (path.find_first_of(" \t") == std::string::npos)
        return path;
    return '"' + path + '"';
}

MenuCommands::MenuCommands(LaunchPlatform &platform, std::string programFolder)
    : platform_(platform), programFolder_(std::move(programFolder))
{
}

std::vector<unsigned> MenuCommands::ReadApplicationPaths()
{
    std::vector<unsigned> missing;
    for (int index = 0; index < 2; ++index) {
        const ApplicationEntry &application = kApplications[index];
        std::string &path = applicationPaths_[index];
        path.clear();
        if (auto value = platform_.ReadRegistryValue(application.key, "InstallationPath"))
            path = InstallationPath(*value).value_or("");
        if (path.empty())
            missing.push_back(application.command);
        else
            path += application.executable;
    }
    return missing;
}

bool MenuCommands::Execute(unsigned command)
{
    for (const PackageEntry &entry : kPackageEntries) {
        if (entry.command != command)
            continue;
        std::string path = programFolder_ + entry.relativePath;
        if (entry.launch == Launch::Document)
            platform_.OpenDocument(platform_.CanonicalPath(path));
        else
            StartProgram(path);
        return true;
    }
    for (const ManualEntry &entry : kManualEntries) {
        if (entry.command != command)
            continue;
        if (FindManual(entry.mark) == -1)
            platform_.ShowMessage(entry.notFound);
        return true;
    }
    for (int index = 0; index < 2; ++index) {
        if (kApplications[index].command != command)
            continue;
        if (!applicationPaths_[index].empty())
            StartProgram(applicationPaths_[index]);
        return true;
    }
    if (command == ID_DEVICE_MANAGER) {
        // Without "windir" the system still knows its own folder.
        std::string windows =
            platform_.Environment("windir").value_or(platform_.WindowsDirectory());
        platform_.RunCommandLine("start " + windows + "\\System32\\devmgmt.msc");
        return true;
    }
    return false;
}

int MenuCommands::FindManual(char mark)
{
    std::string docs = programFolder_ + kDocsFolder;
    for (const std::string &name : platform_.FindFiles(docs + kManualPattern)) {
        std::string stem = name.substr(0, name.size() < 4 ? 0 : name.size() - 4);
        if (stem.size() <= kProductNameLength ||
            stem.find(mark, kProductNameLength) == std::string::npos)
            continue;
        if (platform_.OpenDocument(docs + name) == kShellNoAssociation) {
            platform_.ShowMessage(kNoPdfReader);
            return kShellNoAssociation;
        }
        return 0;
    }
    return -1;
}

void MenuCommands::StartProgram(const std::string &path)
{
    std::string file = path;
    if (!LastElementHasExtension(path)) {
        file.clear();
        for (const char *extension : kProgramExtensions) {
            if (platform_.FileExists(path + extension)) {
                file = path + extension;
                break;
            }
        }
        if (file.empty())
            return;
    }
    platform_.StartProcess(file, ProgramCommandLine(path));
}
