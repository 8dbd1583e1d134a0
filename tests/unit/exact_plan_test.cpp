// What an exact cut re-encodes and what it copies, for ranges around keyframes 10 s apart.
#include "media/exact_plan.h"

#include <gtest/gtest.h>

using namespace trimora;

TEST(ExactPlan, ReEncodesOnlyWhatACopyCannotStartOrEndOn) {
    const std::vector<double> keys = {0, 10, 20, 30};
    struct Row {
        double start, end;
        bool supported, reorders;
        const char* summary;
    } rows[] = {
        {3.48, 21.2, true, true, "re-encodes 6.5 s at the start and 1.2 s at the end, copies the rest"},
        {10, 21.2, true, true, "re-encodes 1.2 s at the end, copies the rest"},
        {10.0002, 20, true, true, "copies the whole range"},
        {3.48, 21.2, true, false, "re-encodes 6.5 s at the start, copies the rest"},
        {11, 19, true, false, "re-encodes the whole range"}, // no keyframe inside
        {3, 12, true, true, "re-encodes the whole range"},   // copy would be empty
        {10, 20, false, true, "re-encodes the whole range"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DescribeExactCut(PlanExactCut(keys, r.start, r.end, r.supported, r.reorders)),
                  r.summary)
            << r.start << "-" << r.end;
    EXPECT_TRUE(ExactCopySupported("hevc", ".m2ts"));
    EXPECT_FALSE(ExactCopySupported("h264", ".flv"));
    EXPECT_FALSE(ExactCopySupported("mpeg4", ".mp4"));
}
