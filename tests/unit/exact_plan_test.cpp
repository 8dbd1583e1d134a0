// What an exact cut re-encodes and what it copies, for ranges around keyframes 10 s apart. The
// common case (a range between keyframes, with and without reordered frames, or a codec the
// container cannot copy) is cut for real in exact_cut_e2e; these are the edges.
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
        {10, 21.2, true, true, "re-encodes 1.2 s at the end, copies the rest"},
        {10.0002, 20, true, true, "copies the whole range"},
        {11, 19, true, false, "re-encodes the whole range"}, // no keyframe inside
        {3, 12, true, true, "re-encodes the whole range"},   // copy would be empty
    };
    for (const Row& r : rows)
        EXPECT_EQ(DescribeExactCut(PlanExactCut(keys, r.start, r.end, r.supported, r.reorders)),
                  r.summary)
            << r.start << "-" << r.end;
    EXPECT_TRUE(ExactCopySupported("hevc", ".m2ts"));
    EXPECT_FALSE(ExactCopySupported("h264", ".flv"));
}

// Packets in decode order (times in frames); the copy ends where the packets so far are exactly
// the frames shown so far.
TEST(ExactPlan, CopyEndsWhereDecodedAndShownFramesAgree) {
    const std::vector<double> plain = {0, 1, 2, 3, 4}, bframes = {0, 3, 1, 2, 6, 4, 5, 9},
                              pyramid = {0, 4, 2, 1, 3, 8, 6, 5, 7}, open = {10, 8, 9, 13, 11, 12},
                              late = {0, 3, 1, 5, 2, 4}; // 2 is decoded after 5
    struct Row {
        const std::vector<double>* times;
        double end;
        size_t packets;
        double until;
    } rows[] = {
        {&plain, 3, 3, 3},     {&plain, 9, 5, 9},   {&bframes, 6, 4, 4}, {&bframes, 3, 1, 1},
        {&bframes, 9, 7, 9},   {&pyramid, 8, 5, 5}, {&pyramid, 4, 1, 1}, {&open, 20, 0, 0},
        {&late, 5, 1, 1},
    };
    for (const Row& r : rows) {
        std::vector<IndexedPacket> packets;
        for (double t : *r.times) packets.push_back({t, packets.empty()});
        const CopyRun run = CopyableRun(packets, 0, r.end);
        EXPECT_EQ(run.packets, r.packets) << r.times->size() << " packets, end " << r.end;
        if (r.packets) {
            EXPECT_EQ(run.until, r.until) << r.times->size() << ", end " << r.end;
        }
    }
    EXPECT_EQ(CopyableRun({{0, false}, {1, false}}, 0, 5).packets, 0u); // not a keyframe
}
