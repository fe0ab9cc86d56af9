#include "fla/file_helpers.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <random>

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
  zs.next_in = zeros.data();
  zs.avail_in = static_cast<uInt>(zeros.size());
  zs.next_out = block.data();
  zs.avail_out = static_cast<uInt>(block.size());
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
    auto data = Sample(n, static_cast<uint32_t>(n));
    std::vector<uint8_t> out;
    InflateResult r = InflateZlibToVector(Zlib(data), kMaxMovieBytes, out);
    EXPECT_TRUE(r.complete) << n;
    EXPECT_EQ(r.produced, n);
    EXPECT_TRUE(out == data) << n;
  }
}

TEST(Inflate, DamagedStreamsKeepEveryByteProduced) {
  auto data = Sample(300000, 7);
  auto z = Zlib(data);
  std::vector<uint8_t> out;

  auto badSum = z;
  badSum.back() ^= 0x55;
  InflateResult r = InflateZlibToVector(badSum, kMaxMovieBytes, out);
  EXPECT_FALSE(r.complete);
  EXPECT_TRUE(out == data);

  // Cut short: what inflates is a prefix of the data, and nearly all of it.
  std::vector<uint8_t> cut(z.begin(), z.end() - 2000);
  r = InflateZlibToVector(cut, kMaxMovieBytes, out);
  EXPECT_FALSE(r.complete);
  ASSERT_LE(out.size(), data.size());
  EXPECT_GT(out.size(), data.size() - 20000);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
}

TEST(Inflate, StopsAtTheDeclaredLength) {
  auto bomb = ZeroBomb(uint64_t{1} << 30);
  ASSERT_LT(bomb.size(), 2u << 20);
  uint64_t seen = 0;
  bool allZero = true;
  auto start = std::chrono::steady_clock::now();
  InflateResult r = InflateZlib(bomb, 1 << 20, [&](const uint8_t* d, size_t n) {
    for (size_t i = 0; i < n; ++i) allZero = allZero && d[i] == 0;
    seen += n;
    return true;
  });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(r.limitReached);
  EXPECT_EQ(r.produced, 1u << 20);
  EXPECT_EQ(seen, 1u << 20);
  EXPECT_TRUE(allZero);

  // The same stream does inflate further when allowed: the limit stopped it.
  r = InflateZlib(bomb, 8 << 20, [](const uint8_t*, size_t) { return true; });
  EXPECT_EQ(r.produced, 8u << 20);
}

TEST(Inflate, SinkFailureStops) {
  auto z = Zlib(Sample(200000, 3));
  InflateResult r = InflateZlib(z, kMaxMovieBytes, [](const uint8_t*, size_t) { return false; });
  EXPECT_TRUE(r.sinkFailed);
  EXPECT_EQ(r.produced, 0u);
}

std::vector<uint8_t> CwsMovie(const std::vector<uint8_t>& body, uint32_t declared) {
  std::vector<uint8_t> movie = {'C', 'W', 'S', 8};
  for (int i = 0; i < 4; ++i) movie.push_back(static_cast<uint8_t>(declared >> (8 * i)));
  auto z = Zlib(body);
  movie.insert(movie.end(), z.begin(), z.end());
  return movie;
}

TEST(DecompressCws, BecomesFwsOfTheDeclaredLength) {
  TempDir dir;
  auto body = Sample(50000, 11);
  auto movie = CwsMovie(body, 50008);
  WriteFileBytes(dir.file("in.swf"), movie);
  ASSERT_EQ(DecompressCwsFile(dir.file("in.swf"), dir.file("out.swf")), InflateFileStatus::kOk);
  auto out = ReadFileBytes(dir.file("out.swf"));
  ASSERT_EQ(out.size(), 50008u);
  EXPECT_EQ(out[0], 'F');
  EXPECT_TRUE(std::equal(movie.begin() + 1, movie.begin() + 8, out.begin() + 1));
  EXPECT_TRUE(std::equal(body.begin(), body.end(), out.begin() + 8));

  // A declared length below the data cuts the body there.
  WriteFileBytes(dir.file("short.swf"), CwsMovie(body, 1008));
  ASSERT_EQ(DecompressCwsFile(dir.file("short.swf"), dir.file("out2.swf")), InflateFileStatus::kOk);
  EXPECT_EQ(ReadFileBytes(dir.file("out2.swf")).size(), 1008u);

  WriteFileBytes(dir.file("huge.swf"), CwsMovie(body, 0x80000000u));
  EXPECT_EQ(DecompressCwsFile(dir.file("huge.swf"), dir.file("out3.swf")), InflateFileStatus::kTooLarge);
  EXPECT_EQ(DecompressCwsFile(dir.file("missing.swf"), dir.file("out4.swf")), InflateFileStatus::kOpenFailed);
  WriteFileBytes(dir.file("tiny.swf"), {'C', 'W', 'S'});
  EXPECT_EQ(DecompressCwsFile(dir.file("tiny.swf"), dir.file("out5.swf")), InflateFileStatus::kReadFailed);
}

TEST(InflateLossless, SkipsTheColourTableAndCompressesTheRest) {
  for (uint16_t tag : {20, 36}) {
    TempDir dir;
    auto data = Sample(5000, tag);
    ASSERT_EQ(InflateLosslessData(Zlib(data), 1 << 20, dir.file("tmp.tmp"), dir.file("bmp.tmp"), tag, 256),
              InflateFileStatus::kOk);
    EXPECT_TRUE(ReadFileBytes(dir.file("tmp.tmp")) == data);
    EXPECT_FALSE(fs::exists(dir.file("bmp.tmp")));
    ASSERT_TRUE(GunzipFile(dir.file("bmp.tmp.gz")));
    size_t skip = tag == 20 ? 768 : 1024;
    EXPECT_TRUE(ReadFileBytes(dir.file("bmp.tmp")) == std::vector<uint8_t>(data.begin() + skip, data.end()));
  }
  // The cap holds for bitmap data too.
  TempDir dir;
  ASSERT_EQ(InflateLosslessData(Zlib(Sample(5000, 1)), 3000, dir.file("p"), dir.file("o"), 36, 0),
            InflateFileStatus::kOk);
  EXPECT_EQ(ReadFileBytes(dir.file("p")).size(), 3000u);
}

TEST(Gzip, RoundTripsAndNames) {
  TempDir dir;
  auto data = Sample(40000, 5);
  for (const char* name : {"x", ".gz"}) {
    std::string path = dir.file(name);
    WriteFileBytes(path, data);
    ASSERT_TRUE(GzipFile(path, "wb1"));
    EXPECT_FALSE(fs::exists(path));
    ASSERT_TRUE(fs::exists(path + ".gz"));
    ASSERT_TRUE(GunzipFile(path)) << name;  // reads name.gz, writes name
    EXPECT_TRUE(ReadFileBytes(path) == data);
    EXPECT_FALSE(fs::exists(path + ".gz"));
  }
  ASSERT_TRUE(GzipFile(dir.file("x"), "wb9"));
  ASSERT_TRUE(GunzipFile(dir.file("x.gz")));  // reads x.gz, writes x
  EXPECT_TRUE(ReadFileBytes(dir.file("x")) == data);

  EXPECT_FALSE(GzipFile(dir.file("absent"), "wb1"));
  EXPECT_FALSE(GunzipFile(dir.file("absent")));
}

TEST(FileHelpers, CopyAndDelete) {
  TempDir dir;
  WriteFileBytes(dir.file("empty"), {});
  EXPECT_TRUE(CopyFileBuffered(dir.file("empty"), dir.file("copy")));
  EXPECT_TRUE(fs::exists(dir.file("copy")));
  EXPECT_EQ(fs::file_size(dir.file("copy")), 0u);

  auto data = Sample(100000, 2);
  WriteFileBytes(dir.file("data"), data);
  EXPECT_TRUE(CopyFileBuffered(dir.file("data"), dir.file("copy")));
  EXPECT_TRUE(ReadFileBytes(dir.file("copy")) == data);
  EXPECT_FALSE(CopyFileBuffered(dir.file("absent"), dir.file("copy2")));
  EXPECT_FALSE(fs::exists(dir.file("copy2")));
  // A full disk is a failure, and the device itself is left alone.
  EXPECT_FALSE(CopyFileBuffered(dir.file("data"), "/dev/full"));
  EXPECT_TRUE(fs::exists("/dev/full"));

  for (const char* name : {"a.g12", "b.g12", "b.g13", "c.g12", "0", "1", "2", "3", "keep"})
    WriteFileBytes(dir.file(name), {1});
  DeleteTempFiles(dir.path().string());
  size_t left = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) left += entry.path().filename() != "keep";
  EXPECT_TRUE(fs::exists(dir.file("keep")));
  EXPECT_EQ(left, 3u);  // empty, copy, data
}

}  // namespace
}  // namespace tovrani::test
