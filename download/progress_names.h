// Window components the download part writes into. The view lays them out;
// these names are the contract between the two.
#pragma once

namespace mv::dl {

// One progress area: status line, progress line, percent label and a bar
// drawn as a fill label inside a track label.
struct ProgressArea {
  const char* status;
  const char* progress;
  const char* percent;
  const char* track;
  const char* fill;
};

// The download page (wizard step 3).
inline constexpr ProgressArea kDownloadPage = {"标签_下载状态", "标签_下载进度", "标签_下载百分比",
                                               "标签_下载进度条底", "标签_下载进度条"};
// The PE progress area (page 3 of the page host, backup and restore).
inline constexpr ProgressArea kPeArea = {"标签_PE下载状态", "标签_PE下载进度", "标签_PE下载百分比",
                                         "标签_PE下载进度条底", "标签_PE下载进度条"};

// The download page's pause/resume button and its cancel button.
inline constexpr char kPauseButton[] = "图形按钮_暂停下载";
inline constexpr char kCancelDownloadButton[] = "图形按钮_取消下载";

// The cancel button of the PE progress area.
inline constexpr char kPeCancelButton[] = "图形按钮_取消PE下载";

}  // namespace mv::dl
