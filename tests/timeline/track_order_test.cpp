// The builder's order of tracks: how many tracks and entries a range of
// keys holds, as the budget of group pages asks it, while entries are cut
// in two and tracks written.
#include <gtest/gtest.h>

#include <random>

#include "timeline/layer_start.h"
#include "timeline/symbol_timeline.h"

namespace tovrani {
namespace {

TEST(TrackOrder, RangesCountTheirTracksAndEntriesAsTheyGrow) {
  std::mt19937 random(11);
  std::vector<DepthTrack> tracks(300);
  for (DepthTrack& t : tracks) {
    t.key = random() % 120;
    t.entries.resize(random() % 5 + 1);
  }
  tracks[7].key = kTrackWritten;
  TrackOrder order(tracks, int32_t(tracks.size()) - 2);  // the last track is not in use
  const std::vector<uint32_t> keys = [&] {
    std::vector<uint32_t> k;
    for (const DepthTrack& t : tracks) k.push_back(t.key);
    return k;
  }();
  for (int round = 0; round < 200; ++round) {
    const int32_t i = int32_t(random() % (tracks.size() - 1));
    tracks[size_t(i)].entries.resize(random() % 9 + 1);
    order.recount(i);
    if (round % 3 == 0) order.markWritten(int32_t(random() % tracks.size()));
    const uint32_t lo = random() % 130, hi = lo + random() % 40;
    uint64_t inRange = 0, entries = 0;
    for (size_t t = 0; t + 1 < tracks.size(); ++t)
      if (keys[t] >= lo && keys[t] < hi) {
        ++inRange;
        entries += tracks[t].entries.size();
      }
    const TrackOrder::RangeSize size = order.sizeOf(lo, hi);
    EXPECT_EQ(size.tracks, inRange) << round;
    EXPECT_EQ(size.entries, entries) << round;
  }
  // A range that ends past every key, and one above them all.
  EXPECT_EQ(order.sizeOf(0, uint64_t(kTrackWritten) + 1).tracks, tracks.size() - 1);
  EXPECT_EQ(order.sizeOf(kTrackWritten + 1, uint64_t(kTrackWritten) + 2).tracks, 0u);
}

}  // namespace
}  // namespace tovrani
