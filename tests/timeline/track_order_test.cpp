// The builder's order of tracks: the tracks and entries a range of keys
// holds, as the budget of group pages asks for them, while groups cut
// entries in two and tracks are written.
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
  for (int round = 0; round < 200; ++round) {
    const int32_t i = int32_t(random() % (tracks.size() - 1));
    tracks[size_t(i)].entries.resize(random() % 9 + 1);
    order.recount(i);
    if (round % 3 == 0) order.markWritten(int32_t(random() % tracks.size()));
    const uint32_t lo = random() % 130, hi = lo + random() % 40;
    uint64_t inRange = 0, entries = 0;
    for (size_t t = 0; t + 1 < tracks.size(); ++t)
      if (tracks[t].key >= lo && tracks[t].key < hi) {
        ++inRange;
        entries += tracks[t].entries.size();
      }
    EXPECT_EQ(order.sizeOf(lo, hi).tracks, inRange) << round;
    EXPECT_EQ(order.sizeOf(lo, hi).entries, entries) << round;
  }
  EXPECT_EQ(order.sizeOf(0, uint64_t(kTrackWritten) + 1).tracks, tracks.size() - 1);
}

}  // namespace
}  // namespace tovrani
