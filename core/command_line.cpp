#include "core/command_line.h"

#include <map>

#include "core/text.h"

namespace mv {

const char kProgramUsage[] =
    "用法：\r\n"
    "  MV_OSR.exe                       打开程序窗口\r\n"
    "  MV_OSR.exe /check                安装前检查（结果写入工作目录的 MV_OSR_check.txt）\r\n"
    "  MV_OSR.exe /install <目录中的系统链接 | 镜像路径> [/index N]\r\n"
    "             [/backup docs,desktop,favorites,drivers] [/restart now|ask|no] [/check]\r\n"
    "                                   无人值守重装（加 /check 只做这次安装的检查）\r\n"
    "  MV_OSR.exe /backup-system <备份名称> [/restart now|ask|no]\r\n"
    "  MV_OSR.exe /restore <镜像路径> [/index N] [/restart now|ask|no]\r\n"
    "  MV_OSR.exe /report [文件路径]    导出诊断信息（默认保存到桌面）\r\n"
    "镜像路径：完整路径，扩展名为 .wim、.esd 或 .gho；/index 为 WIM/ESD 中映像的序号（从 1 开始）。\r\n"
    "/restart：now 立即重启，ask 倒计时后重启（默认），no 不重启（一切就绪后退出）。\r\n"
    "退出码：0 已就绪或正在重启，1 检查未通过，2 参数错误，3 下载失败，4 校验失败，\r\n"
    "        5 写入任务文件或启动项失败，6 已取消，7 诊断信息无法写入。";

namespace {

// The options, and whether each takes a value (report: optional).
enum class Takes { kNothing, kValue, kOptionalValue };
const std::map<Text, Takes>& Options() {
  static const std::map<Text, Takes> options = {
      {"CHECK", Takes::kNothing},      {"INSTALL", Takes::kValue}, {"BACKUP-SYSTEM", Takes::kValue},
      {"RESTORE", Takes::kValue},      {"REPORT", Takes::kOptionalValue}, {"INDEX", Takes::kValue},
      {"BACKUP", Takes::kValue},       {"RESTART", Takes::kValue},
  };
  return options;
}

// The option a token names ("INSTALL" for "/install"), empty when it is none.
Text OptionOf(const Text& token) {
  if (token.size() < 2 || (token[0] != '/' && token[0] != '-')) return Text();
  const Text name = UpperAscii(token.substr(1));
  return Options().count(name) ? name : Text();
}

bool LooksLikeOption(const Text& token) { return !token.empty() && (token[0] == '/' || token[0] == '-'); }

Text Lower(Text text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

Text Ending(const Text& path) { return UpperAscii(path.size() >= 4 ? path.substr(path.size() - 4) : path); }

ProgramCommand Bad(const Text& error) {
  ProgramCommand c;
  c.mode = ProgramCommand::kBad;
  c.error = error;
  return c;
}

bool ParseIndex(const Text& value, int& index) {
  if (value.empty() || value.size() > 4) return false;
  int n = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n < 1) return false;
  index = n;
  return true;
}

// "docs,desktop": the items, each once; false with the item not understood.
bool ParseDataItems(const Text& value, DataChoice& data, Text& wrong) {
  for (const Text& raw : SplitText(value, ",")) {
    const Text item = UpperAscii(TrimText(raw));
    bool* flag = item == "DOCS" || item == "DOCUMENTS" ? &data.documents
                 : item == "DESKTOP"                   ? &data.desktop
                 : item == "FAVORITES"                 ? &data.favorites
                 : item == "DRIVERS"                   ? &data.drivers
                                                       : nullptr;
    if (!flag) {
      wrong = TrimText(raw);
      return false;
    }
    *flag = true;
  }
  return true;
}

bool IsCatalogueLink(const Text& source) {
  const Text head = UpperAscii(source.substr(0, 8));
  return head.compare(0, 7, "HTTP://") == 0 || head == "HTTPS://";
}

}  // namespace

bool ImagePathForm(const Text& path) {
  const bool full = path.size() > 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                    path[1] == ':' && path[2] == '\\';
  const Text end = Ending(path);
  return full && (end == ".WIM" || end == ".ESD" || end == ".GHO");
}

bool GhostImagePath(const Text& path) { return Ending(path) == ".GHO"; }

ProgramCommand ParseProgramArguments(const std::vector<Text>& args) {
  std::map<Text, Text> given;  // option -> value
  for (size_t i = 0; i < args.size(); ++i) {
    const Text& token = args[i];
    const Text option = OptionOf(token);
    if (option.empty())
      return Bad(LooksLikeOption(token) ? "无法识别的参数：" + token : "多余的参数：" + token);
    if (given.count(option)) return Bad("参数 " + token + " 重复");
    const Takes takes = Options().at(option);
    Text value;
    const bool has_next = i + 1 < args.size() && OptionOf(args[i + 1]).empty();
    if (takes == Takes::kValue) {
      if (!has_next) return Bad("参数 " + token + " 缺少值");
      value = args[++i];
    } else if (takes == Takes::kOptionalValue && has_next) {
      value = args[++i];
    }
    given[option] = value;
  }
  if (given.empty()) return ProgramCommand();

  int modes = 0;
  for (const char* m : {"INSTALL", "BACKUP-SYSTEM", "RESTORE", "REPORT"}) modes += static_cast<int>(given.count(m));
  if (modes > 1) return Bad("一次只能指定 /install、/backup-system、/restore、/report 中的一项");
  auto refuse = [&](std::initializer_list<const char*> options, const Text& why) {
    for (const char* o : options)
      if (given.count(o)) return Bad(Text("参数 /") + Lower(o) + " " + why);
    return ProgramCommand();
  };

  ProgramCommand c;
  if (modes == 0) {
    ProgramCommand wrong = refuse({"INDEX", "BACKUP", "RESTART"}, "只能与 /install、/backup-system 或 /restore 一起使用");
    if (wrong.mode == ProgramCommand::kBad) return wrong;
    c.mode = ProgramCommand::kCheck;
    return c;
  }
  if (given.count("RESTART")) {
    const Text r = UpperAscii(given["RESTART"]);
    if (r == "NOW")
      c.restart = RestartChoice::kNow;
    else if (r == "ASK")
      c.restart = RestartChoice::kAsk;
    else if (r == "NO")
      c.restart = RestartChoice::kNo;
    else
      return Bad("/restart 只能是 now、ask 或 no：" + given["RESTART"]);
  }
  if (given.count("INDEX") && !ParseIndex(given["INDEX"], c.index))
    return Bad("/index 需要 1 到 9999 之间的整数：" + given["INDEX"]);

  if (given.count("REPORT")) {
    ProgramCommand wrong = refuse({"CHECK", "INDEX", "BACKUP", "RESTART"}, "不能与 /report 一起使用");
    if (wrong.mode == ProgramCommand::kBad) return wrong;
    c.mode = ProgramCommand::kReport;
    c.report_path = given["REPORT"];
    return c;
  }
  if (given.count("BACKUP-SYSTEM")) {
    ProgramCommand wrong = refuse({"CHECK", "INDEX", "BACKUP"}, "不能与 /backup-system 一起使用");
    if (wrong.mode == ProgramCommand::kBad) return wrong;
    c.mode = ProgramCommand::kBackupSystem;
    c.name = TrimText(given["BACKUP-SYSTEM"]);
    if (c.name.empty()) return Bad("/backup-system 需要备份名称");
    return c;
  }
  if (given.count("RESTORE")) {
    ProgramCommand wrong = refuse({"CHECK", "BACKUP"}, "不能与 /restore 一起使用");
    if (wrong.mode == ProgramCommand::kBad) return wrong;
    c.mode = ProgramCommand::kRestore;
    c.source = given["RESTORE"];
    if (!ImagePathForm(c.source)) return Bad("镜像路径须是完整路径，扩展名为 .wim、.esd 或 .gho：" + c.source);
    if (c.index && GhostImagePath(c.source)) return Bad("GHO 镜像没有映像序号，不能使用 /index");
    return c;
  }

  c.mode = ProgramCommand::kInstall;
  c.source = given["INSTALL"];
  c.catalogue = IsCatalogueLink(c.source);
  c.check_only = given.count("CHECK") > 0;
  if (c.check_only) {
    ProgramCommand wrong = refuse({"RESTART", "BACKUP"}, "不能与 /check 一起使用（/check 只做检查）");
    if (wrong.mode == ProgramCommand::kBad) return wrong;
  }
  if (given.count("BACKUP")) {
    Text wrong;
    if (!ParseDataItems(given["BACKUP"], c.backup, wrong))
      return Bad("无法识别的备份项目：" + wrong + "（可用 docs、desktop、favorites、drivers）");
  }
  if (c.catalogue) {
    if (c.index) return Bad("/index 只用于本地 WIM/ESD 镜像");
    const size_t at = c.source.find("?type=");
    const Text choice = at == Text::npos ? Text() : c.source.substr(at + 6);
    if (choice.empty() || choice.find("&md5=") == Text::npos)
      return Bad("不是系统目录中的镜像链接（需要 ?type=文件名&md5=...）：" + c.source);
    return c;
  }
  if (!ImagePathForm(c.source)) return Bad("镜像路径须是完整路径，扩展名为 .wim、.esd 或 .gho：" + c.source);
  if (c.index && GhostImagePath(c.source)) return Bad("GHO 镜像没有映像序号，不能使用 /index");
  return c;
}

}  // namespace mv
