#include "convert/video_tags.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "convert/converter_context.h"
#include "convert/engine.h"
#include "convert/placements.h"
#include "convert/tag_loop.h"
#include "fla/document_finaliser.h"
#include "fla/stream_placement.h"
#include "platform/resource_bound.h"
#include "swf/forward_file_reader.h"
#include "swf/swf_reader.h"
#include "platform/movie_messages.h"

namespace tovrani {
namespace {

bool On(const uint8_t* option) { return option && *option; }

constexpr char kVideoCaption[] = "BRASKELON Tovrani Warning";
constexpr uint16_t kTagEnd = 0, kTagDefineSprite = 39, kTagVideoFrame = 61;
constexpr size_t kProbeLimit = 1000;
// The frame byte's key bit at the key-bit offset: set on key frames.
constexpr uint8_t kKeyBitMask = 0x20;
constexpr uint32_t kKeyFrameKind = 4, kOtherFrameKind = 5;

void PutU8(std::vector<uint8_t>& v, uint8_t b) { v.push_back(b); }
void PutU16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void PutU32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

// A frameless video's media stream, 101 bytes: u32 3, a byte 0, the f64
// frame rate, zeros, u16 width at 29, u16 height at 33, at 37 the f64 frame
// period (1 / rate taken in single precision, 0 for a rate of 0), fixed
// bytes, at 59 the f64 100.0 for a rate of 0 and 1.0 otherwise, fixed bytes
// up to the 80-byte head's end, and the 21-byte tail. A video with frames
// holds the same two blocks around its own fixed fields: bytes 4-20 after
// its lead and bytes 35-79 after its height.
constexpr std::array<uint8_t, 101> kFramelessVideo = {
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x78,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x59, 0x40, 0x18,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr size_t kRateAt = 5, kWidthAt = 29, kHeightAt = 33, kPeriodAt = 37, kScaleAt = 59;
constexpr size_t kFirstBlockAt = 4, kFirstBlockEnd = 21, kSecondBlockAt = 35, kSecondBlockEnd = 80;
// The head's third fixed field of a video with frames.
constexpr uint32_t kVideoHeadConstant = 0;

void PatchF64(std::array<uint8_t, 101>& v, size_t at, double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  for (int i = 0; i < 8; ++i) v[at + size_t(i)] = uint8_t(bits >> (8 * i));
}

std::array<uint8_t, 101> FramelessVideo(uint16_t width, uint16_t height, double frameRate) {
  std::array<uint8_t, 101> v = kFramelessVideo;
  PatchF64(v, kRateAt, frameRate);
  v[kWidthAt] = uint8_t(width);
  v[kWidthAt + 1] = uint8_t(width >> 8);
  v[kHeightAt] = uint8_t(height);
  v[kHeightAt + 1] = uint8_t(height >> 8);
  const double period = frameRate > 0 ? double(1.0f / float(frameRate)) : 0.0;
  PatchF64(v, kPeriodAt, period);
  PatchF64(v, kScaleAt, frameRate > 0 ? 1.0 : 100.0);
  return v;
}

// A missing frame's entry is an empty frame of kind 4 that the handler
// completes with the data offset.
void WriteMissingFrameEntry(std::vector<uint8_t>& v) {
  PutU32(v, 0);
  PutU32(v, 1);
  PutU32(v, kKeyFrameKind);
  PutU8(v, 1);
}

bool ReadAtFile(std::FILE* f, uint64_t pos, void* dst, size_t n) {
  return std::fseek(f, long(pos), SEEK_SET) == 0 && std::fread(dst, 1, n, f) == n;
}

// The height of the indexed tag at `pos`, 0 when none is there.
uint32_t HeightAt(const VideoFrameIndex& index, uint64_t pos) {
  // Heights ascend as positions descend.
  auto it = std::lower_bound(index.tags.begin(), index.tags.end(), pos,
                             [](const VideoFrameIndex::Tag& t, uint64_t p) { return t.headerPos > p; });
  return it != index.tags.end() && it->headerPos == pos ? uint32_t(it - index.tags.begin()) + 1 : 0;
}

// The height of the first tag of the walk from `pos` (0 when no tag follows
// it), walking from there until the walk meets the index or the movie ends
// (see VideoFrameIndex); nullopt, with the index as it was, when the
// movie's budget of tags walked runs out first.
std::optional<uint32_t> IndexFrom(ConverterContext& ctx, uint64_t pos) {
  VideoFrameIndex& index = ctx.m_videoFrameIndex;
  if (index.built) {
    if (const uint32_t h = HeightAt(index, pos)) return h;
    // At the walk's end: no tag follows.
    if (!index.tags.empty() && pos >= ctx.m_nSwfEnd) return 0;
  }
  // The tags walked, and the frames among them by their place in `walked`:
  // most tags are no frame.
  std::vector<VideoFrameIndex::Tag> walked;
  std::vector<std::pair<size_t, VideoFrameIndex::Frame>> walkedFrames;
  uint32_t joinAt = 0;  // the height of the indexed tag the walk met
  bool cut = false;
  std::FILE* f = ctx.m_pSwfFile;
  const uint64_t end = ctx.m_nSwfEnd;
  uint64_t at = pos;
  // The walk only goes forward: the movie is read in blocks, not a seek a tag.
  ForwardFileReader in(f, pos, end);
  while (f && at < end) {
    if (index.built && !walked.empty() && (joinAt = HeightAt(index, at)) != 0) break;
    if (!ctx.m_budget.videoWalk.Take(1)) return std::nullopt;
    PumpMessages(ctx);
    if (ResourceBoundCrossed()) return std::nullopt;
    uint8_t head[6];
    const uint64_t left = end - at;
    if (left < 2 || !in.readAt(at, head, 2)) {
      cut = true;
      break;
    }
    const uint16_t word = uint16_t(head[0] | head[1] << 8);
    const uint16_t code = word >> 6;
    uint64_t length = word & 0x3F, headLen = 2;
    if (length == 0x3F) {
      if (left < 6 || !in.readAt(at + 2, head + 2, 4)) {
        cut = true;
        break;
      }
      length = head[2] | head[3] << 8 | uint32_t(head[4]) << 16 | uint32_t(head[5]) << 24;
      headLen = 6;
    }
    if (length > left - headLen) {
      cut = true;
      break;
    }
    VideoFrameIndex::Tag w;
    w.headerPos = at;
    w.code = code;
    const uint64_t body = at + headLen;
    if (code == kTagVideoFrame && length >= 4) {
      uint8_t b[11] = {};
      const size_t n = size_t(std::min<uint64_t>(length, sizeof b));
      if (in.readAt(body, b, n)) {
        VideoFrameIndex::Frame fr;
        fr.bodyPos = body;
        fr.length = uint32_t(length);
        fr.frameNum = uint16_t(b[2] | b[3] << 8);
        // Bytes 8 to 10 only from a body that holds them.
        fr.probed = n == sizeof b;
        std::copy(b + 8, b + 11, fr.probe);
        w.stream = uint16_t(b[0] | b[1] << 8);
        walkedFrames.emplace_back(walked.size(), fr);
      }
    }
    // A sprite's tags are walked as they stand after its id and frame count.
    // A body too short to hold both holds no tags: the walk goes on after
    // it, on the same nesting level.
    w.opensSprite = code == kTagDefineSprite && length > 4;
    at = w.opensSprite ? body + 4 : body + length;
    walked.push_back(w);
  }
  // The tags before the one met leave the index; a walk that met none
  // replaces it.
  if (!index.built || joinAt == 0) {
    index.tags.clear();
    index.framesByStream.clear();
    index.cutShort = cut;
  }
  for (size_t h = index.tags.size(); h > joinAt; --h) {
    const VideoFrameIndex::Tag& t = index.tags[h - 1];
    if (t.stream >= 0) index.framesByStream[uint16_t(t.stream)].pop_back();
  }
  index.tags.resize(joinAt);
  index.tags.reserve(joinAt + walked.size());
  index.built = true;
  size_t frames = walkedFrames.size();
  for (size_t i = walked.size(); i-- > 0;) {
    VideoFrameIndex::Tag& t = walked[i];
    const uint32_t h = uint32_t(index.tags.size()) + 1;
    const uint32_t next1 = h > 1 ? index.tags[h - 2].stopFromLevel1 : 0;
    const uint32_t next2 = h > 1 ? index.tags[h - 2].stopFromLevel2 : 0;
    if (t.code == kTagEnd) {
      t.stopFromLevel1 = h;
      t.stopFromLevel2 = next1;
    } else if (t.opensSprite) {
      t.stopFromLevel1 = t.stopFromLevel2 = next2;
    } else {
      t.stopFromLevel1 = next1;
      t.stopFromLevel2 = next2;
    }
    if (frames > 0 && walkedFrames[frames - 1].first == i) {
      VideoFrameIndex::Frame& fr = walkedFrames[--frames].second;
      fr.height = h;
      index.framesByStream[uint16_t(t.stream)].push_back(fr);
    }
    index.tags.push_back(t);
  }
  return uint32_t(walked.size()) + joinAt;
}

// The stream's frames of heights in (stop, first], by height: the last in
// the file first.
std::span<const VideoFrameIndex::Frame> FramesIn(const VideoFrameIndex& index, uint16_t id, uint32_t stop,
                                                 uint32_t first) {
  auto it = index.framesByStream.find(id);
  if (it == index.framesByStream.end()) return {};
  const auto& v = it->second;
  auto lo = std::upper_bound(v.begin(), v.end(), stop,
                             [](uint32_t h, const VideoFrameIndex::Frame& f) { return h < f.height; });
  auto hi = std::upper_bound(lo, v.end(), first,
                             [](uint32_t h, const VideoFrameIndex::Frame& f) { return h < f.height; });
  return {lo, hi};
}

class VideoStream {
 public:
  VideoStream(ConverterContext& ctx, std::span<const uint8_t> body, uint64_t scanFrom)
      : ctx_(ctx), body_(body), scanFrom_(scanFrom) {}
  uint32_t Run();

 private:
  uint32_t Collect(std::vector<uint8_t>& media);
  void Place(const std::vector<uint8_t>& media);
  void Tell(const std::string& what);

  ConverterContext& ctx_;
  std::span<const uint8_t> body_;
  uint64_t scanFrom_;
  VideoStreamRecord rec_;
};

// The video record from the DefineVideoStream body.
bool FillRecord(std::span<const uint8_t> body, VideoStreamRecord& rec) {
  SwfReader r(body);
  rec.videoId = r.u16();
  rec.frameCount = r.u16();
  rec.width = r.u16();
  rec.height = r.u16();
  rec.videoFlags = r.u8();
  rec.codecId = r.u8();
  return r.ok();
}

uint32_t VideoStream::Collect(std::vector<uint8_t>& media) {
  const std::optional<uint32_t> first = IndexFrom(ctx_, scanFrom_);
  if (!first) {
    // The stream keeps the frameless video's stream.
    if (ctx_.m_budget.videoWalk.FirstRefusal())
      Tell("finding its frames would walk the movie's tags more often than the movie holds; the video was left "
           "without frames.");
    return kResultDone;
  }
  const VideoFrameIndex& index = ctx_.m_videoFrameIndex;
  const uint32_t stop = *first > 0 ? index.tags[*first - 1].stopFromLevel1 : 0;
  // In file order from the back.
  const auto frames = FramesIn(index, rec_.videoId, stop, *first);
  const bool runsPastEnd = stop == 0 && index.cutShort;
  // The probe pass stops after its first 1,000 frames; only a walk that
  // reaches the cut without them fails it.
  if (runsPastEnd && frames.size() < kProbeLimit) return kResultVideoPastEnd;
  std::vector<std::array<uint8_t, 3>> probes;
  for (auto f = frames.rbegin(); f != frames.rend() && probes.size() < kProbeLimit; ++f)
    if (f->probed) probes.push_back({f->probe[0], f->probe[1], f->probe[2]});
  const int keyBit = FindKeyBitOffset(probes);
  if (runsPastEnd) return kResultVideoFramePastEnd;

  VideoMediaWriter writer(rec_.codecId, rec_.width, rec_.height, keyBit, MovieFrameRate(ctx_));
  std::vector<uint8_t> frame;
  for (auto f = frames.rbegin(); f != frames.rend(); ++f) {
    PumpMessages(ctx_);
    if (ResourceBoundCrossed()) break;
    frame.resize(f->length);
    if (!ReadAtFile(ctx_.m_pSwfFile, f->bodyPos, frame.data(), frame.size())) continue;
    // The entries of the frame numbers a frame skips are charged before they
    // are written; refused, the frame follows the one before it.
    const uint32_t missing = writer.missingBefore(frame);
    const bool fill = missing == 0 || ctx_.m_budget.videoGaps.Take(missing);
    if (!fill && ctx_.m_budget.videoGaps.FirstRefusal())
      Tell("its frames skip more frame numbers than the movie holds (" + std::to_string(missing) +
           " before frame " + std::to_string(f->frameNum) + "); the gap was left unfilled.");
    writer.addFrame(frame, fill);
  }
  if (!writer.empty()) media = writer.finish();
  return kResultDone;
}

void VideoStream::Tell(const std::string& what) {
  if (ctx_.m_pShell)
    ctx_.m_pShell->ShowMessage(kVideoCaption, "DefineVideoStream " + std::to_string(rec_.videoId) + ": " + what);
}

void VideoStream::Place(const std::vector<uint8_t>& media) {
  const uint32_t row = uint32_t(ctx_.m_pVideos.size());
  StreamPlacement where;
  if (!AppendStreamData(ctx_, media, where) ||
      !WriteStreamDirEntry(ctx_, rec_.mediaNo, uint32_t(media.size()), where.start))
    return;
  ctx_.m_pBigStreamList[ctx_.m_nBigStreamList++] = where.regular ? row + kVideoStreamTag : 0;
  rec_.streamLength = uint32_t(media.size());
  rec_.streamStart = where.start;
}

uint32_t VideoStream::Run() {
  if (!FillRecord(body_, rec_)) {
    char text[96];
    if (body_.size() >= 2)
      std::snprintf(text, sizeof text, "DefineVideoStream %u (%zu bytes) is too short to be read; it was left out.",
                    unsigned(rec_.videoId), body_.size());
    else
      std::snprintf(text, sizeof text, "DefineVideoStream (%zu bytes) is too short to be read; it was left out.",
                    body_.size());
    ShowWarning(ctx_, "video streams too short to be read", kVideoCaption, text);
    return kResultDone;
  }
  // A later stream of an id already defined is left out: the player keeps
  // the first, and its frames are the first one's already.
  if (ctx_.m_videoIds.count(rec_.videoId)) return kResultDone;
  if (ctx_.m_pShell) ctx_.m_pShell->SetCurrentAction("adding stream video...");
  std::vector<uint8_t> media;
  if (rec_.frameCount != 0) {
    if (uint32_t r = Collect(media); r != kResultDone) return r;
  }
  // A stream without frames gets the frameless video's stream, so its
  // library item has one.
  if (media.empty()) {
    const auto frameless = FramelessVideoMedia(rec_.width, rec_.height, MovieFrameRate(ctx_));
    media.assign(frameless.begin(), frameless.end());
  }
  if (!LibraryTakes(ctx_, LibraryObject::kVideo) || !TakeMediaNo(ctx_, rec_.mediaNo)) return kResultDone;
  rec_.itemNo = DefinitionItemNo(ctx_, rec_.videoId);
  Place(media);
  const uint32_t row = uint32_t(ctx_.m_pVideos.size());
  ctx_.m_pVideos.push_back(rec_);
  ctx_.m_videoIds.insert(rec_.videoId);
  DocumentLibrary::Video item;
  item.itemNo = rec_.itemNo;
  item.flag = rec_.frameCount != 0 ? 1 : 0;
  item.mediaNo = rec_.mediaNo;
  ctx_.m_library.videos.push_back(item);
  RegisterPlacedCharacter(ctx_, rec_.videoId, kElementVideo, row);
  ++ctx_.m_nSymbolStreams;
  return kResultDone;
}

}  // namespace

int FindKeyBitOffset(std::span<const std::array<uint8_t, 3>> probes) {
  for (int o = 0; o < 3; ++o) {
    for (size_t j = 1; j < probes.size(); ++j) {
      const uint8_t a = probes[0][size_t(o)], b = probes[j][size_t(o)];
      if (a != b && (a & 0xDF) == (b & 0xDF)) return 8 + o;
    }
  }
  return -1;
}

std::vector<uint8_t> FramelessVideoMedia(uint16_t width, uint16_t height, double frameRate) {
  const std::array<uint8_t, 101> v = FramelessVideo(width, height, frameRate);
  return {v.begin(), v.end()};
}

double MovieFrameRate(const SwfContext& ctx) { return ctx.m_wFrameRate / 256.0; }

VideoMediaWriter::VideoMediaWriter(uint8_t codecId, uint16_t width, uint16_t height, int keyBitOffset,
                                   double frameRate)
    : codecId_(codecId), keyBitOffset_(keyBitOffset) {
  const std::array<uint8_t, 101> blocks = FramelessVideo(width, height, frameRate);
  head_.reserve(16 + kFirstBlockEnd - kFirstBlockAt + kSecondBlockEnd - kSecondBlockAt);
  PutU32(head_, (uint32_t(codecId) << 8) + 2);
  head_.insert(head_.end(), blocks.begin() + kFirstBlockAt, blocks.begin() + kFirstBlockEnd);
  PutU32(head_, kVideoHeadConstant);
  PutU32(head_, 1);
  PutU16(head_, width);
  PutU8(head_, 0);
  PutU8(head_, 0);
  PutU16(head_, height);
  head_.insert(head_.end(), blocks.begin() + kSecondBlockAt, blocks.begin() + kSecondBlockEnd);
}

uint32_t VideoMediaWriter::missingBefore(std::span<const uint8_t> body) const {
  if (body.size() < 4) return 0;
  const uint32_t frameNum = uint32_t(body[2] | body[3] << 8);
  return frameNum > nextFrame_ ? frameNum - nextFrame_ : 0;
}

void VideoMediaWriter::addFrame(std::span<const uint8_t> body, bool fillGap) {
  if (body.size() < 4) return;
  const uint32_t frameNum = uint32_t(body[2] | body[3] << 8);
  // Missing frame numbers get entries only going forward.
  for (; fillGap && nextFrame_ < frameNum; ++nextFrame_) {
    WriteMissingFrameEntry(head_);
    PutU32(head_, uint32_t(data_.size()));
  }
  nextFrame_ = std::max(nextFrame_, frameNum + 1);
  const size_t at = data_.size();
  data_.insert(data_.end(), body.begin() + 4, body.end());
  // These codecs keep the frame's last byte in front.
  if ((codecId_ == 4 || codecId_ == 5) && data_.size() - at > 1)
    std::rotate(data_.begin() + long(at), data_.end() - 1, data_.end());
  const bool key = keyBitOffset_ >= 0 && size_t(keyBitOffset_) < body.size() &&
                   (body[size_t(keyBitOffset_)] & kKeyBitMask);
  PutU32(head_, uint32_t(body.size() - 4));
  PutU32(head_, 1);
  PutU32(head_, key ? kKeyFrameKind : kOtherFrameKind);
  PutU8(head_, 1);
  PutU32(head_, uint32_t(data_.size()));
  ++frames_;
}

std::vector<uint8_t> VideoMediaWriter::finish() {
  std::vector<uint8_t> out = std::move(head_);
  if (frames_) out[out.size() - 5] = 0;
  out.insert(out.end(), data_.begin(), data_.end());
  PutU8(out, 1);
  PutU32(out, 0);
  PutU32(out, 0);
  if (codecId_ == 4 || codecId_ == 5) {
    PutU32(out, 0);
    out.insert(out.end(), {0xFF, 0xFE, 0xFF});
    PutU32(out, 0);
    PutU8(out, 0);
  }
  return out;
}

uint32_t HandleDefineVideoStream(ConverterContext& ctx, std::span<const uint8_t> body, uint64_t scanFrom) {
  if (!On(ctx.m_pOptVideo) || body.empty()) return kResultDone;
  // The passes read ahead; the tag loop goes on where it stood.
  const long at = ctx.m_pSwfFile ? std::ftell(ctx.m_pSwfFile) : -1;
  const uint32_t result = VideoStream(ctx, body, scanFrom).Run();
  if (at >= 0) std::fseek(ctx.m_pSwfFile, at, SEEK_SET);
  return result;
}

}  // namespace tovrani
