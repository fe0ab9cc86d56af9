#include "swf/tag_statistics.h"

#include <algorithm>
#include <cstdio>

#include "swf/converter_context.h"
#include "swf/swf_reader.h"

namespace tovrani {

namespace {

constexpr uint16_t kTagEnd = 0, kTagPlaceObject = 4, kTagPlaceObject2 = 26, kTagPlaceObject3 = 70,
                   kTagFrameLabel = 43;

// Where the depth lies in a placement body; 0 for other tags.
size_t DepthOffset(uint16_t code) {
  switch (code) {
    case kTagPlaceObject: return 2;   // after the character id
    case kTagPlaceObject2: return 1;  // after the flag byte
    case kTagPlaceObject3: return 2;  // after both flag bytes
    default: return 0;
  }
}

}  // namespace

bool ReadPlacementDepth(uint16_t code, std::span<const uint8_t> body, uint16_t& depth) {
  size_t at = DepthOffset(code);
  if (at == 0 || body.size() < at + 2) return false;
  depth = uint16_t(body[at] | (body[at + 1] << 8));
  return true;
}

bool CountPlacementsInFile(ConverterContext& ctx, uint32_t& labels, uint32_t& depthSlots,
                           uint32_t& highestCount) {
  std::FILE* f = ctx.m_pSwfFile;
  if (!f) return false;
  long start = std::ftell(f);
  if (start < 0) return false;
  std::vector<uint32_t> counts(0x10000, 0);
  uint32_t newLabels = 0;
  bool ok = true;
  uint64_t pos = uint64_t(start);
  while (pos < ctx.m_nSwfEnd) {
    TagHeader h;
    if (!ReadTagHeader(f, ctx.m_nSwfEnd, h)) {
      ok = false;
      break;
    }
    if (h.code == kTagEnd) break;
    if (h.code == kTagFrameLabel) ++newLabels;
    if (size_t at = DepthOffset(h.code); at != 0 && h.length >= at + 2) {
      uint8_t head[4];
      uint16_t depth = 0;
      if (std::fread(head, 1, at + 2, f) != at + 2 ||
          !ReadPlacementDepth(h.code, std::span<const uint8_t>(head, at + 2), depth)) {
        ok = false;
        break;
      }
      ++counts[depth];
    }
    pos = h.bodyEnd();
    if (std::fseek(f, long(pos), SEEK_SET) != 0) {
      ok = false;
      break;
    }
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
  depthSlots = distinct + 5;
  highestCount = std::max<uint32_t>(highest, 1);
  return true;
}

uint32_t CountPlacements(ConverterContext& ctx, std::span<const uint8_t> body, uint32_t& labels,
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
