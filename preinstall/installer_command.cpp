#include "installer_command.h"

namespace preinstall
{

const char *PackageName(bool wow64)
{
    return wow64 ? "\\Tarvex64.msi" : "\\Tarvex.msi";
}

std::optional<std::string> QuotedPackagePath(std::string_view folder, bool wow64)
{
    std::string quoted = "\"";
    quoted.append(folder);
    quoted.append(PackageName(wow64));
    quoted.append("\"");
    if (quoted.size() + 1 > kPackageArgumentSize)
        return std::nullopt;
    return quoted;
}

std::vector<std::string> InstallerArguments(int selection, const std::string &quotedPackage)
{
    std::vector<std::string> arguments{"msiexec", "/i", quotedPackage};
    switch (selection) {
    case kGerman:
        break;
    case kEnglish:
        arguments.emplace_back("TRANSFORMS=:Tarvex_en.mst");
        break;
    default:
        arguments.emplace_back("REINSTALL=ALL REINSTALLMODE=vomus");
        break;
    }
    return arguments;
}

std::string JoinCommandLine(const std::vector<std::string> &arguments)
{
    std::string line;
    for (const std::string &argument : arguments) {
        if (!line.empty())
            line += ' ';
        line += argument;
    }
    return line;
}

} // namespace preinstall
