#include "timeline/display_model.h"

#include <algorithm>
#include <map>
#include <sstream>

#include "support/swf_writer.h"

namespace tovrani::test {

namespace {

// Minimal bounded reader of its own.
struct Cursor {
  const uint8_t* p;
  size_t n, i = 0;
  bool ok = true;
  unsigned bit = 0;  // bits used of p[i]
  uint32_t u8() {
    align();
    if (i >= n) return ok = false, 0;
    return p[i++];
  }
  uint32_t u16() {
    uint32_t a = u8();
    return a | (u8() << 8);
  }
  uint32_t bits(unsigned k) {
    uint32_t v = 0;
    while (k--) {
      if (i >= n) return ok = false, 0;
      v = (v << 1) | ((p[i] >> (7 - bit)) & 1);
      if (++bit == 8) bit = 0, ++i;
    }
    return v;
  }
  void align() {
    if (bit) bit = 0, ++i;
  }
  void skipMatrix() {
    align();
    if (bits(1)) bits(bits(5) * 2);
    if (bits(1)) bits(bits(5) * 2);
    bits(bits(5) * 2);
    align();
  }
  void skipCxform(bool alpha) {
    align();
    unsigned add = bits(1), mult = bits(1), k = bits(4);
    bits(k * (alpha ? 4 : 3) * (add + mult));
    align();
  }
  void skipString() {
    align();
    while (i < n && p[i]) ++i;
    if (i >= n) ok = false;
    ++i;
  }
};

struct Obj {
  uint16_t character = 0;
  std::string attributes;
  bool isMask = false;
  uint32_t clip = 0;
};

}  // namespace

std::vector<ShownFrame> ShownFrames(const std::vector<uint8_t>& data, size_t begin, size_t end) {
  std::vector<ShownFrame> frames;
  std::map<uint32_t, Obj> list;
  size_t pos = begin;
  while (end - pos >= 2) {
    uint32_t word = data[pos] | (data[pos + 1] << 8);
    uint32_t code = word >> 6, len = word & 63;
    size_t body = pos + 2;
    if (len == 63) {
      if (end - body < 4) break;
      len = data[body] | (data[body + 1] << 8) | (data[body + 2] << 16) | (uint32_t(data[body + 3]) << 24);
      body += 4;
    }
    if (len > end - body) break;
    pos = body + len;
    Cursor c{data.data() + body, len};
    if (code == 1) {
      ShownFrame f;
      std::vector<uint32_t> depths;
      for (const auto& [d, o] : list) depths.push_back(d);
      size_t i = 0;
      for (auto it = list.begin(); it != list.end(); ++it, ++i) {
        ShownItem s{it->second.character, it->second.attributes, it->second.isMask, 0};
        if (s.isMask) {
          size_t past = size_t(std::upper_bound(depths.begin(), depths.end(), it->second.clip) - depths.begin());
          s.covers = past > i ? uint32_t(past - i - 1) : 0;
        }
        f.push_back(s);
      }
      frames.push_back(f);
    } else if (code == 5 || code == 28) {
      if (code == 5) c.u16();
      uint32_t depth = c.u16();
      if (c.ok) list.erase(depth);
    } else if (code == 4) {
      uint32_t ch = c.u16(), depth = c.u16();
      if (!c.ok) continue;
      list[depth] = Obj{uint16_t(ch), std::string(data.begin() + body + 4, data.begin() + body + len)};
    } else if (code == 26 || code == 70) {
      uint32_t f = c.u8(), f2 = code == 70 ? c.u8() : 0;
      size_t depthAt = c.i;
      uint32_t depth = c.u16();
      if (!c.ok) continue;
      if (code == 70 && ((f2 & 8) || ((f2 & 16) && (f & 2)))) c.skipString();
      uint32_t ch = 0;
      if (f & 2) ch = c.u16();
      if (f & 4) c.skipMatrix();
      if (f & 8) c.skipCxform(true);
      if (f & 16) c.u16();
      if (f & 32) c.skipString();
      size_t clipAt = c.i;
      bool hasClip = false;
      uint32_t clip = 0;
      if ((f & 64) && c.ok) {
        clip = c.u16();
        hasClip = c.ok;
      }
      // The placement's bytes without its depth and clip depth.
      std::string attrs(data.begin() + body, data.begin() + body + len);
      if (hasClip) attrs.erase(clipAt, 2);
      attrs.erase(depthAt, 2);
      auto it = list.find(depth);
      bool move = f & 1;
      if (!move) {
        if (!(f & 2)) continue;
        list[depth] = Obj{uint16_t(ch), attrs, hasClip, clip};
      } else if (it != list.end()) {
        if (f & 2) it->second.character = uint16_t(ch);
        it->second.attributes += "|" + attrs;
        if (hasClip) it->second.isMask = true, it->second.clip = clip;
      }
    }
  }
  return frames;
}

std::string Describe(const std::vector<ShownFrame>& frames) {
  std::ostringstream o;
  for (size_t i = 0; i < frames.size(); ++i) {
    o << "frame " << i + 1 << ":";
    for (const ShownItem& s : frames[i]) {
      o << " " << s.character;
      if (s.isMask) o << "[mask " << s.covers << "]";
    }
    o << "\n";
  }
  return o.str();
}

namespace {

void PlaceFields(SwfBytes& b, const Place& p) {
  b.u16(p.depth);
  if (p.character) b.u16(p.character);
  if (p.x >= 0) b.matrix(p.x, 0);
  if (*p.name) b.str(p.name);
  if (p.clip >= 0) b.u16(uint32_t(p.clip));
}

uint8_t PlaceFlags(const Place& p) {
  return uint8_t((p.move ? 1 : 0) | (p.character ? 2 : 0) | (p.x >= 0 ? 4 : 0) |
                 (*p.name ? 32 : 0) | (p.clip >= 0 ? 64 : 0));
}

}  // namespace

std::vector<uint8_t> PlaceObject2Tag(const Place& p, bool forceLong) {
  SwfBytes b;
  b.u8(PlaceFlags(p));
  PlaceFields(b, p);
  return SwfWriter::TagBytes(26, b.data(), forceLong);
}

std::vector<uint8_t> PlaceObject3Tag(const Place& p) {
  SwfBytes b;
  b.u8(PlaceFlags(p)).u8(0);
  PlaceFields(b, p);
  return SwfWriter::TagBytes(70, b.data());
}

std::vector<uint8_t> RemoveObject2Tag(uint16_t depth) {
  return SwfWriter::TagBytes(28, SwfBytes().u16(depth).data());
}

std::vector<uint8_t> RemoveObjectTag(uint16_t character, uint16_t depth) {
  return SwfWriter::TagBytes(5, SwfBytes().u16(character).u16(depth).data());
}

std::vector<uint8_t> ShowFrameTag() { return SwfWriter::TagBytes(1, {}); }

}  // namespace tovrani::test
