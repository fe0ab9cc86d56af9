// Movies that declare far more than they hold: each is converted as the
// program converts it, and reports its own size, the bytes the conversion
// wrote (document, script and import movies) per byte of the movie, the
// bytes of the messages it gave the shell, the time, the peak of the heap
// count, the peak memory of one conversion in a child process of its own,
// and the time and heap the bounds allowed. What a movie declares must
// never cost more than its bytes allow: a conversion's heap count, and in a
// Release build its resident memory, stay within 110 % of the heap bound.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/resource_bound.h"
#include "support/swf_writer.h"

namespace tovrani {
struct ConverterContext;
}

namespace tovrani::bench {

using Bytes = std::vector<uint8_t>;

struct Hostile {
  std::string name;
  std::function<Bytes()> movie;
  // Options other than the program's defaults.
  std::function<void(ConverterContext&)> options = [](ConverterContext&) {};
  // The engine's result the conversion must end with: 0, or the failure a
  // bound of the conversion gives.
  uint32_t result = 0;
  // The bounds on processor time and memory each conversion is given, where
  // lowered.
  std::optional<ResourceRates> rates = std::nullopt;
  // The most one conversion may hold, where lower than 110 % of the heap
  // bound: on the heap count, and resident in a Release build.
  uint64_t peakLimit = UINT64_MAX;
  // Conversions timed; 0 lets the library choose. The slowest rows run once.
  int iterations = 0;
};

constexpr uint64_t kMiB = uint64_t(1) << 20;

// A movie of `count` tags that `tag` writes, each for a character of its own
// (1, 2, ...), then one frame.
Bytes RepeatedTagMovie(int count, const std::function<void(test::SwfWriter&, uint16_t id)>& tag,
                       bool compressed = false);

// The movie that `make` gives for the noise that brings its file nearest
// `fileBytes`, as a compressed movie filling the inflation bound is made.
Bytes MovieOfSize(size_t fileBytes, const std::function<Bytes(size_t noise)>& make);

// The movie of `count` units that `make` gives whose file is nearest
// `fileBytes` (a file grows by the same bytes for every unit).
Bytes MovieOfUnits(size_t fileBytes, const std::function<Bytes(int count)>& make);

// Registers one benchmark per movie as BM_Hostile/<group>/<name>. Returns
// 0, for a static initializer.
int RegisterHostileMovies(const std::string& group, const std::vector<Hostile>& movies);

}  // namespace tovrani::bench
