// The movie being read: its version, the work copy and the header's values,
// and what the tag statistics leave for the handlers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/shell_context.h"
#include "swf/movie_budget.h"
#include "swf/swf_values.h"
#include "swf/tag_statistics.h"

namespace tovrani {

struct SwfContext : ShellContext {
  uint8_t m_nSwfVersion = 0;
  std::FILE* m_pSwfFile = nullptr;  // the work copy being read
  uint64_t m_nSwfEnd = 0;
  SwfRect m_rcFrame;
  uint16_t m_wFrameRate = 0, m_wFrameCount = 0;  // as the header gives them
  // Placements per used depth of the last sprite counted, ascending by depth.
  std::vector<PlacementStat> m_pPlacementStats;
  // What the movie's bytes allow its conversion to decode (unbounded until
  // the header has been read).
  MovieBudget m_budget;
};

}  // namespace tovrani
