#include "fla/compound_file.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

#include "fla/file_helpers.h"
#include "fla/stream_placement.h"

namespace tovrani {

const std::array<uint8_t, 16> kFlaRootClsid = {0x70, 0xAA, 0x7C, 0x59, 0xAA, 0x72, 0xCF, 0x11,
                                               0x83, 0x1E, 0x52, 0x41, 0x53, 0x48, 0x00, 0x00};

namespace {

constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint32_t kMaxRegularSector = 0xFFFFFFF9;
constexpr uint32_t kEntriesPerSector = kSectorSize / 4;  // 128 FAT entries
constexpr uint32_t kHeaderDifatEntries = 109;

using Entry = std::array<uint8_t, kDirEntrySize>;

uint32_t GetLE32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void SetLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void AppendLE32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

char16_t UpperUnit(char16_t c) {
  // Simple upper-casing of ASCII and Latin-1, enough for the names written here.
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  return c;
}

std::u16string EntryName(const Entry& e) {
  uint16_t bytes = e[64] | e[65] << 8;
  std::u16string name;
  for (uint16_t i = 0; i + 2 < bytes; i += 2) name.push_back(static_cast<char16_t>(e[i] | e[i + 1] << 8));
  return name;
}

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// Everything the assembly decides before it writes.
class Assembly {
 public:
  Assembly(const CompoundFileParts& parts, std::string* error) : parts_(parts), error_(error) {}

  CompoundFileResult Run(std::FILE* out) {
    CompoundFileResult r = Plan();
    if (r != CompoundFileResult::kOk) return r;
    return Write(out);
  }

 private:
  CompoundFileResult Fail(CompoundFileResult r, const std::string& why) {
    if (error_) *error_ = why;
    return r;
  }

  bool FileSize(std::FILE* f, uint64_t& size) {
    size = 0;
    if (!f) return true;
    if (fseeko(f, 0, SEEK_END) != 0) return false;
    off_t end = ftello(f);
    if (end < 0) return false;
    size = static_cast<uint64_t>(end);
    return true;
  }

  uint32_t GivenMiniFat(uint32_t s) const {
    size_t block = s / 128;
    return block < parts_.miniFat.size() ? parts_.miniFat[block][s % 128] : kFreeSector;
  }

  // Checks a stream's sectors against the work files and records its chain.
  CompoundFileResult Chain(Entry& e) {
    std::string name = Narrow(EntryName(e));
    uint32_t size = GetLE32(&e[120]);
    uint32_t start = GetLE32(&e[116]);
    if (GetLE32(&e[124]) != 0) return Fail(CompoundFileResult::kInconsistent, name + ": size above 4 GB");
    if (size == 0) {
      SetLE32(&e[116], kEndOfChain);
      return CompoundFileResult::kOk;
    }
    if (size < kMiniStreamCutoff) {
      uint64_t n = CeilDiv(size, kMiniSectorSize);
      uint32_t s = start;
      for (uint64_t k = 0; k < n; ++k) {
        if (s >= miniFileSectors_ || miniUsed_[s])
          return Fail(CompoundFileResult::kInconsistent, name + ": mini-FAT chain does not fit the mini stream");
        miniUsed_[s] = 1;
        uint32_t next = GivenMiniFat(s);
        miniFat_[s] = k + 1 == n ? kEndOfChain : next;
        s = next;
      }
      return CompoundFileResult::kOk;
    }
    uint64_t n = CeilDiv(size, kSectorSize);
    if (start >= bigSectors_ || n > bigSectors_ - start)
      return Fail(CompoundFileResult::kInconsistent, name + ": sectors beyond the regular data");
    for (uint64_t k = 0; k < n; ++k) {
      if (bigUsed_[start + k])
        return Fail(CompoundFileResult::kInconsistent, name + ": sectors shared with another stream");
      bigUsed_[start + k] = 1;
    }
    bigChains_.push_back({start, static_cast<uint32_t>(n)});
    return CompoundFileResult::kOk;
  }

  CompoundFileResult AddWorkEntries(std::span<const uint8_t> dir, const char* what) {
    if (dir.size() % kDirEntrySize != 0)
      return Fail(CompoundFileResult::kInconsistent, std::string(what) + " directory is not whole entries");
    for (size_t off = 0; off < dir.size(); off += kDirEntrySize) {
      Entry e;
      std::memcpy(e.data(), dir.data() + off, kDirEntrySize);
      uint16_t bytes = e[64] | e[65] << 8;
      bool nameOk = bytes >= 4 && bytes <= 64 && bytes % 2 == 0 && e[bytes - 2] == 0 && e[bytes - 1] == 0;
      for (uint16_t i = 0; nameOk && i + 2 < bytes; i += 2) nameOk = e[i] != 0 || e[i + 1] != 0;
      if (!nameOk) return Fail(CompoundFileResult::kInconsistent, std::string(what) + " entry with a bad name");
      if (e[66] != 2) return Fail(CompoundFileResult::kInconsistent, Narrow(EntryName(e)) + ": not a stream entry");
      entries_.push_back(e);
    }
    return CompoundFileResult::kOk;
  }

  CompoundFileResult Plan() {
    if (!FileSize(parts_.bigSectorFile, bigBytes_) || !FileSize(parts_.miniStreamFile, miniBytes_))
      return Fail(CompoundFileResult::kWriteFailed, "cannot measure a work file");
    bigSectors_ = CeilDiv(bigBytes_, kSectorSize);
    if (bigSectors_ > kMaxRegularSector || CeilDiv(miniBytes_, kMiniSectorSize) > kMaxRegularSector)
      return Fail(CompoundFileResult::kTooLarge, "work files too large");
    miniFileSectors_ = static_cast<uint32_t>(CeilDiv(miniBytes_, kMiniSectorSize));
    contentsSmall_ = parts_.contents.size() < kMiniStreamCutoff;
    if (parts_.contents.size() > 0xFFFFFFFFu) return Fail(CompoundFileResult::kTooLarge, "Contents too large");
    uint64_t contentsMini = contentsSmall_ ? CeilDiv(parts_.contents.size(), kMiniSectorSize) : 0;
    uint64_t totalMini = miniFileSectors_ + contentsMini;
    // The root entry records the mini stream's size in 32 bits.
    if (totalMini * kMiniSectorSize > 0xFFFFFFFFu) return Fail(CompoundFileResult::kTooLarge, "mini stream too large");
    miniSectors_ = static_cast<uint32_t>(totalMini);
    miniFat_.assign(miniFileSectors_, kFreeSector);
    miniUsed_.assign(miniSectors_, 0);
    bigUsed_.assign(bigSectors_, 0);

    // Root, the two fixed streams, then the entries as their writers made them.
    entries_.push_back(MakeStreamDirEntry("Root Entry", 0, kEndOfChain, kNoStream));
    entries_.push_back(MakeStreamDirEntry("Contents", static_cast<uint32_t>(parts_.contents.size()), 0, kNoStream));
    entries_.push_back(MakeStreamDirEntry("Page 1", parts_.scenePageSize, parts_.scenePageStart, kNoStream));
    CompoundFileResult r = AddWorkEntries(parts_.symbolDir, "symbol");
    if (r == CompoundFileResult::kOk) r = AddWorkEntries(parts_.mediaDir, "media");
    if (r != CompoundFileResult::kOk) return r;
    if (entries_.size() >= kNoStream / 2) return Fail(CompoundFileResult::kTooLarge, "too many streams");
    for (size_t i = 2; i < entries_.size(); ++i)
      if ((r = Chain(entries_[i])) != CompoundFileResult::kOk) return r;

    // Sector layout after the regular data.
    uint64_t miniContainer = CeilDiv(static_cast<uint64_t>(miniSectors_) * kMiniSectorSize, kSectorSize);
    uint64_t dirSectors = CeilDiv(entries_.size(), kSectorSize / kDirEntrySize);
    uint64_t miniFatSectors = CeilDiv(miniSectors_, kEntriesPerSector);
    uint64_t contentsSectors = contentsSmall_ ? 0 : CeilDiv(parts_.contents.size(), kSectorSize);
    uint64_t base = bigSectors_ + miniContainer + dirSectors + miniFatSectors + contentsSectors;
    uint64_t fat = 0, difat = 0;
    while (true) {
      uint64_t f = CeilDiv(base + fat + difat, kEntriesPerSector);
      uint64_t d = f > kHeaderDifatEntries ? CeilDiv(f - kHeaderDifatEntries, kEntriesPerSector - 1) : 0;
      if (f == fat && d == difat) break;
      fat = f;
      difat = d;
    }
    uint64_t total = base + fat + difat;
    if (total > kMaxRegularSector) return Fail(CompoundFileResult::kTooLarge, "more sectors than the format numbers");
    miniStart_ = static_cast<uint32_t>(bigSectors_);
    miniContainerSectors_ = static_cast<uint32_t>(miniContainer);
    dirStart_ = miniStart_ + miniContainerSectors_;
    dirSectors_ = static_cast<uint32_t>(dirSectors);
    miniFatStart_ = dirStart_ + dirSectors_;
    miniFatSectors_ = static_cast<uint32_t>(miniFatSectors);
    fatStart_ = miniFatStart_ + miniFatSectors_;
    fatSectors_ = static_cast<uint32_t>(fat);
    difatStart_ = fatStart_ + fatSectors_;
    difatSectors_ = static_cast<uint32_t>(difat);
    contentsStart_ = difatStart_ + difatSectors_;
    contentsSectors_ = static_cast<uint32_t>(contentsSectors);

    // Contents: small ones continue the mini stream, large ones come last.
    Entry& contents = entries_[1];
    if (parts_.contents.empty()) {
      SetLE32(&contents[116], kEndOfChain);
    } else if (contentsSmall_) {
      SetLE32(&contents[116], miniFileSectors_);  // its chain follows the work file's in the mini-FAT
    } else {
      SetLE32(&contents[116], contentsStart_);
    }
    // The root entry names the mini stream.
    Entry& root = entries_[0];
    root[66] = 5;
    std::memcpy(&root[80], kFlaRootClsid.data(), kFlaRootClsid.size());
    SetLE32(&root[116], miniSectors_ ? miniStart_ : kEndOfChain);
    SetLE32(&root[120], miniSectors_ * kMiniSectorSize);

    std::sort(bigChains_.begin(), bigChains_.end());
    return BuildTree();
  }

  // Balanced search tree of every stream under the root, all black.
  CompoundFileResult BuildTree() {
    std::vector<uint32_t> order;
    std::vector<std::u16string> names(entries_.size());
    for (uint32_t i = 1; i < entries_.size(); ++i) {
      names[i] = EntryName(entries_[i]);
      order.push_back(i);
    }
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return CompareDirEntryNames(names[a], names[b]) < 0; });
    for (size_t k = 1; k < order.size(); ++k)
      if (CompareDirEntryNames(names[order[k - 1]], names[order[k]]) == 0)
        return Fail(CompoundFileResult::kInconsistent, "two streams named " + Narrow(names[order[k]]));
    for (Entry& e : entries_) {
      e[67] = 1;
      SetLE32(&e[68], kNoStream);
      SetLE32(&e[72], kNoStream);
      SetLE32(&e[76], kNoStream);
    }
    SetLE32(&entries_[0][76], Link(order, 0, order.size()));
    return CompoundFileResult::kOk;
  }

  // The middle of order[lo, hi) becomes the subtree's top; depth is log2(n).
  uint32_t Link(const std::vector<uint32_t>& order, size_t lo, size_t hi) {
    if (lo >= hi) return kNoStream;
    size_t mid = lo + (hi - lo) / 2;
    uint32_t id = order[mid];
    SetLE32(&entries_[id][68], Link(order, lo, mid));
    SetLE32(&entries_[id][72], Link(order, mid + 1, hi));
    return id;
  }

  // A work file as measured by Plan, then zeros up to paddedTo; a file that
  // changed length since would shift every sector after it.
  bool CopyPadded(std::FILE* out, std::FILE* in, uint64_t bytes, uint64_t paddedTo) {
    if (in && bytes > 0 && (!AppendWorkFile(out, in) || ftello(in) != static_cast<off_t>(bytes)))
      return false;
    return WriteZeros(out, paddedTo - bytes);
  }

  static bool WriteWords(std::FILE* out, const std::vector<uint32_t>& words) {
    std::vector<uint8_t> bytes;
    bytes.reserve(words.size() * 4);
    for (uint32_t w : words) AppendLE32(bytes, w);
    return WriteBytes(out, bytes.data(), bytes.size());
  }

  // count table entries of one value, in pieces.
  static bool WriteRepeated(std::FILE* out, uint32_t value, uint64_t count) {
    std::vector<uint8_t> piece;
    for (uint64_t k = std::min<uint64_t>(count, 4096); k > 0; --k) AppendLE32(piece, value);
    for (uint64_t left = count * 4; left > 0;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, piece.size()));
      if (!WriteBytes(out, piece.data(), n)) return false;
      left -= n;
    }
    return true;
  }

  // The chain of count consecutive sectors from start; nothing for none.
  static bool WriteChain(std::FILE* out, uint32_t start, uint32_t count) {
    if (count == 0) return true;
    uint32_t next = start + 1;
    return WriteSectorRun(out, count - 1, next, kEndOfChain);
  }

  // The mini-FAT: the work file's chains as checked, a small Contents' run
  // after them, free entries to the end of its last sector.
  bool WriteMiniFat(std::FILE* out) const {
    const uint64_t entries = static_cast<uint64_t>(miniFatSectors_) * kEntriesPerSector;
    return WriteWords(out, miniFat_) && WriteChain(out, miniFileSectors_, miniSectors_ - miniFileSectors_) &&
           WriteRepeated(out, kFreeSector, entries - miniSectors_);
  }

  // The FAT in sector order: the regular streams (sectors no entry claims
  // stay free), the mini stream's container, the directory, the mini-FAT,
  // the FAT's and DIFAT's own sectors, a large Contents, then free entries
  // to the end of the FAT's last sector.
  bool WriteFat(std::FILE* out) const {
    uint64_t at = 0;
    for (const auto& [start, count] : bigChains_) {
      if (!WriteRepeated(out, kFreeSector, start - at) || !WriteChain(out, start, count)) return false;
      at = static_cast<uint64_t>(start) + count;
    }
    const uint64_t used = static_cast<uint64_t>(contentsStart_) + contentsSectors_;
    const uint64_t entries = static_cast<uint64_t>(fatSectors_) * kEntriesPerSector;
    return WriteRepeated(out, kFreeSector, bigSectors_ - at) &&
           WriteChain(out, miniStart_, miniContainerSectors_) && WriteChain(out, dirStart_, dirSectors_) &&
           WriteChain(out, miniFatStart_, miniFatSectors_) && WriteRepeated(out, kFatSector, fatSectors_) &&
           WriteRepeated(out, kDifatSector, difatSectors_) &&
           WriteChain(out, contentsStart_, contentsSectors_) && WriteRepeated(out, kFreeSector, entries - used);
  }

  std::vector<uint8_t> Header() const {
    std::vector<uint8_t> h = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    h.resize(24, 0);                    // header CLSID: zero
    h.insert(h.end(), {0x3E, 0x00, 0x03, 0x00, 0xFE, 0xFF, 0x09, 0x00, 0x06, 0x00});
    h.resize(40, 0);                    // reserved
    AppendLE32(h, 0);                   // directory sectors: 0 in version 3
    AppendLE32(h, fatSectors_);
    AppendLE32(h, dirStart_);
    AppendLE32(h, 0);                   // transaction signature
    AppendLE32(h, kMiniStreamCutoff);
    AppendLE32(h, miniFatSectors_ ? miniFatStart_ : kEndOfChain);
    AppendLE32(h, miniFatSectors_);
    AppendLE32(h, difatSectors_ ? difatStart_ : kEndOfChain);
    AppendLE32(h, difatSectors_);
    for (uint32_t k = 0; k < kHeaderDifatEntries; ++k)
      AppendLE32(h, k < fatSectors_ ? fatStart_ + k : kFreeSector);
    return h;
  }

  std::vector<uint32_t> DifatSectors() const {
    std::vector<uint32_t> words(static_cast<size_t>(difatSectors_) * kEntriesPerSector, kFreeSector);
    uint32_t fatIndex = kHeaderDifatEntries;
    for (uint32_t d = 0; d < difatSectors_; ++d) {
      uint32_t* sector = &words[static_cast<size_t>(d) * kEntriesPerSector];
      for (uint32_t k = 0; k + 1 < kEntriesPerSector && fatIndex < fatSectors_; ++k)
        sector[k] = fatStart_ + fatIndex++;
      sector[kEntriesPerSector - 1] = d + 1 < difatSectors_ ? difatStart_ + d + 1 : kEndOfChain;
    }
    return words;
  }

  CompoundFileResult Write(std::FILE* out) {
    auto fail = [&] { return Fail(CompoundFileResult::kWriteFailed, "cannot write the compound file"); };
    std::vector<uint8_t> header = Header();
    if (!WriteBytes(out, header.data(), header.size())) return fail();
    if (!CopyPadded(out, parts_.bigSectorFile, bigBytes_, bigSectors_ * kSectorSize)) return fail();
    // The mini stream: the work file, then a small Contents, then sector padding.
    uint64_t miniFilePadded = static_cast<uint64_t>(miniFileSectors_) * kMiniSectorSize;
    if (!CopyPadded(out, parts_.miniStreamFile, miniBytes_, miniFilePadded)) return fail();
    if (contentsSmall_ && !WriteBytes(out, parts_.contents.data(), parts_.contents.size())) return fail();
    uint64_t written = miniFilePadded + (contentsSmall_ ? parts_.contents.size() : 0);
    if (!WriteZeros(out, static_cast<uint64_t>(miniContainerSectors_) * kSectorSize - written)) return fail();
    // Directory, with unused slots after the last entry.
    for (const Entry& e : entries_)
      if (!WriteBytes(out, e.data(), e.size())) return fail();
    Entry unused{};
    SetLE32(&unused[68], kNoStream);
    SetLE32(&unused[72], kNoStream);
    SetLE32(&unused[76], kNoStream);
    for (size_t i = entries_.size(); i < static_cast<size_t>(dirSectors_) * 4; ++i)
      if (!WriteBytes(out, unused.data(), unused.size())) return fail();
    if (!WriteMiniFat(out) || !WriteFat(out) || !WriteWords(out, DifatSectors())) return fail();
    if (!contentsSmall_) {
      if (!WriteBytes(out, parts_.contents.data(), parts_.contents.size())) return fail();
      if (!WriteZeros(out, static_cast<uint64_t>(contentsSectors_) * kSectorSize - parts_.contents.size()))
        return fail();
    }
    if (std::fflush(out) != 0 || std::ferror(out)) return fail();
    return CompoundFileResult::kOk;
  }

  const CompoundFileParts& parts_;
  std::string* error_;
  uint64_t bigBytes_ = 0, miniBytes_ = 0, bigSectors_ = 0;
  uint32_t miniFileSectors_ = 0, miniSectors_ = 0;
  bool contentsSmall_ = true;
  std::vector<Entry> entries_;
  std::vector<uint32_t> miniFat_;
  std::vector<uint8_t> miniUsed_, bigUsed_;
  std::vector<std::pair<uint32_t, uint32_t>> bigChains_;  // start and count, in sector order
  uint32_t miniStart_ = 0, miniContainerSectors_ = 0, dirStart_ = 0, dirSectors_ = 0;
  uint32_t miniFatStart_ = 0, miniFatSectors_ = 0, fatStart_ = 0, fatSectors_ = 0;
  uint32_t difatStart_ = 0, difatSectors_ = 0, contentsStart_ = 0, contentsSectors_ = 0;
};

}  // namespace

bool WriteSectorRun(std::FILE* out, uint32_t count, uint32_t& next, uint32_t terminator) {
  std::vector<uint8_t> buf;
  buf.reserve(static_cast<size_t>(count) * 4 + 4);
  for (uint32_t i = 0; i < count; ++i, ++next) AppendLE32(buf, next);
  AppendLE32(buf, terminator);
  ++next;
  return WriteBytes(out, buf.data(), buf.size());
}

bool WriteFatMarkerPair(uint32_t, uint8_t flag, std::FILE* out) {
  if (flag != 0) return true;
  std::vector<uint8_t> buf;
  AppendLE32(buf, kFatSector);
  AppendLE32(buf, kEndOfChain);
  return WriteBytes(out, buf.data(), buf.size());
}

int CompareDirEntryNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = UpperUnit(a[i]), y = UpperUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

CompoundFileResult WriteCompoundFile(std::FILE* out, const CompoundFileParts& parts,
                                     std::string* error) {
  return Assembly(parts, error).Run(out);
}

CompoundFileResult WriteCompoundFile(std::FILE* out, FlaContext& ctx,
                                     uint32_t scenePageSize, uint32_t scenePageStart,
                                     std::span<const uint8_t> contents, std::string* error) {
  std::vector<uint8_t> symbolDir, mediaDir;
  if ((ctx.m_pSymbolDirFile && !ReadWholeFile(ctx.m_pSymbolDirFile, symbolDir)) ||
      (ctx.m_pMediaDirFile && !ReadWholeFile(ctx.m_pMediaDirFile, mediaDir))) {
    if (error) *error = "cannot read a directory work file";
    return CompoundFileResult::kWriteFailed;
  }
  CompoundFileParts parts;
  parts.bigSectorFile = ctx.m_pBigSectorFile;
  parts.miniStreamFile = ctx.m_pMiniStreamFile;
  parts.miniFat = ctx.m_apMiniFatBlocks;
  parts.symbolDir = symbolDir;
  parts.mediaDir = mediaDir;
  parts.scenePageSize = scenePageSize;
  parts.scenePageStart = scenePageStart;
  parts.contents = contents;
  return WriteCompoundFile(out, parts, error);
}

}  // namespace tovrani
