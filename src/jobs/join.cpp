#include "jobs/join.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "common/pattern.h"

namespace trimora {

namespace {

constexpr const char* kSplitterPattern = "(?i)3gp|mkv|m4v|mp4|mov|vob|webm";
constexpr const char* kMencoderPattern = "(?i)wmv|asf|mpg|mpeg|avi|divx";
constexpr const char* kMencoderAudio =
    " -mc 0 -ovc copy -oac mp3lame -lameopts cbr:br=128 -srate 44100 -o ";

std::string QuotedOutput(const std::string& path) {
    return Quoted(path);
}

} // namespace

TJoinFamily JoinFamilyOf(const std::string& joinExt) {
    // Tested in this order, a later match winning, so that every extension lands in one family.
    TJoinFamily family = TJoinFamily::None;
    if (MatchesPattern(joinExt, kSplitterPattern)) family = TJoinFamily::Splitter;
    if (MatchesPattern(joinExt, "(?i)flv")) family = TJoinFamily::Flv;
    if (MatchesPattern(joinExt, "(?i)avi|divx")) family = TJoinFamily::Avi;
    if (MatchesPattern(joinExt, "(?i)mpg|mpeg")) family = TJoinFamily::Mpeg;
    if (MatchesPattern(joinExt, "(?i)wmv|asf")) family = TJoinFamily::Wmv;
    return family;
}

bool IsMencoderJoinExt(const std::string& joinExt) {
    return MatchesPattern(joinExt, kMencoderPattern);
}

bool IsMergeJoinExt(const std::string& joinExt) {
    // Every join that the splitter runs prints its progress and its mismatch error, 3gp too.
    return JoinFamilyOf(joinExt) == TJoinFamily::Splitter;
}

std::string JoinExtOfCaption(const std::string& caption) {
    const size_t dot = caption.rfind('.');
    const std::string after = dot == std::string::npos ? caption : caption.substr(dot + 1);
    const std::string ext = "." + after;
    return ext.size() < 2 ? ".avi" : ext;
}

std::string JoinedOutputName(const std::string& saveFolder, const std::string& joinFolder,
                             const std::string& joinExt) {
    std::string base = LastFolderName(joinFolder);
    if (base.empty()) base = "File";
    return MakeUniqueFileName(WithSlash(saveFolder) + base + "-Joined" + joinExt);
}

int CountCheckedRows(const TJoinListSnapshot& list) {
    int count = 0;
    for (const auto& row : list.Rows)
        if (row.Checked) ++count;
    return count;
}

TJoinBuildResult BuildJoinCommand(const TJoinListSnapshot& list, JobState& st,
                                  TJobFiles* files) {
    TJoinBuildResult result;
    if (!st.StartupDone) return result;
    result.Ran = true;

    if (!list.JoinPageShowing || list.Rows.size() < 2 || !list.HasSelection) return result;

    // The second row names the format, as the list shows one family at a time.
    st.JoinExt = JoinExtOfCaption(list.Rows[1].Caption);
    if (!DirectoryExistsEx(st.SaveJoinFolder)) st.SaveJoinFolder = st.JoinFolder;
    st.JoinBaseName = LastFolderName(st.JoinFolder);
    if (st.JoinBaseName.empty()) st.JoinBaseName = "File";
    st.JoinedOutput = JoinedOutputName(st.SaveJoinFolder, st.JoinFolder, st.JoinExt);
    st.OutputFile = st.JoinedOutput;

    const TJoinFamily family = JoinFamilyOf(st.JoinExt);
    const bool plusList = family == TJoinFamily::Splitter;

    st.JoinFileList.clear();
    st.JoinFileCount = 0;
    st.JoinCountText.clear();
    st.JoinTotalSize = 0;
    st.FirstFrameSize.clear();
    std::vector<std::string> fpsList;
    for (const auto& row : list.Rows) {
        if (!row.Checked) continue;
        if (++st.JoinFileCount == 1) st.FirstFrameSize = row.FrameSize;
        st.JoinCountText = std::to_string(st.JoinFileCount);
        st.JoinFileList += "\"" + QuoteArgText(st.JoinFolder + row.Caption) + "\"";
        st.JoinFileList += plusList ? " +" : " ";
        st.JoinTotalSize += row.SizeIn64;
        if (st.DesignMode && !st.JoinAllChecked) fpsList.push_back(row.Fps);
    }

    if (st.JoinFileCount < 2) {
        st.JoinTotalSize = 0;
        st.JoinCountText.clear();
        st.JoinCommand.clear();
        return result;
    }

    if (st.DesignMode) {
        bool same = true;
        for (size_t i = 1; i < fpsList.size(); ++i)
            if (fpsList[i] != fpsList[i - 1]) same = false;
        result.FpsMessage = same ? "Samefps" : "not Samefps";
    }

    const std::string& m = st.MencoderCommand;
    std::string toolOutput = st.JoinedOutput;
    if (files) {
        const std::string reserved = files->ReserveOutput(st.JoinedOutput);
        if (!reserved.empty()) {
            st.JoinedOutput = st.OutputFile = reserved;
            toolOutput = files->MakePrivateFile();
        }
        if (!files->Ok()) {
            result.Error = files->Error();
            return result;
        }
    }
    const std::string out = QuotedOutput(toolOutput);
    const std::string nosoundForm =
        m + " -forceidx -nosound -ovc copy " + st.JoinFileList + " -o " + out;
    std::string command;
    std::string normSize = st.FirstFrameSize;
    switch (family) {
    case TJoinFamily::Splitter: {
        // The plus sits before every name but the first: drop the one after the last name.
        std::string files = st.JoinFileList;
        const size_t lastPlus = files.rfind('+');
        if (lastPlus != std::string::npos) files.erase(lastPlus);
        command = st.MmergeCommand + " " + files + " -o " + out;
        break;
    }
    case TJoinFamily::Flv:
        command = st.FmergeCommand + " " + out + " " + st.JoinFileList;
        break;
    case TJoinFamily::Avi: {
        // Read only by this join: the program folder may not even be writable.
        st.NormFile = files ? files->WorkFolder() + "norm.avi" : st.ProgramFolder + "help/norm.avi";
        std::string scale = st.FirstFrameSize;
        for (char& c : scale)
            if (c == 'x') c = ':';
        scale = scale.find(':') != std::string::npos ? "-vf scale=" + scale : "";
        normSize = scale;
        st.NormCommand = m + Quoted(st.ProgramFolder + "help/sample.avi") + " " + scale +
                         " -ovc lavc -lavcopts vcodec=mpeg4 -oac copy -o " + Quoted(st.NormFile);
        command = list.Nosound
                      ? nosoundForm
                      : m + Quoted(st.NormFile) + " " + st.JoinFileList + kMencoderAudio + out;
        break;
    }
    case TJoinFamily::Mpeg:
        command = list.Nosound ? nosoundForm : m + " " + st.JoinFileList + kMencoderAudio + out;
        break;
    case TJoinFamily::Wmv:
        command = list.Nosound
                      ? m + " " + " -nosound -ovc copy -o " + out + " " + st.JoinFileList
                      : m + " " +
                            " -mc 0 -delay 0.7 -oac lavc -lavcopts acodec=wmav2:abitrate=128" +
                            st.LavcThreadsOption + " -srate 44100 -ovc copy -o " + out + " " +
                            st.JoinFileList;
        break;
    case TJoinFamily::None:
        break;
    }
    st.JoinCommand = command;
    st.JoinByMencoder = IsMencoderJoinExt(st.JoinExt);
    st.JoinByMerge = IsMergeJoinExt(st.JoinExt);

    result.Command = command;
    result.MemoLines.push_back(command);
    result.MemoLines.push_back("Total File = " + st.JoinCountText + " Total Size = " +
                               FormatFileSize(st.JoinTotalSize) + " NormSize = " + normSize);
    if (!st.NormCommand.empty()) result.MemoLines.push_back(st.NormCommand);
    return result;
}

} // namespace trimora
