// Program entry: with a sub-command the program runs headless on the core; without one it
// opens the window, once per user. The window's code is a module beside the program, loaded
// only then: the command line never pays for loading the widget toolkit.
#include "cli/cli.h"
#include "common/helpers.h"
#include "common/safe_output.h"

#include <cstdio>
#include <dlfcn.h>
#include <string>

int main(int argc, char** argv) {
    // A sub-command runs headless: no QApplication, no display needed.
    if (const int status = trimora::RunCommandLine(argc, argv); status >= 0) return status;

    // Work files and unfinished outputs of an earlier run that was killed.
    trimora::CleanOrphanedJobs();

    // Only from the program's own folder, never from a search path.
    const std::string module = trimora::ProgramFolder() + "libtrimora_window.so";
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Entry = int (*)(int, char**);
    Entry entry = handle ? reinterpret_cast<Entry>(::dlsym(handle, "TrimoraWindowMain")) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "trimora: the window cannot be opened: %s\n",
                     handle ? "TrimoraWindowMain not found" : ::dlerror());
        return 1;
    }
    return entry(argc, argv);
}
