#include "timeline/display_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <queue>
#include <set>

#include "support/swf_writer.h"
#include "timeline/rearrange_mask_layers.h"

namespace tovrani::test {

namespace {

// A bounded bit and byte reader of its own.
struct Cursor {
  const uint8_t* p;
  size_t n, i = 0;
  bool ok = true;
  unsigned bit = 0;  // bits used of p[i]
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
  uint32_t u8() { return align(), bits(8); }
  uint32_t u16() {
    uint32_t a = u8();
    return a | (u8() << 8);
  }
  int32_t sbits(unsigned k) {
    const uint32_t v = bits(k);
    return k == 0 ? 0 : int32_t(v << (32 - k)) >> (32 - k);
  }
  // a, b, c, d, tx, ty as the format orders them: scale, rotate-skew,
  // translation.
  std::array<int32_t, 6> matrix() {
    std::array<int32_t, 6> m{0x10000, 0, 0, 0x10000, 0, 0};
    align();
    if (bits(1)) {
      const unsigned n = bits(5);
      m[0] = sbits(n), m[3] = sbits(n);
    }
    if (bits(1)) {
      const unsigned n = bits(5);
      m[1] = sbits(n), m[2] = sbits(n);
    }
    const unsigned n = bits(5);
    m[4] = sbits(n), m[5] = sbits(n);
    return m;
  }
  // Multiply and add terms of alpha, red, green, blue, as pages order them.
  std::array<int16_t, 8> cxform(bool alpha) {
    std::array<int16_t, 8> c{256, 0, 256, 0, 256, 0, 256, 0};
    align();
    const unsigned add = bits(1), mult = bits(1), n = bits(4);
    const size_t order[4] = {2, 4, 6, 0};  // red, green, blue, alpha
    for (unsigned term = 0; term < 2; ++term) {
      if (!(term == 0 ? mult : add)) continue;
      for (size_t k = 0; k < (alpha ? 4u : 3u); ++k) c[order[k] + term] = int16_t(sbits(n));
    }
    return c;
  }
  void skipString() {
    align();
    while (i < n && p[i]) ++i;
    ok = ok && i < n;
    ++i;
  }
};

std::string Hex(uint8_t b) { return {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]}; }

struct Obj {
  uint16_t character = 0;
  std::string attributes;
  bool isMask = false;
  uint32_t clip = 0;
  uint32_t event = 0xFFFFFFFF;  // with the pass's records: the last placement of it
  std::array<int32_t, 6> matrix{0x10000, 0, 0, 0x10000, 0, 0};
  std::array<int16_t, 8> color{256, 0, 256, 0, 256, 0, 256, 0};
  uint16_t ratio = 0;
};

}  // namespace

void ForEachTag(const std::vector<uint8_t>& data, size_t begin, size_t end,
                const std::function<void(uint32_t, size_t, uint32_t)>& fn) {
  size_t pos = begin;
  while (end - pos >= 2) {
    uint32_t word = data[pos] | (data[pos + 1] << 8), len = word & 63;
    size_t body = pos + 2;
    if (len == 63) {
      if (end - body < 4) return;
      len = data[body] | (data[body + 1] << 8) | (data[body + 2] << 16) | (uint32_t(data[body + 3]) << 24);
      body += 4;
    }
    if (len > end - body) return;
    fn(word >> 6, body, len);
    pos = body + len;
  }
}

namespace {

// Event lookups for reading rewritten tags with the pass's records.
struct RecordIndex {
  const PassRecords* pass = nullptr;
  std::map<uint64_t, uint32_t> byDepthPos;  // data index of the Depth field -> event
  std::vector<uint32_t> previous;           // latest earlier event, same original depth
  std::map<uint32_t, std::vector<uint32_t>> handoffsAt;  // frame -> depths

  explicit RecordIndex(const PassRecords* p) : pass(p) {
    if (!pass) return;
    const auto& ev = *pass->events;
    std::map<uint16_t, uint32_t> last;
    previous.assign(ev.size(), kNoEvent);
    for (uint32_t i = 0; i < ev.size(); ++i) {
      byDepthPos[ev[i].depthPos - pass->offset] = i;
      if (auto it = last.find(ev[i].origDepth); it != last.end()) previous[i] = it->second;
      last[ev[i].origDepth] = i;
    }
    for (const DepthHandoff& h : *pass->handoffs) handoffsAt[h.frame].push_back(h.depth);
  }
};

std::string Key(const Obj& o) { return std::to_string(o.character) + "{" + o.attributes + "}"; }

// Per object: how many masks cover it, and the nearest of them.
ShownFrame Show(const std::map<uint32_t, Obj>& list) {
  ShownFrame f;
  std::map<uint32_t, const Obj*> masks;  // covering the depths walked, by depth
  std::priority_queue<std::pair<uint32_t, uint32_t>, std::vector<std::pair<uint32_t, uint32_t>>,
                      std::greater<>>
      ends;  // clip depth, depth
  for (const auto& [d, o] : list) {
    while (!ends.empty() && ends.top().first < d) masks.erase(ends.top().second), ends.pop();
    const std::string key = Key(o);
    f.stacking.push_back(key);
    std::string covered = key + "<" + std::to_string(masks.size());
    if (!masks.empty()) covered.append(" ").append(Key(*masks.rbegin()->second));
    f.coverage.push_back(covered + ">");
    if (o.isMask) masks[d] = &o, ends.emplace(o.clip, d);
  }
  std::sort(f.coverage.begin(), f.coverage.end());
  return f;
}

}  // namespace

namespace {

// Where a main movie first defines each character (a definition tag or an
// import), up to its End tag: the body offset.
std::map<uint16_t, size_t> FirstDefinitions(const std::vector<uint8_t>& data, size_t begin, size_t end) {
  static const std::set<uint32_t> kDefining = {2,  6,  7,  10, 11, 14, 20, 21, 22, 32, 33, 34, 35,
                                               36, 37, 39, 46, 48, 60, 75, 83, 84, 87, 90, 91};
  std::map<uint16_t, size_t> first;
  bool ended = false;
  ForEachTag(data, begin, end, [&](uint32_t code, size_t body, uint32_t len) {
    if (ended || (ended = code == 0)) return;
    Cursor c{data.data() + body, len};
    if (kDefining.count(code)) {
      const uint16_t id = uint16_t(c.u16());
      if (c.ok) first.emplace(id, body);
    } else if (code == 57 || code == 71) {
      c.skipString();
      if (code == 71) c.u16();
      for (uint32_t n = c.u16(); c.ok && n > 0; --n) {
        const uint16_t id = uint16_t(c.u16());
        if (c.ok) first.emplace(id, body);
        c.skipString();
      }
    }
  });
  return first;
}

// Calls onFrame with the display list at every ShowFrame.
// A clip depth with bit 15 below depth 0x7F00 is read as the pass reads it
// when `pass` is given; a movie's own tags mean what players read there.
void WalkDisplay(const std::vector<uint8_t>& data, size_t begin, size_t end, const PassRecords* pass,
                 const std::function<void(const std::map<uint32_t, Obj>&)>& onFrame) {
  // A main movie's placement of a character defined only later names
  // nothing yet; a sprite resolves it when it is shown.
  const std::map<uint16_t, size_t> defined =
      begin == 0 ? FirstDefinitions(data, begin, end) : std::map<uint16_t, size_t>{};
  auto definedLater = [&](uint16_t ch, size_t at) {
    const auto d = defined.find(ch);
    return d != defined.end() && d->second > at;
  };
  std::map<uint32_t, Obj> list;
  const RecordIndex index(pass);
  std::map<uint32_t, Obj> handedOff;  // by the depth the object left
  uint32_t frame = 1;
  ForEachTag(data, begin, end, [&](uint32_t code, size_t body, uint32_t len) {
    Cursor c{data.data() + body, len};
    if (code == 1) {
      // Objects handed off at this frame are not shown in it.
      if (auto it = index.handoffsAt.find(frame); it != index.handoffsAt.end())
        for (uint32_t d : it->second)
          if (auto o = list.find(d); o != list.end()) handedOff[d] = o->second, list.erase(o);
      onFrame(list);
      ++frame;
    } else if (code == 5 || code == 28) {
      if (code == 5) c.u16();
      uint32_t depth = c.u16();
      if (c.ok) list.erase(depth);
    } else if (code == 4) {
      uint32_t ch = c.u16(), depth = c.u16();
      std::string attrs;
      for (size_t k = 4; k < len; ++k) attrs += Hex(data[body + k]);
      const std::array<int32_t, 6> m = c.matrix();
      Cursor rest = c;  // PlaceObject's colour transform is optional
      rest.align();
      auto color = rest.i < len ? rest.cxform(false) : Obj{}.color;
      if (!rest.ok) color = Obj{}.color;
      if (c.ok && !definedLater(uint16_t(ch), body)) list[depth] = Obj{uint16_t(ch), attrs, false, 0, kNoEvent, m, color};
    } else if (code == 26 || code == 70) {
      uint32_t f = c.u8(), f2 = code == 70 ? c.u8() : 0;
      size_t depthAt = c.i;
      uint32_t depth = c.u16();
      if (!c.ok) return;
      if (code == 70 && ((f2 & 8) || ((f2 & 16) && (f & 2)))) c.skipString();
      uint32_t ch = (f & 2) ? c.u16() : 0;
      // A character id cut short names no character.
      const bool hasCharacter = (f & 2) && c.ok;
      std::array<int32_t, 6> m{0x10000, 0, 0, 0x10000, 0, 0};
      if (f & 4) m = c.matrix();
      std::array<int16_t, 8> color = Obj{}.color;
      if (f & 8) color = c.cxform(true);
      const uint16_t ratio = (f & 16) ? uint16_t(c.u16()) : 0;
      if (f & 32) c.skipString();
      c.align();
      size_t clipAt = c.i;
      uint32_t clip = (f & 64) && c.ok ? c.u16() : 0;
      bool hasClip = (f & 64) && c.ok;
      if (hasClip && pass && (clip & 0x8000) && depth < 0x7F00) clip = depth + (clip & 0x7FFF) - 1;
      // The placement's bytes without its depth and clip depth.
      std::string attrs;
      for (size_t k = 0; k < len; ++k)
        if (k != depthAt && k != depthAt + 1 && !(hasClip && (k == clipAt || k == clipAt + 1)))
          attrs += Hex(data[body + k]);
      uint32_t event = kNoEvent;
      if (pass)
        if (auto e = index.byDepthPos.find(body + depthAt); e != index.byDepthPos.end()) event = e->second;
      auto it = list.find(depth);
      if (!(f & 1)) {
        // A placement without the move flag on a depth that shows an
        // object is ignored, as players do.
        if (hasCharacter && it == list.end() && !definedLater(uint16_t(ch), body))
          list[depth] = Obj{uint16_t(ch), attrs, hasClip, clip, event, m, color, ratio};
        return;
      }
      if (it == list.end() && event != kNoEvent) {
        // A Move where nothing stands: it continues the object of the
        // placement before it, if the pass put the two on different layers
        // (that object is handed off at this frame, or already was).
        const uint32_t p = index.previous[event];
        const auto& ev = *pass->events;
        if (p == kNoEvent || ev[p].isRemove) return;
        const Obj* from = nullptr;
        if (auto h = list.find(ev[p].depth); h != list.end() && h->second.event == p) from = &h->second;
        if (auto h = handedOff.find(ev[p].depth); !from && h != handedOff.end() && h->second.event == p)
          from = &h->second;
        if (!from) return;
        Obj o = *from;
        if (!hasCharacter) {
          // The character comes only from the Move's restore record.
          o.character = 0;
          for (const CharacterRestore& r : *pass->restores)
            if (ev[event].restoreMark && r.depth == depth && r.characterId == ev[event].characterId &&
                r.sourceDepth == ev[ev[event].linkedEvent].depth)
              o.character = r.characterId;
        }
        it = list.emplace(depth, o).first;
      }
      if (it == list.end()) return;
      if (hasCharacter) it->second.character = uint16_t(ch);
      if (f & 4) it->second.matrix = m;
      if (f & 8) it->second.color = color;
      if (f & 16) it->second.ratio = ratio;
      it->second.attributes += "|" + attrs;
      // A move folded into the event of its frame has none of its own.
      if (event != kNoEvent) it->second.event = event;
      if (hasClip) it->second.isMask = true, it->second.clip = clip;
    }
  });
}

}  // namespace

std::vector<ShownFrame> ShownFrames(const std::vector<uint8_t>& data, size_t begin, size_t end,
                                    const PassRecords* pass) {
  std::vector<ShownFrame> frames;
  WalkDisplay(data, begin, end, pass, [&](const std::map<uint32_t, Obj>& list) { frames.push_back(Show(list)); });
  return frames;
}

std::vector<std::vector<ShownObject>> ShownObjects(const std::vector<uint8_t>& data, size_t begin,
                                                   size_t end, const PassRecords* pass) {
  std::vector<std::vector<ShownObject>> frames;
  WalkDisplay(data, begin, end, pass, [&](const std::map<uint32_t, Obj>& list) {
    std::vector<ShownObject>& f = frames.emplace_back();
    for (const auto& [d, o] : list)
      f.push_back({o.character, o.matrix, d, o.isMask, o.clip, o.color, Key(o), o.ratio});
  });
  return frames;
}

FramesDiff CompareFrames(const std::vector<ShownFrame>& before, const std::vector<ShownFrame>& after) {
  FramesDiff d;
  auto join = [](const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v) s += x + " ";
    return s.size() > 1500 ? s.substr(0, 1500) + "..." : s;
  };
  auto sorted = [](std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  for (size_t i = 0; i < std::max(before.size(), after.size()); ++i) {
    const ShownFrame none;
    const ShownFrame& a = i < before.size() ? before[i] : none;
    const ShownFrame& b = i < after.size() ? after[i] : none;
    const std::string sides =
        "frame " + std::to_string(i + 1) + "\n before: " + join(a.coverage) + "\n after:  " + join(b.coverage);
    if (sorted(a.stacking) != sorted(b.stacking)) {
      if (d.changed++ == 0) d.first = sides;
    } else if (a.coverage != b.coverage) {
      if (d.masking++ == 0) d.firstMasking = sides;
    } else if (a.stacking != b.stacking) {
      ++d.restacked;
    }
  }
  return d;
}

PassRecords MovieRecords(const ConverterContext& ctx) {
  return {&ctx.m_pMovieEvents, &ctx.m_pMovieLayerDepths, &ctx.m_pMovieMaskDepths, kLead};
}

PassRecords SpriteRecords(const ConverterContext& ctx) {
  return {&ctx.m_pSpriteEvents, &ctx.m_pSpriteLayerDepths, &ctx.m_pSpriteMaskDepths, 0};
}

namespace {

std::vector<uint8_t> PlaceTag(uint16_t code, const Place& p) {
  SwfBytes b;
  b.u8((p.move ? 1 : 0) | (p.character ? 2 : 0) | (p.x >= 0 ? 4 : 0) | (*p.name ? 32 : 0) |
       (p.clip >= 0 ? 64 : 0));
  if (code == 70) b.u8(0);
  b.u16(p.depth);
  if (p.character) b.u16(p.character);
  if (p.x >= 0) b.matrix(p.x, 0);
  if (*p.name) b.str(p.name);
  if (p.clip >= 0) b.u16(uint32_t(p.clip));
  return SwfWriter::TagBytes(code, b.data());
}

}  // namespace

std::vector<uint8_t> PlaceObject2Tag(const Place& p) { return PlaceTag(26, p); }
std::vector<uint8_t> PlaceObject3Tag(const Place& p) { return PlaceTag(70, p); }
std::vector<uint8_t> RemoveObject2Tag(uint16_t depth) {
  return SwfWriter::TagBytes(28, SwfBytes().u16(depth).data());
}
std::vector<uint8_t> ShowFrameTag() { return SwfWriter::TagBytes(1, {}); }

std::vector<uint8_t> Tags(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

uint32_t RunMainPass(ConverterContext& ctx, std::vector<uint8_t>& tags) {
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  if (!f) return 0;
  std::vector<uint8_t> lead(kLead, 0xEE);
  std::fwrite(lead.data(), 1, lead.size(), f);
  if (!tags.empty()) std::fwrite(tags.data(), 1, tags.size(), f);
  std::fseek(f, long(kLead), SEEK_SET);
  ctx.m_pSwfFile = f;
  ctx.m_nSwfEnd = kLead + tags.size();
  uint32_t n = RearrangeMaskLayers(ctx, 1, nullptr, 0);
  EXPECT_EQ(std::ftell(f), long(kLead));  // the file is left where it stood
  std::fseek(f, long(kLead), SEEK_SET);
  if (!tags.empty()) { EXPECT_EQ(std::fread(tags.data(), 1, tags.size(), f), tags.size()); }
  std::fclose(f);
  ctx.m_pSwfFile = nullptr;
  return n;
}

std::vector<uint8_t> SpriteBody(uint16_t id, const std::vector<uint8_t>& tags) {
  return Tags({{uint8_t(id), uint8_t(id >> 8), 1, 0}, tags});
}

uint32_t RunSpritePass(ConverterContext& ctx, std::vector<uint8_t>& body) {
  return RearrangeMaskLayers(ctx, 0, body.data(), int32_t(body.size()));
}

std::vector<ShownFrame> PassFrames(ConverterContext& ctx, const std::vector<uint8_t>& tags, bool sprite,
                                   std::vector<std::vector<ShownObject>>* objects) {
  std::vector<uint8_t> data = sprite ? SpriteBody(9, tags) : tags;
  const size_t begin = sprite ? 4 : 0;
  if (sprite) RunSpritePass(ctx, data);
  else RunMainPass(ctx, data);
  const PassRecords records = sprite ? SpriteRecords(ctx) : MovieRecords(ctx);
  if (objects) *objects = ShownObjects(data, begin, data.size(), &records);
  return ShownFrames(data, begin, data.size(), &records);
}

FramesDiff PassDiff(ConverterContext& ctx, const std::vector<uint8_t>& tags, bool sprite) {
  const std::vector<uint8_t> data = sprite ? SpriteBody(9, tags) : tags;
  return CompareFrames(ShownFrames(data, sprite ? 4 : 0, data.size()), PassFrames(ctx, tags, sprite));
}

std::vector<uint8_t> PassKeepsDisplay(ConverterContext& ctx, const std::vector<uint8_t>& tags,
                                      double seconds, FramesDiff* listed) {
  std::vector<uint8_t> main = tags, sprite = SpriteBody(9, tags);
  const auto before = ShownFrames(tags, 0, tags.size());
  const auto spriteBefore = ShownFrames(sprite, 4, sprite.size());
  auto start = std::chrono::steady_clock::now();
  auto elapsed = [&start] {
    const auto now = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(now - std::exchange(start, now)).count();
  };
  RunMainPass(ctx, main);
  EXPECT_LT(elapsed(), seconds);
  const PassRecords movie = MovieRecords(ctx);
  const FramesDiff mainDiff = CompareFrames(before, ShownFrames(main, 0, main.size(), &movie));
  elapsed();
  RunSpritePass(ctx, sprite);
  EXPECT_LT(elapsed(), seconds);
  const PassRecords inSprite = SpriteRecords(ctx);
  const FramesDiff spriteDiff =
      CompareFrames(spriteBefore, ShownFrames(sprite, 4, sprite.size(), &inSprite));
  for (const FramesDiff* d : {&mainDiff, &spriteDiff}) {
    const char* which = d == &mainDiff ? "main movie, " : "sprite, ";
    EXPECT_EQ(d->changed, 0u) << which << d->first;
    if (listed) {
      if (listed->masking == 0 && d->masking > 0) listed->firstMasking = which + d->firstMasking;
      listed->masking += d->masking;
      listed->restacked += d->restacked;
    } else {
      EXPECT_EQ(d->masking, 0u) << which << d->firstMasking;
      EXPECT_EQ(d->restacked, 0u) << which;
    }
  }
  return main;
}

}  // namespace tovrani::test
