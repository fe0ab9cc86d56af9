#include "convert/conversion_finish.h"

#include <algorithm>
#include <vector>

#include <sys/stat.h>

#include "fla/compound_file.h"
#include "fla/contents_stream.h"
#include "fla/document_finaliser.h"
#include "fla/file_helpers.h"
#include "fla/layer_records.h"
#include "fla/stream_placement.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "convert/output_set.h"
#include "convert/static_text.h"
#include "convert/stream_helpers.h"
#include "fla/work_folder.h"
#include "fla/write_bound.h"

namespace tovrani {

uint16_t NextFreeItemNo(const ConverterContext& ctx, const DocumentLibrary& library) {
  uint32_t next = 1;
  for (uint32_t i = 0; i < ctx.m_nStreams; ++i) next = std::max<uint32_t>(next, ctx.m_pStreamItemNo.at(i) + 1u);
  for (const auto& b : library.bitmaps) next = std::max<uint32_t>(next, b.itemNo + 1u);
  for (const auto& s : library.sounds) next = std::max<uint32_t>(next, s.itemNo + 1u);
  const uint16_t wrapped = uint16_t(next);
  return wrapped == 0 ? 0xE000 : wrapped;
}

namespace {

class Finish {
 public:
  Finish(ConverterContext& ctx, DocumentLibrary& library) : ctx_(ctx), lib_(library) {}
  uint32_t Run();

 private:
  void RemoveWorkFile(const char* name) {
    if (ctx_.m_pWorkFolder) ctx_.m_pWorkFolder->removeFile(name);
  }
  bool AppendTrailingLayers();
  bool PlaceScenePage();
  uint64_t ScriptBytes() const;
  uint32_t Assemble();

  ConverterContext& ctx_;
  DocumentLibrary& lib_;
};

bool Finish::AppendTrailingLayers() {
  std::FILE* page = ctx_.m_pPageWorkFile;
  if (!page || std::fseek(page, 0, SEEK_END) != 0) return false;
  // The first layer appended drops its first byte when the scene build left
  // the short lead, so that its record starts with the short head.
  bool skipFirst = ctx_.m_bSceneShortLead != 0;
  const SoundLayerState& sounds = ctx_.m_sceneSounds;
  std::FILE* layers[2] = {sounds.eventsSeen ? sounds.eventFile : nullptr,
                          sounds.streamSeen ? sounds.streamFile : nullptr};
  for (std::FILE* layer : layers) {
    if (!layer) continue;
    if (std::fseek(layer, 0, SEEK_END) != 0 || !AppendStreamFile(layer, page, skipFirst)) return false;
    skipFirst = false;
  }
  return std::fflush(page) == 0;
}

bool Finish::PlaceScenePage() {
  // Copied from its work file piece by piece: a long timeline's page is
  // not held in memory a second time.
  std::FILE* page = ctx_.m_pPageWorkFile;
  const int64_t size = page ? FileSizeOf(page) : -1;
  if (size < 0 || uint64_t(size) > kMaxMovieBytes) return false;
  // A long timeline's page takes a while to place.
  if (ReadCancelRequest(ctx_)) return true;
  StreamPlacement where;
  if (!AppendStreamFromFile(ctx_, page, uint64_t(size), where)) return false;
  ctx_.m_nScenePageSize = uint32_t(size);
  ctx_.m_nScenePageStart = where.start;
  return true;
}

// The script as written so far: its temporary, or the file its path names.
uint64_t Finish::ScriptBytes() const {
  struct stat st {};
  const bool known = ctx_.m_nJsflFd >= 0 ? ::fstat(ctx_.m_nJsflFd, &st) == 0
                                         : !ctx_.m_strJsflPath.empty() && ::stat(ctx_.m_strJsflPath.c_str(), &st) == 0;
  return known ? uint64_t(st.st_size) : 0;
}

uint32_t Finish::Assemble() {
  OutputTarget* out = ctx_.m_pOutput;
  if (!out || !out->file()) return kResultOutputLocked;
  if (ctx_.m_nWriterError) return uint32_t(ctx_.m_nWriterError);
  if (ctx_.m_pShell) ctx_.m_pShell->SetCurrentAction("writing the FLA document...");

  // The library part and the publish settings complete the Contents stream
  // before it is laid into the container.
  std::vector<uint32_t> folderIds;
  uint32_t word = 0;
  if (uint32_t r = FinishDocument(ctx_, lib_, folderIds, word); r != 0) return r;
  if (ctx_.m_nWriterError) return uint32_t(ctx_.m_nWriterError);

  if (ReadCancelRequest(ctx_)) return kResultCancelled;
  std::string why;
  CompoundFileResult written = WriteCompoundFile(out->file(), ctx_, ctx_.m_nScenePageSize,
                                                 ctx_.m_nScenePageStart, g_contents.Bytes(), &why);
  if (written == CompoundFileResult::kTooLarge) return kResultTooManyItems;
  if (written != CompoundFileResult::kOk) return kResultOutputIncomplete;
  // A work file that could not go to disk lost bytes the document needs.
  if (ctx_.m_pWorkFolder && ctx_.m_pWorkFolder->failed()) return kResultOutputIncomplete;
  // The set as written, the container's tables included, must fit the
  // bound; past it nothing is committed.
  if (WriteBound* bound = WriteBoundOf(ctx_)) {
    const int64_t fla = FileSizeOf(out->file());
    if (fla < 0) return kResultOutputIncomplete;
    if (!bound->Holds(uint64_t(fla) + ScriptBytes() + StagedBytes(ctx_))) return kResultDocumentTooLarge;
  }
  if (ReadCancelRequest(ctx_)) return kResultCancelled;
  ctx_.m_flaTempIdentity = out->identity();
  if (ctx_.m_bDeferDocumentCommit) {
    ctx_.m_strFlaTempPath = out->release();
    return ctx_.m_strFlaTempPath.empty() ? uint32_t(kResultOutputIncomplete) : uint32_t(kResultDone);
  }
  // The import movies before the document that names them.
  const std::string flaTemp = out->release();
  return CommitDocumentSet(ctx_, {}, {}, flaTemp, out->finalPath());
}

uint32_t Finish::Run() {
  // 1. Work files no longer needed.
  for (const char* name : {"ffst", "Circ.tmp", "Progress"}) RemoveWorkFile(name);
  // 2. The conversion's tables: the main timeline's display state and what
  // the depth pass left.
  ClearMainTimelineState(ctx_);
  ctx_.m_movieEventIndex = DisplayEventIndex();
  ctx_.m_pMovieLayerDepths.clear();
  ctx_.m_pMovieMaskDepths.clear();
  ctx_.m_pMovieEvents.clear();
  ctx_.m_pSpriteEvents.clear();
  // 3.
  if (ctx_.m_pShell) ctx_.m_pShell->SetMainProgress(uint32_t(ctx_.m_nSwfEnd));
  // 4. The inflated movie is still open for reading; removing its name is
  // enough, the engine closes it.
  if (ctx_.m_bSwfCompressed) RemoveWorkFile("tmp.swf");
  // 5.
  ctx_.m_wNextFreeItemNo = NextFreeItemNo(ctx_, lib_);
  // A cancel read from here on abandons the document: nothing more is
  // written, the clean-up still runs.
  const bool abandoned = ReadCancelRequest(ctx_);

  // The container's work files are the engine's, open since its set-up.
  if (!ctx_.m_pBigSectorFile || !ctx_.m_pMiniStreamFile || !ctx_.m_pMediaDirFile ||
      !ctx_.m_pSymbolDirFile)
    NoteWriterFailure(ctx_, kResultOutputIncomplete);
  // 6, 7. Trailing layers, then the scene page placed.
  if (!abandoned && !ctx_.m_nWriterError && (!AppendTrailingLayers() || !PlaceScenePage()))
    NoteWriterFailure(ctx_, kResultOutputIncomplete);
  // 8. The button sounds and the placement statistics.
  ctx_.m_pButtonSounds.clear();
  ctx_.m_pPlacementStats.clear();
  // 9-11. The page and layer files are the engine's and close with it. The
  // mini stream keeps its 64-byte padding: the assembly continues it with
  // the Contents stream at the next mini sector.
  int64_t mini = ctx_.m_pMiniStreamFile ? FileSizeOf(ctx_.m_pMiniStreamFile) : 0;
  ctx_.m_nMiniStreamSize = mini < 0 ? 0 : uint32_t(mini);
  for (const char* name : {"m.g12", "m.g13", "m.g14", "m.g15"}) RemoveWorkFile(name);
  if (ctx_.m_nSwfVersion >= 6) RemoveWorkFile("ClassLess.tmp");

  // 12. The document.
  uint32_t result = abandoned || ReadCancelRequest(ctx_) ? kResultCancelled : Assemble();
  if (result != kResultDone) {
    if (ctx_.m_pOutput) ctx_.m_pOutput->discard();
    DiscardStagedFiles(ctx_);
  }

  // 14. Clean-up.
  PublishGroupOrCleanup(ctx_, false);
  if (ctx_.m_pShell) ctx_.m_pShell->SetCurrentAction("idle...");
  RemoveWorkFile("___.___");
  g_contents.Release();
  return result;
}

}  // namespace

uint32_t FinishConversion(ConverterContext& ctx, DocumentLibrary& library) {
  return Finish(ctx, library).Run();
}

uint32_t FinishConversion(ConverterContext& ctx) {
  DocumentLibrary& library = ctx.m_library;
  // The morph table's rows for the script: the element symbols of the exact
  // road and the symbols the timelines made to show each morph.
  library.morphs.clear();
  for (uint32_t i = 0; i < ctx.m_wMorphShapes && i < ctx.m_pMorphShapes.size(); ++i) {
    const MorphShapeEntry& entry = ctx.m_pMorphShapes[i];
    DocumentLibrary::Morph& row = library.morphs.emplace_back();
    row.startItemNo = entry.wStartItemNo;
    row.endItemNo = entry.wEndItemNo;
    for (const MorphVariant& v : entry.variants) {
      row.symbolItemNos.push_back(v.itemNo);
      row.easings.push_back(v.easing);
    }
  }
  // The engine's own publish pairs travel inside the publish-settings chunk.
  library.morePublishGroups = [&ctx](ContentsStream& contents, uint8_t level) {
    PublishGroupOrCleanup(ctx, true);
    WriteStaticTextPublishGroups(contents, level, ctx.m_rcFrame);
  };
  return FinishConversion(ctx, library);
}

}  // namespace tovrani
