#include "core/command_line.h"

#include "core/text.h"

namespace mv {

const char kProgramUsage[] = "可用的命令行参数：\r\n/check    安装前检查（结果写入工作目录的 MV_OSR_check.txt，全部通过时返回 0）";

ProgramCommand ParseProgramArguments(const std::vector<Text>& args) {
  ProgramCommand command;
  for (const Text& arg : args) {
    if (arg.empty()) continue;
    const Text option = arg[0] == '/' || arg[0] == '-' ? UpperAscii(arg.substr(1)) : Text();
    if (option == "CHECK" && command.mode == ProgramCommand::kWindow) {
      command.mode = ProgramCommand::kCheck;
      continue;
    }
    command.mode = ProgramCommand::kUnknown;
    command.argument = arg;
    return command;
  }
  return command;
}

}  // namespace mv
