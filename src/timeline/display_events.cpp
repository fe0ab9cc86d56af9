#include "timeline/display_events.h"

#include <algorithm>
#include <unordered_map>

#include "platform/resource_bound.h"
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

// The latest event at each depth, in room for the timeline's display tags
// rather than for every depth a tag may name: open addressing over twice as
// many slots as tags (at most one per depth), each depth's first slot the
// top bits of the depth times an odd number, which at 65,536 slots gives
// every depth a slot of its own.
class LatestAtDepth {
 public:
  explicit LatestAtDepth(uint32_t tags) {
    unsigned bits = 4;
    while (bits < 16 && (size_t(1) << bits) < 2 * size_t(tags)) ++bits;
    shift_ = 16 - bits;
    slots_.resize(size_t(1) << bits);
  }
  // kNoEvent when the depth has none.
  uint32_t Get(uint16_t depth) const { return slots_[Find(depth)].event; }
  void Set(uint16_t depth, uint32_t event) { slots_[Find(depth)] = {event, depth}; }

 private:
  struct Slot {
    uint32_t event = kNoEvent;
    uint16_t depth = 0;
  };
  size_t Find(uint16_t depth) const {
    size_t i = uint16_t(depth * 40503u) >> shift_;
    while (slots_[i].event != kNoEvent && slots_[i].depth != depth) i = (i + 1) & (slots_.size() - 1);
    return i;
  }
  std::vector<Slot> slots_;
  unsigned shift_ = 0;
};

class Recorder {
 public:
  Recorder(TimelineData& data, DisplayRecording& out, const FirstDefinitions& defined)
      : data_(data), out_(out), defined_(defined), lastAtDepth_(out.displayTags) {}

  // False when the heap has no room for what the tag adds.
  bool Tag(const TimelineData::Tag& tag, const std::vector<uint8_t>& body) {
    switch (tag.code) {
      case kTagShowFrame:
        if (frame_ < 0xFFFF) ++frame_;  // saturates instead of wrapping to 0
        return true;
      case kTagDefineButtonSound:
        // A body under 2 bytes has no button id: nothing to keep.
        if (data_.fromFile() && body.size() >= 2) {
          ButtonSoundRecord r;
          r.buttonId = uint16_t(body[0] | (body[1] << 8));
          r.data.assign(body.begin() + 2, body.end());
          out_.buttonSounds.push_back(std::move(r));
        }
        return true;
      case kTagDoInitAction:
        if (data_.fromFile() && body.size() >= 2) {
          InitActionRecord r;
          r.spriteId = uint16_t(body[0] | (body[1] << 8));
          r.ordinal = uint32_t(out_.initActions.size());
          r.actionPos = tag.bodyPos + 2;
          r.actionLength = tag.length - 2;
          out_.initActions.push_back(r);
        }
        return true;
      default:
        break;
    }
    if (!IsDisplayListTag(tag.code)) return true;
    ++displayTagsSeen_;
    DisplayListTag t;
    // A tag too short to hold its depth changes nothing for any reader.
    if (body.empty() || !ParseDisplayListTag(tag.code, body, t)) return true;

    DisplayEvent e;
    e.depthPos = tag.bodyPos + t.depthOffset;
    e.depth = e.origDepth = t.depth;
    e.frame = frame_;
    if (t.isRemove) {
      e.isRemove = 1;
      Append(e, tag);
      return true;
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
    const uint32_t prev = lastAtDepth_.Get(t.depth);
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
      return true;
    }
    if (move && out_.events[prev].frame == frame_) return Fold(prev, e);
    if (move && !t.hasClipDepth && prev != kNoEvent) {
      e.hasClip = out_.events[prev].hasClip;
      e.clipDepth = out_.events[prev].clipDepth;
      e.clipInherited = 1;
    }
    Append(e, tag);
    return true;
  }

 private:
  void Append(const DisplayEvent& e, const TimelineData::Tag& tag) {
    lastAtDepth_.Set(e.depth, uint32_t(out_.events.size()));
    out_.events.push_back(e);
    out_.headerPos.push_back(tag.headerPos);
  }

  // Move `e` in the frame of event `into`, at its depth: the event takes
  // the clip depth and the character (a swap) the move gives.
  bool Fold(uint32_t into, const DisplayEvent& e) {
    if (out_.folded.capacity() == 0) {
      // Sized once: at most every display tag left folds.
      const uint64_t room = out_.displayTags - displayTagsSeen_ + 1;
      if (!ReserveHeap(room * sizeof(FoldedMove))) return false;
      out_.folded.reserve(room);
    }
    DisplayEvent& to = out_.events[into];
    FoldedMove f{e.depthPos, 0, into};
    if (e.placeFlags & kPlaceHasCharacter) {
      to.characterId = e.characterId;
      to.placeFlags |= kPlaceHasCharacter;
      to.isReplace = (to.placeFlags & kPlaceMove) ? 1 : 0;
    }
    if (e.hasClip) {
      to.hasClip = 1;
      to.clipDepth = e.clipDepth;
      to.clipInherited = 0;
      // An event without a ClipDepth field of its own takes the move's.
      if (to.clipPos == 0)
        to.clipPos = e.clipPos;
      else
        f.clipOffset = uint32_t(e.clipPos - e.depthPos);
    }
    out_.folded.push_back(f);
    return true;
  }

  bool DefinedLater(uint16_t id, uint64_t at) const {
    const auto it = defined_.find(id);
    return it != defined_.end() && it->second > at;
  }

  TimelineData& data_;
  DisplayRecording& out_;
  const FirstDefinitions& defined_;
  LatestAtDepth lastAtDepth_;
  uint32_t displayTagsSeen_ = 0;
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
    // A sprite's body is in memory: only these looks see a bound crossed.
    if (ResourceLook()) return RecordResult::kBoundCrossed;
    if (!data.ReadTag(pos, tag)) return RecordResult::kOverrun;
    if (IsDisplayListTag(tag.code)) ++out.displayTags;
    if (!ended) NoteDefinition(data, tag, body, defined);
    ended = ended || tag.code == 0;
    pos = tag.bodyPos + tag.length;
  }
  if (!mainTimeline && data.fromFile()) return RecordResult::kOptionOff;
  if (!data.fromFile() && out.displayTags == 0) return RecordResult::kNothing;

  // At most one event a display-list tag: no room grown twice over, and
  // asked for first.
  if (!ReserveHeap(uint64_t(out.displayTags) * (sizeof(DisplayEvent) + sizeof(uint64_t))))
    return RecordResult::kBoundCrossed;
  out.events.reserve(out.displayTags);
  out.headerPos.reserve(out.displayTags);
  Recorder rec(data, out, defined);
  pos = data.start();
  while (pos < data.end()) {
    Pump(shell, cancel);
    if (ResourceLook()) return RecordResult::kBoundCrossed;
    if (!data.ReadTag(pos, tag) || !data.ReadBody(tag, body)) return RecordResult::kOverrun;
    if (!rec.Tag(tag, body)) return RecordResult::kBoundCrossed;
    pos = tag.bodyPos + tag.length;
  }
  data.Apply(out.disabled);
  return RecordResult::kOk;
}

void WriteFoldedMoves(std::vector<TimelineData::Patch>& writes, const std::vector<DisplayEvent>& events,
                      const std::vector<FoldedMove>& folded) {
  if (folded.empty()) return;
  using Patch = TimelineData::Patch;
  // In position order, the later of two writes at one place after the
  // earlier, as they are applied.
  std::stable_sort(writes.begin(), writes.end(), [](const Patch& a, const Patch& b) { return a.pos < b.pos; });
  auto written = [&](uint64_t pos) -> const Patch* {
    auto it = std::upper_bound(writes.begin(), writes.end(), pos,
                               [](uint64_t p, const Patch& w) { return p < w.pos; });
    return it != writes.begin() && (it - 1)->pos == pos && (it - 1)->size == 2 ? &*(it - 1) : nullptr;
  };
  std::vector<Patch> copies;
  for (const FoldedMove& f : folded) {
    const DisplayEvent& e = events[f.event];
    if (const Patch* w = written(e.depthPos)) copies.push_back({f.depthPos, w->value, 2});
    if (f.clipOffset == 0 || e.clipPos == 0) continue;
    if (const Patch* w = written(e.clipPos)) copies.push_back({f.depthPos + f.clipOffset, w->value, 2});
  }
  writes.insert(writes.end(), copies.begin(), copies.end());
}

}  // namespace tovrani
