// The clip probe of a clicked row and what its result changes in the window.
#include "app/main_form.h"

#include "common/helpers.h"
#include "exec/dos_cmd_process.h"

#include <QPlainTextEdit>

namespace trimora {

void MainForm::ClearClipInfo() {}

void MainForm::ProbeSelectedClip(const std::string& file, bool joinList) {
    (void)joinList;
    MemoClipInfo->clear();
    std::vector<std::string> lines;
    if (!RunAndCapture(State.FfmpegCommand + " -i \"" + file + "\"", lines))
        return;
    for (const std::string& line : lines)
        MemoClipInfo->appendPlainText(QString::fromStdString(line));
}

} // namespace trimora
