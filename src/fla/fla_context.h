// The FLA writer's state for one document: page streams, the compound
// file's work files and stream tables, library counters and the records the
// finaliser turns into the library.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fla/document_finaliser.h"
#include "fla/linkage_record.h"
#include "fla/stream_table.h"
#include "swf/swf_context.h"

namespace tovrani {

class WorkFolder;

struct FlaContext : SwfContext {
  uint8_t m_nFlaFormat = 0;  // 0 below SWF 7, 1 for SWF 7, 2 from SWF 8
  WorkFolder* m_pWorkFolder = nullptr;  // the conversion's private folder
  // Folders of the per-document small movies and media, named after the FLA.
  std::string m_strShapesFolder, m_strStaticTextFolder, m_strPicturesFolder;
  std::string m_strSoundsFolder, m_strVideosFolder;
  std::vector<LinkageRecord> m_pLinkages;  // m_wLinkages is its size

  std::FILE* m_pPageStream = nullptr;  // the page stream being written
  // Compound-file work files: regular-sector data (512-byte sectors from 0),
  // the mini stream (64-byte sectors from 0), and the 128-byte directory
  // entries of media and symbol streams.
  std::FILE* m_pBigSectorFile = nullptr;
  std::FILE* m_pMiniStreamFile = nullptr;
  std::FILE* m_pMediaDirFile = nullptr;
  std::FILE* m_pSymbolDirFile = nullptr;
  // Mini-FAT: entry i (block i / 128, slot i % 128) is mini sector i's next
  // sector. m_nMiniFatBlocks == m_apMiniFatBlocks.size(); m_nMiniFatPos is
  // the next free entry in the last block.
  std::vector<std::array<uint32_t, 128>> m_apMiniFatBlocks;
  uint32_t m_nMiniFatBlocks = 0;
  uint32_t m_nMiniFatPos = 0;
  // Stream tables, one row per placed stream (row m_nStreams is the next).
  uint32_t m_nStreams = 0;
  StreamTable<uint32_t> m_pStreamSize;
  StreamTable<uint32_t> m_pStreamStart;   // sector or mini sector
  StreamTable<uint16_t> m_pStreamItemNo;  // library item number
  StreamTable<uint16_t> m_pStreamId;      // symbol number
  StreamTable<uint8_t> m_pStreamFlagA;
  StreamTable<uint8_t> m_pStreamFlagB;
  StreamTable<uint8_t> m_pStreamFlagC;
  // Streams in directory order: row + 0x1000000 (symbol), bitmap index +
  // 0x2000000, + 0x4000000 (sound), + 0x8000000 (video) for regular-sector
  // streams, 0 for mini.
  StreamTable<uint32_t> m_pBigStreamList;
  uint32_t m_nBigStreamList = 0;
  uint32_t m_nSymbolStreams = 0;
  uint16_t m_wCurSymbolId = 1;  // names the next symbol entry
  uint16_t m_wNextItemNo = 1;
  // The item number of character 0's latest definition (0 before one): item
  // 0 names nothing, so that character takes a free number.
  uint16_t m_wZeroIdItemNo = 0;
  // Numbers below the first that m_wNextItemNo handed out which no character
  // of the movie defines or names: TakeItemNo takes them, lowest first, once
  // m_wNextItemNo reaches the top. m_nSpareItemScan is where the search for
  // the next goes on, m_nSpareItemNos how many are left.
  std::bitset<65536> m_spareItemNos;
  uint32_t m_nSpareItemScan = 1;
  uint32_t m_nSpareItemNos = 0;
  uint32_t m_nLastSymbolDirEntry = 0;  // directory index of the last symbol entry
  // Names the next media stream ("Media n") of bitmaps, sounds and videos;
  // advances only when a stream was placed.
  uint16_t m_wNextMediaNo = 1;
  // First failure of the FLA writer (0 none): a failed work-file write gives
  // kResultOutputIncomplete, exhausted 16-bit counters kResultTooManyItems.
  int m_nWriterError = 0;
  // The script beside the output (its path with ".jsfl" appended) and
  // whether a piece of the document's finish reached it.
  std::string m_strJsflPath;
  // The staged script's descriptor, which its pieces go through; -1 when
  // the script is reached by its path.
  int m_nJsflFd = -1;
  uint8_t m_bJsflWritten = 0;
  uint8_t m_bJsflMissing = 0;  // the script could not be created
  // Item numbers of the symbols the script rebuilds by import: static texts
  // and shapes (filled by their converters, read by the finaliser).
  std::vector<uint16_t> m_pJsflStaticTextIds, m_pJsflShapeIds;
  // Set by the finish: one more than the highest item number in use, and
  // where the scene page went.
  uint16_t m_wNextFreeItemNo = 1;
  uint32_t m_nScenePageSize = 0, m_nScenePageStart = 0;
  uint32_t m_nMiniStreamSize = 0;
  // The stage's colour for the document's properties: R | G << 8 | B << 16
  // (set from SetBackgroundColor).
  uint32_t m_rgbBackground = 0xFFFFFF;
  // The library records of the conversion (fonts with the script's
  // font-layout text, bitmaps, sounds, ...): cleared at the engine's set-up,
  // handed to the finaliser by the finish.
  DocumentLibrary m_library;
};

}  // namespace tovrani
