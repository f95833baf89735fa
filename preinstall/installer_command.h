// What the launcher starts: the Windows Installer on the package that fits the
// running Windows, with the options of the user's choice. Portable, so that it
// is tested natively.
#ifndef TARVEX_PREINSTALL_INSTALLER_COMMAND_H
#define TARVEX_PREINSTALL_INSTALLER_COMMAND_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace preinstall
{

// The choices, in the order of the dialog's radio buttons.
enum Selection { kGerman = 0, kEnglish = 1, kPatch = 2 };

// The buffer the quoted package path has to fit, terminating zero included.
constexpr std::size_t kPackageArgumentSize = 264;

// "\Tarvex64.msi" on 64-bit Windows (a 32-bit launcher under WOW64), else
// "\Tarvex.msi".
const char *PackageName(bool wow64);

// The package path in double quotes, or nullopt when it would not fit
// kPackageArgumentSize: the installer must never get a cut path.
std::optional<std::string> QuotedPackagePath(std::string_view folder, bool wow64);

// "msiexec", "/i", the quoted package and the choice's properties; any
// selection other than German and English is the patch.
std::vector<std::string> InstallerArguments(int selection, const std::string &quotedPackage);

// The arguments joined with single blanks, nothing quoted.
std::string JoinCommandLine(const std::vector<std::string> &arguments);

} // namespace preinstall

#endif
