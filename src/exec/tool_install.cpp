#include "exec/tool_install.h"

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace trimora {

const std::vector<std::pair<std::string, std::string>>& FrontEndLayout() {
    static const std::vector<std::pair<std::string, std::string>> layout = {
        {"fcut.exe", ""},         {"mcut.exe", ""},          {"mplayer.exe", ""},
        {"fmerge.exe", "qvcut/"}, {"mmerge.exe", "qvcut/"}};
    return layout;
}

namespace {

bool UpToDate(const fs::path& target, const fs::path& source) {
    std::error_code ec;
    return fs::exists(target, ec) && fs::equivalent(target, source, ec) && !ec;
}

} // namespace

ToolInstallResult EnsureFrontEndsInstalled(const std::string& programFolder,
                                           const std::string& systemFolder) {
    ToolInstallResult result;
    std::error_code ec;
    fs::create_directories(fs::path(systemFolder) / "qvcut", ec);
    for (const auto& [name, sub] : FrontEndLayout()) {
        const fs::path source = fs::path(programFolder) / name;
        if (!fs::exists(source, ec)) {
            result.missing.push_back(name);
            continue;
        }
        const fs::path target = fs::path(systemFolder + sub) / name;
        if (UpToDate(target, source)) continue;
        // Build the link beside the target and rename it over, so that the tool is never
        // missing for a moment while another copy of the program looks for it.
        const fs::path absSource = fs::absolute(source, ec);
        const fs::path temp = fs::path(systemFolder + sub) /
                              ("." + name + ".new-" + std::to_string(::getpid()));
        fs::remove(temp, ec);
        fs::create_symlink(absSource, temp, ec);
        if (!ec) fs::rename(temp, target, ec);
        if (ec) {
            result.errors.push_back(name + ": " + ec.message());
            fs::remove(temp, ec);
            continue;
        }
        result.installed.push_back(name);
    }
    return result;
}

} // namespace trimora
