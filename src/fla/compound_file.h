// Assembles the FLA's compound file (version 3: 512-byte sectors, 64-byte
// mini sectors, cut-off 4096) from the work files the stream placement
// filled, the scene page's placement and the Contents stream.
//
// Layout: the header; the regular-sector work file as sectors 0, 1, ... (so
// the start sectors recorded while placing stay true); the mini stream
// (work file, then Contents when it is small); the directory; the mini-FAT;
// the FAT and any DIFAT sectors; last, Contents when it is 4096 bytes or
// more. The directory holds "Root Entry", "Contents", "Page 1", the symbol
// entries and the media entries in that order, every stream directly under
// the root. The entries keep the bytes their writers gave them except the
// tree fields: colour, left, right and child are rewritten into a balanced
// search tree, all black, in the format's name order; an empty stream's
// start becomes ENDOFCHAIN.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "fla/fla_context.h"

namespace tovrani {

enum class CompoundFileResult {
  kOk,
  kWriteFailed,   // the output (or a work file) could not be written or read
  kInconsistent,  // entries that do not match the work files
  kTooLarge,      // more sectors than the format can number
};

struct CompoundFileParts {
  std::FILE* bigSectorFile = nullptr;   // may be null: no regular data
  std::FILE* miniStreamFile = nullptr;  // may be null: no mini stream
  // Mini-FAT blocks as ChainMiniSectors filled them.
  std::span<const std::array<uint32_t, 128>> miniFat;
  // Directory work files: whole 128-byte entries.
  std::span<const uint8_t> symbolDir;
  std::span<const uint8_t> mediaDir;
  uint32_t scenePageSize = 0;   // "Page 1", placed like any stream
  uint32_t scenePageStart = 0;
  std::span<const uint8_t> contents;
};

// The CLSID of the root entry in the documents the authoring tool writes.
extern const std::array<uint8_t, 16> kFlaRootClsid;

// Writes the whole compound file to out (at its current position, which
// should be 0). On failure `error` names the reason.
CompoundFileResult WriteCompoundFile(std::FILE* out, const CompoundFileParts& parts,
                                     std::string* error = nullptr);

// The same from the converter's work files and mini-FAT.
CompoundFileResult WriteCompoundFile(std::FILE* out, FlaContext& ctx,
                                     uint32_t scenePageSize, uint32_t scenePageStart,
                                     std::span<const uint8_t> contents,
                                     std::string* error = nullptr);

// Writes the u32 values next, next + 1, ... (count of them), then the
// terminator, in one write; `next` ends count + 1 higher than it began. A
// chain of n consecutive sectors from s is the run of n - 1 from s + 1
// ending in ENDOFCHAIN, and `next` is then ready for the chain that follows.
bool WriteSectorRun(std::FILE* out, uint32_t count, uint32_t& next, uint32_t terminator);

// With flag 0 writes the allocation-table sector marker and the end-of-chain
// marker; otherwise nothing. The first argument is not used.
// Stays outside the assembly: its layout never has a one-sector chain right
// after the allocation table's own sectors, which is the only place the pair fits.
bool WriteFatMarkerPair(uint32_t unused, uint8_t flag, std::FILE* out);

// The format's order of sibling names: shorter first, then by upper-cased
// UTF-16 code units. Negative, 0 or positive like strcmp.
int CompareDirEntryNames(std::u16string_view a, std::u16string_view b);

}  // namespace tovrani
