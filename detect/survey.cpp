#include "detect/survey.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "boot/boot_names.h"
#include "core/log.h"
#include "core/payload.h"
#include "core/service_host.h"
#include "core/state.h"
#include "core/text.h"
#include "detect/hardware.h"
#include "detect/partition_listing.h"
#include "detect/system.h"
#include "download/engine.h"
#include "readiness/readiness_names.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

const char kOfflineQuestion[] = "经环境安装检测，您电脑未联网，建议联网后重装系统。或直接安装本地备份的系统";
const char kOfflineStatus[] = "您电脑未联网，建议联网后重装系统。";
const char kSurveyDoneStatus[] = "各安装环境检测完毕，点击下一步进行安装。";

namespace {

std::function<void()>& LocalPage() {
  static std::function<void()> show;
  return show;
}

ui::WindowModel& M() { return ui::MainModel(); }

// One result line: shown and logged as it is.
void Line(int index, const Text& text) {
  M().SetText(names::kHardwareLabels[index], text);
  Log(text);
}

void Status(const Text& text) {
  M().SetText(names::kDetectStatusLabel, text);
  // The survey holds the window thread: let the new line be drawn.
  plat().ProcessPendingEvents();
}

int TrackWidth() {
  const int w = M().Width(names::kDetectProgressTrack);
  return w > 0 ? w : kDefaultDetectTrackWidth;
}

void SetFill(int width) {
  const int track = TrackWidth();
  if (width > track) width = track;
  M().SetWidth(names::kDetectProgressBar, width);
  M().SetValue(names::kDetectProgressBar, width, track);
}

void Advance() { SetFill(M().Width(names::kDetectProgressBar) + kDetectStepPixels); }

Text ConfigIni() { return WorkDir() + "config.ini"; }

// The end of a survey, online or not: the detection is idle again.
void Finish(const Text& status) {
  M().SetText(names::kDetectStatusLabel, status);
  M().SetVisible(names::kDetectBusyIndicator, false);
  M().SetEnabled(names::kDetectAgainButton, true);
  SetFill(TrackWidth());
}

bool Online() {
  const Bytes body = plat().FetchUrl(service::NetProbeUrl());
  const Text ok = service::kNetProbeOk;
  return body.size() == 4 && Text(body.begin(), body.end()) == ok;
}

// A call that waits on something outside the program (a console tool, the
// network) run on a worker thread while the survey goes on; its result is
// taken on the window thread, which handles window events while it waits.
// The worker touches no process-wide value.
template <typename T>
class Overlapped {
 public:
  explicit Overlapped(T (*fn)()) : result_(std::make_shared<T>()) {
    auto result = result_;
    thread_ = plat().StartThread([result, fn] { *result = fn(); });
    if (thread_ == kNoHandle) *result_ = fn();  // no thread: at once
  }
  ~Overlapped() { Join(~0u); }
  T Take() {
    while (!Join(10)) plat().ProcessPendingEvents();
    return *result_;
  }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;

 private:
  bool Join(uint32_t ms) {
    if (thread_ == kNoHandle) return true;
    if (!plat().JoinThread(thread_, ms)) return false;
    plat().ReleaseThread(thread_);
    thread_ = kNoHandle;
    return true;
  }
  std::shared_ptr<T> result_;
  Handle thread_ = kNoHandle;
};

// Set while a survey runs: its waits let window events through, and
// "刷新环境" stays enabled, so a click must not start a second survey inside
// the first (window thread only).
bool g_surveying = false;

}  // namespace

void SetLocalInstallPage(std::function<void()> show) { LocalPage() = std::move(show); }

Text ModelLine(bool has_board, const Text& manufacturer, bool laptop) {
  return Text("电脑型号：") + (has_board ? manufacturer : Text("Unknown")) + (laptop ? " 笔记本电脑" : " 台式机电脑");
}

namespace {

Text BoardLine(const std::vector<BoardRecord>& boards) {
  return boards.empty() ? Text("主板：Unknown") : "主板：" + boards[0].product + " - " + boards[0].manufacturer;
}

Text FirmwareLine(bool legacy, const Text& disk_style) {
  return Text(legacy ? "固件模式：BIOS + " : "固件模式：UEFI + ") + disk_style;
}

Text DisksLine(const std::function<void(const Text&)>& each) {
  Text disks;
  DiskRecord disk;
  for (int n = 0; DiskModel(n, disk); ++n) {
    disks += (n == 0 ? Text("硬盘：") : Text(" | ")) + TrimText(disk.model);
    if (each) each(disks);
  }
  return disks.empty() ? Text("硬盘：获取失败") : disks;
}

}  // namespace

std::vector<Text> SurveyLinesNow() {
  const int battery = plat().BatteryFlag();
  const bool laptop = !(battery == 128 || battery == 255);
  const std::vector<BoardRecord> boards = BoardRecords();
  return {ModelLine(!boards.empty(), boards.empty() ? Text() : boards[0].manufacturer, laptop),
          "操作系统：" + ProductName(),
          "系统盘符：" + WindowsDrive(),
          FirmwareLine(FirmwareIsLegacy(), SystemDiskStyle()),
          "处理器：" + TrimText(ProcessorName()),
          BoardLine(boards),
          MemoryLine(plat().TotalMemoryMb()),
          DisksLine(nullptr)};
}

Text MemoryLine(uint64_t total_mb) {
  char number[32];
  std::snprintf(number, sizeof number, "%.1f", static_cast<double>(total_mb) / 1024.0);
  return Text("内存：") + number + " GB";
}

void Survey() {
  if (g_surveying) return;
  g_surveying = true;
  struct Done {
    ~Done() { g_surveying = false; }
  } done;
  // 1. Busy, buttons off, the fill back to nothing; the partition listing.
  M().SetVisible(names::kDetectBusyIndicator, true);
  M().SetEnabled(names::kDetectAgainButton, false);
  M().SetEnabled(names::kNextButton, false);
  M().SetVisible(names::kDetectProceedButton, false);
  M().SetVisible(names::kReadinessList, false);  // an earlier check's lines: the survey's own show
  SetFill(0);
  Status("正在检测基础硬件环境.....");
  Advance();
  // The disk-listing tool and the network probe wait on other programs:
  // they run meanwhile, and their answers are taken where they are needed.
  Overlapped<Text> listing([] { return RunPartitionTool(); });
  Overlapped<bool> online(Online);

  // 2. Desktop or laptop, and the maker.
  Status("正在检测制造商.....");
  const int battery = plat().BatteryFlag();
  const bool laptop = !(battery == 128 || battery == 255);
  const std::vector<BoardRecord> boards = BoardRecords();
  Line(0, ModelLine(!boards.empty(), boards.empty() ? Text() : boards[0].manufacturer, laptop));
  Advance();

  // 3. The system, and its name for the PE.
  Status("正在检测系统版本.....");
  Line(1, "操作系统：" + ProductName());
  plat().IniWrite(ConfigIni(), "info", "SystemName", OsName());
  Advance();

  // 4. The system drive.
  Status("正在检测系统盘.....");
  Line(2, "系统盘符：" + WindowsDrive());
  Advance();

  // 5. Firmware and disk style; the start mode for the PE.
  Status("正在检测固件模式.....");
  TakePartitionListing(listing.Take());
  const bool legacy = FirmwareIsLegacy();
  Line(3, FirmwareLine(legacy, SystemDiskStyle()));
  plat().IniWrite(ConfigIni(), "info", "StartMode", legacy ? "0" : "1");
  if (!legacy) SetUefiMode(true);
  Advance();

  // 6. Processor.
  Status("正在检测处理器型号.....");
  Line(4, "处理器：" + TrimText(ProcessorName()));
  Advance();

  // 7. Board.
  Status("正在检测主板型号.....");
  Line(5, BoardLine(boards));
  Advance();

  // 8. Memory.
  Status("正在检测内存容量.....");
  Line(6, MemoryLine(plat().TotalMemoryMb()));
  Advance();

  // 9. Disks, one after the other until one does not answer.
  Status("正在检测硬盘型号.....");
  Line(7, DisksLine([](const Text& so_far) { M().SetText(names::kHardwareLabels[7], so_far); }));

  // 10. The tool files again and the download engine (its failure ends the program).
  Status("正在检测系统软件环境.....");
  Advance();
  WriteToolFiles(1);
  SetLibraryFolder(WorkDir());
  dl::StartEngine();

  // 11. The start mode once more, for the log.
  if (FirmwareIsLegacy()) {
    Log("StartMode = Legacy");
  } else {
    Log("StartMode = UEFI");
    SetUefiMode(true);
  }

  // 12. The network.
  Status("正在检测系统网络环境.....");
  Advance();
  if (online.Take()) {
    // 13.
    M().SetEnabled(names::kNextButton, true);
  } else {
    // 14. Offline: end the program, or go to the local backups.
    const std::vector<Text> captions = {"", "", "", "", "", "退出", "本地安装"};
    const int answer = plat().AskWithCaptions(kOfflineQuestion, kMbYesNo | kMbIconInformation, "提示",
                                              dl::MessageOwner(), captions);
    if (answer == kResYes) ShutDown();
    if (LocalPage())
      LocalPage()();
    else
      M().SetPage(names::kPageHost, names::kPageBackup);
    Finish(kOfflineStatus);
    return;
  }

  // 15.-17. Done: the system's version for the log, then the catalogue for
  // the firmware mode and the first software page.
  Finish(kSurveyDoneStatus);
  Log("SystemVersion = " + plat().FileVersionText(WindowsDrive() + "\\Windows\\System32\\cmd.exe"));
  M().SetUrl(names::kCatalogueBrowser, service::CatalogueUrl(UefiMode()));
  M().SetUrl(names::kSoftwareBrowser, service::SoftPageUrl(1));
}

void SurveyAgain() {
  if (g_surveying) return;
  for (const char* label : names::kHardwareLabels) M().SetText(label, "");
  Survey();
}

}  // namespace mv
