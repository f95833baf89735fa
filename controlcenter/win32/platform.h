// The system services behind the menu commands and the USB board scan.
#ifndef TARVEX_CONTROLCENTER_WIN32_PLATFORM_H
#define TARVEX_CONTROLCENTER_WIN32_PLATFORM_H

#include <windows.h>
#include <setupapi.h>

#include "menu_commands.h"
#include "usb_watcher.h"

// The program's name, the executable's file name without extension: the
// caption of its message boxes.
std::string ProgramName();

class Win32LaunchPlatform : public LaunchPlatform
{
  public:
    void SetMessageOwner(HWND owner) { messageOwner_ = owner; }

    std::string CanonicalPath(const std::string &path) override;
    int OpenDocument(const std::string &path) override;
    bool FileExists(const std::string &path) override;
    void StartProcess(const std::string &file, const std::string &commandLine) override;
    void RunCommandLine(const std::string &text) override;
    std::vector<std::string> FindFiles(const std::string &pattern) override;
    std::optional<RegistryValue> ReadRegistryValue(const char *key, const char *name) override;
    void ShowMessage(const char *text) override;
    std::optional<std::string> Environment(const char *name) override;
    std::string WindowsDirectory() override;

  private:
    HWND messageOwner_ = nullptr;
};

// The present devices of the maker's setup class, through the setup services.
class SetupDiBoardEnumeration : public BoardEnumeration
{
  public:
    bool Open() override;
    void Close() override;
    Member At(int index, std::uint32_t &deviceInstance) override;
    Property HardwareIds(int index, char *buffer, std::size_t capacity,
                         std::size_t &required) override;
    void Description(int index, char *buffer, std::size_t capacity) override;
    void NodeStatus(std::uint32_t deviceInstance, std::uint32_t &status,
                    std::uint32_t &problem) override;

  private:
    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA member_{}; // the one At found last
};

#endif
