#include "hostile_movies.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "bench_folder.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"

namespace tovrani::bench {

namespace {

namespace fs = std::filesystem;

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
  ShellServices shell;
  ConverterContext ctx;
  ctx.m_pShell = &shell;
  hostile.options(ctx);
  SwfFileRequest request;
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

}  // namespace

Bytes RepeatedTagMovie(int count, const std::function<void(test::SwfWriter&, uint16_t id)>& tag, bool compressed) {
  test::SwfWriter w(8);
  for (int i = 1; i <= count; ++i) tag(w, uint16_t(i));
  w.showFrame().end();
  return w.build(compressed);
}

int RegisterHostileMovies(const std::string& group, const std::vector<Hostile>& movies) {
  for (const Hostile& hostile : movies)
    benchmark::RegisterBenchmark(("BM_Hostile/" + group + "/" + hostile.name).c_str(),
                                 [hostile](benchmark::State& state) { ConvertHostile(state, hostile); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  return 0;
}

}  // namespace tovrani::bench
