// Little-endian writers for records built in memory.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tovrani {

// Store the value at pos and advance pos by 2 or 4; the buffer grows to hold
// it. Positions are 32-bit: a buffer is not limited to 65,535 bytes.
void PutU16(std::vector<uint8_t>& buf, uint16_t value, uint32_t& pos);
void PutU32(std::vector<uint8_t>& buf, uint32_t value, uint32_t& pos);

// The same into a fixed buffer: false, with nothing written and pos
// unchanged, when the value does not fit.
bool PutU16(std::span<uint8_t> buf, uint16_t value, uint32_t& pos);
bool PutU32(std::span<uint8_t> buf, uint32_t value, uint32_t& pos);

}  // namespace tovrani
