// FileAttributes and the linkage table (ExportAssets, ImportAssets,
// ImportAssets2).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tovrani {

struct ConverterContext;

// One character the movie exports or imports, as the document finaliser
// turns it into a library item's linkage.
struct LinkageRecord {
  uint16_t itemNo = 0;     // the character id
  uint32_t value = 3;      // linkage record version the finaliser adds the level to
  uint8_t kind = 0;        // kLinkageExport or kLinkageImport
  uint8_t flags = 0;       // bit n: strings[n] present
  std::string strings[3];  // identifier, source URL (imports), class
};

constexpr uint8_t kLinkageExport = 0x01;  // export for ActionScript
constexpr uint8_t kLinkageImport = 0x04;  // import for runtime sharing

// Tag 69: keeps the flags byte.
void HandleFileAttributes(ConverterContext& ctx, std::span<const uint8_t> body);

// Tags 56, 57 and 71: one record per character id; an id met again keeps
// its record and its first name.
void HandleLinkageTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body);

}  // namespace tovrani
