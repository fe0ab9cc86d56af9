// Movies that declare far more than they hold: each is converted as the
// program converts it, and reports its own size, the bytes the conversion
// wrote (document, script and import movies) per byte of the movie, and the
// time. What a movie declares must never cost more than its bytes allow.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "support/bitmap_data.h"
#include "support/swf_writer.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using tovrani::test::SwfBytes;
using tovrani::test::SwfWriter;

class Folder {
 public:
  Folder() {
    std::string t = (fs::temp_directory_path() / "tovrani-bench-XXXXXX").string();
    if (mkdtemp(t.data())) path_ = t;
  }
  ~Folder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// `count` copies of one tag, each for a character of its own (1, 2, ...).
Bytes Movie(int count, const std::function<void(SwfWriter&, uint16_t id)>& tag, bool compressed = false) {
  SwfWriter w(8);
  for (int i = 1; i <= count; ++i) tag(w, uint16_t(i));
  w.showFrame().end();
  return w.build(compressed);
}

// DefineBitsLossless2 of 1925 x 34053 pixels (64 Mpixel), format 5, with
// the zlib data `data`.
void HollowLossless(SwfWriter& w, uint16_t id, const Bytes& data) {
  w.tag(36, SwfBytes().u16(id).u8(5).u16(1925).u16(34053).bytes(data).data());
}

// DefineBitsJPEG3 of `jpeg` and no alpha data.
void Jpeg3(SwfWriter& w, uint16_t id, const Bytes& jpeg) {
  w.tag(35, SwfBytes().u16(id).u32(uint32_t(jpeg.size())).bytes(jpeg).data(), true);
}

struct Hostile {
  const char* name;
  std::function<Bytes()> movie;
  std::function<void(tovrani::ConverterContext&)> options = [](tovrani::ConverterContext&) {};
};

std::vector<Hostile> HostileMovies() {
  const Bytes oneRow = tovrani::test::Zlib(Bytes(1925 * 4, 0), 9);
  // A JPEG of its start, a frame header of 8000 x 8000 and its end.
  const Bytes frameOnly = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0x1F, 0x40, 0x1F, 0x40, 1, 1, 0x11, 0, 0xFF, 0xD9};
  const Bytes eightByEight = tovrani::test::WithFrameSize(
      tovrani::test::EncodeJpeg(tovrani::test::QuadrantPixels(8), 8, 8), 8000, 8000);
  return {
      {"lossless_no_data/1", [] { return Movie(1, [](SwfWriter& w, uint16_t id) { HollowLossless(w, id, {}); }); }},
      {"lossless_no_data/40", [] { return Movie(40, [](SwfWriter& w, uint16_t id) { HollowLossless(w, id, {}); }); }},
      {"lossless_no_data/1000",
       [] { return Movie(1000, [](SwfWriter& w, uint16_t id) { HollowLossless(w, id, {}); }); }},
      {"lossless_one_row/5",
       [=] { return Movie(5, [&](SwfWriter& w, uint16_t id) { HollowLossless(w, id, oneRow); }); }},
      {"jpeg3_frame_header_only/1",
       [=] { return Movie(1, [&](SwfWriter& w, uint16_t id) { Jpeg3(w, id, frameOnly); }); }},
      {"jpeg3_8x8_scan/5", [=] { return Movie(5, [&](SwfWriter& w, uint16_t id) { Jpeg3(w, id, eightByEight); }); }},
  };
}

uint64_t BytesUnder(const fs::path& dir, const fs::path& except) {
  uint64_t n = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && e.path() != except) n += e.file_size();
  return n;
}

void ConvertHostile(benchmark::State& state, const Hostile& hostile) {
  const Bytes bytes = hostile.movie();
  Folder dir;
  const fs::path movie = dir.path() / "movie.swf";
  std::ofstream(movie, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               std::streamsize(bytes.size()));
  tovrani::ShellServices shell;
  tovrani::ConverterContext ctx;
  ctx.m_pShell = &shell;
  hostile.options(ctx);
  tovrani::SwfFileRequest request;
  request.saveDialog = [&](const std::string&, std::string& chosen) {
    chosen = (dir.path() / "movie.fla").string();
    return true;
  };
  for (auto _ : state) {
    const auto outcomes = ConvertSwfFiles(ctx, {movie.string()}, 0, 0, request);
    if (outcomes.size() != 1 || outcomes[0].result != 0) {
      state.SkipWithError("the movie did not convert");
      break;
    }
  }
  const double written = double(BytesUnder(dir.path(), movie));
  state.counters["movie_bytes"] = double(bytes.size());
  state.counters["written_bytes"] = written;
  state.counters["written_per_movie_byte"] = written / double(bytes.size());
  state.counters["time_per_movie_byte"] = benchmark::Counter(
      double(bytes.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

const int kRegistered = [] {
  for (const Hostile& hostile : HostileMovies())
    benchmark::RegisterBenchmark((std::string("BM_Hostile/") + hostile.name).c_str(),
                                 [hostile](benchmark::State& state) { ConvertHostile(state, hostile); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  return 0;
}();

}  // namespace
