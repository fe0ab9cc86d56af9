#include "convert/linkage.h"

#include "convert/converter_context.h"
#include "fla/text_encoding.h"
#include "swf/swf_reader.h"

namespace tovrani {

void HandleFileAttributes(ConverterContext& ctx, std::span<const uint8_t> body) {
  if (!body.empty()) ctx.m_nFileAttributes = body[0];
}

void HandleLinkageTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  if (ctx.m_pShell) ctx.m_pShell->SetCurrentAction("adding linkage...");
  SwfReader r(body);
  const bool import = code != 56;
  SharedText url;  // one string for every id the tag names
  if (import) {
    // The source movie's URL; without its terminator the tag yields nothing.
    url = DecodeSwfText(r.cstring(), ctx.m_nSwfVersion);
    if (!r.ok()) return;
    if (code == 71) r.skip(2);  // two reserved bytes
  }
  if (r.remaining() < 3) return;
  uint16_t count = r.u16();
  for (; count && r.has(2); --count) {
    uint16_t id = r.u16();
    // The name runs to its terminator, or to the end of the body.
    // Names are text like every other of the movie, in its version's encoding.
    std::string name = DecodeSwfText(r.cstring(), ctx.m_nSwfVersion);
    const auto [at, fresh] = ctx.m_linkageIndex.try_emplace(id, ctx.m_pLinkages.size());
    if (fresh) ctx.m_pLinkages.emplace_back().itemNo = id;
    LinkageRecord* rec = &ctx.m_pLinkages[at->second];
    if (import) {
      rec->kind = kLinkageImport;
      rec->strings[1] = url;
      rec->flags |= 0x02;
    } else if (fresh) {
      rec->kind = kLinkageExport;
    }
    if (fresh || !(rec->flags & 0x01)) {
      rec->strings[0] = std::move(name);
      rec->flags |= 0x01;
    }
    if (!r.ok()) break;
  }
}

}  // namespace tovrani
