#include "timeline/display_events.h"

#include "platform/shell_services.h"
#include "swf/place_object.h"

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
  uint64_t avail = end_ - pos < 6 ? end_ - pos : 6;
  if (file_) {
    if (std::fseek(file_, long(pos), SEEK_SET) != 0) return false;
    avail = std::fread(b, 1, size_t(avail), file_);
    if (avail < 2) return false;
  } else {
    for (uint64_t i = 0; i < avail; ++i) b[i] = buf_[pos + i];
  }
  uint16_t word = uint16_t(b[0] | (b[1] << 8));
  out.code = word >> 6;
  out.headerPos = pos;
  out.length = word & 0x3F;
  out.bodyPos = pos + 2;
  if (out.length == 0x3F) {
    if (avail < 6) return false;
    out.length = b[2] | (b[3] << 8) | (uint32_t(b[4]) << 16) | (uint32_t(b[5]) << 24);
    out.bodyPos = pos + 6;
  }
  return out.length <= end_ - out.bodyPos;
}

bool TimelineData::ReadBody(const Tag& tag, std::vector<uint8_t>& out) {
  out.resize(tag.length);
  if (!file_) {
    for (uint32_t i = 0; i < tag.length; ++i) out[i] = buf_[tag.bodyPos + i];
    return true;
  }
  if (std::fseek(file_, long(tag.bodyPos), SEEK_SET) != 0) return false;
  return std::fread(out.data(), 1, out.size(), file_) == out.size();
}

void TimelineData::WriteU16(uint64_t pos, uint16_t value) {
  if (file_) {
    uint8_t b[2] = {uint8_t(value), uint8_t(value >> 8)};
    if (pos <= end_ && end_ - pos >= 2 && std::fseek(file_, long(pos), SEEK_SET) == 0)
      std::fwrite(b, 1, 2, file_);
  } else if (pos < buf_.size() && buf_.size() - pos >= 2) {
    buf_[pos] = uint8_t(value);
    buf_[pos + 1] = uint8_t(value >> 8);
  }
}

void TimelineData::WriteU8(uint64_t pos, uint8_t value) {
  if (file_) {
    if (pos < end_ && std::fseek(file_, long(pos), SEEK_SET) == 0) std::fwrite(&value, 1, 1, file_);
  } else if (pos < buf_.size()) {
    buf_[pos] = value;
  }
}

void TimelineData::RestorePosition() {
  if (file_) std::fseek(file_, long(start_), SEEK_SET);
}

namespace {

void Pump(ShellServices* shell, uint8_t* cancel) {
  if (shell && shell->PumpMessages() && cancel) *cancel = 1;
}

class Recorder {
 public:
  Recorder(TimelineData& data, DisplayRecording& out)
      : data_(data), out_(out), lastAtDepth_(0x10000, kNoEvent) {}

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
    } else if (t.flags & kPlaceMove) {
      uint32_t prev = lastAtDepth_[t.depth];
      if (prev != kNoEvent) {
        e.hasClip = out_.events[prev].hasClip;
        e.clipDepth = out_.events[prev].clipDepth;
        e.clipInherited = 1;
      } else if (data_.fromFile()) {
        // A move of nothing: no reader after this one must handle it.
        data_.WriteU8(tag.headerPos + 1, 0xFF);
        return;
      }
    }
    Append(e, tag);
  }

 private:
  void Append(const DisplayEvent& e, const TimelineData::Tag& tag) {
    lastAtDepth_[e.depth] = uint32_t(out_.events.size());
    out_.events.push_back(e);
    out_.headerPos.push_back(tag.headerPos);
  }

  TimelineData& data_;
  DisplayRecording& out_;
  std::vector<uint32_t> lastAtDepth_;
  uint16_t frame_ = 1;
};

}  // namespace

RecordResult RecordDisplayEvents(TimelineData& data, bool mainTimeline, ShellServices* shell,
                                 uint8_t* cancel, DisplayRecording& out) {
  out = DisplayRecording{};
  TimelineData::Tag tag;
  uint64_t pos = data.start();
  while (pos < data.end()) {
    Pump(shell, cancel);
    if (!data.ReadTag(pos, tag)) return RecordResult::kOverrun;
    if (IsDisplayListTag(tag.code)) ++out.displayTags;
    pos = tag.bodyPos + tag.length;
  }
  if (!mainTimeline && data.fromFile()) return RecordResult::kOptionOff;
  if (!data.fromFile() && out.displayTags == 0) return RecordResult::kNothing;

  Recorder rec(data, out);
  std::vector<uint8_t> body;
  pos = data.start();
  while (pos < data.end()) {
    Pump(shell, cancel);
    if (!data.ReadTag(pos, tag) || !data.ReadBody(tag, body)) return RecordResult::kOverrun;
    rec.Tag(tag, body);
    pos = tag.bodyPos + tag.length;
  }
  return RecordResult::kOk;
}

}  // namespace tovrani
