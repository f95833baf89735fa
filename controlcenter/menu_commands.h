// The popup menu's launch commands: documents, the SDK folder, the package's
// programs, the measurement applications, the manuals and the device manager.
#ifndef TARVEX_CONTROLCENTER_MENU_COMMANDS_H
#define TARVEX_CONTROLCENTER_MENU_COMMANDS_H

#include <optional>
#include <string>
#include <vector>

// Paths and texts are ANSI; paths are limited to this size.
constexpr std::size_t kPathCapacity = 260;

// The system services the commands use.
class LaunchPlatform
{
  public:
    struct RegistryValue {
        unsigned long type;
        std::vector<char> data; // as stored, at most kPathCapacity bytes
    };

    virtual ~LaunchPlatform() = default;
    // Resolves the ".." elements.
    virtual std::string CanonicalPath(const std::string &path) = 0;
    // Opens a document or folder with its application, maximized; returns the
    // shell's result (above 32 on success).
    virtual int OpenDocument(const std::string &path) = 0;
    virtual bool FileExists(const std::string &path) = 0;
    // Starts the file as a new process with the command line, without waiting.
    virtual void StartProcess(const std::string &file, const std::string &commandLine) = 0;
    // Runs the text with the command interpreter and waits for it.
    virtual void RunCommandLine(const std::string &text) = 0;
    // The names (without folder) of the files matching a wildcard pattern.
    virtual std::vector<std::string> FindFiles(const std::string &pattern) = 0;
    // A value under HKEY_LOCAL_MACHINE; nothing when the key or value is
    // missing or the value does not fit in kPathCapacity bytes.
    virtual std::optional<RegistryValue> ReadRegistryValue(const char *key, const char *name) = 0;
    // A message box with the exclamation icon and an OK button.
    virtual void ShowMessage(const char *text) = 0;
    virtual std::optional<std::string> Environment(const char *name) = 0;
    virtual std::string WindowsDirectory() = 0;
};

constexpr int kShellNoAssociation = 31; // SE_ERR_NOASSOC
constexpr unsigned long kRegistryString = 1, kRegistryExpandString = 2;

// A registry value usable as a path: a string with its NUL within the value.
std::optional<std::string> InstallationPath(const LaunchPlatform::RegistryValue &value);

// The command line that hands the program its own path as argument 0.
std::string ProgramCommandLine(const std::string &path);

class MenuCommands
{
  public:
    MenuCommands(LaunchPlatform &platform, std::string programFolder);

    // Reads the measurement applications' installation paths and returns the
    // commands of those not installed.
    std::vector<unsigned> ReadApplicationPaths();
    // Runs a launch command; false when the command is not one of them.
    bool Execute(unsigned command);
    // 0: opened (or failed for another reason than a missing association),
    // kShellNoAssociation, or -1: no manual with that language mark.
    int FindManual(char mark);
    // Starts a program, trying the usual extensions when its name has none.
    void StartProgram(const std::string &path);

    const std::string &ApplicationPath(int index) const { return applicationPaths_[index]; }

  private:
    LaunchPlatform &platform_;
    std::string programFolder_;
    std::string applicationPaths_[2];
};

#endif
