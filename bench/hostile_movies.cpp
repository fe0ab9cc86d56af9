#include "hostile_movies.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "bench_folder.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "platform/resource_bound.h"

namespace tovrani::bench {

namespace {

namespace fs = std::filesystem;

uint64_t BytesUnder(const fs::path& dir, const fs::path& except) {
  uint64_t n = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && e.path() != except) n += e.file_size();
  return n;
}

// Resident bytes of this process now.
uint64_t ResidentBytes() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return uint64_t(resident) * uint64_t(sysconf(_SC_PAGESIZE));
}

// Converts the movie once in a child process and returns the memory the
// conversion added to the child's peak (its ru_maxrss less what it held
// when it started); -1 when the child could not tell.
double PeakMemoryOfOneConversion(const std::function<uint32_t()>& convert) {
  malloc_trim(0);  // what earlier benchmarks freed is not counted again
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return -1;
  }
  if (pid == 0) {
    close(pipeFds[0]);
    const uint64_t start = ResidentBytes();
    convert();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const uint64_t peak = uint64_t(usage.ru_maxrss) * 1024;
    const uint64_t added = peak > start ? peak - start : 0;
    ssize_t ignored = write(pipeFds[1], &added, sizeof added);
    (void)ignored;
    _exit(0);
  }
  close(pipeFds[1]);
  uint64_t added = 0;
  const bool told = read(pipeFds[0], &added, sizeof added) == ssize_t(sizeof added);
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return told ? double(added) : -1;
}

// Counts what the program would print of the shell's messages: a message's
// caption, ": ", text and line end; a question's caption, text and answer.
class MessageBytes : public ShellServices {
 public:
  uint64_t bytes = 0;
  void ShowMessage(const std::string& caption, const std::string& text) override {
    bytes += caption.size() + 2 + text.size() + 1;
  }
  bool AskYesNo(const std::string& caption, const std::string& text, bool defaultYes) override {
    bytes += caption.size() + 1 + text.size() + (defaultYes ? 7 : 6);
    return defaultYes;
  }
};

void ConvertHostile(benchmark::State& state, const Hostile& hostile) {
  const Bytes bytes = hostile.movie();
  Folder dir;
  const fs::path movie = dir.path() / "movie.swf";
  std::ofstream(movie, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               std::streamsize(bytes.size()));
  MessageBytes shell;
  ConverterContext ctx;
  ctx.m_pShell = &shell;
  hostile.options(ctx);
  SwfFileRequest request;
  request.saveDialog = [&](const std::string&, std::string& chosen) {
    chosen = (dir.path() / "movie.fla").string();
    return true;
  };
  const auto convert = [&]() -> uint32_t {
    shell.bytes = 0;
    if (hostile.rates) SetNextResourceRates(*hostile.rates);
    const auto outcomes = ConvertSwfFiles(ctx, {movie.string()}, 0, 0, request);
    return outcomes.size() == 1 ? outcomes[0].result : UINT32_MAX;
  };
  const double resident = PeakMemoryOfOneConversion(convert);
  state.counters["peak_memory_bytes"] = resident;
  uint64_t counted = 0;
  for (auto _ : state) {
    if (const uint32_t result = convert(); result != hostile.result) {
      const std::string what =
          hostile.result == 0 ? "the movie did not convert" : "the movie did not fail as it should";
      state.SkipWithError((what + " (result " + std::to_string(result) + ")").c_str());
      break;
    }
    counted = std::max(counted, LastHeapCount().peakBytes);
  }
  const ResourceRates rates = hostile.rates.value_or(ResourceRates{});
  const double heapBound = double(rates.heapFixedBytes) + double(rates.heapBytesPerFileByte) * double(bytes.size());
  state.counters["heap_count_peak_bytes"] = double(counted);
  state.counters["heap_count_peak_per_movie_byte"] = double(counted) / double(bytes.size());
  state.counters["heap_bound_bytes"] = heapBound;
  // The processor time the bound allowed, without the shape builder's share.
  state.counters["time_bound_s"] =
      (double(rates.timeFixedNs) + double(rates.timeNsPerFileByte) * double(bytes.size())) / 1e9;
  const double limit = std::min(1.1 * heapBound, double(hostile.peakLimit));
  if (HeapCountedAtAllocator() && double(counted) > limit)
    state.SkipWithError(("the heap count peaked at " + std::to_string(counted >> 20) + " MiB, past " +
                         std::to_string(uint64_t(limit) >> 20) + " MiB")
                            .c_str());
#ifdef NDEBUG
  // Resident memory follows the heap only in a Release build, and holds
  // besides it the code and stacks the conversion first touches (a few
  // MiB): held to the bound where the bound's fixed part is the default's.
  if (rates.heapFixedBytes == ResourceRates{}.heapFixedBytes && resident > limit)
    state.SkipWithError(("one conversion held " + std::to_string(uint64_t(resident) >> 20) +
                         " MiB resident, past " + std::to_string(uint64_t(limit) >> 20) + " MiB")
                            .c_str());
#endif
  const double written = double(BytesUnder(dir.path(), movie));
  state.counters["movie_bytes"] = double(bytes.size());
  state.counters["message_bytes"] = double(shell.bytes);
  state.counters["written_bytes"] = written;
  state.counters["written_per_movie_byte"] = written / double(bytes.size());
  state.counters["peak_memory_per_movie_byte"] = state.counters["peak_memory_bytes"] / double(bytes.size());
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

Bytes MovieOfSize(size_t fileBytes, const std::function<Bytes(size_t noise)>& make) {
  Bytes movie = make(0);
  if (movie.size() >= fileBytes) return movie;
  size_t noise = 0;
  // A compressed file grows by about the noise's bytes: a few steps settle it.
  for (int step = 0; step < 4; ++step) {
    const long off = long(fileBytes) - long(movie.size());
    if (step > 0 && off > -64 && off < 64) break;
    noise = size_t(std::max(1L, long(noise) + off));
    movie = make(noise);
  }
  return movie;
}

Bytes MovieOfUnits(size_t fileBytes, const std::function<Bytes(int count)>& make) {
  const size_t one = make(1).size(), unit = make(2).size() - one;
  return make(fileBytes > one ? int(1 + (fileBytes - one + unit / 2) / unit) : 1);
}

int RegisterHostileMovies(const std::string& group, const std::vector<Hostile>& movies) {
  for (const Hostile& hostile : movies) {
    auto* b = benchmark::RegisterBenchmark(("BM_Hostile/" + group + "/" + hostile.name).c_str(),
                                           [hostile](benchmark::State& state) { ConvertHostile(state, hostile); });
    b->Unit(benchmark::kMillisecond)->UseRealTime();
    if (hostile.iterations) b->Iterations(hostile.iterations);
  }
  return 0;
}

}  // namespace tovrani::bench
