#include "support/contents_layout.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

namespace tovrani::test {

// Where the program's Contents streams differ today from every document the
// authoring tool saved. Remove an entry with the change that mends it.
const std::vector<KnownContentsStop> kKnownContentsStops = {};

namespace {

// The fields of a page record after its version byte, per level:
//   s  a string (read, any text)      m  the marker FF FE FF
//   x  the item number: u16, u16 0, then the kind byte 0, 1 or 2
//   t  u8 0, then a u32 time stamp (any)
//   bV / wV / dV  a u8 / u16 / u32 of value V;  b* / w* / d*  any value
//   {n} after a field repeats it n times.
// The fields left open ("*") hold other values in real documents than the
// writer's constants: names, item ids, time stamps, linkage.
const char* const kPageLayout[3] = {
    "s{2} x s d1 d5 d1 d*{2} d1 d*{2} d0 d* b0 s{2} b* d1 b0 s d* d0 d1 d0 d0xffffffff d* s d512 w0 d1{2} d* b0 "
    "s{2} b* d1 b0 s d* d0 d1 d0 d0xffffffff d512 d0 d0x2000000 d0{5} w0",
    "s m s x m s d1 d6 d1 d*{2} d1 d*{2} d0 d* b0 m s m s m s b* d2 m s m s d* d0 d1 d*{2} t m s m d* w0 d*{3} b0 "
    "m s m s m s b0 d2 m s m s d0{2} d1 d0 d0xffffffff d5 b0 m d* d256 d0 b0 m s b3 m s d0{2} b3 m s d0{2} b3 m s "
    "d0{2} m s d2 b0 d* m s d0{2} m s m s d* m s",
    "s m s x m s d1 d6 d1 d*{2} d1 d*{2} d0 d* b0 m s m s m s b* d2 m s m s d* d0 d1 d*{2} b0 m s t m s m d512 w0 "
    "d* d1 d7 b0 m s m s m s b0 d2 m s m s d0{2} d1 d0 d0xffffffff b0 m s d6 b0 m d0 d256 d0 b0 m s b3 m s d0{2} "
    "b3 m s d0{2} b3 m s d0{2} m s d2 b0 d* m s d0{3} m s m s d* m s d0 w0 d32768{3} w32768"};

// The lead bytes: zeros up to the main page's class tag.
constexpr size_t kPageStart[3] = {15, 19, 23};
constexpr uint8_t kPageVersion[3] = {17, 22, 23};

// The bytes after the CQTAudioSettings class tag, to the stream's end, and
// the positions whose value varies between documents.
struct ViewSettings {
  std::vector<uint8_t> bytes;
  std::set<size_t> varying;
};

std::vector<uint8_t> Hex(const char* hex) {
  std::vector<uint8_t> out;
  for (const char* p = hex; p[0] && p[1]; p += 2) {
    unsigned v = 0;
    std::sscanf(p, "%2x", &v);
    out.push_back(uint8_t(v));
  }
  return out;
}

ViewSettings ViewSettingsOf(int level) {
  static const char* const kCommon = "00000000010000ff00ff0100010000000000000000fffeff0000";
  if (level == 0)
    return {Hex("00000000010000ff00ff01000100000000000000000000000100000001000000000068010000000000000000000000"
                "0000000000000000000000"),
            {22, 24, 34, 35}};
  std::vector<uint8_t> b = Hex(kCommon);
  const std::vector<uint8_t> rest =
      Hex(level == 1 ? "00010000000100000000006801fffeff00fffeff000000000000000000000000000000000000000000010000000a"
                       "0000000a0000001200000001000100000000000000010000"
                       "00fffffffffffeff0001000000fffeff000000000000000000"
                     : "01010000000100000000006801fffeff00fffeff0000000000000000000000000000000000000000000100000000"
                       "00000000000000120000000100010000000000000001000000fffffffffffeff0001000000fffeff0000000000"
                       "00000000fffeff00fffeffb0");
  b.insert(b.end(), rest.begin(), rest.end());
  if (level == 1) return {b, {12, 26, 63, 67, 71, 75}};
  // Level 2 goes on with the mobile settings, a UTF-16 string of 0xB0 units.
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"no\" ?>\n<mobileSettings>\n\n"
      "  <contentType id=\"standalonePlayer\" name=\"Standalone Player\"/>\n\n  <testDevices/>\n\n"
      "</mobileSettings>\n";
  for (char c : xml) b.insert(b.end(), {uint8_t(c), 0});
  const std::vector<uint8_t> end = Hex("0000000000000000ffffffffffffffff");
  b.insert(b.end(), end.begin(), end.end());
  return {b, {10, 12, 26, 27, 37, 38, 55, 67, 71, 75, 489, 490, 491, 492, 493, 494, 495, 496}};
}

const std::set<std::string> kMediaClasses = {"CMediaBits", "CMediaSound", "CMediaVideoStream", "CSwfPage"};

std::string Number(uint64_t v) {
  std::ostringstream s;
  s << v;
  if (v >= 10) s << " (0x" << std::hex << std::uppercase << v << ')';
  return s.str();
}

std::string Bytes(const std::vector<uint8_t>& d, size_t at, size_t n) {
  std::string out;
  char buf[4];
  for (size_t i = at; i < d.size() && i < at + n; ++i) {
    std::snprintf(buf, sizeof buf, "%s%02x", out.empty() ? "" : " ", d[i]);
    out += buf;
  }
  return out.empty() ? "(end of stream)" : out;
}

// Ends the walk at the first difference no known stop covers.
struct Ended {};

class Walker {
 public:
  Walker(const std::vector<uint8_t>& d, int level, const std::vector<KnownContentsStop>& stops, ContentsWalk& out)
      : d_(d), level_(level), stops_(stops), out_(out) {}

  size_t pos = 0;
  ContentsRecord record = ContentsRecord::kLead;
  std::string where = "lead bytes";

  void In(ContentsRecord r, std::string name) { record = r, where = std::move(name); }

  // A difference that ends the walk unless a known stop covers it; `fatal`
  // ones end it anyway (nothing after them can be read).
  void Differs(size_t at, const std::string& field, const std::string& expected, const std::string& found,
               bool fatal = false) {
    ContentsDifference diff{at, record, where, field, expected, found};
    for (size_t k = 0; !fatal && k < stops_.size(); ++k)
      if (stops_[k].matches(level_, diff)) {
        out_.known.emplace_back(std::move(diff), k);
        return;
      }
    out_.difference = std::move(diff);
    throw Ended{};
  }

  void Need(size_t n, const std::string& field) {
    if (pos > d_.size() || n > d_.size() - pos)
      Differs(pos, field, std::to_string(n) + " more bytes",
              "the end of the stream (" + std::to_string(d_.size() - pos) + " bytes left)", true);
  }
  bool At(const std::vector<uint8_t>& bytes) const {
    return pos <= d_.size() && bytes.size() <= d_.size() - pos &&
           std::equal(bytes.begin(), bytes.end(), d_.begin() + long(pos));
  }
  uint32_t Le(size_t n, const std::string& field) {
    Need(n, field);
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint32_t(d_[pos + i]) << (8 * i);
    pos += n;
    return v;
  }
  // A number of `n` bytes; when `allowed` is given, its value must be one of them.
  uint32_t Num(size_t n, const std::string& field, std::initializer_list<uint32_t> allowed = {}) {
    const size_t at = pos;
    const uint32_t v = Le(n, field);
    if (allowed.size() && std::find(allowed.begin(), allowed.end(), v) == allowed.end()) {
      std::string want;
      for (uint32_t a : allowed) want += (want.empty() ? "" : " or ") + Number(a);
      Differs(at, field, (n == 1 ? "u8 " : n == 2 ? "u16 " : "u32 ") + want, Number(v));
    }
    return v;
  }
  uint32_t U8(const std::string& f, std::initializer_list<uint32_t> a = {}) { return Num(1, f, a); }
  uint32_t U16(const std::string& f, std::initializer_list<uint32_t> a = {}) { return Num(2, f, a); }
  uint32_t U32(const std::string& f, std::initializer_list<uint32_t> a = {}) { return Num(4, f, a); }

  void Raw(const std::vector<uint8_t>& bytes, const std::string& field) {
    const size_t at = pos;
    Need(bytes.size(), field);
    pos += bytes.size();
    if (!std::equal(bytes.begin(), bytes.end(), d_.begin() + long(at)))
      Differs(at, field, Bytes(bytes, 0, bytes.size()), Bytes(d_, at, bytes.size()), true);
  }
  // FF FE FF before a string or a record from level 1 on.
  void Marker(const std::string& field = "marker") {
    if (level_ >= 1) Raw({0xFF, 0xFE, 0xFF}, field);
  }
  // A counted string: ANSI at level 0, UTF-16 from level 1 on; a length of
  // FF is followed by a u16 length. Text outside ASCII reads as '?'.
  std::string String(const std::string& field, const std::optional<std::string>& expected = std::nullopt) {
    const size_t at = pos;
    size_t n = Le(1, field + " (its length)");
    if (n == 0xFF) n = Le(2, field + " (its long length)");
    const size_t unit = level_ >= 1 ? 2 : 1;
    if (n > (d_.size() - pos) / unit) Need(n * unit, field);
    std::string text;
    for (size_t i = 0; i < n; ++i) {
      const uint32_t c = unit == 1 ? d_[pos + i] : d_[pos + 2 * i] | uint32_t(d_[pos + 2 * i + 1]) << 8;
      text.push_back(c < 0x80 ? char(c) : '?');
    }
    pos += n * unit;
    if (expected && text != *expected) Differs(at, field, "the text \"" + *expected + '"', '"' + text + '"');
    return text;
  }
  void End() {
    if (pos != d_.size())
      Differs(pos, "the stream's end", "no more bytes",
              std::to_string(d_.size() - pos) + " more: " + Bytes(d_, pos, 24), true);
  }

  const std::vector<uint8_t>& data() const { return d_; }
  int level() const { return level_; }

 private:
  const std::vector<uint8_t>& d_;
  int level_;
  const std::vector<KnownContentsStop>& stops_;
  ContentsWalk& out_;
};

// The page record after its version byte.
void PageRecord(Walker& w) {
  std::istringstream fields(kPageLayout[w.level()]);
  size_t index = 0;
  for (std::string f; fields >> f;) {
    size_t times = 1;
    if (const size_t brace = f.find('{'); brace != std::string::npos) {
      times = std::stoul(f.substr(brace + 1));
      f.resize(brace);
    }
    for (size_t k = 0; k < times; ++k, ++index) {
      const std::string name = "field " + std::to_string(index);
      if (f == "s") {
        w.String(name);
      } else if (f == "m") {
        w.Marker(name);
      } else if (f == "x") {
        w.U16("item number");
        w.U16("the word after the item number", {0});
        w.U8("kind", {0, 1, 2});
      } else if (f == "t") {
        w.U8(name, {0});
        w.U32("time stamp");
      } else {
        const size_t width = f[0] == 'b' ? 1 : f[0] == 'w' ? 2 : 4;
        if (f[1] == '*')
          w.Num(width, name);
        else
          w.Num(width, name, {uint32_t(std::stoul(f.substr(1), nullptr, 0))});
      }
    }
  }
}

// The item ids of a media item or folder: V, then its parent's id and its own
// as two words each; a media item closes them with u32 0.
void ItemIds(Walker& w, bool folder) {
  w.U32("V", {w.level() ? 6u : 5u});
  w.U32("the word before the parent's id", {1});
  w.U32("parent id (time stamp)");
  w.U32("parent id (counter)");
  w.U32("the word before the own id", {1});
  w.U32("own id (time stamp)");
  w.U32("own id (counter)");
  if (!folder) w.U32("the word after the ids", {0});
}

void Linkage(Walker& w) {
  w.U32("linkage word");
  w.U8("the byte after the linkage word", {0});
  if (w.level() >= 1) {
    for (int k = 1; k <= 3; ++k) {
      w.Marker();
      w.String("linkage string " + std::to_string(k));
    }
    w.U8("linkage value");
    w.U32("the word after the linkage", {2});
    w.Marker();
    w.String("the string after the linkage", std::string());
    w.Marker();
  } else {
    w.String("linkage string 1");
    w.String("linkage string 2");
    w.U8("linkage value");
    w.U32("the word after the linkage", {1});
  }
}

// The head every media item shares, after its class and version.
void MediaHead(Walker& w) {
  w.String("media name");
  w.Marker();
  w.String("item name");
  w.U16("item number");
  w.Marker();
  w.String("source path");
  w.U32("source time");
  ItemIds(w, false);
  Linkage(w);
  if (w.level() >= 1) {
    w.String("the string after the linkage");
    w.U32("the word after that string", {0});
  } else {
    w.U8("the byte after the linkage", {0});
    w.String("the string after the linkage");
    // 0x83DA95D0 is a null date (1904-01-01 05:00 UTC in Unix seconds).
    w.U32("the word after that string", {0, 0x83DA95D0});
  }
  w.U32("closing word 1", {0});
  w.U32("closing word 2", {1});
  w.U32("closing word 3", {0});
  w.U32("closing word 4", {0xFFFFFFFF});
  if (w.level() >= 1) w.U8("the byte after the closing words", {0});
}

// Level 0: the own fields of a bitmap or a sound item; false for other classes.
bool LevelZeroMediaTail(Walker& w, const std::string& cls) {
  if (cls == "CMediaBits") {
    w.U32("flag");
    w.U32("property word", {0x01320103, 0x01320003});
    w.U32("value");
    return true;
  }
  if (cls == "CMediaSound") {
    w.U32("flag");
    w.U8("record length", {8});
    w.U16("format");
    w.U32("sample count");
    // A sound taken from a stream holds its own record in place of the
    // format, count and these bytes; no real document says how it reads.
    if (w.U32("the word after the sample count") == 0xFFFFFFFF)
      w.Raw(std::vector<uint8_t>(11, 0), "11 zero bytes");
    else
      w.Need(11, "the rest of the stream sound's record"), w.pos += 11;
    return true;
  }
  return false;
}

// Does a library record, or the document properties, start at `q`?
bool RecordStartsAt(const std::vector<uint8_t>& d, size_t q, const std::map<uint32_t, std::string>& classes) {
  const auto at = [&](size_t i) { return q + i < d.size() ? int(d[q + i]) : -1; };
  if (at(0) == 0xFF && at(1) == 0xFF && at(2) == 1 && at(3) == 0 && at(5) >= 0) {
    const size_t n = size_t(at(4)) | size_t(at(5)) << 8;
    return q + 6 + n <= d.size() &&
           kMediaClasses.count(std::string(d.begin() + long(q + 6), d.begin() + long(q + 6 + n)));
  }
  if (q + 3 <= d.size() && d[q + 1] == 0x80 && classes.count(d[q])) return true;
  return at(0) == 0 && at(1) == 0 && at(4) == 5 && at(5) == 0 && (at(6) == 0 || at(6) == 3) && at(7) == 0;
}

void PropertyPairs(Walker& w, const std::string& what) {
  const uint32_t n = w.U16("number of " + what + " pairs");
  for (uint32_t k = 0; k < n; ++k) {
    w.Marker();
    w.String(what + " key");
    w.Marker();
    w.String(what + " value");
  }
}

size_t Folders(Walker& w) {
  w.In(ContentsRecord::kFolders, "folder list");
  const uint32_t n = w.U32("number of folders");
  for (uint32_t f = 0; f < n; ++f) {
    w.In(ContentsRecord::kFolders, "folder " + std::to_string(f + 1));
    w.U32("record kind", {w.level() >= 1 ? 4u : 3u});
    w.Marker();
    w.String("folder name");
    ItemIds(w, true);
    w.U32("expanded");
    Linkage(w);
    if (w.level() >= 1) w.String("the string after the linkage", std::string());
    w.U32("closing word 1", {0});
    w.U32("closing word 2", {0});
    w.U32("closing word 3", {1});
    w.U32("closing word 4", {0});
    w.U32("closing word 5", {0xFFFFFFFF});
    w.U8("the byte after the closing words", {0});
  }
  w.In(ContentsRecord::kFolders, "the end of the folder list");
  if (w.level() == 1) w.U16("the word after the folders", {0});
  if (w.level() == 2) w.U8("the byte after the folders", {0});
  w.U16("the word before the QuickTime key", {1});
  return n;
}

std::vector<uint8_t> Ascii(const std::string& s, bool wide) {
  std::vector<uint8_t> out;
  for (char c : s) {
    out.push_back(uint8_t(c));
    if (wide) out.push_back(0);
  }
  return out;
}

void Walk(Walker& w, ContentsWalk& out) {
  const std::vector<uint8_t>& d = w.data();
  const int L = w.level();
  const uint8_t version = kPageVersion[L];
  w.pos = 2;
  w.Raw(std::vector<uint8_t>(kPageStart[L] - 2, 0), "zero bytes");

  w.In(ContentsRecord::kMainPage, "main page");
  std::vector<uint8_t> tag = {0xFF, 0xFF, 1, 0, 13, 0};
  const std::vector<uint8_t> name = Ascii("CDocumentPage", false);
  tag.insert(tag.end(), name.begin(), name.end());
  w.Raw(tag, "page class tag");
  w.U8("page version", {version});
  PageRecord(w);
  // The archive's object map: 1 the page class, 2 the main page, then one
  // entry per further page, media class and media item.
  uint32_t next = 3;
  size_t scenes = 1;
  for (; w.At({1, 0x80, version}); ++next) {
    w.In(ContentsRecord::kScenePage, "scene page " + std::to_string(++scenes));
    w.pos += 3;
    PageRecord(w);
  }
  w.In(ContentsRecord::kSceneListEnd, "scene list end");
  w.U16("the word after the scenes", {0});
  w.U16("next page number");
  w.U16("the word before the count", {1});
  w.U16("page count + 1", {uint32_t(scenes + 1)});
  for (; w.At({1, 0x80, version}); ++next) {
    w.In(ContentsRecord::kSymbolPage, "symbol page " + std::to_string(++out.symbolPages));
    w.pos += 3;
    PageRecord(w);
  }
  w.In(ContentsRecord::kLibraryEnd, "library end");
  w.U16("the word after the symbol pages", {0});
  w.U16("item-number limit");

  std::map<uint32_t, std::string> classes;
  for (;;) {
    const size_t at = w.pos;
    std::string cls;
    if (w.At({0xFF, 0xFF, 1, 0})) {
      w.In(ContentsRecord::kMediaItem, "media class tag");
      w.pos += 4;
      const uint32_t n = w.U16("class name length");
      w.Need(n, "class name");
      cls.assign(d.begin() + long(w.pos), d.begin() + long(w.pos + n));
      w.pos += n;
      if (!kMediaClasses.count(cls)) w.Differs(at, "class name", "a media class", '"' + cls + '"', true);
      classes[next++] = cls;
    } else if (w.pos + 1 < d.size() && d[w.pos + 1] == 0x80 && classes.count(d[w.pos])) {
      cls = classes[d[w.pos]];
      w.pos += 2;
    } else {
      break;
    }
    const size_t count = ++out.media[cls];
    w.In(ContentsRecord::kMediaItem, cls + " item " + std::to_string(count));
    w.U8("class version", {L ? 6u : 5u});
    MediaHead(w);
    ++next;
    if (L == 0 && LevelZeroMediaTail(w, cls)) {
      if (!RecordStartsAt(d, w.pos, classes))
        w.Differs(w.pos, "the item's end", "the next library record or the document properties", Bytes(d, w.pos, 12),
                  true);
      continue;
    }
    // The class's own fields: their end is where the next record starts.
    size_t q = w.pos;
    const size_t limit = std::min(d.size(), w.pos + 200000);
    while (q < limit && !RecordStartsAt(d, q, classes)) ++q;
    if (q == limit)
      w.Differs(w.pos, "the item's end", "the next library record or the document properties", "none", true);
    w.pos = q;
  }

  w.In(ContentsRecord::kDocumentProperties, "document properties");
  w.U16("the word after the library", {0});
  w.U16("item-number limit again");
  w.U16("the word before the grid", {5});
  w.U16("grid shown", {0, 3});
  w.U16("the word after the grid", {0});
  w.U8("the byte after the grid", {0});
  w.U32("stage width");
  w.U32("the word between width and height", {0});
  w.U32("stage height");
  w.U16("the word after the stage", {0});
  w.U16("grid spacing");
  w.U16("rulers");
  w.U16("view flags");
  w.U8("the byte after the flags");
  for (int k = 1; k <= 4; ++k) w.U32("word " + std::to_string(k) + " of four");
  w.Raw({1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}, "the 12 bytes before the background");
  w.Need(8, "background and second colour");
  w.pos += 8;
  w.U32("frame rate");
  w.Raw({0, 0, 3, 0xB4, 0, 0, 0}, "the 7 bytes after the frame rate");
  if (L >= 1) {
    PropertyPairs(w, "document property");
    w.U32("the word between the pair lists", {1});
    PropertyPairs(w, "publish property");
  } else {
    const uint32_t n = w.U16("number of publish pairs");
    for (uint32_t k = 0; k < n; ++k) w.String("publish key"), w.String("publish value");
  }

  w.In(ContentsRecord::kPublishEnd, "publish end");
  w.U32("the word after the publish pairs", {0xFFFFFFFF});
  if (L >= 1)
    w.Raw({0xFF, 0xFE, 0xFF, 0}, "empty string 1"), w.Raw({0xFF, 0xFE, 0xFF, 0}, "empty string 2");
  else
    w.Raw({0, 0}, "two empty strings");
  w.U16("the word after them", {1});

  w.In(ContentsRecord::kPalette, "palette");
  w.U32("the word before the palette", {0});
  w.U16("colour count");
  w.Raw({0xFF, 0xFF}, "colour class tag");
  w.U16("colour class schema", {0});
  std::vector<uint8_t> colourName = {9, 0};
  const std::vector<uint8_t> colourText = Ascii("CColorDef", false);
  colourName.insert(colourName.end(), colourText.begin(), colourText.end());
  w.Raw(colourName, "colour class name");
  // The palette's colours are not read one by one: it ends with closing
  // words (01 00 00 00 00 00 00 00 01 00 00 00, and 00 at level 2) where a
  // folder list starts that reads up to the QuickTime key.
  const size_t start = w.pos;
  std::vector<uint8_t> key = L >= 1 ? std::vector<uint8_t>{0xFF, 0xFE, 0xFF} : std::vector<uint8_t>{};
  key.push_back(34);
  const std::string qtName = "PublishQTProperties::QTSndSettings";
  const std::vector<uint8_t> qtText = Ascii(qtName, L >= 1);
  key.insert(key.end(), qtText.begin(), qtText.end());
  const auto found = std::search(d.begin() + long(start), d.end(), key.begin(), key.end());
  if (found == d.end()) w.Differs(start, "the QuickTime key", "the key after the folder list", "none", true);
  const size_t keyAt = size_t(found - d.begin());
  const std::vector<uint8_t> closing = {1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
  const size_t shift = L == 2 ? 1 : 0;
  std::optional<size_t> split;
  for (size_t cand = start; cand < keyAt && !split; ++cand) {
    if (cand < closing.size() + shift ||
        !std::equal(closing.begin(), closing.end(), d.begin() + long(cand - closing.size() - shift)) ||
        (shift && d[cand - 1] != 0))
      continue;
    static const std::vector<KnownContentsStop> kStrict;
    ContentsWalk trial;
    Walker t(d, L, kStrict, trial);
    t.pos = cand;
    try {
      Folders(t);
      if (t.pos == keyAt) split = cand;
    } catch (const Ended&) {
    }
  }
  if (!split)
    w.Differs(start, "the palette's end", "closing words followed by a folder list that reads to the QuickTime key",
              "none", true);
  w.pos = *split;
  out.folders = Folders(w);

  w.In(ContentsRecord::kQuickTime, "QuickTime key");
  w.Marker();
  w.String("QuickTime key", qtName);
  std::vector<uint8_t> audioTag = {0xFF, 0xFF, 1, 0, 16, 0};
  const std::vector<uint8_t> audioName = Ascii("CQTAudioSettings", false);
  audioTag.insert(audioTag.end(), audioName.begin(), audioName.end());
  w.Raw(audioTag, "audio settings class tag");

  w.In(ContentsRecord::kViewSettings, "view settings");
  const ViewSettings view = ViewSettingsOf(L);
  const size_t base = w.pos;
  const size_t rest = d.size() - base;
  for (size_t i = 0; i < std::min(rest, view.bytes.size()); ++i)
    if (!view.varying.count(i) && d[base + i] != view.bytes[i])
      w.Differs(base + i, "byte " + std::to_string(i),
                Bytes(view.bytes, i, 1) + " (" + Bytes(view.bytes, i < 6 ? 0 : i - 6, 12) + ")",
                Bytes(d, base + i, 1) + " (" + Bytes(d, base + (i < 6 ? 0 : i - 6), 12) + ")");
  if (rest != view.bytes.size())
    w.Differs(base + std::min(rest, view.bytes.size()), "length", std::to_string(view.bytes.size()) + " bytes",
              std::to_string(rest) + " bytes", true);
  w.pos = d.size();
  w.End();
}

const char* RecordName(ContentsRecord r) {
  switch (r) {
    case ContentsRecord::kLead: return "lead";
    case ContentsRecord::kMainPage: return "main page";
    case ContentsRecord::kScenePage: return "scene page";
    case ContentsRecord::kSceneListEnd: return "scene list end";
    case ContentsRecord::kSymbolPage: return "symbol page";
    case ContentsRecord::kLibraryEnd: return "library end";
    case ContentsRecord::kMediaItem: return "media item";
    case ContentsRecord::kDocumentProperties: return "document properties";
    case ContentsRecord::kPublishEnd: return "publish end";
    case ContentsRecord::kPalette: return "palette";
    case ContentsRecord::kFolders: return "folders";
    case ContentsRecord::kQuickTime: return "QuickTime key";
    case ContentsRecord::kViewSettings: return "view settings";
  }
  return "?";
}

}  // namespace

std::string ContentsDifference::describe() const {
  return "offset " + std::to_string(offset) + ", " + where + " (" + RecordName(record) + "), " + field + ": expected " +
         expected + ", found " + found;
}

bool KnownContentsStop::matches(int level, const ContentsDifference& d) const {
  return d.record == record && std::find(levels.begin(), levels.end(), level) != levels.end() &&
         (fields.empty() || std::find(fields.begin(), fields.end(), d.field) != fields.end());
}

ContentsWalk WalkContents(const std::vector<uint8_t>& contents, const std::vector<KnownContentsStop>& stops) {
  ContentsWalk out;
  const std::map<uint8_t, int> levels = {{0x29, 0}, {0x38, 1}, {0x3F, 2}};
  if (contents.empty() || !levels.count(contents[0])) {
    out.difference = ContentsDifference{0,
                                        ContentsRecord::kLead,
                                        "lead bytes",
                                        "format lead byte",
                                        "0x29, 0x38 or 0x3F",
                                        contents.empty() ? "an empty stream" : Bytes(contents, 0, 1)};
    return out;
  }
  out.level = levels.at(contents[0]);
  Walker w(contents, out.level, stops, out);
  try {
    Walk(w, out);
  } catch (const Ended&) {
  }
  return out;
}

::testing::AssertionResult ContentsLikeRealDocuments(const std::vector<uint8_t>& contents) {
  const ContentsWalk walk = WalkContents(contents);
  if (walk.difference) return ::testing::AssertionFailure() << "Contents: " << walk.difference->describe();
  return ::testing::AssertionSuccess();
}

}  // namespace tovrani::test
