#include "common/command_line.h"
#include "common/helpers.h"
#include "exec/dos_cmd_process.h"
#include "exec/tool_runs.h"
#include "media/store_info.h"

namespace trimora {

std::string BuildProbeCommand(const std::string& ffmpegCommand, const std::string& fileName) {
    return ffmpegCommand + " -i \"" + QuoteArgText(fileName) + "\"";
}

TProbeOutcome ProbeClip(const std::string& ffmpegCommand, const std::string& fileName,
                        const TClipReportInputs& inputs, TStoreInfo& info) {
    TProbeOutcome outcome;
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
