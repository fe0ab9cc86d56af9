#include "fla/write_bound.h"

#include "fla/contents_stream.h"
#include "fla/fla_context.h"
#include "fla/stream_placement.h"
#include "fla/work_folder.h"

namespace tovrani {

void WriteBound::Start(uint64_t limit, const ContentsStream* contents) {
  limit_ = limit;
  charged_ = 0;
  contents_ = contents;
  crossed_ = false;
}

uint64_t WriteBound::Used() const { return charged_ + (contents_ ? PlacedStreamBytes(contents_->Length()) : 0); }

uint64_t WriteBound::Left() const {
  const uint64_t used = Used();
  return crossed_ || used >= limit_ ? 0 : limit_ - used;
}

bool WriteBound::Charge(uint64_t bytes) {
  if (Crossed() || bytes > Left()) {
    crossed_ = true;
    return false;
  }
  charged_ += bytes;
  return true;
}

bool WriteBound::Crossed() {
  // Kept once seen: the Contents stream is released at the end.
  if (!crossed_ && Used() > limit_) crossed_ = true;
  return crossed_;
}

bool WriteBound::Holds(uint64_t written) {
  if (written > limit_) crossed_ = true;
  return !Crossed();
}

WriteBound* WriteBoundOf(const FlaContext& ctx) {
  return ctx.m_pWorkFolder ? ctx.m_pWorkFolder->writeBound() : nullptr;
}

bool WriteBoundCrossed(const FlaContext& ctx) {
  WriteBound* bound = WriteBoundOf(ctx);
  return bound && bound->Crossed();
}

bool ChargeWrite(const FlaContext& ctx, uint64_t bytes) {
  WriteBound* bound = WriteBoundOf(ctx);
  return !bound || bound->Charge(bytes);
}

}  // namespace tovrani
