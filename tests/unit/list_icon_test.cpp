// The list icon of a file name follows the icon patterns exactly ("(?i).mp4$|.mov$" and so on:
// the point stands for any character), though it is found without a pattern match per file.

#include <QRegularExpression>

#include <gtest/gtest.h>

#include "common/file_list.h"

TEST(ListIcon, SameAsTheIconPatterns) {
    const std::pair<const char*, int> rules[] = {
        {"(?i).mp4$|.mov$", 1}, {"(?i).flv$", 2},           {"(?i).mkv$", 3},
        {"(?i).ram$|.rmvb$|.rm$", 4}, {"(?i).mpg$|.mpeg$", 5}, {"(?i).avi$", 6},
        {"(?i).wav$|.mp3$|.wma$|.cda$|.ogg$|.aac$", 7}};
    for (const char* name :
         {"a.mp4", "A.MOV", "clip_mp4", "mp4", ".mp4", "x.mp4.txt", "x.Rm", "rm", "xrm",
          "a.rmvb", "b.mpeg", "b.MPG", "c.flv\n", "c\nflv", "d.mkv ", "e.Ogg", "f.aac", "g.avi",
          "h.wmv", "", "Ä.mp4", "x.ram"}) {
        int expected = 0;
        for (const auto& [pattern, icon] : rules)
            if (!expected && QRegularExpression(pattern).match(QString::fromUtf8(name)).hasMatch())
                expected = icon;
        EXPECT_EQ(trimora::ListIconIndex(name), expected) << '"' << name << '"';
    }
}
