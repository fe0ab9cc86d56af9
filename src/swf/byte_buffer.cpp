#include "swf/byte_buffer.h"

namespace tovrani {

namespace {

void Store(uint8_t* p, uint32_t value, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) p[i] = uint8_t(value >> (8 * i));
}

void PutGrowing(std::vector<uint8_t>& buf, uint32_t value, unsigned bytes, uint32_t& pos) {
  size_t end = size_t(pos) + bytes;
  if (buf.size() < end) buf.resize(end);
  Store(buf.data() + pos, value, bytes);
  pos += bytes;
}

bool PutBounded(std::span<uint8_t> buf, uint32_t value, unsigned bytes, uint32_t& pos) {
  if (pos > buf.size() || buf.size() - pos < bytes) return false;
  Store(buf.data() + pos, value, bytes);
  pos += bytes;
  return true;
}

}  // namespace

void PutU16(std::vector<uint8_t>& buf, uint16_t value, uint32_t& pos) { PutGrowing(buf, value, 2, pos); }
void PutU32(std::vector<uint8_t>& buf, uint32_t value, uint32_t& pos) { PutGrowing(buf, value, 4, pos); }
bool PutU16(std::span<uint8_t> buf, uint16_t value, uint32_t& pos) { return PutBounded(buf, value, 2, pos); }
bool PutU32(std::span<uint8_t> buf, uint32_t value, uint32_t& pos) { return PutBounded(buf, value, 4, pos); }

}  // namespace tovrani
