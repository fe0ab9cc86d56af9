#include "convert/button_tags.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "convert/button_sounds.h"
#include "convert/converter_context.h"
#include "convert/placement_filters.h"
#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/item_names.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/stream_placement.h"
#include "fla/work_folder.h"
#include "fla/write_bound.h"
#include "swf/swf_reader.h"
#include "timeline/symbol_instance.h"
#include "timeline/text_object.h"
#include "timeline/text_wrapper.h"
#include "platform/movie_messages.h"

namespace tovrani {
namespace {

constexpr uint16_t kTagDefineButton = 7, kTagDefineButton2 = 34;
constexpr uint8_t kStateBits = 0x0F;
constexpr uint8_t kHasFilterList = 0x10, kHasBlendMode = 0x20;
constexpr uint8_t kNoCharacter = 0xFF;
constexpr char kButtonCaption[] = "BRASKELON Tovrani Warning";
// Below level 2 every button instance's tail holds the button's action
// block; a button without actions holds this empty one.
constexpr uint8_t kEmptyButtonActions[] = {0x03, 0x00, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0x01, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00};

bool On(const uint8_t* option) { return option && *option; }

PlacedCharacter Match(const ConverterContext& ctx, uint16_t id) {
  const auto it = ctx.m_placedCharacters.find(id);
  if (it == ctx.m_placedCharacters.end()) return {kNoCharacter, kNoCharacterRow};
  switch (it->second.kind) {
    case kElementSymbol:
    case kElementMovieClip:
    case kElementButton:
    case kElementEditText:
    case kElementStaticText:
      return it->second;
    default:
      // Morph shapes and videos are no stream of the library a button can name.
      return {kNoCharacter, kNoCharacterRow};
  }
}

bool Neutral(const SwfCxform& c) {
  return c.rMult == 256 && c.rAdd == 0 && c.gMult == 256 && c.gAdd == 0 && c.bMult == 256 && c.bAdd == 0 &&
         c.aMult == 256 && c.aAdd == 0;
}

// The button's page in "butt": its frames and layers as the walk lays them.
class ButtonPage {
 public:
  ButtonPage(ConverterContext& ctx, std::FILE* f) : ctx_(ctx), f_(f), level_(ctx.m_nFlaFormat) {}

  // The page head with the first frame's version word.
  void Begin() {
    std::array<uint8_t, 49> head = kFileHead;
    if (IsNewFlaFormat(level_)) head[15] = head[32] = 4;
    PutBytes(f_, head.data(), head.size());
    WriteObjectVersion(f_, level_);
  }

  // The frames of one depth's layer: states Up to `lastState` (a bit).
  // Past the write bound the page is given up: nothing more is formatted.
  void WriteLayer(const std::vector<const ButtonRecord*>& records, uint8_t lastState) {
    for (uint8_t s = 1; s <= lastState; s <<= 1) {
      for (const ButtonRecord* r : records) {
        if (WriteBoundCrossed(ctx_)) return;
        if (r->states & s) WriteElement(*r);
      }
      FinishFrame();
      if (s < lastState) BeginFrame();
    }
  }

  // The frame in progress ends: the end of its element list, the rest of
  // the keyframe.
  void FinishFrame() {
    PutU8(f_, 0);
    IsNewFlaFormat(level_) ? WriteSingleFrameNew(f_) : WriteSingleFrameOld(f_);
  }

  // Another frame of the same layer.
  void BeginFrame() {
    PutBytes(f_, "\x05\x80", 2);
    WriteObjectVersion(f_, level_);
    ++state_.frames;
  }

  // The layer ends with its tail "B"; the next one begins with its first frame.
  void NextLayer() {
    WriteRecordLayerTail();
    const uint8_t v = FlaVersionByte(level_);
    const uint8_t lead[] = {0x01, 0x03, 0x80, v, 0x00, 0x05, 0x80, v, 0x00};
    PutBytes(f_, lead, sizeof lead);
    ++state_.frames;
    ++state_.layers;
  }

  void WriteRecordLayerTail() {
    if (IsNewFlaFormat(level_))
      WriteLayerTailNew(f_, "B", true, false, false, 0, 0);
    else
      WriteLayerTailOld(f_, "B", true, false, false, 0, 0);
  }

 private:
  void WriteElement(const ButtonRecord& r) {
    const uint8_t kind = r.character.kind;
    if (kind == kNoCharacter) return;  // no library item to name
    PlacementEntry e;
    e.characterId = r.characterId;
    e.matrix = r.matrix;
    e.colorTransform = r.colorTransform;
    e.effectBlock = r.filterBlock;
    e.displayByte = r.blendMode;
    e.streamIndex = r.character.row;
    if (kind == kElementEditText || kind == kElementStaticText) {
      e.kind = kind;
      if (!HasTextRow(ctx_, e)) return;
      const uint16_t fonts = uint16_t(std::min<size_t>(ctx_.m_library.fonts.size(), 0xFFFF));
      if (Neutral(e.colorTransform)) {
        WriteTextObject(ctx_, e, e.matrix, state_, fonts, TextPlacement::kDirect);
        return;
      }
      // A tinted text is shown through a symbol of its own.
      uint16_t item = 0;
      uint32_t row = 0;
      if (!MakeTextWrapper(ctx_, e, fonts, item, row)) return;
      e.characterId = item;
      e.streamIndex = row;
      e.kind = kElementSymbol;
    } else {
      e.kind = kind == kElementMovieClip ? kElementMovieClip : kElementSymbol;
    }
    WriteSymbolInstance(ctx_, e, state_);
  }

  ConverterContext& ctx_;
  std::FILE* f_;
  uint8_t level_;
  PageClassState state_;
};

// The layout walk: one layer per depth that holds state bits, lowest
// first; every layer but the last has the four state frames, the last ends
// with the last state it shows. Returns the depth of the last layer.
uint16_t LayOutRecords(const ConverterContext& ctx, ButtonPage& page, const std::vector<ButtonRecord>& records) {
  // A record without a state is in no frame (and holds no layer open).
  std::vector<const ButtonRecord*> shown;
  for (const ButtonRecord& r : records)
    if (r.states & kStateBits) shown.push_back(&r);
  std::stable_sort(shown.begin(), shown.end(),
                   [](const ButtonRecord* a, const ButtonRecord* b) { return a->depth < b->depth; });
  if (shown.empty()) {
    // Nothing to show: one empty frame on a layer counted at depth 1.
    page.FinishFrame();
    page.WriteRecordLayerTail();
    return 1;
  }
  std::vector<const ButtonRecord*> layer;
  for (size_t i = 0; i < shown.size();) {
    const uint16_t depth = shown[i]->depth;
    layer.clear();
    uint8_t states = 0;
    for (; i < shown.size() && shown[i]->depth == depth; ++i) {
      layer.push_back(shown[i]);
      states |= shown[i]->states & kStateBits;
    }
    const bool last = i == shown.size();
    uint8_t lastState = 8;
    if (last)
      while (!(states & lastState)) lastState >>= 1;
    page.WriteLayer(layer, lastState);
    if (WriteBoundCrossed(ctx)) return depth;
    if (last) {
      page.WriteRecordLayerTail();
      return depth;
    }
    page.NextLayer();
  }
  return 1;
}

void TellSkipped(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  const std::string tag = code == kTagDefineButton2 ? "DefineButton2" : "DefineButton";
  std::string text = tag;
  if (body.size() >= 2) text.append(" ").append(std::to_string(body[0] | body[1] << 8));
  text += " (" + std::to_string(body.size()) + " bytes) is too short to be read; it was left out.";
  ShowWarning(ctx, "buttons too short to be read", kButtonCaption, text);
}

}  // namespace

std::vector<ButtonRecord> ReadButtonRecords(const ConverterContext& ctx, uint16_t code,
                                            std::span<const uint8_t> body) {
  std::vector<ButtonRecord> records;
  const bool two = code == kTagDefineButton2;
  // DefineButton2's records end where its first action begins, the byte
  // before being the end flag; the offset is never trusted past the body.
  uint64_t end = body.size();
  if (two && body.size() >= 5) {
    const uint32_t actionOffset = body[3] | body[4] << 8;
    if (actionOffset != 0) end = std::min<uint64_t>(end, uint64_t(actionOffset) + 3);
  }
  // A record takes six bytes at least: room for as many as the body can
  // hold is taken once, rather than doubled into while reading.
  records.reserve(size_t(end) / 6);
  SwfReader r(body.first(size_t(end)));
  r.seek(two ? 5 : 2);
  while (r.ok()) {
    if (two ? r.pos() + 1 >= end : (r.atEnd() || body[r.pos()] == 0)) break;
    ButtonRecord rec;
    rec.states = r.u8();
    rec.characterId = r.u16();
    rec.depth = r.u16();
    ReadSwfMatrix(r, rec.matrix);
    r.alignBits();
    bool listEnds = false;
    if (two) {
      ReadSwfCxform(r, rec.colorTransform);
      r.alignBits();
      if (rec.states & kHasFilterList) {
        FilterListResult filters = ConvertFilterList(r);
        rec.filterBlock = std::move(filters.block);
        // Past a list that could not be walked nothing can be found.
        listEnds = !filters.complete;
      }
      if (!listEnds && (rec.states & kHasBlendMode)) rec.blendMode = r.u8();
    }
    if (!r.ok()) break;
    rec.character = Match(ctx, rec.characterId);
    records.push_back(std::move(rec));
    if (listEnds) break;
  }
  // Records at depth 0 go above every other, one after the other.
  uint32_t top = 0;
  for (const ButtonRecord& rec : records) top = std::max<uint32_t>(top, rec.depth);
  for (ButtonRecord& rec : records) {
    if (rec.depth != 0) continue;
    top = std::min<uint32_t>(0xFFFF, std::max<uint32_t>(1, top + 1));
    rec.depth = uint16_t(top);
  }
  return records;
}

// The button's work file ("B" and its item number), which its instances'
// tails copy: the empty action block below level 2; nothing at level 2,
// where the tail's script text stays empty.
void WriteButtonWorkFile(ConverterContext& ctx, uint16_t item) {
  if (IsNewFlaFormat(ctx.m_nFlaFormat) || !ctx.m_pWorkFolder) return;
  FileHandle file(ctx.m_pWorkFolder->file(MakeBNumberName(item)), "wb");
  if (!file || std::fwrite(kEmptyButtonActions, 1, sizeof kEmptyButtonActions, file.get()) !=
                   sizeof kEmptyButtonActions ||
      !file.close())
    NoteWriterFailure(ctx, kResultOutputIncomplete);
}

void ConvertButton(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  if ((code != kTagDefineButton && code != kTagDefineButton2) || body.empty() || !On(ctx.m_pOptButton)) return;
  if (body.size() < (code == kTagDefineButton2 ? 6u : 3u)) {
    TellSkipped(ctx, code, body);
    return;
  }
  const uint16_t id = uint16_t(body[0] | body[1] << 8);
  const uint8_t trackAsMenu = code == kTagDefineButton2 ? body[2] & 1 : 0;
  const std::vector<ButtonRecord> records = ReadButtonRecords(ctx, code, body);

  FileHandle file = ctx.m_pWorkFolder ? FileHandle(ctx.m_pWorkFolder->file(kButtonPageName), "wb+")
                                      : FileHandle(std::tmpfile());
  if (!file) {
    NoteWriterFailure(ctx, kResultOutputIncomplete);
    return;
  }
  std::FILE* f = file.get();
  std::FILE* const outer = ctx.m_pPageStream;
  const uint8_t scene = ctx.m_bSceneTimeline, pageFlag = ctx.m_bPageFlag;
  ctx.m_pPageStream = f;
  ctx.m_bSceneTimeline = 0;
  ctx.m_bPageFlag = 0;
  // The row the page takes: its sounds and any symbol made on the way find
  // the button by it.
  ctx.m_pStreamItemNo[ctx.m_nStreams] = DefinitionItemNo(ctx, id);

  ButtonPage page(ctx, f);
  page.Begin();
  const uint16_t depth = LayOutRecords(ctx, page, records);
  const uint32_t soundLayers = WriteButtonSoundLayers(ctx, f);
  // The closing value keeps the byte the layer end has room for.
  const uint8_t value = uint8_t(depth + 1 + soundLayers);
  if (IsNewFlaFormat(ctx.m_nFlaFormat))
    WriteLayerEndNew(f, value);
  else
    WriteLayerEndOld(f, value);

  ctx.m_pPageStream = outer;
  ctx.m_bSceneTimeline = scene;
  ctx.m_bPageFlag = pageFlag;
  std::vector<uint8_t> bytes;
  if (WriteBoundCrossed(ctx)) {
    // The page was given up; the tag loop ends the conversion.
  } else if (std::ferror(f) || !ReadWholeFile(f, bytes)) {
    NoteWriterFailure(ctx, kResultOutputIncomplete);
  } else {
    const uint32_t row = ctx.m_nStreams;
    const uint16_t item = ctx.m_pStreamItemNo.at(row);
    if (PlaceSymbolStream(ctx, bytes, 0, 1, trackAsMenu)) {
      RegisterPlacedCharacter(ctx, id, SymbolStreamKind(0, 1), row);
      WriteButtonWorkFile(ctx, item);
    }
  }
  file.reset();
  if (ctx.m_pWorkFolder) ctx.m_pWorkFolder->removeFile(kButtonPageName);
}

}  // namespace tovrani
