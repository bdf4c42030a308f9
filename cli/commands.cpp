#include "cli/commands.h"

#include "core/console.h"
#include "core/state.h"
#include "core/text.h"
#include "readiness/check_command.h"
#include "report/report_command.h"
#include "ui/image_choice.h"

namespace mv {
namespace {

Text FileNameOf(const Text& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == Text::npos ? path : path.substr(slash + 1);
}

bool Md5Text(const Text& text) {
  if (text.size() != 32) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

int BadArguments(const Text& error, bool console) {
  if (console) {
    Echo("参数错误：" + error);
    Echo(kProgramUsage);
  } else {
    plat().ShowMessageBox("参数错误：" + error + "\r\n\r\n" + kProgramUsage, kMbIconError, "错误", 0);
  }
  return kExitBadArguments;
}

}  // namespace

Text CommandProblem(const ProgramCommand& c) {
  if (c.mode == ProgramCommand::kInstall && c.catalogue) {
    const Text choice = c.source.substr(c.source.find("?type=") + 6);
    const Text name = choice.substr(0, choice.find("&md5="));
    if (!SafeWorkFileName(name)) return "链接中的文件名无法保存到工作目录：" + name;
    if (!Md5Text(TextBetween(choice, "&md5=", "&", 1, false))) return "链接中没有有效的MD5：" + c.source;
    return Text();
  }
  if (c.mode == ProgramCommand::kInstall || c.mode == ProgramCommand::kRestore) {
    if (!plat().FileExists(c.source)) return "镜像文件不存在：" + c.source;
    // The image is copied into the work directory under its own name.
    if (!SafeWorkFileName(FileNameOf(c.source))) return "镜像文件名无法保存到工作目录：" + c.source;
  }
  return Text();
}

int RunCommandWithoutWindow(const ProgramCommand& c, bool console) {
  switch (c.mode) {
    case ProgramCommand::kWindow:
      return -1;
    case ProgramCommand::kBad:
      return BadArguments(c.error, console);
    case ProgramCommand::kCheck:
      return RunCheckCommand();
    case ProgramCommand::kReport:
      return RunReportCommand(c.report_path);
    default:
      break;
  }
  const Text problem = CommandProblem(c);
  if (!problem.empty()) return BadArguments(problem, console);
  if (!c.check_only) return -1;
  // The check of this install: the image's size counts on the work drive.
  if (c.catalogue) {
    OnCatalogueNavigate(c.source);
  } else {
    ImageChoice& choice = Choice();
    choice.local = true;
    choice.file_name = c.source;
  }
  return RunCheckCommand();
}

}  // namespace mv
