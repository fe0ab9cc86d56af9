// The conversion engine: one call converts one SWF movie into one FLA
// document. Set-up (work copy, checks, inflation, format level, the scene's
// work files) is here; the tag loop is in tag_loop.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "fla/file_helpers.h"

namespace tovrani {

struct ConverterContext;

// Result codes of ConvertMovie.
enum EngineResult : uint32_t {
  kResultDone = 0,               // also after a cancel
  kResultWorkCopyFailed = 16,    // copying the source failed, or it is 2 GiB or more
  kResultNoWorkBuffer = 17,      // out of memory during set-up
  kResultInflatedTooShort = 18,  // a compressed movie inflates to under 14 bytes, or declares more than
                                 // its file may inflate to (the detail says which)
  kResultStatisticsPastEnd = 19,
  kResultNoTagBuffer = 21,
  kResultVideoPastEnd = 22,  // 22 and 23: the video handler's read-ahead
  kResultVideoFramePastEnd = 23,
  kResultSoundStreamPastEnd = 24,
  kResultSpriteTagPastEnd = 25,
  kResultOutputLocked = 43,  // the output cannot be written
  // 44 (kResultOutputIncomplete): a work file or the output failed to write.
  // 46 (kResultDocumentTooLarge): the document would take more than the
  // movie's size allows (fla/write_bound.h).
  // 47 and 48 (kResultTooMuchTime, kResultTooMuchMemory): the conversion
  // took more processor time or memory than the movie's size allows
  // (platform/resource_bound.h).
  kResultInputUnreadable = 49,  // the source is not a plain file or cannot be opened (the detail says why)
  kResultDocumentTaken = 50,    // ConvertSwfFiles: the document is another source's, or its set takes an input
  kResultNameTooLong = 51,      // a name of the document set would pass its folder's limit, or a path
                                // the system takes whole (the source, the FLA's folder) the path limit
  kResultInputTooShort = 136,   // 14 bytes or less
  kResultNotSwf = 137,          // no "FWS" or "CWS" signature (also "ZWS")
  kResultLengthMismatch = 138,  // header length does not match the data
  kResultPublishMode = 156,     // a non-zero mode
  // kResultCancelled (130): a cancel read after the tag loop abandoned the
  // document; nothing was committed.
};

// What the engine calls of the document writer and of the passes that
// other parts of the program provide. An empty entry is skipped.
struct EngineServices {
  // The scene build (mode 2 at a closing ShowFrame, 3 at End). Without it the
  // scene page is the empty timeline.
  std::function<void(ConverterContext& ctx, uint32_t mode, uint16_t frames)> buildSceneTimeline;
  // The sound layers' closing requests at the scene build.
  std::function<void(ConverterContext& ctx)> closeEventSoundFrames;
  std::function<void(ConverterContext& ctx)> closeEventSoundLayer;
  std::function<void(ConverterContext& ctx)> closeStreamSoundLayer;
  std::function<void(ConverterContext& ctx)> endEventSoundLayer;
  // The finish: trailing layers, the document finaliser, the container.
  std::function<uint32_t(ConverterContext& ctx)> finish;
};

// The services as the program provides them.
EngineServices DefaultEngineServices();

// Mode 0 converts `source` into `output`; any other mode is the
// publish-settings form and returns 156.
uint32_t ConvertMovie(ConverterContext& ctx, const std::string& source, const std::string& output,
                      uint32_t mode);
uint32_t ConvertMovie(ConverterContext& ctx, const std::string& source, const std::string& output,
                      uint32_t mode, const EngineServices& services);

// The file-name part of a path with its last three characters replaced by
// "swf" (the published movie's name).
std::string PublishSwfName(const std::string& outputPath);

// Adds 1 to the keyframe duration at `pos` (a u16 that stays at 65,535
// rather than carry into the byte after it) and leaves the file at its end.
bool BumpU16At(std::FILE* f, int64_t pos);

}  // namespace tovrani
