#include "convert/engine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fla/contents_stream.h"
#include "fla/document_page.h"
#include "fla/file_helpers.h"
#include "fla/keyframe_records.h"
#include "fla/output_names.h"
#include "fla/stream_placement.h"
#include "convert/background.h"
#include "convert/converter_context.h"
#include "convert/output_recovery.h"
#include "convert/output_set.h"
#include "convert/shape_tags.h"
#include "swf/character_ids.h"
#include "swf/movie_budget.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"
#include "convert/sound_layers.h"
#include "convert/tag_loop.h"
#include "convert/conversion_finish.h"
#include "convert/font_tags.h"
#include "swf/tag_statistics.h"
#include "timeline/symbol_timeline.h"
#include "fla/work_folder.h"
#include "fla/write_bound.h"
#include "platform/resource_bound.h"
#include "timeline/rearrange_mask_layers.h"

namespace tovrani {

namespace {

// The scene's work files, by the names the finish removes.
constexpr const char* kWorkCopyName = "___.___";
constexpr const char* kInflatedName = "tmp.swf";
constexpr const char* kPageWorkName = "m.g12";
constexpr const char* kActionLayerName = "m.g13";
constexpr const char* kStreamSoundLayerName = "m.g14";
constexpr const char* kEventSoundLayerName = "m.g15";
// The compound file's work files: regular sectors, mini stream, media and
// symbol directory entries.
constexpr const char* kBigSectorName = "a.g12";
constexpr const char* kMiniStreamName = "b.g12";
constexpr const char* kMediaDirName = "b.g13";
constexpr const char* kSymbolDirName = "c.g12";

bool ReadAt(std::FILE* f, uint64_t pos, void* dst, size_t n) {
  return std::fseek(f, long(pos), SEEK_SET) == 0 && std::fread(dst, 1, n, f) == n;
}

uint32_t LoadU32(const uint8_t* b) {
  return b[0] | (b[1] << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

bool PutRaw(std::FILE* f, std::initializer_list<uint8_t> bytes) {
  for (uint8_t b : bytes)
    if (std::fputc(b, f) == EOF) return false;
  return true;
}

// Where the last ShowFrame-then-End (40 00 00 00) starts, searching from
// end - 4 down to offset 8, in blocks; -1 when there is none.
int64_t FindLastShowFrameEnd(std::FILE* f, uint64_t end) {
  if (end < 4) return -1;
  const uint64_t first = std::min<uint64_t>(8, end - 4);
  constexpr uint64_t kBlock = 65536;
  std::vector<uint8_t> buf(kBlock + 3);
  uint64_t hi = end - 4;  // candidate starts [lo, hi]
  for (;;) {
    uint64_t lo = hi - first + 1 > kBlock ? hi - kBlock + 1 : first;
    if (!ReadAt(f, lo, buf.data(), size_t(hi - lo + 4))) return -1;
    for (uint64_t p = hi + 1; p-- > lo;) {
      const uint8_t* b = buf.data() + (p - lo);
      if (b[0] == 0x40 && b[1] == 0 && b[2] == 0 && b[3] == 0) return int64_t(p);
    }
    if (lo == first) return -1;
    hi = lo - 1;
  }
}

// The shape builder runs with the exact problem search on, or with the
// heuristic one off.
bool ShapeBuilderMayRun(const ConverterContext& ctx) {
  return (ctx.m_pOptExactProblemSearch && *ctx.m_pOptExactProblemSearch) ||
         !(ctx.m_pOptHeuristicProblemSearch && *ctx.m_pOptHeuristicProblemSearch);
}

// Everything one conversion owns; members close and remove themselves.
class Engine {
 public:
  Engine(ConverterContext& ctx, const EngineServices& svc, ResourceScope& resources)
      : ctx_(ctx), svc_(svc), resources_(resources) {}
  ~Engine() {
    Detach();
    if (madeRun_) ctx_.m_outputRun.reset();
  }

  uint32_t Run(const std::string& source, const std::string& output);

 private:
  uint32_t SetUp(const std::string& source, const std::string& output);
  uint32_t StartLayerFiles();
  bool StartContainerFiles();
  uint32_t Inflate(uint8_t head[8]);
  uint32_t ReadHeaderRest();
  void Detach();

  ConverterContext& ctx_;
  const EngineServices& svc_;
  ResourceScope& resources_;
  WorkFolder work_;
  OutputTarget output_;
  FileHandle swf_, page_, action_, streamSound_, eventSound_;
  FileHandle bigSectors_, miniStream_, mediaDir_, symbolDir_;
  TagLoopState loop_;
  bool madeRun_ = false;  // the output's run is this engine's, not its caller's
  uint64_t sourceBytes_ = 0;  // the movie's file as the user gave it
};

void Engine::Detach() {
  // The context must not keep pointers to files and folders about to go.
  ctx_.m_pSwfFile = nullptr;
  ctx_.m_pPageWorkFile = nullptr;
  ctx_.m_pActionLayerFile = nullptr;
  ctx_.m_sceneSounds.eventFile = nullptr;
  ctx_.m_sceneSounds.streamFile = nullptr;
  ctx_.m_pPageStream = nullptr;
  ctx_.m_pBigSectorFile = nullptr;
  ctx_.m_pMiniStreamFile = nullptr;
  ctx_.m_pMediaDirFile = nullptr;
  ctx_.m_pSymbolDirFile = nullptr;
  ctx_.m_pWorkFolder = nullptr;
  ctx_.m_pOutput = nullptr;
}

uint32_t Engine::Run(const std::string& source, const std::string& output) {
  uint32_t result = SetUp(source, output);
  if (result == kResultDone) result = RunTagLoop(ctx_, loop_, svc_);
  ctx_.m_bTagLoopEnded = 1;
  // The document is not finished past the write bound, nor past the time
  // or memory the movie allows (the clock read here holds a short
  // conversion to its bound too).
  if (result == kResultDone && WriteBoundCrossed(ctx_)) result = kResultDocumentTooLarge;
  if (result == kResultDone && ResourceLookNow()) result = ResourceBoundResult();
  ReportUnwrittenImportMovies(ctx_);
  // Elements the movie's budget refused: the first was named, these count
  // the others. Then the messages held back past the cap of their kind.
  if (ctx_.m_pShell)
    for (const BudgetLine& line : BudgetSummary(ctx_.m_budget)) ctx_.m_pShell->ShowMessage(line.caption, line.text);
  ShowHeldMessageCounts(ctx_);
  if (result == kResultDone && !ReadCancelRequest(ctx_)) {
    ReportMissingFonts(ctx_);
    if (svc_.finish) result = svc_.finish(ctx_);
  }
  // Abandoned: the output target's temporary file goes with the engine.
  if (ctx_.m_bAbandoned) return kResultCancelled;
  // Past the write bound writes were refused: whatever came of that, the
  // document would take more than the movie allows.
  if (WriteBound* bound = work_.writeBound(); bound && bound->Crossed()) {
    result = kResultDocumentTooLarge;
    const uint64_t fixed = ctx_.m_nWriteAllowance;
    const std::string fixedPart =
        fixed % (1 << 20) ? std::to_string(fixed) + " bytes" : std::to_string(fixed >> 20) + " MiB";
    ctx_.m_strFailureDetail = "the document would take more than the movie's size allows: more than " +
                              std::to_string(bound->limit()) + " bytes for a file of " + std::to_string(sourceBytes_) +
                              " bytes (" + fixedPart + " and " + std::to_string(kWrittenBytesPerFileByte) +
                              " bytes a byte of the file)";
  } else if (result != kResultDone && ResourceBoundCrossed()) {
    // The loops stopped there, and nothing of the movie is kept. (Crossed
    // only as the finished document was committed, the set stands.)
    result = ResourceBoundResult();
    ctx_.m_strFailureDetail = ResourceBoundDetail();
  }
  // A work file that could not go to disk lost bytes: whatever failed after
  // that, the output is what is incomplete.
  if (result != kResultDone && work_.failed()) {
    result = kResultOutputIncomplete;
    ctx_.m_strFailureDetail = "the work files could not be written to $TMPDIR (" +
                              std::filesystem::path(work_.path()).parent_path().string() + ")";
  }
  // A failed conversion writes none of the set's files.
  if (result != kResultDone) DiscardStagedFiles(ctx_);
  return result;
}

uint32_t Engine::SetUp(const std::string& source, const std::string& output) {
  ctx_.m_bTagLoopEnded = ctx_.m_bAbandoned = 0;
  ctx_.m_messageCounts.Clear();
  ctx_.m_szPublishSwfName = PublishSwfName(output);
  ctx_.m_strFailureDetail.clear();
  ctx_.m_unwrittenShapeMovies = ctx_.m_unwrittenMorphMovies = {};
  DiscardStagedFiles(ctx_);
  ctx_.m_strFlaTempPath.clear();
  ctx_.m_bSwfCompressed = false;
  ctx_.m_nFileAttributes = 0;
  ctx_.m_nStaticTextExtraBytes = 0;
  ctx_.m_pLinkages.clear();
  ctx_.m_linkageIndex.clear();
  ctx_.m_library = DocumentLibrary();
  ctx_.m_pEditTexts.clear();
  ctx_.m_pStaticTexts.clear();
  ctx_.m_staticTextFonts.clear();
  ctx_.m_nDummyShapes = 0;
  ctx_.m_bDummyShapesFull = false;
  ctx_.m_strMissingFonts.clear();
  ctx_.m_missingFontNames.clear();
  ctx_.m_nMissingFonts = ctx_.m_nFontTagsRefused = 0;
  ctx_.m_fontRows.Clear();
  ctx_.m_editTextRows.Clear();
  ctx_.m_staticTextRows.Clear();
  ctx_.m_bitmapTags.clear();
  ctx_.m_jpegTablesTag = {};
  ctx_.m_pJpegTables.clear();
  ctx_.m_budget = MovieBudget();
  ctx_.m_soundItemIds.clear();
  ctx_.m_sceneSounds = SoundLayerState{};
  ctx_.m_bSceneTimeline = ctx_.m_bPageFlag = ctx_.m_bSceneShortLead = 0;
  ctx_.m_wSceneFrames = 0;

  // The source is looked at before it is opened: opening a FIFO waits for
  // a writer, and a device is no movie.
  struct stat st;
  if (::stat(source.c_str(), &st) != 0) {
    ctx_.m_strFailureDetail = "the movie cannot be read (" + std::string(std::strerror(errno)) + ")";
    return kResultInputUnreadable;
  }
  if (!S_ISREG(st.st_mode)) {
    ctx_.m_strFailureDetail = "the movie is not a plain file but " + std::string(FileKindName(st.st_mode));
    return kResultInputUnreadable;
  }
  const int fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  UniqueFile in(fd < 0 ? nullptr : ::fdopen(fd, "rb"));
  if (!in) {
    ctx_.m_strFailureDetail = "the movie cannot be read (" + std::string(std::strerror(errno)) + ")";
    if (fd >= 0) ::close(fd);
    return kResultInputUnreadable;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return kResultWorkCopyFailed;
  if (uint64_t(st.st_size) > kMaxMovieBytes) {
    ctx_.m_strFailureDetail = "the movie is too large: " + std::to_string(st.st_size) + " bytes, more than the " +
                              std::to_string(kMaxMovieBytes) + " a movie may have";
    return kResultWorkCopyFailed;
  }
  sourceBytes_ = uint64_t(st.st_size);
  resources_.Limit(sourceBytes_, ShapeBuilderMayRun(ctx_));

  // The work copy, in a folder of our own.
  if (!work_.create()) return kResultWorkCopyFailed;
  ctx_.m_pWorkFolder = &work_;
  const std::string workCopy = work_.file(kWorkCopyName);
  if (!CopyFileBuffered(in.get(), workCopy)) return kResultWorkCopyFailed;

  // A caller that commits the set itself has taken the run's lock in the
  // output already; otherwise it is taken here.
  if (!ctx_.m_outputRun || ctx_.m_outputRun->fla != output) {
    std::string why;
    ctx_.m_outputRun = OpenDocumentOutput(output, why);
    madeRun_ = true;
    if (!ctx_.m_outputRun) {
      ctx_.m_strFailureDetail = "the FLA cannot be written: " + why;
      return kResultOutputLocked;
    }
  }
  // What a killed run left of this output is recovered before anything of
  // this one is staged. The output must be writable; an existing document
  // stays as it is until the finished one replaces it.
  if (const uint32_t r = RecoverOutputSet(ctx_, output); r != kResultDone) return r;
  const DocumentOutput& run = *ctx_.m_outputRun;
  if (!output_.open(output, run.folder.fd(), TempName(run.flaName, ::getpid(), run.lock.random()))) {
    ctx_.m_strFailureDetail = "the FLA cannot be written: " + output_.problem();
    return kResultOutputLocked;
  }
  ctx_.m_pOutput = &output_;

  // The scene page and the three layer work files.
  page_ = FileHandle(work_.file(kPageWorkName), "wb+");
  action_ = FileHandle(work_.file(kActionLayerName), "wb+");
  streamSound_ = FileHandle(work_.file(kStreamSoundLayerName), "wb+");
  eventSound_ = FileHandle(work_.file(kEventSoundLayerName), "wb+");
  if (!page_ || !action_ || !streamSound_ || !eventSound_) return kResultOutputIncomplete;
  ctx_.m_pPageWorkFile = page_.get();
  ctx_.m_pActionLayerFile = action_.get();
  if (!CopyFileHead(page_.get())) return kResultOutputIncomplete;
  if (!StartContainerFiles()) return kResultOutputIncomplete;

  ctx_.m_strSwfWorkPath = workCopy;
  swf_ = FileHandle(workCopy, "rb+");
  if (!swf_) return kResultWorkCopyFailed;
  ctx_.m_pSwfFile = swf_.get();
  ctx_.m_nSwfEnd = uint64_t(FileSizeOf(swf_.get()));
  if (ctx_.m_nSwfEnd <= 14) return kResultInputTooShort;

  uint8_t head[8];
  if (!ReadAt(swf_.get(), 0, head, 8)) return kResultInputTooShort;
  ctx_.m_nSwfVersion = head[3];
  ctx_.m_nFlaFormat = head[3] < 7 ? 0 : head[3] == 7 ? 1 : 2;

  if (IsNewFlaFormat(ctx_.m_nFlaFormat)) {
    // The version bytes after "CPicPage" and "CPicLayer" in the page head.
    if (std::fseek(page_.get(), 15, SEEK_SET) || std::fputc(4, page_.get()) == EOF ||
        std::fseek(page_.get(), 32, SEEK_SET) || std::fputc(4, page_.get()) == EOF ||
        std::fseek(page_.get(), 49, SEEK_SET))
      return kResultOutputIncomplete;
  }
  if (uint32_t r = StartLayerFiles(); r != kResultDone) return r;

  const bool fws = head[0] == 'F' && head[1] == 'W' && head[2] == 'S';
  const bool cws = head[0] == 'C' && head[1] == 'W' && head[2] == 'S';
  if (!fws && !cws) {
    if (head[0] == 'Z' && head[1] == 'W' && head[2] == 'S') {
      ctx_.m_strFailureDetail = "LZMA-compressed movies (signature \"ZWS\") are not supported";
      if (ctx_.m_pShell)
        ctx_.m_pShell->ShowMessage("BRASKELON Tovrani Error",
                                   "This movie is compressed with LZMA (signature \"ZWS\"), "
                                   "which is not supported.");
    }
    return kResultNotSwf;
  }
  if (cws) {
    if (uint32_t r = Inflate(head); r != kResultDone) return r;
  }
  return ReadHeaderRest();
}

uint32_t Engine::StartLayerFiles() {
  const uint8_t level = ctx_.m_nFlaFormat;
  const uint8_t lead = FlaVersionByte(level);
  for (std::FILE* f : {action_.get(), streamSound_.get(), eventSound_.get()}) {
    if (!PutRaw(f, {0x01, 0x03, 0x80, lead, 0x00, 0x05, 0x80})) return kResultOutputIncomplete;
  }
  const bool next = IsNewFlaFormat(level);
  loop_.actionFramePos =
      next ? WriteFirstFrameNew(action_.get()) : WriteFirstFrameOld(action_.get());
  const int64_t streamPos =
      next ? WriteFrameHeadNew(streamSound_.get()) : WriteFrameHeadOld(streamSound_.get());
  const int64_t eventPos =
      next ? WriteFrameHeadNew(eventSound_.get()) : WriteFrameHeadOld(eventSound_.get());
  ctx_.m_sceneSounds.start(eventSound_.get(), streamSound_.get(), eventPos, streamPos);
  for (std::FILE* f : {action_.get(), streamSound_.get(), eventSound_.get()})
    if (std::ferror(f)) return kResultOutputIncomplete;
  return kResultDone;
}

// The document's streams are placed into these as they are finished.
bool Engine::StartContainerFiles() {
  bigSectors_ = FileHandle(work_.file(kBigSectorName), "wb+");
  miniStream_ = FileHandle(work_.file(kMiniStreamName), "wb+");
  mediaDir_ = FileHandle(work_.file(kMediaDirName), "wb+");
  symbolDir_ = FileHandle(work_.file(kSymbolDirName), "wb+");
  if (!bigSectors_ || !miniStream_ || !mediaDir_ || !symbolDir_) return false;
  ctx_.m_pBigSectorFile = bigSectors_.get();
  ctx_.m_pMiniStreamFile = miniStream_.get();
  ctx_.m_pMediaDirFile = mediaDir_.get();
  ctx_.m_pSymbolDirFile = symbolDir_.get();
  // Each stream and directory entry is charged to the write bound where it
  // is placed.
  for (const char* name : {kBigSectorName, kMiniStreamName, kMediaDirName, kSymbolDirName}) work_.markCharged(name);
  ResetStreamTables(ctx_);
  return true;
}

uint32_t Engine::Inflate(uint8_t head[8]) {
  PumpMessages(ctx_);
  swf_.reset();
  ctx_.m_pSwfFile = nullptr;
  const std::string inflated = work_.file(kInflatedName);
  // Inflation keeps every byte the data gives, up to the declared length,
  // which its file's size bounds.
  const uint64_t maxDeclared = MaxDeclaredInflatedBytes(sourceBytes_);
  InflateFileStatus status = DecompressCwsFile(ctx_.m_strSwfWorkPath, inflated, maxDeclared);
  if (status == InflateFileStatus::kWriteFailed) return kResultOutputIncomplete;
  const uint32_t declared = LoadU32(head + 4);
  if (status == InflateFileStatus::kTooLarge && declared > kMaxMovieBytes)
    ctx_.m_strFailureDetail = "the compressed movie declares " + std::to_string(declared) +
                              " bytes, past the limit of " + std::to_string(kMaxMovieBytes) + " bytes";
  else if (status == InflateFileStatus::kTooLarge)
    ctx_.m_strFailureDetail = "the compressed movie declares " + std::to_string(declared) + " bytes, past the limit of " +
                              std::to_string(maxDeclared) + " bytes for a file of " + std::to_string(sourceBytes_) +
                              " bytes (" + std::to_string(kInflationAllowance >> 20) + " MiB and " +
                              std::to_string(kInflatedBytesPerFileByte) + " bytes a byte of the file)";
  if (status != InflateFileStatus::kOk) return kResultInflatedTooShort;
  ctx_.m_strSwfWorkPath = inflated;
  ctx_.m_bSwfCompressed = true;
  swf_ = FileHandle(inflated, "rb+");
  if (!swf_) return kResultInflatedTooShort;
  ctx_.m_pSwfFile = swf_.get();
  int64_t size = FileSizeOf(swf_.get());
  ctx_.m_nSwfEnd = size < 0 ? 0 : uint64_t(size);
  if (ctx_.m_nSwfEnd < 14 || !ReadAt(swf_.get(), 0, head, 8)) return kResultInflatedTooShort;
  return kResultDone;
}

uint32_t Engine::ReadHeaderRest() {
  std::FILE* f = swf_.get();
  uint8_t len[4];
  if (!ReadAt(f, 4, len, 4)) return kResultInputTooShort;
  uint64_t declared = LoadU32(len);
  if (ctx_.m_pShell) {
    ctx_.m_pShell->SetMainRange(0, uint32_t(declared));
    ctx_.m_pShell->SetMainProgress(0);
  }
  WriteDocumentPage(g_contents, ctx_.m_nFlaFormat);
  // From the document page on, what the conversion writes counts, the
  // container's fixed part first.
  if (WriteBound* bound = work_.writeBound()) {
    bound->Start(MaxWrittenBytes(sourceBytes_, ctx_.m_nWriteAllowance), &g_contents);
    bound->Charge(kContainerFixedCharge);
  }
  ctx_.m_nFileAttributes = 0;
  ctx_.m_rgbBackground = kDefaultBackground;

  // Junk after the movie: cut the data after the last ShowFrame and End.
  if (declared != ctx_.m_nSwfEnd) {
    int64_t p = FindLastShowFrameEnd(f, ctx_.m_nSwfEnd);
    if (p >= 0) ctx_.m_nSwfEnd = declared = uint64_t(p) + 4;
    if (declared != ctx_.m_nSwfEnd) return kResultLengthMismatch;
  }
  ctx_.m_budget = MovieBudget::Of(ctx_.m_nSwfEnd - 8, ctx_.m_bSwfCompressed, sourceBytes_, ShapeBuilderMayRun(ctx_));

  PumpMessages(ctx_);
  // Frame rectangle, frame rate and frame count.
  uint8_t buf[21] = {};
  size_t n = size_t(std::min<uint64_t>(sizeof buf, ctx_.m_nSwfEnd - 8));
  if (!ReadAt(f, 8, buf, n)) return kResultInputTooShort;
  SwfReader r(buf, n);
  uint32_t rectBytes = ReadSwfRect(r, ctx_.m_rcFrame);
  ctx_.m_wFrameRate = r.u16();
  ctx_.m_wFrameCount = r.u16();
  uint64_t tagStart = std::min<uint64_t>(8 + rectBytes + 4, ctx_.m_nSwfEnd);
  if (std::fseek(f, long(tagStart), SEEK_SET) != 0) return kResultInputTooShort;

  if (ctx_.m_pShell) ctx_.m_pShell->SetMainRange(0, uint32_t(ctx_.m_nSwfEnd));

  ctx_.m_pMovieEvents.clear();
  ctx_.m_pInitActions.clear();
  RearrangeMaskLayers(ctx_, 1, nullptr, 0);
  // The pass could not write its changes back: the tags would not say what
  // its events say.
  if (ctx_.m_nWriterError) return uint32_t(ctx_.m_nWriterError);
  if (std::fseek(f, long(tagStart), SEEK_SET) != 0) return kResultInputTooShort;
  ctx_.m_movieEventIndex = DisplayEventIndex(ctx_.m_pMovieEvents, ctx_.m_pMovieMaskDepths);
  ctx_.m_pMovieEvents = {};  // the index keeps what the tag loop asks of them

  uint32_t labels = 0, depthSlots = 0, highest = 0;
  CharacterIds ids;
  if (!CountPlacementsInFile(ctx_, labels, depthSlots, highest, &ids))
    return kResultStatisticsPastEnd;
  // Item numbers handed out by the converters follow every character id;
  // where none is left above the highest, the numbers below it that no
  // character takes.
  const uint16_t top = ids.highestDefined;
  ctx_.m_wNextItemNo = top == 0xFFFF ? 0xFFFF : uint16_t(top + 1);
  SetSpareItemNos(ctx_, ids.used, ctx_.m_wNextItemNo);
  ctx_.m_wZeroIdItemNo = 0;
  if (std::fseek(f, long(tagStart), SEEK_SET) != 0) return kResultInputTooShort;
  // The main timeline's display state; its tables grow as the placements
  // come, the counts only size them.
  ClearMainTimelineState(ctx_);
  ctx_.m_videoFrameIndex = VideoFrameIndex{};
  ctx_.m_movieLayers.records().reserve(std::min<uint32_t>(depthSlots, 65536 + 5));
  ctx_.m_movieLayers.labels().reserve(std::min<uint32_t>(labels + 1, 65536));
  return kResultDone;
}

}  // namespace

std::string PublishSwfName(const std::string& outputPath) {
  size_t cut = outputPath.find_last_of("\\/:");
  std::string name = cut == std::string::npos ? outputPath : outputPath.substr(cut + 1);
  if (name.size() >= 3)
    name.replace(name.size() - 3, 3, "swf");
  else
    name += "swf";
  return name;
}

bool BumpU16At(std::FILE* f, int64_t pos) {
  if (!f || pos < 0) return false;
  uint8_t b[2];
  if (std::fseek(f, long(pos), SEEK_SET) || std::fread(b, 1, 2, f) != 2) return false;
  uint32_t v = b[0] | (b[1] << 8);
  if (v < 0xFFFF) ++v;
  b[0] = uint8_t(v);
  b[1] = uint8_t(v >> 8);
  return !std::fseek(f, long(pos), SEEK_SET) && std::fwrite(b, 1, 2, f) == 2 &&
         !std::fseek(f, 0, SEEK_END);
}

EngineServices DefaultEngineServices() {
  EngineServices s;
  s.buildSceneTimeline = BuildSceneTimeline;
  s.closeEventSoundFrames = [](ConverterContext& c) {
    CloseEventSoundFrames(c.m_sceneSounds, c.m_nFlaFormat);
  };
  s.closeEventSoundLayer = [](ConverterContext& c) {
    if (!CloseEventSoundLayer(c.m_sceneSounds, c.m_nFlaFormat))
      NoteWriterFailure(c, kResultOutputIncomplete);
  };
  s.closeStreamSoundLayer = [](ConverterContext& c) {
    CloseStreamSoundLayer(c.m_sceneSounds, c.m_nFlaFormat, 2);
  };
  s.endEventSoundLayer = [](ConverterContext& c) {
    EndEventSoundLayer(c.m_sceneSounds, c.m_nFlaFormat, 4);
  };
  s.finish = [](ConverterContext& c) { return FinishConversion(c); };
  return s;
}

uint32_t ConvertMovie(ConverterContext& ctx, const std::string& source, const std::string& output,
                      uint32_t mode) {
  return ConvertMovie(ctx, source, output, mode, DefaultEngineServices());
}

uint32_t ConvertMovie(ConverterContext& ctx, const std::string& source, const std::string& output,
                      uint32_t mode, const EngineServices& services) {
  if ((mode & 0xFF) != 0) return kResultPublishMode;
  // The shape handler steers "Heuristic Problem Search" shape by shape; the
  // user's choice is theirs again once the movie is done.
  struct RestoreOption {
    uint8_t* option;
    uint8_t value;
    ~RestoreOption() {
      if (option) *option = value;
    }
  } restore{ctx.m_pOptHeuristicProblemSearch,
            ctx.m_pOptHeuristicProblemSearch ? *ctx.m_pOptHeuristicProblemSearch : uint8_t(0)};
  ConverterContext* previous = g_pConverter;
  g_pConverter = &ctx;
  // Processor time and heap are counted from here, for this conversion alone.
  ResourceScope resources;
  uint32_t result;
  try {
    Engine engine(ctx, services, resources);
    result = engine.Run(source, output);
  } catch (const std::bad_alloc&) {
    result = kResultNoWorkBuffer;
  }
  // Past the memory bound the allocator's refusal is the bound's; so is a
  // bound crossed as the engine's work files closed where the caller has
  // yet to commit the set.
  if (ResourceBoundCrossed() &&
      (result == kResultNoWorkBuffer || (result == kResultDone && ctx.m_bDeferDocumentCommit))) {
    result = ResourceBoundResult();
    ctx.m_strFailureDetail = ResourceBoundDetail();
  }
  g_pConverter = previous;
  return result;
}

}  // namespace tovrani
