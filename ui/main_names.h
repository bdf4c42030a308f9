// Names of the main window's components, as the window definition names them
// (a kind word and a role). Modules that write into a component use these
// constants; the view lays each one out. Names that belong to one module only
// stay next to that module (download/progress_names.h, boot/boot_names.h).
#pragma once

#include "core/window_names.h"

namespace mv::names {

// The main window itself: its close request fires "close" here.
constexpr char kMainWindow[] = "主窗口";

// Title area.
constexpr char kMenuButton[] = "图形按钮_菜单";
constexpr char kMinimizeButton[] = "图形按钮_最小化";
constexpr char kCloseButton[] = "图形按钮_关闭";
constexpr char kPopupMenu[] = "菜单";
constexpr char kMenuHomeItem[] = "官方网站";
constexpr char kMenuAboutItem[] = "关于";
constexpr char kMenuReportItem[] = "导出诊断信息";
constexpr char kAboutWindowTitle[] = "关于程序";
constexpr char kAboutCloseButton[] = "图形按钮_关于关闭";
// The title-area button that is disabled with the menu button while a task
// runs: the help link.
constexpr char kHelpButton[] = "图形按钮_帮助";
// The strip that moves the borderless window ("down" starts the move).
constexpr char kDragArea[] = "标签_拖动区";
// The forum button and the panel shown while the pointer stays over either.
constexpr char kForumButton[] = "图形按钮_论坛";
constexpr char kForumPanel[] = "图片框_论坛悬浮";

// Page host (pages 0 to 4) and its navigation buttons.
constexpr char kPageHost[] = "选择夹1";
constexpr int kPageReinstall = 0, kPageBackup = 1, kPageSoftware = 2, kPagePeProgress = 3, kPageToolbox = 4;
constexpr char kNavReinstall[] = "图形按钮_一键装机";
constexpr char kNavBackup[] = "图形按钮_备份还原";
constexpr char kNavSoftware[] = "图形按钮_软件大全";
constexpr char kNavToolbox[] = "图形按钮_PE工具箱";
constexpr char kDataBackupButton[] = "图形按钮_资料备份";

// The reinstall wizard's steps (names::kWizard, core/window_names.h).
constexpr int kStepEnvironment = 0, kStepDataChoice = 1, kStepSystemChoice = 2, kStepProgress = 3, kStepLast = 4;

// Step 0: the eight hardware labels, the detection status and its bar.
constexpr const char* kHardwareLabels[8] = {"标签8",  "标签9",  "标签10", "标签11",
                                            "标签12", "标签13", "标签14", "标签15"};
constexpr char kDetectStatusLabel[] = "标签_检测状态";
constexpr char kDetectProgressBar[] = "进度条_检测进度";      // the fill: its width is the progress
constexpr char kDetectProgressTrack[] = "进度条_检测进度底";  // the track behind it: only its width is read
constexpr char kDetectBusyIndicator[] = "图片框_检测动画";    // shown while the survey runs
constexpr char kDetectAgainButton[] = "图形按钮_重新检测";    // empties the lines and surveys again
constexpr char kDetectProceedButton[] = "图形按钮_开始检测";  // hidden once a survey has started
constexpr char kRefreshButton[] = "图形按钮_刷新环境";        // surveys again without emptying the lines

// Step 1: the data-backup items (select-all and four items).
constexpr char kDataSelectAll[] = "选择框_全选";
constexpr const char* kDataItems[4] = {"选择框_我的文档", "选择框_收藏夹", "选择框_桌面", "选择框_驱动"};
constexpr char kHintBalloon[] = "气泡_备份资料";
constexpr char kHintText[] = "请按右下角按钮继续操作";
constexpr char kDataFolderLabel[] = "标签_资料目录";  // the data backup folder's path

// Step 2: the catalogue browser and the selection label.
constexpr char kCatalogueBrowser[] = "超文本浏览框1";
constexpr char kSelectionLabel[] = "标签26";

// Step 3: the data-backup progress area.
constexpr char kDataBackupBar1[] = "进度条_资料备份1";
constexpr char kDataBackupBar2[] = "进度条_资料备份2";
constexpr char kDataBackupPercent[] = "标签_资料备份百分比";
constexpr char kDataBackupStep[] = "标签_资料备份步骤";
constexpr char kDataBackupCancel[] = "图形按钮_取消备份";

// Page 1: backup and restore.
constexpr char kRestorePointList[] = "超级列表框1";
constexpr char kRestoreButton[] = "图形按钮_还原备份点";
constexpr char kDeleteButton[] = "图形按钮_删除备份点";
constexpr char kAddBackupButton[] = "图形按钮_增加备份点";
constexpr char kBackupFolderLabel[] = "标签_备份目录";
constexpr char kBackupSearchStatus[] = "标签_搜索状态";
constexpr char kSearchBackupsButton[] = "图形按钮_搜索备份点";  // searches the drives again

// Page 2: software browser and its menu; page 4: toolbox browser and banner.
constexpr char kSoftwareBrowser[] = "超文本浏览框2";
constexpr const char* kSoftwareMenu[5] = {"图形按钮_系统应用", "图形按钮_影视娱乐", "图形按钮_聊天协助",
                                          "图形按钮_上网下载", "图形按钮_系统安全"};
constexpr char kToolboxBrowser[] = "超文本浏览框_PE工具箱";
constexpr char kToolboxBanner[] = "图片框_PE工具箱";

// Contact pictures.
constexpr const char* kContactPictures[3] = {"图片框_QQ交流群", "图片框_微信客服", "图片框_交流反馈"};

// Further components the window lays out.
constexpr char kStepTitleLabel[] = "标签_步骤说明";     // step 1: what to tick
constexpr char kLastStepLabel[] = "标签_系统安装";      // step 4
constexpr char kPeCancelButton[] = "图形按钮_取消PE下载";  // page 3

}  // namespace mv::names
