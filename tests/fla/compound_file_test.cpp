#include "fla/compound_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fla/item_names.h"
#include "fla/work_files.h"
#include "support/independent_readers.h"
#include "support/temp_dir.h"

namespace tovrani::test {
namespace {

using Streams = std::map<std::string, std::vector<uint8_t>>;

uint32_t Le32(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<uint32_t>(v[at + 3]) << 24;
}

// A document's streams placed as the converters place them, with what each
// stream must read back as.
struct Document {
  WorkFiles w;
  Streams expected;
  uint32_t pageSize = 0, pageStart = 0;
  std::vector<uint8_t> contents;

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
  void Contents(const std::vector<uint8_t>& bytes) {
    contents = bytes;
    expected["Contents"] = bytes;
  }
  CompoundFileResult Write(const std::string& path, std::string* error = nullptr) {
    UniqueFile out = OpenFile(path, "wb");
    if (!out) return CompoundFileResult::kWriteFailed;
    CompoundFileResult r = WriteCompoundFile(out.get(), w.ctx, pageSize, pageStart, contents, error);
    if (!CloseFile(out)) return CompoundFileResult::kWriteFailed;
    return r;
  }
};

std::string SevenZip() {
  std::string out;
  return RunCommand("command -v 7z", out) == 0 ? "7z" : "7zz";
}

// Writes the document, then reads it with olefile (strict), gsf and 7-Zip.
void RoundTrip(Document& doc, const std::string& path) {
  std::string error;
  ASSERT_EQ(doc.Write(path, &error), CompoundFileResult::kOk) << error;
  Streams read;
  ASSERT_TRUE(ReadCompoundFile(path, read));
  ASSERT_EQ(read.size(), doc.expected.size());
  for (const auto& [name, bytes] : doc.expected) {
    auto it = read.find(name);
    ASSERT_NE(it, read.end()) << name << " missing";
    ASSERT_TRUE(it->second == bytes) << name << " differs";
  }
  std::string listing;
  ASSERT_EQ(RunCommand(SevenZip() + " l " + ShellQuote(path), listing), 0) << listing;
  EXPECT_EQ(listing.find("ERROR"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("Warnings"), std::string::npos) << listing;
  for (const auto& [name, bytes] : doc.expected) EXPECT_NE(listing.find(name), std::string::npos) << name;
}

// The directory of a written file, following its FAT (header DIFAT only).
std::vector<std::vector<uint8_t>> Directory(const std::vector<uint8_t>& file) {
  auto sector = [&](uint32_t s) { return 512 + static_cast<size_t>(s) * 512; };
  std::vector<uint32_t> fat;
  for (uint32_t k = 0; k < Le32(file, 44) && k < 109; ++k)
    for (uint32_t i = 0; i < 128; ++i) fat.push_back(Le32(file, sector(Le32(file, 76 + 4 * k)) + 4 * i));
  std::vector<std::vector<uint8_t>> entries;
  for (uint32_t s = Le32(file, 48); s < fat.size(); s = fat[s])
    for (int i = 0; i < 4; ++i) {
      size_t at = sector(s) + 128 * i;
      entries.emplace_back(file.begin() + at, file.begin() + at + 128);
    }
  return entries;
}

std::u16string NameOf(const std::vector<uint8_t>& e) {
  std::u16string n;
  for (size_t i = 0; i + 2 < static_cast<size_t>(e[64] | e[65] << 8); i += 2) n.push_back(e[i] | e[i + 1] << 8);
  return n;
}

// In-order walk of the root's tree: every stream once, in name order, all
// black, no deeper than a balanced tree.
void ExpectBalancedTree(const std::vector<std::vector<uint8_t>>& dir, size_t streams) {
  std::vector<std::u16string> inOrder;
  size_t deepest = 0;
  std::function<void(uint32_t, size_t)> walk = [&](uint32_t id, size_t depth) {
    if (id == 0xFFFFFFFF) return;
    ASSERT_LT(id, dir.size());
    ASSERT_LT(depth, 64u);
    EXPECT_EQ(dir[id][67], 1) << "red entry " << id;
    deepest = std::max(deepest, depth);
    walk(Le32(dir[id], 68), depth + 1);
    inOrder.push_back(NameOf(dir[id]));
    walk(Le32(dir[id], 72), depth + 1);
  };
  walk(Le32(dir[0], 76), 1);
  ASSERT_EQ(inOrder.size(), streams);
  for (size_t i = 1; i < inOrder.size(); ++i) EXPECT_LT(CompareDirEntryNames(inOrder[i - 1], inOrder[i]), 0);
  size_t balanced = 0;
  while ((size_t{1} << balanced) <= streams) ++balanced;
  EXPECT_LE(deepest, balanced);
}

TEST(CompoundFile, NoSymbols) {
  TempDir dir;
  Document doc;
  doc.Page(Pattern(200, 1));
  doc.Contents(Pattern(600, 2));
  RoundTrip(doc, dir.file("a.fla"));

  auto file = ReadFileBytes(dir.file("a.fla"));
  EXPECT_EQ(Le32(file, 0), 0xE011CFD0u);
  EXPECT_EQ(Le32(file, 24), 0x0003003Eu);  // version 3
  EXPECT_EQ(Le32(file, 28), 0x0009FFFEu);  // byte order, 512-byte sectors
  EXPECT_EQ(Le32(file, 56), 4096u);
  auto entries = Directory(file);
  ASSERT_GE(entries.size(), 3u);
  EXPECT_EQ(NameOf(entries[0]), u"Root Entry");
  EXPECT_EQ(entries[0][66], 5);
  EXPECT_TRUE(std::equal(kFlaRootClsid.begin(), kFlaRootClsid.end(), entries[0].begin() + 80));
  EXPECT_EQ(Le32(entries[0], 120), 256u + 640);  // the mini stream: Page 1, then Contents
  EXPECT_EQ(NameOf(entries[1]), u"Contents");
  EXPECT_EQ(NameOf(entries[2]), u"Page 1");
  ExpectBalancedTree(entries, 2);
}

TEST(CompoundFile, SymbolsAndMediaKeepTheirPlaces) {
  TempDir dir;
  Document doc;
  doc.w.ctx.m_wCurSymbolId = 1;
  doc.Symbol(Pattern(100, 1));
  doc.Media(1, Pattern(4095, 2));
  doc.Symbol(Pattern(5000, 3));
  for (uint16_t n = 2; n <= 12; ++n) doc.Media(n, Pattern(n * 777, static_cast<uint8_t>(n)));
  doc.Symbol(Pattern(4096, 4));
  doc.Page(Pattern(9000, 5));
  doc.Contents(Pattern(20000, 6));
  RoundTrip(doc, dir.file("b.fla"));

  auto entries = Directory(ReadFileBytes(dir.file("b.fla")));
  ASSERT_GT(entries.size(), doc.w.ctx.m_nLastSymbolDirEntry);
  EXPECT_EQ(NameOf(entries[doc.w.ctx.m_nLastSymbolDirEntry]), u"Symbol 3");
  EXPECT_EQ(NameOf(entries[3]), u"Symbol 1");
  EXPECT_EQ(NameOf(entries[6]), u"Media 1");
  ExpectBalancedTree(entries, 17);
}

TEST(CompoundFile, EmptyStreams) {
  TempDir dir;
  Document doc;
  doc.Media(1, {});
  doc.Symbol({});
  doc.Media(2, Pattern(70, 1));
  doc.Page({});
  doc.Contents({});
  RoundTrip(doc, dir.file("c.fla"));
  auto entries = Directory(ReadFileBytes(dir.file("c.fla")));
  for (int i : {1, 2, 3, 4}) EXPECT_EQ(Le32(entries[i], 116), 0xFFFFFFFEu) << i;
}

TEST(CompoundFile, ManyStreams) {
  TempDir dir;
  Document doc;
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245 + 12345, (seed >> 16) % 6000; };
  for (int i = 0; i < 1000; ++i) doc.Symbol(Pattern(next(), static_cast<uint8_t>(i)));
  for (uint16_t n = 1; n <= 500; ++n) doc.Media(n * 25, Pattern(next() % 900, static_cast<uint8_t>(n)));
  doc.Page(Pattern(3000, 7));
  doc.Contents(Pattern(3500, 8));
  RoundTrip(doc, dir.file("d.fla"));
  ExpectBalancedTree(Directory(ReadFileBytes(dir.file("d.fla"))), 1502);
}

TEST(CompoundFile, RegularDataBeyondTheHeaderFatTable) {
  // Over 109 FAT sectors (about 7 MB) the FAT is listed in DIFAT sectors.
  TempDir dir;
  Document doc;
  for (uint16_t n = 1; n <= 3; ++n) doc.Media(n, Pattern(3 * 1024 * 1024 + n, static_cast<uint8_t>(n)));
  doc.Symbol(Pattern(300, 9));
  doc.Page(Pattern(5000, 5));
  doc.Contents(Pattern(10000, 6));
  RoundTrip(doc, dir.file("e.fla"));
  auto file = ReadFileBytes(dir.file("e.fla"));
  EXPECT_GT(Le32(file, 44), 109u);
  EXPECT_GE(Le32(file, 72), 1u);
}

TEST(CompoundFile, RefusesEntriesThatDoNotMatchTheWorkFiles) {
  TempDir dir;
  {
    Document doc;  // the same media number twice
    doc.Media(4, Pattern(10, 1));
    doc.Media(4, Pattern(10, 2));
    std::string error;
    EXPECT_EQ(doc.Write(dir.file("f.fla"), &error), CompoundFileResult::kInconsistent);
    EXPECT_NE(error.find("Media 4"), std::string::npos) << error;
  }
  {
    Document doc;  // a regular stream past the end of the regular data
    ASSERT_TRUE(WriteStreamDirEntry(doc.w.ctx, 1, 5000, 3));
    EXPECT_EQ(doc.Write(dir.file("g.fla")), CompoundFileResult::kInconsistent);
  }
  {
    Document doc;  // a mini stream whose chain was never made
    ASSERT_TRUE(WriteStreamDirEntry(doc.w.ctx, 1, 100, 0));
    EXPECT_EQ(doc.Write(dir.file("h.fla")), CompoundFileResult::kInconsistent);
  }
  {
    Document doc;  // two entries on the same regular sectors
    doc.Media(1, Pattern(5000, 1));
    ASSERT_TRUE(WriteStreamDirEntry(doc.w.ctx, 2, 4096, 0));
    EXPECT_EQ(doc.Write(dir.file("i.fla")), CompoundFileResult::kInconsistent);
  }
}

TEST(CompoundFile, FullDiskFailsTheAssembly) {
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
