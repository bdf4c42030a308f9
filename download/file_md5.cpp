#include "download/file_md5.h"

#include <cmath>
#include <memory>

#include "core/md5.h"
#include "download/progress.h"
#include "download/tasks.h"
#include "platform/platform.h"

namespace mv::dl {
namespace {
constexpr uint32_t kChunk = 8u * 1024u * 1024u;
}

std::string FileMd5(const std::string& path, const HashProgress& progress, int /*flag*/) {
  const int64_t size = plat().FileSize(path);
  if (size <= 0) return {};  // missing, unreadable or empty: never a valid image
  const Handle file = plat().OpenRead(path);
  if (file == kNoHandle) return {};
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunk]);
  Md5 md5;
  int64_t done = 0;
  bool complete = false;
  while (done < size) {
    if (!plat().Checkpoint()) break;
    const int64_t n = plat().Read(file, buffer.get(), kChunk);
    if (n < 0) break;
    done += n;
    md5.Update(buffer.get(), static_cast<size_t>(n));
    const int32_t percent = static_cast<int32_t>(std::llround(static_cast<double>(done) * 100.0 / size));
    if (progress) progress(percent, done, size);
    if (done == size) {
      complete = true;
      break;
    }
    if (n == 0) break;
    plat().ProcessPendingEvents();
  }
  plat().Close(file);
  if (!complete) return {};
  uint8_t digest[16];
  md5.Final(digest);
  return Md5::Hex(digest, true);
}

std::string DownloadedFileMd5(const std::string& path, const HashProgress& progress) {
  std::string md5;
  int64_t size = 0;
  if (TakeDownloadMd5(path, &md5, &size) && size > 0 && plat().FileSize(path) == size) return md5;
  return FileMd5(path, progress);
}

bool CopyWithProgress(const std::string& from, const std::string& to) {
  CopyProgressShared& c = CopyShared();
  c.cancel = 0;
  const Handle display = plat().StartThread(CopyDisplayLoop);
  const bool ok = plat().CopyFileWithProgress(from, to, [&c](uint64_t total, uint64_t copied) {
    c.total = static_cast<int64_t>(total);
    c.copied = static_cast<int64_t>(copied);
    // A paused worker holds here (the copy pauses with it); a stopped one cancels.
    return c.cancel == 0 && plat().Checkpoint();
  });
  if (display != kNoHandle) {
    plat().RequestStop(display);
    plat().JoinThread(display, ~0u);
    plat().ReleaseThread(display);
  }
  return ok;
}

}  // namespace mv::dl
