// The sound tags: DefineSound, StartSound, SoundStreamHead/2 with the scan
// of its SoundStreamBlocks. Every sound becomes one media stream ("Media n")
// and one library item; StartSound and the stream write the sound layers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "swf/forward_file_reader.h"
#include "swf/swf_reader.h"

namespace tovrani {

struct ConverterContext;
struct SoundLayerState;

// Compression nibbles (format byte & 0xF0) of the routes.
constexpr uint8_t kSoundRouteMp3 = 0x20;
constexpr uint8_t kSoundRouteAdpcm = 0x10;
constexpr uint8_t kSoundRoutePcm = 0x00;
constexpr uint8_t kSoundRoutePcmLittleEndian = 0x30;
// SOUNDINFO flags that set the sync value: 1 (no multiple), 2 (stop).
constexpr uint8_t kSyncNoMultipleFlag = 0x10;
constexpr uint8_t kSyncStopFlag = 0x20;

// Where the stream scan reads tags from: the movie's work file or a
// sprite's body.
class TagSource {
 public:
  virtual ~TagSource() = default;
  virtual uint64_t pos() const = 0;
  virtual uint64_t end() const = 0;
  virtual bool seek(uint64_t p) = 0;
  // The next tag's header; false when it runs past the end.
  virtual bool header(TagHeader& h) = 0;
  // The body of the tag whose header was just read; the source then stands
  // after it.
  virtual bool body(const TagHeader& h, std::vector<uint8_t>& out) = 0;
};

// The movie's work file from its position, read forward in blocks (a scan
// walks every tag of a stretch); the file stands where the source does once
// the source goes.
class FileTagSource : public TagSource {
 public:
  FileTagSource(std::FILE* f, uint64_t end);
  ~FileTagSource() override;
  FileTagSource(const FileTagSource&) = delete;
  FileTagSource& operator=(const FileTagSource&) = delete;
  uint64_t pos() const override { return in_.pos(); }
  uint64_t end() const override { return end_; }
  bool seek(uint64_t p) override;
  bool header(TagHeader& h) override { return in_.tagHeader(h); }
  bool body(const TagHeader& h, std::vector<uint8_t>& out) override;

 private:
  std::FILE* f_;
  uint64_t end_;
  ForwardFileReader in_;
};

class BodyTagSource : public TagSource {
 public:
  BodyTagSource(std::span<const uint8_t> data, uint64_t at) : data_(data), pos_(at) {}
  uint64_t pos() const override { return pos_; }
  uint64_t end() const override { return data_.size(); }
  bool seek(uint64_t p) override;
  bool header(TagHeader& h) override;
  bool body(const TagHeader& h, std::vector<uint8_t>& out) override;

 private:
  std::span<const uint8_t> data_;
  uint64_t pos_;
};

// DefineSound (14): the media stream and library item of the sound whose
// item number is its character id. A sound that cannot be read is skipped
// with a message.
void HandleDefineSound(ConverterContext& ctx, std::span<const uint8_t> body);

// StartSound (15): the sound's keyframe on the event layer of `layers`, or,
// for a further StartSound in the same frame, a layer of its own. A sound
// without library item writes nothing.
void HandleStartSound(ConverterContext& ctx, SoundLayerState& layers,
                      std::span<const uint8_t> body);

// SoundStreamHead and SoundStreamHead2 (18, 45): scans the blocks that
// follow in `source` (which stands after the head and is put back there),
// places the stream as a sound and writes its keyframe on the stream layer.
// Returns 0, or 24 when a tag after the head runs past the end.
uint32_t HandleSoundStreamHead(ConverterContext& ctx, SoundLayerState& layers,
                               std::span<const uint8_t> body, TagSource& source);

// SoundStreamBlock (19) met by the tag loop after the stream's last stretch
// (its header at `headerPos` of `source`, which stands after the block and
// is put back there): a block that is not all zeros starts a new stretch,
// scanned and placed as a sound of its own, after an empty keyframe for
// the frames since the last stretch. Returns 0, or 24 as the head does.
uint32_t HandleSoundStreamBlock(ConverterContext& ctx, SoundLayerState& layers,
                                std::span<const uint8_t> body, TagSource& source, uint64_t headerPos);

}  // namespace tovrani
