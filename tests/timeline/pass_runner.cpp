#include "timeline/pass_runner.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "timeline/rearrange_mask_layers.h"

namespace tovrani::test {

std::vector<uint8_t> Tags(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

uint32_t RunMainPass(ConverterContext& ctx, std::vector<uint8_t>& tags) {
  const long kLead = 21;  // stands for the movie header
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  if (!f) return 0;
  std::vector<uint8_t> lead(kLead, 0xEE);
  std::fwrite(lead.data(), 1, lead.size(), f);
  std::fwrite(tags.data(), 1, tags.size(), f);
  std::fseek(f, kLead, SEEK_SET);
  ctx.m_pSwfFile = f;
  ctx.m_nSwfEnd = kLead + tags.size();
  uint32_t n = RearrangeMaskLayers(ctx, 1, nullptr, 0);
  EXPECT_EQ(std::ftell(f), kLead);
  std::fseek(f, kLead, SEEK_SET);
  size_t got = std::fread(tags.data(), 1, tags.size(), f);
  EXPECT_EQ(got, tags.size());
  std::fclose(f);
  ctx.m_pSwfFile = nullptr;
  return n;
}

std::vector<uint8_t> SpriteBody(uint16_t id, const std::vector<uint8_t>& tags) {
  std::vector<uint8_t> b = {uint8_t(id), uint8_t(id >> 8), 1, 0};
  b.insert(b.end(), tags.begin(), tags.end());
  return b;
}

uint32_t RunSpritePass(ConverterContext& ctx, std::vector<uint8_t>& body) {
  return RearrangeMaskLayers(ctx, 0, body.data(), int32_t(body.size()));
}

}  // namespace tovrani::test
