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

bool Identity(const int32_t* m) {
  return m[0] == 0x10000 && m[1] == 0 && m[2] == 0 && m[3] == 0x10000 && m[4] == 0 && m[5] == 0;
}

// A wrapper symbol's page: one layer of one keyframe holding one element
// at the origin. Gives the element's item, or 0 for a video; false when
// the page is no such wrapper.
bool WrappedElement(const std::vector<uint8_t>& page, uint16_t& item) {
  const PageWalk walk = WalkPage(page);
  const std::vector<PageLayer> layers = ReadPageLayers(page, walk);
  if (layers.size() != 1 || layers[0].keyframes.size() != 1) return false;
  const std::vector<PageInstance>& in = layers[0].keyframes[0].instances;
  if (in.empty() && walk.count("CPicVideoStream") == 1) return item = 0, true;
  if (in.size() != 1 || !Identity(in[0].matrix)) return false;
  item = in[0].symbol;
  return true;
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
  std::map<uint16_t, const std::vector<uint8_t>*> pages;
  for (const auto& [name, item] : LibrarySymbols(contents->second)) {
    items.insert(item);
    if (const auto page = streams.find(name); page != streams.end()) pages[item] = &page->second;
  }
  for (const auto& [name, page] : streams) {
    if (name.rfind("Symbol ", 0) != 0) continue;
    if (auto fits = PageFitsDocument(page, std::nullopt, &items); !fits) return fits << " (" << name << ")";
  }

  const std::vector<uint8_t> tags = MovieTags(movieFile);
  const std::vector<std::vector<ShownObject>> movie = ShownObjects(tags, 0, tags.size());
  if (auto fits = PageFitsDocument(scene->second, uint32_t(movie.size()), &items); !fits)
    return fits << " (scene)";
  const std::vector<PageLayer> layers = ReadPageLayers(scene->second, WalkPage(scene->second));
  // Symbols the movie never places are the converter's wrappers: an
  // instance of one shows what the wrapper holds (a video: nothing the
  // library names).
  std::set<uint16_t> placed;
  for (const std::vector<ShownObject>& frame : movie)
    for (const ShownObject& o : frame) placed.insert(o.character);
  std::map<uint16_t, int32_t> wrapped;  // wrapper item -> element item, -1 none
  for (const auto& [item, page] : pages) {
    uint16_t element = 0;
    if (!placed.count(item) && WrappedElement(*page, element)) wrapped[item] = element ? element : -1;
  }
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
      if (items.count(o.character)) shown.push_back(Instance(o.character, o.matrix.data()));
    // Inside a motion tween the document interpolates: only the item is
    // compared there.
    std::vector<bool> tweened;
    for (const PageLayer& layer : layers)
      for (const PageKeyframe& k : layer.keyframes)
        if (k.start <= f && f < k.start + k.duration)
          for (const PageInstance& in : k.instances) {
            uint16_t symbol = in.symbol;
            if (const auto w = wrapped.find(symbol); w != wrapped.end()) {
              if (w->second < 0) continue;
              symbol = uint16_t(w->second);
            }
            written.push_back(Instance(symbol, in.matrix));
            tweened.push_back(k.tween && f > k.start);
          }
    for (size_t i = 0; i < tweened.size() && i < shown.size(); ++i)
      if (tweened[i]) shown[i] = shown[i].substr(0, shown[i].find('@')), written[i] = written[i].substr(0, written[i].find('@'));
    if (shown != written)
      return ::testing::AssertionFailure() << "frame " << f + 1 << ": the movie shows " << Join(shown)
                                           << "| the document " << Join(written);
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tovrani::test
