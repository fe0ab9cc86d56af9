#include "fla/file_helpers.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>

#include "fla/work_folder.h"
#include "platform/resource_bound.h"

namespace tovrani {

namespace {

constexpr size_t kChunk = 16384;

// The rule looks at the file name, not at the folders before it.
bool EndsWithGz(const std::string& path) {
  std::string name = std::filesystem::path(path).filename().string();
  return name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0;
}

// Removes a regular file; anything else (a device given as output) stays.
void RemoveQuietly(const std::string& path) {
  if (RemoveWorkPath(path)) return;
  std::error_code ec;
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec)))
    std::filesystem::remove(path, ec);
}

}  // namespace

UniqueFile OpenFile(const std::string& path, const char* mode) {
  return UniqueFile(OpenPath(path, mode));
}

bool CloseFile(UniqueFile& file) {
  std::FILE* f = file.release();
  return f && std::fclose(f) == 0;
}

bool WriteBytes(std::FILE* f, const void* data, size_t n) {
  return n == 0 || (f && std::fwrite(data, 1, n, f) == n);
}

bool WriteZeros(std::FILE* f, uint64_t n) {
  static const uint8_t zeros[4096] = {};
  while (n > 0) {
    size_t k = static_cast<size_t>(std::min<uint64_t>(n, sizeof zeros));
    if (!WriteBytes(f, zeros, k)) return false;
    n -= k;
  }
  return true;
}

bool AppendFile(std::FILE* dst, std::FILE* src) {
  if (!dst || !src || std::fseek(src, 0, SEEK_SET) != 0) return false;
  std::vector<uint8_t> buf(65536);
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), src)) > 0)
    if (!WriteBytes(dst, buf.data(), n)) return false;
  return !std::ferror(src);
}

int AppendWorkFile(std::FILE* destination, std::FILE* source) {
  return AppendFile(destination, source) ? 1 : 0;
}

bool ReadWholeFile(std::FILE* f, std::vector<uint8_t>& out) {
  out.clear();
  if (!f || std::fseek(f, 0, SEEK_SET) != 0) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  return !std::ferror(f);
}

void DeleteTempFiles(const std::string& workDir) {
  static const char* const kNames[] = {"a.g12", "b.g12", "b.g13", "c.g12", "0", "1", "2", "3"};
  for (const char* name : kNames) RemoveQuietly((std::filesystem::path(workDir) / name).string());
}

const char* FileKindName(unsigned mode) {
  switch (mode & S_IFMT) {
    case S_IFIFO: return "a FIFO";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFSOCK: return "a socket";
    case S_IFDIR: return "a folder";
    case S_IFLNK: return "a link";
    case S_IFREG: return "a plain file";
    default: return "a file of another kind";
  }
}

bool CopyFileBuffered(const std::string& src, const std::string& dst) {
  UniqueFile in = OpenFile(src, "rb");
  return in && CopyFileBuffered(in.get(), dst);
}

bool CopyFileBuffered(std::FILE* src, const std::string& dst) {
  UniqueFile out = OpenFile(dst, "wb");
  if (!out) return false;
  bool ok = AppendFile(out.get(), src);
  ok = CloseFile(out) && ok;
  if (!ok) RemoveQuietly(dst);
  return ok;
}

bool GzipFile(const std::string& path, const std::string& mode) {
  UniqueFile in = OpenFile(path, "rb");
  if (!in) return false;
  const std::string outName = path + ".gz";
  gzFile gz = gzopen(outName.c_str(), mode.c_str());
  if (!gz) return false;
  std::vector<uint8_t> buf(kChunk);
  bool ok = true;
  size_t n;
  while (ok && (n = std::fread(buf.data(), 1, buf.size(), in.get())) > 0)
    ok = gzwrite(gz, buf.data(), static_cast<unsigned>(n)) == static_cast<int>(n);
  ok = ok && !std::ferror(in.get());
  ok = gzclose(gz) == Z_OK && ok;
  in.reset();
  if (!ok) {
    RemoveQuietly(outName);
    return false;
  }
  RemoveQuietly(path);
  return true;
}

bool GunzipFile(const std::string& name) {
  std::string inName, outName;
  if (EndsWithGz(name)) {
    inName = name;
    outName = name.substr(0, name.size() - 3);
  } else {
    inName = name + ".gz";
    outName = name;
  }
  gzFile gz = gzopen(inName.c_str(), "rb");
  if (!gz) return false;
  UniqueFile out = OpenFile(outName, "wb");
  if (!out) {
    gzclose(gz);
    return false;
  }
  std::vector<uint8_t> buf(kChunk);
  bool ok = true;
  int n;
  // A read error ends the copy like the end of data: what came before stays.
  while (ok && (n = gzread(gz, buf.data(), static_cast<unsigned>(buf.size()))) > 0)
    ok = WriteBytes(out.get(), buf.data(), static_cast<size_t>(n));
  gzclose(gz);
  ok = CloseFile(out) && ok;
  if (!ok) {
    RemoveQuietly(outName);
    return false;
  }
  RemoveQuietly(inName);
  return true;
}

namespace {

// One zlib stream, fed a slice of input at a time.
class ZlibInflater {
 public:
  ZlibInflater(uint64_t limit, const InflateSink& sink) : limit_(limit), sink_(sink) {
    std::memset(&zs_, 0, sizeof zs_);
    ready_ = inflateInit(&zs_) == Z_OK;
    out_.resize(65536);
  }
  ~ZlibInflater() {
    if (ready_) inflateEnd(&zs_);
  }
  ZlibInflater(const ZlibInflater&) = delete;
  ZlibInflater& operator=(const ZlibInflater&) = delete;

  // Returns false once inflation is over (end, error, limit or sink failure).
  bool Feed(const uint8_t* data, size_t n) {
    if (!ready_ || done_) return false;
    while (n > 0) {
      // avail_in is 32-bit; feed huge spans in slices.
      uInt slice = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
      zs_.next_in = const_cast<Bytef*>(data);
      zs_.avail_in = slice;
      while (true) {
        if (result_.produced >= limit_) {
          result_.limitReached = true;
          return Stop();
        }
        // A look every 64 KB produced: zlib turns a few bytes into any amount.
        if (ResourceLook()) return Stop();
        uint64_t room = std::min<uint64_t>(out_.size(), limit_ - result_.produced);
        zs_.next_out = out_.data();
        zs_.avail_out = static_cast<uInt>(room);
        int rc = inflate(&zs_, Z_NO_FLUSH);
        size_t got = static_cast<size_t>(room - zs_.avail_out);
        if (got > 0) {
          // The bytes inflate() produced are kept even when it then reports
          // a bad checksum or broken data.
          if (!sink_(out_.data(), got)) {
            result_.sinkFailed = true;
            return Stop();
          }
          result_.produced += got;
        }
        if (rc == Z_STREAM_END) {
          result_.complete = true;
          return Stop();
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) return Stop();
        if (zs_.avail_in == 0 && zs_.avail_out != 0) break;  // needs more input
        if (rc == Z_BUF_ERROR && got == 0) break;
      }
      data += slice;
      n -= slice;
    }
    return true;
  }

  InflateResult result() const { return result_; }

 private:
  bool Stop() {
    done_ = true;
    return false;
  }

  z_stream zs_;
  bool ready_ = false;
  bool done_ = false;
  uint64_t limit_;
  const InflateSink& sink_;
  std::vector<uint8_t> out_;
  InflateResult result_;
};

InflateFileStatus StatusOf(const InflateResult& r) {
  return r.sinkFailed ? InflateFileStatus::kWriteFailed : InflateFileStatus::kOk;
}

InflateSink FileSink(std::FILE* f) {
  return [f](const uint8_t* d, size_t n) { return WriteBytes(f, d, n); };
}

}  // namespace

InflateResult InflateZlib(std::span<const uint8_t> data, uint64_t limit, const InflateSink& sink) {
  ZlibInflater inflater(limit, sink);
  inflater.Feed(data.data(), data.size());
  return inflater.result();
}

InflateResult InflateZlibFile(std::FILE* in, uint64_t limit, const InflateSink& sink) {
  ZlibInflater inflater(limit, sink);
  std::vector<uint8_t> buf(65536);
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0)
    if (!inflater.Feed(buf.data(), n)) break;
  return inflater.result();
}

InflateResult InflateZlibToVector(std::span<const uint8_t> data, uint64_t limit,
                                  std::vector<uint8_t>& out) {
  out.clear();
  return InflateZlib(data, limit, [&out](const uint8_t* d, size_t n) {
    out.insert(out.end(), d, d + n);
    return true;
  });
}

size_t InflateZlibToBuffer(std::span<const uint8_t> data, std::span<uint8_t> out) {
  // A header zlib's own inflate would take (RFC 1950: deflate, a window it
  // allows, no preset dictionary) is passed over and its stream inflated
  // raw, straight into the buffer: the same bytes, without the copy and
  // the checksum, which a bitmap keeps its bytes without anyway. Anything
  // else goes the general way, which keeps whatever zlib makes of it.
  const bool plain = data.size() >= 2 && (data[0] & 0x0F) == 8 && (data[0] >> 4) <= 7 &&
                     ((data[0] << 8) | data[1]) % 31 == 0 && !(data[1] & 0x20);
  if (!plain) {
    uint8_t* at = out.data();
    return size_t(InflateZlib(data, out.size(), [&at](const uint8_t* d, size_t n) {
                    std::memcpy(at, d, n);
                    at += n;
                    return true;
                  }).produced);
  }
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (inflateInit2(&zs, -((data[0] >> 4) + 8)) != Z_OK) return 0;
  zs.next_in = const_cast<Bytef*>(data.data() + 2);
  size_t inLeft = data.size() - 2, produced = 0;
  // Slices of 1 MiB out, with a look at the bounds between them.
  constexpr size_t kSlice = size_t(1) << 20;
  while (produced < out.size() && !ResourceLook()) {
    const uInt in = uInt(std::min<size_t>(inLeft, 1u << 30));
    const uInt room = uInt(std::min(out.size() - produced, kSlice));
    zs.avail_in = in;
    zs.next_out = out.data() + produced;
    zs.avail_out = room;
    const int rc = inflate(&zs, Z_NO_FLUSH);
    produced += room - zs.avail_out;
    inLeft -= in - zs.avail_in;
    if (rc != Z_OK || (zs.avail_out == room && zs.avail_in == in)) break;
  }
  inflateEnd(&zs);
  return produced;
}

InflateFileStatus DecompressCwsFile(const std::string& compressedPath, const std::string& outputPath,
                                    uint64_t maxDeclared) {
  UniqueFile in = OpenFile(compressedPath, "rb");
  if (!in) return InflateFileStatus::kOpenFailed;
  uint8_t head[8];
  if (std::fread(head, 1, 8, in.get()) != 8) return InflateFileStatus::kReadFailed;
  uint32_t declared = head[4] | head[5] << 8 | head[6] << 16 | static_cast<uint32_t>(head[7]) << 24;
  if (declared > kMaxMovieBytes || declared > maxDeclared) return InflateFileStatus::kTooLarge;
  uint64_t bodyLimit = declared > 8 ? declared - 8 : 0;
  UniqueFile out = OpenFile(outputPath, "wb");
  if (!out) return InflateFileStatus::kOpenFailed;
  head[0] = 'F';
  InflateFileStatus status = InflateFileStatus::kWriteFailed;
  if (WriteBytes(out.get(), head, 8)) {
    InflateResult r = InflateZlibFile(in.get(), bodyLimit, FileSink(out.get()));
    status = std::ferror(in.get()) ? InflateFileStatus::kReadFailed : StatusOf(r);
  }
  if (!CloseFile(out) && status == InflateFileStatus::kOk) status = InflateFileStatus::kWriteFailed;
  if (status != InflateFileStatus::kOk) RemoveQuietly(outputPath);
  return status;
}

}  // namespace tovrani
