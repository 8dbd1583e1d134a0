// fcut.exe: the encoder front-end. Accepts the program's encoder command lines and runs them on
// the installed ffmpeg; see tools/common/fcut_run.h.
#include "common/fcut_run.h"
#include "common/frontend.h"

int main(int argc, char** argv) {
    return trimora::fcut::RunFcut(trimora::frontend::ArgsOf(argc, argv));
}
