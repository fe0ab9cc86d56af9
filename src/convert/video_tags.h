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
// turn, entering a DefineSprite's tags after its 4 header bytes. Where a
// walk goes from a tag depends on that tag alone, so two walks that meet go
// on together. The index holds one walk, from the first stream's position;
// a stream whose position it does not pass through walks only until it
// meets it, and the index then holds the walk from there. Tags are counted
// from the walk's end: a tag's height is the number of tags from it to the
// end, and stays as it is when a walk is joined in front of it.
struct VideoFrameIndex {
  struct Tag {
    uint64_t headerPos = 0;
    uint16_t code = 0;
    bool opensSprite = false;  // a DefineSprite whose tags the walk enters
    int32_t stream = -1;       // a VideoFrame's stream, when its frame is indexed
    // Where a walk that starts here on nesting level 1 or 2 stops: the
    // height of the End that ends it, 0 at the walk's end.
    uint32_t stopFromLevel1 = 0, stopFromLevel2 = 0;
  };
  struct Frame {
    uint32_t height = 0;  // of its tag
    uint64_t bodyPos = 0;
    uint32_t length = 0;  // of the whole body
    uint16_t frameNum = 0;
    bool probed = false;  // the body holds bytes 8 to 10
    uint8_t probe[3] = {};
  };
  bool built = false;
  // tags[h - 1] is the tag of height h: the walk's last tag comes first.
  std::vector<Tag> tags;
  bool cutShort = false;  // the walk met a tag running past the movie's end
  // Each stream's frames by height, ascending: the last in the file first.
  std::unordered_map<uint16_t, std::vector<Frame>> framesByStream;
};

// Returns 0, or kResultVideoPastEnd / kResultVideoFramePastEnd when the
// walk over the following tags meets a tag running past the movie's end.
// `scanFrom` is the file position the passes start at. A stream of an id
// converted before is left out, as the player keeps the first; one whose
// walk the movie's budget refuses keeps no frames, and the entries of the
// frame numbers its frames skip are charged to the budget before they are
// written.
uint32_t HandleDefineVideoStream(ConverterContext& ctx, std::span<const uint8_t> body, uint64_t scanFrom);

// Lays out a video media stream: the head, then per frame its index entry
// (with entries for the frame numbers missing before it) and its data.
class VideoMediaWriter {
 public:
  // keyBitOffset: 8, 9 or 10, or -1 when no key bit is known; frameRate in
  // frames per second (0 when unknown).
  VideoMediaWriter(uint8_t codecId, uint16_t width, uint16_t height, int keyBitOffset, double frameRate);
  // How many frame numbers the frame skips: entries addFrame writes for the
  // numbers between the frame before and this one.
  uint32_t missingBefore(std::span<const uint8_t> body) const;
  // A VideoFrame body (stream id, frame number, data), at least 4 bytes.
  // Without `fillGap` the frame follows the one before it, whatever its
  // number.
  void addFrame(std::span<const uint8_t> body, bool fillGap = true);
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
