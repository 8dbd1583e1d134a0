#pragma once
// fmerge.exe: joins FLV files by stream copy with ffmpeg's concat demuxer.
//   fmerge.exe "OUT.flv" "a.flv" "b.flv" ...

#include "mcut_media.h"

#include <string>
#include <vector>

namespace trimora::mtools {

// Why the clips cannot be joined by stream copy (other codecs, frame size, sample rate or
// channels, a stream missing in one of them); empty when they can.
std::string FlvMismatch(const std::vector<std::string>& names, const std::vector<MediaInfo>& infos);

// args: the program's arguments without argv[0]. Returns the exit status.
int RunFmerge(std::vector<std::string> args);

} // namespace trimora::mtools
