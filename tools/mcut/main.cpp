// mcut.exe: the program's mencoder command lines, carried out by ffmpeg.
#include "common/frontend.h"
#include "common/mcut_run.h"

int main(int argc, char** argv) {
    return trimora::mtools::RunMcut(trimora::frontend::ArgsOf(argc, argv));
}
