#include "fla/document_finaliser.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "fla/document_page.h"
#include "fla/item_names.h"
#include "fla/jsfl_script.h"
#include "fla/publish_properties.h"
#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "fla/fla_context.h"
#include "fla/write_bound.h"
#include "platform/resource_bound.h"

namespace tovrani {

const char kMobileSettingsXml[] =
    "<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"no\" ?>\n"
    "<mobileSettings>\n\n"
    "  <contentType id=\"standalonePlayer\" name=\"Standalone Player\"/>\n\n"
    "  <testDevices/>\n\n"
    "</mobileSettings>\n";
static_assert(sizeof(kMobileSettingsXml) - 1 == 176);

namespace {

bool On(const uint8_t* option) { return option && *option; }

// Fixed runs of the stage block after the property flags, as every real
// document holds them; their meaning is not known.
constexpr uint32_t kStageSpacing = 360;  // four times, after u8 0
constexpr uint8_t kStageRun[12] = {1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
constexpr uint8_t kSecondColour[4] = {0xC0, 0xC0, 0xC0, 0xFF};  // after the background
constexpr uint8_t kStageEnd[7] = {0, 0, 3, 0xB4, 0, 0, 0};       // after the frame rate
// Before the view settings' u32 -1 (levels 1 and 2), in every real document.
constexpr uint8_t kViewRun[8] = {0, 0, 0, 0, 1, 0, 0, 0};
// Zero bytes that every real document holds in the view settings (levels 1
// and 2) before the grid words, and again after the last empty string.
constexpr size_t kViewGap = 8;

// The word that opens a bitmap's tail at level 0: 0 in every real
// level-0 document (1 from level 1 on).
constexpr uint32_t kLevel0BitmapWord = 0;

// Where a symbol's item number sends it, by the morph entries.
struct MorphPlace {
  bool element = false;
  int16_t easing = 0;
};

class Finaliser {
 public:
  Finaliser(FlaContext& ctx, DocumentLibrary& lib)
      : ctx_(ctx), lib_(lib), c_(g_contents), L_(ctx.m_nFlaFormat > 2 ? 2 : ctx.m_nFlaFormat) {}

  uint32_t Run(std::vector<uint32_t>& folderIds);

 private:
  struct Folder {
    std::string name;
    uint32_t id;  // the counter of its item id
  };

  uint8_t V() const { return L_ >= 1 ? 6 : 5; }
  void S(const std::string& t) { c_.PutString(t, L_); }
  void M() { c_.PutMarker(); }
  void MIfNew() {
    if (L_ >= 1) M();
  }
  // A string of a linkage record when present, else the empty string.
  void T(const LinkageRecord& r, int n) {
    if (r.flags & (1u << n)) S(r.strings[n]);
    else c_.PutU8(0);
  }
  uint32_t UseFolder(uint32_t& slot, const std::string& name) {
    if (!slot) {
      folders_.push_back({name, nextId_});
      slot = nextId_++;
    }
    return slot;
  }
  ItemId NextId() { return {kItemIdStamp, nextId_++}; }
  // A folder slot's id as a parent link; the library root is (0, 0).
  static ItemId Parent(uint32_t folder) { return folder ? ItemId{kItemIdStamp, folder} : ItemId{}; }
  void PutId(ItemId id) {
    c_.PutU32(id.stamp);
    c_.PutU32(id.counter);
  }
  void AppendPiece(const std::string& piece) {
    // A document that needs a piece its script cannot take is incomplete.
    if (ctx_.m_strJsflPath.empty()) {
      if (ctx_.m_bJsflMissing) NoteWriterFailure(ctx_, kResultOutputIncomplete);
      return;
    }
    if (!ChargeWrite(ctx_, piece.size())) return;
    const bool appended = ctx_.m_nJsflFd >= 0 ? AppendJsflPiece(ctx_.m_nJsflFd, piece)
                                              : AppendJsflPiece(ctx_.m_strJsflPath, piece);
    if (appended) ctx_.m_bJsflWritten = 1;
    else NoteWriterFailure(ctx_, kResultOutputIncomplete);
  }

  void BuildIndexes();
  void SymbolPages();
  uint32_t SymbolFolder(uint16_t item, const std::string& name);
  void SymbolLinkage(uint16_t item);
  void MediaLinkage(const LinkageRecord* r);
  void MediaItemHead(const std::string& name, uint16_t item, uint32_t folder, uint32_t sourceTime);
  const LinkageRecord* LinkageOf(uint16_t item) const;
  void Bitmaps();
  void Sounds();
  void Videos();
  uint16_t MediaStreamLimit() const;
  bool DocumentProperties();
  void FolderList();
  void Closing();

  FlaContext& ctx_;
  DocumentLibrary& lib_;
  ContentsStream& c_;
  const uint8_t L_;
  uint32_t nextId_ = kMainPageId.counter + 1;
  std::vector<Folder> folders_;
  uint32_t morphElementsFolder_ = 0, morphFolder_ = 0, staticTextFolder_ = 0, shapesFolder_ = 0;
  uint32_t picturesFolder_ = 0, soundsFolder_ = 0, videosFolder_ = 0;
  // Indexes that answer the folder rules in one lookup each.
  std::vector<int32_t> fontOfItem_;  // first font whose glyph range holds the item
  std::unordered_map<uint16_t, MorphPlace> morphOfItem_;
  std::unordered_set<uint16_t> staticTextIds_, shapeIds_;
  std::unordered_map<uint16_t, size_t> linkageOfItem_;  // the last record wins
};

void Finaliser::BuildIndexes() {
  // Fonts in table order claim the items of their glyphs not claimed yet: a
  // font's glyph symbols are numbered in a run, except where the numbers ran
  // out above the highest id and the spare ones below were taken, between
  // other items; a font without glyphs claims its range. `next` skips
  // claimed runs, so each item is visited once. Sized by the highest item a
  // font claims, not by all 65,536.
  uint32_t top = 0;
  for (const auto& font : lib_.fonts) {
    if (!font.glyphsPlaced) continue;
    if (font.firstItemNo <= font.lastItemNo) top = std::max<uint32_t>(top, font.lastItemNo + 1u);
    for (const GlyphShape& g : font.glyphs) top = std::max<uint32_t>(top, g.itemNo + 1u);
  }
  fontOfItem_.assign(top, -1);
  std::vector<uint32_t> next(top + 1);
  for (uint32_t i = 0; i < next.size(); ++i) next[i] = i;
  auto find = [&](uint32_t i) {
    uint32_t root = i;
    while (next[root] != root) root = next[root];
    while (next[i] != root) {
      uint32_t n = next[i];
      next[i] = root;
      i = n;
    }
    return root;
  };
  auto claim = [&](uint32_t item, size_t f) {
    if (fontOfItem_[item] < 0) fontOfItem_[item] = int32_t(f);
    next[item] = item + 1;
  };
  for (size_t f = 0; f < lib_.fonts.size(); ++f) {
    const auto& font = lib_.fonts[f];
    if (!font.glyphsPlaced) continue;
    if (!font.glyphs.empty()) {
      for (const GlyphShape& g : font.glyphs) claim(g.itemNo, f);
      continue;
    }
    if (font.firstItemNo > font.lastItemNo) continue;
    for (uint32_t i = find(font.firstItemNo); i <= font.lastItemNo; i = find(i)) claim(i, f);
  }

  const bool jsflImport = On(ctx_.m_pOptShapeJsflImport);
  if (jsflImport || (On(ctx_.m_pOptUseJsfl) && On(ctx_.m_pOptExactProblemSearch))) {
    // Entries in order, and within an entry its elements before its symbols:
    // the first match of the rule's walk is the first place recorded.
    for (const auto& m : lib_.morphs) {
      if (!jsflImport) {
        morphOfItem_.try_emplace(m.startItemNo, MorphPlace{true, 0});
        morphOfItem_.try_emplace(m.endItemNo, MorphPlace{true, 0});
      }
      for (size_t k = 0; k < m.symbolItemNos.size(); ++k)
        morphOfItem_.try_emplace(m.symbolItemNos[k],
                                 MorphPlace{false, k < m.easings.size() ? m.easings[k] : int16_t(0)});
    }
  }
  staticTextIds_.insert(ctx_.m_pJsflStaticTextIds.begin(), ctx_.m_pJsflStaticTextIds.end());
  shapeIds_.insert(ctx_.m_pJsflShapeIds.begin(), ctx_.m_pJsflShapeIds.end());
  for (size_t i = 0; i < ctx_.m_pLinkages.size(); ++i) linkageOfItem_[ctx_.m_pLinkages[i].itemNo] = i;
}

uint32_t Finaliser::SymbolFolder(uint16_t item, const std::string& name) {
  if (int32_t f = item < fontOfItem_.size() ? fontOfItem_[item] : -1; f >= 0) {
    auto& font = lib_.fonts[size_t(f)];
    return UseFolder(font.folderId, font.nameKnown ? font.name : "NoName");
  }
  if (auto m = morphOfItem_.find(item); m != morphOfItem_.end()) {
    if (m->second.element) return UseFolder(morphElementsFolder_, "_Morph_Shapes_Elements_");
    uint32_t id = UseFolder(morphFolder_, "_Morph_Shapes_");
    AppendPiece(JsflMorphPiece(name, m->second.easing));
    return id;
  }
  if (staticTextIds_.count(item)) {
    uint32_t id = UseFolder(staticTextFolder_, "_Static_Text_");
    AppendPiece(JsflStaticTextPiece(name, ctx_.m_strStaticTextFolder));
    return id;
  }
  if (shapeIds_.count(item)) {
    uint32_t id = UseFolder(shapesFolder_, "_Shapes_");
    AppendPiece(JsflShapePiece(name, ctx_.m_strShapesFolder));
    return id;
  }
  return 0;
}

void Finaliser::SymbolLinkage(uint16_t item) {
  auto it = linkageOfItem_.find(item);
  if (it != linkageOfItem_.end()) {
    const LinkageRecord& r = ctx_.m_pLinkages[it->second];
    if (L_ >= 1) {
      c_.PutU32(r.value + 2u * L_);
      c_.PutU8(0);
      M(); T(r, 0);
      M(); T(r, 1);
      M(); T(r, 2);
      c_.PutU8(r.kind);
      c_.PutU32(2);
      c_.PutEmptyStrings(1);
      M();
    } else {
      c_.PutU32(r.value);
      c_.PutU8(0);
      T(r, 0);
      T(r, 1);
      c_.PutU8(r.kind);
      c_.PutU32(1);
      c_.PutU8(0);
    }
    return;
  }
  WriteNoLinkage(c_, L_);
}

void Finaliser::SymbolPages() {
  for (uint32_t i = 0; i < ctx_.m_nStreams; ++i) {
    if (WriteBoundCrossed(ctx_) || ResourceLook()) return;
    const std::string name = MakeSymbolName(ctx_.m_pStreamId[i]);
    const uint16_t item = ctx_.m_pStreamItemNo[i];
    c_.PutU16(0x8001);  // the CDocumentPage class
    c_.PutU8(L_ == 0 ? 17 : L_ == 1 ? 22 : 23);
    const uint8_t kind = ctx_.m_pStreamFlagB[i] ? 1 : ctx_.m_pStreamFlagA[i] ? 2 : 0;
    const ItemId parent = Parent(SymbolFolder(item, name));  // a new folder's id comes first
    WritePageHead(c_, L_, {name, name, item, kind, parent, NextId()});
    SymbolLinkage(item);
    WritePageTail(c_, L_, name);
  }
  // The font-layout clip and the closing save, once a piece reached the
  // script.
  if (ctx_.m_bJsflWritten) {
    if (!lib_.jsflPendingText.empty())
      AppendPiece(JsflFontLayoutPiece(lib_.jsflPendingText, lib_.jsflFontAttrs));
    AppendPiece(JsflClosingSave());
  }
  ctx_.m_pJsflStaticTextIds.clear();
  ctx_.m_pJsflShapeIds.clear();
  c_.PutU16(0);
  c_.PutU16(ctx_.m_wNextFreeItemNo);
}

void Finaliser::MediaItemHead(const std::string& name, uint16_t item, uint32_t folder,
                              uint32_t sourceTime) {
  S(name);
  MIfNew();
  S(name);
  c_.PutU16(item);
  // The path of the file the item was imported from: none, it came from
  // the movie.
  MIfNew();
  S("");
  c_.PutU32(sourceTime);
  c_.PutU32(V());
  c_.PutU32(1);
  PutId(Parent(folder));
  c_.PutU32(1);
  PutId(NextId());
  c_.PutU32(0);
}

const LinkageRecord* Finaliser::LinkageOf(uint16_t item) const {
  auto it = linkageOfItem_.find(item);
  return it == linkageOfItem_.end() ? nullptr : &ctx_.m_pLinkages[it->second];
}

// A media item's linkage record and the fields after it, which every real
// document fills alike: an empty string, u32 0, 0, 1, 0, -1 (and u8 0 from
// level 1 on).
void Finaliser::MediaLinkage(const LinkageRecord* r) {
  if (L_ >= 1) {
    c_.PutU32(r ? r->value + 2u * L_ : 2u * L_ + 3);
    c_.PutU8(0);
    if (r) {
      M(); T(*r, 0);
      M(); T(*r, 1);
      c_.PutEmptyStrings(1);
    } else {
      c_.PutEmptyStrings(3);
    }
    c_.PutU8(r ? r->kind : 0);
    c_.PutU32(2);
    c_.PutEmptyStrings(2);
  } else {
    c_.PutU32(r ? r->value : 3);
    c_.PutU8(0);
    if (r) {
      T(*r, 0);
      T(*r, 1);
    } else {
      c_.PutU8(0);
      c_.PutU8(0);
    }
    c_.PutU8(r ? r->kind : 0);
    c_.PutU32(1);
    c_.PutU8(0);
    S("");
  }
  for (uint32_t v : {0u, 0u, 1u, 0u, 0xFFFFFFFFu}) c_.PutU32(v);
  if (L_ >= 1) c_.PutU8(0);
}

// The class head of a media kind: FF FF, schema 1, the name.
void PutClassHead(ContentsStream& c, const char* name, uint8_t version) {
  c.PutU32(0x1FFFF);
  c.PutU16(uint16_t(std::strlen(name)));
  c.PutBytes(name);
  c.PutU8(version);
}

void Finaliser::Bitmaps() {
  if (lib_.bitmaps.empty()) return;
  PutClassHead(c_, "CMediaBits", V());
  if (On(ctx_.m_pOptPictureFolder)) UseFolder(picturesFolder_, "_Pictures_");
  for (size_t j = 0; j < lib_.bitmaps.size(); ++j) {
    if (WriteBoundCrossed(ctx_) || ResourceLook()) return;
    const auto& b = lib_.bitmaps[j];
    if (j) {
      c_.PutU16(uint16_t(0x8003 + ctx_.m_nStreams));
      c_.PutU8(V());
    }
    MediaItemHead(MakeMediaName(b.mediaNo), b.itemNo, picturesFolder_, 0);
    MediaLinkage(LinkageOf(b.itemNo));
    if (L_ == 2) {
      c_.PutEmptyStrings(1);
      c_.PutU8(0);
    }
    c_.PutU32(L_ == 0 ? kLevel0BitmapWord : 1);
    c_.PutU32(b.propFlag ? 0x01320103u : L_ == 2 ? 0x00320003u : 0x01320003u);
    c_.PutU32(b.hasValue ? b.value : 0);
  }
}

void Finaliser::Sounds() {
  if (lib_.sounds.empty()) return;
  PutClassHead(c_, "CMediaSound", V());
  if (On(ctx_.m_pOptSoundFolder)) UseFolder(soundsFolder_, "_Sounds_");
  const uint32_t bitmapClasses = lib_.bitmaps.empty() ? 0 : uint32_t(lib_.bitmaps.size() + 1);
  for (size_t j = 0; j < lib_.sounds.size(); ++j) {
    if (WriteBoundCrossed(ctx_) || ResourceLook()) return;
    const auto& s = lib_.sounds[j];
    if (j) {
      c_.PutU16(uint16_t(0x8003 + ctx_.m_nStreams + bitmapClasses));
      c_.PutU8(V());
    }
    MediaItemHead(MakeMediaName(s.mediaNo), s.itemNo, soundsFolder_, 0);
    MediaLinkage(LinkageOf(s.itemNo));
    if (L_ == 2) {
      c_.PutEmptyStrings(1);
      c_.PutU8(0);
    }
    c_.PutU32(1);
    c_.PutU8(uint8_t(L_ + 8));
    // After the format and the sample count every real document holds 15
    // bytes of compression settings: u32 -1 and zeros for a sound stored
    // uncompressed. A sound that went the MP3 way has its record's 21 bytes
    // in place of format, count and settings.
    if (s.mp3Data) {
      c_.PutBytes(std::string_view(reinterpret_cast<const char*>(s.mp3Data->data()), 21));
    } else {
      static const uint32_t kDivisor[4] = {1, 2, 2, 4};
      c_.PutU16(s.format);
      c_.PutU32(s.sampleCount / kDivisor[s.format & 3]);
      c_.PutU32(0xFFFFFFFF);
      c_.PutZeros(11);
    }
    if (L_ >= 1) c_.PutEmptyStrings(1);
    if (L_ == 2) c_.PutU32(0);
  }
}

void Finaliser::Videos() {
  if (lib_.videos.empty()) return;
  PutClassHead(c_, "CMediaVideoStream", V());
  if (On(ctx_.m_pOptVideoFolders)) UseFolder(videosFolder_, "_Videos_");
  const uint32_t before = ctx_.m_nStreams +
                          (lib_.bitmaps.empty() ? 0 : uint32_t(lib_.bitmaps.size() + 1)) +
                          (lib_.sounds.empty() ? 0 : uint32_t(lib_.sounds.size() + 1));
  for (size_t j = 0; j < lib_.videos.size(); ++j) {
    if (WriteBoundCrossed(ctx_) || ResourceLook()) return;
    const auto& v = lib_.videos[j];
    if (j) {
      c_.PutU16(uint16_t(0x8003 + before));
      c_.PutU8(V());
    }
    MediaItemHead(MakeMediaName(v.mediaNo), v.itemNo, videosFolder_, 0xFFFFFFFF);
    MediaLinkage(nullptr);
    if (L_ == 2) {
      c_.PutEmptyStrings(1);
      c_.PutU8(0);
    }
    c_.PutU32(1);
  }
}

uint16_t Finaliser::MediaStreamLimit() const {
  uint32_t limit = 1;
  for (const auto& b : lib_.bitmaps) limit = std::max<uint32_t>(limit, b.mediaNo + 1u);
  for (const auto& s : lib_.sounds) limit = std::max<uint32_t>(limit, s.mediaNo + 1u);
  for (const auto& v : lib_.videos) limit = std::max<uint32_t>(limit, v.mediaNo + 1u);
  return uint16_t(std::min<uint32_t>(limit, 0xFFFF));
}

bool Finaliser::DocumentProperties() {
  c_.PutU16(0);
  c_.PutU16(MediaStreamLimit());
  c_.PutU16(5);
  c_.PutU16(On(ctx_.m_pOptGrid) ? 3 : 0);
  c_.PutU16(0);
  c_.PutU8(0);
  c_.PutU32(uint32_t(ctx_.m_rcFrame.xmax));
  c_.PutU32(0);
  c_.PutU32(uint32_t(ctx_.m_rcFrame.ymax));
  c_.PutU32(0x1680000);
  c_.PutU16(On(ctx_.m_pOptRulers) ? 259 : 3);
  c_.PutU16(uint16_t(0x8800 + (On(ctx_.m_pOptTimeline) ? 0x100 : 0) +
                     (On(ctx_.m_pOptWorkArea) ? 0x400 : 0)));
  // The stage block as every real document holds it, with the movie's
  // background colour and frame rate.
  c_.PutU8(0);
  for (int i = 0; i < 4; ++i) c_.PutU32(kStageSpacing);
  c_.PutBytes(std::string_view(reinterpret_cast<const char*>(kStageRun), sizeof kStageRun));
  const uint32_t rgb = ctx_.m_rgbBackground;
  for (uint32_t v : {rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF, 0xFFu}) c_.PutU8(uint8_t(v));
  for (uint8_t v : kSecondColour) c_.PutU8(v);
  c_.PutU32(uint32_t{ctx_.m_wFrameRate} << 8);  // 8.8 to 16.16
  c_.PutBytes(std::string_view(reinterpret_cast<const char*>(kStageEnd), sizeof kStageEnd));
  if (L_ >= 1) {
    c_.PutU16(1);
    M();
    S("legacyLineSpacing");
    M();
    S("0");
    c_.PutU32(1);
  }
  PublishChunkInput chunk;
  chunk.level = L_;
  chunk.streams = ctx_.m_nStreams;
  chunk.bitmaps = uint32_t(lib_.bitmaps.size());
  chunk.sounds = uint32_t(lib_.sounds.size());
  chunk.videos = uint32_t(lib_.videos.size());
  chunk.writeMoreGroups = lib_.morePublishGroups;
  return WritePublishSettingsChunk(c_, chunk);
}

void Finaliser::FolderList() {
  // Every real level-2 document holds one more byte 0 between the palette's
  // closing words and the folder list.
  if (L_ == 2) c_.PutU8(0);
  c_.PutU32(uint32_t(folders_.size()));
  const uint32_t expanded = On(ctx_.m_pOptCollapseFolders) ? 0 : 1;
  // No real level-0 document holds a folder: level 0 writes the level-1
  // record without its markers.
  for (const Folder& f : folders_) {
    if (L_ >= 1) {
      c_.PutU32(4);
      M();
    } else {
      c_.PutU32(3);
    }
    S(f.name);
    c_.PutU32(V());
    c_.PutU32(1);
    PutId(ItemId{});  // in the library root
    c_.PutU32(1);
    PutId(Parent(f.id));
    c_.PutU32(expanded);
    c_.PutU32(2u * L_ + 3);
    c_.PutU8(0);
    if (L_ >= 1) {
      c_.PutEmptyStrings(3);
      c_.PutU8(0);
      c_.PutU32(2);
      c_.PutEmptyStrings(2);
    } else {
      c_.PutU8(0);
      c_.PutU8(0);
      c_.PutU8(0);
      c_.PutU32(1);
    }
    for (uint32_t v : {0u, 0u, 1u, 0u, 0xFFFFFFFFu}) c_.PutU32(v);
    c_.PutU8(0);
  }
}

void Finaliser::Closing() {
  if (L_ == 1) c_.PutU16(0);
  if (L_ == 2) c_.PutU8(0);
  c_.PutU16(1);
  MIfNew();
  S("PublishQTProperties::QTSndSettings");
  PutClassHead(c_, "CQTAudioSettings", 0);
  c_.PutU8(0);  // with the head's last byte, u16 0
  // The view settings hold the same fields with folders as without: so do
  // the real documents that have folders.
  c_.PutU16(0);
  c_.PutU8(1);
  c_.PutU32(0xFF0000);
  c_.PutU16(On(ctx_.m_pOptGuides) ? 511 : 255);
  c_.PutU8(0);
  c_.PutU8(On(ctx_.m_pOptSnapToGuides) ? 1 : 0);
  c_.PutU32(0);
  c_.PutU32(0);
  MIfNew();
  c_.PutU16(On(ctx_.m_pOptSnapToGrid) ? 256 : 0);
  // Level-0 documents keep "Snap To Objects" in bit 8 alone: 256 or 0 in
  // every real one.
  if (L_ == 0)
    c_.PutU32(On(ctx_.m_pOptSnapToObjects) ? 256 : 0);
  else
    c_.PutU32(On(ctx_.m_pOptSnapToObjects) ? 257 : 256);
  c_.PutU16(256);

  const uint32_t P = On(ctx_.m_pOptSnapToPixels) ? 1 : 0;
  if (L_ == 0) {
    c_.PutU32(0);
    c_.PutU8(0);
    c_.PutU32(360);
    c_.PutZeros(16);
    c_.PutU32(P);
  } else if (L_ == 1) {
    c_.PutU16(0);
    c_.PutU8(0);
    c_.PutU8(0);
    c_.PutU8(0);
    c_.PutU16(360);
    c_.PutEmptyStrings(2);
    c_.PutU16(0);
    c_.PutU16(0);
    c_.PutU32(0);
    c_.PutU32(P);
    c_.PutZeros(kViewGap);
    for (uint32_t v : {1u, 10u, 10u, 18u}) c_.PutU32(v);
    c_.PutU16(1);
    c_.PutU32(1);
    c_.PutBytes(std::string_view(reinterpret_cast<const char*>(kViewRun), sizeof kViewRun));
    c_.PutU32(0xFFFFFFFF);
    c_.PutEmptyStrings(1);
    c_.PutU32(1);
    c_.PutEmptyStrings(1);
    c_.PutZeros(kViewGap);
  } else {
    c_.PutU32(0);
    c_.PutU8(0);
    c_.PutU16(360);
    c_.PutEmptyStrings(2);
    c_.PutU32(0);
    c_.PutU32(0);
    c_.PutU32(P);
    c_.PutZeros(kViewGap);
    for (uint32_t v : {1u, 0u, 0u}) c_.PutU32(v);
    c_.PutU32(18);
    c_.PutU16(1);
    c_.PutU32(1);
    c_.PutBytes(std::string_view(reinterpret_cast<const char*>(kViewRun), sizeof kViewRun));
    c_.PutU32(0xFFFFFFFF);
    c_.PutEmptyStrings(1);
    c_.PutU32(1);
    c_.PutEmptyStrings(1);
    c_.PutZeros(kViewGap);
    c_.PutEmptyStrings(1);
    M();
    c_.PutU8(176);
    c_.PutZeroExtended(kMobileSettingsXml);
    c_.PutU32(0);
    c_.PutU32(0);
    c_.PutU32(0xFFFFFFFF);
    c_.PutU32(0xFFFFFFFF);
  }
}

uint32_t Finaliser::Run(std::vector<uint32_t>& folderIds) {
  // Every class reference below stays under the palette's, which is checked
  // here once, before anything is written.
  if (!ColorDefIndexFits(ctx_.m_nStreams, uint32_t(lib_.bitmaps.size()),
                         uint32_t(lib_.sounds.size()), uint32_t(lib_.videos.size())))
    return kResultTooManyItems;
  BuildIndexes();
  SymbolPages();
  if (ReadCancelRequest(ctx_)) return kResultCancelled;
  Bitmaps();
  Sounds();
  Videos();
  if (ReadCancelRequest(ctx_)) return kResultCancelled;
  // Each item above was written only while the document fitted the bound.
  if (WriteBoundCrossed(ctx_)) return kResultDocumentTooLarge;
  ctx_.m_pLinkages.clear();
  if (!DocumentProperties()) return kResultTooManyItems;
  FolderList();
  Closing();
  if (WriteBoundCrossed(ctx_)) return kResultDocumentTooLarge;
  folderIds.clear();
  for (const Folder& f : folders_) folderIds.push_back(f.id);
  return 0;
}

}  // namespace

uint32_t FinishDocument(FlaContext& ctx, DocumentLibrary& library,
                        std::vector<uint32_t>& folderIds, uint32_t& word) {
  word = 0;
  return Finaliser(ctx, library).Run(folderIds);
}

}  // namespace tovrani
