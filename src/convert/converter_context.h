// The state of one conversion: the parts each layer owns, one on top of
// the other (shell and options, the movie read, the FLA writer, media,
// shapes, timelines), and on top of them the driver's own fields.
//
// Field names are the converter's own (m_...). A function below the driver
// takes the part its folder owns; add a new field to the part of the code
// that writes it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "convert/id_row_index.h"
#include "convert/output_set.h"
#include "convert/video_tags.h"
#include "convert/placements.h"
#include "convert/sound_layers.h"
#include "platform/id_range_list.h"
#include "timeline/timeline_context.h"

namespace tovrani {

class OutputTarget;
class RunInputs;

struct ConverterContext : TimelineContext {
  // Hands the shape decoders the analysis their objects go through.
  ConverterContext();

  // ---- per-file conversion (the driver around the engine) ----
  // Destination of the automatic naming road, ending with a '/'.
  std::string m_strOutputFolder;
  uint8_t m_bInConversion = 0;
  uint8_t m_bSuppressPanel = 0;
  // "Missing Font Warning" was set for this run; the value to write back.
  uint8_t m_bFontWarningSet = 0;
  std::string m_pszSavedFontWarning;

  // ---- conversion engine ----
  OutputTarget* m_pOutput = nullptr;    // the document under its temporary name
  // The cause of a failed conversion in the user's words, where the result
  // code alone does not tell it; empty otherwise.
  std::string m_strFailureDetail;
  // The fixed part of what a conversion may write (MaxWrittenBytes). The
  // program keeps kWriteAllowance; a caller may lower it to reach the bound
  // with a small movie.
  uint64_t m_nWriteAllowance = kWriteAllowance;
  // The output of the document being converted: its folders, the run's
  // lock and the import movies staged (convert/output_set.h).
  std::unique_ptr<DocumentOutput> m_outputRun;
  // Shapes and morph shapes whose movies for the script could not be
  // written: how many, and the first (its tag and character id), for one
  // message each after the tag loop.
  struct UnwrittenImportMovies {
    uint32_t count = 0;
    uint16_t firstCode = 0, firstId = 0;
    void Note(uint16_t code, uint16_t id) {
      if (!count++) firstCode = code, firstId = id;
    }
  };
  UnwrittenImportMovies m_unwrittenShapeMovies, m_unwrittenMorphMovies;
  // Per output folder: the leftovers of killed runs found there, read once a
  // run (convert/output_set.cpp).
  std::unordered_map<std::string, std::vector<std::string>> m_outputLeftovers;
  // The inputs of the run, which the sweep and the recovery of an output
  // leave be (convert/run_inputs.h); null outside a run.
  const RunInputs* m_runInputs = nullptr;
  // Set by the per-file driver, which commits the whole document set itself:
  // the finish then leaves the FLA under its temporary name, given here.
  uint8_t m_bDeferDocumentCommit = 0;
  std::string m_strFlaTempPath;
  FileIdentity m_flaTempIdentity;  // the FLA's temporary as it was made
  std::string m_strSwfWorkPath;         // the work copy, or "tmp.swf" when inflated
  std::string m_szPublishSwfName;       // output file name with "swf" for its extension
  bool m_bSwfCompressed = false;        // "tmp.swf" is the movie being read
  std::FILE* m_pPageWorkFile = nullptr;          // the scene page ("m.g12")
  std::FILE* m_pActionLayerFile = nullptr;
  uint8_t m_nFileAttributes = 0;
  std::unordered_map<uint16_t, size_t> m_linkageIndex;  // character id -> row of m_pLinkages
  uint32_t m_nStaticTextExtraBytes = 0;  // CSMTextSettings appended to this text tag
  uint8_t m_bSceneShortLead = 0;  // g_shortLayerEndLead after the scene build, for the finish
  // The scene's sound layers ("m.g15", "m.g14") and their frame marks.
  SoundLayerState m_sceneSounds;
  // Character ids of the sounds that became library items.
  std::unordered_set<uint16_t> m_soundItemIds;
  uint16_t m_wSceneFrames = 0;  // the frame count the scene build was given
  DepthIdCache m_depthIdCache;     // its count() is the depth-id cache count
  IdRangeList m_shapeIdRanges;     // the shape ids typed by the user
  DisplayEventIndex m_movieEventIndex;  // over the depth pass's records of the main movie
  std::unordered_map<uint16_t, VideoDepthState> m_videoDepthStates;  // by depth
  std::unordered_map<uint16_t, PlacedCharacter> m_placedCharacters;  // by character id
  // Sprites that place a character defined after them, converted when the
  // scene is built (convert/sprite_tags.cpp), and the first offset of each
  // character's definition from where the one scan for them started.
  struct DeferredSprite {
    uint16_t id = 0;
    std::vector<uint8_t> body;  // with room for an End tag
    uint32_t length = 0;
    uint64_t fileOffset = 0;
    std::vector<uint16_t> placed;  // the characters its placements name
  };
  std::vector<DeferredSprite> m_deferredSprites;
  std::unordered_map<uint16_t, uint64_t> m_laterDefinitions;
  uint64_t m_laterDefinitionsFrom = UINT64_MAX;  // UINT64_MAX: not scanned yet
  bool m_bConvertingDeferred = false;
  MorphRunHeads m_morphRunHeads;
  // The top-level bitmap tags of the work copy (header included), for the
  // shapes' movies for the script, indexed as the tag loop meets them: by
  // character id (the first definition wins, as in the player) and the
  // first JPEGTables tag (size 0 while there is none).
  struct MovieTag {
    uint16_t code = 0;
    uint64_t offset = 0, size = 0;
  };
  std::unordered_map<uint16_t, MovieTag> m_bitmapTags;
  MovieTag m_jpegTablesTag;
  // Names of the fonts found not installed, each once, joined by ", " in
  // tag order.
  std::string m_strMissingFonts;
  uint32_t m_nMissingFonts = 0;
  std::unordered_set<std::string> m_missingFontNames;
  uint32_t m_nFontTagsRefused = 0;  // font tags met with the font table full
  // m_library.fonts by font id (a later record marked when it has a device
  // font's name), m_pEditTexts and m_pStaticTexts by character id
  // (convert/font_tags.cpp).
  IdRowIndex m_fontRows, m_editTextRows, m_staticTextRows;

  // ---- static text (convert/static_text.cpp) ----
  // "ffst" as far as it was read: each byte is read once per conversion.
  std::vector<uint8_t> m_staticTextFonts;
  uint32_t m_nStaticTextRow = 0;  // the row kept for a glyph-instance page
  uint32_t m_nDummyShapes = 0;       // made for texts of a movie without fonts
  bool m_bDummyShapesFull = false;   // a text found no dummy left (and was named)

  // ---- bitmaps (convert/bitmap_tags.cpp) ----
  // The encoding tables of the last JPEGTables tag (without its start and
  // end markers), inserted into the JPEG of each DefineBits.
  std::vector<uint8_t> m_pJpegTables;

  // ---- buttons (convert/button_sounds.cpp) ----
  // The rows of m_pButtonSounds by button id, in table order; built at the
  // first button once the table holds m_nButtonSoundsIndexed rows.
  std::unordered_map<uint16_t, std::vector<uint32_t>> m_buttonSoundRows;
  size_t m_nButtonSoundsIndexed = 0;

  // ---- sprites and video (convert/sprite_tags.cpp, convert/video_tags.cpp) ----
  std::FILE* m_pSpriteAuxStream = nullptr;  // the sprite's "ActionScript" layer file
  // The VideoFrame tags of the movie, indexed by the first video stream.
  VideoFrameIndex m_videoFrameIndex;
  // The ids of the video streams converted: the first stream of an id is
  // the one the player keeps.
  std::unordered_set<uint16_t> m_videoIds;
};

// Empties the main timeline's display state: its layers, depth cache,
// video states, placed characters, morph runs, videos and button items.
void ClearMainTimelineState(ConverterContext& ctx);

// The conversion in progress, for helpers that take no context argument.
extern ConverterContext* g_pConverter;

}  // namespace tovrani
