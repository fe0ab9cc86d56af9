// Placing finished streams (symbol pages, bitmaps, sounds, videos) into the
// compound-file work files while a movie is converted: streams of 4096 bytes
// or more go to the regular-sector data, smaller ones to the mini stream with
// their mini-FAT chain, and each gets a 128-byte directory entry in the media
// or symbol directory work file. CompoundFileWriter assembles the container
// from these work files at the end.
//
// Every writer here checks its writes. The first failure is kept in
// FlaContext::m_nWriterError (and the writer returns false); once it is
// set, the writers refuse further placements.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "fla/glyph_shape.h"
#include "fla/fla_context.h"

namespace tovrani {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr uint32_t kDirEntrySize = 128;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
// Kind tags of m_pBigStreamList entries for regular-sector streams.
constexpr uint32_t kSymbolStreamTag = 0x1000000;
constexpr uint32_t kBitmapStreamTag = 0x2000000;
constexpr uint32_t kSoundStreamTag = 0x4000000;
constexpr uint32_t kVideoStreamTag = 0x8000000;
// The engine's result when a 16-bit symbol or item counter is used up: a
// further stream would repeat a name.
constexpr int kResultTooManyItems = 45;
// Directory index of the first symbol entry: "Root Entry", "Contents" and
// "Page 1" come before it.
constexpr uint32_t kFixedDirEntries = 3;

// What the write bound charges for the container itself. A stream pays for
// its sectors and their entries in the tables (PlacedStreamBytes); a
// directory entry for its 128 bytes and a quarter of its sector's FAT
// entry; the rest, charged once when the conversion starts, covers the
// header, the three fixed entries and, as far as it goes, the unused
// directory slots and the tail of the mini stream's last sector and of the
// tables' last sectors. The written set is measured against the bound at
// the end, before it is committed.
constexpr uint64_t kDirEntryCharge = kDirEntrySize + 1;
constexpr uint64_t kContainerFixedCharge = 2048;
// A stream of `bytes` as the container holds it: 4096 bytes or more take
// 512-byte sectors and 4 bytes of FAT each; less takes 64-byte mini sectors,
// 4 bytes of mini-FAT each and an eighth of the FAT entry of the sector
// that holds eight of them (4.5 bytes a mini sector, rounded up).
uint64_t PlacedStreamBytes(uint64_t bytes);

// Records the first failure of the writer; always returns false.
bool NoteWriterFailure(FlaContext& ctx, int result);

// Zero bytes up to the next multiple of 512 (nothing when aligned).
bool PadToSector(std::FILE* f);
// The same for 64; returns the final position, or -1 on failure.
int64_t PadToMiniSector(std::FILE* f);

// Empties the mini-FAT: one block, all entries free.
void ResetMiniFat(FlaContext& ctx);
// Starts the stream tables, counters (the media number from 1), mini-FAT and
// writer error of a new document.
void ResetStreamTables(FlaContext& ctx);
// After a stream was appended to the mini stream and padded: chains every
// mini sector from the table's next free entry up to the mini stream's end.
// The table's own state decides the count; `firstMiniSector` is the start
// the caller recorded, which equals that entry whenever the work files are
// consistent.
bool ChainMiniSectors(FlaContext& ctx, uint32_t firstMiniSector);

// A 128-byte directory entry of a stream: the name as UTF-16LE (zero-padded
// to 64 bytes), its length in bytes with the terminator, type 2 (stream),
// colour 1, the left sibling given, no right sibling or child, zero CLSID,
// state and times, the start sector and the size (high half 0).
std::array<uint8_t, kDirEntrySize> MakeStreamDirEntry(const std::string& name, uint32_t size,
                                                      uint32_t start, uint32_t leftSibling);

// Appends the entry of "Media n" (MakeMediaName) to m_pMediaDirFile; its left
// sibling is n + 1, but 1 for n = 10 (CompoundFileWriter relinks the tree).
bool WriteStreamDirEntry(FlaContext& ctx, uint16_t n, uint32_t size, uint32_t start);
// Records the entry's directory index in m_nLastSymbolDirEntry, then appends
// the entry of "Symbol m_wCurSymbolId" to m_pSymbolDirFile (left sibling 1).
bool WriteSymbolDirEntry(FlaContext& ctx, uint16_t unused, uint32_t size, uint32_t start);
bool WriteSymbolDirEntryFwd(FlaContext& ctx, uint16_t unused, uint32_t size,
                            uint32_t start, uint32_t extra);

// Where AppendStreamData put a stream.
struct StreamPlacement {
  uint32_t start = 0;    // sector (regular) or mini sector
  bool regular = false;  // 4096 bytes or more
};
// Appends a finished stream to the regular data (4096 bytes or more; padded
// to 512) or to the mini stream (padded to 64 and chained).
bool AppendStreamData(FlaContext& ctx, std::span<const uint8_t> data,
                      StreamPlacement& where);

// The same for a stream held in a work file (its bytes from the start up to
// `size`), copied in pieces of 32,768 bytes.
bool AppendStreamFromFile(FlaContext& ctx, std::FILE* source, uint64_t size,
                          StreamPlacement& where);

// What a placed stream adds to the library, before the palette's class.
enum class LibraryObject { kSymbolStream, kBitmap, kSound, kVideo };
// Whether the library takes one more object of the kind (with the class
// object the first of a kind brings) and still fits the palette's class
// reference (ColorDefIndexFits). False, with kResultTooManyItems noted,
// when it does not: such a document could not be finished. Each placement
// asks before its stream is written.
bool LibraryTakes(FlaContext& ctx, LibraryObject kind);

// Hands out m_wNextMediaNo and advances it; refuses (kResultTooManyItems)
// rather than wrap to a name already in use.
bool TakeMediaNo(FlaContext& ctx, uint16_t& mediaNo);

// Hands out m_wNextItemNo and advances it; once it stands at the top, the
// lowest spare number. Refuses (kResultTooManyItems) rather than wrap to a
// number already in use.
bool TakeItemNo(FlaContext& ctx, uint16_t& itemNo);

// The spare numbers: those in [1, below) that no id of `used` takes.
void SetSpareItemNos(FlaContext& ctx, const std::bitset<65536>& used, uint16_t below);

// How many numbers TakeItemNo can still hand out.
uint32_t ItemNosLeft(const FlaContext& ctx);

// Library items are numbered by their character ids. Character 0 would be
// item 0, which names nothing: at its (first) definition it takes the next
// free item number (a new one at each definition), and every reference to
// it uses the latest.
uint16_t DefinitionItemNo(FlaContext& ctx, uint16_t characterId);
// The item number a reference to a character names.
inline uint16_t ItemNoOf(const FlaContext& ctx, uint16_t characterId) {
  return characterId == 0 ? ctx.m_wZeroIdItemNo : characterId;
}
// Commits the symbol stream of row m_nStreams: its symbol number and the
// three flags as given (A sprite, B button, C a button tracked as a menu),
// then m_nStreams, m_wCurSymbolId and m_nSymbolStreams advance.
void CommitSymbolStream(FlaContext& ctx, uint8_t flagA, uint8_t flagB = 0, uint8_t flagC = 0);
// The whole placement of a symbol page for row m_nStreams (whose item number
// the caller has stored): size and start in the row, the bytes appended, the
// directory entry, the m_pBigStreamList entry, and the commit with the flags.
bool PlaceSymbolStream(FlaContext& ctx, std::span<const uint8_t> page, uint8_t flagA, uint8_t flagB = 0,
                       uint8_t flagC = 0);

// Places every glyph of a font as its own symbol page ("Layer 1" holding the
// glyph's outline filled black) and records the item numbers given to the
// glyphs in firstItemNo, lastItemNo and each glyph's itemNo.
bool PlaceSymbolStreams(FlaContext& ctx, std::span<GlyphShape> glyphs,
                        uint16_t& firstItemNo, uint16_t& lastItemNo, uint8_t level);

// The page head up to the end of the "CPicFrame" class name, with the
// version bytes of the old form at offsets 15 and 32.
extern const std::array<uint8_t, 49> kFileHead;
// Writes kFileHead to a freshly opened page stream.
bool CopyFileHead(std::FILE* stream);

}  // namespace tovrani
