// The video streams of a movie as the timeline builder reads them: one row
// per DefineVideoStream, filled by the engine.
#pragma once

#include <cstdint>

namespace tovrani {

struct VideoStreamRecord {
  uint16_t videoId = 0;
  uint16_t itemNo = 0;  // its library item, named by its instances (0: the video id)
  uint16_t frameCount = 0;
  uint16_t width = 0, height = 0;     // pixels
  uint16_t wrapperItem = 0xFFFF;      // item number of its wrapper symbol, 0xFFFF none yet
  uint32_t wrapperStream = 0;
  // Filled by the video handler: the DefineVideoStream's codec and flag
  // byte, and where its "Media N" stream went.
  uint8_t codecId = 0, videoFlags = 0;
  uint16_t mediaNo = 0;
  uint32_t streamLength = 0;
  uint32_t streamStart = 0;  // mini sector or sector
};

}  // namespace tovrani
