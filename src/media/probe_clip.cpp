#include "common/command_line.h"
#include "exec/dos_cmd_process.h"
#include "media/store_info.h"

namespace trimora {

std::string BuildProbeCommand(const std::string& ffmpegCommand, const std::string& fileName) {
    return ffmpegCommand + " -i \"" + QuoteArgText(fileName) + "\"";
}

TProbeOutcome ProbeClip(const std::string& ffmpegCommand, const std::string& fileName,
                        const TClipReportInputs& inputs, TStoreInfo& info) {
    TProbeOutcome outcome;
    outcome.Started = RunAndCapture(BuildProbeCommand(ffmpegCommand, fileName), outcome.Report);
    if (outcome.Started) outcome.Result = ParseClipReport(outcome.Report, inputs, info);
    return outcome;
}

} // namespace trimora
