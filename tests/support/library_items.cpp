#include "support/library_items.h"

#include <map>
#include <sstream>
#include <string>

namespace tovrani::test {
namespace {

// The page record after its version byte, per format level: S a string,
// M the marker FF FE FF, X the u16 item number with u16 0 and the kind
// byte, and fixed-width fields (values are not checked here); where the
// real documents hold an empty string, S reads any.
const char* const kPageFields[3] = {
    "S; S; X; S; u32 x 10; u8; S; S; u8; u32; u8; S; u32 x 6; S; u32; u16; u32 x 3; u8; S; S; u8; u32; u8; S; "
    "u32 x 13; u16",
    "S; M; S; X; M; S; u32 x 10; u8; M; S; M; S; M; S; u8; u32; M; S; M; S; u32 x 5; u8; u32; M; S; M; u32; "
    "u16; u32 x 3; u8; M; S; M; S; M; S; u8; u32; M; S; M; S; u32 x 6; u8; M; u32 x 3; u8; M; S; u8; M; S; "
    "u32 x 2; u8; M; S; u32 x 2; u8; M; S; u32 x 2; M; S; u32; u8; u32; M; S; u32 x 2; M; S; M; S; u32; M; S",
    "S; M; S; X; M; S; u32 x 10; u8; M; S; M; S; M; S; u8; u32; M; S; M; S; u32 x 5; u8; M; S; u8; u32; M; S; "
    "M; u32; u16; u32 x 3; u8; M; S; M; S; M; S; u8; u32; M; S; M; S; u32 x 5; u8; M; S; u32; u8; M; "
    "u32 x 3; u8; M; S; u8; M; S; u32 x 2; u8; M; S; u32 x 2; u8; M; S; u32 x 2; M; S; u32; u8; u32; M; S; "
    "u32 x 3; M; S; M; S; u32; M; S; u32; u16; u32 x 3; u16"};

class Reader {
 public:
  Reader(const std::vector<uint8_t>& d, int level) : d_(d), level_(level) {}
  size_t pos = 0;
  bool ok() const { return ok_; }
  bool Skip(size_t n) {
    if (n > d_.size() - pos) return ok_ = false;
    pos += n;
    return true;
  }
  uint32_t Le(size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n && Skip(1); ++i) v |= uint32_t(d_[pos - 1]) << (8 * i);
    return v;
  }
  bool Marker() {
    if (level_ == 0) return true;
    if (Le(3) != 0xFFFEFF) return ok_ = false;
    return true;
  }
  // u8 length (FF, then u16) and the text: UTF-16 from level 1 on (ASCII
  // names are all the writer gives).
  std::string String() {
    size_t n = Le(1);
    if (n == 0xFF) n = Le(2);
    const size_t unit = level_ >= 1 ? 2 : 1;
    std::string text;
    if (n > (d_.size() - pos) / unit) {
      ok_ = false;
      return text;
    }
    for (size_t k = 0; k < n; ++k) text.push_back(char(d_[pos + k * unit]));
    Skip(n * unit);
    return text;
  }
  // The first string read is the record's name; an item number read goes
  // into `items` and, under that name, into `names`, its kind byte into
  // `kinds`.
  void Fields(const char* list, std::set<uint16_t>* items, std::map<std::string, uint16_t>* names = nullptr,
              std::map<std::string, uint8_t>* kinds = nullptr) {
    std::istringstream in(list);
    std::string name;
    bool named = false;
    for (std::string f; ok_ && std::getline(in >> std::ws, f, ';');) {
      if (f == "S") {
        std::string text = String();
        if (!named) name = std::move(text), named = true;
      } else if (f == "M") {
        Marker();
      } else if (f == "X" || f == "I") {  // I: the u16 item number alone
        const uint16_t item = uint16_t(Le(2));
        uint8_t kind = 0;
        if (f == "X") Skip(2), kind = uint8_t(Le(1));
        if (items) items->insert(item);
        if (names && ok_) (*names)[name] = item;
        if (kinds && ok_) (*kinds)[name] = kind;
      } else {
        const size_t width = f[1] == '8' ? 1 : f[1] == '1' ? 2 : 4;
        const size_t times = f.find('x') == std::string::npos ? 1 : std::stoul(f.substr(f.find('x') + 1));
        Skip(width * times);
      }
    }
  }
  bool At(std::initializer_list<uint8_t> bytes) const {
    size_t i = pos;
    for (uint8_t b : bytes)
      if (i >= d_.size() || d_[i++] != b) return false;
    return true;
  }
  std::string Text(size_t n) {
    if (!Skip(n)) return {};
    return std::string(d_.begin() + long(pos - n), d_.begin() + long(pos));
  }

 private:
  const std::vector<uint8_t>& d_;
  int level_;
  bool ok_ = true;
};

}  // namespace

::testing::AssertionResult ReadLibraryItems(const std::vector<uint8_t>& d, std::set<uint16_t>& items,
                                            std::map<std::string, uint16_t>* symbols,
                                            std::map<std::string, uint8_t>* kinds,
                                            std::set<uint16_t>* sounds) {
  items.clear();
  if (symbols) symbols->clear();
  if (kinds) kinds->clear();
  const std::map<uint8_t, int> levels = {{0x29, 0}, {0x38, 1}, {0x3F, 2}};
  if (d.empty() || !levels.count(d[0])) return ::testing::AssertionFailure() << "no Contents lead byte";
  const int level = levels.at(d[0]);
  const uint8_t version = level == 0 ? 17 : level == 1 ? 22 : 23;
  Reader r(d, level);
  auto failure = [&](const char* what) {
    return ::testing::AssertionFailure() << what << " does not read (offset " << r.pos << ")";
  };
  r.pos = level == 0 ? 15 : level == 1 ? 19 : 23;
  // The main page, further scene pages, the scene list's end.
  if (!r.Skip(6) || r.Text(13) != "CDocumentPage" || !r.Skip(1)) return failure("the main page");
  // The archive's map: 1 the page class, 2 the main page, then one index
  // per further page, media class and media item.
  uint32_t next = 3;
  r.Fields(kPageFields[level], nullptr);
  for (; r.ok() && r.At({1, 0x80, version}) && r.Skip(3); ++next) r.Fields(kPageFields[level], nullptr);
  r.Skip(8);
  // The symbol pages, then u16 0 and the item-number limit.
  for (; r.ok() && r.At({1, 0x80, version}) && r.Skip(3); ++next) r.Fields(kPageFields[level], &items, symbols, kinds);
  if (!r.ok() || !r.Skip(4)) return failure("the symbol pages");
  // Media items: a class tag or reference, the version, the common head,
  // the linkage and the class's own tail.
  std::map<uint32_t, std::string> classes;
  while (r.ok()) {
    std::string name;
    const size_t at = r.pos;
    const uint32_t word = r.Le(2);
    if (word == 0xFFFF && r.At({1, 0})) {
      r.Skip(2);
      name = r.Text(r.Le(2));
      classes[next++] = name;
    } else if ((word & 0x8000) && classes.count(word & 0x7FFF)) {
      name = classes[word & 0x7FFF];
    } else {
      r.pos = at;  // the document properties: u16 0, u16, u16 5
      r.Skip(4);
      if (!r.ok() || !r.At({5, 0})) return failure("the end of the library");
      break;
    }
    ++next;
    r.Skip(1);
    std::set<uint16_t> media;
    // Names, item number, source path and time, ids, linkage and the fields
    // after it.
    r.Fields(level == 0 ? "S; S; I; S; u32 x 10; u8; S; S; u8; u32; u8; S; u32 x 5"
                        : "S; M; S; I; M; S; u32 x 10; u8; M; S; M; S; M; S; u8; u32; M; S; M; S; u32 x 5; u8",
             &media);
    items.insert(media.begin(), media.end());
    if (sounds && name == "CMediaSound") sounds->insert(media.begin(), media.end());
    if (name == "CMediaBits")
      r.Fields(level == 2 ? "M; S; u8; u32 x 3" : "u32 x 3", nullptr);
    else if (name == "CMediaSound")
      r.Fields(level == 0 ? "u32; u8; u16; u32 x 2; u8 x 11"
                          : level == 1 ? "u32; u8; u16; u32 x 2; u8 x 11; M; S"
                                       : "M; S; u8; u32; u8; u16; u32 x 2; u8 x 11; M; S; u32",
               nullptr);
    else if (name == "CMediaVideoStream")
      r.Fields(level == 2 ? "M; S; u8; u32" : "u32", nullptr);
    else
      return failure(("a media item of class " + name).c_str());
    if (!r.ok()) return failure(name.c_str());
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tovrani::test
