#include "fla/file_helpers.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "fla/expected_records.h"
#include "support/temp_dir.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

// Half text-like, half random: some of it compresses, some does not.
std::vector<uint8_t> Sample(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = (i / 1000) % 2 ? static_cast<uint8_t>(rng()) : "flash movie "[i % 12];
  return v;
}

std::vector<uint8_t> Zlib(const std::vector<uint8_t>& data) {
  uLongf size = compressBound(data.size());
  std::vector<uint8_t> out(size);
  EXPECT_EQ(compress2(out.data(), &size, data.data(), data.size(), 9), Z_OK);
  out.resize(size);
  return out;
}

// A zlib stream of `total` zero bytes assembled from one independently
// compressed 64 KB block repeated: about 1 MB of data for 1 GB of output.
std::vector<uint8_t> ZeroBomb(uint64_t total) {
  std::vector<uint8_t> zeros(65536, 0), block(1024);
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
  zs.next_in = zeros.data(), zs.avail_in = static_cast<uInt>(zeros.size());
  zs.next_out = block.data(), zs.avail_out = static_cast<uInt>(block.size());
  EXPECT_EQ(deflate(&zs, Z_FULL_FLUSH), Z_OK);
  block.resize(block.size() - zs.avail_out);
  deflateEnd(&zs);
  std::vector<uint8_t> out = {0x78, 0xDA};
  for (uint64_t done = 0; done < total; done += zeros.size()) out.insert(out.end(), block.begin(), block.end());
  out.insert(out.end(), {0x03, 0x00, 0, 0, 0, 0});  // final empty block, any checksum
  return out;
}

TEST(Inflate, RawZlibComesBackComplete) {
  for (size_t n : {size_t{10 * 1024}, size_t{16384}, size_t{1024 * 1024}}) {
    const auto data = Sample(n, static_cast<uint32_t>(n));
    std::vector<uint8_t> out;
    const InflateResult r = InflateZlibToVector(Zlib(data), kMaxMovieBytes, out);
    EXPECT_TRUE(r.complete && r.produced == n && out == data) << n;
  }
}

TEST(Inflate, DamagedStreamsKeepEveryByteProducedAndSinkFailureStops) {
  const auto data = Sample(300000, 7);
  const auto z = Zlib(data);
  std::vector<uint8_t> out;
  auto badSum = z;
  badSum.back() ^= 0x55;
  InflateResult r = InflateZlibToVector(badSum, kMaxMovieBytes, out);
  EXPECT_FALSE(r.complete);
  EXPECT_TRUE(out == data);
  // Cut short: what inflates is a prefix of the data, and nearly all of it.
  r = InflateZlibToVector(Slice(z, 0, z.size() - 2000), kMaxMovieBytes, out);
  EXPECT_FALSE(r.complete);
  ASSERT_LE(out.size(), data.size());
  EXPECT_GT(out.size(), data.size() - 20000);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));

  r = InflateZlib(z, kMaxMovieBytes, [](const uint8_t*, size_t) { return false; });
  EXPECT_TRUE(r.sinkFailed);
  EXPECT_EQ(r.produced, 0u);
}

// Straight into a buffer, a bitmap gets what the general road gives, from
// whole, damaged, cut and odd-headed streams alike; the rest of the buffer
// is left as it was.
TEST(Inflate, IntoABufferGivesWhatTheGeneralRoadGives) {
  const auto data = Sample(300000, 11);
  const auto z = Zlib(data);
  auto badSum = z, fdict = z, badHeader = z;
  badSum.back() ^= 0x55;
  fdict[1] |= 0x20;
  fdict[1] += 31 - ((fdict[0] << 8) | fdict[1]) % 31;
  badHeader[0] = 0x77;
  for (const auto& stream : {z, badSum, Slice(z, 0, z.size() - 2000), fdict, badHeader, Slice(z, 0, 1)}) {
    std::vector<uint8_t> general;
    InflateZlibToVector(stream, kMaxMovieBytes, general);
    for (size_t size : {data.size() + 10, size_t{4096}}) {
      std::vector<uint8_t> buffer(size, 0xAB);
      const size_t given = InflateZlibToBuffer(stream, buffer);
      ASSERT_EQ(given, std::min(general.size(), size));
      EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + given, general.begin()));
      EXPECT_TRUE(std::all_of(buffer.begin() + given, buffer.end(), [](uint8_t b) { return b == 0xAB; }));
    }
  }
}

TEST(Inflate, StopsAtTheDeclaredLength) {
  const auto bomb = ZeroBomb(uint64_t{1} << 30);
  ASSERT_LT(bomb.size(), 2u << 20);
  uint64_t seen = 0;
  const auto start = std::chrono::steady_clock::now();
  InflateResult r = InflateZlib(bomb, 1 << 20, [&](const uint8_t*, size_t n) { return seen += n, true; });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(r.limitReached);
  EXPECT_EQ(r.produced, 1u << 20);
  EXPECT_EQ(seen, 1u << 20);
  // The same stream does inflate further when allowed: the limit stopped it.
  r = InflateZlib(bomb, 8 << 20, [](const uint8_t*, size_t) { return true; });
  EXPECT_EQ(r.produced, 8u << 20);
}

std::vector<uint8_t> CwsMovie(const std::vector<uint8_t>& body, uint32_t declared) {
  return Concat({FieldBytes("ANSI \"CWS\"; u8 8; u32 " + std::to_string(declared)), Zlib(body)});
}

TEST(DecompressCws, BecomesFwsOfTheDeclaredLength) {
  TempDir dir;
  const auto body = Sample(50000, 11);
  auto convert = [&](const std::vector<uint8_t>& movie) {
    WriteFileBytes(dir.file("in.swf"), movie);
    fs::remove(dir.file("out.swf"));
    return DecompressCwsFile(dir.file("in.swf"), dir.file("out.swf"));
  };
  ASSERT_EQ(convert(CwsMovie(body, 50008)), InflateFileStatus::kOk);
  EXPECT_TRUE(ReadFileBytes(dir.file("out.swf")) == Concat({FromHex("465753 08 58C30000"), body}));
  // A declared length below the data cuts the body there.
  ASSERT_EQ(convert(CwsMovie(body, 1008)), InflateFileStatus::kOk);
  EXPECT_EQ(ReadFileBytes(dir.file("out.swf")).size(), 1008u);
  EXPECT_EQ(convert(CwsMovie(body, 0x80000000u)), InflateFileStatus::kTooLarge);
  EXPECT_EQ(convert({'C', 'W', 'S'}), InflateFileStatus::kReadFailed);
  EXPECT_EQ(DecompressCwsFile(dir.file("missing.swf"), dir.file("out.swf")), InflateFileStatus::kOpenFailed);
}

TEST(FileHelpers, AppendWorkFileCopiesTheWholeSourceFromItsStart) {
  TempDir dir;
  const auto data = Sample(70000, 3);  // more than one copy buffer
  WriteFileBytes(dir.file("src"), data);
  UniqueFile src = OpenFile(dir.file("src"), "rb");
  UniqueFile dst = OpenFile(dir.file("dst"), "wb");
  ASSERT_TRUE(src && dst);
  ASSERT_EQ(std::fseek(src.get(), 500, SEEK_SET), 0);  // wherever the source stood
  ASSERT_TRUE(WriteBytes(dst.get(), "ab", 2));
  EXPECT_EQ(AppendWorkFile(dst.get(), src.get()), 1);
  ASSERT_TRUE(CloseFile(dst));
  std::vector<uint8_t> want = {'a', 'b'};
  want.insert(want.end(), data.begin(), data.end());
  EXPECT_TRUE(ReadFileBytes(dir.file("dst")) == want);
  // A destination that cannot take the bytes, or no file at all: 0.
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  EXPECT_EQ(AppendWorkFile(full, src.get()), 0);
  std::fclose(full);
  EXPECT_EQ(AppendWorkFile(nullptr, src.get()), 0);
}

TEST(FileHelpers, GzipCopyAndDelete) {
  TempDir dir;
  const auto data = Sample(100000, 5);
  for (auto [name, mode] : {std::pair{"x", "wb1"}, std::pair{".gz", "wb9"}}) {
    const std::string path = dir.file(name);
    WriteFileBytes(path, data);
    ASSERT_TRUE(GzipFile(path, mode));
    EXPECT_FALSE(fs::exists(path));
    ASSERT_TRUE(GunzipFile(path)) << name;  // reads name.gz, writes name
    EXPECT_TRUE(ReadFileBytes(path) == data);
    EXPECT_FALSE(fs::exists(path + ".gz"));
  }
  EXPECT_FALSE(GzipFile(dir.file("absent"), "wb1") || GunzipFile(dir.file("absent")));

  WriteFileBytes(dir.file("empty"), {});
  EXPECT_TRUE(CopyFileBuffered(dir.file("empty"), dir.file("copy")));
  EXPECT_EQ(fs::file_size(dir.file("copy")), 0u);
  EXPECT_TRUE(CopyFileBuffered(dir.file("x"), dir.file("copy")));
  EXPECT_TRUE(ReadFileBytes(dir.file("copy")) == data);
  EXPECT_FALSE(CopyFileBuffered(dir.file("absent"), dir.file("copy2")));
  EXPECT_FALSE(fs::exists(dir.file("copy2")));
  // A full disk is a failure, and the device itself is left alone.
  EXPECT_FALSE(CopyFileBuffered(dir.file("x"), "/dev/full"));
  EXPECT_TRUE(fs::exists("/dev/full"));

  for (const char* name : {"a.g12", "b.g12", "b.g13", "c.g12", "0", "1", "2", "3"}) WriteFileBytes(dir.file(name), {1});
  DeleteTempFiles(dir.path().string());
  size_t left = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) left += entry.path().filename() != "x";
  EXPECT_TRUE(fs::exists(dir.file("x")));
  EXPECT_EQ(left, 3u);  // .gz, empty, copy
}

}  // namespace
}  // namespace tovrani::test
