// The sound decoders: uncompressed samples, SWF ADPCM against a decoder of
// the test's own, MP3 frames through the decoder, the frame walk and the
// peaks.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "media/adpcm_sound.h"
#include "media/mp3_sound.h"
#include "media/mpeg_frames.h"
#include "media/mpeg_test_frames.h"
#include "media/pcm_output.h"
#include "media/sound_peaks.h"
#include "support/temp_dir.h"

namespace tovrani {
namespace {

using test::MpegVersion;
using test::SilentMp3Frames;

// Everything a decoder appended, read back from its work file.
template <typename Fn>
std::vector<uint8_t> Decoded(Fn decode) {
  std::FILE* f = std::tmpfile();
  {
    PcmOutput out(f);
    decode(out);
  }
  std::vector<uint8_t> bytes(size_t(std::ftell(f)));
  std::rewind(f);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
  return bytes;
}

TEST(PcmSound, ConvertsSamplesToStereoAt44kHz) {
  struct Case {
    uint8_t format;
    std::vector<uint8_t> samples, expected;
  };
  const Case cases[] = {
      // 8-bit mono at 44 kHz: unsigned to signed 16-bit, on both channels.
      {0x0C, {0x80, 0xFF}, {0, 0, 0, 0, 0x00, 0x7F, 0x00, 0x7F}},
      // 16-bit stereo at 11 kHz: each frame four times.
      {0x07, {0x34, 0x12, 0x78, 0x56},
       {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x78,
        0x56}},
      // 16-bit mono at 22 kHz with half a sample left over.
      {0x0A, {0x01, 0x80, 0x05}, {0x01, 0x80, 0x01, 0x80, 0x01, 0x80, 0x01, 0x80}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buffer = {c.format, 0, 0, 0, 0};
    buffer.insert(buffer.end(), c.samples.begin(), c.samples.end());
    EXPECT_EQ(Decoded([&](PcmOutput& out) { ConvertPcmSound(buffer, out); }), c.expected)
        << int(c.format);
  }
}

// SWF ADPCM as the file format describes it, written plainly.
std::vector<int16_t> ReferenceAdpcm(const std::vector<uint8_t>& data, bool stereo,
                                    uint64_t limit) {
  static const int kSteps[89] = {
      7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60,
      66, 73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371,
      408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878,
      2066, 2272, 2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845,
      8630, 9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086,
      29794, 32767};
  static const std::vector<std::vector<int>> kIndexShift = {
      {-1, 2}, {-1, -1, 2, 4}, {-1, -1, -1, -1, 2, 4, 6, 8},
      {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16}};
  size_t bit = 0;
  auto read = [&](int n, bool& ok) {
    int v = 0;
    for (int i = 0; i < n; ++i, ++bit) {
      if (bit / 8 >= data.size()) {
        ok = false;
        return 0;
      }
      v = v * 2 + ((data[bit / 8] >> (7 - bit % 8)) & 1);
    }
    return v;
  };
  bool ok = true;
  const int bits = read(2, ok) + 2;
  const int channels = stereo ? 2 : 1;
  std::vector<int16_t> out;  // left, right per frame
  int value[2] = {0, 0}, index[2] = {0, 0};
  for (uint64_t n = 0; ok && n < limit; ++n) {
    for (int c = 0; c < channels; ++c) {
      if (n % 4096 == 0) {
        int first = read(16, ok);
        value[c] = first >= 32768 ? first - 65536 : first;
        index[c] = read(6, ok);
        continue;
      }
      const int code = read(bits, ok);
      const int step = kSteps[index[c]];
      const int magnitude = code & ((1 << (bits - 1)) - 1);
      int diff = step >> (bits - 1);
      for (int b = bits - 2; b >= 0; --b)
        if (magnitude & (1 << b)) diff += step >> (bits - 2 - b);
      value[c] = std::clamp(value[c] + ((code >> (bits - 1)) ? -diff : diff), -32768, 32767);
      index[c] = std::clamp(index[c] + kIndexShift[size_t(bits - 2)][size_t(magnitude)], 0, 88);
    }
    if (!ok) break;
    out.push_back(int16_t(value[0]));
    out.push_back(int16_t(value[channels - 1]));
  }
  return out;
}

TEST(AdpcmSound, DecodesLikeTheReferenceForEveryCodeSize) {
  std::mt19937 random(7);
  for (int bits = 2; bits <= 5; ++bits) {
    for (bool stereo : {false, true}) {
      // Two packets and a part of a third, cut in the middle of a code.
      const uint64_t samples = 4096 * 2 + 100;
      const size_t bytes = size_t((2 + (22 * 3 + samples * bits) * (stereo ? 2 : 1)) / 8) - 1;
      std::vector<uint8_t> data(bytes);
      for (auto& b : data) b = uint8_t(random());
      data[0] = uint8_t((data[0] & 0x3F) | ((bits - 2) << 6));
      // Large step indexes in the heads test the clamping.
      const std::vector<int16_t> want = ReferenceAdpcm(data, stereo, samples);
      ASSERT_GT(want.size(), 2u * 8192) << bits;
      const uint8_t format = uint8_t(0x1C | (stereo ? 1 : 0));  // 44 kHz
      const std::vector<uint8_t> got = Decoded(
          [&](PcmOutput& out) { EXPECT_EQ(DecodeAdpcmSound(data, out, samples, format), want.size() / 2); });
      ASSERT_EQ(got.size(), want.size() * 2) << bits << stereo;
      bool same = true;
      for (size_t i = 0; i < want.size() && same; ++i)
        same = int16_t(uint16_t(got[2 * i] | (got[2 * i + 1] << 8))) == want[i];
      EXPECT_TRUE(same) << "bits " << bits << " stereo " << stereo;
    }
  }
}

// What the budget is charged for an ADPCM sound: the samples its bits hold
// are those the decoder gives when asked for all, at every code size, with
// a packet's head or a code cut short.
TEST(AdpcmSound, SamplesHeldAreTheSamplesDecoded) {
  std::mt19937 random(3);
  for (int format = 0; format < 8; ++format)  // code sizes 2 to 5, mono and stereo
    for (size_t size : {1, 3, 6, 100, 2049, 2050, 4100, 5131}) {
      std::vector<uint8_t> data(size);
      for (auto& b : data) b = uint8_t(random());
      data[0] = uint8_t((data[0] & 0x3F) | ((format >> 1) << 6));
      uint64_t decoded = 0;
      const auto pcm = Decoded([&](PcmOutput& out) { decoded = DecodeAdpcmSound(data, out, UINT64_MAX, format & 1); });
      EXPECT_EQ(AdpcmSamplesHeld(data, format & 1), decoded) << format << ' ' << size;
      EXPECT_EQ(OutputBytesFor(decoded, format & 1), pcm.size()) << format << ' ' << size;
    }
}

TEST(MpegFrames, WalksFramesByTheirHeaders) {
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    uint32_t samples;
  };
  std::vector<uint8_t> cut = SilentMp3Frames(MpegVersion::k1, 9, 0, false, 3);
  cut.resize(cut.size() - 100);
  std::vector<uint8_t> badRate = SilentMp3Frames(MpegVersion::k1, 9, 0, false, 1);
  badRate[2] |= 0x0C;
  std::vector<uint8_t> badBitrate = SilentMp3Frames(MpegVersion::k1, 9, 0, false, 1);
  badBitrate[2] |= 0xF0;
  const Case cases[] = {
      {"MPEG-2 22 kHz mono", SilentMp3Frames(MpegVersion::k2, 8, 0, true, 64), 36864},
      {"MPEG-1 48 kHz", SilentMp3Frames(MpegVersion::k1, 9, 1, false, 5), 5 * 1152},
      {"MPEG-2.5", SilentMp3Frames(MpegVersion::k25, 4, 0, true, 3), 3 * 576},
      {"the last frame cut short", cut, 3 * 1152},
      {"sampling bits 11", badRate, 0},
      {"bit-rate index 15", badBitrate, 0},
      {"only FF bytes", std::vector<uint8_t>(1000, 0xFF), 0},
      {"two bytes", {0xFF, 0xFB}, 0},
      {"three bytes of a header", {0xFF, 0xFB, 0x90}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(CountMp3Samples(c.data), c.samples) << c.what;
  EXPECT_EQ(MpegSampleRate(1, 1), 48000u);
  EXPECT_EQ(MpegSampleRate(25, 2), 8000u);
  EXPECT_EQ(MpegBitrate(2, 14), 160000u);
  EXPECT_EQ(MpegBitrate(1, 15), 0u);
}

TEST(Mp3Sound, SilentFramesOfEveryVersionDecodeTo44kHzStereo) {
  struct Case {
    const char* what;
    std::vector<uint8_t> frames;
    uint32_t samplesAt44k;
  };
  const Case cases[] = {
      {"MPEG-1 stereo", SilentMp3Frames(MpegVersion::k1, 9, 0, false, 20), 20 * 1152},
      {"MPEG-2 mono", SilentMp3Frames(MpegVersion::k2, 8, 0, true, 20), 20 * 576 * 2},
      {"MPEG-2.5 mono", SilentMp3Frames(MpegVersion::k25, 4, 0, true, 20), 20 * 576 * 4},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    std::vector<uint8_t> withTag = c.frames;
    std::vector<uint8_t> tag(128, 'x');
    tag[0] = 'T', tag[1] = 'A', tag[2] = 'G';
    withTag.insert(withTag.end(), tag.begin(), tag.end());
    test::WriteFileBytes(dir.file("tmp.mp3"), withTag);
    ASSERT_TRUE(WrapMp3AsWave(dir.file("tmp.mp3"), dir.file("tmp.wav"))) << c.what;
    const std::vector<uint8_t> wav = test::ReadFileBytes(dir.file("tmp.wav"));
    ASSERT_GE(wav.size(), 58u);
    EXPECT_EQ(wav[20] | (wav[21] << 8), 0x55) << c.what;
    EXPECT_EQ(wav.size(), 58 + c.frames.size()) << c.what << ": the ID3 block stays out";
    auto sound = RenderSoundToAvi(dir.file("tmp.wav"));
    ASSERT_TRUE(sound) << c.what;
    uint64_t bytes = 0;
    bool silent = true;
    std::vector<size_t> pieces;
    EXPECT_EQ(ConvertAviSound(*sound, nullptr,
                              [&](std::span<const uint8_t> p) {
                                pieces.push_back(p.size());
                                bytes += p.size();
                                for (uint8_t b : p) silent = silent && b == 0;
                              }),
              0)
        << c.what;
    EXPECT_TRUE(silent) << c.what;
    // The decoder may hold back a frame's worth at the ends.
    EXPECT_NEAR(double(bytes) / 4, c.samplesAt44k, 2 * 1152) << c.what;
    for (size_t i = 0; i + 1 < pieces.size(); ++i) EXPECT_EQ(pieces[i], kPeakPiece) << c.what;
  }
}

TEST(SoundPeaks, TakeTheLargestValuesEvery32Bytes) {
  // Two points: the first from frames (-300, 10) and (200, -20000); the
  // second from one frame (256, 256) in a piece that ends there.
  auto frame = [](std::vector<uint8_t>& b, int16_t l, int16_t r) {
    for (int16_t v : {l, r}) {
      b.push_back(uint8_t(v));
      b.push_back(uint8_t(uint16_t(v) >> 8));
    }
  };
  std::vector<uint8_t> pcm;
  frame(pcm, -300, 10);
  frame(pcm, 200, -20000);
  pcm.resize(32, 0);
  frame(pcm, 256, 256);
  PeakCollector stereo(3, true), mono(3, false);
  stereo.piece(pcm);
  mono.piece(pcm);
  EXPECT_EQ(stereo.finish(), (std::vector<uint8_t>{128 - 1, 128 - 78, 129, 129, 0x80, 0x80}));
  EXPECT_EQ(mono.finish(), (std::vector<uint8_t>{128 - 78, 129, 0x80}));
  EXPECT_EQ(PeakCountFor(36864, 0x2A), 9216u);
  EXPECT_EQ(PeakCountFor(1000, 0x2E), 125u);
  EXPECT_EQ(PeakCountFor(1000, 0x26), 500u);
}

}  // namespace
}  // namespace tovrani
