#include "common/command_line.h"
#include "common/helpers.h"
#include "exec/dos_cmd_process.h"
#include "exec/tool_runs.h"
#include "media/probe_cache.h"
#include "media/store_info.h"

#include <algorithm>

namespace trimora {

std::string BuildProbeCommand(const std::string& ffmpegCommand, const std::string& fileName) {
    return ffmpegCommand + " -i \"" + QuoteArgText(fileName) + "\"";
}

TProbeOutcome ProbeClip(const std::string& ffmpegCommand, const std::string& fileName,
                        const TClipReportInputs& inputs, TStoreInfo& info) {
    TProbeOutcome outcome;
    const std::string key = ProbeCacheKey(ffmpegCommand, fileName);
    if (auto kept = LoadProbeReport(key)) {
        outcome.Started = true;
        outcome.Report = std::move(*kept);
        outcome.Result = ParseClipReport(outcome.Report, inputs, info);
        return outcome;
    }
    TCaptureOutcome run;
    outcome.Started =
        RunAndCapture(BuildProbeCommand(ffmpegCommand, fileName), outcome.Report, "", &run);
    if (!outcome.Started) {
        outcome.Failure = "the encoder front-end could not be started";
        return outcome;
    }
    std::string text;
    for (const auto& line : outcome.Report) text += line + "\n";
    if (run.TimedOut)
        outcome.Failure = "the probe of " + FileNameOf(fileName) + " did not finish within " +
                          std::to_string(kCaptureTimeLimitSeconds) + " s";
    else if (run.Interrupted)
        outcome.Failure = "cancelled";
    else if (run.TermSignal != 0)
        outcome.Failure = "the probe was ended by signal " + std::to_string(run.TermSignal);
    if (!outcome.Failure.empty()) {
        info.BadFile = true;
        return outcome;
    }
    outcome.Result = ParseClipReport(outcome.Report, inputs, info);
    if (run.ExitStatus == 0 && !outcome.Result.BadFile) {
        // Only a complete report of a readable clip is kept.
        const bool complete = std::any_of(outcome.Report.begin(), outcome.Report.end(),
                                          [](const std::string& l) {
                                              return l.find("Duration: ") != std::string::npos;
                                          });
        if (complete) StoreProbeReport(key, outcome.Report);
    }
    if (outcome.Result.BadFile || run.ExitStatus == 0) return outcome;
    // The tool could not read the source at all: say why, the clip has no values.
    const std::string cause = ReportedCause(text);
    if (cause.find(" is not installed") != std::string::npos) outcome.Failure = cause;
    else outcome.Failure = "Cannot read " + FileNameOf(fileName) + " (" +
                      (cause.empty() ? "the probe ended with exit status " +
                                           std::to_string(run.ExitStatus)
                                     : cause) +
                      ")";
    info.BadFile = true;
    return outcome;
}

} // namespace trimora
