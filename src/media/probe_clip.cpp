#include "common/command_line.h"
#include "exec/dos_cmd_process.h"
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
    outcome.Started = RunAndCapture(BuildProbeCommand(ffmpegCommand, fileName), outcome.Report);
    if (!outcome.Started) return outcome;
    outcome.Result = ParseClipReport(outcome.Report, inputs, info);
    // Only a complete report of a readable clip is kept.
    const bool complete = std::any_of(outcome.Report.begin(), outcome.Report.end(),
                                      [](const std::string& l) {
                                          return l.find("Duration: ") != std::string::npos;
                                      });
    if (!outcome.Result.BadFile && complete) StoreProbeReport(key, outcome.Report);
    return outcome;
}

} // namespace trimora
