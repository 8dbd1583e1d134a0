// fmerge.exe: joins FLV files (output first, then the inputs) by stream copy.
#include "common/fmerge_run.h"
#include "common/frontend.h"

int main(int argc, char** argv) {
    return trimora::mtools::RunFmerge(trimora::frontend::ArgsOf(argc, argv));
}
