#pragma once
// The program runs its tools from SystemFolder (fcut.exe, mcut.exe, mplayer.exe) and its qvcut/
// sub-folder (fmerge.exe, mmerge.exe). The front-ends are built beside the program; at start-up
// they are linked into those folders, so the program works on a fresh machine and always runs
// the front-ends of its own build.

#include <string>
#include <vector>

namespace trimora {

struct ToolInstallResult {
    std::vector<std::string> installed; // tool names (re)linked now
    std::vector<std::string> missing;   // tool names absent from the program folder
    std::vector<std::string> errors;    // "name: reason" for links that could not be made
    bool Ok() const { return errors.empty(); }
};

// For each front-end found in programFolder, makes SystemFolder's entry a symbolic link to it
// when that entry is missing, dangling, or not the same file (an old copy, a link into another
// build). An up-to-date entry is left alone. Creates systemFolder and its qvcut/ when missing.
// Both folders end with '/'.
ToolInstallResult EnsureFrontEndsInstalled(const std::string& programFolder,
                                           const std::string& systemFolder);

// The front-end names and their folder below SystemFolder ("" or "qvcut/").
const std::vector<std::pair<std::string, std::string>>& FrontEndLayout();

} // namespace trimora
