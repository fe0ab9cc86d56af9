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

namespace {

using Frames = std::vector<std::vector<ShownObject>>;

// One page against the frames of its timeline. `wrapped` maps a wrapper
// symbol to the item it holds, -1 for a video.
::testing::AssertionResult PageShowsFrames(const std::vector<uint8_t>& page, const Frames& movie,
                                           const std::set<uint16_t>& items,
                                           const std::map<uint16_t, int32_t>& wrapped) {
  if (auto fits = PageFitsDocument(page, uint32_t(movie.size()), &items); !fits) return fits;
  const std::vector<PageLayer> layers = ReadPageLayers(page, WalkPage(page));
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
    for (size_t i = 0; i < tweened.size() && i < shown.size(); ++i) {
      if (!tweened[i]) continue;
      shown[i] = shown[i].substr(0, shown[i].find('@'));
      written[i] = written[i].substr(0, written[i].find('@'));
    }
    if (shown != written)
      return ::testing::AssertionFailure() << "frame " << f + 1 << ": the movie shows " << Join(shown)
                                           << "| the document " << Join(written);
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

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

  // The scene and every sprite whose page the library holds, with the
  // frames their tags show; a sprite whose header counts other frames
  // than its tags show, or none, is left to the checks above.
  const std::vector<uint8_t> tags = MovieTags(movieFile);
  std::vector<std::pair<std::string, const std::vector<uint8_t>*>> names = {{"scene", &scene->second}};
  std::vector<Frames> timelines = {ShownObjects(tags, 0, tags.size())};
  ForEachTag(tags, 0, tags.size(), [&](uint32_t code, size_t body, uint32_t len) {
    if (code != 39 || len < 4) return;
    const uint16_t id = uint16_t(tags[body] | tags[body + 1] << 8);
    const uint16_t count = uint16_t(tags[body + 2] | tags[body + 3] << 8);
    const auto page = pages.find(id);
    if (page == pages.end()) return;
    Frames frames = ShownObjects(tags, body + 4, body + len);
    if (count == 0 || frames.size() != count) return;
    names.emplace_back("sprite " + std::to_string(id), page->second);
    timelines.push_back(std::move(frames));
  });
  // Symbols no timeline places are the converter's wrappers: an instance
  // of one shows what the wrapper holds (a video: nothing the library
  // names).
  std::set<uint16_t> placed;
  for (const Frames& t : timelines)
    for (const std::vector<ShownObject>& frame : t)
      for (const ShownObject& o : frame) placed.insert(o.character);
  std::map<uint16_t, int32_t> wrapped;
  for (const auto& [item, page] : pages) {
    uint16_t element = 0;
    if (!placed.count(item) && WrappedElement(*page, element)) wrapped[item] = element ? element : -1;
  }
  for (size_t t = 0; t < timelines.size(); ++t)
    if (auto shows = PageShowsFrames(*names[t].second, timelines[t], items, wrapped); !shows)
      return shows << " (" << names[t].first << ")";
  return ::testing::AssertionSuccess();
}

}  // namespace tovrani::test
