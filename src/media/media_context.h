// The media converters' state (bitmaps, sounds, video) for one document.
#pragma once

#include "fla/fla_context.h"

namespace tovrani {

struct MediaContext : FlaContext {};

}  // namespace tovrani
