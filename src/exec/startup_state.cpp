#include "exec/startup_state.h"

#include <sys/stat.h>

#include "common/command_line.h"
#include "common/helpers.h"

namespace trimora {

namespace {
const int kThreadCounts[] = {0, 0, 6, 8, 10, 12, 14};

int ClampCount(int n) { return n < 1 ? 1 : (n > 6 ? 6 : n); }

void MakeFolder(const std::string& folder) { ::mkdir(folder.c_str(), 0755); }

// Paths with blanks or quotes become one argument of the command text, whatever HOME is.
std::string ToolHead(const std::string& exe) {
    return exe.find_first_of(" \t\"\\") == std::string::npos ? exe : Quoted(exe);
}
} // namespace

std::string ThreadsOptionFor(int processorCount) {
    const int n = ClampCount(processorCount);
    return n == 1 ? "" : " -threads " + std::to_string(kThreadCounts[n]) + " ";
}

std::string LavcThreadsOptionFor(int processorCount) {
    const int n = ClampCount(processorCount);
    return n == 1 ? "" : ":threads=" + std::to_string(kThreadCounts[n]);
}

void SetUpStartupState(JobState& st) {
    st.ProgramFolder = ProgramFolder();
    st.DesignMode = FileExists(st.ProgramFolder + "testingdesign.log");
    st.TempFolder = TempFolder();
    st.SystemFolder = SystemFolder();
    // SystemFolder lives under $XDG_DATA_HOME, which may not exist yet on a fresh account.
    const std::string data = FolderOf(st.SystemFolder.substr(0, st.SystemFolder.size() - 1));
    MakeFolder(data);
    MakeFolder(st.SystemFolder);
    MakeFolder(st.SystemFolder + "qvcut");
    st.ToolFolder = st.SystemFolder + "qvcut/";

    const int processors = GetProcessorCount();
    st.ThreadsOption = ThreadsOptionFor(processors);
    st.LavcThreadsOption = LavcThreadsOptionFor(processors);

    const std::string root = SystemDriveRoot();
    for (const char* sub : {"zStore", "zStore/z Convert", "zStore/z SaveConvert", "zStore/z Cut",
                            "zStore/z SaveCut", "zStore/z Join", "zStore/z SaveJoin",
                            "zStore/z SaveImage"})
        MakeFolder(root + sub);
    st.DefaultSaveConvertFolder = root + "zStore/z SaveConvert/";
    st.DefaultSaveJoinFolder = root + "zStore/z SaveJoin/";
    st.SaveImageFolder = root + "zStore/z SaveImage/";

    st.FfmpegCommand = ToolHead(st.SystemFolder + "fcut.exe") + " -cb ";
    st.MencoderCommand = ToolHead(st.SystemFolder + "mcut.exe") + " -cb qzv ";
    // Shown in the previews; each run writes its own in the job's work folder.
    st.EdlFile = st.SystemFolder + "qvcut.edl";
    st.FmergeCommand = ToolHead(st.ToolFolder + "fmerge.exe") + " ";
    st.MmergeCommand = ToolHead(st.ToolFolder + "mmerge.exe") + " ";
    st.AcutCommand = ToolHead(st.ToolFolder + "acut.exe") + " ";
}

} // namespace trimora
