#include "convert/tag_loop.h"

#include <algorithm>
#include <initializer_list>
#include <new>
#include <optional>

#include "convert/sprite_tags.h"
#include "convert/timeline_frame.h"
#include "convert/video_tags.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "convert/background.h"
#include "fla/stream_placement.h"
#include "convert/bitmap_tags.h"
#include "convert/button_tags.h"
#include "convert/converter_context.h"
#include "convert/edit_text.h"
#include "convert/font_tags.h"
#include "convert/linkage.h"
#include "convert/placements.h"
#include "convert/shape_tags.h"
#include "convert/sound_layers.h"
#include "convert/sound_tags.h"
#include "convert/static_text.h"
#include "fla/work_folder.h"
#include "fla/write_bound.h"
#include "platform/movie_messages.h"
#include "platform/resource_bound.h"

namespace tovrani {

namespace {

// A text-settings tag is attached only below this length, as the tag
// loop has always done (it once had to fit 8 KB behind the text with its head).
constexpr uint32_t kMaxAttachedSettings = 8186;

bool In(uint16_t code, std::initializer_list<uint16_t> codes) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool IsFontTag(uint16_t code) { return In(code, {10, 13, 62, 48, 74, 75, 73}); }
bool IsBitmapTag(uint16_t code) { return In(code, {6, 8, 20, 21, 35, 36}); }
bool On(const uint8_t* option) { return option && *option; }

// A tag's buffer refused: past the memory bound, the bound's refusal.
uint32_t NoTagBuffer() { return ResourceBoundCrossed() ? ResourceBoundResult() : kResultNoTagBuffer; }

const char kVectorizationCaption[] = "BRASKELON Tovrani Vectorization Problem";
const char kVectorizationText[] =
    "The vectorization algorithm wasn't able to recover one of the (Morph) Shapes.\n"
    "The resulting FLA document could be damaged.\n"
    "It is recommended that you cancel the recovery process and try a different\n"
    "\"Shape / Morph Shape\" option such as \"Convert Using JSFL Import\" for this\n"
    "SWF file.\n"
    "Do you want to cancel the recovery process now?";

// A timeline without placements: one layer "Layer 1" holding one empty
// keyframe as long as the timeline.
void WriteEmptyTimeline(std::FILE* page, uint8_t level, uint16_t frames) {
  if (IsNewFlaFormat(level)) {
    WriteLastEmptyFrameNew(page, frames);
    WriteLayerTailNew(page, "Layer 1", true, false, false, 0, 0);
  } else {
    WriteLastEmptyFrameOld(page, frames);
    WriteLayerTailOld(page, "Layer 1", true, false, false, 0, 0);
  }
}

class TagLoop {
 public:
  TagLoop(ConverterContext& ctx, TagLoopState& st, const EngineServices& svc)
      : ctx_(ctx), st_(st), svc_(svc), f_(ctx.m_pSwfFile), end_(ctx.m_nSwfEnd) {}
  uint32_t Run();

 private:
  // The document cannot be finished any more: past the write bound, or a
  // writer refused a placement (its numbers or the library used up, a work
  // file that failed). Nothing later could be placed either.
  uint32_t DocumentFailed() const {
    if (WriteBoundCrossed(ctx_)) return kResultDocumentTooLarge;
    return uint32_t(ctx_.m_nWriterError);
  }
  uint64_t Pos() const {
    long p = std::ftell(f_);
    return p < 0 ? end_ : uint64_t(p);
  }
  // Reads the tag at `pos`, where the file stands.
  uint32_t TakeIn(uint64_t pos);
  void AttachTextSettings();
  uint32_t WalkSprite();
  uint32_t Dispatch(TagBody& t);
  uint32_t HandleFrame(TagBody& t);
  void BuildScene(uint32_t mode, uint16_t frames);
  uint16_t PeekHeaderWord();
  uint32_t RunMadeUpEnd();
  void AskAboutVectorization();
  bool AppendSideCopy(const char* name, const uint8_t* head, size_t headLen, const TagBody& t);
  void IndexBitmapTag();

  ConverterContext& ctx_;
  TagLoopState& st_;
  const EngineServices& svc_;
  std::FILE* f_;
  uint64_t end_;
  TagBody tag_;
  // The bitmap tag just read (its character id, when it has one), indexed
  // once it has been handled, and what its handler made of it.
  struct PendingBitmapTag {
    ConverterContext::MovieTag tag;
    std::optional<uint16_t> id;
  };
  std::optional<PendingBitmapTag> bitmapTag_;
  BitmapOutcome bitmapOutcome_ = BitmapOutcome::kDone;
  // A handler ran for the tag: the file may stand elsewhere than after it.
  bool handled_ = false;
};

uint32_t TagLoop::Run() {
  if (!f_) return kResultDone;
  OrderHandoffs(ctx_.m_pMovieLayerDepths, st_.handoffOrder, st_.nextHandoff);
  // The file's position is asked for only after a handler that may have
  // moved it: stdio asks the work file each time.
  uint64_t pos = Pos();
  // Read once here: a short movie is held to the time and memory bounds too.
  if (ResourceLookNow()) return ResourceBoundResult();
  while (st_.loopContinue && pos < end_) {
    if (uint32_t r = DocumentFailed(); r != kResultDone) return r;
    if (uint32_t r = TakeIn(pos); r != kResultDone) return r;
    handled_ = false;
    if (tag_.code == 39 && tag_.length > 8) {
      if (uint32_t r = WalkSprite(); r != kResultDone) return r;
    }
    bitmapOutcome_ = BitmapOutcome::kDone;
    if (uint32_t r = Dispatch(tag_); r != kResultDone) return r;
    IndexBitmapTag();
    tag_.buffer = {};
    pos = handled_ ? Pos() : tag_.fileEnd;
    if (!st_.endHandled && pos >= end_) {
      if (uint32_t r = RunMadeUpEnd(); r != kResultDone) return r;
    }
    AskAboutVectorization();
  }
  // A movie without a single tag still gets its scene.
  if (!st_.endHandled) return RunMadeUpEnd();
  return kResultDone;
}

uint32_t TagLoop::RunMadeUpEnd() {
  TagBody end;
  end.fileEnd = end_;
  return Dispatch(end);
}

uint32_t TagLoop::TakeIn(uint64_t pos) {
  ctx_.m_nStaticTextExtraBytes = 0;
  tag_ = TagBody{};
  uint8_t head[6];
  size_t headLen = 2;
  uint64_t bodyStart = pos;
  uint32_t length = 0;
  uint16_t code = 0;
  if (end_ - pos >= 2 && std::fread(head, 1, 2, f_) == 2) {
    uint16_t word = uint16_t(head[0] | (head[1] << 8));
    code = word >> 6;
    length = word & 0x3F;
    if (length == 0x3F && end_ - (pos + 2) >= 4 && std::fread(head + 2, 1, 4, f_) == 4) {
      length = head[2] | (head[3] << 8) | (uint32_t(head[4]) << 16) | (uint32_t(head[5]) << 24);
      headLen = 6;
    }
    bodyStart = pos + headLen;
    // A body running past the data ends the movie.
    if (length > end_ - bodyStart) {
      code = 0;
      length = 0;
    }
  }
  if (ctx_.m_pShell) ctx_.m_pShell->SetMainProgress(uint32_t(bodyStart));
  // The pump looks at the time and memory bounds too.
  if (ReadCancelRequest(ctx_) && ResourceBoundCrossed()) return ResourceBoundResult();

  // The body alone: a tag costs what it holds. Handlers that append behind
  // it make their own room.
  if (!ReserveHeap(length)) return ResourceBoundResult();
  try {
    tag_.buffer.assign(size_t(length), 0);
  } catch (const std::bad_alloc&) {
    return NoTagBuffer();
  }
  if (length && std::fread(tag_.buffer.data(), 1, length, f_) != length) {
    code = 0;
    length = 0;
  }
  tag_.code = code;
  tag_.length = length;
  tag_.fileEnd = bodyStart + length;
  tag_.headerPos = pos;

  if (On(ctx_.m_pOptTextJsflImport) && IsFontTag(code)) {
    if (!AppendSideCopy("ffst", head, headLen, tag_)) return kResultOutputIncomplete;
  } else if (On(ctx_.m_pOptTextJsflImport) && ctx_.m_nSwfVersion > 7 &&
             (code == 11 || code == 33)) {
    AttachTextSettings();
  }
  // A shape's movie for the script takes the bitmap tags its fills use from
  // the work copy, where they stay as they are.
  if (On(ctx_.m_pOptShapeJsflImport) && IsBitmapTag(code)) {
    PendingBitmapTag& p = bitmapTag_.emplace();
    p.tag = {tag_.code, pos, headLen + tag_.length};
    if (tag_.length >= 2) p.id = uint16_t(tag_.buffer[0] | tag_.buffer[1] << 8);
  }
  if (ctx_.m_bCancel || st_.frameLimitReached) tag_.code = 0;
  return kResultDone;
}

// A CSMTextSettings tag right after a DefineText travels with it, appended
// whole behind the text's body.
void TagLoop::AttachTextSettings() {
  const uint64_t at = tag_.fileEnd;
  uint8_t head[6];
  if (end_ - at < 2 || std::fread(head, 1, 2, f_) != 2) return;
  bool attached = false;
  if (head[1] == 0x12 && (head[0] & 0xC0) == 0x80) {
    size_t headLen = 2;
    uint32_t len = head[0] & 0x3F;
    bool ok = true;
    if (len == 0x3F) {
      ok = end_ - (at + 2) >= 4 && std::fread(head + 2, 1, 4, f_) == 4;
      if (ok)
        len = head[2] | (head[3] << 8) | (uint32_t(head[4]) << 16) | (uint32_t(head[5]) << 24);
      headLen = 6;
    }
    if (ok && len < kMaxAttachedSettings && len <= end_ - (at + headLen)) {
      tag_.buffer.resize(size_t(tag_.length) + headLen + len);
      uint8_t* dst = tag_.buffer.data() + tag_.length;
      std::copy(head, head + headLen, dst);
      if (len == 0 || std::fread(dst + headLen, 1, len, f_) == len) {
        uint32_t extra = uint32_t(headLen + len);
        tag_.length += extra;
        tag_.fileEnd += extra;
        ctx_.m_nStaticTextExtraBytes = extra;
        attached = true;
      }
    }
  }
  if (!attached) std::fseek(f_, long(at), SEEK_SET);
}

bool TagLoop::AppendSideCopy(const char* name, const uint8_t* head, size_t headLen,
                             const TagBody& t) {
  if (!ctx_.m_pWorkFolder) return true;
  FileHandle copy(ctx_.m_pWorkFolder->file(name), "ab+");
  if (!copy) return false;
  bool ok = std::fwrite(head, 1, headLen, copy.get()) == headLen;
  ok = ok && (t.length == 0 || std::fwrite(t.buffer.data(), 1, t.length, copy.get()) == t.length);
  return copy.close() && ok;
}

// Notes where the bitmap tag just read lies in the work copy, so that a
// shape's small movie can take the bitmaps its fills use without a scan of
// the file. A bitmap skipped for its size rides in no shape's movie either.
void TagLoop::IndexBitmapTag() {
  if (!bitmapTag_) return;
  const PendingBitmapTag p = *bitmapTag_;
  bitmapTag_.reset();
  if (p.tag.code == 8) {
    if (ctx_.m_jpegTablesTag.size == 0) ctx_.m_jpegTablesTag = p.tag;
  } else if (p.id && bitmapOutcome_ != BitmapOutcome::kTooLarge) {
    ctx_.m_bitmapTags.try_emplace(*p.id, p.tag);
  }
}

// Definitions inside a sprite are converted before the sprite itself, each
// as if it stood at the top level.
uint32_t TagLoop::WalkSprite() {
  TagBody sprite = std::move(tag_);
  const uint8_t* body = sprite.buffer.data();
  const uint64_t size = sprite.length;
  uint64_t off = 4;
  while (off < size) {
    if (size - off < 2) break;
    uint32_t word = body[off] | (body[off + 1] << 8);
    uint16_t code = uint16_t(word >> 6);
    uint64_t len = word & 0x3F;
    uint64_t headLen = 2;
    if (len == 0x3F) {
      if (size - off - 2 < 4) break;
      const uint8_t* p = body + off + 2;
      len = p[0] | (p[1] << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
      headLen = 6;
    }
    if (len > size - off - headLen) break;
    if (ctx_.m_bCancel) break;
    if (uint32_t r = DocumentFailed(); r != kResultDone) return r;
    if (ResourceLook()) return ResourceBoundResult();
    if (IsLiftedSpriteDefinition(code)) {
      TagBody inner;
      try {
        inner.buffer.assign(body + off + headLen, body + off + headLen + len);
      } catch (const std::bad_alloc&) {
        return NoTagBuffer();
      }
      inner.code = code;
      inner.length = uint32_t(len);
      inner.fileEnd = sprite.fileEnd;
      inner.headerPos = sprite.fileEnd - sprite.length + off;
      ctx_.m_nStaticTextExtraBytes = 0;
      if (uint32_t r = Dispatch(inner); r != kResultDone) return r;
    }
    off += headLen + len;
  }
  tag_ = std::move(sprite);
  if (ctx_.m_bCancel) {
    tag_.code = 0;
    tag_.length = 0;
  }
  return kResultDone;
}

uint32_t TagLoop::Dispatch(TagBody& t) {
  const int entry = ChainEntryFor(ctx_, t.code, t.length);
  if (entry == 0) return kResultDone;
  handled_ = true;
  ++st_.tagsDispatched;
  if (st_.logDispatch) st_.dispatchLog.push_back(entry);
  const std::span<const uint8_t> body(t.buffer.data(), t.length);
  switch (entry) {
    case 1:
      HandleFileAttributes(ctx_, body);
      return kResultDone;
    case 2:
      HandleLinkageTag(ctx_, t.code, body);
      return kResultDone;
    case 3:
      HandleStartSound(ctx_, ctx_.m_sceneSounds, body);
      return kResultDone;
    case 4:
      HandleShapeTag(ctx_, t.code, body);
      return kResultDone;
    case 5:
      HandleMorphShapeTag(ctx_, t.code, body);
      return kResultDone;
    case 6:
      bitmapOutcome_ = HandleBitmapTag(ctx_, t.code, body);
      return kResultDone;
    case 7:
      HandleSetBackgroundColor(ctx_, body);
      return kResultDone;
    case 8:
      HandleDefineSound(ctx_, body);
      return kResultDone;
    case 10:
      if (t.code == 18 || t.code == 45) {
        FileTagSource source(f_, end_);
        return HandleSoundStreamHead(ctx_, ctx_.m_sceneSounds, body, source);
      }
      if (t.code == 19 && t.headerPos) {
        FileTagSource source(f_, end_);
        return HandleSoundStreamBlock(ctx_, ctx_.m_sceneSounds, body, source, t.headerPos);
      }
      return kResultDone;
    case 13:
      HandleMainTimelineTag(ctx_, t.code, body, st_.frame);
      return kResultDone;
    case 9:
      return HandleDefineVideoStream(ctx_, body, t.fileEnd);
    case 11:
      // The sprite's converter ends a body that lacks an End tag with one.
      t.buffer.resize(std::max(t.buffer.size(), size_t(t.length) + 2));
      return HandleDefineSprite(ctx_, t.data(), t.length, t.fileEnd - t.length);
    case 14:
      return HandleFrame(t);
    case 15:
      HandleFontTag(ctx_, t.code, body);
      return kResultDone;
    case 16:
      HandleEditText(ctx_, body);
      return kResultDone;
    case 17:
      if (HandleStaticText(ctx_, t.code, body, t.headerPos) ==
          StaticTextOutcome::kAsSprite) {
        // The text's place goes to an empty movie clip of the same id.
        const auto sprite = EmptySpriteBody(uint16_t(t.buffer[0] | t.buffer[1] << 8));
        t.buffer.resize(std::max(t.buffer.size(), sprite.size()));
        std::copy(sprite.begin(), sprite.end(), t.buffer.begin());
        t.code = 39;
        t.length = uint32_t(sprite.size());
        ctx_.m_nStaticTextExtraBytes = 0;
        return Dispatch(t);
      }
      return kResultDone;
    case 12:
      ConvertButton(ctx_, t.code, body);
      return kResultDone;
    default:
      // Every other chain entry has nothing to do here.
      return kResultDone;
  }
}

uint16_t TagLoop::PeekHeaderWord() {
  const uint64_t pos = Pos();
  uint8_t b[2];
  uint16_t word = 0;
  if (end_ - std::min(pos, end_) >= 2 && std::fread(b, 1, 2, f_) == 2)
    word = uint16_t(b[0] | (b[1] << 8));
  std::fseek(f_, long(pos), SEEK_SET);
  return word;
}

uint32_t TagLoop::HandleFrame(TagBody& t) {
  const bool isEnd = t.code == 0;
  EndHandedOffPlacements(ctx_.m_pMovieLayerDepths, st_.handoffOrder, st_.nextHandoff, st_.frame,
                         MainTimeline(ctx_));
  const uint8_t level = ctx_.m_nFlaFormat;
  uint16_t next = 1;
  if (!isEnd) {
    SoundLayersShowFrame(ctx_.m_sceneSounds, level);
    next = PeekHeaderWord();
  }
  if (isEnd)
    BuildScene(3, st_.frame);
  else if (next == 0)
    BuildScene(2, uint16_t(st_.frame + 1));
  if (!isEnd) {
    if (next != 0 && !st_.firstFrame) BumpU16At(ctx_.m_pActionLayerFile, st_.actionFramePos);
    st_.firstFrame = false;
    // One more frame would wrap the frame number: the movie ends there.
    if (++st_.frame == 0xFFFF) st_.frameLimitReached = true;
    ctx_.m_sceneSounds.frame = st_.frame;
  }
  return kResultDone;
}

void TagLoop::BuildScene(uint32_t mode, uint16_t frames) {
  st_.endHandled = true;
  ConvertDeferredSprites(ctx_);
  // The movie's tags are done: a cancel from here on abandons the document.
  ctx_.m_bTagLoopEnded = 1;
  SoundLayerState& sounds = ctx_.m_sceneSounds;
  // Sounds started after the last frame shown would outlast the timeline.
  if (mode == 3 && !DropUnshownFrameSounds(sounds)) NoteWriterFailure(ctx_, kResultOutputIncomplete);
  if (!sounds.startedBefore && svc_.closeEventSoundFrames) svc_.closeEventSoundFrames(ctx_);
  ctx_.m_pPageStream = ctx_.m_pPageWorkFile;
  ctx_.m_bSceneTimeline = 1;
  ctx_.m_bPageFlag = 1;
  g_shortLayerEndLead = 0;
  ctx_.m_wSceneFrames = frames;
  std::FILE* page = ctx_.m_pPageWorkFile;
  if (page) std::fseek(page, 0, SEEK_END);
  if (svc_.buildSceneTimeline)
    svc_.buildSceneTimeline(ctx_, mode, frames);
  else if (page)
    WriteEmptyTimeline(page, ctx_.m_nFlaFormat, frames);
  ctx_.m_pPageStream = nullptr;
  ctx_.m_bSceneShortLead = g_shortLayerEndLead;

  if (sounds.eventsSeen && svc_.closeEventSoundLayer) svc_.closeEventSoundLayer(ctx_);
  if (sounds.streamSeen) {
    if (svc_.closeStreamSoundLayer) svc_.closeStreamSoundLayer(ctx_);
  } else if (sounds.eventsSeen) {
    if (svc_.endEventSoundLayer) svc_.endEventSoundLayer(ctx_);
  } else if (page) {
    if (IsNewFlaFormat(ctx_.m_nFlaFormat))
      WriteLayerEndNew(page, 3);
    else
      WriteLayerEndOld(page, 3);
  }
  st_.loopContinue = false;
}

void TagLoop::AskAboutVectorization() {
  if (!g_bVectorizationProblem) return;
  if (!ctx_.m_bCancel && ctx_.m_pShell &&
      AskQuestion(ctx_, "shapes with vectorization problems", kVectorizationCaption, kVectorizationText, false))
    ctx_.m_bCancel = 1;
  g_bVectorizationProblem = 0;
}

}  // namespace

bool IsLiftedSpriteDefinition(uint16_t code) {
  return In(code, {2,  6,  7,  8,  10, 11, 13, 14, 20, 21, 22, 32, 33,
                   34, 35, 36, 37, 46, 48, 56, 57, 62, 73, 75, 39});
}

int ChainEntryFor(const ConverterContext& c, uint16_t code, uint32_t length) {
  // No entry takes a code above DefineMorphShape2's.
  if (code > 84) return 0;
  const bool len = length != 0;
  const bool mainTimeline = On(c.m_pOptMainTimeline);
  if (code == 69 && len) return 1;
  if (In(code, {56, 57, 71}) && On(c.m_pOptLinkage) && len) return 2;
  if (code == 15 && mainTimeline && On(c.m_pOptSound) && len) return 3;
  // With "Shape" off shapes still fill the shape cache (no page, no item).
  if (In(code, {2, 22, 32, 83}) && len) return 4;
  if (In(code, {46, 84}) && On(c.m_pOptMorphShape) && len) return 5;
  if (IsBitmapTag(code) && On(c.m_pOptPicture) && len) return 6;
  if (code == 9 && len) return 7;
  if (code == 14) return 8;
  if (code == 60 && On(c.m_pOptVideo) && len) return 9;
  if (In(code, {19, 18, 45}) && len) return 10;
  if (code == 39 && On(c.m_pOptSprite) && len) return 11;
  if (In(code, {34, 7}) && len && On(c.m_pOptButton)) return 12;
  if (code == 43 && mainTimeline && On(c.m_pOptFrameLabel)) return 13;
  if (In(code, {5, 28, 4, 26, 70}) && mainTimeline) return 13;
  if (code == 0 || (code == 1 && mainTimeline)) return 14;
  if (IsFontTag(code) && On(c.m_pOptText)) return 15;
  if (code == 37 && On(c.m_pOptText)) return 16;
  if ((code == 11 || code == 33) && On(c.m_pOptText) && len) return 17;
  return 0;
}

void PumpMessages(ConverterContext& ctx) { ReadCancelRequest(ctx); }

uint32_t RunTagLoop(ConverterContext& ctx, TagLoopState& st, const EngineServices& svc) {
  TagLoop loop(ctx, st, svc);
  return loop.Run();
}

}  // namespace tovrani
