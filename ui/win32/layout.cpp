#include "ui/win32/layout.h"

#include <memory>
#include <string>

#include "boot/boot_names.h"
#include "download/progress_names.h"
#include "readiness/readiness_names.h"
#include "ui/main_names.h"
#include "ui/win32/elements.h"
#include "ui/win32/paint.h"

#if __has_include("ui/win32/browser.h")
#include "ui/win32/browser.h"
#define MV_HAVE_BROWSER_ELEMENT 1
#endif

namespace mv::ui::win32 {

namespace n = mv::names;

namespace {

std::vector<std::string> Looks(const std::string& base) {
  return {base + "_normal", base + "_hover", base + "_down", base + "_disabled"};
}

std::wstring Wide(const char* gbk) { return WideFromGbk(gbk); }

struct Builder {
  MainWindow& window;
  WindowModel& model;

  // Whether no module has written the component yet (its start state is
  // then the window's own).
  bool Fresh(const std::string& name) const {
    for (const std::string& known : model.Names())
      if (known == name) return false;
    return true;
  }

  Label* AddLabel(const std::string& name, RECT r, Label::Size size, COLORREF colour, UINT format,
                  const std::string& host, int page, const char* text = nullptr) {
    auto* e = static_cast<Label*>(window.Add(name, std::make_unique<Label>(r, size, colour, format), host, page));
    if (text && model.Text(name).empty()) model.SetText(name, text);
    return e;
  }
  void AddButton(const std::string& name, RECT r, const char* caption, PictureButton::Style style,
                 const std::string& skin, const std::string& host = std::string(), int page = 0) {
    window.Add(name, std::make_unique<PictureButton>(r, Wide(caption), style), host, page);
    if (!skin.empty() && model.Get(name).images.empty()) model.SetImages(name, Looks(skin));
  }
  void AddCheck(const std::string& name, RECT r, const char* text, const std::string& host, int page) {
    auto box = std::make_unique<CheckBox>(r);
    box->SetModel(&model);
    window.Add(name, std::move(box), host, page);
    if (model.Text(name).empty()) model.SetText(name, text);
  }
  void AddBar(const std::string& name, RECT r, const std::string& host, int page) {
    window.Add(name, std::make_unique<ProgressBar>(r), host, page);
  }
  // A bar made of two labels (a track and a fill whose width the progress
  // display sets).
  void AddLabelBar(const char* track, const char* fill, RECT r, const std::string& host, int page) {
    AddLabel(track, r, Label::Size::kSmall, kTextDark, DT_LEFT, host, page)->WithBackground(kTrack);
    AddLabel(fill, r, Label::Size::kSmall, kTextDark, DT_LEFT, host, page)->WithBackground(kGreen);
    if (model.Width(fill) == 0) model.SetWidth(fill, 1);
    // The progress routines (download, PE, survey, data backup) size the
    // fill from the track's width.
    if (model.Width(track) == 0) model.SetWidth(track, r.right - r.left);
  }
  void AddBrowser(const std::string& name, RECT r, const std::string& host, int page) {
#if defined(MV_HAVE_BROWSER_ELEMENT)
    window.Add(name, MakeBrowserElement(name, r), host, page);
#else
    window.Add(name, std::make_unique<Pane>(r), host, page);
#endif
  }
};

}  // namespace

void LayOutMainWindow(MainWindow& window, WindowModel& model) {
  Builder b{window, model};
  const int W = MainWindow::kWidth;
  const std::string pages = n::kPageHost, wizard = n::kWizard;
  using S = PictureButton::Style;
  using L = Label::Size;

  // The two tab hosts start on their first page.
  if (model.Get(pages).page < 0) model.SetPage(pages, n::kPageReinstall);
  if (model.Get(wizard).page < 0) model.SetPage(wizard, n::kStepEnvironment);
  window.Add(pages, std::make_unique<TabHost>(RECT{0, 112, W, MainWindow::kHeight}));
  window.Add(wizard, std::make_unique<TabHost>(RECT{0, 112, W, MainWindow::kHeight}), pages, n::kPageReinstall);

  // ---- Title area. The drag area lies under everything else of the strip.
  window.Add(n::kDragArea, std::make_unique<TabHost>(RECT{0, 0, W - 300, 36}));
  b.AddButton(n::kMenuButton, RECT{W - 132, 0, W - 88, 36}, "菜单", S::kTitle, "title_menu");
  b.AddButton(n::kMinimizeButton, RECT{W - 88, 0, W - 44, 36}, "—", S::kTitle, "title_min");
  b.AddButton(n::kHelpButton, RECT{W - 220, 0, W - 140, 36}, "使用帮助", S::kTitle, "");

  // ---- Navigation strip.
  const char* nav_names[4] = {n::kNavReinstall, n::kNavBackup, n::kNavSoftware, n::kNavToolbox};
  const char* nav_text[4] = {"一键装机", "备份还原", "软件大全", "PE工具箱"};
  const char* nav_skin[4] = {"nav_reinstall", "nav_backup", "nav_software", "nav_toolbox"};
  for (int i = 0; i < 4; ++i)
    b.AddButton(nav_names[i], RECT{20 + i * 112, 42, 124 + i * 112, 106}, nav_text[i], S::kNavigation, nav_skin[i]);
  b.AddButton(n::kDataBackupButton, RECT{20 + 4 * 112, 42, 124 + 4 * 112, 106}, "资料备份", S::kNavigation,
              "nav_data");
  const char* contact_text[3] = {"交流群", "微信客服", "反馈"};
  const char* contact_skin[3] = {"contact_group", "contact_wechat", "contact_feedback"};
  for (int i = 0; i < 3; ++i) {
    window.Add(n::kContactPictures[i], std::make_unique<Picture>(RECT{W - 236 + i * 72, 46, W - 176 + i * 72, 102},
                                                                 Wide(contact_text[i])));
    if (model.Get(n::kContactPictures[i]).images.empty()) model.SetImages(n::kContactPictures[i], {contact_skin[i]});
  }
  b.AddButton(n::kForumButton, RECT{W - 300, 54, W - 244, 94}, "论坛", S::kTitle, "forum");

  // ---- Page 0: the wizard. Step indicator, then each step's components.
  const bool steps_fresh = b.Fresh(n::kStepImages[0]);
  const char* step_text[5] = {"环境检测", "备份资料", "选择系统", "下载文件", "系统安装"};
  for (int i = 0; i < 5; ++i) {
    const std::string name = n::kStepImages[i];
    window.Add(name, std::make_unique<Picture>(RECT{40 + i * 162, 122, 190 + i * 162, 162}, Wide(step_text[i])), pages,
               n::kPageReinstall);
    if (model.Get(name).images.empty())
      model.SetImages(name, {"step" + std::to_string(i) + "_normal", "step" + std::to_string(i) + "_high"});
  }
  // The first step starts highlighted.
  if (steps_fresh) model.SetImage(n::kStepImages[0], 1);
  // Bottom buttons and the countdown's two-line status between them; no way
  // back from the first step.
  const bool back_fresh = b.Fresh(n::kBackButton);
  b.AddButton(n::kBackButton, RECT{24, 546, 168, 586}, "上一步", S::kPlain, "back", pages, n::kPageReinstall);
  b.AddButton(n::kNextButton, RECT{W - 168, 546, W - 24, 586}, "下一步", S::kPrimary, "next", pages,
              n::kPageReinstall);
  if (back_fresh) model.SetVisible(n::kBackButton, false);
  b.AddLabel(n::kRestartStatusLabel, RECT{184, 542, W - 184, 592}, L::kNormal, kAccentDark, DT_CENTER, pages,
             n::kPageReinstall)
      ->MultiLine();
  if (b.Fresh(n::kRestartStatusLabel)) model.SetVisible(n::kRestartStatusLabel, false);

  // Step 0: environment.
  const char* hw_text[8] = {"电脑型号：正在获取...", "操作系统：正在获取...", "系统盘符：正在获取...",
                            "固件模式：正在获取...", "处理器：正在获取...",   "主板：正在获取...",
                            "内存：正在获取...",     "硬盘：正在获取..."};
  for (int i = 0; i < 8; ++i)
    b.AddLabel(n::kHardwareLabels[i], RECT{150, 182 + i * 32, W - 150, 208 + i * 32}, L::kNormal, kTextDark,
               DT_LEFT, wizard, n::kStepEnvironment, hw_text[i]);
  window.Add(n::kDetectBusyIndicator, std::make_unique<Picture>(RECT{150, 448, 170, 468}), wizard,
             n::kStepEnvironment);
  if (b.Fresh(n::kDetectBusyIndicator)) model.SetImages(n::kDetectBusyIndicator, {"detect_busy"});
  b.AddLabel(n::kDetectStatusLabel, RECT{176, 446, W - 150, 470}, L::kSmall, kTextSoft, DT_LEFT, wizard,
             n::kStepEnvironment, "正在检测电脑环境，请稍候...");
  // The bar: a fill label over a track label whose width the survey reads.
  b.AddLabelBar(n::kDetectProgressTrack, n::kDetectProgressBar, RECT{150, 478, W - 150, 490}, wizard,
                n::kStepEnvironment);
  b.AddButton(n::kDetectProceedButton, RECT{150, 502, 250, 532}, "开始检测", S::kPlain, "plain", wizard,
              n::kStepEnvironment);
  b.AddButton(n::kDetectAgainButton, RECT{260, 502, 360, 532}, "重新检测", S::kPlain, "plain", wizard,
              n::kStepEnvironment);
  b.AddButton(n::kRefreshButton, RECT{370, 502, 470, 532}, "刷新环境", S::kPlain, "plain", wizard,
              n::kStepEnvironment);
  // The readiness check: its button beside the survey's, its lines over the
  // survey's lines while shown (a survey hides them again).
  b.AddButton(n::kReadinessButton, RECT{480, 502, 580, 532}, "安装前检查", S::kPlain, "plain", wizard,
              n::kStepEnvironment);
  const bool checks_fresh = b.Fresh(n::kReadinessList);
  auto checks = std::make_unique<ListView>(
      RECT{60, 176, W - 60, 440},
      std::vector<ListView::Column>{{Wide("检查项目"), 130}, {Wide("结果"), 80}, {Wide("说明"), 0}});
  checks->SetModel(&model);
  window.Add(n::kReadinessList, std::move(checks), wizard, n::kStepEnvironment);
  if (checks_fresh) model.SetVisible(n::kReadinessList, false);

  // Step 1: data-backup choice.
  b.AddLabel(n::kStepTitleLabel, RECT{150, 182, W - 150, 214}, L::kTitle, kTextDark, DT_LEFT, wizard,
             n::kStepDataChoice, "重装系统会清除系统盘的资料，请选择需要备份的项目：");
  b.AddCheck(n::kDataSelectAll, RECT{150, 228, 400, 256}, "全选", wizard, n::kStepDataChoice);
  const char* item_text[4] = {"我的文档（C盘“我的文档”中的文件）", "收藏夹（浏览器收藏的网址）",
                              "桌面（桌面上的文件和快捷方式）", "驱动（非微软提供的硬件驱动）"};
  for (int i = 0; i < 4; ++i)
    b.AddCheck(n::kDataItems[i], RECT{176, 268 + i * 40, W - 150, 296 + i * 40}, item_text[i], wizard,
               n::kStepDataChoice);
  b.AddLabel(n::kDataFolderLabel, RECT{150, 440, W - 150, 464}, L::kSmall, kAccent, DT_LEFT, wizard,
             n::kStepDataChoice)
      ->AsLink();

  // Step 2: the catalogue and the selection.
  b.AddBrowser(n::kCatalogueBrowser, RECT{20, 172, W - 20, 510}, wizard, n::kStepSystemChoice);
  b.AddLabel(n::kSelectionLabel, RECT{24, 514, W - 24, 538}, L::kNormal, kAccentDark, DT_LEFT, wizard,
             n::kStepSystemChoice, "已选择：");

  // Step 3: data backup above, downloads below.
  b.AddLabel(n::kDataBackupStep, RECT{150, 180, W - 260, 204}, L::kNormal, kTextDark, DT_LEFT, wizard,
             n::kStepProgress);
  b.AddLabel(n::kDataBackupPercent, RECT{W - 250, 180, W - 150, 204}, L::kNormal, kAccent, DT_RIGHT, wizard,
             n::kStepProgress);
  // The data backup's bar: a track (its width is the full width) and the
  // fill over it, whose width the backup sets.
  b.AddLabelBar(n::kDataBackupBar1, n::kDataBackupBar2, RECT{150, 214, W - 150, 228}, wizard, n::kStepProgress);
  b.AddButton(n::kDataBackupCancel, RECT{W - 250, 256, W - 150, 284}, "取消备份", S::kPlain, "plain", wizard,
              n::kStepProgress);
  const auto& dp = dl::kDownloadPage;
  b.AddLabel(dp.status, RECT{150, 316, W - 150, 342}, L::kNormal, kTextDark, DT_LEFT, wizard, n::kStepProgress);
  b.AddLabel(dp.progress, RECT{150, 346, W - 260, 370}, L::kSmall, kTextSoft, DT_LEFT, wizard, n::kStepProgress);
  b.AddLabel(dp.percent, RECT{W - 250, 346, W - 150, 370}, L::kNormal, kAccent, DT_RIGHT, wizard,
             n::kStepProgress);
  b.AddLabelBar(dp.track, dp.fill, RECT{150, 378, W - 150, 392}, wizard, n::kStepProgress);
  b.AddButton(dl::kPauseButton, RECT{W - 360, 404, W - 260, 434}, "暂停下载", S::kPlain, "plain", wizard,
              n::kStepProgress);
  b.AddButton(dl::kCancelDownloadButton, RECT{W - 250, 404, W - 150, 434}, "取消下载", S::kPlain, "plain",
              wizard, n::kStepProgress);

  // Step 4: the last step.
  b.AddLabel(n::kLastStepLabel, RECT{150, 240, W - 150, 300}, L::kLarge, kAccentDark, DT_CENTER, wizard,
             n::kStepLast, "准备工作已经完成，重启后将进入 PE 自动安装系统");


  // ---- Page 1: backup and restore.
  auto list = std::make_unique<ListView>(RECT{20, 124, W - 20, 468},
                                         std::vector<ListView::Column>{{Wide("序号"), 70}, {Wide("还原点名称"), 520},
                                                                       {Wide("备份时间"), 0}});
  list->SetModel(&model);
  window.Add(n::kRestorePointList, std::move(list), pages, n::kPageBackup);
  b.AddLabel(n::kBackupFolderLabel, RECT{24, 474, W - 24, 496}, L::kSmall, kAccent, DT_LEFT, pages, n::kPageBackup)
      ->AsLink();
  b.AddLabel(n::kBackupSearchStatus, RECT{24, 498, W - 24, 520}, L::kSmall, kTextSoft, DT_LEFT, pages,
             n::kPageBackup);
  b.AddButton(n::kSearchBackupsButton, RECT{24, 536, 168, 576}, "重新搜索", S::kPlain, "plain", pages,
              n::kPageBackup);
  b.AddButton(n::kRestoreButton, RECT{W - 500, 536, W - 356, 576}, "还原备份点", S::kPrimary, "primary", pages,
              n::kPageBackup);
  b.AddButton(n::kDeleteButton, RECT{W - 340, 536, W - 196, 576}, "删除备份点", S::kPlain, "plain", pages,
              n::kPageBackup);
  b.AddButton(n::kAddBackupButton, RECT{W - 180, 536, W - 36, 576}, "增加备份点", S::kPrimary, "primary", pages,
              n::kPageBackup);

  // ---- Page 2: software menu and browser (715 x 450).
  const char* soft_text[5] = {"系统应用", "影视娱乐", "聊天协助", "上网下载", "系统安全"};
  for (int i = 0; i < 5; ++i)
    b.AddButton(n::kSoftwareMenu[i], RECT{20, 124 + i * 52, 140, 166 + i * 52}, soft_text[i], S::kTab, "tab", pages, n::kPageSoftware);
  b.AddBrowser(n::kSoftwareBrowser, RECT{150, 124, 150 + 715, 124 + 450}, pages, n::kPageSoftware);

  // ---- Page 3: PE preparation.
  const auto& pe = dl::kPeArea;
  b.AddLabel(pe.status, RECT{150, 220, W - 150, 248}, L::kTitle, kTextDark, DT_LEFT, pages, n::kPagePeProgress,
             "正在准备 PE 系统...");
  b.AddLabel(pe.progress, RECT{150, 254, W - 260, 278}, L::kSmall, kTextSoft, DT_LEFT, pages, n::kPagePeProgress);
  b.AddLabel(pe.percent, RECT{W - 250, 254, W - 150, 278}, L::kNormal, kAccent, DT_RIGHT, pages, n::kPagePeProgress);
  b.AddLabelBar(pe.track, pe.fill, RECT{150, 286, W - 150, 300}, pages, n::kPagePeProgress);
  b.AddButton(n::kPeCancelButton, RECT{W - 250, 314, W - 150, 344}, "取消", S::kPlain, "plain", pages,
              n::kPagePeProgress);
  const bool notice_fresh = b.Fresh(n::kRestartNotice);
  b.AddLabel(n::kRestartNotice, RECT{150, 380, W - 150, 440}, L::kNormal, RGB(0xC0, 0x39, 0x2B), DT_CENTER, pages,
             n::kPagePeProgress, "10秒后系统将重启，然后启动 PE 系统\r\n所有过程自动完成，请勿进行任何操作")
      ->MultiLine();
  if (notice_fresh) model.SetVisible(n::kRestartNotice, false);

  // ---- Page 4: toolbox banner and browser (715 x 450).
  window.Add(n::kToolboxBanner, std::make_unique<Picture>(RECT{20, 124, 140, 574}, Wide("PE工具箱")), pages,
             n::kPageToolbox);
  if (model.Get(n::kToolboxBanner).images.empty()) model.SetImages(n::kToolboxBanner, {"toolbox_banner"});
  b.AddBrowser(n::kToolboxBrowser, RECT{150, 124, 150 + 715, 124 + 450}, pages, n::kPageToolbox);

  // The forum's hover panel lies over the pages, under the forum button.
  if (b.Fresh(n::kForumPanel)) {
    model.SetImages(n::kForumPanel, {"forum_panel"});
    model.SetVisible(n::kForumPanel, false);
  }
  window.Add(n::kForumPanel, std::make_unique<Picture>(RECT{W - 420, 100, W - 220, 220}, Wide("论坛")));

  // The hint balloon, above everything.
  if (b.Fresh(n::kHintBalloon)) {
    model.SetText(n::kHintBalloon, n::kHintText);
    model.SetVisible(n::kHintBalloon, false);
  }
  window.Add(n::kHintBalloon, std::make_unique<Balloon>());
}

}  // namespace mv::ui::win32
