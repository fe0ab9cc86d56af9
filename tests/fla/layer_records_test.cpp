#include "fla/layer_records.h"

#include <gtest/gtest.h>

#include "fla/archive.h"
#include "fla/expected_records.h"

namespace tovrani::test {
namespace {

#define TWIN(name) (isNew() ? name##New : name##Old)

class LayerAtLevel : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { g_shortLayerEndLead = 0, g_omitLayerLink = 0; }
  void TearDown() override { g_shortLayerEndLead = 0, g_omitLayerLink = 0; }
  uint8_t level() const { return static_cast<uint8_t>(GetParam()); }
  bool isNew() const { return GetParam() >= 2; }
  void end(std::FILE* f, uint32_t value) {
    isNew() ? WriteLayerEndNew(f, static_cast<uint16_t>(value)) : WriteLayerEndOld(f, value);
  }

  // The tail up to its case bytes.
  std::vector<uint8_t> tailStart(const std::string& name, bool flagged, uint32_t second = 0xFFFFFFFF) const {
    return FieldBytes(std::string("u32 0, 0x8000; ") + (isNew() ? "u32 0x8000; u8 0x0B; " : "u8 0, 0x80, 0x0A; ") +
                      StringFields(name, isNew()) + "; u8 " + (flagged ? "1" : "0") + ", 0, 0; u32 -1, " +
                      std::to_string(second) + ", 0, 1");
  }
  std::vector<uint8_t> layerEnd(bool shortLead, uint32_t value) const {
    return FieldBytes(std::string(shortLead ? "u8 0, 0, 0" : "u8 1, 0, 0, 0") + "; u32 0x00800000; " +
                      (isNew() ? "u32 0x00800000; u16 0x0700, " + std::to_string(value & 0xFFFF) + ", 1; u32 0, 0"
                               : "u32 0x03800000, " + std::to_string(value) + "; u16 0"));
  }
  // The shape layer record: end of the keyframe, tail "Layer n"/"ID n".
  std::vector<uint8_t> shapeLayer(const std::string& name, bool flagged) const {
    return Concat({FromHex(isNew() ? "0000000000 18 010000 060000" : "0000000000 16 010000 060000"),
                   ExpectedTail(isNew()), {0}, tailStart(name, flagged, 0xFFFF804F), FromHex("00000001")});
  }
};

TEST_P(LayerAtLevel, TailCases) {
  struct Row {
    bool flagged, first, second, third;
    uint32_t ref;
    uint8_t link, omit;
    const char* caseBytes;
  } rows[] = {
      {false, 1, 0, 0, 0x1234, 1, 0, "00000001"},  // the first flag wins over the others
      {false, 1, 1, 1, 0x1234, 1, 0, "00000001"},
      {true, 1, 0, 0, 0, 0, 0, "00000001"},
      {false, 0, 1, 1, 0x1234, 1, 0, "00"},
      {false, 0, 0, 1, 0x1234, 1, 0, "04 0000 0101 0101 3412"},
      {false, 0, 0, 1, 0x1234, 0, 0, "04 0000 0101 0101"},
      {false, 0, 0, 1, 0x1234, 1, 1, "04 0000 0101"},
      {false, 0, 0, 1, 0x1234, 0, 1, "04 0000 0101"},
      {false, 0, 0, 0, 0x1234, 1, 0, "00 3412 0100 3412"},
      {false, 0, 0, 0, 0x12345, 1, 0, "00 FF7F 45230100 0100 FF7F 45230100"},
      {true, 0, 0, 0, 0x7FFF, 0, 0, "00 FF7F FF7F0000 0100"},  // the 16-bit reference widens too
  };
  for (const Row& r : rows) {
    g_omitLayerLink = r.omit;
    g_shortLayerEndLead = r.first ? 1 : 0;  // the tail sets the lead whatever it was
    const auto b = Written([&](auto f) {
      r.flagged ? TWIN(WriteLayerTailFlagged)(f, "x", r.first, r.second, r.third, static_cast<uint16_t>(r.ref), r.link)
                : TWIN(WriteLayerTail)(f, "x", r.first, r.second, r.third, r.ref, r.link);
    });
    EXPECT_BYTES(b, Concat({tailStart("x", r.flagged), FromHex(r.caseBytes)})) << r.caseBytes;
    EXPECT_EQ(g_shortLayerEndLead, r.first ? 0 : 1) << r.caseBytes;
  }
  const std::string name(300, 'n');
  EXPECT_BYTES(Written([&](auto f) { TWIN(WriteLayerTailFlagged)(f, name, true, false, false, 0, 0); }),
               Concat({tailStart(name, true), FromHex("00000001")}));
}

TEST_P(LayerAtLevel, ShapeLayerRecords) {
  const auto layer12 = Written([&](auto f) { WriteLayerRecord(f, 12, level()); });
  EXPECT_EQ(layer12.size(), isNew() ? 153u : 122u);
  EXPECT_BYTES(layer12, shapeLayer("Layer 12", false));
  EXPECT_BYTES(Written([&](auto f) { WriteIdLayerRecord(f, 7, level()); }), shapeLayer("ID 7", true));
  for (uint16_t n : {0, 65535})
    EXPECT_BYTES(Written([&](auto f) { WriteLayerRecord(f, n, level()); }),
                 shapeLayer("Layer " + std::to_string(n), false));
  EXPECT_EQ(g_omitLayerLink, 0);
}

// The layer end's lead follows the tail before it. In particular a
// glyph-style page after a layer whose tail left the short lead: the layer
// end written after WriteLayerRecord must take the four-byte lead its
// first-flag ending calls for.
TEST_P(LayerAtLevel, LayerEndLeadFollowsThePrecedingTail) {
  for (bool idName : {false, true}) {
    size_t firstEnd = 0, otherEnd = 0, recordEnd = 0;
    const auto b = Written([&](auto f) {
      TWIN(WriteLayerTail)(f, "a", true, false, false, 0, 0);
      firstEnd = std::ftell(f), end(f, 3);
      TWIN(WriteLayerTail)(f, "a", false, true, false, 0, 0);
      otherEnd = std::ftell(f), end(f, 0x12345678);
      WriteShapeRecordHead(f, true, level());
      idName ? WriteIdLayerRecord(f, 1, level()) : WriteLayerRecord(f, 1, level());
      recordEnd = std::ftell(f), end(f, 2);
    });
    EXPECT_BYTES(Slice(b, firstEnd, otherEnd), Concat({layerEnd(false, 3), tailStart("a", false), {0}}));
    // The new end keeps only the low 16 bits of its value, the old one all 32.
    EXPECT_BYTES(Slice(b, otherEnd, otherEnd + layerEnd(true, 0).size()), layerEnd(true, 0x12345678));
    EXPECT_BYTES(Slice(b, recordEnd, b.size()), layerEnd(false, 2));
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, LayerAtLevel, ::testing::Values(0, 1, 2, 3));

}  // namespace
}  // namespace tovrani::test
