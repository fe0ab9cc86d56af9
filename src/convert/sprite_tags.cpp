#include "convert/sprite_tags.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <set>
#include <unordered_map>
#include <vector>

#include "convert/converter_context.h"
#include "convert/engine.h"
#include "convert/frame_sound.h"
#include "convert/placements.h"
#include "convert/sound_layers.h"
#include "convert/sound_tags.h"
#include "convert/tag_loop.h"
#include "convert/timeline_frame.h"
#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/stream_placement.h"
#include "fla/work_folder.h"
#include "platform/resource_bound.h"
#include "swf/forward_file_reader.h"
#include "swf/place_object.h"
#include "swf/swf_reader.h"
#include "swf/tag_statistics.h"
#include "timeline/display_list.h"
#include "timeline/rearrange_mask_layers.h"
#include "timeline/symbol_timeline.h"
#include "platform/movie_messages.h"

namespace tovrani {
namespace {

bool On(const uint8_t* option) { return option && *option; }

constexpr char kSpriteCaption[] = "BRASKELON Tovrani Warning";

constexpr uint16_t kTagEnd = 0, kTagShowFrame = 1, kTagFrameLabel = 43;
constexpr uint16_t kTagStartSound = 15, kTagSoundStreamHead = 18, kTagSoundStreamHead2 = 45;

bool IsPlacementTag(uint16_t code) {
  return code == kTagPlaceObject || code == kTagPlaceObject2 || code == kTagPlaceObject3;
}
bool IsRemovalTag(uint16_t code) { return code == kTagRemoveObject || code == kTagRemoveObject2; }

class SpriteConverter {
 public:
  SpriteConverter(ConverterContext& ctx, uint8_t* body, uint32_t length, uint64_t fileOffset)
      : ctx_(ctx), body_(body), length_(length), fileOffset_(fileOffset), level_(ctx.m_nFlaFormat) {}
  ~SpriteConverter() { CleanUp(); }
  uint32_t Run();

 private:
  DisplayTimeline Timeline() { return {layers_, depthIds_, events_, videoStates_, morphRuns_}; }
  FileHandle OpenWorkFile(const char* name);
  bool SetUp();
  uint32_t Loop();
  void ConvertTag(uint16_t code, std::span<const uint8_t> tag, uint64_t tagEnd);
  void ShowFrame(uint64_t tagEnd);
  void EndSprite(uint16_t frames);
  void FinishPage();
  void CleanUp();

  ConverterContext& ctx_;
  uint8_t* body_;
  uint32_t length_;
  uint64_t fileOffset_;
  uint8_t level_;
  uint16_t id_ = 0;

  FileHandle page_, action_, eventSound_, streamSound_;
  bool filesOpen_ = false;
  uint32_t actionMark_ = 0;
  SoundLayerState sounds_;
  FrameSoundLayers soundLayers_;
  uint8_t dropFirstByte_ = 0;
  uint8_t noSoundLayer_ = 0;  // closing found none of the three layers
  bool ended_ = false;

  DepthLayerTable layers_;
  DepthIdCache depthIds_;
  DisplayEventIndex events_;
  std::unordered_map<uint16_t, VideoDepthState> videoStates_;
  MorphRunHeads morphRuns_;
  // The sprite's frames as the scene's tag loop keeps its own: the frame
  // number, the layer files' open keyframes and the hand-offs reached.
  struct Frames {
    uint16_t frame = 0;
    bool firstFrame = true;
    int64_t actionFramePos = -1;
    std::vector<uint32_t> handoffOrder;
    size_t nextHandoff = 0;
  } frames_;
};

FileHandle SpriteConverter::OpenWorkFile(const char* name) {
  if (ctx_.m_pWorkFolder) return FileHandle(ctx_.m_pWorkFolder->file(name), "wb+");
  return FileHandle(std::tmpfile());
}

bool SpriteConverter::SetUp() {
  // A body that does not end in an End tag gets one.
  if (length_ > 2 && body_[length_ - 2] != 0) {
    body_[length_] = 0;
    body_[length_ + 1] = 0;
    length_ += 2;
  }
  SwfReader head(body_, length_);
  id_ = head.u16();
  ctx_.m_pStreamItemNo[ctx_.m_nStreams] = DefinitionItemNo(ctx_, id_);
  if (ctx_.m_pShell) ctx_.m_pShell->SetCurrentAction("adding sprite...");

  page_ = OpenWorkFile(kSpritePageName);
  action_ = OpenWorkFile(kSpriteActionName);
  eventSound_ = OpenWorkFile(kSpriteEventSoundName);
  streamSound_ = OpenWorkFile(kSpriteStreamSoundName);
  filesOpen_ = true;
  if (!page_ || !action_ || !eventSound_ || !streamSound_) return false;
  ctx_.m_pPageStream = page_.get();
  ctx_.m_pSpriteAuxStream = action_.get();
  bool ok = CopyFileHead(page_.get());
  if (IsNewFlaFormat(level_)) {
    // The version bytes after "CPicPage" and "CPicLayer".
    ok = ok && !std::fseek(page_.get(), 15, SEEK_SET) && std::fputc(4, page_.get()) != EOF &&
         !std::fseek(page_.get(), 32, SEEK_SET) && std::fputc(4, page_.get()) != EOF &&
         !std::fseek(page_.get(), 49, SEEK_SET);
  }
  const uint8_t lead[] = {0x01, 0x03, 0x80, FlaVersionByte(level_), 0x00, 0x05, 0x80};
  for (std::FILE* f : {action_.get(), eventSound_.get(), streamSound_.get()})
    ok = ok && WriteBytes(f, lead, sizeof lead);
  const bool isNew = IsNewFlaFormat(level_);
  frames_.actionFramePos = isNew ? WriteFirstFrameNew(action_.get()) : WriteFirstFrameOld(action_.get());
  const long mark = std::ftell(action_.get()) - (isNew ? 0 : 4);
  actionMark_ = mark < 0 ? 0 : uint32_t(mark);
  const int64_t eventPos = isNew ? WriteFrameHeadNew(eventSound_.get()) : WriteFrameHeadOld(eventSound_.get());
  const int64_t streamPos = isNew ? WriteFrameHeadNew(streamSound_.get()) : WriteFrameHeadOld(streamSound_.get());
  sounds_.start(eventSound_.get(), streamSound_.get(), eventPos, streamPos);
  soundLayers_.sounds = &sounds_;
  soundLayers_.actionFile = action_.get();

  // The depth pass of this sprite and its hand-off tables.
  ctx_.m_pSpriteLayerDepths.clear();
  ctx_.m_pSpriteMaskDepths.clear();
  ctx_.m_pSpriteEvents.clear();
  if (id_ != 0) RearrangeMaskLayers(ctx_, 0, body_, int32_t(length_), id_);
  events_ = DisplayEventIndex(ctx_.m_pSpriteEvents, ctx_.m_pSpriteMaskDepths);
  ctx_.m_pSpriteEvents = {};  // the index keeps what the placements ask of them
  OrderHandoffs(ctx_.m_pSpriteLayerDepths, frames_.handoffOrder, frames_.nextHandoff);

  // The counts only size the tables; they grow past them if they must.
  uint32_t labels = 0, depths = 0;
  CountPlacements(ctx_, std::span<const uint8_t>(body_, length_), labels, depths);
  layers_.records().reserve(std::min<uint32_t>(depths + 1, 65536 + 1));
  layers_.labels().reserve(std::min<uint32_t>(labels + 1, 65536));
  return ok;
}

uint32_t SpriteConverter::Loop() {
  SwfReader r(body_, length_);
  r.seek(4);
  while (!r.atEnd() && !ended_) {
    PumpMessages(ctx_);
    if (ctx_.m_pShell) ctx_.m_pShell->SetMainProgress(uint32_t(fileOffset_ + r.pos()));
    PumpMessages(ctx_);
    // Past a bound the sprite is not ended as a cancel ends it: the
    // conversion fails.
    if (ResourceBoundCrossed()) return ResourceBoundResult();
    const size_t at = r.pos();
    TagHeader h;
    if (!r.tagHeader(h) || h.length > r.remaining()) return kResultSpriteTagPastEnd;
    body_[at] &= 0x3F;
    const uint16_t code = ctx_.m_bCancel ? kTagEnd : h.code;
    std::span<const uint8_t> tag = r.take(h.length);
    ConvertTag(code, tag, r.pos());
  }
  // A body whose last bytes only looked like an End tag ends here.
  if (!ended_) EndSprite(frames_.frame);
  return kResultDone;
}

void SpriteConverter::ConvertTag(uint16_t code, std::span<const uint8_t> tag, uint64_t tagEnd) {
  if (IsPlacementTag(code)) {
    PlaceOnTimeline(ctx_, Timeline(), code, tag, frames_.frame);
  } else if (IsRemovalTag(code)) {
    RemoveFromTimeline(Timeline(), code, tag, frames_.frame);
  } else if (code == kTagFrameLabel) {
    if (On(ctx_.m_pOptFrameLabel)) AddFrameLabel(ctx_, Timeline(), tag, frames_.frame);
  } else if (code == kTagShowFrame) {
    ShowFrame(tagEnd);
  } else if (code == kTagEnd) {
    EndSprite(frames_.frame);
  } else if (code == kTagStartSound) {
    HandleStartSound(ctx_, sounds_, tag);
  } else if (code == kTagSoundStreamHead || code == kTagSoundStreamHead2) {
    // The scan reads the blocks that follow from this sprite's body only. A
    // tag it finds running past the body is reported by this loop when it
    // comes to it; the stream is left out.
    BodyTagSource source(std::span<const uint8_t>(body_, length_), tagEnd);
    HandleSoundStreamHead(ctx_, sounds_, tag, source);
  }
  // Every other tag (SoundStreamBlock among them) is skipped.
}

void SpriteConverter::ShowFrame(uint64_t tagEnd) {
  Frames& f = frames_;
  EndHandedOffPlacements(ctx_.m_pSpriteLayerDepths, f.handoffOrder, f.nextHandoff, f.frame, Timeline());
  SoundLayersShowFrame(sounds_, level_);

  SwfReader next(body_, length_);
  next.seek(tagEnd);
  const uint16_t word = next.has(2) ? next.u16() : 0;
  if (word == 0) EndSprite(uint16_t(f.frame + 1));
  if (word != 0 && !f.firstFrame) BumpU16At(action_.get(), f.actionFramePos);
  f.firstFrame = false;
  // A sprite as long as the frame number allows ends there.
  if (++f.frame == 0xFFFF && !ended_) EndSprite(f.frame);
  sounds_.frame = f.frame;
}

void SpriteConverter::EndSprite(uint16_t frames) {
  ended_ = true;
  // A player shows a sprite without a ShowFrame as one frame holding what
  // its tags placed.
  if (frames == 0 && layers_.lastInUse() >= 0) frames = 1;
  // Sounds started after the last frame shown would outlast the timeline.
  if (!DropUnshownFrameSounds(sounds_)) NoteWriterFailure(ctx_, kResultOutputIncomplete);
  // Flushed, so the work folder shows the layer files as they stand.
  for (std::FILE* f : {action_.get(), eventSound_.get(), streamSound_.get()}) std::fflush(f);
  if (ctx_.m_pShell) ctx_.m_pShell->SetCurrentAction("building sprite...");
  g_shortLayerEndLead = 0;
  ctx_.m_pPageStream = page_.get();
  ctx_.m_bSceneTimeline = 0;
  ctx_.m_bPageFlag = 0;
  std::fseek(page_.get(), 0, SEEK_END);
  PageClassState state;
  // Text objects on the sprite's page look their fonts up in the library.
  const uint16_t fonts = uint16_t(std::min<size_t>(ctx_.m_library.fonts.size(), 0xFFFF));
  ResolveDeferredEntries(ctx_, layers_);
  BuildSymbolTimeline(ctx_, 1, layers_.records(), layers_.lastInUse(), fonts, frames, state);
  dropFirstByte_ = g_shortLayerEndLead;
  noSoundLayer_ = WriteFrameSound(soundLayers_, actionMark_, level_, kFrameSoundClose, nullptr, 0);
}

void SpriteConverter::FinishPage() {
  std::FILE* page = page_.get();
  std::fseek(page, 0, SEEK_END);
  bool failed = false;
  WriteFrameSound(soundLayers_, actionMark_, level_, kFrameSoundJoin, page, dropFirstByte_, &failed);
  for (std::FILE* f : {page, action_.get(), eventSound_.get(), streamSound_.get()})
    if (std::ferror(f)) failed = true;
  if (failed) {
    NoteWriterFailure(ctx_, kResultOutputIncomplete);
    return;
  }
  // Closing found no sound or action layer: the page's layer end follows
  // the builder's last layer, as on the scene.
  if (noSoundLayer_) {
    if (IsNewFlaFormat(level_))
      WriteLayerEndNew(page, 3);
    else
      WriteLayerEndOld(page, 3);
  }
  std::vector<uint8_t> bytes;
  if (std::ferror(page) || !ReadWholeFile(page, bytes)) {
    NoteWriterFailure(ctx_, kResultOutputIncomplete);
    return;
  }
  // Placed as a movie-clip symbol stream of the sprite's row (the builder may
  // have moved the sprite's item number on to a later row); its placements
  // become movie-clip instances.
  const uint32_t row = ctx_.m_nStreams;
  if (PlaceSymbolStream(ctx_, bytes, 1)) RegisterPlacedCharacter(ctx_, id_, SymbolStreamKind(1, 0), row);
}

void SpriteConverter::CleanUp() {
  if (!filesOpen_) return;
  filesOpen_ = false;
  if (ctx_.m_pPageStream == page_.get()) ctx_.m_pPageStream = nullptr;
  ctx_.m_pSpriteAuxStream = nullptr;
  page_.reset();
  action_.reset();
  eventSound_.reset();
  streamSound_.reset();
  if (ctx_.m_pWorkFolder) {
    for (const char* name : {kSpritePageName, kSpriteActionName, kSpriteEventSoundName, kSpriteStreamSoundName})
      ctx_.m_pWorkFolder->removeFile(name);
  }
  ctx_.m_pSpriteLayerDepths.clear();
  ctx_.m_pSpriteMaskDepths.clear();
  ctx_.m_pSpriteEvents.clear();
}

uint32_t SpriteConverter::Run() {
  if (!SetUp()) {
    NoteWriterFailure(ctx_, kResultOutputIncomplete);
    return kResultDone;
  }
  if (uint32_t r = Loop(); r != kResultDone) return r;
  FinishPage();
  return kResultDone;
}

// The characters the placements of a sprite body name.
std::vector<uint16_t> PlacedIds(const uint8_t* body, uint32_t length) {
  std::vector<uint16_t> ids;
  SwfReader r(body, length);
  r.seek(4);
  while (!r.atEnd()) {
    TagHeader h;
    if (!r.tagHeader(h) || h.length > r.remaining() || h.code == kTagEnd) break;
    std::span<const uint8_t> tag = r.take(h.length);
    DisplayListTag t;
    if (IsPlacementTag(h.code) && ParseDisplayListTag(h.code, tag, t) && t.hasCharacter) ids.push_back(t.characterId);
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

// Whether character `id` is first defined at or after `from` in the movie.
// The movie's definitions are read once, from the first offset asked about;
// an id defined before that offset was met by the tag loop already.
bool DefinedAfter(ConverterContext& ctx, uint16_t id, uint64_t from) {
  std::FILE* f = ctx.m_pSwfFile;
  if (!f) return false;
  if (ctx.m_laterDefinitionsFrom == UINT64_MAX) {
    ctx.m_laterDefinitionsFrom = from;
    const long saved = std::ftell(f);
    ForwardFileReader in(f, from, ctx.m_nSwfEnd);
    TagHeader h;
    uint8_t id[2];
    while (in.tagHeader(h) && h.code != kTagEnd) {
      if (DefinesCharacter(h.code) && h.length >= 2 && in.read(id, 2))
        ctx.m_laterDefinitions.try_emplace(uint16_t(id[0] | id[1] << 8), h.headerStart);
      in.skipTo(h.bodyEnd());
    }
    if (saved >= 0) std::fseek(f, saved, SEEK_SET);
  }
  const auto it = ctx.m_laterDefinitions.find(id);
  return it != ctx.m_laterDefinitions.end() && it->second >= from;
}

// A sprite that places a character defined after it (or a sprite that waits
// itself) waits for the scene: a player resolves the character when the
// sprite is shown, after every definition before that frame. Its id names
// a movie clip meanwhile, so placements of it keep their place.
bool DeferSprite(ConverterContext& ctx, const uint8_t* body, uint32_t length, uint64_t fileOffset) {
  if (ctx.m_bConvertingDeferred) return false;
  std::vector<uint16_t> placed = PlacedIds(body, length);
  const uint16_t id = uint16_t(body[0] | body[1] << 8);
  bool wait = false;
  for (uint16_t c : placed) {
    const auto known = ctx.m_placedCharacters.find(c);
    if (known != ctx.m_placedCharacters.end() ? known->second.row == kDeferredRow
                                              : c != id && DefinedAfter(ctx, c, fileOffset + length)) {
      wait = true;
      break;
    }
  }
  if (!wait) return false;
  ConverterContext::DeferredSprite d;
  d.id = id;
  d.body.assign(body, body + length);
  d.body.resize(size_t(length) + 2);
  d.length = length;
  d.fileOffset = fileOffset;
  d.placed = std::move(placed);
  ctx.m_deferredSprites.push_back(std::move(d));
  RegisterPlacedCharacter(ctx, id, kElementMovieClip, kDeferredRow);
  return true;
}

}  // namespace

void ConvertDeferredSprites(ConverterContext& ctx) {
  std::vector<ConverterContext::DeferredSprite> pending = std::move(ctx.m_deferredSprites);
  ctx.m_deferredSprites.clear();
  if (pending.empty()) return;
  ctx.m_bConvertingDeferred = true;
  // A sprite goes once no sprite it places is still waiting; sprites that
  // wait for each other go in their order. Each sprite counts the ids it
  // places that still wait (an id waits while a sprite of it is not done),
  // so that no round looks at a sprite's list again.
  std::unordered_map<uint16_t, size_t> waiting;
  for (const auto& d : pending) ++waiting[d.id];
  std::unordered_map<uint16_t, std::vector<size_t>> placedBy;
  std::vector<size_t> blockers(pending.size(), 0);
  std::set<size_t> ready;
  for (size_t i = 0; i < pending.size(); ++i) {
    for (uint16_t c : pending[i].placed) {
      if (c == pending[i].id || !waiting.count(c)) continue;
      ++blockers[i];
      placedBy[c].push_back(i);
    }
    if (blockers[i] == 0) ready.insert(i);
  }
  std::vector<bool> done(pending.size(), false);
  size_t firstLeft = 0;
  for (size_t left = pending.size(); left > 0;) {
    while (done[firstLeft]) ++firstLeft;
    const size_t next = ready.empty() ? firstLeft : *ready.begin();
    auto& d = pending[next];
    done[next] = true;
    ready.erase(next);
    --left;
    // A failed page leaves the id naming nothing.
    HandleDefineSprite(ctx, d.body.data(), d.length, d.fileOffset);
    if (auto it = ctx.m_placedCharacters.find(d.id); it != ctx.m_placedCharacters.end() &&
                                                     it->second.row == kDeferredRow)
      ctx.m_placedCharacters.erase(it);
    if (--waiting[d.id] == 0)
      for (size_t i : placedBy[d.id])
        if (--blockers[i] == 0 && !done[i]) ready.insert(i);
    if (ctx.m_nWriterError) break;
  }
  ctx.m_bConvertingDeferred = false;
  for (auto it = ctx.m_placedCharacters.begin(); it != ctx.m_placedCharacters.end();)
    it = it->second.row == kDeferredRow ? ctx.m_placedCharacters.erase(it) : std::next(it);
  ResolveDeferredEntries(ctx, ctx.m_movieLayers);
}

uint32_t HandleDefineSprite(ConverterContext& ctx, uint8_t* body, uint32_t length, uint64_t fileOffset) {
  if (!On(ctx.m_pOptSprite) || length == 0) return kResultDone;
  if (length < 4) {
    char text[96];
    if (length >= 2)
      std::snprintf(text, sizeof text, "DefineSprite %u (%u bytes) is too short to be read; it was left out.",
                    unsigned(body[0] | body[1] << 8), unsigned(length));
    else
      std::snprintf(text, sizeof text, "DefineSprite (%u bytes) is too short to be read; it was left out.",
                    unsigned(length));
    ShowWarning(ctx, "sprites too short to be read", kSpriteCaption, text);
    return kResultDone;
  }
  if (DeferSprite(ctx, body, length, fileOffset)) return kResultDone;
  SpriteConverter sprite(ctx, body, length, fileOffset);
  return sprite.Run();
}

}  // namespace tovrani
