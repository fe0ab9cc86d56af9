#include "convert/linkage.h"

#include "convert/converter_context.h"
#include "swf/swf_reader.h"

namespace tovrani {

void HandleFileAttributes(ConverterContext& ctx, std::span<const uint8_t> body) {
  if (!body.empty()) ctx.m_nFileAttributes = body[0];
}

void HandleLinkageTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  if (ctx.m_pShell) ctx.m_pShell->SetCurrentAction("adding linkage...");
  SwfReader r(body);
  const bool import = code != 56;
  std::string url;
  if (import) {
    // The source movie's URL; without its terminator the tag yields nothing.
    url = r.cstring();
    if (!r.ok()) return;
    if (code == 71) r.skip(2);  // two reserved bytes
  }
  if (r.remaining() < 3) return;
  uint16_t count = r.u16();
  for (; count && r.has(2); --count) {
    uint16_t id = r.u16();
    // The name runs to its terminator, or to the end of the body.
    std::string name = r.cstring();
    LinkageRecord* rec = nullptr;
    for (auto& l : ctx.m_pLinkages) {
      if (l.itemNo == id) {
        rec = &l;
        break;
      }
    }
    bool fresh = rec == nullptr;
    if (fresh) {
      rec = &ctx.m_pLinkages.emplace_back();
      rec->itemNo = id;
    }
    if (import) {
      rec->kind = kLinkageImport;
      rec->strings[1] = url;
      rec->flags |= 0x02;
    } else if (fresh) {
      rec->kind = kLinkageExport;
    }
    if (fresh || !(rec->flags & 0x01)) {
      rec->strings[0] = name;
      rec->flags |= 0x01;
    }
    if (!r.ok()) break;
  }
}

}  // namespace tovrani
