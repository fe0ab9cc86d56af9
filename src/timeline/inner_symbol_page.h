// A symbol page written in the middle of another page: a group's layers or
// a wrapper around one element. Opening it makes it the page stream and
// takes an item number; commit() places it as a further symbol stream; the
// interrupted page (still open, its position untouched) is the page stream
// again once the object is committed or destroyed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "fla/class_tags.h"
#include "fla/work_folder.h"

namespace tovrani {

struct TimelineContext;

class InnerSymbolPage {
 public:
  enum class Kind {
    kGroup,       // its first layer opens its own frame
    kOneElement,  // the head ends with the first frame's version bytes
  };

  // Failures (no work folder, a file that cannot be made, no item number
  // left) are kept in ctx.m_nWriterError; the page is then not ok().
  InnerSymbolPage(TimelineContext& ctx, Kind kind);
  ~InnerSymbolPage();
  InnerSymbolPage(const InnerSymbolPage&) = delete;
  InnerSymbolPage& operator=(const InnerSymbolPage&) = delete;

  bool ok() const { return static_cast<bool>(file_); }
  std::FILE* file() const { return file_.get(); }
  // The page's own archive state, fresh at the opening.
  PageClassState& state() { return state_; }
  // Nothing was written after the page head.
  bool empty() const;
  // The layer end with the closing value, then the stream with its
  // directory entry; the outer page is resumed. False on any failure.
  bool commit(uint16_t closingValue);
  // After a commit: the symbol's item number and stream-table row.
  uint16_t itemNo() const { return itemNo_; }
  uint32_t row() const { return row_; }

 private:
  void resume();

  TimelineContext& ctx_;
  std::FILE* outer_;
  uint8_t savedScene_, savedPageFlag_, savedLead_;
  uint16_t savedReservation_;
  bool itemTaken_ = false, resumed_ = false;
  std::string name_;
  FileHandle file_;
  long headSize_ = 0;
  PageClassState state_;
  uint16_t itemNo_ = 0;
  uint32_t row_ = 0;
};

}  // namespace tovrani
