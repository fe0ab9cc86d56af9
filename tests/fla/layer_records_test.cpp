#include "fla/layer_records.h"

#include <gtest/gtest.h>

#include "fla/archive.h"
#include "fla/expected_records.h"
#include "fla/keyframe_records.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::Append;
using test::AppendU16;
using test::AppendU32;
using test::ByteSink;
using test::Bytes;
using test::Concat;
using test::ExpectedString;
using test::Slice;

class LayerAtLevel : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { g_shortLayerEndLead = 0, g_omitLayerLink = 0; }
  void TearDown() override { g_shortLayerEndLead = 0, g_omitLayerLink = 0; }

  uint8_t level() const { return static_cast<uint8_t>(GetParam()); }
  bool isNew() const { return GetParam() >= 2; }

  void tail(std::FILE* f, std::string_view name, bool a, bool b, bool c, uint32_t r, uint8_t s) {
    isNew() ? WriteLayerTailNew(f, name, a, b, c, r, s) : WriteLayerTailOld(f, name, a, b, c, r, s);
  }
  void flaggedTail(std::FILE* f, std::string_view name, bool a, bool b, bool c, uint16_t r,
                   uint8_t s) {
    isNew() ? WriteLayerTailFlaggedNew(f, name, a, b, c, r, s)
            : WriteLayerTailFlaggedOld(f, name, a, b, c, r, s);
  }
  void end(std::FILE* f, uint32_t value) {
    isNew() ? WriteLayerEndNew(f, static_cast<uint16_t>(value)) : WriteLayerEndOld(f, value);
  }

  // The tail up to its case bytes.
  std::vector<uint8_t> tailStart(const std::string& name, bool flagged,
                                 uint32_t secondMinus = 0xFFFFFFFF) const {
    std::vector<uint8_t> e;
    AppendU32(e, 0);
    AppendU32(e, 0x8000);
    if (isNew()) {
      AppendU32(e, 0x8000);
      e.push_back(0x0B);
    } else {
      Append(e, Bytes({0x00, 0x80, 0x0A}));
    }
    Append(e, ExpectedString(name, isNew()));
    Append(e, Bytes({flagged ? 1 : 0, 0, 0}));
    AppendU32(e, 0xFFFFFFFF);
    AppendU32(e, secondMinus);
    AppendU32(e, 0);
    AppendU32(e, 1);
    return e;
  }

  std::vector<uint8_t> layerEnd(bool shortLead, uint32_t value) const {
    std::vector<uint8_t> e = shortLead ? Bytes({0, 0, 0}) : Bytes({1, 0, 0, 0});
    AppendU32(e, 0x00800000);
    if (isNew()) {
      AppendU32(e, 0x00800000);
      AppendU16(e, 0x0700);
      AppendU16(e, value & 0xFFFF);
      AppendU16(e, 1);
      AppendU32(e, 0), AppendU32(e, 0);
    } else {
      AppendU32(e, 0x03800000);
      AppendU32(e, value);
      AppendU16(e, 0);
    }
    return e;
  }

  // The shape layer record: end of the keyframe, tail "Layer n"/"ID n".
  std::vector<uint8_t> shapeLayer(const std::string& name, bool flagged) const {
    std::vector<uint8_t> e = Bytes({0, 0, 0, 0, 0});
    Append(e, Bytes({isNew() ? 0x18 : 0x16, 1, 0, 0, 6, 0, 0}));
    Append(e, test::ExpectedTail(isNew()));
    e.push_back(0);
    Append(e, tailStart(name, flagged, 0xFFFF804F));
    AppendU32(e, 0x01000000);
    return e;
  }
};

TEST_P(LayerAtLevel, FirstFlagWinsAndResetsTheLead) {
  for (bool second : {false, true})
    for (bool third : {false, true}) {
      g_shortLayerEndLead = 1;
      ByteSink out;
      tail(out, "Layer 1", true, second, third, 0x1234, 1);
      auto e = tailStart("Layer 1", false);
      AppendU32(e, 0x01000000);
      EXPECT_BYTES(out.bytes(), e);
      EXPECT_EQ(g_shortLayerEndLead, 0);
    }
}

TEST_P(LayerAtLevel, SecondFlagCase) {
  ByteSink out;
  tail(out, "", false, true, true, 0x1234, 1);
  auto e = tailStart("", false);
  e.push_back(0);
  EXPECT_BYTES(out.bytes(), e);
  EXPECT_EQ(g_shortLayerEndLead, 1);
}

TEST_P(LayerAtLevel, ThirdFlagCaseWithAndWithoutLink) {
  const auto head = Concat({tailStart("m", false), Bytes({0x04, 0, 0, 0x01, 0x01})});
  {
    ByteSink out;
    tail(out, "m", false, false, true, 0x1234, 1);
    EXPECT_BYTES(out.bytes(), Concat({head, Bytes({1, 1, 0x34, 0x12})}));
  }
  {
    ByteSink out;
    tail(out, "m", false, false, true, 0x1234, 0);
    EXPECT_BYTES(out.bytes(), Concat({head, Bytes({1, 1})}));
  }
  for (uint8_t s : {0, 1}) {
    g_omitLayerLink = 1;
    ByteSink out;
    tail(out, "m", false, false, true, 0x1234, s);
    EXPECT_BYTES(out.bytes(), head);
    EXPECT_EQ(g_shortLayerEndLead, 1);
  }
}

TEST_P(LayerAtLevel, NoFlagCaseReferences) {
  {
    ByteSink out;
    tail(out, "x", false, false, false, 0x1234, 1);
    EXPECT_BYTES(out.bytes(),
                 Concat({tailStart("x", false), Bytes({0x00, 0x34, 0x12, 0x01, 0x00, 0x34, 0x12})}));
  }
  {
    ByteSink out;
    tail(out, "x", false, false, false, 0x12345, 1);
    EXPECT_BYTES(out.bytes(),
                 Concat({tailStart("x", false),
                         Bytes({0x00, 0xFF, 0x7F, 0x45, 0x23, 0x01, 0x00, 0x01, 0x00, 0xFF, 0x7F,
                                0x45, 0x23, 0x01, 0x00})}));
  }
  {
    // The flagged tail widens its 16-bit reference from 0x7FFF on.
    ByteSink out;
    flaggedTail(out, "x", false, false, false, 0x7FFF, 0);
    EXPECT_BYTES(out.bytes(), Concat({tailStart("x", true),
                                      Bytes({0x00, 0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x00, 0x01, 0x00})}));
    EXPECT_EQ(g_shortLayerEndLead, 1);
  }
}

TEST_P(LayerAtLevel, LongLayerNameKeepsEveryCharacter) {
  const std::string name(300, 'n');
  ByteSink out;
  flaggedTail(out, name, true, false, false, 0, 0);
  EXPECT_BYTES(out.bytes(), Concat({tailStart(name, true), Bytes({0, 0, 0, 1})}));
}

TEST_P(LayerAtLevel, LayerEndLeadFollowsThePrecedingTail) {
  ByteSink out;
  tail(out, "a", true, false, false, 0, 0);
  const size_t firstTail = out.bytes().size();
  end(out, 3);
  const size_t afterFirst = out.bytes().size();
  tail(out, "a", false, false, false, 0, 0);
  const size_t otherTail = out.bytes().size();
  end(out, 0x12345678);
  auto b = out.bytes();
  EXPECT_BYTES(Slice(b, firstTail, afterFirst), layerEnd(false, 3));
  // The new end keeps only the low 16 bits of its value, the old one all 32.
  EXPECT_BYTES(Slice(b, otherTail, b.size()), layerEnd(true, 0x12345678));
}

TEST_P(LayerAtLevel, ShapeLayerRecords) {
  {
    ByteSink out;
    WriteLayerRecord(out, 12, level());
    EXPECT_EQ(out.bytes().size(), isNew() ? 153u : 122u);
    EXPECT_BYTES(out.bytes(), shapeLayer("Layer 12", false));
  }
  {
    ByteSink out;
    WriteIdLayerRecord(out, 7, level());
    EXPECT_BYTES(out.bytes(), shapeLayer("ID 7", true));
  }
  for (uint16_t n : {0, 65535}) {
    ByteSink out;
    WriteLayerRecord(out, n, level());
    EXPECT_BYTES(out.bytes(), shapeLayer("Layer " + std::to_string(n), false));
  }
  EXPECT_EQ(g_omitLayerLink, 0);
}

// A glyph-style page after a layer whose tail left the short lead: the layer
// end written after WriteLayerRecord must take the four-byte lead its
// first-flag ending calls for.
TEST_P(LayerAtLevel, LayerEndAfterShapeLayerRecordTakesTheLongLead) {
  for (bool idName : {false, true}) {
    ByteSink out;
    tail(out, "before", false, true, false, 0, 0);
    ASSERT_EQ(g_shortLayerEndLead, 1);
    end(out, 3);
    const size_t pageStart = out.bytes().size();
    WriteShapeRecordHead(out, true, level());
    idName ? WriteIdLayerRecord(out, 1, level()) : WriteLayerRecord(out, 1, level());
    const size_t recordEnd = out.bytes().size();
    end(out, 2);
    auto b = out.bytes();
    EXPECT_GT(recordEnd, pageStart);
    EXPECT_BYTES(Slice(b, recordEnd, b.size()), layerEnd(false, 2));
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, LayerAtLevel, ::testing::Values(0, 1, 2, 3));

}  // namespace
}  // namespace tovrani
