#include "timeline/display_events.h"

#include <algorithm>
#include <unordered_map>

#include "platform/shell_services.h"
#include "swf/place_object.h"
#include "swf/tag_statistics.h"

namespace tovrani {

TimelineData::TimelineData(std::FILE* file, uint64_t end) : file_(file), end_(end) {
  long p = file ? std::ftell(file) : -1;
  start_ = p < 0 ? end : uint64_t(p);
}

TimelineData::TimelineData(std::span<uint8_t> spriteBody)
    : buf_(spriteBody), start_(4), end_(spriteBody.size()) {}

bool TimelineData::ReadTag(uint64_t pos, Tag& out) {
  if (pos > end_ || end_ - pos < 2) return false;
  uint8_t b[6];
  if (!ReadAt(pos, b, 2)) return false;
  uint16_t word = uint16_t(b[0] | (b[1] << 8));
  out.code = word >> 6;
  out.headerPos = pos;
  out.length = word & 0x3F;
  out.bodyPos = pos + 2;
  if (out.length == 0x3F) {
    if (end_ - out.bodyPos < 4 || !ReadAt(pos + 2, b + 2, 4)) return false;
    out.length = b[2] | (b[3] << 8) | (uint32_t(b[4]) << 16) | (uint32_t(b[5]) << 24);
    out.bodyPos = pos + 6;
  }
  return out.length <= end_ - out.bodyPos;
}

bool TimelineData::ReadAt(uint64_t pos, uint8_t* dst, size_t n) {
  if (!file_) {
    for (size_t i = 0; i < n; ++i) dst[i] = buf_[pos + i];
    return true;
  }
  if (!reader_ || pos < reader_->pos()) reader_.emplace(file_, pos, end_);
  if (reader_->readAt(pos, dst, n)) return true;
  reader_.reset();
  return false;
}

bool TimelineData::ReadBody(const Tag& tag, std::vector<uint8_t>& out) {
  out.resize(tag.length);
  return tag.length == 0 || ReadAt(tag.bodyPos, out.data(), tag.length);
}

void TimelineData::Apply(std::vector<Patch> patches) {
  std::erase_if(patches, [&](const Patch& p) { return p.pos >= end_ || end_ - p.pos < p.size; });
  if (patches.empty()) return;
  if (!file_) {
    for (const Patch& p : patches) {
      buf_[p.pos] = uint8_t(p.value);
      if (p.size == 2) buf_[p.pos + 1] = uint8_t(p.value >> 8);
    }
    return;
  }
  std::stable_sort(patches.begin(), patches.end(),
                   [](const Patch& a, const Patch& b) { return a.pos < b.pos; });
  reader_.reset();  // its block may hold bytes changed here
  const uint64_t kWindow = 1 << 16;
  std::vector<uint8_t> window;
  for (size_t i = 0; i < patches.size();) {
    uint64_t from = patches[i].pos;
    uint64_t to = std::min(end_, std::max(from + kWindow, from + 2));
    size_t j = i;
    while (j < patches.size() && patches[j].pos + patches[j].size <= to) ++j;
    to = patches[j - 1].pos + patches[j - 1].size;
    window.resize(size_t(to - from));
    if (std::fseek(file_, long(from), SEEK_SET) != 0 ||
        std::fread(window.data(), 1, window.size(), file_) != window.size()) {
      writeFailed_ = true;
      return;
    }
    for (size_t k = i; k < j; ++k) {
      size_t at = size_t(patches[k].pos - from);
      window[at] = uint8_t(patches[k].value);
      if (patches[k].size == 2) window[at + 1] = uint8_t(patches[k].value >> 8);
    }
    if (std::fseek(file_, long(from), SEEK_SET) != 0 ||
        std::fwrite(window.data(), 1, window.size(), file_) != window.size() ||
        std::fflush(file_) != 0) {
      writeFailed_ = true;
      return;
    }
    i = j;
  }
}

void TimelineData::RestorePosition() {
  if (file_) std::fseek(file_, long(start_), SEEK_SET);
  reader_.reset();
}

namespace {

void Pump(ShellServices* shell, uint8_t* cancel) {
  if (shell && shell->PumpMessages() && cancel) *cancel = 1;
}

// Where the main movie first defines each character: a definition tag or an
// ImportAssets entry, up to the movie's End tag.
using FirstDefinitions = std::unordered_map<uint16_t, uint64_t>;

void NoteDefinition(TimelineData& data, const TimelineData::Tag& tag, std::vector<uint8_t>& body,
                    FirstDefinitions& first) {
  if (DefinesCharacter(tag.code) && tag.length >= 2) {
    if (data.ReadBody({tag.code, tag.headerPos, tag.bodyPos, 2}, body))
      first.try_emplace(uint16_t(body[0] | (body[1] << 8)), tag.headerPos);
  } else if ((tag.code == kTagImportAssets || tag.code == kTagImportAssets2) && data.ReadBody(tag, body)) {
    for (uint16_t id : ImportedIds(tag.code, body)) first.try_emplace(id, tag.headerPos);
  }
}

class Recorder {
 public:
  Recorder(TimelineData& data, DisplayRecording& out, const FirstDefinitions& defined)
      : data_(data), out_(out), defined_(defined) {}

  void Tag(const TimelineData::Tag& tag, const std::vector<uint8_t>& body) {
    switch (tag.code) {
      case kTagShowFrame:
        if (frame_ < 0xFFFF) ++frame_;  // saturates instead of wrapping to 0
        return;
      case kTagDefineButtonSound:
        // A body under 2 bytes has no button id: nothing to keep.
        if (data_.fromFile() && body.size() >= 2) {
          ButtonSoundRecord r;
          r.buttonId = uint16_t(body[0] | (body[1] << 8));
          r.data.assign(body.begin() + 2, body.end());
          out_.buttonSounds.push_back(std::move(r));
        }
        return;
      case kTagDoInitAction:
        if (data_.fromFile() && body.size() >= 2) {
          InitActionRecord r;
          r.spriteId = uint16_t(body[0] | (body[1] << 8));
          r.ordinal = uint32_t(out_.initActions.size());
          r.actionPos = tag.bodyPos + 2;
          r.actionLength = tag.length - 2;
          out_.initActions.push_back(r);
        }
        return;
      default:
        break;
    }
    if (!IsDisplayListTag(tag.code) || body.empty()) return;
    DisplayListTag t;
    // A tag too short to hold its depth changes nothing for any reader.
    if (!ParseDisplayListTag(tag.code, body, t)) return;

    DisplayEvent e;
    e.depthPos = tag.bodyPos + t.depthOffset;
    e.depth = e.origDepth = t.depth;
    e.frame = frame_;
    if (t.isRemove) {
      e.isRemove = 1;
      Append(e, tag);
      return;
    }
    e.placeFlags = uint16_t(t.flags | (t.flags2 << 8));
    e.isReplace = (t.flags & kPlaceMove) && (t.flags & kPlaceHasCharacter) ? 1 : 0;
    if (t.hasCharacter) e.characterId = t.characterId;
    if (t.depth > out_.maxDepth) out_.maxDepth = t.depth;
    if (t.hasClipDepth) {
      e.hasClip = 1;
      // A clip depth below the mask's own depth covers nothing; so does the
      // depth itself, which keeps every range ordered.
      e.clipDepth = t.clipDepth < t.depth ? t.depth : t.clipDepth;
      e.clipPos = tag.bodyPos + t.clipDepthOffset;
    }
    const uint32_t prev = t.depth < lastAtDepth_.size() ? lastAtDepth_[t.depth] : kNoEvent;
    // What the depth shows before this tag: its latest event is a placement.
    const bool shown = prev != kNoEvent && !out_.events[prev].isRemove;
    const bool move = t.flags & kPlaceMove;
    // Players ignore a move where nothing is shown (never placed, or
    // removed), a placement of no character, a placement of a character the
    // movie defines only later, and a second placement on a depth in use: no
    // reader after this one must handle them.
    if (move ? !shown
             : !t.hasCharacter || DefinedLater(t.characterId, tag.headerPos) ||
                   (shown && tag.code != kTagPlaceObject)) {
      out_.disabled.push_back({tag.headerPos + 1, 0xFF, 1});
      return;
    }
    if (move && !t.hasClipDepth && prev != kNoEvent) {
      e.hasClip = out_.events[prev].hasClip;
      e.clipDepth = out_.events[prev].clipDepth;
      e.clipInherited = 1;
    }
    Append(e, tag);
  }

 private:
  void Append(const DisplayEvent& e, const TimelineData::Tag& tag) {
    if (e.depth >= lastAtDepth_.size()) lastAtDepth_.resize(e.depth + 1u, kNoEvent);
    lastAtDepth_[e.depth] = uint32_t(out_.events.size());
    out_.events.push_back(e);
    out_.headerPos.push_back(tag.headerPos);
  }

  bool DefinedLater(uint16_t id, uint64_t at) const {
    const auto it = defined_.find(id);
    return it != defined_.end() && it->second > at;
  }

  TimelineData& data_;
  DisplayRecording& out_;
  const FirstDefinitions& defined_;
  std::vector<uint32_t> lastAtDepth_;  // grows to the highest depth used
  uint16_t frame_ = 1;
};

}  // namespace

RecordResult RecordDisplayEvents(TimelineData& data, bool mainTimeline, ShellServices* shell,
                                 uint8_t* cancel, DisplayRecording& out) {
  out = DisplayRecording{};
  TimelineData::Tag tag;
  // Sprite bodies resolve later definitions when their page is built, so
  // only the main movie's are looked for.
  FirstDefinitions defined;
  bool ended = !data.fromFile() || !mainTimeline;
  std::vector<uint8_t> body;
  uint64_t pos = data.start();
  while (pos < data.end()) {
    Pump(shell, cancel);
    if (!data.ReadTag(pos, tag)) return RecordResult::kOverrun;
    if (IsDisplayListTag(tag.code)) ++out.displayTags;
    if (!ended) NoteDefinition(data, tag, body, defined);
    ended = ended || tag.code == 0;
    pos = tag.bodyPos + tag.length;
  }
  if (!mainTimeline && data.fromFile()) return RecordResult::kOptionOff;
  if (!data.fromFile() && out.displayTags == 0) return RecordResult::kNothing;

  // At most one event a display-list tag: no room grown twice over.
  out.events.reserve(out.displayTags);
  out.headerPos.reserve(out.displayTags);
  Recorder rec(data, out, defined);
  pos = data.start();
  while (pos < data.end()) {
    Pump(shell, cancel);
    if (!data.ReadTag(pos, tag) || !data.ReadBody(tag, body)) return RecordResult::kOverrun;
    rec.Tag(tag, body);
    pos = tag.bodyPos + tag.length;
  }
  data.Apply(out.disabled);
  return RecordResult::kOk;
}

}  // namespace tovrani
