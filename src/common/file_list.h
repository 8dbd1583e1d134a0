#pragma once
// The files of one folder whose names match a pattern, in natural name order, with their sizes:
// what the source lists show.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace trimora {

struct FileListRow {
    std::string Name;     // file name without folder
    std::string SizeText; // FormatFileSize of Bytes; empty while the size is not known
    int64_t Bytes = -1;   // -1 until FillFileSizes has found it
    int Icon = 0;         // index into the list icons (ListIconIndex)
};

// Icon of a file name: 1 mp4/mov, 2 flv, 3 mkv, 4 ram/rmvb/rm, 5 mpg/mpeg, 6 avi, 7 audio, else 0.
int ListIconIndex(const std::string& fileName);

// Natural name order: letters compared without case, runs of digits by their value ("part 2"
// before "part 10"); names equal that way fall back to their bytes, so the order is total.
bool NaturalLess(const std::string& a, const std::string& b);
// A text whose plain byte order is the natural name order: NaturalLess(a, b) is
// NaturalKey(a) < NaturalKey(b), or, with equal keys, a < b. One key per name makes sorting a
// large folder cheap.
std::string NaturalKey(const std::string& name);

// Regular files of folder (ending with '/') whose names match "(?i)" + pattern; sub-folders are
// skipped. Sorted by NaturalLess. Empty when the folder does not exist (ok is then false).
// Names and icons only: sizes are left unknown, for FillFileSizes.
std::vector<FileListRow> ListFolderNames(const std::string& folder, const std::string& pattern,
                                         bool* ok = nullptr);

// Fills in Bytes and SizeText of rows listed from folder. A file gone or no longer a regular file
// keeps Bytes -1 and an empty SizeText. Stops early, leaving the rest unknown, once *stop is set.
void FillFileSizes(const std::string& folder, std::vector<FileListRow>& rows,
                   const std::atomic<bool>* stop = nullptr);

// FillFileSizes on a thread of its own, for a list that shows its names first. Starting again
// or destroying it stops the last run and waits for it (it ends within one file's look).
class FileSizeFill {
  public:
    FileSizeFill() = default;
    FileSizeFill(const FileSizeFill&) = delete;
    FileSizeFill& operator=(const FileSizeFill&) = delete;
    ~FileSizeFill() { Stop(); }
    // done is called on that thread with the rows sized, unless the run was stopped.
    void Start(std::string folder, std::vector<FileListRow> rows,
               std::function<void(std::vector<FileListRow>)> done);
    void Stop();

  private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// Both: the listed files with their sizes; a file gone in between is left out.
std::vector<FileListRow> ListFolderFiles(const std::string& folder, const std::string& pattern,
                                         bool* ok = nullptr);

} // namespace trimora
