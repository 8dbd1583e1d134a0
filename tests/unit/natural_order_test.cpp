// Natural name order of the source lists: numbers by value, letters without case. (The window
// lists a folder in this order in the desktop tests.)
#include "common/file_list.h"

#include <gtest/gtest.h>

using namespace trimora;

TEST(NaturalOrder, NumbersByValueLettersWithoutCase) {
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"part 2.mkv", "part 10.mkv", true}, {"part 10.mkv", "part 2.mkv", false},
        {"Part 3.mkv", "part 20.mkv", true}, {"b.mkv", "A.mkv", false},
        {"clip 007.mp4", "clip 8.mp4", true}, {"clip 9.mp4", "clip 0010.mp4", true},
        {"x99999999999999999999.avi", "x100000000000000000000.avi", true},
        {"a.mkv", "a1.mkv", true}, {"take2b", "take10a", true}, {"same", "same", false},
        {"a00.mkv", "a0.mkv", false}, {"a0b", "a-b", false}, {"a7b", "aBc", true},
        {"x" + std::string(300, '1'), "x2", false},
        {"A.mkv", "a.mkv", true}, // equal without case: a fixed order, never "equal"
        {"a.mkv", "A.mkv", false},
    };
    for (const auto& [a, b, less] : cases) { // the sort key of a listing gives the same order
        EXPECT_EQ(NaturalLess(a, b), less) << a << " < " << b;
        const std::string x = NaturalKey(a), y = NaturalKey(b);
        EXPECT_EQ(x < y || (x == y && a < b), less) << a << " key " << b;
    }
}
