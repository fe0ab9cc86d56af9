// The linkage of one exported or imported character, as the handlers of the
// linkage tags fill it and the finaliser writes it.
#pragma once

#include <cstdint>

#include "fla/shared_text.h"

namespace tovrani {

// One character the movie exports or imports, as the document finaliser
// turns it into a library item's linkage.
struct LinkageRecord {
  uint16_t itemNo = 0;     // the character id
  uint32_t value = 3;      // linkage record version the finaliser adds the level to
  uint8_t kind = 0;        // kLinkageExport or kLinkageImport
  uint8_t flags = 0;       // bit n: strings[n] present
  // Identifier, source URL (imports), class. An ImportAssets tag's URL is
  // one string the records of all its ids share.
  SharedText strings[3];
};

constexpr uint8_t kLinkageExport = 0x01;  // export for ActionScript
constexpr uint8_t kLinkageImport = 0x04;  // import for runtime sharing

}  // namespace tovrani
