// mmerge.exe: the program's Matroska split and join command lines on mkvmerge.
#include "common/frontend.h"
#include "common/mmerge_run.h"

int main(int argc, char** argv) {
    return trimora::mtools::RunMmerge(trimora::frontend::ArgsOf(argc, argv));
}
