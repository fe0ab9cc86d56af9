// DefineVideoStream: the stream's VideoFrame tags, from the rest of the
// movie and one sprite level deep, become one "Media N" stream of the
// document (a head, a frame index and the frame data) with its library item.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace tovrani {

struct ConverterContext;
struct SwfContext;

// The tags of the movie as the video passes walk them: each tag header in
// turn, entering a DefineSprite's tags after its 4 header bytes. Built once
// from the first stream's position and reused by the later streams, so that
// no stream scans the rest of the file again.
struct VideoFrameIndex {
  struct Tag {
    uint64_t headerPos = 0;
    uint16_t code = 0;
    bool opensSprite = false;  // a DefineSprite whose tags the walk enters
  };
  struct Frame {
    uint32_t tag = 0;  // index into tags
    uint64_t bodyPos = 0;
    uint32_t length = 0;  // of the whole body
    uint16_t frameNum = 0;
    bool probed = false;  // the body holds bytes 8 to 10
    uint8_t probe[3] = {};
  };
  bool built = false;
  std::vector<Tag> tags;
  bool cutShort = false;  // the walk met a tag running past the movie's end
  // Where a walk that starts at a tag on nesting level 1 or 2 stops (the
  // index of the End that ends it, or tags.size()).
  std::vector<uint32_t> stopFromLevel1, stopFromLevel2;
  std::unordered_map<uint16_t, std::vector<Frame>> framesByStream;  // in file order
};

// Returns 0, or kResultVideoPastEnd / kResultVideoFramePastEnd when the
// walk over the following tags meets a tag running past the movie's end.
// `scanFrom` is the file position the passes start at.
uint32_t HandleDefineVideoStream(ConverterContext& ctx, std::span<const uint8_t> body, uint64_t scanFrom);

// Lays out a video media stream: the head, then per frame its index entry
// (with entries for the frame numbers missing before it) and its data.
class VideoMediaWriter {
 public:
  // keyBitOffset: 8, 9 or 10, or -1 when no key bit is known; frameRate in
  // frames per second (0 when unknown).
  VideoMediaWriter(uint8_t codecId, uint16_t width, uint16_t height, int keyBitOffset, double frameRate);
  // A VideoFrame body (stream id, frame number, data), at least 4 bytes.
  void addFrame(std::span<const uint8_t> body);
  bool empty() const { return frames_ == 0; }
  // The whole stream; the last entry marked as the last.
  std::vector<uint8_t> finish();

 private:
  uint8_t codecId_;
  int keyBitOffset_;
  uint32_t nextFrame_ = 0;  // the next frame number expected
  uint32_t frames_ = 0;
  std::vector<uint8_t> head_, data_;
};

// The media stream of a video without frames: a head of 80 bytes holding
// the size and frame rate, and a tail of 21 bytes.
std::vector<uint8_t> FramelessVideoMedia(uint16_t width, uint16_t height, double frameRate);
// The movie's frame rate in frames per second: a video plays at it.
double MovieFrameRate(const SwfContext& ctx);

// The key-bit offset (8, 9 or 10) from the probed bytes 8-10 of the frames,
// -1 when no key bit shows.
int FindKeyBitOffset(std::span<const std::array<uint8_t, 3>> probes);

}  // namespace tovrani
