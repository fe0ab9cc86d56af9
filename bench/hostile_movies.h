// Movies that declare far more than they hold: each is converted as the
// program converts it, and reports its own size, the bytes the conversion
// wrote (document, script and import movies) per byte of the movie, the
// bytes of the messages it gave the shell, the time, and the peak memory of one conversion in a child process of its
// own. What a movie declares must never cost more than its bytes allow.
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
};

// A movie of `count` tags that `tag` writes, each for a character of its own
// (1, 2, ...), then one frame.
Bytes RepeatedTagMovie(int count, const std::function<void(test::SwfWriter&, uint16_t id)>& tag,
                       bool compressed = false);

// Registers one benchmark per movie as BM_Hostile/<group>/<name>. Returns
// 0, for a static initializer.
int RegisterHostileMovies(const std::string& group, const std::vector<Hostile>& movies);

}  // namespace tovrani::bench
