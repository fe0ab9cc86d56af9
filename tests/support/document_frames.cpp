#include "support/document_frames.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <sstream>

#include "convert/converter_context.h"
#include "fla/file_helpers.h"
#include "support/independent_readers.h"
#include "support/library_items.h"
#include "support/page_walker.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"
#include "timeline/display_model.h"

namespace tovrani::test {

namespace {

using Matrix = std::array<int32_t, 6>;
using Color = std::array<int16_t, 8>;
constexpr Color kNoColor{256, 0, 256, 0, 256, 0, 256, 0};

// `outer` applied after `inner`: a, b, c, d in 16.16, tx, ty in twips.
Matrix Compose(const Matrix& o, const Matrix& i) {
  auto mul = [](int64_t a, int64_t b) { return a * b / 65536; };
  return {int32_t(mul(o[0], i[0]) + mul(o[2], i[1])), int32_t(mul(o[1], i[0]) + mul(o[3], i[1])),
          int32_t(mul(o[0], i[2]) + mul(o[2], i[3])), int32_t(mul(o[1], i[2]) + mul(o[3], i[3])),
          int32_t(mul(o[0], i[4]) + mul(o[2], i[5]) + o[4]), int32_t(mul(o[1], i[4]) + mul(o[3], i[5]) + o[5])};
}

Color Compose(const Color& o, const Color& i) {
  Color c;
  for (size_t k = 0; k < 8; k += 2) {
    c[k] = int16_t(o[k] * i[k] / 256);
    c[k + 1] = int16_t(i[k + 1] * o[k] / 256 + o[k + 1]);
  }
  return c;
}

// An element of a frame: an item with its matrix, or "T" for a text, and
// its colour terms when they change anything.
std::string Element(const std::string& what, const Matrix& m, const Color& c) {
  std::ostringstream s;
  s << what << "@" << m[0] << "," << m[1] << "," << m[2] << "," << m[3] << "," << m[4] << "," << m[5];
  if (c != kNoColor) {
    s << "#";
    for (int16_t v : c) s << v << ",";
  }
  return s.str();
}

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += x + " ";
  return s;
}

// A symbol made for a morph shape: one layer whose first keyframe tweens
// the start shape to the end shape over `first` frames, `length` frames in
// all. `first` is 0 when the page holds no shape tween (its shapes are
// instances of their own items).
struct MorphSymbol {
  uint16_t morph = 0;
  uint32_t first = 0, length = 0;
  int16_t easing = 0;
};

// A morph a frame shows: its element, its ratio and how far the document's
// ratio may stand from the movie's (an eased tween follows the movie's
// ratios only as far as its one easing value can); -1 where the document
// shows no tween.
struct MorphShown {
  std::string element;
  int32_t ratio;
  int32_t tolerance = 1;
};

// The document's side: a page's frame, with the instances of inner symbols
// (groups, "Text" symbols: items that name no character of the movie)
// replaced by what their own page shows in the frame they are at.
struct Document {
  std::set<uint16_t> items;
  // The item of character 0, which takes a free number above every
  // character id (0 when the movie defines no character 0).
  uint16_t zeroItem = 0;
  uint16_t itemOf(uint16_t character) const { return character == 0 && zeroItem ? zeroItem : character; }
  std::map<uint16_t, std::vector<PageLayer>> inner;
  std::map<uint16_t, MorphSymbol> morphOf;  // by item

  // The ratio a morph symbol shows `f` frames into an instance's keyframe:
  // its tween's fraction t, eased by e to t + a t (1 - t) with a = -e/100
  // (the middle frame of a run with easing e shows 0.5 - e/400).
  static MorphShown Ratio(const std::string& element, const MorphSymbol& m, const PageInstance& in,
                          uint32_t f) {
    if (!m.first || !m.length) return {element, -1};
    uint64_t at = in.playMode == 2 ? in.frameOffset : uint64_t(in.frameOffset) + f;
    at = in.playMode == 0 ? at % m.length : std::min<uint64_t>(at, m.length - 1);
    if (at >= m.first) return {element, 65535};
    const double t = double(at) / m.first, a = -m.easing / 100.0;
    return {element, int32_t(std::lround((t + a * t * (1 - t)) * 65535)), m.easing ? 656 : 1};
  }

  // tweened: set when an element stands inside a motion tween, where the
  // document interpolates what the movie gives frame by frame.
  void show(const std::vector<PageLayer>& layers, uint32_t f, const Matrix& m, const Color& c, int level,
            std::vector<std::string>& out, std::vector<MorphShown>& ratios, bool& tweened) const {
    for (const PageLayer& layer : layers)
      for (const PageKeyframe& k : layer.keyframes) {
        if (f < k.start || f >= k.start + k.duration) continue;
        if (k.tween && f > k.start && !k.instances.empty()) tweened = true;
        for (const PageInstance& in : k.instances) {
          const Matrix im{in.matrix[0], in.matrix[1], in.matrix[2], in.matrix[3], in.matrix[4], in.matrix[5]};
          Color ic;
          std::copy(std::begin(in.color), std::end(in.color), ic.begin());
          const Matrix cm = Compose(m, im);
          const Color cc = Compose(c, in.text ? kNoColor : ic);
          const auto page = inner.find(in.symbol);
          const auto morph = morphOf.find(in.symbol);
          if (in.text) {
            out.push_back(Element("T", cm, cc));
          } else if (morph != morphOf.end()) {
            out.push_back(Element("M" + std::to_string(morph->second.morph), cm, cc));
            ratios.push_back(Ratio(out.back(), morph->second, in, f - k.start));
          } else if (page != inner.end() && level < 70) {
            uint32_t length = 0;
            for (const PageLayer& l : page->second) length = std::max(length, l.frames());
            if (length)
              show(page->second, (in.frameOffset + f - k.start) % length, cm, cc, level + 1, out, ratios, tweened);
          } else {
            out.push_back(Element(std::to_string(in.symbol), cm, cc));
          }
        }
      }
  }
};

// The keyframes of a morph symbol's page, read from their tails: five 00
// bytes, 16 or 18, the duration, 2 for a shape tween, 6, the easing, ...,
// 3FFFFFFF.
MorphSymbol ReadMorphSymbol(const std::vector<uint8_t>& page, uint16_t morph) {
  MorphSymbol m{morph};
  bool firstRead = false;
  for (size_t i = 0; i + 27 <= page.size(); ++i) {
    if (page[i] != 0 || page[i + 4] != 0 || (page[i + 5] != 0x16 && page[i + 5] != 0x18) || page[i + 9] != 6 ||
        page[i + 23] != 0xFF || page[i + 24] != 0xFF || page[i + 25] != 0xFF || page[i + 26] != 0x3F)
      continue;
    const uint32_t duration = page[i + 6] | (page[i + 7] << 8);
    if (!firstRead && page[i + 8] == 2) {
      m.first = duration;
      m.easing = int16_t(page[i + 10] | (page[i + 11] << 8));
    }
    firstRead = true;
    m.length += duration;
    i += 26;
  }
  return m;
}

// Whether a page is a symbol made for morph `id`: keyframes on one layer
// named "ID " and the id.
bool IsMorphSymbol(const std::vector<uint8_t>& page, const std::vector<PageLayer>& layers, uint16_t id) {
  if (layers.size() != 1 || layers[0].keyframes.size() < 2) return false;
  const std::string name = "ID " + std::to_string(id);
  std::vector<uint8_t> narrow{uint8_t(name.size())}, wide{uint8_t(name.size())};
  for (char c : name) {
    narrow.push_back(uint8_t(c));
    wide.push_back(uint8_t(c));
    wide.push_back(0);
  }
  for (const auto* p : {&narrow, &wide})
    if (std::search(page.begin(), page.end(), p->begin(), p->end()) != page.end()) return true;
  return false;
}

// The movie's characters, and which of them are edit texts and morph shapes.
void MovieCharacters(const std::vector<uint8_t>& tags, std::set<uint16_t>& all, std::set<uint16_t>& texts,
                     std::set<uint16_t>& morphs) {
  static const std::set<uint32_t> kDefinitions = {2, 6, 7, 10, 11, 20, 21, 22, 32, 33, 34, 35, 36, 37,
                                                  39, 46, 48, 60, 62, 75, 83, 84, 90};
  ForEachTag(tags, 0, tags.size(), [&](uint32_t code, size_t body, uint32_t len) {
    if (!kDefinitions.count(code) || len < 2) return;
    const uint16_t id = uint16_t(tags[body] | (tags[body + 1] << 8));
    all.insert(id);
    // Static texts become shapes by default or reach the document only
    // through the script; edit texts are text objects.
    if (code == 37) texts.insert(id);
    if (code == 46 || code == 84) morphs.insert(id);
  });
}

// One timeline of the movie against its page.
::testing::AssertionResult TimelineShown(const std::vector<std::vector<ShownObject>>& movie,
                                         const std::vector<PageLayer>& layers, const Document& doc,
                                         const std::set<uint16_t>& texts, const std::set<uint16_t>& morphs) {
  const Matrix identity{0x10000, 0, 0, 0x10000, 0, 0};
  for (uint32_t f = 0; f < movie.size(); ++f) {
    // Pages hold their layers bottom first; a mask layer stands where the
    // archive first names it, after the first layer it covers, so masks are
    // compared as a set and everything else in stacking order.
    std::vector<std::string> shown, masks, written;
    std::vector<MorphShown> ratios, writtenRatios;
    for (ShownObject o : movie[f]) {
      std::string e;
      o.character = doc.itemOf(o.character);
      if (morphs.count(o.character)) {
        e = Element("M" + std::to_string(o.character), o.matrix, o.color);
        ratios.push_back({e, o.ratio});
      } else if (texts.count(o.character) && !doc.items.count(o.character))
        e = Element("T", o.matrix, o.color);
      else if (doc.items.count(o.character))
        e = Element(std::to_string(o.character), o.matrix, o.color);
      else
        continue;
      (o.isMask ? masks : shown).push_back(e);
    }
    bool tweened = false;
    doc.show(layers, f, identity, kNoColor, 0, written, writtenRatios, tweened);
    // Inside a tween only the elements and their order are compared; its
    // two keyframes are compared whole.
    if (tweened)
      for (std::vector<std::string>* v : {&shown, &masks, &written})
        for (std::string& e : *v) e = e.substr(0, e.find('@'));
    // The objects in order with the masks left over: a mask may show the
    // same element as an object it covers.
    size_t matched = 0;
    for (const std::string& e : written)
      if (matched < shown.size() && e == shown[matched]) ++matched;
    std::vector<std::string> all = shown, both = written;
    all.insert(all.end(), masks.begin(), masks.end());
    std::sort(all.begin(), all.end());
    std::sort(both.begin(), both.end());
    if (matched != shown.size() || all != both)
      return ::testing::AssertionFailure() << "frame " << f + 1 << ": the movie shows " << Join(shown)
                                           << "under masks " << Join(masks) << "| the document "
                                           << Join(written);
    // The morphs' ratios, each element's in the order both sides give
    // them; a ratio symbol frame stands for 65535/65534 of a ratio.
    std::vector<MorphShown> a = ratios, b = writtenRatios;
    const auto less = [](const MorphShown& x, const MorphShown& y) { return x.element < y.element; };
    std::stable_sort(a.begin(), a.end(), less);
    std::stable_sort(b.begin(), b.end(), less);
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
      if (b[i].ratio >= 0 && std::abs(a[i].ratio - b[i].ratio) > b[i].tolerance)
        return ::testing::AssertionFailure() << "frame " << f + 1 << ": the movie shows " << a[i].element
                                             << " at ratio " << a[i].ratio << ", the document at ratio "
                                             << b[i].ratio;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

std::map<std::string, std::vector<uint8_t>> ExpectReadableDocument(const std::string& fla) {
  std::map<std::string, std::vector<uint8_t>> streams;
  EXPECT_TRUE(ReadCompoundFile(fla, streams));
  EXPECT_TRUE(streams.count("Contents") && streams.count("Page 1")) << fla;
  EXPECT_TRUE(IsValidJavaScriptFile(fla + ".jsfl"));
  for (const auto& [name, bytes] : streams)
    if (name.starts_with("Page ") || name.starts_with("Symbol ")) EXPECT_TRUE(PageWalksClean(bytes)) << name;
  return streams;
}

std::vector<uint8_t> MovieTags(const std::vector<uint8_t>& file) {
  if (file.size() < 8 || file[1] != 'W' || file[2] != 'S') return {};
  std::vector<uint8_t> body(file.begin() + 8, file.end());
  if (file[0] == 'C') {
    InflateZlibToVector(std::span(file).subspan(8), 64u << 20, body);
  } else if (file[0] != 'F') {
    return {};
  }
  SwfReader r(body);
  SwfRect frame;
  ReadSwfRect(r, frame);
  r.skip(4);
  if (!r.ok()) return {};
  return std::vector<uint8_t>(body.begin() + long(r.pos()), body.end());
}

::testing::AssertionResult DocumentShowsMovie(const std::vector<uint8_t>& movieFile,
                                              const std::map<std::string, std::vector<uint8_t>>& streams) {
  const auto contents = streams.find("Contents");
  const auto scene = streams.find("Page 1");
  if (contents == streams.end() || scene == streams.end())
    return ::testing::AssertionFailure() << "no Contents or no scene page";
  const std::vector<uint8_t> tags = MovieTags(movieFile);
  std::set<uint16_t> characters, texts, morphs, madeMorphs;
  MovieCharacters(tags, characters, texts, morphs);
  Document doc;
  std::set<uint16_t> items;  // with the media items
  std::map<std::string, uint16_t> symbols;
  if (auto read = ReadLibraryItems(contents->second, items, &symbols); !read) return read;
  std::map<uint16_t, const std::vector<uint8_t>*> pages;  // item -> its page
  for (const auto& [name, item] : symbols) {
    doc.items.insert(item);
    if (const auto page = streams.find(name); page != streams.end()) pages[item] = &page->second;
  }
  // Character 0 is the first to take a number above the movie's ids: the
  // lowest item there (the movie defines it before any inner symbol is made).
  if (characters.count(0) && !items.count(0) && !texts.count(0) && !morphs.count(0)) {
    const auto above = items.upper_bound(*characters.rbegin());
    if (above != items.end()) {
      doc.zeroItem = *above;
      characters.insert(doc.zeroItem);
    }
  }
  for (const auto& [name, page] : streams) {
    if (name.rfind("Symbol ", 0) != 0) continue;
    if (auto fits = PageFitsDocument(page, std::nullopt, &doc.items); !fits) return fits << " (" << name << ")";
  }
  for (const auto& [item, page] : pages) {
    const std::vector<PageLayer> layers = ReadPageLayers(*page, WalkPage(*page));
    for (uint16_t id : morphs)
      if (IsMorphSymbol(*page, layers, id)) doc.morphOf[item] = ReadMorphSymbol(*page, id), madeMorphs.insert(id);
    if (!characters.count(item) && !doc.morphOf.count(item)) doc.inner[item] = layers;
  }
  // A morph the document made no symbol for (not converted) is not shown.
  morphs = madeMorphs;

  // The movie as the converter reads it: after the depth and mask-layer
  // pass, with its disabled masks.
  ConverterContext pass;
  std::vector<uint8_t> passed = tags;
  RunMainPass(pass, passed);
  const PassRecords records = MovieRecords(pass);
  const std::vector<std::vector<ShownObject>> movie = ShownObjects(passed, 0, passed.size(), &records);
  if (auto fits = PageFitsDocument(scene->second, uint32_t(movie.size()), &doc.items); !fits)
    return fits << " (scene)";
  if (auto shown = TimelineShown(movie, ReadPageLayers(scene->second, WalkPage(scene->second)), doc, texts,
                                  morphs);
      !shown)
    return shown << " (scene)";
  // Each sprite's page against the sprite's own tags.
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  ForEachTag(tags, 0, tags.size(), [&](uint32_t code, size_t body, uint32_t len) {
    if (code != 39 || len < 4 || !result) return;
    const auto page = pages.find(uint16_t(tags[body] | (tags[body + 1] << 8)));
    if (page == pages.end()) return;
    std::vector<uint8_t> sprite(tags.begin() + long(body), tags.begin() + long(body + len));
    RunSpritePass(pass, sprite);
    const PassRecords inSprite = SpriteRecords(pass);
    const auto frames = ShownObjects(sprite, 4, sprite.size(), &inSprite);
    if (auto shown = TimelineShown(frames, ReadPageLayers(*page->second, WalkPage(*page->second)), doc, texts,
                                  morphs);
        !shown)
      result = shown << " (sprite " << page->first << ")";
  });
  return result;
}

}  // namespace tovrani::test
