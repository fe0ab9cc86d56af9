#include "swf/tag_statistics.h"

#include <algorithm>
#include <cstdio>

#include "swf/forward_file_reader.h"
#include "swf/swf_context.h"
#include "swf/place_object.h"
#include "swf/swf_reader.h"

namespace tovrani {

bool DefinesCharacter(uint16_t code) {
  switch (code) {
    case 2: case 6: case 7: case 10: case 11: case 14: case 20: case 21: case 22: case 32:
    case 33: case 34: case 35: case 36: case 37: case 39: case 46: case 48: case 60: case 75:
    case 83: case 84: case 87: case 90: case 91:
      return true;
    default:
      return false;
  }
}

std::vector<uint16_t> ImportedIds(uint16_t code, std::span<const uint8_t> body) {
  std::vector<uint16_t> ids;
  if (code != kTagImportAssets && code != kTagImportAssets2) return ids;
  SwfReader r(body);
  r.cstring();  // the URL
  if (code == kTagImportAssets2) r.skip(2);
  uint16_t count = r.u16();
  for (; count && r.ok() && r.has(2); --count) {
    ids.push_back(r.u16());
    r.cstring();  // the name, to its terminator or the body's end
  }
  return ids;
}

namespace {

constexpr uint16_t kTagEnd = 0, kTagFrameLabel = 43;

void NoteId(std::span<const uint8_t> body, uint16_t& highest) {
  if (body.size() >= 2) highest = std::max<uint16_t>(highest, uint16_t(body[0] | (body[1] << 8)));
}

// The definitions inside a sprite body (its tags from offset 4).
void NoteSpriteIds(std::span<const uint8_t> sprite, uint16_t& highest) {
  SwfReader r(sprite);
  r.seek(4);
  while (r.ok() && !r.atEnd()) {
    TagHeader h;
    if (!r.tagHeader(h) || h.length > r.remaining()) break;
    if (DefinesCharacter(h.code)) NoteId(sprite.subspan(size_t(h.bodyStart), h.length), highest);
    if (!r.skip(h.length)) break;
  }
}

}  // namespace

bool ReadPlacementDepth(uint16_t code, std::span<const uint8_t> body, uint16_t& depth) {
  if (!IsPlaceTag(code)) return false;
  // The handlers' own parser decides whether the depth is there; the fields
  // after it do not matter here.
  DisplayListTag tag;
  if (!ParseDisplayListTag(code, body.first(std::min<size_t>(body.size(), 4)), tag)) return false;
  depth = tag.depth;
  return true;
}

bool CountPlacementsInFile(SwfContext& ctx, uint32_t& labels, uint32_t& depthSlots,
                           uint32_t& highestCount, uint16_t* highestId) {
  std::FILE* f = ctx.m_pSwfFile;
  if (!f) return false;
  long start = std::ftell(f);
  if (start < 0) return false;
  // Placements per depth, grown to the highest depth placed.
  std::vector<uint32_t> counts;
  uint32_t newLabels = 0;
  uint16_t highId = 0;
  std::vector<uint8_t> sprite;
  bool ok = true;
  ForwardFileReader in(f, uint64_t(start), ctx.m_nSwfEnd);
  while (in.pos() < ctx.m_nSwfEnd) {
    TagHeader h;
    if (!in.tagHeader(h)) {
      ok = false;
      break;
    }
    if (h.code == kTagEnd) break;
    if (h.code == kTagFrameLabel) ++newLabels;
    if (IsPlaceTag(h.code)) {
      uint8_t head[4];
      size_t n = std::min<size_t>(h.length, sizeof head);
      if (!in.read(head, n)) {
        ok = false;
        break;
      }
      if (uint16_t depth = 0; ReadPlacementDepth(h.code, std::span<const uint8_t>(head, n), depth)) {
        if (depth >= counts.size()) counts.resize(depth + 1u, 0);
        ++counts[depth];
      }
    } else if (highestId && h.code == kTagDefineSprite) {
      sprite.resize(h.length);
      if (!in.read(sprite.data(), h.length)) {
        ok = false;
        break;
      }
      NoteId(sprite, highId);
      NoteSpriteIds(sprite, highId);
    } else if (highestId && DefinesCharacter(h.code)) {
      uint8_t id[2];
      size_t n = std::min<size_t>(h.length, sizeof id);
      if (!in.read(id, n)) {
        ok = false;
        break;
      }
      NoteId(std::span<const uint8_t>(id, n), highId);
    }
    in.skipTo(h.bodyEnd());
  }
  std::fseek(f, start, SEEK_SET);
  if (!ok) return false;
  uint32_t distinct = 0, highest = 0;
  for (uint32_t c : counts) {
    if (c == 0) continue;
    ++distinct;
    highest = std::max(highest, c);
  }
  labels += newLabels;
  if (highestId) *highestId = highId;
  depthSlots = distinct + 5;
  highestCount = std::max<uint32_t>(highest, 1);
  return true;
}

uint32_t CountPlacements(SwfContext& ctx, std::span<const uint8_t> body, uint32_t& labels,
                         uint32_t& depths) {
  // Depths collected, then sorted and run-length counted: no 65,536-entry
  // table per sprite.
  std::vector<uint16_t> placed;
  SwfReader r(body);
  r.seek(4);
  while (r.ok() && !r.atEnd()) {
    TagHeader h;
    if (!r.tagHeader(h)) break;
    uint64_t available = std::min<uint64_t>(h.length, r.remaining());
    auto tagBody = std::span<const uint8_t>(body.data() + h.bodyStart, size_t(available));
    uint16_t depth = 0;
    if (h.code == kTagFrameLabel) ++labels;
    else if (ReadPlacementDepth(h.code, tagBody, depth)) placed.push_back(depth);
    if (!r.skip(h.length)) break;
  }
  std::sort(placed.begin(), placed.end());
  ctx.m_pPlacementStats.clear();
  uint32_t highest = 0;
  for (size_t i = 0; i < placed.size();) {
    size_t j = i;
    while (j < placed.size() && placed[j] == placed[i]) ++j;
    ctx.m_pPlacementStats.push_back({placed[i], uint32_t(j - i)});
    highest = std::max(highest, uint32_t(j - i));
    i = j;
  }
  depths += uint32_t(ctx.m_pPlacementStats.size());
  return highest + 1;
}

}  // namespace tovrani
