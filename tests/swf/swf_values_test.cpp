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
using Bytes = std::vector<uint8_t>;

// A read-only FILE* over bytes.
struct MemFile {
  explicit MemFile(Bytes bytes) : data(std::move(bytes)), f(fmemopen(data.data(), data.size(), "rb")) {}
  ~MemFile() { std::fclose(f); }
  Bytes data;
  std::FILE* f;
};

Bytes AllButLast(const Bytes& b) { return Bytes(b.begin(), b.end() - 1); }

TEST(SwfRect, HandMadeBitsInEveryFormAndRefusalOneByteShort) {
  // Nbits 4: xmin -3, xmax 5, ymin -8, ymax 7.
  const Bytes small = {0x26, 0xAC, 0x38};
  // The usual 550 x 400 stage: Nbits 15, 0..11000 by 0..8000 twips.
  const Bytes stage = {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00};
  SwfBytes wide;  // Nbits 31
  wide.rect(-(1 << 30), (1 << 30) - 1, -1, 0);
  const std::pair<Bytes, SwfRect> cases[] = {
      {small, {-3, 5, -8, 7}}, {stage, {0, 11000, 0, 8000}}, {wide.data(), {-(1 << 30), (1 << 30) - 1, -1, 0}}};
  auto same = [](const SwfRect& a, const SwfRect& b) {
    return a.xmin == b.xmin && a.xmax == b.xmax && a.ymin == b.ymin && a.ymax == b.ymax;
  };
  for (const auto& [whole, want] : cases) {
    SwfRect r, fromReader, fromFile;
    Bytes padded = whole;
    padded.push_back(0x99);  // something else after the record
    EXPECT_EQ(ReadSwfRect(r, padded.data(), padded.size()), whole.size());
    SwfReader reader(padded);
    EXPECT_EQ(ReadSwfRect(reader, fromReader), whole.size());
    MemFile file(padded);
    ASSERT_TRUE(ReadSwfRect(fromFile, file.f));
    EXPECT_EQ(std::ftell(file.f), long(whole.size()));
    EXPECT_TRUE(same(r, want) && same(fromReader, want) && same(fromFile, want));

    Bytes cut = AllButLast(whole);
    EXPECT_EQ(ReadSwfRect(r, cut.data(), cut.size()), 0u);
    SwfReader shortReader(cut);
    ReadSwfRect(shortReader, r);
    EXPECT_FALSE(shortReader.ok());
    MemFile shortFile(cut);
    EXPECT_FALSE(ReadSwfRect(r, shortFile.f));
  }
}

TEST(SwfMatrix, HandMadeBitsScaleRotateAndFieldsCutByTheEnd) {
  // No scale, no rotate, NTranslateBits 6: tx -20, ty 31.
  const Bytes t = {0x0D, 0x63, 0xE0};
  SwfMatrix m;
  EXPECT_EQ(ReadSwfMatrix(t.data(), m, 3), 3u);
  EXPECT_EQ(m.translateX, -20);
  EXPECT_EQ(m.translateY, 31);
  EXPECT_EQ(m.scaleX, 0x10000);
  // One byte short: ty keeps the three bits 011 it got.
  EXPECT_EQ(ReadSwfMatrix(t.data(), m, 2), 2u);
  EXPECT_EQ(m.translateY, 3);
  const Bytes zeroScale = {0x80, 0x00};  // HasScale with NScaleBits 0
  EXPECT_EQ(ReadSwfMatrix(zeroScale.data(), m, 2), 2u);
  EXPECT_EQ(m.scaleX | m.scaleY, 0);

  struct Case {
    bool scale, rotate;
    int32_t sx, sy, r0, r1, tx, ty;
  } cases[] = {
      {false, false, 0, 0, 0, 0, 0, 0},
      {true, false, 0x20000, -0x8000, 0, 0, 100, -100},
      {false, true, 0, 0, -0x10000, 0x0B505, -1, 0},
      {true, true, (1 << 30) - 1, -(1 << 30), -(1 << 30), 1, -(1 << 30), (1 << 30) - 1},
  };
  for (const Case& c : cases) {
    SwfBytes b;
    b.matrix(c.tx, c.ty, c.scale, c.sx, c.sy, c.rotate, c.r0, c.r1);
    SwfReader r(b.data());
    EXPECT_EQ(ReadSwfMatrix(r, m), b.size());
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(m.scaleX, c.scale ? c.sx : 0x10000);
    EXPECT_EQ(m.scaleY, c.scale ? c.sy : 0x10000);
    EXPECT_EQ(m.rotateSkew0, c.rotate ? c.r0 : 0);
    EXPECT_EQ(m.rotateSkew1, c.rotate ? c.r1 : 0);
    EXPECT_EQ(m.translateX, c.tx);
    EXPECT_EQ(m.translateY, c.ty);
    Bytes cut = AllButLast(b.data());
    SwfReader shortReader(cut);
    ReadSwfMatrix(shortReader, m);
    EXPECT_FALSE(shortReader.ok());
  }
}

TEST(SwfCxform, HandMadeBitsPositionsAndRefusalOneByteShort) {
  // HasAdd only, Nbits 3: adds -1, 2, 0, 3; between two foreign bytes.
  const Bytes buf = {0xAA, 0x8F, 0xA0, 0xC0, 0xBB};
  SwfCxform c;
  uint8_t bits = 0;
  uint32_t pos = 1;
  ReadSwfCxform(bits, buf.data(), pos, c, int32_t(buf.size()));
  EXPECT_EQ(pos, 4u);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(c.rAdd, -1);
  EXPECT_EQ(c.gAdd, 2);
  EXPECT_EQ(c.aAdd, 3);
  EXPECT_EQ(c.rMult, 256);
  pos = 1;  // cut by the buffer's end: stops there keeping what it read
  ReadSwfCxform(bits, buf.data(), pos, c, 3);
  EXPECT_EQ(pos, 3u);
  EXPECT_EQ(c.gAdd, 2);

  const int32_t mult[4] = {255, 128, 0, -256}, add[4] = {-1, 10, 0, 100};
  SwfBytes b;
  b.cxformWithAlpha(true, true, add, mult);
  SwfReader r(b.data());
  EXPECT_EQ(ReadSwfCxform(r, c), b.size());
  EXPECT_EQ(c.gMult, 128);
  EXPECT_EQ(c.aMult, -256);
  EXPECT_EQ(c.aAdd, 100);
  Bytes cut = AllButLast(b.data());
  SwfReader shortReader(cut);
  ReadSwfCxform(shortReader, c);
  EXPECT_FALSE(shortReader.ok());
}

TEST(ByteBuffer, PositionsBeyond65535AndFixedBounds) {
  Bytes buf;
  uint32_t pos = 70000;
  PutU16(buf, 0xBEEF, pos);
  PutU32(buf, 0x12345678, pos);
  EXPECT_EQ(pos, 70006u);
  EXPECT_EQ(Bytes(buf.begin() + 70000, buf.end()), (Bytes{0xEF, 0xBE, 0x78, 0x56, 0x34, 0x12}));
  uint8_t fixed[5] = {};
  pos = 0;
  EXPECT_TRUE(PutU32(std::span<uint8_t>(fixed), 0xA1B2C3D4, pos));
  EXPECT_FALSE(PutU16(std::span<uint8_t>(fixed), 0xFFFF, pos));
  EXPECT_EQ(pos, 4u);
  EXPECT_EQ(fixed[4], 0);
}

TEST(JpegData, FrameHeaderSizeAndRefusals) {
  auto head = [](uint8_t frameMarker) {
    return Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0,
                 0xFF, 0xC4, 0x00, 0x04, 0xC0, 0xC1,  // a table segment to skip
                 0xFF, 0xFF, frameMarker, 0x00, 0x11, 0x08, 0x00, 0xF0, 0x01, 0x40, 0x03};
  };
  Bytes notJpeg = head(0xC0), cut = head(0xC0);
  notJpeg[1] = 0xD9;
  cut.resize(cut.size() - 3);
  const Bytes badLength = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x01, 0xFF, 0xC0};
  for (const Bytes& bytes : {head(0xC0), head(0xC2), head(0xCF), notJpeg, cut, badLength}) {
    MemFile f(bytes);
    uint32_t w = 0, h = 0, want = bytes.size() == head(0).size() && bytes[1] == 0xD8 ? 240 : 0;
    EXPECT_EQ(ReadJpegSize(f.f, w, h), want);
    if (want) {
      EXPECT_EQ(w, 320u);
    }
    // The file and memory forms walk the data alike.
    uint32_t w2 = 0, h2 = 0;
    EXPECT_EQ(ReadJpegSize(std::span(bytes), w2, h2), want);
    EXPECT_EQ(w2, w);
  }
}

TEST(JpegData, TwoStreamsJoinedOrLeftAlone) {
  Bytes d = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x03, 0x07,  // tables
             0xFF, 0xD9, 0xFF, 0xD8,                    // end, start
             0xFF, 0xE0, 0x00, 0x04, 0xA1, 0xA2,        // first segment
             0x11, 0x22, 0xFF, 0xD9};
  EXPECT_TRUE(FixSwfJpegData(d.data(), int32_t(d.size())));
  EXPECT_EQ(d, (Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0xA1, 0xA2, 0xFF, 0xDB, 0x00, 0x03, 0x07, 0x11,
                      0x22, 0xFF, 0xD9, 0x11, 0x22, 0xFF, 0xD9}));
  // No pair; the pair at the very end; a first segment longer than what is
  // left: nothing is read past the data and nothing changes.
  for (Bytes v : {Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0xFF, 0xD9},
                  Bytes{0xFF, 0xD8, 0x01, 0x02, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF},
                  Bytes{0xFF, 0xD8, 0x01, 0x02, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xE0, 0x10, 0x00}}) {
    Bytes copy = v;
    EXPECT_FALSE(FixSwfJpegData(v.data(), int32_t(v.size())));
    EXPECT_EQ(v, copy);
  }
}

TEST(SwfValues, DefineShapeCodesAreTheFirstThreeForms) {
  for (uint32_t code : {2u, 22u, 32u}) EXPECT_TRUE(IsDefineShapeTag(code)) << code;
  // DefineShape4, the morph shapes, DefineText and codes beyond 16 bits.
  for (uint32_t code : {0u, 1u, 11u, 46u, 83u, 84u, 0x10002u}) EXPECT_FALSE(IsDefineShapeTag(code)) << code;
}

}  // namespace
}  // namespace tovrani
