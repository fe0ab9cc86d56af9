// Timelines, sprites, video and morph placements that make a small movie ask
// for far more work than its bytes hold: groups of nested masks over many
// depths, video frames that skip numbers, streams defined again and again,
// tags the frame search reads another way than the tag loop, sprites that
// wait for each other, and morphs placed in many runs.
#include "hostile_movies.h"

namespace tovrani::bench {

namespace {

using test::SwfBytes;
using test::SwfWriter;

// DefineShape 1: a filled square.
Bytes Square() { return test::SquareShape(1, 0, 400, 0xC02020); }

Bytes Place(uint16_t depth, uint16_t id, int32_t clip = -1) {
  SwfBytes p;
  p.u8(clip >= 0 ? 0x46 : 0x06).u16(depth).u16(id).matrix(0, 0);
  if (clip >= 0) p.u16(uint32_t(clip));
  return p.data();
}

Bytes Move(uint16_t depth, int32_t x) { return SwfBytes().u8(0x05).u16(depth).matrix(x, 0).data(); }

Bytes Remove(uint16_t depth) { return SwfBytes().u16(depth).data(); }

// A DefineSprite body: its id, frame count and tags, ended.
Bytes Sprite(uint16_t id, uint16_t frames, const SwfWriter& tags) {
  Bytes body = SwfBytes().u16(id).u16(frames).bytes(tags.tags()).u16(0).data();
  return body;
}

// A mask at depth 1 over depths 3 to `depths` + 2, each holding the square
// throughout, and `groups` masks nested in it at depth 2 for a frame each:
// every one becomes a group whose page holds a layer per depth. With
// `moving`, depth 3 moves every frame, and each group cuts all of its
// entries so far in two.
void NestedGroups(SwfWriter& w, int groups, uint16_t depths, bool moving = false) {
  w.tag(26, Place(1, 1, depths + 2));
  for (uint16_t d = 3; d < depths + 3; ++d) w.tag(26, Place(d, 1));
  w.showFrame();
  for (int g = 0; g < groups; ++g) {
    w.tag(26, Place(2, 1, depths + 2));
    if (moving) w.tag(26, Move(3, 20 + g % 50));
    w.showFrame().tag(28, Remove(2));
    if (moving) w.tag(26, Move(3, 200 + g % 50));
    w.showFrame();
  }
}

Bytes NestedGroupsMovie(int groups, uint16_t depths, bool moving) {
  SwfWriter w(8);
  w.tag(2, Square());
  NestedGroups(w, groups, depths, moving);
  return w.end().build();
}

// The same groups in each of `sprites` sprites: each timeline's mask pass
// has a budget of its own, the movie's budget of group layers is one.
Bytes SpriteGroupsMovie(int sprites, int groups, uint16_t depths) {
  SwfWriter w(8);
  w.tag(2, Square());
  for (int s = 0; s < sprites; ++s) {
    SwfWriter inner(8);
    NestedGroups(inner, groups, depths);
    w.tag(39, Sprite(uint16_t(2 + s), uint16_t(2 * groups + 1), inner), true);
  }
  return w.showFrame().end().build();
}

Bytes VideoStream(uint16_t id, uint16_t frames = 1) {
  return SwfBytes().u16(id).u16(frames).u16(16).u16(16).u8(0).u8(2).data();
}

// `streams` streams, each with one frame numbered 65535: 65,535 entries
// for the numbers before it. With `sameId` every stream is id 1 and the
// one frame follows them all.
Bytes VideoGapMovie(int streams, bool sameId) {
  SwfWriter w(8);
  for (int k = 1; k <= streams; ++k) {
    const uint16_t id = sameId ? 1 : uint16_t(k);
    w.tag(60, VideoStream(id));
    if (!sameId) w.tag(61, SwfBytes().u16(id).u16(65535).u32(0).data());
  }
  if (sameId) w.tag(61, SwfBytes().u16(1).u16(65535).u32(0).data());
  return w.showFrame().end().build();
}

// `streams` streams of id 1, then one frame of `kb` KB: every stream would
// copy the frame's data into its media.
Bytes VideoSameIdMovie(int streams, int kb) {
  SwfWriter w(8);
  for (int k = 0; k < streams; ++k) w.tag(60, VideoStream(1));
  w.tag(61, SwfBytes().u16(1).u16(0).bytes(Bytes(size_t(kb) * 1024, 0)).data(), true);
  return w.showFrame().end().build();
}

// `streams` units of a sprite whose last byte is stray, a stream and a
// ShowFrame, then `tail` ShowFrames: the frame search reads a tag of 15
// bytes from the stray byte, so no stream's end is a tag it met.
Bytes VideoReindexMovie(int streams, int tail) {
  SwfWriter w(8);
  for (int k = 1; k <= streams; ++k) {
    w.tag(39, SwfBytes().u16(uint16_t(20000 + k)).u16(1).u16(0).u8(0x0D).data());
    w.tag(60, VideoStream(uint16_t(k))).showFrame();
  }
  for (int i = 0; i < tail; ++i) w.showFrame();
  return w.end().build();
}

// `streams` units of a sprite the frame search reads one byte out of step
// and a stream, then `tail` tags of two bytes that either reading walks
// alike: searches from successive streams never meet, and each walks the
// rest of the movie.
Bytes VideoLanesMovie(int streams, int tail) {
  SwfWriter w(8);
  const Bytes inner = {0x41, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x0C};
  for (int k = 1; k <= streams; ++k) {
    w.tag(39, SwfBytes().u16(uint16_t(20000 + k)).u16(1).bytes(inner).data(), true);
    w.tag(60, VideoStream(uint16_t(k)));
  }
  for (int i = 0; i < tail; ++i) w.tag(514);
  return w.showFrame().end().build();
}

// Sprite 2 places `placed` ids, one of them sprite 3; sprites 3 to
// `chain` + 2 each place the next, the last the square, defined at the end:
// every sprite waits, and each round of the deferred conversion would look
// at sprite 2's list again.
Bytes DeferredMovie(int chain, int placed) {
  SwfWriter w(8);
  SwfWriter fat(8);
  fat.tag(26, Place(1, 3));
  for (int k = 0; k < placed; ++k)
    fat.tag(26, Place(uint16_t(1 + k % 60000), uint16_t(10000 + k % 55000)));
  fat.showFrame();
  w.tag(39, Sprite(2, 1, fat), true);
  for (int i = 0; i < chain; ++i) {
    SwfWriter inner(8);
    inner.tag(26, Place(1, i + 1 < chain ? uint16_t(i + 4) : 1)).showFrame();
    w.tag(39, Sprite(uint16_t(i + 3), 1, inner));
  }
  w.tag(2, Square()).tag(26, Place(1, 2));
  return w.showFrame().end().build();
}

// DefineMorphShape 1: a zigzag of `edges` straight edges a half, filled.
Bytes ZigzagMorph(int edges) {
  const auto half = [edges](bool styled) {
    SwfBytes b;
    b.u8(0x11);
    if (styled) b.ubits(0, 1).ubits(0b00011, 5).ubits(5, 5).sbits(0, 5).sbits(0, 5).ubits(1, 1);
    for (int i = 0; i < edges; ++i) b.ubits(0b11, 2).ubits(5, 4).ubits(1, 1).sbits(10, 7).sbits(i % 2 ? -10 : 10, 7);
    b.ubits(0, 6).align();
    return b.data();
  };
  const Bytes start = half(true), end = half(false);
  SwfBytes styles;
  styles.u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000).u8(0);
  SwfBytes body;
  body.u16(1).rect(-20, 10 * edges + 20, -40, 40).rect(-20, 10 * edges + 20, -40, 40);
  body.u32(uint32_t(styles.size() + start.size())).bytes(styles.data()).bytes(start).bytes(end);
  return body.data();
}

// The morph placed at `depths` depths from ratio 0: each a run of its own.
Bytes MorphPlacedMovie(int depths, int edges) {
  SwfWriter w(8);
  w.tag(46, ZigzagMorph(edges), true);
  for (int d = 1; d <= depths; ++d) w.tag(26, SwfBytes().u8(0x16).u16(uint16_t(d)).u16(1).matrix(0, 0).u16(0).data());
  return w.showFrame().end().build();
}

// The morph placed from ratio 0 `runs` times at one depth, a frame each.
Bytes MorphRunsMovie(int runs, int edges, bool compressed) {
  SwfWriter w(8);
  w.tag(46, ZigzagMorph(edges), true);
  for (int r = 0; r < runs; ++r)
    w.tag(26, SwfBytes().u8(0x16).u16(1).u16(1).matrix(0, 0).u16(0).data()).showFrame().tag(28, Remove(1)).showFrame();
  return w.end().build(compressed);
}

std::vector<Hostile> Movies() {
  return {
      {"groups/nested/1000x1000", [] { return NestedGroupsMovie(1000, 1000, false); }},
      {"groups/in_sprites/3x1000x1000", [] { return SpriteGroupsMovie(3, 1000, 1000); }},
      {"groups/cut_entries/3000", [] { return NestedGroupsMovie(3000, 1, true); }},
      {"video/gap_same_id/1000", [] { return VideoGapMovie(1000, true); }},
      {"video/gap/1000", [] { return VideoGapMovie(1000, false); }},
      {"video/same_id/3000x300KB", [] { return VideoSameIdMovie(3000, 300); }},
      {"video/reindex/3000x100000", [] { return VideoReindexMovie(3000, 100000); }},
      {"video/lanes/3000x100000", [] { return VideoLanesMovie(3000, 100000); }},
      {"sprites/deferred_fat/30000x60000", [] { return DeferredMovie(30000, 60000); }},
      {"sprites/deferred_chain/30000", [] { return DeferredMovie(30000, 0); }},
      {"morph/placed/3000x30000", [] { return MorphPlacedMovie(3000, 30000); }},
      {"morph/runs/100x20000", [] { return MorphRunsMovie(100, 20000, false); }},
      {"morph/runs_compressed/100x20000", [] { return MorphRunsMovie(100, 20000, true); }},
  };
}

const int kRegistered = RegisterHostileMovies("timeline", Movies());

}  // namespace

}  // namespace tovrani::bench
