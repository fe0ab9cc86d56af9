// The loop over the main movie's tags: intake of each tag, the handler
// chain with its option gates, ShowFrame and End with the scene build.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/engine.h"

namespace tovrani {

struct ConverterContext;

// The tag being handled. A handler that appends behind the body grows the
// buffer first.
struct TagBody {
  uint16_t code = 0;
  uint32_t length = 0;
  std::vector<uint8_t> buffer;  // the body, and what was appended behind it
  uint64_t fileEnd = 0;         // file position just after the body
  uint64_t headerPos = 0;       // file position of the tag's header
  uint8_t* data() { return buffer.data(); }
};

// Chain entry (1-17) whose tag codes and option gate accept the tag, 0 when
// the tag passes the whole chain untouched.
int ChainEntryFor(const ConverterContext& ctx, uint16_t code, uint32_t length);

// Definition tags that are lifted out of a sprite body and converted as if
// they stood at the top level.
bool IsLiftedSpriteDefinition(uint16_t code);

struct TagLoopState {
  uint16_t frame = 0;
  bool loopContinue = true;
  bool endHandled = false;
  bool firstFrame = true;
  bool frameLimitReached = false;  // the next ShowFrame would wrap the frame number
  int64_t actionFramePos = -1;
  // The sound layers' files, positions and frame marks are in
  // ctx.m_sceneSounds.
  // The depth pass's hand-offs (indexes into ctx.m_pMovieLayerDepths) in
  // frame order, and the first one not yet reached.
  std::vector<uint32_t> handoffOrder;
  size_t nextHandoff = 0;
  uint32_t tagsDispatched = 0;
  std::vector<int> dispatchLog;  // chain entry per handled tag, when enabled
  bool logDispatch = false;
};

// Runs the loop from the current position of ctx.m_pSwfFile to the scene
// build. Returns 0, or a handler's result code that ends the engine.
uint32_t RunTagLoop(ConverterContext& ctx, TagLoopState& st, const EngineServices& svc);

// Pumps the shell's messages; a cancel request sets ctx.m_bCancel.
void PumpMessages(ConverterContext& ctx);

}  // namespace tovrani
