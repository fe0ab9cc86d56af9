#include "support/document_frames.h"

#include <algorithm>
#include <set>
#include <sstream>

#include "fla/file_helpers.h"
#include "support/page_walker.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"
#include "timeline/display_model.h"

namespace tovrani::test {

namespace {

std::string Instance(uint16_t item, const int32_t* m) {
  std::ostringstream s;
  s << item << "@" << m[0] << "," << m[1] << "," << m[2] << "," << m[3] << "," << m[4] << "," << m[5];
  return s.str();
}

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += x + " ";
  return s;
}

// The character ids of the movie's morph shapes (main timeline and sprites).
std::set<uint16_t> MorphIds(const std::vector<uint8_t>& tags, size_t begin, size_t end, int depth = 0) {
  std::set<uint16_t> ids;
  SwfReader r(std::span<const uint8_t>(tags).subspan(begin, end - begin));
  TagHeader h;
  while (r.tagHeader(h) && h.code != 0 && h.length <= r.remaining()) {
    const size_t at = begin + r.pos();
    const std::span<const uint8_t> body = r.take(h.length);
    if ((h.code == 46 || h.code == 84) && body.size() >= 2) ids.insert(uint16_t(body[0] | body[1] << 8));
    if (h.code == 39 && body.size() > 4 && depth < 4)
      for (uint16_t id : MorphIds(tags, at + 4, at + body.size(), depth + 1)) ids.insert(id);
  }
  return ids;
}

bool HasLayerName(const std::vector<uint8_t>& page, const std::string& name) {
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

}  // namespace

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
  std::set<uint16_t> items;
  for (const auto& [name, item] : LibrarySymbols(contents->second)) items.insert(item);
  for (const auto& [name, page] : streams) {
    if (name.rfind("Symbol ", 0) != 0) continue;
    if (auto fits = PageFitsDocument(page, std::nullopt, &items); !fits) return fits << " (" << name << ")";
  }

  const std::vector<uint8_t> tags = MovieTags(movieFile);
  const std::vector<std::vector<ShownObject>> movie = ShownObjects(tags, 0, tags.size());
  // A symbol made for a morph shape (keyframes on one layer named "ID" and
  // the morph's id) stands for the morph.
  const std::set<uint16_t> morphs = MorphIds(tags, 0, tags.size());
  std::map<uint16_t, uint16_t> morphOfItem;
  for (const auto& [name, item] : LibrarySymbols(contents->second)) {
    const auto page = streams.find(name);
    if (page == streams.end() || morphs.empty()) continue;
    const std::vector<PageLayer> pageLayers = ReadPageLayers(page->second, WalkPage(page->second));
    if (pageLayers.size() != 1 || pageLayers[0].keyframes.size() < 2) continue;
    for (uint16_t id : morphs)
      if (HasLayerName(page->second, "ID " + std::to_string(id))) morphOfItem[item] = id;
  }
  if (auto fits = PageFitsDocument(scene->second, uint32_t(movie.size()), &items); !fits)
    return fits << " (scene)";
  const std::vector<PageLayer> layers = ReadPageLayers(scene->second, WalkPage(scene->second));
  for (uint32_t f = 0; f < movie.size(); ++f) {
    // Pages hold their layers bottom first, a mask after the layers it
    // covers; the movie stacks a mask below them.
    std::vector<ShownObject> stack = movie[f];
    for (size_t i = stack.size(); i-- > 0;) {
      if (!stack[i].isMask) continue;
      size_t last = i;
      while (last + 1 < stack.size() && stack[last + 1].depth <= stack[i].clip) ++last;
      std::rotate(stack.begin() + long(i), stack.begin() + long(i) + 1, stack.begin() + long(last) + 1);
    }
    std::vector<std::string> shown, written;
    for (const ShownObject& o : stack)
      if (items.count(o.character) || morphs.count(o.character))
        shown.push_back(Instance(o.character, o.matrix.data()));
    for (const PageLayer& layer : layers)
      for (const PageKeyframe& k : layer.keyframes)
        if (k.start <= f && f < k.start + k.duration)
          for (const PageInstance& in : k.instances) {
            const auto morph = morphOfItem.find(in.symbol);
            written.push_back(Instance(morph != morphOfItem.end() ? morph->second : in.symbol, in.matrix));
          }
    if (shown != written)
      return ::testing::AssertionFailure() << "frame " << f + 1 << ": the movie shows " << Join(shown)
                                           << "| the document " << Join(written);
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tovrani::test
