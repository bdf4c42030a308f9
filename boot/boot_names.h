// Window components the restart hand-off writes into (the main window draws
// them). Buttons carry their restart role in Component::role; the images are
// the skin names the view shows for that role.
#pragma once

namespace mv::names {

// The countdown timer of the main window (interval 1000 ms while counting, 0 stopped).
constexpr char kRestartTimer[] = "时钟_重启前倒计时";
// The two-line status area below the steps: hidden until the countdown starts.
constexpr char kRestartStatusLabel[] = "标签_重启前倒计时";
// The notice shown while the restore and backup requests wait to restart.
constexpr char kRestartNotice[] = "标签_备份恢复重启提示";
// The bottom-right ("next") and bottom-left ("back") buttons of the wizard.
constexpr char kNextButton[] = "图形按钮_下一步";
constexpr char kBackButton[] = "图形按钮_上一步";
// The five images of the step indicator.
constexpr const char* kStepImages[5] = {"图形按钮_环境检测", "图形按钮_备份资料", "图形按钮_选择系统", "图形按钮_下载文件", "图形按钮_系统安装"};

// Roles and skins of the buttons once the countdown has started; an empty
// role means ordinary page navigation.
constexpr char kRoleRestartNow[] = "restart-now";
constexpr char kRoleRestartLater[] = "restart-later";
constexpr const char* kRestartNowImages[3] = {"restart_now_normal", "restart_now_hover", "restart_now_down"};
constexpr const char* kRestartLaterImages[3] = {"restart_later_normal", "restart_later_hover", "restart_later_down"};
// The image every step shows when all is done.
constexpr char kStepDoneImage[] = "step_done";

}  // namespace mv::names
