// Names of the main window's components that the core writes into.
#pragma once

namespace mv::names {

constexpr char kTitleLabel[] = "标签_标题";
constexpr char kVersionLabel[] = "标签_版本";

// The reinstall wizard (steps 0 to 4) on page 0: the window writes its
// step, the download part moves it to the progress step.
constexpr char kWizard[] = "选择夹_一键装机";

}  // namespace mv::names
