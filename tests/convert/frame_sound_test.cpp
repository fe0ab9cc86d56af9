// Closing and joining a timeline's event-sound, action and stream-sound
// layer files.
#include "convert/frame_sound.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <vector>

#include "convert/sound_layers.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/expected_records.h"
#include "fla/work_files.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::Bytes;
using test::Concat;
using test::SameBytes;

struct TempFile {
  std::FILE* f = std::tmpfile();
  ~TempFile() {
    if (f) std::fclose(f);
  }
  std::vector<uint8_t> bytes() { return test::WorkFiles::Contents(f); }
};

// What a writer puts into a fresh file.
std::vector<uint8_t> Written(const std::function<void(std::FILE*)>& write) {
  TempFile t;
  write(t.f);
  return t.bytes();
}

struct Files {
  TempFile event, action, stream;
  SoundLayerState sounds;
  FrameSoundLayers layers(bool ev, bool ac, bool st) {
    sounds.start(event.f, stream.f, -1, -1);
    sounds.eventsSeen = ev;
    sounds.streamSeen = st;
    FrameSoundLayers l;
    l.sounds = &sounds;
    l.hasActionLayer = ac;
    l.actionFile = action.f;
    return l;
  }
};

class FrameSoundTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { g_shortLayerEndLead = g_omitLayerLink = 0; }
  uint8_t level() const { return uint8_t(GetParam()); }
  bool isNew() const { return GetParam() >= 2; }
  // What the old or new twin of a writer puts into a fresh file.
  template <typename Old, typename New>
  std::vector<uint8_t> Twin(Old old, New fresh) {
    return Written([&](std::FILE* f) { isNew() ? fresh(f) : old(f); });
  }
  std::vector<uint8_t> Tail(const char* name) {
    return Twin([&](std::FILE* f) { WriteLayerTailOld(f, name, true, false, false, 0, 0); },
                [&](std::FILE* f) { WriteLayerTailNew(f, name, true, false, false, 0, 0); });
  }
  std::vector<uint8_t> End(uint16_t v) {
    return Twin([&](std::FILE* f) { WriteLayerEndOld(f, v); }, [&](std::FILE* f) { WriteLayerEndNew(f, v); });
  }
  std::vector<uint8_t> LastFrameTail() { return Twin(WriteLastFrameTailOld, WriteLastFrameTailNew); }
  // The action layer's closing bytes before its tail.
  std::vector<uint8_t> ActionFill(size_t zeros) {
    std::vector<uint8_t> v(zeros, 0);
    test::Append(v, isNew() ? test::FromHex("FFFEFF0001 0000000000000000000000 01 00000000000000")
                            : test::FromHex("01 0000000000000000000000"));
    return v;
  }
};

// Which file gets the layer end, and its value, by the layers present.
TEST_P(FrameSoundTest, ClosingEndsTheLastLayerWithItsValue) {
  struct Row {
    bool action, event, stream;
    char endFile;  // 'a', 'e', 's', or 0 for none
    uint16_t value;
  };
  const Row rows[] = {{true, true, true, 's', 3}, {true, false, true, 's', 3}, {true, true, false, 'e', 2},
                      {true, false, false, 'a', 4}, {false, true, true, 's', 2}, {false, false, true, 's', 2},
                      {false, true, false, 'e', 4}, {false, false, false, 0, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.action << r.event << r.stream);
    Files files;
    const uint8_t result = WriteFrameSound(files.layers(r.event, r.action, r.stream), 0, level(),
                                           kFrameSoundClose, nullptr, 0);
    EXPECT_EQ(result, r.endFile == 0 ? 1 : 0);
    std::vector<uint8_t> event, action, stream;
    if (r.event) event = Concat({LastFrameTail(), Tail("EventSound")});
    if (r.action) action = Concat({ActionFill(21), Tail("ActionScript")});
    if (r.stream) stream = Concat({LastFrameTail(), Tail("StreamSound")});
    std::vector<uint8_t>& ended = r.endFile == 'e' ? event : r.endFile == 'a' ? action : stream;
    if (r.endFile) test::Append(ended, End(r.value));
    EXPECT_TRUE(SameBytes(files.event.bytes(), event));
    EXPECT_TRUE(SameBytes(files.action.bytes(), action));
    EXPECT_TRUE(SameBytes(files.stream.bytes(), stream));
  }
}

// At level 2 an action layer written past its mark closes with one zero
// byte less; an event layer whose frames are closed gets only its tail.
TEST_P(FrameSoundTest, ActionZerosFollowTheMarkAndClosedEventFramesStay) {
  for (const bool moved : {false, true}) {
    Files files;
    std::fputc(0x77, files.action.f);
    FrameSoundLayers l = files.layers(true, true, false);
    files.sounds.eventKeyframeOpen = false;
    WriteFrameSound(l, moved ? 0 : 1, level(), kFrameSoundClose, nullptr, 0);
    EXPECT_TRUE(SameBytes(files.action.bytes(),
                          Concat({Bytes({0x77}), ActionFill(isNew() && moved ? 20 : 21), Tail("ActionScript")})));
    EXPECT_TRUE(SameBytes(files.event.bytes(), Concat({Tail("EventSound"), End(2)})));
  }
}

TEST_P(FrameSoundTest, JoiningCopiesActionEventStreamInOrder) {
  struct Row {
    bool action, event, stream, drop;
    std::vector<uint8_t> joined;
  };
  const Row rows[] = {{true, true, true, false, Bytes({'A', 'a', 'E', 'e', 'S', 's'})},
                      {true, true, true, true, Bytes({'a', 'E', 'e', 'S', 's'})},
                      {false, true, true, true, Bytes({'e', 'S', 's'})},
                      {false, false, true, true, Bytes({'s'})},
                      {false, false, false, true, {}},
                      {false, false, false, false, {}}};
  for (const Row& r : rows) {
    Files files;
    std::fputs("Aa", files.action.f);
    std::fputs("Ee", files.event.f);
    std::fputs("Ss", files.stream.f);
    TempFile out;
    std::fputc('P', out.f);
    WriteFrameSound(files.layers(r.event, r.action, r.stream), 0, level(), kFrameSoundJoin, out.f, r.drop);
    EXPECT_TRUE(SameBytes(out.bytes(), Concat({Bytes({'P'}), r.joined})));
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, FrameSoundTest, ::testing::Values(0, 2));

}  // namespace
}  // namespace tovrani
