// The rows of a table by the 16-bit id each carries (fonts by font id, texts
// by character id), for lookups that would otherwise scan the table once per
// tag. A table's rows are only ever appended, or all dropped at once: each
// lookup first takes in the rows appended since the one before, and starts
// over when the table has fewer rows than it took in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace tovrani {

class IdRowIndex {
 public:
  struct Rows {
    uint32_t first = 0, last = 0;
    // Some row after the first has the mark the caller asked for. Rows after
    // the first of an id never change once taken in; the first one may.
    bool markedLater = false;
  };

  // Takes in the rows of `table` not taken in yet; idOf(row) gives a row's
  // id and marked(row) its mark.
  template <class Table, class IdOf, class Marked>
  void Update(const Table& table, IdOf idOf, Marked marked) {
    if (table.size() < taken_) Clear();
    for (; taken_ < table.size(); ++taken_) {
      const auto& row = table[taken_];
      const auto [it, added] = rows_.try_emplace(idOf(row), Rows{uint32_t(taken_), uint32_t(taken_), false});
      if (added) continue;
      it->second.last = uint32_t(taken_);
      if (marked(row)) it->second.markedLater = true;
    }
  }
  template <class Table, class IdOf>
  void Update(const Table& table, IdOf idOf) {
    Update(table, idOf, [](const auto&) { return false; });
  }

  // The rows of `id`, or nullptr when no row taken in has it.
  const Rows* Find(uint16_t id) const {
    const auto it = rows_.find(id);
    return it == rows_.end() ? nullptr : &it->second;
  }

  void Clear() {
    rows_.clear();
    taken_ = 0;
  }

 private:
  std::unordered_map<uint16_t, Rows> rows_;
  size_t taken_ = 0;
};

}  // namespace tovrani
