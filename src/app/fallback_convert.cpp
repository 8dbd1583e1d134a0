// CONVERT and sound-only jobs are not part of this build: Start says so plainly. The convert
// job's window code (main_form_convert.cpp) replaces this file.
#include "app/main_form.h"

#include "app/dialogs.h"

namespace trimora {

bool MainForm::ConvertClip(int64_t) {
    if (!State.StartupDone || State.BuildOnly)
        return false;
    ShowMessage(this, QStringLiteral("Converting is not available in this build."));
    EndRunControls();
    return false;
}

bool MainForm::ExtractAudio() {
    if (!State.StartupDone || State.BuildOnly)
        return false;
    ShowMessage(this, QStringLiteral("Extracting the audio is not available in this build."));
    EndRunControls();
    return false;
}

} // namespace trimora
