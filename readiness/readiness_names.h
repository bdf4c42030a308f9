// Window components of the readiness check on the wizard's first step.
#pragma once

namespace mv::names {

// The button that runs the check, beside the survey's buttons.
constexpr char kReadinessButton[] = "图形按钮_安装前检查";
// The check's lines (item, result, reason), over the survey's lines while shown.
constexpr char kReadinessList[] = "超级列表框_安装前检查";

}  // namespace mv::names
