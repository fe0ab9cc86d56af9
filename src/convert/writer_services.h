// Work that the converters hand to the document writer: one named function
// per job. Each is defined by the code that first needs it; the comment says
// what it writes and what its callers rely on afterwards. The arguments
// beyond the converter are fixed by that code. Jobs whose code does them
// under a name of its own are listed by that name.
#pragma once

#include <cstdint>
#include <span>

namespace tovrani {

struct ConverterContext;
struct MorphShapeEntry;

// ---- document writer: set-up, scene, finish ----
// These jobs are done by the code that needs them, under its own names:
// - engine set-up (page-head template filled, work copy open as m_pSwfFile
//   with m_nSwfEnd set, frame rate and frame count taken): Engine::SetUp in
//   convert/engine.cpp;
// - the scene's event-sound and stream-sound layers closed at the scene
//   build: the sound hooks of EngineServices (convert/engine.h), called by the
//   tag loop, which DefaultEngineServices sets to the closing functions of
//   convert/sound_layers.h;
// - the finish (compound-file header and directory, the sector-filling
//   block, allocation tables, the Contents stream laid in, the clean-up):
//   FinishConversion (convert/conversion_finish.h) with WriteCompoundFile
//   (fla/compound_file.h).

// ---- document writer: per tag ----

// Shapes and morph shapes: the shape item opened before and closed after the
// decoder's work (page stream, stream tables).
void OpenShapeItem(ConverterContext& cv);
void CloseShapeItem(ConverterContext& cv);
// Bitmaps: the lead bytes of a bitmap media record, the bytes between its
// bounds and its data, and the media stream closed with its directory entry:
// WriteBitmapMediaLead, WriteBitmapMediaMiddle and CloseBitmapMediaStream
// (fla/bitmap_media.h).
// Sounds: the sound item closed (media stream placed, library record added,
// media number advanced) by PlaceSound in convert/sound_tags.cpp; the layer
// record of a further StartSound in the same frame by
// StartSoundLayerRecord (fla/sound_records.h).
// Video: the blocks of the video stream's head, the index entries of missing
// frames, and the (empty) stream of a video without frames are laid out by
// VideoMediaWriter and HandleDefineVideoStream (convert/video_tags.h).
// Sprites: the two steps after the sprite's tag loop (the layer end of value
// 3 when no sound or action layer follows the builder's layers, and the page
// placed with PlaceSymbolStream as a movie clip) are done by
// HandleDefineSprite (convert/sprite_tags.h).
// Buttons: the page head completed at level 2 and the first frame's version
// word, further frames begun, layers closed and the next begun are done by
// ButtonPage (convert/button_tags.cpp); a movie-clip element is written whole
// by WriteSymbolInstance (timeline/symbol_instance.h); the default sound
// envelope and the finished sound frame by WriteSoundBlock
// (fla/sound_records.h) with FinishLastFrameOld/New, in the sound layers of
// convert/button_sounds.cpp; the page placed as a button symbol stream by
// ConvertButton with PlaceSymbolStream (flag B 1, flag C TrackAsMenu).
// Static text: the static-text page closed and placed.
void PlaceStaticTextPage(ConverterContext& cv);
// The library records' parts the finaliser would leave open are written by
// FinishDocument itself (fla/document_finaliser.h).

// ---- per-tag conversions handed on by the tag handlers ----

// Shapes with the JSFL-import option on: the shape tag (its body from the
// character id on) written as a small movie "Symbol n.swf" in
// m_strShapesFolder, an empty "Layer 1" page placed for row m_nStreams
// (m_bShapePagePlaced set; CloseShapeItem commits it) and the item number
// added to m_pJsflShapeIds, so the finaliser files the symbol under
// "_Shapes_" and writes the script piece that imports the movie. Anything
// but kImported leaves nothing placed: the shape takes the ordinary road.
enum class ShapeImport {
  kImported,
  kNoMovie,     // its movie could not be written (the folder is not writable)
  kNotTaken,    // no work folder or page, or a body too short
  kOverBudget,  // its bitmaps overdraw the movie's allowance of copies (the first one named)
};
ShapeImport ConvertShapeForJsflImport(ConverterContext& cv, uint16_t code, std::span<const uint8_t> body);
// Morph shapes with the JSFL-import option on: the body (from the character
// id on) decoded into `entry`, and its start and end shapes made two such
// symbols, "Symbol n.swf" and "Symbol n+1.swf" each holding the morph tag
// placed at ratio 0 or 65535 (a DefineMorphShape with its fully
// transparent colours at alpha 1), their pages committed and item numbers
// (entry's start and end item numbers) added to m_pJsflShapeIds.
enum class MorphImport {
  kImported,    // the entry is filled; count it
  kRefused,     // the body or a page failed: the entry must not be counted
  kNotTaken,    // nothing done: the morph takes the exact road
  kNoMovie,     // its movies could not be written: the exact road too
  kOverBudget,  // its bitmaps overdraw the movie's allowance of copies: the exact road too
};
MorphImport ConvertMorphForJsflImport(ConverterContext& cv, MorphShapeEntry& entry, uint16_t code,
                                      std::span<const uint8_t> body);
// Bitmaps: the JPEG media record of DefineBits and DefineBitsJPEG2
// (WriteJpegMediaRecord, fla/bitmap_media.h); width and height of a lossless
// bitmap set (SetLosslessBitmapSize in the bitmap handler,
// convert/bitmap_tags.cpp).
// Sounds: nothing is needed at the start of DefineSound beyond
// HandleDefineSound (convert/sound_tags.h).
// Video: the video record is filled from DefineVideoStream by
// HandleDefineVideoStream (convert/video_tags.h).
// Linkage: the records' names and URLs filled and new records appended by
// HandleLinkageTag (convert/linkage.h).

// Buttons: nothing is needed at the start of a button tag beyond
// ConvertButton (convert/button_tags.h).
// Fonts: a new font record appended to the library from a font body
// (convert/font_tags.cpp). DefineFont2/3: id, flags word, bold, italic,
// name, name-known, defining tag. DefineFont: id and the glyphs, no name.
void FillFontRecord(ConverterContext& cv, uint16_t code, std::span<const uint8_t> body);

// ---- publish settings ----
// The engine's set-up needs nothing of the publish settings. The finaliser
// writes the publish groups (WritePublishSettingsChunk in
// fla/publish_properties.h) and the engine's own pairs through
// DocumentLibrary::morePublishGroups (PublishGroupOrCleanup,
// convert/stream_helpers.h).

}  // namespace tovrani
