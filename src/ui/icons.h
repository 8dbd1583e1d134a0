#pragma once
// The small list icons (ImageListLvInput): one per file category, and the message-row icon.
//   0 other video (wmv, asf, ...)  1 mp4/mov/m4v  2 flv  3 mkv  4 rm/rmvb/ram
//   5 mpg/mpeg  6 avi  7 audio  8 message row  9 other video (webm, 3gp, vob, ...)

#include <QIcon>

namespace trimora {

constexpr int kIconCount = 10;
QIcon ListIcon(int index);

} // namespace trimora
