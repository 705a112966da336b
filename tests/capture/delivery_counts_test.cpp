// The delivery counts: a delivery of the frame the last one carried is a
// repeat, frames skipped between two deliveries are drops, and the picture
// number counts both, across the sequence count wrapping.
#include <gtest/gtest.h>

#include <climits>

#include "capture/delivery_counts.h"

namespace {

struct Expected {
    LONG sequence;
    LONGLONG pictureNumber;
    LONGLONG dropCount;
    bool repeated;
};

void ExpectDeliveries(DeliveryCounts* counts, std::initializer_list<Expected> deliveries) {
    for (const Expected& expected : deliveries) {
        const DeliveredFrame frame = CountDelivery(counts, expected.sequence, 100);
        EXPECT_EQ(frame.pictureNumber, expected.pictureNumber) << "frame " << expected.sequence;
        EXPECT_EQ(frame.dropCount, expected.dropCount) << "frame " << expected.sequence;
        EXPECT_EQ(frame.repeated, expected.repeated) << "frame " << expected.sequence;
    }
}

TEST(DeliveryCounts, RepeatsAndSkippedFramesMakeThePictureNumber) {
    DeliveryCounts counts{};
    InitializeDeliveryCounts(&counts);
    // Frames 1 and 2 were read before the first delivery, which carries 3.
    ExpectDeliveries(
        &counts,
        {{3, 3, 2, false}, {3, 4, 2, true}, {4, 5, 2, false}, {9, 10, 6, false}, {9, 11, 6, true}});
    CountDelivery(&counts, 10, 400);
    const DeliverySummary summary = ReadDeliveryCounts(&counts);
    EXPECT_EQ(summary.pictureNumber, 12);
    EXPECT_EQ(summary.dropCount, 6);
    EXPECT_EQ(summary.averageFrameSize, (5u * 100 + 400) / 6);
}

TEST(DeliveryCounts, ASequenceThatWrapsCountsOn) {
    DeliveryCounts counts{};
    InitializeDeliveryCounts(&counts);
    ExpectDeliveries(&counts, {{INT_MAX - 1, INT_MAX - 1, INT_MAX - 2, false},
                               {INT_MIN + 1, INT_MAX + 2LL, INT_MAX, false},
                               {INT_MIN + 1, INT_MAX + 3LL, INT_MAX, true}});
}

TEST(DeliveryCounts, AResetStartsAgainAndNothingDeliveredAveragesZero) {
    DeliveryCounts counts{};
    InitializeDeliveryCounts(&counts);
    CountDelivery(&counts, 5, 100);
    ResetDeliveryCounts(&counts);
    const DeliverySummary summary = ReadDeliveryCounts(&counts);
    EXPECT_EQ(summary.pictureNumber, 0);
    EXPECT_EQ(summary.dropCount, 0);
    EXPECT_EQ(summary.averageFrameSize, 0u);
    ExpectDeliveries(&counts, {{1, 1, 0, false}});
}

}  // namespace
