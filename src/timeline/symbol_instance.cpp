#include "timeline/symbol_instance.h"

#include <vector>

#include "fla/stream_placement.h"
#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/item_names.h"
#include "fla/text_encoding.h"
#include "timeline/timeline_context.h"
#include "fla/work_folder.h"

namespace tovrani {

namespace {

const uint8_t kMarker[3] = {0xFF, 0xFE, 0xFF};

void PutMarker(std::FILE* page) { PutBytes(page, kMarker, 3); }

std::vector<uint8_t> ReadButtonFile(const TimelineContext& ctx, const std::string& name,
                                    bool& present) {
  present = false;
  if (!ctx.m_pWorkFolder || !ctx.m_pWorkFolder->valid()) return {};
  FileHandle in(ctx.m_pWorkFolder->file(name), "rb");
  if (!in) return {};
  present = true;
  std::vector<uint8_t> bytes;
  ReadWholeFile(in.get(), bytes);
  return bytes;
}

void WriteSpriteTail(const TimelineContext& ctx, std::FILE* page, const PlacementEntry& e, uint8_t level) {
  const bool isNew = IsNewFlaFormat(level);
  if (isNew) {
    PutU8(page, 0x08);
    for (uint32_t v : {4u, 1u, 0u, 0u}) PutU32(page, v);
    WriteFlaStringNew(page, std::string_view{});
    PutMarker(page);
  } else {
    PutU8(page, 0x06);
    for (uint32_t v : {1u, 0u, 0u, 0u, 0u, 0u}) PutU32(page, v);
  }
  PutStringBody(page, e.instanceName, level);
  PutU8(page, 0x02);
  WriteInstanceParams(ctx, page, e, level);
  if (isNew) {
    PutU32(page, 0);
    PutU32(page, 0);
    PutU32(page, 1);
    PutU8(page, 1);
    PutU32(page, 1);
    WriteFlaStringNew(page, std::string_view{});
  } else {
    PutU32(page, 1);
    PutU32(page, 0);
    PutU32(page, 1);
  }
}

void WriteButtonTail(TimelineContext& ctx, const PlacementEntry& e, uint8_t level) {
  std::FILE* page = ctx.m_pPageStream;
  const bool isNew = IsNewFlaFormat(level);
  uint16_t number = ctx.m_pStreamItemNo.at(e.streamIndex);
  if (ctx.m_pButtonItemMap.count(e.characterId)) number = e.characterId;
  if (isNew) {
    PutU8(page, 0x0B);
    for (uint32_t v : {4u, 1u, 0u, 0u}) PutU32(page, v);
    PutMarker(page);
  } else {
    PutU8(page, 0x08);
    for (uint32_t v : {1u, 0u, 0u, 0u, 0u}) PutU32(page, v);
  }
  bool present = false;
  const std::vector<uint8_t> text = ReadButtonFile(ctx, MakeBNumberName(number), present);
  if (isNew) {
    // UTF-16LE text: a stray odd byte would shift everything after it.
    const size_t units = text.size() / 2;
    WriteFlaStringLength(page, present ? units : 0);
    PutBytes(page, text.data(), units * 2);
  } else if (present) {
    PutBytes(page, text.data(), text.size());
  } else {
    PutU32(page, 0);
  }
  PutU8(page, ctx.m_pStreamFlagC.at(e.streamIndex) ? 1 : 0);
  if (isNew) PutMarker(page);
  PutStringBody(page, e.instanceName, level);
  PutU32(page, 0);
}

}  // namespace

int16_t AlphaPercent(int16_t m) {
  const int32_t scaled = int32_t(m) * 100;
  // floor division: -1 gives -1, not 0
  return int16_t(scaled >= 0 ? scaled / 256 : -((-scaled + 255) / 256));
}

void PutStringBody(std::FILE* page, std::string_view text, uint8_t level) {
  if (IsNewFlaFormat(level)) {
    const std::u16string units = Utf16FromUtf8(text);
    WriteFlaStringLength(page, units.size());
    for (char16_t u : units) PutU16(page, u);
  } else {
    const std::string ansi = AnsiFromUtf8(text);
    WriteFlaStringLength(page, ansi.size());
    PutBytes(page, ansi.data(), ansi.size());
  }
}

uint16_t InstancePlayMode(const TimelineContext& ctx, const PlacementEntry& e, bool shapeTween) {
  uint16_t mode = (e.kind == 1 || shapeTween) ? 2 : (e.frameOffset != 0 ? 1 : 0);
  if (e.markByte == 0 && ctx.m_videoWrapperItems.count(e.characterId)) mode = 2;
  return mode;
}

const InitActionRecord* FindInitAction(const TimelineContext& ctx, uint16_t spriteId) {
  const auto& rows = ctx.m_pInitActions;
  if (rows.empty()) return nullptr;
  // Indexed once per table; the last row of a sprite wins.
  if (ctx.m_initActionIndexOf != rows.data() || ctx.m_initActionIndexRows != rows.size()) {
    ctx.m_initActionIndex.clear();
    for (uint32_t r = 0; r < rows.size(); ++r) ctx.m_initActionIndex[rows[r].spriteId] = r;
    ctx.m_initActionIndexOf = rows.data();
    ctx.m_initActionIndexRows = rows.size();
  }
  const auto it = ctx.m_initActionIndex.find(spriteId);
  return it == ctx.m_initActionIndex.end() ? nullptr : &rows[it->second];
}

void WriteInstanceParams(const TimelineContext& ctx, std::FILE* page, const PlacementEntry& e, uint8_t level) {
  // The count is what follows it, whatever a row's own count says: a count
  // that disagrees with the parameters would shift every later record.
  if (!e.params.empty()) {
    PutU32(page, e.paramCount());
    for (const ComponentParam& p : e.params) WriteComponentParam(page, p, level, false);
    return;
  }
  const InitActionRecord* row = FindInitAction(ctx, e.characterId);
  PutU32(page, row ? uint32_t(row->params.size()) : 0);
  if (row)
    for (const ComponentParam& p : row->params) WriteComponentParam(page, p, level, true);
}

void WriteComponentParam(std::FILE* page, const ComponentParam& p, uint8_t level, bool initAction) {
  const bool isNew = IsNewFlaFormat(level);
  if (isNew) {
    PutU8(page, 0x03);
    PutMarker(page);
  } else {
    PutU8(page, 0x01);
  }
  PutStringBody(page, p.name, level);
  PutU8(page, isNew ? 0x07 : 0x01);
  PutU16(page, p.type);
  PutU32(page, uint32_t(p.values.size()));
  PutU32(page, 0);
  PutU32(page, p.hasSecondText);
  if (isNew) PutMarker(page);
  for (const ComponentParamValue& v : p.values) {
    if (initAction && p.type == 5) {
      PutU8(page, 0);
    } else {
      PutStringBody(page, v.text, level);
      if (p.hasSecondText) {
        if (isNew) PutMarker(page);
        PutStringBody(page, v.secondText, level);
      }
    }
    if (isNew) {
      PutU16(page, (p.type == 2 || p.type == 3) ? 1 : p.type);
      PutMarker(page);
    }
  }
  PutStringBody(page, p.name, level);
  PutU16(page, 0);
  // Three words and three bytes whose meaning the archive leaves open; the
  // writer keeps them zero.
  PutZeros(page, 15);
  if (isNew) {
    PutMarker(page);
    PutZeros(page, 5);
  }
}

void WriteSymbolInstance(TimelineContext& ctx, const PlacementEntry& e, PageClassState& state,
                         bool shapeTween) {
  std::FILE* page = ctx.m_pPageStream;
  const uint8_t level = ctx.m_nFlaFormat;
  const bool isNew = IsNewFlaFormat(level);
  const bool sprite = e.kind == 1, button = e.kind == 2;

  ClassTagFlags flags;
  flags.sprite = sprite;
  flags.button = button;
  EmitClassTags(page, flags, state);
  PutU8(page, FlaVersionByte(level));
  PutU24(page, 0);
  const SwfMatrix& m = e.matrix;
  PutU32(page, uint32_t(m.translateX));
  PutU32(page, uint32_t(m.translateY));
  if (isNew) {
    PutU8(page, 0);
    PutU8(page, (e.flags & 0x400) ? 1 : 0);
    PutU8(page, 0x13);
  } else {
    PutU8(page, 0x0A);
  }
  for (int32_t v : {m.scaleX, m.rotateSkew0, m.rotateSkew1, m.scaleY, m.translateX, m.translateY})
    PutU32(page, uint32_t(v));
  PutU16(page, e.frameOffset);
  PutU16(page, InstancePlayMode(ctx, e, shapeTween));
  PutU8(page, 1);
  const SwfCxform& c = e.colorTransform;
  for (int16_t v : {c.aMult, c.aAdd, c.rMult, c.rAdd, c.gMult, c.gAdd, c.bMult, c.bAdd})
    PutU16(page, uint16_t(v));
  PutU16(page, 3);
  PutU16(page, uint16_t(AlphaPercent(c.aMult)));
  PutU32(page, 0xFFFFFFFF);
  WriteFlaString(page, std::string_view{}, level);
  uint16_t symbolRef = ItemNoOf(ctx, e.characterId);
  if (button) {
    const auto it = ctx.m_pButtonItemMap.find(e.characterId);
    if (it != ctx.m_pButtonItemMap.end()) symbolRef = it->second;
  }
  PutU16(page, symbolRef);
  PutU16(page, 0);
  if (isNew) {
    PutU24(page, 0);
    if (!e.effectBlock.empty()) {
      PutU8(page, 1);
      PutBytes(page, e.effectBlock.data(), e.effectBlock.size());
    } else {
      PutU8(page, 0);
    }
    PutU8(page, e.displayByte);
    PutU16(page, 0);
  }
  // A button without a stream row (negative) ends like a graphic symbol.
  if (sprite) WriteSpriteTail(ctx, page, e, level);
  else if (button && int32_t(e.streamIndex) >= 0) WriteButtonTail(ctx, e, level);
}

}  // namespace tovrani
