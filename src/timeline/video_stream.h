// The video streams of a movie as the timeline builder reads them: one row
// per DefineVideoStream, filled by the engine.
#pragma once

#include <cstdint>

namespace tovrani {

struct VideoStreamRecord {
  uint16_t videoId = 0;
  uint16_t frameCount = 0;
  uint16_t width = 0, height = 0;     // pixels
  uint16_t wrapperItem = 0xFFFF;      // item number of its wrapper symbol, 0xFFFF none yet
  uint32_t wrapperStream = 0;
};

}  // namespace tovrani
