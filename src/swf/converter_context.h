// The state of one conversion as the converters see it.
//
// Field names are the converter's own (m_...). Each subsystem keeps its fields
// in its own block below; add new fields to the block of the code that owns
// them. Options are read only through the pointers to their state bytes
// (non-zero = on), which point into `options` unless a caller redirects them.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "fla/stream_table.h"
#include "fla/class_tags.h"
#include "platform/shell_services.h"
#include "swf/linkage.h"
#include "swf/swf_values.h"
#include "swf/display_list.h"
#include "swf/id_range_list.h"
#include "swf/placements.h"
#include "swf/tag_statistics.h"
#include "timeline/depth_handoff.h"
#include "timeline/display_events.h"
#include "timeline/video_stream.h"

namespace tovrani {

class WorkFolder;
class OutputTarget;

// The state bytes of the option items, with the program's defaults.
struct OptionStates {
  uint8_t grid = 0, guides = 0, rulers = 0, timeline = 1, workArea = 1;
  uint8_t snapToGrid = 0, snapToGuides = 0, snapToObjects = 1, snapToPixels = 0;
  uint8_t sound = 1, button = 1, frameLabel = 1, linkage = 1, mainTimeline = 1;
  uint8_t morphShape = 1, picture = 1, shape = 1, sprite = 1, text = 1, video = 1;
  uint8_t shapeJsflImport = 0;
  uint8_t exactProblemSearch = 0, heuristicProblemSearch = 1, noProblemSearch = 0;
  uint8_t closerVectorization = 0;
  uint8_t pictureFolder = 1, soundFolder = 1, videoFolders = 1, collapseFolders = 0;
  // "Static Text" radio group; "Convert All To Shapes" is none of these on.
  uint8_t textJsflImport = 0, textToTextfields = 0, textBreakApart = 0;
  uint8_t askMissingFonts = 0, saveInNewFolder = 0, useJsfl = 1;
  uint8_t approximateMotionTweens = 0, approximateEasing = 0;
  uint32_t approximation = 10;  // "MOTP", 0-100
};

struct ConverterContext {
  ConverterContext();
  ConverterContext(const ConverterContext&) = delete;
  ConverterContext& operator=(const ConverterContext&) = delete;

  // ---- shell and options ----
  ShellServices* m_pShell = nullptr;  // never null once a conversion runs
  OptionStates options;
  uint8_t* m_pOptGrid;
  uint8_t* m_pOptGuides;
  uint8_t* m_pOptRulers;
  uint8_t* m_pOptTimeline;
  uint8_t* m_pOptWorkArea;
  uint8_t* m_pOptSnapToGrid;
  uint8_t* m_pOptSnapToGuides;
  uint8_t* m_pOptSnapToObjects;
  uint8_t* m_pOptSnapToPixels;
  uint8_t* m_pOptSound;
  uint8_t* m_pOptButton;
  uint8_t* m_pOptFrameLabel;
  uint8_t* m_pOptLinkage;
  uint8_t* m_pOptMainTimeline;
  uint8_t* m_pOptMorphShape;
  uint8_t* m_pOptPicture;
  uint8_t* m_pOptShape;
  uint8_t* m_pOptSprite;
  uint8_t* m_pOptText;
  uint8_t* m_pOptVideo;
  uint8_t* m_pOptShapeJsflImport;
  uint8_t* m_pOptExactProblemSearch;
  uint8_t* m_pOptHeuristicProblemSearch;
  uint8_t* m_pOptNoProblemSearch;
  uint8_t* m_pOptCloserVectorization;
  uint8_t* m_pOptPictureFolder;
  uint8_t* m_pOptSoundFolder;
  uint8_t* m_pOptVideoFolders;
  uint8_t* m_pOptCollapseFolders;
  uint8_t* m_pOptTextJsflImport;
  uint8_t* m_pOptTextToTextfields;
  uint8_t* m_pOptTextBreakApart;
  uint8_t* m_pOptAskMissingFonts;
  uint8_t* m_pOptSaveInNewFolder;
  uint8_t* m_pOptUseJsfl;
  uint8_t* m_pOptApproximateMotionTweens;
  uint8_t* m_pOptApproximateEasing;
  uint8_t m_bCancel = 0;

  // ---- per-file conversion (the driver around the engine) ----
  // Destination of the automatic naming road, ending with a '/'.
  std::string m_strOutputFolder;
  // Folders of the per-document small movies and media, named after the FLA.
  std::string m_strShapesFolder, m_strStaticTextFolder, m_strPicturesFolder;
  std::string m_strSoundsFolder, m_strVideosFolder;
  uint8_t m_bInConversion = 0;
  uint8_t m_bSuppressPanel = 0;
  // "Missing Font Warning" was set for this run; the value to write back.
  uint8_t m_bFontWarningSet = 0;
  std::string m_pszSavedFontWarning;

  // ---- format and input ----
  uint8_t m_nFlaFormat = 0;   // 0 below SWF 7, 1 for SWF 7, 2 from SWF 8
  uint8_t m_nSwfVersion = 0;
  std::FILE* m_pSwfFile = nullptr;  // the work copy being read
  uint64_t m_nSwfEnd = 0;

  // ---- FLA writer: page streams, stream tables, library ----
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
  // Streams in directory order: row + 0x1000000 (symbol), + 0x4000000
  // (sound), + 0x8000000 (video) for regular-sector streams, 0 for mini.
  StreamTable<uint32_t> m_pBigStreamList;
  uint32_t m_nBigStreamList = 0;
  uint32_t m_nSymbolStreams = 0;
  uint16_t m_wCurSymbolId = 1;  // names the next symbol entry
  uint16_t m_wNextItemNo = 1;
  uint32_t m_nLastSymbolDirEntry = 0;  // directory index of the last symbol entry
  // First failure of the FLA writer (0 none): a failed work-file write gives
  // kResultOutputIncomplete, exhausted 16-bit counters kResultTooManyItems.
  int m_nWriterError = 0;
  // The script beside the output (its path with ".jsfl" appended) and
  // whether a piece of the document's finish reached it.
  std::string m_strJsflPath;
  uint8_t m_bJsflWritten = 0;
  // Item numbers of the symbols the script rebuilds by import: static texts
  // and shapes (filled by their converters, read by the finaliser).
  std::vector<uint16_t> m_pJsflStaticTextIds, m_pJsflShapeIds;
  // Set by the finish: one more than the highest item number in use, and
  // where the scene page went.
  uint16_t m_wNextFreeItemNo = 1;
  uint32_t m_nScenePageSize = 0, m_nScenePageStart = 0;
  uint32_t m_nMiniStreamSize = 0;
  // -- document properties (set by the driver, read by the finaliser; they
  // belong to the FLA writer's part of the context) --
  uint32_t m_rgbBackground = 0xFFFFFF;  // R | G << 8 | B << 16 (SetBackgroundColor)

  // ---- conversion engine ----
  WorkFolder* m_pWorkFolder = nullptr;  // the conversion's private folder
  OutputTarget* m_pOutput = nullptr;    // the document under its temporary name
  std::string m_strSwfWorkPath;         // the work copy, or "tmp.swf" when inflated
  std::string m_szPublishSwfName;       // output file name with "swf" for its extension
  bool m_bSwfCompressed = false;        // "tmp.swf" is the movie being read
  SwfRect m_rcFrame;
  uint16_t m_wFrameRate = 0, m_wFrameCount = 0;  // as the header gives them
  std::FILE* m_pPageWorkFile = nullptr;          // the scene page ("m.g12")
  std::FILE* m_pActionLayerFile = nullptr;
  std::FILE* m_pStreamSoundLayerFile = nullptr;
  std::FILE* m_pEventSoundLayerFile = nullptr;
  uint8_t m_nFileAttributes = 0;
  uint32_t m_nStaticTextExtraBytes = 0;  // CSMTextSettings appended to this text tag
  std::vector<LinkageRecord> m_pLinkages;  // m_wLinkages is its size
  uint8_t m_bSceneTimeline = 0, m_bPageFlag = 0;
  uint8_t m_bSceneShortLead = 0;  // g_shortLayerEndLead after the scene build, for the finish
  uint8_t m_bEventSoundsSeen = 0, m_bStreamSoundSeen = 0;
  uint16_t m_wSceneFrames = 0;  // the frame count the scene build was given
  // Placements per used depth of the last sprite counted, ascending by depth.
  std::vector<PlacementStat> m_pPlacementStats;
  DepthIdCache m_depthIdCache;     // its count() is the depth-id cache count
  IdRangeList m_shapeIdRanges;     // the shape ids typed by the user
  // The main timeline's display state, kept by the placement handlers
  // (placements.h; m_depthIdCache is its depth-id cache) and read by the
  // scene build.
  DepthLayerTable m_movieLayers;
  DisplayEventIndex m_movieEventIndex;  // over the depth pass's records of the main movie
  std::unordered_map<uint16_t, VideoDepthState> m_videoDepthStates;  // by depth
  std::unordered_map<uint16_t, PlacedCharacter> m_placedCharacters;  // by character id
  std::unordered_map<int32_t, int32_t> m_morphRunHeads;  // layer index -> entry starting its last run
  // The bitmap tags copied into "ffsp" (header included), indexed as they
  // are appended: by character id (the first definition wins, as in the
  // player) and the first JPEGTables tag (size 0 while there is none).
  struct SideCopyTag {
    uint16_t code = 0;
    uint64_t offset = 0, size = 0;
  };
  std::unordered_map<uint16_t, SideCopyTag> m_bitmapSideCopies;
  SideCopyTag m_jpegTablesSideCopy;
  uint64_t m_nBitmapSideCopyEnd = 0;  // bytes in "ffsp"

  // ---- timeline builder ----
  // Left by the depth and mask-layer pass: the main movie's and the last
  // sprite's display-list events and hand-off tables, and the main movie's
  // init-action and button-sound tables.
  std::vector<DisplayEvent> m_pMovieEvents;
  std::vector<DisplayEvent> m_pSpriteEvents;
  std::vector<DepthHandoff> m_pMovieLayerDepths;
  std::vector<DepthHandoff> m_pSpriteLayerDepths;
  std::vector<CharacterRestore> m_pMovieMaskDepths;
  std::vector<CharacterRestore> m_pSpriteMaskDepths;
  std::vector<InitActionRecord> m_pInitActions;
  std::vector<ButtonSoundRecord> m_pButtonSounds;
  // The scene page's archive state (class indexes and object counts).
  PageClassState m_sceneClassState;
  // One row per DefineVideoStream.
  std::vector<VideoStreamRecord> m_pVideos;
  // Buttons whose instances carry text: button id -> item number.
  std::unordered_map<uint16_t, uint16_t> m_pButtonItemMap;

  // ---- shapes ----
  uint8_t m_bShapesOn = 0;       // the "Shape" option, set before each shape tag
  uint16_t m_wCurShapeId = 0;    // character id of the shape being converted
  uint8_t m_bShapePagePlaced = 0;  // the current shape's page went into the container
  size_t m_nShapeHeadPos = 0;    // page position of the open shape object's style tables
  // Copies of finished one-object shapes without transparency: the count
  // field, style tables and edge records, from the page's count field on.
  struct ShapeCacheRecord {
    uint32_t unused = 0;
    std::vector<uint8_t> copy;
  };
  std::vector<ShapeCacheRecord> m_pShapeCache;
  uint32_t m_nShapeCacheIndex = 0;  // the record the next shape fills
};

// Empties the main timeline's display state: its layers, depth cache,
// video states, placed characters, morph runs, videos and button items.
void ClearMainTimelineState(ConverterContext& ctx);

// The conversion in progress, for helpers that take no context argument.
extern ConverterContext* g_pConverter;

}  // namespace tovrani
