#include "swf/swf_values.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "support/swf_writer.h"
#include "swf/byte_buffer.h"
#include "swf/jpeg_data.h"

namespace tovrani {
namespace {

using test::SwfBytes;

// A read-only FILE* over bytes, closed at the end of the scope.
struct MemFile {
  explicit MemFile(std::vector<uint8_t> bytes) : data(std::move(bytes)) {
    f = fmemopen(data.empty() ? nullptr : data.data(), data.size(), "rb");
    if (!f) f = std::tmpfile();
  }
  ~MemFile() { std::fclose(f); }
  std::vector<uint8_t> data;
  std::FILE* f;
};

TEST(SwfRect, DecodesHandMadeBitsInEveryForm) {
  // Nbits 4: xmin -3, xmax 5, ymin -8, ymax 7 in 21 bits.
  const std::vector<uint8_t> small = {0x26, 0xAC, 0x38};
  // The usual 550 x 400 stage: Nbits 15, 0..11000 by 0..8000 twips.
  const std::vector<uint8_t> stage = {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00};

  SwfRect r;
  EXPECT_EQ(ReadSwfRect(r, small.data(), small.size()), 3u);
  EXPECT_EQ(r.xmin, -3);
  EXPECT_EQ(r.xmax, 5);
  EXPECT_EQ(r.ymin, -8);
  EXPECT_EQ(r.ymax, 7);

  SwfReader reader(stage);
  EXPECT_EQ(ReadSwfRect(reader, r), 9u);
  EXPECT_TRUE(reader.ok());
  EXPECT_EQ(r.xmax, 11000);
  EXPECT_EQ(r.ymax, 8000);

  std::vector<uint8_t> withTail = small;
  withTail.push_back(0x99);
  MemFile file(withTail);
  SwfRect fromFile;
  ASSERT_TRUE(ReadSwfRect(fromFile, file.f));
  EXPECT_EQ(std::ftell(file.f), 3);  // exactly the record's bytes
  EXPECT_EQ(fromFile.xmin, -3);
  EXPECT_EQ(fromFile.ymax, 7);

  const std::vector<uint8_t> zero = {0x00};
  SwfRect z{1, 2, 3, 4};
  EXPECT_EQ(ReadSwfRect(z, zero.data(), zero.size()), 1u);
  EXPECT_EQ(z.xmin | z.xmax | z.ymin | z.ymax, 0);
}

TEST(SwfRect, WidestFieldsAndRefusalOneByteShort) {
  SwfBytes b;
  b.rect(-(1 << 30), (1 << 30) - 1, -1, 0);
  ASSERT_EQ(b.size(), 17u);  // Nbits 31
  SwfRect r;
  EXPECT_EQ(ReadSwfRect(r, b.data().data(), b.size()), 17u);
  EXPECT_EQ(r.xmin, -(1 << 30));
  EXPECT_EQ(r.xmax, (1 << 30) - 1);
  EXPECT_EQ(r.ymin, -1);

  std::vector<uint8_t> cut(b.data().begin(), b.data().end() - 1);
  EXPECT_EQ(ReadSwfRect(r, cut.data(), cut.size()), 0u);
  SwfReader reader(cut);
  ReadSwfRect(reader, r);
  EXPECT_FALSE(reader.ok());
  MemFile file(cut);
  EXPECT_FALSE(ReadSwfRect(r, file.f));
  EXPECT_EQ(ReadSwfRect(r, nullptr, 0), 0u);
}

TEST(SwfMatrix, HandMadeTranslateAndDefaults) {
  // No scale, no rotate, NTranslateBits 6: tx -20, ty 31.
  const std::vector<uint8_t> t = {0x0D, 0x63, 0xE0};
  SwfMatrix m;
  EXPECT_EQ(ReadSwfMatrix(t.data(), m, 3), 3u);
  EXPECT_EQ(m.translateX, -20);
  EXPECT_EQ(m.translateY, 31);
  EXPECT_EQ(m.scaleX, 0x10000);
  EXPECT_EQ(m.rotateSkew0, 0);

  const std::vector<uint8_t> zero = {0x00, 0xFF};
  EXPECT_EQ(ReadSwfMatrix(zero.data(), m, 2), 1u);
  EXPECT_EQ(m.scaleY, 0x10000);
  EXPECT_EQ(m.translateX, 0);

  // HasScale with NScaleBits 0 gives scales of 0.
  const std::vector<uint8_t> zeroScale = {0x80, 0x00};
  EXPECT_EQ(ReadSwfMatrix(zeroScale.data(), m, 2), 2u);
  EXPECT_EQ(m.scaleX, 0);
  EXPECT_EQ(m.scaleY, 0);
}

TEST(SwfMatrix, ScaleRotateNegativeAndWideFields) {
  struct Case {
    bool scale, rotate;
    int32_t sx, sy, r0, r1, tx, ty;
  } cases[] = {
      {true, false, 0x20000, -0x8000, 0, 0, 100, -100},
      {false, true, 0x10000, 0x10000, -0x10000, 0x0B505, -1, 0},
      {true, true, -0x10000, 0x18000, 0x4000, -0x4000, 0, 12345},
      {true, true, (1 << 30) - 1, -(1 << 30), -(1 << 30), 1, -(1 << 30), (1 << 30) - 1},
  };
  for (const Case& c : cases) {
    SwfBytes b;
    b.matrix(c.tx, c.ty, c.scale, c.sx, c.sy, c.rotate, c.r0, c.r1);
    SwfReader r(b.data());
    SwfMatrix m;
    EXPECT_EQ(ReadSwfMatrix(r, m), b.size());
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(m.scaleX, c.scale ? c.sx : 0x10000);
    EXPECT_EQ(m.scaleY, c.scale ? c.sy : 0x10000);
    EXPECT_EQ(m.rotateSkew0, c.rotate ? c.r0 : 0);
    EXPECT_EQ(m.rotateSkew1, c.rotate ? c.r1 : 0);
    EXPECT_EQ(m.translateX, c.tx);
    EXPECT_EQ(m.translateY, c.ty);

    std::vector<uint8_t> cut(b.data().begin(), b.data().end() - 1);
    SwfReader shortReader(cut);
    ReadSwfMatrix(shortReader, m);
    EXPECT_FALSE(shortReader.ok());
    EXPECT_EQ(ReadSwfMatrix(cut.data(), m, int32_t(cut.size())), cut.size());
  }
}

TEST(SwfMatrix, FieldCutByTheEndKeepsItsBits) {
  // tx -20 complete; of ty (011111) only the first three bits 011 remain.
  const std::vector<uint8_t> t = {0x0D, 0x63};
  SwfMatrix m;
  EXPECT_EQ(ReadSwfMatrix(t.data(), m, 2), 2u);
  EXPECT_EQ(m.translateX, -20);
  EXPECT_EQ(m.translateY, 3);
  EXPECT_EQ(ReadSwfMatrix(t.data(), m, 0), 0u);
  EXPECT_EQ(m.translateX, 0);
}

TEST(SwfCxform, HandMadeBitsAndBufferPositions) {
  // HasAdd only, Nbits 3: adds -1, 2, 0, 3.
  const std::vector<uint8_t> buf = {0xAA, 0x8F, 0xA0, 0xC0, 0xBB};
  SwfCxform c;
  uint8_t bits = 0;
  uint32_t pos = 1;
  ReadSwfCxform(bits, buf.data(), pos, c, int32_t(buf.size()));
  EXPECT_EQ(pos, 4u);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(c.rAdd, -1);
  EXPECT_EQ(c.gAdd, 2);
  EXPECT_EQ(c.bAdd, 0);
  EXPECT_EQ(c.aAdd, 3);
  EXPECT_EQ(c.rMult, 256);
  EXPECT_EQ(c.aMult, 256);

  // Both flags clear: defaults in one byte.
  const std::vector<uint8_t> plain = {0x00};
  pos = 0;
  c.rMult = 7;
  ReadSwfCxform(bits, plain.data(), pos, c, 1);
  EXPECT_EQ(pos, 1u);
  EXPECT_EQ(c.rMult, 256);
  EXPECT_EQ(c.rAdd, 0);

  // Cut by the buffer's end: stops there, keeping the values read.
  pos = 1;
  ReadSwfCxform(bits, buf.data(), pos, c, 3);
  EXPECT_EQ(pos, 3u);
  EXPECT_EQ(c.rAdd, -1);
  EXPECT_EQ(c.gAdd, 2);
}

TEST(SwfCxform, BothTermsAndRefusalOneByteShort) {
  const int32_t mult[4] = {255, 128, 0, -256};
  const int32_t add[4] = {-1, 10, 0, 100};
  SwfBytes b;
  b.cxformWithAlpha(true, true, add, mult);
  SwfReader r(b.data());
  SwfCxform c;
  EXPECT_EQ(ReadSwfCxform(r, c), b.size());
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(c.rMult, 255);
  EXPECT_EQ(c.gMult, 128);
  EXPECT_EQ(c.bMult, 0);
  EXPECT_EQ(c.aMult, -256);
  EXPECT_EQ(c.rAdd, -1);
  EXPECT_EQ(c.gAdd, 10);
  EXPECT_EQ(c.aAdd, 100);

  std::vector<uint8_t> cut(b.data().begin(), b.data().end() - 1);
  SwfReader shortReader(cut);
  ReadSwfCxform(shortReader, c);
  EXPECT_FALSE(shortReader.ok());
}

TEST(SwfReader, ClearingReaderZeroesExactlyTheBitsTaken) {
  std::vector<uint8_t> b = {0xFF, 0xFF};
  SwfReader r = SwfReader::ClearingBits(b.data(), b.size());
  EXPECT_EQ(r.ubits(5), 31u);
  EXPECT_EQ(r.sbits(6), -1);
  EXPECT_EQ(b[0], 0x00);
  EXPECT_EQ(b[1], 0x1F);
}

TEST(ByteBuffer, PositionsBeyond65535) {
  std::vector<uint8_t> buf;
  uint32_t pos = 70000;
  PutU16(buf, 0xBEEF, pos);
  PutU32(buf, 0x12345678, pos);
  EXPECT_EQ(pos, 70006u);
  ASSERT_EQ(buf.size(), 70006u);
  EXPECT_EQ(buf[70000], 0xEF);
  EXPECT_EQ(buf[70001], 0xBE);
  EXPECT_EQ(buf[70002], 0x78);
  EXPECT_EQ(buf[70005], 0x12);

  uint8_t fixed[5] = {};
  pos = 0;
  EXPECT_TRUE(PutU32(std::span<uint8_t>(fixed), 0xA1B2C3D4, pos));
  EXPECT_FALSE(PutU16(std::span<uint8_t>(fixed), 0xFFFF, pos));
  EXPECT_EQ(pos, 4u);
  EXPECT_EQ(fixed[4], 0);
  EXPECT_EQ(fixed[0], 0xD4);
}

std::vector<uint8_t> JpegHead(uint8_t frameMarker) {
  return {0xFF, 0xD8,
          // APP0 (JFIF), 16 bytes with its length
          0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0,
          // a huffman table segment that only has to be skipped
          0xFF, 0xC4, 0x00, 0x04, 0xC0, 0xC1,
          // fill byte, then the frame header: 240 rows of 320
          0xFF, 0xFF, frameMarker, 0x00, 0x11, 0x08, 0x00, 0xF0, 0x01, 0x40, 0x03};
}

TEST(JpegData, FrameHeaderSizeAndRefusals) {
  for (uint8_t marker : {0xC0, 0xC2, 0xCF}) {
    MemFile f(JpegHead(marker));
    uint32_t w = 0, h = 0;
    EXPECT_EQ(ReadJpegSize(f.f, w, h), 240u);
    EXPECT_EQ(w, 320u);
    EXPECT_EQ(h, 240u);
  }
  std::vector<uint8_t> notJpeg = JpegHead(0xC0);
  notJpeg[1] = 0xD9;
  std::vector<uint8_t> cut = JpegHead(0xC0);
  cut.resize(cut.size() - 3);
  std::vector<uint8_t> badLength = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x01, 0xFF, 0xC0};
  for (const auto& bytes : {notJpeg, cut, badLength}) {
    MemFile f(bytes);
    uint32_t w = 7, h = 7;
    EXPECT_EQ(ReadJpegSize(f.f, w, h), 0u);
  }
}

TEST(JpegData, TwoStreamsJoinedOrLeftAlone) {
  std::vector<uint8_t> d = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x03, 0x07,  // tables
                            0xFF, 0xD9, 0xFF, 0xD8,                    // end, start
                            0xFF, 0xE0, 0x00, 0x04, 0xA1, 0xA2,        // first segment
                            0x11, 0x22, 0xFF, 0xD9};
  EXPECT_TRUE(FixSwfJpegData(d.data(), int32_t(d.size())));
  std::vector<uint8_t> want = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0xA1, 0xA2, 0xFF, 0xDB, 0x00,
                               0x03, 0x07, 0x11, 0x22, 0xFF, 0xD9, 0x11, 0x22, 0xFF, 0xD9};
  EXPECT_EQ(d, want);

  std::vector<uint8_t> single = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0xFF, 0xD9};
  auto before = single;
  EXPECT_FALSE(FixSwfJpegData(single.data(), int32_t(single.size())));
  EXPECT_EQ(single, before);

  // The pair at the very end, and a first segment longer than what is left:
  // nothing is read past the data, nothing changes.
  std::vector<uint8_t> atEnd = {0xFF, 0xD8, 0x01, 0x02, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF};
  std::vector<uint8_t> tooLong = {0xFF, 0xD8, 0x01, 0x02, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xE0, 0x10, 0x00};
  for (auto* v : {&atEnd, &tooLong}) {
    auto copy = *v;
    EXPECT_FALSE(FixSwfJpegData(v->data(), int32_t(v->size())));
    EXPECT_EQ(*v, copy);
  }
}

}  // namespace
}  // namespace tovrani
