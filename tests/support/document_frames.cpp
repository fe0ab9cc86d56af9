#include "support/document_frames.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <sstream>

#include "convert/converter_context.h"
#include "fla/file_helpers.h"
#include "support/contents_layout.h"
#include "support/independent_readers.h"
#include "support/library_items.h"
#include "support/page_layout.h"
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

// How far each value of an element (a, b, c, d, tx, ty, then the colour
// terms) may stand from the movie's: nothing but inside a motion tween.
using Values = std::array<int64_t, 14>;
using Band = Values;

Values ValuesOf(const std::string& element) {
  Values v{0x10000, 0, 0, 0x10000, 0, 0, 256, 0, 256, 0, 256, 0, 256, 0};
  size_t at = element.find('@');
  for (size_t i = 0; i < v.size() && at != std::string::npos && at + 1 < element.size(); ++i) {
    v[i] = std::stoll(element.substr(at + 1));
    at = element.find_first_of(",#", at + 1);
    if (at != std::string::npos && element[at] == '#' && i < 5) break;  // no colour terms
    if (at != std::string::npos && element[at] == ',' && at + 1 < element.size() && element[at + 1] == '#') ++at;
  }
  return v;
}

// The authoring tool's motion tween between two keyframes' matrices: the
// scales and skew angles of both axes and the translation move with the
// eased fraction t (a flip is a turn by half a circle, never a scale through
// 0), as do the colour terms.
Matrix TweenMatrix(const Matrix& from, const Matrix& to, double t) {
  const auto parts = [](const Matrix& m) {
    return std::array<double, 4>{std::hypot(double(m[0]), double(m[1])), std::hypot(double(m[2]), double(m[3])),
                                 std::atan2(double(m[1]), double(m[0])), std::atan2(-double(m[2]), double(m[3]))};
  };
  const auto a = parts(from), b = parts(to);
  std::array<double, 4> p;
  for (size_t i = 0; i < 4; ++i) {
    double d = b[i] - a[i];
    if (i >= 2 && d > M_PI) d -= 2 * M_PI;  // the shorter way round
    if (i >= 2 && d < -M_PI) d += 2 * M_PI;
    p[i] = a[i] + d * t;
  }
  auto lerp = [t](int32_t x, int32_t y) { return int32_t(std::lround(x + (double(y) - x) * t)); };
  return {int32_t(std::lround(p[0] * std::cos(p[2]))), int32_t(std::lround(p[0] * std::sin(p[2]))),
          int32_t(std::lround(-p[1] * std::sin(p[3]))), int32_t(std::lround(p[1] * std::cos(p[3]))),
          lerp(from[4], to[4]), lerp(from[5], to[5])};
}

// A tween may stand this share of its keyframes' change, and 2 units (the
// smallest bend the run's steps may take), from the movie: channels of one
// run keep their proportions within the slider's thousandths (10 by
// default), and one easing value stands for all of them in hundredths.
constexpr double kTweenBand = 0.01;

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
  std::set<std::array<int32_t, 4>> editBoxes;  // the boxes edit-text objects get
  std::set<uint16_t> videos;                     // the videos the library holds
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

  // A text object: an edit text's box is its bounds; a static text's
  // starts at 0, 0.
  std::string TextElement(const PageInstance& in) const {
    const std::array<int32_t, 4> box{in.box[0], in.box[1], in.box[2], in.box[3]};
    if (editBoxes.count(box)) return BoxElement(box);
    if (box[0] == 0 && box[2] == 0) return "S";
    return std::string("?").append(BoxElement(box));
  }

  static std::string BoxElement(const std::array<int32_t, 4>& b) {
    return "T[" + std::to_string(b[0]) + "," + std::to_string(b[1]) + "," + std::to_string(b[2]) + "," +
           std::to_string(b[3]) + "]";
  }

  // tweened: set when an element stands inside a motion tween, where the
  // document interpolates what the movie gives frame by frame.
  // bands: per element of `out`, how far it may stand from the movie.
  void show(const std::vector<PageLayer>& layers, uint32_t f, const Matrix& m, const Color& c, int level,
            std::vector<std::string>& out, std::vector<MorphShown>& ratios, bool& tweened,
            std::vector<Band>& bands) const {
    for (const PageLayer& layer : layers)
      for (size_t ki = 0; ki < layer.keyframes.size(); ++ki) {
        const PageKeyframe& k = layer.keyframes[ki];
        if (f < k.start || f >= k.start + k.duration) continue;
        if (k.tween && f > k.start && !k.instances.empty()) tweened = true;
        // Inside a motion tween an instance moves toward the same item's
        // instance in the next keyframe.
        const PageKeyframe* to = nullptr;
        if (k.tween && f > k.start && ki + 1 < layer.keyframes.size() &&
            layer.keyframes[ki + 1].start == k.start + k.duration)
          to = &layer.keyframes[ki + 1];
        for (size_t ii = 0; ii < k.instances.size(); ++ii) {
          const PageInstance& in = k.instances[ii];
          Matrix im{in.matrix[0], in.matrix[1], in.matrix[2], in.matrix[3], in.matrix[4], in.matrix[5]};
          Color ic;
          std::copy(std::begin(in.color), std::end(in.color), ic.begin());
          Band band{};
          if (to && ii < to->instances.size() && to->instances[ii].symbol == in.symbol && !in.text && !in.video &&
              !to->instances[ii].text && !to->instances[ii].video) {
            const PageInstance& end = to->instances[ii];
            const Matrix jm{end.matrix[0], end.matrix[1], end.matrix[2], end.matrix[3], end.matrix[4], end.matrix[5]};
            Color jc;
            std::copy(std::begin(end.color), std::end(end.color), jc.begin());
            const double t = double(f - k.start) / k.duration, eased = t - k.easing / 100.0 * t * (1 - t);
            const Matrix fromC = Compose(m, im), toC = Compose(m, jm);
            const Color fromK = Compose(c, ic), toK = Compose(c, jc);
            for (size_t i = 0; i < 6; ++i)
              band[i] = 2 + int64_t(kTweenBand * std::fabs(double(toC[i]) - fromC[i]));
            for (size_t i = 0; i < 8; ++i)
              band[6 + i] = 2 + int64_t(kTweenBand * std::fabs(double(toK[i]) - fromK[i]));
            im = TweenMatrix(im, jm, eased);
            for (size_t i = 0; i < 8; ++i) ic[i] = int16_t(std::lround(ic[i] + (double(jc[i]) - ic[i]) * eased));
          }
          const size_t before = out.size();
          const Matrix cm = Compose(m, im);
          const Color cc = Compose(c, in.text ? kNoColor : ic);
          const auto page = inner.find(in.symbol);
          const auto morph = morphOf.find(in.symbol);
          if (in.text) {
            out.push_back(Element(TextElement(in), cm, cc));
          } else if (in.video) {
            out.push_back(Element(std::string("V").append(std::to_string(in.symbol)), cm, cc));
          } else if (morph != morphOf.end()) {
            out.push_back(Element(std::string("M").append(std::to_string(morph->second.morph)), cm, cc));
            ratios.push_back(Ratio(out.back(), morph->second, in, f - k.start));
          } else if (page != inner.end() && level < 70) {
            uint32_t length = 0;
            for (const PageLayer& l : page->second) length = std::max(length, l.frames());
            if (length)
              show(page->second, (in.frameOffset + f - k.start) % length, cm, cc, level + 1, out, ratios, tweened,
                   bands);
          } else {
            out.push_back(Element(std::to_string(in.symbol), cm, cc));
          }
          // What an inner page shows moves with its instance.
          for (size_t e = before; e < out.size(); ++e) {
            if (e >= bands.size()) bands.push_back(band);
            else
              for (size_t i = 0; i < band.size(); ++i) bands[e][i] = std::max(bands[e][i], band[i]);
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

// The movie's characters by kind: edit texts with the box their text
// objects get, static texts, videos with their frame counts, morph shapes.
struct Characters {
  std::set<uint16_t> all, statics, morphs;
  std::map<uint16_t, std::array<int32_t, 4>> edits;
  std::map<uint16_t, uint32_t> videos;
};

Characters MovieCharacters(const std::vector<uint8_t>& tags) {
  static const std::set<uint32_t> kDefinitions = {2, 6, 7, 10, 11, 20, 21, 22, 32, 33, 34, 35, 36, 37,
                                                  39, 46, 48, 60, 62, 75, 83, 84, 90};
  Characters c;
  ForEachTag(tags, 0, tags.size(), [&](uint32_t code, size_t body, uint32_t len) {
    if (!kDefinitions.count(code) || len < 2) return;
    const uint16_t id = uint16_t(tags[body] | (tags[body + 1] << 8));
    c.all.insert(id);
    if (code == 37) {
      // The text object's box lies 40 twips inside the bounds.
      SwfReader r(tags.data() + body + 2, len - 2);
      SwfRect b;
      ReadSwfRect(r, b);
      if (r.ok()) c.edits[id] = {b.xmin + 40, b.xmax - 40, b.ymin + 40, b.ymax - 40};
    }
    if (code == 11 || code == 33) c.statics.insert(id);
    if (code == 60 && len >= 4) c.videos[id] = tags[body + 2] | (tags[body + 3] << 8);
    if (code == 46 || code == 84) c.morphs.insert(id);
  });
  return c;
}

// One timeline of the movie against its page.
// A text, video or morph compares only with an element of its own kind: an
// edit text with an edit-text object of its box, a static text with a static
// text object or its own symbol, a video with a video object of its item, a
// morph with its own symbols.
::testing::AssertionResult TimelineShown(const std::vector<std::vector<ShownObject>>& movie,
                                         const std::vector<PageLayer>& layers, const Document& doc,
                                         const Characters& chars) {
  const Matrix identity{0x10000, 0, 0, 0x10000, 0, 0};
  std::map<uint32_t, std::pair<uint16_t, uint32_t>> placedAt;  // depth -> character, first frame shown
  for (uint32_t f = 0; f < movie.size(); ++f) {
    // Pages hold their layers bottom first; a mask layer stands where the
    // archive first names it, after the first layer it covers, so masks are
    // compared as a set and everything else in stacking order.
    std::vector<std::string> shown, masks, written, mayLack;
    std::vector<MorphShown> ratios, writtenRatios;
    std::map<uint32_t, std::pair<uint16_t, uint32_t>> nowAt;
    for (ShownObject o : movie[f]) {
      // The document names character 0 by the item it was given.
      o.character = doc.itemOf(o.character);
      const auto before = placedAt.find(o.depth);
      nowAt[o.depth] = before != placedAt.end() && before->second.first == o.character
                           ? before->second
                           : std::make_pair(o.character, f);
      std::string e;
      const auto edit = chars.edits.find(o.character);
      const auto video = chars.videos.find(o.character);
      if (chars.morphs.count(o.character)) {
        e = Element(std::string("M").append(std::to_string(o.character)), o.matrix, o.color);
        ratios.push_back({e, o.ratio});
      } else if (edit != chars.edits.end() && !doc.items.count(o.character)) {
        e = Element(Document::BoxElement(edit->second), o.matrix, o.color);
      } else if (chars.statics.count(o.character) && !doc.items.count(o.character)) {
        e = Element("S", o.matrix, o.color);
      } else if (video != chars.videos.end() && doc.videos.count(o.character)) {
        e = Element(std::string("V").append(std::to_string(o.character)), o.matrix, o.color);
        // A video placed longer than its frames ends with them, one at
        // least: after that the document may show nothing.
        if (f - nowAt[o.depth].second >= std::max<uint32_t>(video->second, 1)) {
          mayLack.push_back(e);
          continue;
        }
      } else if (doc.items.count(o.character)) {
        e = Element(std::to_string(o.character), o.matrix, o.color);
      } else {
        continue;
      }
      (o.isMask ? masks : shown).push_back(e);
    }
    placedAt = std::move(nowAt);
    bool tweened = false;
    std::vector<Band> bands;
    doc.show(layers, f, identity, kNoColor, 0, written, writtenRatios, tweened, bands);
    for (const std::string& e : mayLack)
      if (const auto it = std::find(written.begin(), written.end(), e); it != written.end())
        bands.erase(bands.begin() + (it - written.begin())), written.erase(it);
    const std::vector<std::string> shownWhole = shown, writtenWhole = written;
    // Inside a tween only the elements and their order are compared; its
    // two keyframes are compared whole.
    if (tweened)
      for (std::vector<std::string>* v : {&shown, &masks, &written})
        for (std::string& e : *v) e = e.substr(0, e.find('@'));
    // The objects in order with the masks left over: a mask may show the
    // same element as an object it covers.
    size_t matched = 0;
    std::vector<std::pair<size_t, size_t>> pairs;  // written, shown
    for (size_t i = 0; i < written.size(); ++i)
      if (matched < shown.size() && written[i] == shown[matched]) pairs.emplace_back(i, matched++);
    std::vector<std::string> all = shown, both = written;
    all.insert(all.end(), masks.begin(), masks.end());
    std::sort(all.begin(), all.end());
    std::sort(both.begin(), both.end());
    if (matched != shown.size() || all != both)
      return ::testing::AssertionFailure() << "frame " << f + 1 << ": the movie shows " << Join(shown)
                                           << "under masks " << Join(masks) << "| the document "
                                           << Join(written);
    // Inside a tween each element within its band of the movie's values.
    if (tweened)
      for (const auto& [w, m] : pairs) {
        const Values a = ValuesOf(writtenWhole[w]), b = ValuesOf(shownWhole[m]);
        for (size_t i = 0; i < a.size(); ++i)
          if (std::abs(a[i] - b[i]) > bands[w][i])
            return ::testing::AssertionFailure() << "frame " << f + 1 << ": a motion tween shows " << writtenWhole[w]
                                                 << " where the movie shows " << shownWhole[m] << " (value " << i
                                                 << " may differ by " << bands[w][i] << ")";
      }
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
    if (name.starts_with("Page ") || name.starts_with("Symbol ")) {
      EXPECT_TRUE(PageWalksClean(bytes)) << name;
    }
  if (streams.count("Contents")) {
    EXPECT_TRUE(ContentsLikeRealDocuments(streams["Contents"])) << fla;
  }
  EXPECT_TRUE(PagesLikeRealDocuments(fla));
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
  Characters chars = MovieCharacters(tags);
  std::set<uint16_t>& characters = chars.all;
  std::set<uint16_t> madeMorphs;
  Document doc;
  std::set<uint16_t> items, sounds;  // with the media items; the sound items
  std::map<std::string, uint16_t> symbols;
  if (auto read = ReadLibraryItems(contents->second, items, &symbols, nullptr, &sounds); !read) return read;
  for (const auto& [id, box] : chars.edits) doc.editBoxes.insert(box);
  // Every sound keyframe names a sound item the document holds.
  for (const auto& [name, page] : streams) {
    if (name != "Page 1" && !name.starts_with("Symbol ")) continue;
    for (const PageLayer& layer : ReadPageLayers(page, WalkPage(page)))
      for (const PageKeyframe& k : layer.keyframes)
        if (k.sound && !sounds.count(k.sound))
          return ::testing::AssertionFailure() << name << ": a keyframe at frame " << k.start + 1 << " starts sound "
                                               << k.sound << ", which is no sound item of the library";
  }
  std::map<uint16_t, const std::vector<uint8_t>*> pages;  // item -> its page
  for (const auto& [name, item] : symbols) {
    doc.items.insert(item);
    if (const auto page = streams.find(name); page != streams.end()) pages[item] = &page->second;
  }
  // Character 0 is the first to take a number above the movie's ids: the
  // lowest item there (the movie defines it before any inner symbol is made).
  if (characters.count(0) && !items.count(0) && !chars.edits.count(0) && !chars.statics.count(0) &&
      !chars.morphs.count(0)) {
    const auto above = items.upper_bound(*characters.rbegin());
    if (above != items.end()) {
      doc.zeroItem = *above;
      characters.insert(doc.zeroItem);
      if (const auto video = chars.videos.find(0); video != chars.videos.end())
        chars.videos[doc.zeroItem] = video->second;
    }
  }
  for (const auto& [id, frames] : chars.videos)
    if (items.count(id)) doc.videos.insert(id);
  for (const auto& [name, page] : streams) {
    if (name.rfind("Symbol ", 0) != 0) continue;
    if (auto fits = PageFitsDocument(page, std::nullopt, &doc.items); !fits) return fits << " (" << name << ")";
  }
  for (const auto& [item, page] : pages) {
    const std::vector<PageLayer> layers = ReadPageLayers(*page, WalkPage(*page));
    for (uint16_t id : chars.morphs)
      if (IsMorphSymbol(*page, layers, id)) doc.morphOf[item] = ReadMorphSymbol(*page, id), madeMorphs.insert(id);
    if (!characters.count(item) && !doc.morphOf.count(item)) doc.inner[item] = layers;
  }
  // A morph the document made no symbol for (not converted) is not shown.
  chars.morphs = madeMorphs;

  // The movie as the converter reads it: after the depth and mask-layer
  // pass, with its disabled masks.
  ConverterContext pass;
  std::vector<uint8_t> passed = tags;
  RunMainPass(pass, passed);
  const PassRecords records = MovieRecords(pass);
  const std::vector<std::vector<ShownObject>> movie = ShownObjects(passed, 0, passed.size(), &records);
  if (auto fits = PageFitsDocument(scene->second, uint32_t(movie.size()), &doc.items); !fits)
    return fits << " (scene)";
  if (auto shown = TimelineShown(movie, ReadPageLayers(scene->second, WalkPage(scene->second)), doc, chars);
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
    auto frames = ShownObjects(sprite, 4, sprite.size(), &inSprite);
    // A sprite without a ShowFrame shows one frame of what it placed.
    if (frames.empty()) {
      sprite.insert(sprite.end(), {0x40, 0x00});
      frames = ShownObjects(sprite, 4, sprite.size(), &inSprite);
    }
    if (auto shown = TimelineShown(frames, ReadPageLayers(*page->second, WalkPage(*page->second)), doc, chars);
        !shown)
      result = shown << " (sprite " << page->first << ")";
  });
  return result;
}

}  // namespace tovrani::test
