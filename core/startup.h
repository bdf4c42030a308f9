// The start-up routine (the main window's "created" event) and the choices
// it makes: the work directory, cookie and browser-cache clearing.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace mv {

// Texts the start-up writes.
extern const char kCaptionText[];  // "Marvolt系统云重装 - Marvolt System Cloud Reinstall"
extern const char kVersionText[];  // "OSR1.1.19.819"
extern const char kNoDriveMessage[];
extern const char kNoticeFileName[];
extern const char kNoticeText[];

// Places in the start-up where other modules plug their work in. Each hook
// gets the main window; an unset hook is skipped.
enum class StartupHook {
  kResizeBrowserPanes,    // the software and toolbox panes to 715 x 450
  kAttachShadow,          // the window shadow
  kShowFirstPage,         // the step indicator's first picture and the first page
  kPublishBackupFolders,  // once the work directory is known
  kInstallBrowserHook,    // the catalogue browser's mouse hook
  kStartBackupSearch,     // the worker that searches restore points
};
void SetStartupHook(StartupHook which, std::function<void(WindowRef main_window)> hook);
void ClearStartupHooks();

// Runs the start-up once, on the window thread. When no drive can hold the
// work directory it shows the error box and ends the process (with exit code
// 1) before anything is created.
void StartUp(WindowRef main_window);

// D: when it is fixed and its free space can be read; else the highest fixed
// drive whose free space can be read. Sets the work directory (empty when no
// drive qualifies) and returns it.
Text ChooseWorkDirectory();

// The site domain of an address: the host without port, reduced to its last
// two dot-separated labels ("http://www.a.com:80/x" -> "a.com").
Text SiteDomain(const Text& url);
// Expires every cookie the internet settings hold for the address.
void ClearSiteCookies(const Text& url);
// Deletes the URL cache's entries and what remains in the internet cache folder.
void ClearBrowserCache();

}  // namespace mv
