// FileAttributes and the linkage table (ExportAssets, ImportAssets,
// ImportAssets2).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fla/linkage_record.h"

namespace tovrani {

struct ConverterContext;

// Tag 69: keeps the flags byte.
void HandleFileAttributes(ConverterContext& ctx, std::span<const uint8_t> body);

// Tags 56, 57 and 71: one record per character id; an id met again keeps
// its record and its first name.
void HandleLinkageTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body);

}  // namespace tovrani
