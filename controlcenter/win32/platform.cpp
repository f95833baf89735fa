#include "platform.h"

#include <cfgmgr32.h>
#include <shellapi.h>
#include <shlwapi.h>

namespace
{

// Setup class of the maker's USB boards.
const GUID kBoardClass = {
    0x3E8F0C2A, 0x9B41, 0x4D67, {0xB5, 0xE2, 0x71, 0xC9, 0xA0, 0x4D, 0x8F, 0x13}};

void CloseProcessHandles(PROCESS_INFORMATION &process)
{
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace

std::string ProgramName()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    PathRemoveExtensionA(path);
    return PathFindFileNameA(path);
}

std::string Win32LaunchPlatform::CanonicalPath(const std::string &path)
{
    char canonical[MAX_PATH];
    if (path.size() >= MAX_PATH || !PathCanonicalizeA(canonical, path.c_str()))
        return path;
    return canonical;
}

int Win32LaunchPlatform::OpenDocument(const std::string &path)
{
    return static_cast<int>(reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED)));
}

bool Win32LaunchPlatform::FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void Win32LaunchPlatform::StartProcess(const std::string &file, const std::string &commandLine)
{
    std::string arguments = commandLine; // CreateProcessA may write into it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(file.c_str(), &arguments[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process))
        CloseProcessHandles(process);
}

void Win32LaunchPlatform::RunCommandLine(const std::string &text)
{
    std::string interpreter = Environment("COMSPEC").value_or("cmd.exe");
    std::string commandLine = '"' + interpreter + "\" /c " + text;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(interpreter.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseProcessHandles(process);
}

std::vector<std::string> Win32LaunchPlatform::FindFiles(const std::string &pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::optional<LaunchPlatform::RegistryValue>
Win32LaunchPlatform::ReadRegistryValue(const char *key, const char *name)
{
    HKEY opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    RegistryValue value{0, std::vector<char>(kPathCapacity)};
    DWORD type = 0, size = static_cast<DWORD>(value.data.size());
    LONG result = RegQueryValueExA(opened, name, nullptr, &type,
                                   reinterpret_cast<BYTE *>(value.data.data()), &size);
    RegCloseKey(opened);
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    value.type = type;
    value.data.resize(size);
    return value;
}

void Win32LaunchPlatform::ShowMessage(const char *text)
{
    MessageBoxA(messageOwner_, text, ProgramName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

std::optional<std::string> Win32LaunchPlatform::Environment(const char *name)
{
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0)
        return std::nullopt;
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA(name, &value[0], size));
    return value;
}

std::string Win32LaunchPlatform::WindowsDirectory()
{
    char folder[MAX_PATH] = "";
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    return length < sizeof folder ? folder : "";
}

bool SetupDiBoardEnumeration::Open()
{
    set_ = SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT);
    return set_ != INVALID_HANDLE_VALUE;
}

void SetupDiBoardEnumeration::Close()
{
    SetupDiDestroyDeviceInfoList(set_);
    set_ = INVALID_HANDLE_VALUE;
}

BoardEnumeration::Member SetupDiBoardEnumeration::At(int index, std::uint32_t &deviceInstance)
{
    member_ = SP_DEVINFO_DATA{};
    member_.cbSize = sizeof member_;
    if (!SetupDiEnumDeviceInfo(set_, index, &member_))
        return GetLastError() == ERROR_NO_MORE_ITEMS ? Member::NoMore : Member::Failed;
    deviceInstance = member_.DevInst;
    return Member::Found;
}

BoardEnumeration::Property
SetupDiBoardEnumeration::HardwareIds(int, char *buffer, std::size_t capacity, std::size_t &required)
{
    DWORD size = 0;
    if (SetupDiGetDeviceRegistryPropertyA(set_, &member_, SPDRP_HARDWAREID, nullptr,
                                          reinterpret_cast<BYTE *>(buffer),
                                          static_cast<DWORD>(capacity), &size))
        return Property::Read;
    switch (GetLastError()) {
    case ERROR_INVALID_DATA:
        return Property::Absent;
    case ERROR_INSUFFICIENT_BUFFER:
        required = size;
        return Property::TooSmall;
    default:
        return Property::Failed;
    }
}

void SetupDiBoardEnumeration::Description(int, char *buffer, std::size_t capacity)
{
    SetupDiGetDeviceRegistryPropertyA(set_, &member_, SPDRP_DEVICEDESC, nullptr,
                                      reinterpret_cast<BYTE *>(buffer),
                                      static_cast<DWORD>(capacity), nullptr);
}

void SetupDiBoardEnumeration::NodeStatus(std::uint32_t deviceInstance, std::uint32_t &status,
                                         std::uint32_t &problem)
{
    ULONG nodeStatus = 0, nodeProblem = 0;
    CM_Get_DevNode_Status(&nodeStatus, &nodeProblem, deviceInstance, 0);
    status = nodeStatus;
    problem = nodeProblem;
}
