#include "page_walker.h"

#include <algorithm>
#include <map>
#include <set>

#include "support/library_items.h"

namespace tovrani::test {

namespace {

uint16_t U16(const std::vector<uint8_t>& d, size_t i) { return uint16_t(d[i] | (d[i + 1] << 8)); }
uint32_t U32(const std::vector<uint8_t>& d, size_t i) {
  return uint32_t(d[i]) | (uint32_t(d[i + 1]) << 8) | (uint32_t(d[i + 2]) << 16) | (uint32_t(d[i + 3]) << 24);
}

// A class name as the archive writes them: C, a capital, then 1-40 letters,
// digits or underscores.
bool PlausibleClassName(const std::vector<uint8_t>& d, size_t at, size_t len) {
  if (len < 4 || len > 42 || at + len > d.size()) return false;
  if (d[at] != 'C' || d[at + 1] < 'A' || d[at + 1] > 'Z') return false;
  for (size_t i = at + 2; i < at + len; ++i) {
    const uint8_t c = d[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
      return false;
  }
  return true;
}

}  // namespace

size_t PageWalk::count(std::string_view className) const {
  size_t n = 0;
  for (const auto& [index, object] : objects)
    if (object.className == className) ++n;
  return n;
}

bool PageWalk::resolves(uint32_t index, std::string_view className) const {
  const auto it = objects.find(index);
  return it != objects.end() && it->second.className == className;
}

PageWalk WalkPage(const std::vector<uint8_t>& d, const ByteSpans& opaque) {
  PageWalk w;
  auto fail = [&w](std::string msg) {
    if (w.ok) w.error = std::move(msg);
    w.ok = false;
  };
  if (d.empty() || d[0] != 1) {
    fail("the page does not start with its lead byte 01");
    return w;
  }
  std::map<uint32_t, uint8_t> version;  // class index -> version byte after its definition
  std::set<std::string> names;
  std::set<size_t> tagAt;               // offsets of accepted tags
  size_t headEnd = 0;                   // just after the last object's two-byte head
  const size_t n = d.size();
  size_t i = 1;
  while (i + 1 < n) {
    const uint16_t word = U16(d, i);
    if (word == 0xFFFF && i + 6 <= n) {
      const size_t len = U16(d, i + 4);
      if (PlausibleClassName(d, i + 6, len)) {
        const std::string name(d.begin() + long(i + 6), d.begin() + long(i + 6 + len));
        if (!names.insert(name).second) fail("class " + name + " defined twice, at " + std::to_string(i));
        const uint32_t ci = w.nextIndex++;
        w.classes[ci] = name;
        w.objects[w.nextIndex++] = {name, i};
        const size_t end = i + 6 + len;
        version[ci] = end < n ? d[end] : 0;
        tagAt.insert(i);
        headEnd = end + 2;
        i = end;
        continue;
      }
    }
    if (word == 0x7FFF && i + 6 <= n) {
      const uint32_t v = U32(d, i + 2);
      if ((v & 0x80000000u) && w.classes.count(v & 0x7FFFFFFF)) {
        w.objects[w.nextIndex++] = {w.classes[v & 0x7FFFFFFF], i};
        tagAt.insert(i);
        i += 6;
        continue;
      }
    }
    if ((word & 0x8000) && word != 0xFFFF) {
      const uint32_t k = word & 0x7FFF;
      const auto cls = w.classes.find(k);
      if (cls != w.classes.end() && k != 1 && i + 3 < n && d[i + 2] == version[k] &&
          (d[i + 3] == 0 || d[i + 3] == 2 || i == headEnd)) {
        w.objects[w.nextIndex++] = {cls->second, i};
        tagAt.insert(i);
        headEnd = i + 4;
        i += 2;
        continue;
      }
    }
    ++i;
  }
  // A tag of a class index that is not a class: 0x8000 | k followed by a
  // version byte of this page, k within the indexes handed out.
  std::set<uint8_t> versions;
  for (const auto& [ci, v] : version) versions.insert(v);
  for (size_t j = 1; j + 3 < n; ++j) {
    if (d[j + 1] != 0x80 || d[j] == 0 || d[j] >= 0x80 || w.classes.count(d[j])) continue;
    if (!versions.count(d[j + 2]) || d[j] >= w.nextIndex) continue;
    if (tagAt.count(j) || tagAt.count(j - 1)) continue;
    if (std::any_of(opaque.begin(), opaque.end(),
                    [&](const auto& r) { return j >= r.first && j < r.second; }))
      continue;
    fail("a tag at " + std::to_string(j) + " names index " + std::to_string(d[j]) + ", which is no class");
  }
  return w;
}

::testing::AssertionResult PageWalksClean(const std::vector<uint8_t>& page,
                                          const ByteSpans& opaque) {
  const PageWalk w = WalkPage(page, opaque);
  if (!w.ok) return ::testing::AssertionFailure() << w.error;
  const std::pair<uint32_t, const char*> head[] = {{1, "CPicPage"}, {3, "CPicLayer"}, {5, "CPicFrame"}};
  for (const auto& [index, name] : head) {
    const auto it = w.classes.find(index);
    if (it == w.classes.end() || it->second != name)
      return ::testing::AssertionFailure() << "class " << index << " is not " << name;
  }
  return ::testing::AssertionSuccess();
}

namespace {

// Offset of the body after the tag of the object at `at`.
size_t BodyAfterTag(const std::vector<uint8_t>& d, size_t at) {
  if (at + 6 > d.size()) return d.size();
  if (U16(d, at) == 0xFFFF) return at + 6 + U16(d, at + 4);
  if (U16(d, at) == 0x7FFF) return at + 6;
  return at + 2;
}

// The keyframe head's fixed fields just before its duration word.
bool DurationAt(const std::vector<uint8_t>& d, size_t i) {
  if (i + 18 > d.size() || d[i] != 5 || d[i + 1] != 0) return false;
  for (size_t k = 2; k < 14; ++k)
    if (d[i + k] != 0) return false;
  return d[i + 14] == 0x16 || d[i + 14] == 0x18;
}

}  // namespace

std::vector<PageLayer> ReadPageLayers(const std::vector<uint8_t>& d, const PageWalk& walk) {
  std::vector<const PageObject*> inOrder;
  for (const auto& [index, object] : walk.objects) inOrder.push_back(&object);
  std::sort(inOrder.begin(), inOrder.end(),
            [](const PageObject* a, const PageObject* b) { return a->offset < b->offset; });
  std::vector<PageLayer> layers;
  PageKeyframe* open = nullptr;
  size_t searchFrom = 0;  // the open keyframe's duration lies after its elements
  auto close = [&] {
    if (!open) return;
    size_t i = searchFrom;
    while (i < d.size() && !DurationAt(d, i)) ++i;
    open->duration = i < d.size() ? U16(d, i + 15) : 0;
    open->tween = i < d.size() ? d[i + 17] : 0;
    // A sound keyframe's sound block stands where others start their tail
    // with zeros: its item number first.
    open->sound = i + 23 <= d.size() ? U16(d, i + 21) : 0;
    open->easing = i + 21 <= d.size() ? int16_t(U16(d, i + 19)) : 0;
    PageLayer& layer = layers.back();
    open->start = layer.keyframes.size() > 1 ? layer.keyframes[layer.keyframes.size() - 2].start +
                                                   layer.keyframes[layer.keyframes.size() - 2].duration
                                             : 0;
    open = nullptr;
  };
  for (const PageObject* o : inOrder) {
    if (o->className == "CPicLayer") {
      close();
      layers.emplace_back();
    } else if (o->className == "CPicFrame" && !layers.empty()) {
      close();
      open = &layers.back().keyframes.emplace_back();
      searchFrom = o->offset;
    } else if (o->className == "CPicVideoStream" && open) {
      // Version, the translation, two (old) or four (new) bytes, the
      // matrix, the bounds, two (old) or eight (new) bytes, the instance
      // name (a counted string), u32 1 and the video's item.
      const size_t body = BodyAfterTag(d, o->offset);
      const bool isNew = body < d.size() && d[body] == 4;
      const size_t matrix = body + 12 + (isNew ? 3 : 1);
      size_t at = matrix + 24 + 16 + (isNew ? 8 : 2);
      if (at + 1 > d.size()) continue;
      uint64_t n = d[at++];
      if (n == 0xFF && at + 2 <= d.size()) n = U16(d, at), at += 2;
      if (n == 0xFFFF && at + 4 <= d.size()) n = U32(d, at), at += 4;
      at += size_t(n) * (isNew ? 2 : 1) + 4;
      if (at + 2 > d.size() || matrix + 24 > d.size()) continue;
      PageInstance& in = open->instances.emplace_back();
      for (size_t k = 0; k < 6; ++k) in.matrix[k] = int32_t(U32(d, matrix + 4 * k));
      in.video = true;
      in.symbol = U16(d, at);
      searchFrom = at;
    } else if ((o->className == "CPicSymbol" || o->className == "CPicSprite" || o->className == "CPicButton" ||
                o->className == "CPicText") &&
               open) {
      // Version, the translation, one (old) or three (new) bytes, the
      // matrix; an instance goes on with its first frame, play mode, a
      // byte, the colour terms, 8 more bytes, an empty string and the item
      // (movie clips and buttons go on after it).
      const size_t body = BodyAfterTag(d, o->offset);
      const bool isNew = body < d.size() && d[body] == 4;
      const size_t matrix = body + 12 + (isNew ? 3 : 1);
      const bool text = o->className == "CPicText";
      int32_t box[4] = {};
      if (text && matrix + 40 <= d.size())
        for (size_t k = 0; k < 4; ++k) box[k] = int32_t(U32(d, matrix + 24 + 4 * k));
      const size_t symbol = matrix + 24 + 29 + (isNew ? 4 : 1);
      if ((text ? matrix + 24 : symbol + 2) > d.size()) continue;
      PageInstance& in = open->instances.emplace_back();
      for (size_t k = 0; k < 6; ++k) in.matrix[k] = int32_t(U32(d, matrix + 4 * k));
      in.text = text;
      std::copy(std::begin(box), std::end(box), in.box);
      searchFrom = matrix + 24;
      if (text) continue;
      in.frameOffset = U16(d, matrix + 24);
      in.playMode = U16(d, matrix + 26);
      for (size_t k = 0; k < 8; ++k) in.color[k] = int16_t(U16(d, matrix + 29 + 2 * k));
      in.symbol = U16(d, symbol);
      searchFrom = symbol;
    }
  }
  close();
  return layers;
}

::testing::AssertionResult PageFitsDocument(const std::vector<uint8_t>& page,
                                            std::optional<uint32_t> frames,
                                            const std::set<uint16_t>* items) {
  const PageWalk walk = WalkPage(page);
  if (!walk.ok) return ::testing::AssertionFailure() << walk.error;
  const std::vector<PageLayer> layers = ReadPageLayers(page, walk);
  uint32_t longest = 0;
  for (size_t l = 0; l < layers.size(); ++l) {
    const uint32_t n = layers[l].frames();
    if (frames && n > *frames)
      return ::testing::AssertionFailure() << "layer " << l << " runs " << n << " frames of " << *frames;
    longest = std::max(longest, n);
    for (const PageKeyframe& k : layers[l].keyframes)
      for (const PageInstance& in : k.instances)
        if (items && !in.text && !in.video && !items->count(in.symbol))
          return ::testing::AssertionFailure() << "layer " << l << " frame " << k.start
                                               << " names item " << in.symbol
                                               << ", which the library does not hold";
  }
  if (frames && longest != *frames)
    return ::testing::AssertionFailure() << "the longest layer runs " << longest << " frames of " << *frames;
  return ::testing::AssertionSuccess();
}

int SymbolPageKind(const std::vector<uint8_t>& contents, const std::string& name, uint16_t item) {
  std::set<uint16_t> items;
  std::map<std::string, uint16_t> symbols;
  std::map<std::string, uint8_t> kinds;
  if (!ReadLibraryItems(contents, items, &symbols, &kinds)) return -1;
  const auto at = symbols.find(name);
  if (at == symbols.end() || at->second != item) return -1;
  return kinds.at(name);
}

}  // namespace tovrani::test
