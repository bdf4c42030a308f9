// Whole-file digests and file copies with progress.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mv::dl {

// Called after every chunk with (percent, bytes done, bytes total).
using HashProgress = std::function<int(int32_t, int64_t, int64_t)>;

// The file's MD5 as 32 upper-case hexadecimal digits, read in 8 MiB chunks;
// the empty text when the file cannot be read to its end (an empty file
// included). The flag has no effect. Stops early, with the empty text, when
// the calling worker is asked to stop.
std::string FileMd5(const std::string& path, const HashProgress& progress, int flag = 1);

// The MD5 of a file a download has just brought, as FileMd5 gives it: the
// digest the engine computed from what it wrote, when this run's last
// download of path completed with one and the file still has the size the
// engine reported (handed out once: a second call reads the file); otherwise
// a full FileMd5 pass with its progress.
std::string DownloadedFileMd5(const std::string& path, const HashProgress& progress);

// Copies a file (restartable where the platform offers it, an existing target
// replaced) while the copy progress display runs on its own thread. Clears
// the copy-cancel flag first; setting it cancels the copy, as does a stop of
// the calling worker; a pause of the worker holds the copy. True on success.
bool CopyWithProgress(const std::string& from, const std::string& to);

}  // namespace mv::dl
