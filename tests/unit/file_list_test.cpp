// Listing a source folder: which names are listed, their sizes and icons.
#include "common/file_list.h"
#include "common/helpers.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sys/stat.h>

using namespace trimora;

namespace {
const char* kSource =
    ".wmv$|ts.ifo$|.vcd$|.mpg$|.mpeg$|.avi$|.asf$|.m4v$|.mp4$|.264$|.swf$|.flv$|.ram$|.rmvb$|"
    ".rm$|.rv$|.mov$|.qt$|.3gp$|.3g2$|.mkv$|.VOB$|.webm$|.m2ts$|.divx$";

std::vector<std::string> Names(const std::vector<FileListRow>& rows) {
    std::vector<std::string> names;
    for (const auto& r : rows)
        names.push_back(r.Name);
    return std::sort(names.begin(), names.end()), names;
}
} // namespace

TEST(FileList, ListsMatchingFilesOnlyWithSizesAndIcons) {
    trimora_test::IsolatedHome home;
    const std::string dir = home.Root() + "src/";
    ::mkdir(dir.c_str(), 0755), ::mkdir((dir + "d.avi").c_str(), 0755); // folders: never listed
    for (const char* n :
         {"a.AVI", "c.txt", "clip.ts", "video_ts.ifo", "holidaywmv", "song.mp3", "x.VOB", "y.m2ts",
          "movie.mp4.part", "k.m\xe2\x84\xaav", "nl.mkv\n", "gone.mp4"})
        std::ofstream(dir + n) << "x";
    std::ofstream(dir + "b.mp4") << std::string(1536, 'b');
    ::symlink("b.mp4", (dir + "link.mp4").c_str());
    ::symlink("d.avi", (dir + "dirlink.avi").c_str());

    // Lists of endings are matched without the pattern engine; names it must judge (not plain
    // ASCII at the end: a line break, a letter whose case partner is not ASCII) still go to it.
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {kSource,
         {"a.AVI", "b.mp4", "gone.mp4", "holidaywmv", "k.m\xe2\x84\xaav", "link.mp4", "nl.mkv\n",
          "video_ts.ifo", "x.VOB", "y.m2ts"}},
        {"\\.(mp4|avi)$", {"a.AVI", "b.mp4", "gone.mp4", "link.mp4"}},
        {"^[ab]\\.", {"a.AVI", "b.mp4"}}};
    for (const auto& [pattern, names] : cases) {
        bool ok = false;
        EXPECT_EQ(Names(ListFolderNames(dir, pattern, &ok)), names) << pattern << ok;
    }
    std::vector<FileListRow> rows = ListFolderNames(dir, "\\.(mp4|avi)$");
    ::unlink((dir + "gone.mp4").c_str()); // gone between listing and sizing: no size
    FillFileSizes(dir, rows);
    for (const auto& r : rows) {
        const int64_t bytes = r.Name == "gone.mp4" ? -1 : r.Name == "a.AVI" ? 1 : 1536;
        EXPECT_EQ(r.Bytes, bytes) << r.Name;
        EXPECT_EQ(r.SizeText, bytes < 0 ? "" : bytes == 1 ? "1 bytes" : "1.50 KB") << r.Name;
        EXPECT_EQ(r.Icon, r.Name == "a.AVI" ? 6 : 1);
    }
    bool ok = true;
    EXPECT_TRUE(ListFolderNames(dir + "missing/", kSource, &ok).empty() && !ok);
}
