// Placements of embedded videos: a CPicVideoStream instance written into the
// page, or, for a tinted placement or one that starts inside the video, an
// instance of the video's wrapper symbol ("Video"), made once per video.
#pragma once

#include <cstdint>
#include <cstdio>

#include "fla/class_tags.h"
#include "timeline/display_list.h"
#include "timeline/video_stream.h"

namespace tovrani {

struct TimelineContext;

// A video placement needs the wrapper: its ratio is not 0 or its colour
// transform is not neutral.
bool VideoNeedsWrapper(const PlacementEntry& e);

// The CPicVideoStream record after its class tag, with matrix m.
void WriteVideoStreamRecord(std::FILE* page, const VideoStreamRecord& v, const SwfMatrix& m,
                            const std::string& instanceName, uint8_t level);

enum class VideoElement {
  kNone,        // no video row (or the wrapper could not be made): nothing written
  kDirect,      // the instance is written into the page
  kRetargeted,  // e now places the wrapper symbol as a plain instance (kind 0)
};

// The video step of a kind-6 entry.
VideoElement WriteVideoElement(TimelineContext& ctx, PlacementEntry& e, PageClassState& state);

}  // namespace tovrani
