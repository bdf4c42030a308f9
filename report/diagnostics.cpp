#include "report/diagnostics.h"

#include <cstdio>

#include "boot/boot_entries.h"
#include "boot/boot_tools.h"
#include "boot/pe_task.h"
#include "core/log.h"
#include "core/md5.h"
#include "core/payload.h"
#include "core/state.h"
#include "core/text.h"
#include "detect/survey.h"
#include "readiness/readiness.h"

namespace mv {
namespace {

constexpr char kNoFile[] = "（文件不存在）";
constexpr char kLeftOut[] = "（此行含用户文件夹中的路径，已略去）";

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::vector<Text> FileLines(const Text& path) {
  Bytes bytes;
  if (!plat().FileExists(path) || !plat().ReadWholeFile(path, bytes)) return {kNoFile};
  if (bytes.empty()) return {"（空文件）"};
  return LastLines(Text(bytes.begin(), bytes.end()), static_cast<size_t>(-1));
}

Text Number(int64_t n) { return std::to_string(static_cast<long long>(n)); }

ReportSection Program(const ReportSources& s) {
  return {"程序",
          {"Marvolt系统云重装 " + s.version, "构建：" + s.build,
           Text("运行于：") + (plat().RunningUnderWine() ? "Wine" : "Windows") +
               "，管理员权限：" + (plat().IsAdministrator() ? "是" : "否"),
           "工作目录：" + WorkDir(), "生成时间：" + LogTimestampNow()}};
}

ReportSection Readiness() {
  ReportSection s{"安装前检查", {}};
  const std::vector<ReadinessLine> lines = RunReadinessCheck(ReadinessRequest());
  for (const ReadinessLine& l : lines) s.lines.push_back(ReadinessLineText(l));
  s.lines.push_back(AllPassed(lines) ? "结果：全部通过" : "结果：有检查未通过");
  return s;
}

ReportSection BootStore() {
  if (IsNt5()) {
    const Text path = SystemDrive() + "boot.ini";
    return {"启动配置（" + path + "）", FileLines(path)};
  }
  const BcdeditTool tool = FindBcdedit();
  if (tool.path.empty()) return {"启动配置", {"未找到 bcdedit.exe，无法列出启动配置"}};
  const CommandResult listing = RunBcdedit(Text());
  ReportSection s{"启动配置（" + tool.path + (tool.stand_in ? "，测试用替代文件" : "") + "）", {}};
  s.lines = LastLines(listing.output, static_cast<size_t>(-1));
  s.lines.push_back("（返回值 " + Number(listing.exit_code) + "）");
  return s;
}

ReportSection Tools() {
  ReportSection s{"携带的工具", {}};
  size_t n = 0;
  const PayloadEntry* table = PayloadTable(&n);
  for (size_t i = 0; i < n; ++i) {
    const PayloadEntry& e = table[i];
    const Text target = PayloadTargetPath(e);
    const Text where = target.empty() ? Text(e.path) : target;
    Bytes bytes;
    if (!CurrentPayload().Read(e.id, bytes)) {
      s.lines.push_back(where + "  未携带");
      continue;
    }
    Md5 md5;
    md5.Update(bytes.data(), bytes.size());
    uint8_t digest[16];
    md5.Final(digest);
    const Text on_disk = PayloadFileInPlace(e.id)                    ? "磁盘上相同"
                         : !target.empty() && plat().FileExists(target) ? "磁盘上不同"
                                                                        : "磁盘上没有";
    s.lines.push_back(where + "  " + Number(static_cast<int64_t>(bytes.size())) +
                      " 字节  MD5 " + Md5::Hex(digest, true) + "  " + (IsStandIn(bytes) ? "测试用替代文件" : "正式文件") +
                      "  " + on_disk);
  }
  return s;
}

ReportSection FreeSpace() {
  ReportSection s{"固定磁盘剩余空间", {}};
  for (char c = 'A'; c <= 'Z'; ++c) {
    const Text root = Text(1, c) + ":";
    if (plat().DriveType(root) != kDriveFixed) continue;
    const int64_t kb = plat().FreeSpaceKb(root + "\\");
    char number[32];
    std::snprintf(number, sizeof number, "%.2f GB", static_cast<double>(kb) / (1024.0 * 1024.0));
    s.lines.push_back(root + "  " + (kb < 0 ? Text("无法读取") : "剩余 " + Text(number)));
  }
  if (s.lines.empty()) s.lines.push_back("（没有固定磁盘）");
  return s;
}

// The end of the run log; a line that names a file in the user's documents,
// desktop or favourites is left out.
ReportSection LogTail() {
  ReportSection s{"运行日志（最后 " + Number(kReportLogLines) + " 行）", {}};
  const Text path = WorkDir() + "MV_OSR.log";
  Bytes bytes;
  if (WorkDir().empty() || !plat().ReadWholeFile(path, bytes)) return {s.title, {kNoFile}};
  std::vector<Text> own;
  for (int kind : {0, 1, 2}) {
    const Text folder = SpecialFolder(kind);
    if (folder.size() > 3) own.push_back(folder);  // never a whole drive
  }
  for (Text& line : LastLines(Text(bytes.begin(), bytes.end()), kReportLogLines)) {
    for (const Text& folder : own)
      if (TextFind(line, folder, 1, true) > 0) line = kLeftOut;
    s.lines.push_back(line);
  }
  return s;
}

}  // namespace

std::vector<Text> LastLines(const Text& text, size_t count) {
  std::vector<Text> lines = SplitText(text, "\n");
  if (!lines.empty() && lines.back().empty()) lines.pop_back();  // the last line's end
  for (Text& l : lines)
    if (!l.empty() && l.back() == '\r') l.pop_back();
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
  return lines;
}

std::string GbkToUtf8(const Text& gbk) {
  const std::u16string wide = plat().AnsiToWide(gbk);
  std::string out;
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // half a pair
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::vector<ReportSection> GatherDiagnostics(const ReportSources& sources) {
  std::vector<ReportSection> sections;
  sections.push_back(Program(sources));
  sections.push_back({"环境检测", sources.survey_lines.empty() ? SurveyLinesNow() : sources.survey_lines});
  sections.push_back(Readiness());
  sections.push_back({"config.ini（" + WorkDir() + "config.ini）", FileLines(WorkDir() + "config.ini")});
  sections.push_back({"PE任务文件（" + PeTaskFilePath() + "）", FileLines(PeTaskFilePath())});
  sections.push_back(BootStore());
  sections.push_back(Tools());
  sections.push_back(FreeSpace());
  sections.push_back(LogTail());
  return sections;
}

Bytes DiagnosticsFileBytes(const std::vector<ReportSection>& sections) {
  std::string out = "\xEF\xBB\xBF";
  for (const ReportSection& s : sections) {
    out += "==== " + GbkToUtf8(s.title) + " ====\r\n";
    for (const Text& line : s.lines) out += GbkToUtf8(line) + "\r\n";
    out += "\r\n";
  }
  return Bytes(out.begin(), out.end());
}

Text DefaultReportPath() { return SpecialFolder(0) + "MV_OSR诊断信息_" + FormatTimestamp(3, 0) + ".txt"; }

}  // namespace mv
