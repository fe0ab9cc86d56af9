#include "fla/document_finaliser.h"

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
    uint32_t id;
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
  void AppendPiece(const std::string& piece) {
    // A document that needs a piece its script cannot take is incomplete.
    if (ctx_.m_strJsflPath.empty()) {
      if (ctx_.m_bJsflMissing) NoteWriterFailure(ctx_, kResultOutputIncomplete);
      return;
    }
    if (AppendJsflPiece(ctx_.m_strJsflPath, piece)) ctx_.m_bJsflWritten = 1;
    else NoteWriterFailure(ctx_, kResultOutputIncomplete);
  }

  void BuildIndexes();
  void SymbolPages();
  uint32_t SymbolFolder(uint16_t item, const std::string& name);
  void SymbolLinkage(uint16_t item);
  void MediaLinkage(uint16_t item, bool sound);
  void MediaItemHead(const std::string& name, uint16_t item, uint32_t folder, bool video,
                     uint16_t videoFlag);
  void Bitmaps();
  void Sounds();
  void Videos();
  bool DocumentProperties();
  void FolderList();
  void Closing();

  FlaContext& ctx_;
  DocumentLibrary& lib_;
  ContentsStream& c_;
  const uint8_t L_;
  uint32_t nextId_ = 3;
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
  // Fonts in table order claim the items of their glyph ranges not claimed
  // yet; `next` skips claimed runs, so each item is visited once.
  fontOfItem_.assign(0x10001, -1);
  std::vector<uint32_t> next(0x10002);
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
  for (size_t f = 0; f < lib_.fonts.size(); ++f) {
    const auto& font = lib_.fonts[f];
    if (!font.glyphsPlaced || font.firstItemNo > font.lastItemNo) continue;
    for (uint32_t i = find(font.firstItemNo); i <= font.lastItemNo; i = find(i)) {
      fontOfItem_[i] = int32_t(f);
      next[i] = i + 1;
    }
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
  if (int32_t f = fontOfItem_[item]; f >= 0) {
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
  if (L_ >= 1) {
    c_.PutU32(L_ == 1 ? 5 : 7);
    c_.PutU8(0);
    c_.PutEmptyStrings(3);
    c_.PutU8(0);
    c_.PutU32(2);
    c_.PutEmptyStrings(1);
    M();
  } else {
    c_.PutU32(3);
    c_.PutU8(0);
  }
}

void Finaliser::SymbolPages() {
  for (uint32_t i = 0; i < ctx_.m_nStreams; ++i) {
    const std::string name = MakeSymbolName(ctx_.m_pStreamId[i]);
    const uint16_t item = ctx_.m_pStreamItemNo[i];
    c_.PutU16(0x8001);  // the CDocumentPage class
    c_.PutU8(L_ == 0 ? 17 : L_ == 1 ? 22 : 23);
    S(name);
    MIfNew();
    S(name);
    c_.PutU16(item);
    c_.PutU16(0);
    c_.PutU8(ctx_.m_pStreamFlagB[i] ? 1 : ctx_.m_pStreamFlagA[i] ? 2 : 0);
    MIfNew();
    c_.PutU8(0);
    c_.PutU32(1);
    c_.PutU32(V());
    c_.PutU32(SymbolFolder(item, name));
    c_.PutU32(nextId_++);
    c_.PutU32(0);
    SymbolLinkage(item);
    S(name);
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

void Finaliser::MediaItemHead(const std::string& name, uint16_t item, uint32_t folder, bool video,
                              uint16_t videoFlag) {
  S(name);
  MIfNew();
  S(name);
  c_.PutU16(item);
  if (L_ == 0) {
    if (!video || videoFlag) c_.PutU8(1);
    c_.PutU8(0);
  } else {
    c_.PutEmptyStrings(1);
  }
  c_.PutU32(video ? 0xFFFFFFFFu : 0);
  c_.PutU32(V());
  c_.PutU32(folder);
  c_.PutU32(nextId_++);
  c_.PutU32(0);
}

void Finaliser::MediaLinkage(uint16_t item, bool sound) {
  auto it = linkageOfItem_.find(item);
  if (it != linkageOfItem_.end()) {
    const LinkageRecord& r = ctx_.m_pLinkages[it->second];
    if (L_ >= 1) {
      c_.PutU32(r.value + 2u * L_);
      c_.PutU8(0);
      M(); T(r, 0);
      M(); T(r, 1);
      c_.PutEmptyStrings(1);
      c_.PutU8(r.kind);
      c_.PutU32(2);
      c_.PutEmptyStrings(2);
      c_.PutU16(0);
    } else {
      c_.PutU32(r.value);
      c_.PutU8(0);
      T(r, 0);
      T(r, 1);
      c_.PutU8(r.kind);
      if (sound) {
        c_.PutU32(1);
        c_.PutU32(0);
      }
    }
    return;
  }
  // No linkage: the same record with empty strings and no kind.
  if (L_ >= 1) {
    c_.PutU32(2u * L_ + 3);
    c_.PutU8(0);
    c_.PutEmptyStrings(3);
    c_.PutU8(0);
    c_.PutU32(2);
    c_.PutEmptyStrings(2);
    c_.PutU16(0);
  } else {
    c_.PutU32(3);
    c_.PutU32(0);
  }
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
    const auto& b = lib_.bitmaps[j];
    if (j) {
      c_.PutU16(uint16_t(0x8003 + ctx_.m_nStreams));
      c_.PutU8(V());
    }
    MediaItemHead(MakeMediaName(b.mediaNo), b.itemNo, picturesFolder_, false, 0);
    MediaLinkage(b.itemNo, false);
    if (L_ >= 1) c_.PutU8(0);
    if (L_ == 2) {
      c_.PutEmptyStrings(1);
      c_.PutU8(0);
    }
    c_.PutU32(1);
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
    const auto& s = lib_.sounds[j];
    if (j) {
      c_.PutU16(uint16_t(0x8003 + ctx_.m_nStreams + bitmapClasses));
      c_.PutU8(V());
    }
    MediaItemHead(MakeMediaName(s.mediaNo), s.itemNo, soundsFolder_, false, 0);
    MediaLinkage(s.itemNo, true);
    if (L_ >= 1) c_.PutU8(0);
    if (L_ == 2) {
      c_.PutEmptyStrings(1);
      c_.PutU8(0);
    }
    c_.PutU32(1);
    c_.PutU8(uint8_t(L_ + 8));
    if (s.mp3Data) {
      c_.PutBytes(std::string_view(reinterpret_cast<const char*>(s.mp3Data->data()), 21));
    } else {
      static const uint32_t kDivisor[4] = {1, 2, 2, 4};
      c_.PutU16(s.format);
      c_.PutU32(s.sampleCount / kDivisor[s.format & 3]);
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
    const auto& v = lib_.videos[j];
    if (j) {
      c_.PutU16(uint16_t(0x8003 + before));
      c_.PutU8(V());
    }
    MediaItemHead(MakeMediaName(v.mediaNo), v.itemNo, videosFolder_, true, v.flag);
    if (L_ >= 1) {
      c_.PutU32(2u * L_ + 3);
      c_.PutU8(0);
      c_.PutEmptyStrings(3);
      c_.PutU8(0);
      c_.PutU32(2);
      c_.PutEmptyStrings(2);
      c_.PutU8(0);
      c_.PutU8(0);
    } else {
      c_.PutU32(3);
      c_.PutU32(0);
      c_.PutU32(1);
      c_.PutU32(0);
    }
    if (L_ >= 1) c_.PutU8(0);
    if (L_ == 2) {
      c_.PutEmptyStrings(1);
      c_.PutU8(0);
    }
    c_.PutU32(1);
  }
}

bool Finaliser::DocumentProperties() {
  c_.PutU16(0);
  c_.PutU16(ctx_.m_wNextFreeItemNo);
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
  c_.PutU32(uint32_t(folders_.size()));
  const uint32_t expanded = On(ctx_.m_pOptCollapseFolders) ? 0 : 1;
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
    c_.PutU32(f.id);
    c_.PutU32(expanded);
    c_.PutU32(2u * L_ + 3);
    if (L_ >= 1) {
      c_.PutU8(0);
      c_.PutEmptyStrings(3);
      c_.PutU8(0);
      c_.PutU32(2);
      c_.PutEmptyStrings(2);
      c_.PutU32(0);
    } else {
      c_.PutU32(0);
      c_.PutU16(1);
    }
  }
  c_.PutU32(0);
  c_.PutU32(0xFFFFFFFF);
  if (L_ >= 1) c_.PutU8(0);
  if (L_ == 2) {
    c_.PutEmptyStrings(1);
    c_.PutU8(0);
  }
}

void Finaliser::Closing() {
  if (L_ >= 1) c_.PutU16(0);
  if (L_ == 2) {
    c_.PutU16(1);
    M();
    c_.PutU8(34);
    c_.PutZeroExtended("PublishQTProperties::QTSndSettings");
    PutClassHead(c_, "CQTAudioSettings", 0);
    c_.PutU8(0);  // with the head's last byte, u16 0
  }
  const bool anyFolder = !folders_.empty();
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
  c_.PutU32(On(ctx_.m_pOptSnapToObjects) ? 257 : 256);
  if (L_ < 2 && anyFolder) c_.PutU32(0);
  c_.PutU16(256);

  const uint32_t P = On(ctx_.m_pOptSnapToPixels) ? 1 : 0;
  if (L_ == 0) {
    c_.PutU32(0);
    c_.PutU8(0);
    c_.PutU32(360);
    c_.PutU32(P);
  } else if (L_ == 1) {
    c_.PutU16(0);
    c_.PutU8(0);
    if (anyFolder) M();
    c_.PutU8(0);
    if (anyFolder) M();
    c_.PutU8(0);
    c_.PutU16(360);
    if (!anyFolder) {
      c_.PutEmptyStrings(2);
      c_.PutU16(0);
    }
    c_.PutU16(0);
    c_.PutU32(0);
    c_.PutU32(P);
    for (uint32_t v : {1u, 10u, 10u, 18u}) c_.PutU32(v);
    c_.PutU16(1);
    c_.PutU32(1);
    c_.PutU32(0xFFFFFFFF);
    c_.PutEmptyStrings(1);
    c_.PutU32(1);
    c_.PutEmptyStrings(1);
  } else {
    c_.PutU32(0);
    c_.PutU8(0);
    c_.PutU16(360);
    c_.PutEmptyStrings(2);
    c_.PutU32(0);
    c_.PutU32(0);
    c_.PutU32(P);
    for (uint32_t v : {0u, 0u, 1u}) c_.PutU32(v);
    c_.PutU32(18);
    c_.PutU16(1);
    c_.PutU32(1);
    c_.PutU32(0xFFFFFFFF);
    c_.PutEmptyStrings(1);
    c_.PutU32(1);
    c_.PutEmptyStrings(1);
    c_.PutEmptyStrings(1);
    M();
    c_.PutU8(176);
    c_.PutZeroExtended(kMobileSettingsXml);
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
  Bitmaps();
  Sounds();
  Videos();
  ctx_.m_pLinkages.clear();
  if (!DocumentProperties()) return kResultTooManyItems;
  FolderList();
  Closing();
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
