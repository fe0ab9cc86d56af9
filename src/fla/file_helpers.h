// File and zlib helpers around the FLA writing: removing work files, copying
// and appending files, gzip compression of work files, and inflation of raw
// zlib data (compressed movies, bitmap data).
//
// Nothing here ends the process: every open, read, write and close is checked
// and a failure is reported to the caller, which fails the conversion with
// kResultOutputIncomplete when its output or a work file could not be written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tovrani {

// The engine's result when the output or a work file could not be written.
constexpr int kResultOutputIncomplete = 44;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

UniqueFile OpenFile(const std::string& path, const char* mode);
// fclose with its result; the handle is released either way.
bool CloseFile(UniqueFile& file);
// fwrite of all n bytes, or false.
bool WriteBytes(std::FILE* f, const void* data, size_t n);
// n zero bytes.
bool WriteZeros(std::FILE* f, uint64_t n);
// Appends the whole of src (from its start) to dst's current position.
bool AppendFile(std::FILE* dst, std::FILE* src);
// The same with the result as a count: 1 on success, 0 when a read or write fails.
int AppendWorkFile(std::FILE* destination, std::FILE* source);
// The whole of an open file, from its start; false on a read error.
bool ReadWholeFile(std::FILE* f, std::vector<uint8_t>& out);

// Removes the fixed work files "a.g12", "b.g12", "b.g13", "c.g12", "0", "1",
// "2", "3" of the work folder; missing files are no error.
// Nothing calls it: each conversion's work folder is private and removed whole at its end.
void DeleteTempFiles(const std::string& workDir);

// What a file that is not a plain file is, by its st_mode: "a FIFO", "a
// character device", ...
const char* FileKindName(unsigned mode);

// Copies src to dst; false when either cannot be opened or a read, write or
// close fails, and then no partial destination is left.
bool CopyFileBuffered(const std::string& src, const std::string& dst);
// The same from an open file, from its start.
bool CopyFileBuffered(std::FILE* src, const std::string& dst);

// Compresses path into path + ".gz" with a gzip mode string such as "wb1",
// then deletes path. False (and no .gz left) on any failure; path then stays.
// Nothing calls it or GunzipFile: raw zlib data is inflated directly
// (InflateZlib), never through a gzip file.
bool GzipFile(const std::string& path, const std::string& mode);

// Decompresses a gzip file: "x.gz" (a file name of more than three
// characters ending in ".gz") gives "x"; any other name x (also ".gz") reads
// x + ".gz" and writes x. The input
// is deleted afterwards. False when a file does not open or a write fails;
// data of a damaged gzip file up to the damage is kept.
bool GunzipFile(const std::string& name);

// What an inflation produced.
struct InflateResult {
  uint64_t produced = 0;     // bytes handed to the sink
  bool complete = false;     // the zlib stream ended and its checksum matched
  bool limitReached = false; // stopped at the declared length
  bool sinkFailed = false;   // the sink refused bytes (a failed write)
};

// Receives inflated bytes in order; returns false to stop (write failure).
using InflateSink = std::function<bool(const uint8_t* data, size_t n)>;

// Inflates raw zlib data (2-byte header, deflate data, Adler-32) with zlib's
// inflate() directly. Every byte produced reaches the sink, also when the
// stream is cut short or its checksum is wrong; inflation stops after `limit`
// bytes whatever the data would still produce.
InflateResult InflateZlib(std::span<const uint8_t> data, uint64_t limit, const InflateSink& sink);
// The same, reading the zlib data from a file's current position to its end.
InflateResult InflateZlibFile(std::FILE* in, uint64_t limit, const InflateSink& sink);
// The same into a vector.
InflateResult InflateZlibToVector(std::span<const uint8_t> data, uint64_t limit,
                                  std::vector<uint8_t>& out);
// The same into a buffer of the size asked for (the limit), taken whole
// before inflating: the bytes the data gives come first, what it does not
// give is left as it was. Returns how many it gave.
size_t InflateZlibToBuffer(std::span<const uint8_t> data, std::span<uint8_t> out);

// Movies and inflated movies stay below 2^31 bytes.
constexpr uint64_t kMaxMovieBytes = 0x7FFFFFFF;

enum class InflateFileStatus { kOk, kOpenFailed, kReadFailed, kWriteFailed, kTooLarge };

// A "CWS" movie (body from offset 8 one zlib stream) becomes an "FWS" movie:
// the 8 header bytes with "F" first, then the inflated body, at most the
// header's length - 8 bytes. A short or damaged body keeps what inflated;
// a declared length of 2^31 or more, or past `maxDeclared`, is refused
// before anything is inflated.
InflateFileStatus DecompressCwsFile(const std::string& compressedPath, const std::string& outputPath,
                                    uint64_t maxDeclared = kMaxMovieBytes);

}  // namespace tovrani
