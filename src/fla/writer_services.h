// Work that the converters hand to the document writer: one named function
// per job. Each is defined by the code that first needs it; the comment says
// what it writes and what its callers rely on afterwards. The arguments
// beyond the converter are fixed by that code.
#pragma once

#include <cstdint>

namespace tovrani {

struct ConverterContext;

// ---- document writer: set-up, scene, finish ----

// Engine set-up: the page-head template file filled, the work copy open as
// m_pSwfFile with m_nSwfEnd set, the header's frame rate and frame count
// taken after the frame rectangle.
int BeginDocumentWork(ConverterContext& cv);
// Scene build in the tag loop: the event-sound and stream-sound layers of the
// scene closed.
void CloseSceneSoundLayers(ConverterContext& cv);
// Finish: the compound file's header and the fixed directory entries.
void WriteContainerOpening(ConverterContext& cv);
// Finish: the block whose 128-byte pieces fill the sector after the
// directory work files.
void PrepareSectorFillBlock(ConverterContext& cv);
// Finish: the rest of the container (allocation tables, mini-FAT, directory,
// the Contents stream laid in last).
void WriteContainerClosing(ConverterContext& cv);
// Finish: the writer's last call, its clean-up.
void EndDocumentWork(ConverterContext& cv);

// ---- document writer: per tag ----

// Shapes and morph shapes: the shape item opened before and closed after the
// decoder's work (page stream, stream tables).
void OpenShapeItem(ConverterContext& cv);
void CloseShapeItem(ConverterContext& cv);
// Bitmaps: the lead bytes of a bitmap media record, the bytes between its
// bounds and its data, and the media stream closed with its directory entry.
void WriteBitmapMediaLead(ConverterContext& cv);
void WriteBitmapMediaMiddle(ConverterContext& cv);
void CloseBitmapMediaStream(ConverterContext& cv);
// Sounds: the sound item closed; the layer-record template of a further
// StartSound in the same frame.
void CloseSoundItem(ConverterContext& cv);
void WriteStartSoundLayerTemplate(ConverterContext& cv);
// Video: the blocks of the video stream's head, the index entries of missing
// frames, and the stream of a video without frames.
void WriteVideoStreamHead(ConverterContext& cv);
void WriteMissingVideoFrames(ConverterContext& cv);
void WriteEmptyVideoStream(ConverterContext& cv);
// Sprites: the two steps after the sprite's tag loop (page closed, page
// placed as a symbol stream).
void CloseSpritePage(ConverterContext& cv);
void PlaceSpritePage(ConverterContext& cv);
// Buttons: frames begun, layers closed and begun, the movie-clip instance
// completed, the default sound envelope, sound frames finished, the page
// placed as a symbol stream.
void BeginButtonFrame(ConverterContext& cv);
void CloseButtonLayer(ConverterContext& cv);
void BeginButtonLayer(ConverterContext& cv);
void CompleteButtonClipInstance(ConverterContext& cv);
void WriteDefaultSoundEnvelope(ConverterContext& cv);
void FinishButtonSoundFrames(ConverterContext& cv);
void PlaceButtonPage(ConverterContext& cv);
// Static text: the static-text page closed and placed.
void PlaceStaticTextPage(ConverterContext& cv);
// Document finaliser: the parts of the library records it leaves open
// (Contents stream: symbol page fields, media class tags, folder records).
void WriteLibraryRecordPart(ConverterContext& cv);

// ---- per-tag conversions handed on by the tag handlers ----

// Shapes: the shape converted and, with the JSFL-import option on, its small
// movie and script piece written.
void ConvertShapeForJsflImport(ConverterContext& cv);
// Bitmaps: the JPEG media record of DefineBits and DefineBitsJPEG2; width
// and height of a lossless bitmap set.
void WriteJpegMediaRecord(ConverterContext& cv);
void SetLosslessBitmapSize(ConverterContext& cv);
// Sounds: the work at the start of DefineSound.
void BeginDefineSound(ConverterContext& cv);
// Video: the video record filled from DefineVideoStream.
void FillVideoRecord(ConverterContext& cv);
// Linkage: the linkage records' names and URLs filled, new records appended.
void FillLinkageRecords(ConverterContext& cv);
// Buttons: the work at the start of a button tag.
void BeginButtonTag(ConverterContext& cv);
// Fonts: the font record filled from the font body.
void FillFontRecord(ConverterContext& cv);

// ---- publish settings ----

// Engine set-up: the publish-settings set-up; the engine relies on nothing
// else from it.
void BeginPublishSettings(ConverterContext& cv);
// Document finaliser: the publish pairs of the library part it leaves open
// (Contents stream, PublishPropertyPair groups). The chunk after the document
// properties is WritePublishSettingsChunk (publish_properties.h).
void WriteLibraryPublishPart(ConverterContext& cv);

}  // namespace tovrani
