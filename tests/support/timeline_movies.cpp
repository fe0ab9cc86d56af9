#include "support/timeline_movies.h"

#include <random>

namespace tovrani::test {

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Place(uint16_t depth, uint16_t id) { return SwfBytes().u8(0x06).u16(depth).u16(id).matrix(0, 0).data(); }

Bytes PlaceMask(uint16_t depth, uint16_t id, uint16_t clip) {
  return SwfBytes().u8(0x46).u16(depth).u16(id).matrix(0, 0).u16(clip).data();
}

Bytes Remove(uint16_t depth) { return SwfBytes().u16(depth).data(); }

// A DefineSprite body: its id, frame count and tags, ended.
Bytes Sprite(uint16_t id, uint16_t frames, const SwfWriter& tags) {
  return SwfBytes().u16(id).u16(frames).bytes(tags.tags()).u16(0).data();
}

// A movie of the square (character 1) after `noise` bytes of noise.
SwfWriter Start(size_t noise) {
  SwfWriter w(8);
  if (noise) AddNoise(w, noise);
  w.tag(2, SquareShape(1, 0, 200, 0x2040C0));
  return w;
}

}  // namespace

void AddNoise(SwfWriter& w, size_t bytes) {
  Bytes noise(bytes);
  std::mt19937 gen(7);
  for (uint8_t& b : noise) b = uint8_t(gen());
  w.tag(87, SwfBytes().u16(900).u32(0).bytes(noise).data(), true);
}

Bytes MaskReplacedEachFrameMovie(int sprites, int squares, int frames, size_t noise, bool compressed) {
  SwfWriter w = Start(noise);
  const uint16_t clip = uint16_t(squares + 1);
  SwfWriter inner(8);
  inner.tag(26, PlaceMask(1, 1, clip));
  for (int d = 2; d <= squares + 1; ++d) inner.tag(26, Place(uint16_t(d), 999));
  inner.showFrame();
  for (int f = 1; f < frames; ++f) inner.tag(28, Remove(1)).tag(26, PlaceMask(1, 1, clip)).showFrame();
  for (int s = 0; s < sprites; ++s) w.tag(39, Sprite(uint16_t(2 + s), uint16_t(frames), inner), true);
  return w.showFrame().end().build(compressed);
}

Bytes MasksInOneFrameMovie(int sprites, int masks, size_t noise, bool compressed) {
  SwfWriter w = Start(noise);
  SwfWriter inner(8);
  for (int d = 1; d <= masks; ++d) inner.tag(26, PlaceMask(uint16_t(d), 1, uint16_t(masks + 1)));
  inner.showFrame();
  for (int s = 0; s < sprites; ++s) w.tag(39, Sprite(uint16_t(2 + s), 1, inner), true);
  return w.showFrame().end().build(compressed);
}

Bytes OneSquareSpritesMovie(int sprites, uint16_t depth, size_t noise, bool compressed) {
  SwfWriter w = Start(noise);
  SwfWriter inner(8);
  inner.tag(26, Place(depth, 1)).showFrame();
  for (int s = 0; s < sprites; ++s) w.tag(39, Sprite(uint16_t(2 + s), 1, inner));
  return w.showFrame().end().build(compressed);
}

Bytes SameIdSpritesMovie(int count, size_t noise, bool compressed) {
  SwfWriter w = Start(noise);
  SwfWriter inner(8);
  inner.tag(26, Place(1, 1)).showFrame();
  const Bytes sprite = Sprite(2, 1, inner);
  for (int i = 0; i < count; ++i) w.tag(39, sprite);
  return w.showFrame().end().build(compressed);
}

Bytes RemovalsMovie(int count, bool inSprite, size_t noise, bool compressed) {
  SwfWriter w = Start(noise);
  SwfWriter inner(8);
  SwfWriter& tags = inSprite ? inner : w;
  tags.tag(26, Place(1, 1));
  const Bytes remove = Remove(1);
  for (int i = 0; i < count; ++i) tags.tag(28, remove);
  if (inSprite) w.tag(39, Sprite(2, 1, inner.showFrame()), true).tag(26, Place(1, 2));
  return w.showFrame().end().build(compressed);
}

Bytes ClipMovesMovie(int moves, size_t noise, bool compressed) {
  SwfWriter w = Start(noise);
  SwfWriter inner(8);
  for (uint16_t d = 3; d <= 10; ++d) inner.tag(26, Place(d, 1));
  inner.tag(26, PlaceMask(2, 1, 4));
  for (int i = 0; i < moves; ++i) inner.tag(26, SwfBytes().u8(0x41).u16(2).u16(uint16_t(4 + i % 7)).data());
  inner.showFrame();
  w.tag(39, Sprite(2, 1, inner), true).tag(26, Place(1, 2));
  return w.showFrame().end().build(compressed);
}

}  // namespace tovrani::test
