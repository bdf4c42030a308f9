// Names of the main window's components that the core writes into.
#pragma once

namespace mv::names {

constexpr char kTitleLabel[] = "标签_标题";
constexpr char kVersionLabel[] = "标签_版本";

}  // namespace mv::names
