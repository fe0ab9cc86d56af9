// The component wrapper symbol: a movie clip placed with component
// parameters and moved by the next placement of its depth is put into a
// symbol of its own, which holds the clip with its name and parameters; the
// placement and its later moves then place that symbol.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "timeline/display_list.h"

namespace tovrani {

struct TimelineContext;

// The entries of one track by character id, in index order, made once per
// layer; entries already retargeted are left out.
class TrackCharacterIndex {
 public:
  void build(const DepthTrack& t);
  bool built() const { return built_; }
  void clear();
  const std::vector<int32_t>* entriesOf(uint16_t characterId) const;

 private:
  bool built_ = false;
  std::unordered_map<uint16_t, std::vector<int32_t>> byCharacter_;
};

// Tries the wrapper for entry i of track t. When the gate passes, the
// wrapper page is written and committed, and the entries from i to the last
// move of the same clip that place that clip become kind-0 placements of
// the wrapper. Returns true when entry i was retargeted.
bool WriteComponentWrapper(TimelineContext& ctx, DepthTrack& t, int32_t i, uint16_t timelineFrames,
                           TrackCharacterIndex& index);

}  // namespace tovrani
