#pragma once
// The files of one folder whose names match a pattern, in natural name order, with their sizes:
// what the source lists show.

#include <cstdint>
#include <string>
#include <vector>

namespace trimora {

struct FileListRow {
    std::string Name;     // file name without folder
    std::string SizeText; // FormatFileSize of Bytes
    int64_t Bytes = 0;
    int Icon = 0; // index into the list icons (ListIconIndex)
};

// Icon of a file name: 1 mp4/mov, 2 flv, 3 mkv, 4 ram/rmvb/rm, 5 mpg/mpeg, 6 avi, 7 audio, else 0.
int ListIconIndex(const std::string& fileName);

// Natural name order: letters compared without case, runs of digits by their value ("part 2"
// before "part 10"); names equal that way fall back to their bytes, so the order is total.
bool NaturalLess(const std::string& a, const std::string& b);

// Regular files of folder (ending with '/') whose names match "(?i)" + pattern; sub-folders are
// skipped. Sorted by NaturalLess. Empty when the folder does not exist (ok is then false).
std::vector<FileListRow> ListFolderFiles(const std::string& folder, const std::string& pattern,
                                         bool* ok = nullptr);

} // namespace trimora
