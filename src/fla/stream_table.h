// A table of the converter indexed by stream row or list position. Rows are
// written at indexes that counters hand out (`m_nStreams`, ...), so writing a
// row past the end grows the table instead of overrunning it; reading past
// the end gives 0.
#pragma once

#include <cstddef>
#include <vector>

namespace tovrani {

template <typename T>
class StreamTable {
 public:
  T& operator[](size_t i) {
    if (i >= rows_.size()) rows_.resize(i + 1 < 2 * rows_.size() ? 2 * rows_.size() : i + 1, T{});
    return rows_[i];
  }
  T at(size_t i) const { return i < rows_.size() ? rows_[i] : T{}; }
  void clear() { rows_.clear(); }

 private:
  std::vector<T> rows_;
};

}  // namespace tovrani
