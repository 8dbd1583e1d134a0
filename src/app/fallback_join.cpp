// JOIN jobs are not part of this build: Start says so plainly. The join job's window code
// (main_form_join.cpp) replaces this file.
#include "app/main_form.h"

#include "app/dialogs.h"

namespace trimora {

bool MainForm::JoinClips() {
    ShowMessage(this, QStringLiteral("Joining is not available in this build."));
    EndRunControls();
    return false;
}

void MainForm::RefreshJoinRow() {}

} // namespace trimora
