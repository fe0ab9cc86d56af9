// Captures what a writer puts into a FILE* and compares it with expected bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tovrani::test {

class ByteSink {
 public:
  ByteSink() { file_ = open_memstream(&buf_, &len_); }
  ~ByteSink() {
    if (file_) std::fclose(file_);
    std::free(buf_);
  }
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;

  std::FILE* file() { return file_; }
  operator std::FILE*() { return file_; }

  // Everything written so far.
  std::vector<uint8_t> bytes() {
    std::fflush(file_);
    return std::vector<uint8_t>(reinterpret_cast<uint8_t*>(buf_),
                                reinterpret_cast<uint8_t*>(buf_) + len_);
  }
  long tell() { return std::ftell(file_); }

 private:
  std::FILE* file_ = nullptr;
  char* buf_ = nullptr;
  size_t len_ = 0;
};

// Byte-vector builders for expectations.
inline std::vector<uint8_t> Bytes(std::initializer_list<int> b) {
  std::vector<uint8_t> v;
  for (int x : b) v.push_back(static_cast<uint8_t>(x));
  return v;
}
// "FF FE FF 00" or "FFFEFF00": hex digits in pairs, anything else skipped.
inline std::vector<uint8_t> FromHex(std::string_view hex) {
  std::vector<uint8_t> v;
  int high = -1;
  for (char c : hex) {
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) continue;
    if (high < 0) high = d;
    else v.push_back(static_cast<uint8_t>(high << 4 | d)), high = -1;
  }
  return v;
}
inline void Append(std::vector<uint8_t>& v, const std::vector<uint8_t>& more) {
  v.insert(v.end(), more.begin(), more.end());
}
inline void AppendAscii(std::vector<uint8_t>& v, const std::string& s) {
  v.insert(v.end(), s.begin(), s.end());
}
inline void AppendU16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(x & 0xFF);
  v.push_back((x >> 8) & 0xFF);
}
inline void AppendU32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back((x >> (8 * i)) & 0xFF);
}

std::string HexDump(const std::vector<uint8_t>& v, size_t from, size_t to);

// Compares two byte strings; on mismatch the message shows the first
// difference with the bytes around it in hex.
::testing::AssertionResult SameBytes(const std::vector<uint8_t>& actual,
                                     const std::vector<uint8_t>& expected);

}  // namespace tovrani::test

#define EXPECT_BYTES(actual, expected) EXPECT_TRUE(::tovrani::test::SameBytes((actual), (expected)))
#define ASSERT_BYTES(actual, expected) ASSERT_TRUE(::tovrani::test::SameBytes((actual), (expected)))
