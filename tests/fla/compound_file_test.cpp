#include "fla/compound_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "fla/item_names.h"
#include "fla/expected_records.h"
#include "fla/work_files.h"
#include "support/independent_readers.h"
#include "support/temp_dir.h"

namespace tovrani::test {
namespace {

using Streams = std::map<std::string, std::vector<uint8_t>>;

std::u16string NameOf(const std::vector<uint8_t>& e) {
  std::u16string n;
  for (size_t i = 0; i + 2 < static_cast<size_t>(e[64] | e[65] << 8); i += 2) n.push_back(e[i] | e[i + 1] << 8);
  return n;
}

// A document's streams placed as the converters place them, with what each
// stream must read back as.
struct Document {
  TempDir dir;
  const std::string path = dir.file("doc.fla");
  WorkFiles w;
  Streams expected;
  uint32_t pageSize = 0, pageStart = 0;
  std::vector<uint8_t> contents, file;
  std::vector<std::vector<uint8_t>> entries;  // the written directory
  std::vector<uint32_t> fat;                  // the written FAT

  void Symbol(const std::vector<uint8_t>& bytes) {
    expected[MakeSymbolName(w.ctx.m_wCurSymbolId)] = bytes;
    ASSERT_TRUE(PlaceSymbolStream(w.ctx, bytes, 0));
  }
  void Media(uint16_t n, const std::vector<uint8_t>& bytes) {
    StreamPlacement where;
    ASSERT_TRUE(AppendStreamData(w.ctx, bytes, where));
    ASSERT_TRUE(WriteStreamDirEntry(w.ctx, n, static_cast<uint32_t>(bytes.size()), where.start));
    expected[MakeMediaName(n)] = bytes;
  }
  void Page(const std::vector<uint8_t>& bytes) {
    StreamPlacement where;
    ASSERT_TRUE(AppendStreamData(w.ctx, bytes, where));
    pageSize = static_cast<uint32_t>(bytes.size());
    pageStart = where.start;
    expected["Page 1"] = bytes;
  }
  void Contents(const std::vector<uint8_t>& bytes) { contents = expected["Contents"] = bytes; }
  CompoundFileResult Write(std::string* error = nullptr) {
    UniqueFile out = OpenFile(path, "wb");
    if (!out) return CompoundFileResult::kWriteFailed;
    CompoundFileResult r = WriteCompoundFile(out.get(), w.ctx, pageSize, pageStart, contents, error);
    return CloseFile(out) ? r : CompoundFileResult::kWriteFailed;
  }

  // Writes the document, reads it with olefile (strict), gsf and 7-Zip, and
  // checks its directory tree.
  void RoundTrip() {
    std::string error;
    ASSERT_EQ(Write(&error), CompoundFileResult::kOk) << error;
    Streams read;
    ASSERT_TRUE(ReadCompoundFile(path, read));
    EXPECT_EQ(read.size(), expected.size());
    for (const auto& [name, bytes] : expected) EXPECT_TRUE(read.count(name) && read[name] == bytes) << name;
    std::string listing;
    const std::string sevenZip = RunCommand("command -v 7z", listing) == 0 ? "7z" : "7zz";
    ASSERT_EQ(RunCommand(sevenZip + " l " + ShellQuote(path), listing), 0) << listing;
    EXPECT_EQ(listing.find("ERROR"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("Warnings"), std::string::npos) << listing;
    for (const auto& [name, bytes] : expected) EXPECT_NE(listing.find(name), std::string::npos) << name;

    // The directory, following the FAT through the header and DIFAT sectors.
    file = ReadFileBytes(path);
    auto sector = [&](uint32_t s) { return 512 + static_cast<size_t>(s) * 512; };
    std::vector<uint32_t> fatSectors;
    for (uint32_t k = 0; k < 109; ++k) fatSectors.push_back(Le32(file, 76 + 4 * k));
    for (uint32_t n = 0, d = Le32(file, 68); n < Le32(file, 72); ++n, d = Le32(file, sector(d) + 508))
      for (uint32_t i = 0; i < 127; ++i) fatSectors.push_back(Le32(file, sector(d) + 4 * i));
    fatSectors.resize(Le32(file, 44));
    for (uint32_t f : fatSectors)
      for (uint32_t i = 0; i < 128; ++i) fat.push_back(Le32(file, sector(f) + 4 * i));
    for (uint32_t s = Le32(file, 48); s < fat.size(); s = fat[s])
      for (size_t at = sector(s); at < sector(s) + 512; at += 128) entries.push_back(Slice(file, at, at + 128));
    // In-order walk of the root's tree: every stream once, in name order,
    // all black, no deeper than a balanced tree.
    std::vector<std::u16string> inOrder;
    size_t deepest = 0, balanced = 0;
    std::function<void(uint32_t, size_t)> walk = [&](uint32_t id, size_t depth) {
      if (id == 0xFFFFFFFF) return;
      ASSERT_LT(id, entries.size());
      ASSERT_LT(depth, 64u);
      EXPECT_EQ(entries[id][67], 1) << "red entry " << id;
      deepest = std::max(deepest, depth);
      walk(Le32(entries[id], 68), depth + 1);
      inOrder.push_back(NameOf(entries[id]));
      walk(Le32(entries[id], 72), depth + 1);
    };
    ASSERT_FALSE(entries.empty());
    walk(Le32(entries[0], 76), 1);
    ASSERT_EQ(inOrder.size(), expected.size());
    for (size_t i = 1; i < inOrder.size(); ++i) EXPECT_LT(CompareDirEntryNames(inOrder[i - 1], inOrder[i]), 0);
    while ((size_t{1} << balanced) <= expected.size()) ++balanced;
    EXPECT_LE(deepest, balanced);
  }
};

TEST(CompoundFile, NoSymbols) {
  Document doc;
  doc.Page(Pattern(200, 1));
  doc.Contents(Pattern(600, 2));
  ASSERT_NO_FATAL_FAILURE(doc.RoundTrip());
  // Version 3, 512-byte sectors, the 4096-byte cut-off.
  EXPECT_BYTES(Slice(doc.file, 24, 32), FromHex("3E00 0300 FEFF 0900"));
  EXPECT_EQ(Le32(doc.file, 56), 4096u);
  const auto& e = doc.entries;
  ASSERT_GE(e.size(), 3u);
  EXPECT_EQ(NameOf(e[0]), u"Root Entry");
  EXPECT_EQ(e[0][66], 5);
  EXPECT_BYTES(Slice(e[0], 80, 96), std::vector<uint8_t>(kFlaRootClsid.begin(), kFlaRootClsid.end()));
  EXPECT_EQ(Le32(e[0], 120), 256u + 640);  // the mini stream: Page 1, then Contents
  EXPECT_EQ(NameOf(e[1]) + NameOf(e[2]), u"ContentsPage 1");
}

TEST(CompoundFile, SymbolsAndMediaKeepTheirPlaces) {
  Document doc;
  doc.Symbol(Pattern(100, 1));
  doc.Media(1, Pattern(4095, 2));
  doc.Symbol(Pattern(5000, 3));
  for (uint16_t n = 2; n <= 12; ++n) doc.Media(n, Pattern(n * 777, static_cast<uint8_t>(n)));
  doc.Symbol(Pattern(4096, 4));
  doc.Page(Pattern(9000, 5));
  doc.Contents(Pattern(20000, 6));
  ASSERT_NO_FATAL_FAILURE(doc.RoundTrip());
  ASSERT_GT(doc.entries.size(), doc.w.ctx.m_nLastSymbolDirEntry);
  EXPECT_EQ(NameOf(doc.entries[doc.w.ctx.m_nLastSymbolDirEntry]), u"Symbol 3");
  EXPECT_EQ(NameOf(doc.entries[3]), u"Symbol 1");
  EXPECT_EQ(NameOf(doc.entries[6]), u"Media 1");
}

TEST(CompoundFile, EmptyStreams) {
  Document doc;
  doc.Media(1, {});
  doc.Symbol({});
  doc.Media(2, Pattern(70, 1));
  doc.Page({});
  doc.Contents({});
  ASSERT_NO_FATAL_FAILURE(doc.RoundTrip());
  for (int i : {1, 2, 3, 4}) EXPECT_EQ(Le32(doc.entries[i], 116), 0xFFFFFFFEu) << i;
}

TEST(CompoundFile, ManyStreams) {
  Document doc;
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245 + 12345, (seed >> 16) % 6000; };
  for (int i = 0; i < 1000; ++i) doc.Symbol(Pattern(next(), static_cast<uint8_t>(i)));
  for (uint16_t n = 1; n <= 500; ++n) doc.Media(n * 25, Pattern(next() % 900, static_cast<uint8_t>(n)));
  doc.Page(Pattern(3000, 7));
  doc.Contents(Pattern(3500, 8));
  doc.RoundTrip();
}

TEST(CompoundFile, RegularDataBeyondTheHeaderFatTable) {
  // Over 109 FAT sectors (about 7 MB) the FAT is listed in DIFAT sectors.
  Document doc;
  for (uint16_t n = 1; n <= 3; ++n) doc.Media(n, Pattern(3 * 1024 * 1024 + n, static_cast<uint8_t>(n)));
  doc.Symbol(Pattern(300, 9));
  doc.Page(Pattern(5000, 5));
  doc.Contents(Pattern(10000, 6));
  ASSERT_NO_FATAL_FAILURE(doc.RoundTrip());
  EXPECT_GT(Le32(doc.file, 44), 109u);
  EXPECT_GE(Le32(doc.file, 72), 1u);
}

TEST(CompoundFile, SectorRunsChainOneAfterAnother) {
  TempDir dir;
  const std::string path = dir.file("runs");
  UniqueFile out = OpenFile(path, "wb");
  ASSERT_TRUE(out);
  uint32_t next = 6;  // chains of 3 sectors from 5, then 1 from 8, then 2 from 9
  ASSERT_TRUE(WriteSectorRun(out.get(), 2, next, 0xFFFFFFFE));
  EXPECT_EQ(next, 9u);
  ASSERT_TRUE(WriteSectorRun(out.get(), 0, next, 0xFFFFFFFE));
  EXPECT_EQ(next, 10u);
  ASSERT_TRUE(WriteSectorRun(out.get(), 1, next, 0xFFFFFFFE));
  EXPECT_EQ(next, 12u);
  ASSERT_TRUE(WriteFatMarkerPair(77, 1, out.get()));  // nothing
  ASSERT_TRUE(WriteFatMarkerPair(77, 0, out.get()));
  ASSERT_TRUE(CloseFile(out));
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  std::vector<uint32_t> words;
  for (size_t at = 0; at + 4 <= bytes.size(); at += 4) words.push_back(Le32(bytes, at));
  EXPECT_EQ(bytes.size() % 4, 0u);
  EXPECT_EQ(words, (std::vector<uint32_t>{6, 7, 0xFFFFFFFE, 0xFFFFFFFE, 10, 0xFFFFFFFE,  //
                                          0xFFFFFFFD, 0xFFFFFFFE}));
}

TEST(CompoundFile, SectorsNoEntryClaimsStayFree) {
  // Bytes in the regular data that no directory entry names (a stream whose
  // entry was never written): its sectors are free, the others chained.
  Document doc;
  doc.Media(1, Pattern(5000, 1));                 // sectors 0-9
  ASSERT_TRUE(WriteZeros(doc.w.ctx.m_pBigSectorFile, 3 * 512));  // 10-12
  doc.Media(2, Pattern(4096, 2));                 // 13-20
  doc.Page(Pattern(100, 3));
  doc.Contents(Pattern(200, 4));
  ASSERT_NO_FATAL_FAILURE(doc.RoundTrip());
  ASSERT_GE(doc.fat.size(), 21u);
  for (uint32_t s = 0; s < 21; ++s) {
    const uint32_t want = s >= 10 && s <= 12 ? 0xFFFFFFFF : s == 9 || s == 20 ? 0xFFFFFFFE : s + 1;
    EXPECT_EQ(doc.fat[s], want) << s;
  }
}

TEST(CompoundFile, RefusesEntriesThatDoNotMatchTheWorkFilesAndAFullDisk) {
  const std::function<void(Document&)> cases[] = {
      [](Document& d) { d.Media(4, Pattern(10, 1)), d.Media(4, Pattern(10, 2)); },  // one name twice
      [](Document& d) { WriteStreamDirEntry(d.w.ctx, 1, 5000, 3); },  // past the end of the regular data
      [](Document& d) { WriteStreamDirEntry(d.w.ctx, 1, 100, 0); },   // a mini stream never chained
      [](Document& d) { d.Media(1, Pattern(5000, 1)), WriteStreamDirEntry(d.w.ctx, 2, 4096, 0); },  // shared sectors
  };
  for (const auto& make : cases) {
    Document doc;
    make(doc);
    std::string error;
    EXPECT_EQ(doc.Write(&error), CompoundFileResult::kInconsistent);
    EXPECT_FALSE(error.empty());
  }
  Document doc;
  doc.Page(Pattern(100, 1));
  doc.Contents(Pattern(9000, 2));
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(WriteCompoundFile(full, doc.w.ctx, doc.pageSize, doc.pageStart, doc.contents),
            CompoundFileResult::kWriteFailed);
  std::fclose(full);
}

}  // namespace
}  // namespace tovrani::test
