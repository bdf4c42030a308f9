// Restore points: the system backups found on the machine's drives, listed on
// the backup page. The search walks every usable drive except the system
// drive for image files ("*.Gho", "*.WIM", "*.ESD", "*.SNA") down to two
// folder levels below the root, on a worker thread, one search at a time,
// with the system's "no disk" boxes off.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace mv {

extern const char kSearchingText[];   // "正在搜索本地备份文件...."
extern const char kNoBackupText[];    // "未检测到备份文件，请单击增加备份点"

// Work directory + "os_bak" and + "bakfile".
Text SystemBackupFolder();
Text DataBackupFolder();

// Writes the two folders into their labels (once the work directory is known).
void PublishBackupFolders();

// Starts the search on a worker thread and returns at once. A request made
// while a search runs makes that search start over when it ends, so the
// list always reflects the latest request and two searches never interleave.
void StartBackupSearch();
// Waits for the running search (if any) to end; false on time-out.
bool WaitBackupSearch(uint32_t timeout_ms);
// The search itself, on the calling thread.
void SearchBackups();

// The recursive file search: folder (a "\" is added when missing), visitor
// called with each matching file's full path and entry, pattern ("*.*" when
// use_pattern is false), depth limit counted in path components (unlimited
// when limit_depth is false). Stops early when the worker is asked to stop.
using FileVisitor = std::function<void(const Text& path, const DirEntry& entry)>;
void FindFiles(const Text& folder, const FileVisitor& visitor, const Text& pattern, bool use_pattern,
               int depth_limit, bool limit_depth);

// Adds one row for an image file unless it lies in a recycle bin or is one
// of the work directory's own files (only its "os_bak" backups count).
void AddRestorePoint(const Text& path, const DirEntry& entry);

// The process-wide row counter (never reset: numbering goes on across searches).
int RestorePointCounter();
void ResetRestorePointCounter();  // tests

}  // namespace mv
