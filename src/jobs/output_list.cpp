#include "jobs/output_list.h"

#include "common/helpers.h"
#include "common/pattern.h"

namespace trimora {

const char* JobStatusText(TJobStatus status) {
    switch (status) {
    case TJobStatus::None:
        return "";
    case TJobStatus::Pending:
        return "PENDING";
    case TJobStatus::Idle:
        return "Idle";
    case TJobStatus::Done:
        return "DONE";
    case TJobStatus::Failed:
        return "FAILED";
    }
    return "";
}

TRowIcon IconForExtension(const std::string& ext, TRowIcon current) {
    struct Rule {
        const char* pattern;
        TRowIcon icon;
    };
    static const Rule rules[] = {
        {"(?i).m4v$|.mp4$|.mov$", TRowIcon::Mpeg4},  {"(?i).flv$|.swf$", TRowIcon::Flash},
        {"(?i).mkv$", TRowIcon::Matroska},           {"(?i).ram$|.rmvb$|.rm$", TRowIcon::RealMedia},
        {"(?i).mpg$|.mpeg$", TRowIcon::Mpeg},        {"(?i).avi$", TRowIcon::Avi},
        {"(?i).asf$|.wmv$", TRowIcon::WindowsMedia},
        {"(?i).webm$|.3gp$|.3g2$|.vob$|.ts$|.m2ts$|.divx$|.ogv$", TRowIcon::OtherVideo},
        {"(?i).aac$|.m4a$|.mp3$|.ogg$|.oga$|.wma$|.wav$|.flac$", TRowIcon::Audio},
    };
    TRowIcon icon = current;
    for (const Rule& r : rules)
        if (MatchesPattern(ext, r.pattern)) icon = r.icon;
    return icon;
}

int TOutputList::FindRowById(int id) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].Id == id) return static_cast<int>(i);
    return -1;
}

int TOutputList::SetRowCaption(const std::string& caption, int id, int iconFlag,
                               const std::string& iconExt) {
    int index = FindRowById(id);
    const bool added = index < 0;
    if (added) {
        TOutputRow row;
        row.Id = id;
        rows_.push_back(row);
        index = Count() - 1;
    }
    // The status and icon go to the row of this ID, not to the first row that happens to carry
    // the same caption: an older finished row of the same file name keeps its "DONE".
    TOutputRow& row = rows_[static_cast<size_t>(index)];
    row.Caption = caption;
    row.Status.clear();
    if (id == MessageRowId) {
        if (iconFlag == 0) row.Icon = TRowIcon::Message;
    } else {
        row.Icon = IconForExtension(iconExt, row.Icon);
    }
    Notify(added ? TRowChange::Added : TRowChange::Changed, index);
    return index;
}

void TOutputList::SetRowStatus(const std::string& status, const std::string& fullPath, int64_t size,
                               int id) {
    const int index = FindRowById(id);
    if (index < 0) return;
    TOutputRow& row = rows_[static_cast<size_t>(index)];
    row.Status = status;
    row.SizeText = size <= 0 ? std::string() : FormatFileSize(size);
    row.Id = id;
    row.FullPath = fullPath;
    Notify(TRowChange::Changed, index);
}

void TOutputList::Clear() {
    rows_.clear();
    Notify(TRowChange::Cleared, -1);
}

void TOutputList::Notify(TRowChange change, int row) {
    if (observer_) observer_(change, row);
}

// ---- output names -----------------------------------------------------------------------------

namespace {

std::string ExtensionOf(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? std::string() : fileName.substr(dot);
}

} // namespace

std::string OutputBaseName(const std::string& inputFile) {
    std::string name = FileNameOf(inputFile);
    const std::string ext = ExtensionOf(name);
    if (ext.empty()) return name;
    for (size_t p = name.find(ext); p != std::string::npos; p = name.find(ext, p))
        name.erase(p, ext.size());
    return name;
}

std::string CutOutputName(const std::string& saveFolder, const std::string& inputFile) {
    return MakeUniqueFileName(saveFolder + OutputBaseName(inputFile) + "-Cut" +
                              ExtensionOf(FileNameOf(inputFile)));
}

std::string ConvertOutputName(const std::string& saveFolder, const std::string& inputFile,
                              const std::string& convertType, bool partial) {
    return MakeUniqueFileName(saveFolder + OutputBaseName(inputFile) +
                              (partial ? "-Partial" : "-Convert") + convertType);
}

std::string AudioOutputName(const std::string& saveFolder, const std::string& inputFile,
                            const std::string& audioType) {
    std::string name = FileNameOf(inputFile);
    const std::string ext = ExtensionOf(name);
    name.erase(name.size() - ext.size());
    return MakeUniqueFileName(saveFolder + name + audioType);
}

std::string DetermineConvertType(JobState& state) {
    if (state.ConvertTypeText.find("(Device)") == std::string::npos)
        state.ConvertType = state.ConvertTypeText;
    if (state.ConvertType.size() < 2) state.ConvertType = ".avi";
    return state.ConvertType;
}

// ---- pending rows -----------------------------------------------------------------------------

namespace {

// The extension text that picks a row's icon: the source's in the cut mode, else the
// convert target type.
std::string IconExt(const JobState& state) {
    return state.Mode == TMode::Cut ? state.InputExt : state.ConvertType;
}

void WritePendingJobRow(JobState& state, TOutputList& list) {
    const int id = state.JobCounter + 1;
    list.SetRowCaption(FileNameOf(state.OutputFile), id, 0, IconExt(state));
    list.SetRowStatus(TJobStatus::Pending, state.OutputFile, 0, id);
}

} // namespace

void AddPendingRow(JobState& state, TOutputList& list) {
    if (!state.StartupDone) return;
    state.BuildOnly = true;
    const std::string type = DetermineConvertType(state);
    if (state.Mode == TMode::Convert)
        state.OutputFile =
            ConvertOutputName(state.SaveConvertFolder, state.InputFile, type, state.Partial);
    else
        state.OutputFile = CutOutputName(state.SaveConvertFolder, state.InputFile);

    list.MessageText = MatchesPattern(type, "(?i).webm") ? WebmWarningText : RunTimeMessageText;
    list.SetRowCaption(list.MessageText, MessageRowId, 0, IconExt(state));
    list.SetRowStatus(TJobStatus::Idle, "", 0, MessageRowId);
    if (state.InputSelected) WritePendingJobRow(state, list);
}

void AddAudioPendingRow(JobState& state, TOutputList& list) {
    if (!state.StartupDone) return;
    state.BuildOnly = true;
    state.OutputFile =
        AudioOutputName(state.SaveConvertFolder, state.InputFile, state.AudioTypeText);
    list.SetRowCaption(list.MessageText, MessageRowId, 0, IconExt(state));
    list.SetRowStatus(TJobStatus::Idle, "", 0, MessageRowId);
    if (state.InputSelected) {
        if (list.MessageText.empty()) list.MessageText = RunTimeMessageText;
        WritePendingJobRow(state, list);
    }
}

void RefreshJoinRow(JobState& state, TOutputList& list,
                    const std::function<void()>& buildJoinCommand) {
    if (!state.StartupDone) return;
    if (buildJoinCommand) buildJoinCommand();
    list.MessageText = MatchesPattern(state.JoinExt, "(?i)wmv|asf|m4v|mp4|mov")
                           ? JoinSpecsWarningText
                           : JobStatusText(TJobStatus::Idle);
    list.SetRowCaption(list.MessageText, MessageRowId, 0, IconExt(state));
    if (!state.JoinedOutput.empty()) {
        const int id = state.JobCounter + 1;
        list.SetRowCaption(FileNameOf(state.JoinedOutput), id, 0, IconExt(state));
        list.SetRowStatus("Total =" + state.JoinCountText, state.JoinedOutput, state.JoinTotalSize,
                          id);
    }
}

} // namespace trimora
