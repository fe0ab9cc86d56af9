#include "fla/stream_placement.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fla/archive.h"
#include "fla/document_page.h"
#include "fla/file_helpers.h"
#include "fla/item_names.h"
#include "fla/layer_records.h"
#include "fla/write_bound.h"

namespace tovrani {

namespace {

int64_t Tell(std::FILE* f) { return f ? static_cast<int64_t>(ftello(f)) : -1; }

// Zero bytes up to the next multiple of unit; the final position, or -1.
int64_t PadToMultiple(std::FILE* f, uint32_t unit) {
  int64_t pos = Tell(f);
  if (pos < 0) return -1;
  const uint64_t pad = (unit - static_cast<uint64_t>(pos) % unit) % unit;
  if (!WriteZeros(f, pad)) return -1;
  return pos + static_cast<int64_t>(pad);
}

// The padding of a stream just appended to the regular data or the mini stream.
bool PadStream(std::FILE* f, bool regular) {
  return regular ? PadToSector(f) : PadToMiniSector(f) >= 0;
}

// A stream or directory entry becomes part of the document: counted against
// what the conversion may write with what it takes of the container.
bool ChargePlacement(FlaContext& ctx, uint64_t charge) {
  if (ChargeWrite(ctx, charge)) return true;
  return NoteWriterFailure(ctx, kResultDocumentTooLarge);
}

void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A page stream built in memory (open_memstream) and read back whole.
class MemoryStream {
 public:
  MemoryStream() { file_ = open_memstream(&buf_, &len_); }
  ~MemoryStream() {
    if (file_) std::fclose(file_);
    std::free(buf_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  std::FILE* file() const { return file_; }
  // The bytes written, or an empty span with ok false after a write error.
  std::span<const uint8_t> bytes(bool& ok) {
    ok = file_ && std::fflush(file_) == 0 && !std::ferror(file_);
    if (!ok) return {};
    return {reinterpret_cast<const uint8_t*>(buf_), len_};
  }

 private:
  std::FILE* file_ = nullptr;
  char* buf_ = nullptr;
  size_t len_ = 0;
};

}  // namespace

uint64_t PlacedStreamBytes(uint64_t bytes) {
  if (bytes >= kMiniStreamCutoff) return (bytes + kSectorSize - 1) / kSectorSize * (kSectorSize + 4);
  const uint64_t mini = (bytes + kMiniSectorSize - 1) / kMiniSectorSize;
  return mini * kMiniSectorSize + (mini * 9 + 1) / 2;
}

bool NoteWriterFailure(FlaContext& ctx, int result) {
  if (ctx.m_nWriterError == 0) ctx.m_nWriterError = result;
  return false;
}

bool PadToSector(std::FILE* f) { return PadToMultiple(f, kSectorSize) >= 0; }

int64_t PadToMiniSector(std::FILE* f) { return PadToMultiple(f, kMiniSectorSize); }

void ResetMiniFat(FlaContext& ctx) {
  ctx.m_apMiniFatBlocks.assign(1, {});
  ctx.m_apMiniFatBlocks[0].fill(kFreeSector);
  ctx.m_nMiniFatBlocks = 1;
  ctx.m_nMiniFatPos = 0;
}

void ResetStreamTables(FlaContext& ctx) {
  ResetMiniFat(ctx);
  ctx.m_nStreams = 0;
  for (auto* t : {&ctx.m_pStreamSize, &ctx.m_pStreamStart, &ctx.m_pBigStreamList}) t->clear();
  for (auto* t : {&ctx.m_pStreamItemNo, &ctx.m_pStreamId}) t->clear();
  for (auto* t : {&ctx.m_pStreamFlagA, &ctx.m_pStreamFlagB, &ctx.m_pStreamFlagC}) t->clear();
  ctx.m_nBigStreamList = 0;
  ctx.m_nSymbolStreams = 0;
  ctx.m_wCurSymbolId = 1;
  ctx.m_wNextItemNo = 1;
  SetSpareItemNos(ctx, {}, 1);
  ctx.m_wNextMediaNo = 1;
  ctx.m_nLastSymbolDirEntry = 0;
  ctx.m_nWriterError = 0;
}

bool ChainMiniSectors(FlaContext& ctx, uint32_t /*firstMiniSector*/) {
  if (ctx.m_apMiniFatBlocks.empty()) ResetMiniFat(ctx);
  int64_t pos = Tell(ctx.m_pMiniStreamFile);
  if (pos < 0) return NoteWriterFailure(ctx, kResultOutputIncomplete);
  uint64_t end = static_cast<uint64_t>(pos) / kMiniSectorSize;
  uint64_t next = (static_cast<uint64_t>(ctx.m_nMiniFatBlocks) - 1) * 128 + ctx.m_nMiniFatPos;
  if (end >= kEndOfChain) return NoteWriterFailure(ctx, kResultOutputIncomplete);
  for (uint64_t i = next; i < end; ++i) {
    ctx.m_apMiniFatBlocks.back()[ctx.m_nMiniFatPos] =
        i + 1 == end ? kEndOfChain : static_cast<uint32_t>(i + 1);
    if (++ctx.m_nMiniFatPos == 128) {
      ctx.m_apMiniFatBlocks.emplace_back().fill(kFreeSector);
      ctx.m_nMiniFatBlocks = static_cast<uint32_t>(ctx.m_apMiniFatBlocks.size());
      ctx.m_nMiniFatPos = 0;
    }
  }
  return true;
}

std::array<uint8_t, kDirEntrySize> MakeStreamDirEntry(const std::string& name, uint32_t size,
                                                      uint32_t start, uint32_t leftSibling) {
  std::array<uint8_t, kDirEntrySize> e{};
  // The name field holds 31 characters and the terminator.
  size_t chars = std::min<size_t>(name.size(), 31);
  for (size_t i = 0; i < chars; ++i) e[2 * i] = static_cast<uint8_t>(name[i]);
  uint16_t nameBytes = static_cast<uint16_t>(chars * 2 + 2);
  e[64] = static_cast<uint8_t>(nameBytes);
  e[65] = static_cast<uint8_t>(nameBytes >> 8);
  e[66] = 2;  // stream
  e[67] = 1;  // black
  PutLE32(&e[68], leftSibling);
  PutLE32(&e[72], kNoStream);
  PutLE32(&e[76], kNoStream);
  PutLE32(&e[116], start);
  PutLE32(&e[120], size);
  return e;
}

bool WriteStreamDirEntry(FlaContext& ctx, uint16_t n, uint32_t size, uint32_t start) {
  if (ctx.m_nWriterError) return false;
  uint32_t left = n == 10 ? 1 : static_cast<uint32_t>(n) + 1;
  auto e = MakeStreamDirEntry(MakeMediaName(n), size, start, left);
  if (!ChargePlacement(ctx, kDirEntryCharge)) return false;
  if (!WriteBytes(ctx.m_pMediaDirFile, e.data(), e.size()))
    return NoteWriterFailure(ctx, kResultOutputIncomplete);
  return true;
}

bool WriteSymbolDirEntry(FlaContext& ctx, uint16_t /*unused*/, uint32_t size,
                         uint32_t start) {
  if (ctx.m_nWriterError) return false;
  // Symbol 65535 would be followed by a wrapped counter repeating names.
  if (ctx.m_wCurSymbolId == 0xFFFF) return NoteWriterFailure(ctx, kResultTooManyItems);
  int64_t pos = Tell(ctx.m_pSymbolDirFile);
  if (pos < 0) return NoteWriterFailure(ctx, kResultOutputIncomplete);
  ctx.m_nLastSymbolDirEntry = static_cast<uint32_t>(pos / kDirEntrySize) + kFixedDirEntries;
  auto e = MakeStreamDirEntry(MakeSymbolName(ctx.m_wCurSymbolId), size, start, 1);
  if (!ChargePlacement(ctx, kDirEntryCharge)) return false;
  if (!WriteBytes(ctx.m_pSymbolDirFile, e.data(), e.size()))
    return NoteWriterFailure(ctx, kResultOutputIncomplete);
  return true;
}

bool WriteSymbolDirEntryFwd(FlaContext& ctx, uint16_t unused, uint32_t size,
                            uint32_t start, uint32_t /*extra*/) {
  return WriteSymbolDirEntry(ctx, unused, size, start);
}

bool AppendStreamData(FlaContext& ctx, std::span<const uint8_t> data,
                      StreamPlacement& where) {
  if (ctx.m_nWriterError) return false;
  where.regular = data.size() >= kMiniStreamCutoff;
  std::FILE* f = where.regular ? ctx.m_pBigSectorFile : ctx.m_pMiniStreamFile;
  uint32_t unit = where.regular ? kSectorSize : kMiniSectorSize;
  int64_t pos = Tell(f);
  if (pos < 0 || pos % unit != 0 || static_cast<uint64_t>(pos) / unit >= kEndOfChain)
    return NoteWriterFailure(ctx, kResultOutputIncomplete);
  where.start = static_cast<uint32_t>(static_cast<uint64_t>(pos) / unit);
  if (!ChargePlacement(ctx, PlacedStreamBytes(data.size()))) return false;
  if (!WriteBytes(f, data.data(), data.size()) || !PadStream(f, where.regular))
    return NoteWriterFailure(ctx, kResultOutputIncomplete);
  if (!where.regular) return ChainMiniSectors(ctx, where.start);
  return true;
}

bool AppendStreamFromFile(FlaContext& ctx, std::FILE* source, uint64_t size,
                          StreamPlacement& where) {
  if (ctx.m_nWriterError) return false;
  where.regular = size >= kMiniStreamCutoff;
  std::FILE* f = where.regular ? ctx.m_pBigSectorFile : ctx.m_pMiniStreamFile;
  uint32_t unit = where.regular ? kSectorSize : kMiniSectorSize;
  int64_t pos = Tell(f);
  if (!source || pos < 0 || pos % unit != 0 || static_cast<uint64_t>(pos) / unit >= kEndOfChain ||
      std::fseek(source, 0, SEEK_SET) != 0)
    return NoteWriterFailure(ctx, kResultOutputIncomplete);
  where.start = static_cast<uint32_t>(static_cast<uint64_t>(pos) / unit);
  if (!ChargePlacement(ctx, PlacedStreamBytes(size))) return false;
  std::vector<uint8_t> piece(32768);
  for (uint64_t left = size; left > 0;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(left, piece.size()));
    if (std::fread(piece.data(), 1, n, source) != n || !WriteBytes(f, piece.data(), n))
      return NoteWriterFailure(ctx, kResultOutputIncomplete);
    left -= n;
  }
  if (!PadStream(f, where.regular)) return NoteWriterFailure(ctx, kResultOutputIncomplete);
  if (!where.regular) return ChainMiniSectors(ctx, where.start);
  return true;
}

bool LibraryTakes(FlaContext& ctx, LibraryObject kind) {
  if (ctx.m_nWriterError) return false;
  // Each count with the one to come when it is of that kind.
  const auto with = [kind](LibraryObject k, size_t n) {
    return uint32_t(std::min<size_t>(n + (k == kind ? 1 : 0), 0xFFFFFFFFu));
  };
  const DocumentLibrary& lib = ctx.m_library;
  if (ColorDefIndexFits(with(LibraryObject::kSymbolStream, ctx.m_nStreams),
                        with(LibraryObject::kBitmap, lib.bitmaps.size()),
                        with(LibraryObject::kSound, lib.sounds.size()),
                        with(LibraryObject::kVideo, lib.videos.size())))
    return true;
  return NoteWriterFailure(ctx, kResultTooManyItems);
}

bool TakeMediaNo(FlaContext& ctx, uint16_t& mediaNo) {
  if (ctx.m_wNextMediaNo == 0xFFFF) return NoteWriterFailure(ctx, kResultTooManyItems);
  mediaNo = ctx.m_wNextMediaNo++;
  return true;
}

bool TakeItemNo(FlaContext& ctx, uint16_t& itemNo) {
  if (ctx.m_wNextItemNo != 0xFFFF) {
    itemNo = ctx.m_wNextItemNo++;
    return true;
  }
  if (ctx.m_nSpareItemNos == 0) return NoteWriterFailure(ctx, kResultTooManyItems);
  // The scan only moves up: all the numbers of a conversion cost one pass.
  while (!ctx.m_spareItemNos.test(ctx.m_nSpareItemScan)) ++ctx.m_nSpareItemScan;
  itemNo = uint16_t(ctx.m_nSpareItemScan);
  ctx.m_spareItemNos.reset(itemNo);
  --ctx.m_nSpareItemNos;
  return true;
}

void SetSpareItemNos(FlaContext& ctx, const std::bitset<65536>& used, uint16_t below) {
  ctx.m_spareItemNos.reset();
  ctx.m_nSpareItemScan = 1;
  ctx.m_nSpareItemNos = 0;
  for (uint32_t n = 1; n < below; ++n) {
    if (used.test(n)) continue;
    ctx.m_spareItemNos.set(n);
    ++ctx.m_nSpareItemNos;
  }
}

uint32_t ItemNosLeft(const FlaContext& ctx) { return 0xFFFFu - ctx.m_wNextItemNo + ctx.m_nSpareItemNos; }

uint16_t DefinitionItemNo(FlaContext& ctx, uint16_t characterId) {
  if (characterId != 0) return characterId;
  // Each definition is an item of its own (the id may be freed and defined
  // again); the references that follow name the latest.
  uint16_t itemNo = 0;
  if (TakeItemNo(ctx, itemNo)) ctx.m_wZeroIdItemNo = itemNo;
  return ctx.m_wZeroIdItemNo;
}

void CommitSymbolStream(FlaContext& ctx, uint8_t flagA, uint8_t flagB, uint8_t flagC) {
  uint32_t row = ctx.m_nStreams;
  ctx.m_pStreamId[row] = ctx.m_wCurSymbolId;
  ctx.m_pStreamFlagA[row] = flagA;
  ctx.m_pStreamFlagB[row] = flagB;
  ctx.m_pStreamFlagC[row] = flagC;
  ++ctx.m_nStreams;
  ++ctx.m_wCurSymbolId;  // WriteSymbolDirEntry never lets it pass 0xFFFF
  ++ctx.m_nSymbolStreams;
}

bool PlaceSymbolStream(FlaContext& ctx, std::span<const uint8_t> page, uint8_t flagA, uint8_t flagB,
                       uint8_t flagC) {
  if (!LibraryTakes(ctx, LibraryObject::kSymbolStream)) return false;
  if (page.size() > 0xFFFFFFFFu) return NoteWriterFailure(ctx, kResultOutputIncomplete);
  uint32_t row = ctx.m_nStreams;
  uint32_t size = static_cast<uint32_t>(page.size());
  StreamPlacement where;
  if (!AppendStreamData(ctx, page, where)) return false;
  ctx.m_pStreamSize[row] = size;
  ctx.m_pStreamStart[row] = where.start;
  if (!WriteSymbolDirEntry(ctx, 0, size, where.start)) return false;
  ctx.m_pBigStreamList[ctx.m_nBigStreamList++] = where.regular ? row + kSymbolStreamTag : 0;
  CommitSymbolStream(ctx, flagA, flagB, flagC);
  return true;
}

bool PlaceSymbolStreams(FlaContext& ctx, std::span<GlyphShape> glyphs,
                        uint16_t& firstItemNo, uint16_t& lastItemNo, uint8_t level) {
  static const uint8_t kBlackFill[] = {1, 0, 0x00, 0x00, 0x00, 0xFF, 0, 0, 0, 0};
  for (size_t i = 0; i < glyphs.size(); ++i) {
    GlyphShape& glyph = glyphs[i];
    uint16_t itemNo;
    if (!TakeItemNo(ctx, itemNo)) return false;
    if (i == 0) firstItemNo = itemNo;
    lastItemNo = itemNo;
    ctx.m_pStreamItemNo[ctx.m_nStreams] = itemNo;
    glyph.itemNo = itemNo;

    MemoryStream page;
    std::FILE* f = page.file();
    if (!f) return NoteWriterFailure(ctx, kResultOutputIncomplete);
    WriteShapeRecordHeadShort(f, true, level);
    PutU32(f, glyph.recordCount);
    // One solid black fill style, no line styles, then the outline.
    PutBytes(f, kBlackFill, sizeof kBlackFill);
    PutBytes(f, glyph.edges.data(), glyph.length());
    WriteLayerRecord(f, 1, level);
    if (IsNewFlaFormat(level))
      WriteLayerEndNew(f, 2);
    else
      WriteLayerEndOld(f, 2);
    bool ok;
    std::span<const uint8_t> bytes = page.bytes(ok);
    if (!ok) return NoteWriterFailure(ctx, kResultOutputIncomplete);
    if (!PlaceSymbolStream(ctx, bytes, 0)) return false;
  }
  return true;
}

const std::array<uint8_t, 49> kFileHead = {
    0x01,                                                                    //
    0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00, 'C', 'P', 'i', 'c', 'P', 'a', 'g', 'e',  //
    0x01, 0x00,                                                              //
    0xFF, 0xFF, 0x01, 0x00, 0x09, 0x00, 'C', 'P', 'i', 'c', 'L', 'a', 'y', 'e', 'r',  //
    0x01, 0x00,                                                              //
    0xFF, 0xFF, 0x01, 0x00, 0x09, 0x00, 'C', 'P', 'i', 'c', 'F', 'r', 'a', 'm', 'e'};

bool CopyFileHead(std::FILE* stream) { return WriteBytes(stream, kFileHead.data(), kFileHead.size()); }

}  // namespace tovrani
