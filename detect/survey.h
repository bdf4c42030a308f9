// The environment survey of the wizard's first step: one long routine on the
// window thread that fills the eight result lines (model, system, system
// drive, firmware, processor, board, memory, disks), writes SystemName and
// StartMode into the environment report "config.ini" for the PE, starts the
// download engine, probes the network and then opens the catalogue matched to
// the firmware mode, or asks the offline question.
#pragma once

#include <functional>
#include <vector>

#include "platform/platform.h"

namespace mv {

// Width of the detection progress track when the view has not laid it out.
constexpr int kDefaultDetectTrackWidth = 400;
// Pixels the fill grows by at each step.
constexpr int kDetectStepPixels = 50;

// The texts of the survey (GBK).
extern const char kOfflineQuestion[];  // "经环境安装检测，您电脑未联网，..."
extern const char kOfflineStatus[];    // "您电脑未联网，建议联网后重装系统。"
extern const char kSurveyDoneStatus[]; // "各安装环境检测完毕，点击下一步进行安装。"

// What "本地安装" shows: the page with the restore points of this machine
// (the main window's logic sets it; without it the page host goes to page 1).
void SetLocalInstallPage(std::function<void()> show);

// The survey. Offline, "退出" ends the program; "本地安装" shows the local
// installation (the system choice step) and ends the survey there. The
// disk-listing tool and the network probe run on worker threads from the
// start; the window thread takes their answers where they are needed. Called
// while a survey runs (its waits let window events through), it does nothing.
void Survey();
// Empties the eight result lines, then surveys (nothing while one runs).
void SurveyAgain();

// The eight lines as the survey would show them now, read without writing
// anything (no config.ini, no tool file, no engine): the firmware line's
// disk style is what the partition listing last found.
std::vector<Text> SurveyLinesNow();

// "内存：16.0 GB" for 16384 MB: the quotient by 1024 rounded to one decimal.
Text MemoryLine(uint64_t total_mb);
// "电脑型号：" + maker + " 台式机电脑"/" 笔记本电脑" ("Unknown" without a board record).
Text ModelLine(bool has_board, const Text& manufacturer, bool laptop);

}  // namespace mv
