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
    std::sort(names.begin(), names.end());
    return names;
}
} // namespace

TEST(FileList, ListsMatchingFilesOnlyWithSizesAndIcons) {
    trimora_test::IsolatedHome home;
    const std::string dir = home.Root() + "src/";
    ::mkdir(dir.c_str(), 0755);
    ::mkdir((dir + "d.avi").c_str(), 0755); // a folder is never listed
    for (const char* n : {"a.AVI", "c.txt", "clip.ts", "video_ts.ifo", "holidaywmv", "song.mp3",
                          "x.VOB", "y.m2ts", "movie.mp4.part"})
        std::ofstream(dir + n) << "x";
    std::ofstream(dir + "b.mp4") << std::string(1536, 'b');

    bool ok = false;
    const auto rows = ListFolderFiles(dir, kSource, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Names(rows), (std::vector<std::string>{"a.AVI", "b.mp4", "holidaywmv", "video_ts.ifo",
                                                     "x.VOB", "y.m2ts"}));
    for (const auto& r : rows) {
        if (r.Name == "b.mp4") {
            EXPECT_EQ(r.Bytes, 1536);
            EXPECT_EQ(r.SizeText, "1.50 KB");
            EXPECT_EQ(r.Icon, 1);
        }
        if (r.Name == "a.AVI") {
            EXPECT_EQ(r.Icon, 6);
        }
        if (r.Name == "holidaywmv") {
            EXPECT_EQ(r.Icon, 0);
        }
    }
    EXPECT_EQ(ListIconIndex("x.FLV"), 2);
    EXPECT_EQ(ListIconIndex("x.mkv"), 3);
    EXPECT_EQ(ListIconIndex("x.rmvb"), 4);
    EXPECT_EQ(ListIconIndex("x.mpeg"), 5);
    EXPECT_EQ(ListIconIndex("x.ogg"), 7);
    EXPECT_EQ(ListIconIndex("x.mov"), 1);

    const auto none = ListFolderFiles(dir + "missing/", kSource, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(none.empty());
}
