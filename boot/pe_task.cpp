#include "boot/pe_task.h"

#include <string>

#include "boot/attrib.h"
#include "core/log.h"
#include "boot/bcd_output.h"
#include "boot/boot_tools.h"
#include "core/state.h"
#include "core/text.h"

namespace mv {

const char kPeTaskFailedMessage[] = "PE任务文件写入失败，系统盘可能已满或被保护，请检查后重试！";

namespace {

const char kSection[] = "SYSTEM";
// The image's path on its drive. The key is spelled as the PE reads it
// ("Ptah", not "Path"): the PE's task reader is built against this spelling.
const char kImagePathKey[] = "FilePtah";

std::function<Text()>& PartitionNumberSource() {
  static std::function<Text()> source;
  return source;
}

struct Patterns {
  const char* date;
  const char* time;
  const char* month_day;
  const char* hours_minutes;
  const char* minutes_seconds;
};

const Patterns kPatterns[4] = {
    {"yyyy年MM月dd日 ", "hh时mm分ss秒", "MM月dd日", "hh时mm分", "mm分ss秒"},
    {"yyyy-MM-dd ", "hh:mm:ss", "MM-dd", "hh:mm", "mm:ss"},
    {"yyyy/MM/dd ", "hh/mm/ss", "MM/dd", "hh/mm", "mm/ss"},
    {"yyyyMMdd", "hhmmss", "MMdd", "hhmm", "mmss"},
};

// With a 24-hour locale every "hh" of a time pattern becomes "HH".
Text HourPattern(Text pattern, bool hours24) {
  if (!hours24) return pattern;
  for (size_t at = pattern.find("hh"); at != Text::npos; at = pattern.find("hh", at + 2)) pattern.replace(at, 2, "HH");
  return pattern;
}

Text Date(const LocalTime& t, const Text& pattern) {
  return pattern.size() < 3 ? Text() : plat().FormatDate(t, pattern);
}
Text Time(const LocalTime& t, const Text& pattern) {
  return pattern.size() < 3 ? Text() : plat().FormatTime(t, pattern);
}

bool Put(const Text& file, const char* key, const Text& value) { return plat().IniWrite(file, kSection, key, value); }

// A marker file: its content (possibly none), then System and Hidden.
bool WriteMarker(const Text& path, const Text& content) {
  std::vector<Bytes> pieces;
  if (!content.empty()) pieces.push_back(TextToBytes(content));
  return plat().WriteWholeFile(path, pieces);
}
void HideMarker(const Text& path) { RunAttrib("+s +h", path); }

}  // namespace

int PeTaskForImage(const Text& image_path) {
  const size_t slash = image_path.find_last_of("\\/");
  const size_t dot = image_path.rfind('.');
  if (dot == Text::npos || (slash != Text::npos && dot < slash)) return kPeTaskWim;
  return UpperAscii(image_path.substr(dot)) == ".GHO" ? kPeTaskGhost : kPeTaskWim;
}

Text FormatTimestamp(const LocalTime& t, int style, int part) {
  if (style < 0 || style > 3) style = 0;
  const Patterns& p = kPatterns[style];
  const bool hours24 = plat().Locale24Hour();
  switch (part) {
    case 1: {
      Text date = Date(t, p.date);
      while (!date.empty() && date.back() == ' ') date.pop_back();
      return date;
    }
    case 2:
      return Date(t, p.month_day);
    case 3:
      return Time(t, HourPattern(p.time, hours24));
    case 4:
      return Time(t, HourPattern(p.hours_minutes, hours24));
    case 5:
      return Time(t, p.minutes_seconds);
    default:
      return Date(t, p.date) + Time(t, HourPattern(p.time, hours24));
  }
}

Text FormatTimestamp(int style, int part) { return FormatTimestamp(plat().Now(), style, part); }

Text SystemPartitionPath() {
  Text device;
  if (!plat().RegReadString(kHkeyLocalMachine, "SYSTEM\\Setup", "SystemPartition", device)) device.clear();
  return "\\\\.\\GLOBALROOT" + device + "\\";
}

Text CurrentLoaderIdFromListing(const Text& listing, char letter) { return RunningEntryId(listing, letter); }

Text FindCurrentLoaderId() {
  const CommandResult listing = RunBcdedit(Text());
  const Text drive = SystemDrive();
  return listing.exit_code == 0 ? CurrentLoaderIdFromListing(listing.output, drive.empty() ? 'C' : drive[0]) : Text();
}

void SetSystemPartitionNumberSource(std::function<Text()> source) { PartitionNumberSource() = std::move(source); }

Text PeTaskFile() { return PeTaskFilePath().empty() ? SystemDrive() + "\\WinPE\\DaVidAZ.INI" : PeTaskFilePath(); }

bool WritePeTask(int task, const Text& image_path, const Text& index_text) {
  if (task != kPeTaskGhost && task != kPeTaskWim && task != kPeTaskBackup) return false;
  // Without it the PE cannot tell which partition to install to or back up.
  const Text partition_number = PartitionNumberSource() ? PartitionNumberSource()() : Text();
  if (partition_number.empty()) {
    Log("PE任务文件：系统分区编号为空，不写入");
    return false;
  }
  const Text ini = PeTaskFile();
  const Text drive = SystemDrive();
  // The profile writer does not create folders.
  const Text winpe = drive + "WinPE";
  if (!plat().FileExists(winpe)) plat().CreateFolder(winpe);
  // Written fresh: a key of an earlier run (an Index, a backup's WimRatio)
  // would be read by the PE as part of this task.
  if (plat().FileExists(ini) && !plat().RemoveFile(ini)) {
    Log("PE任务文件：旧文件无法删除：" + ini);
    return false;
  }

  bool ok = true;
  auto put = [&](const char* key, const Text& value) { ok = ok && Put(ini, key, value); };
  auto marker = [&](const Text& path, const Text& content) { ok = ok && WriteMarker(path, content); };

  const Text partition = SystemPartitionPath();
  put("task", std::to_string(task));
  const Text boot_partition = TextDigest(partition + FormatTimestamp(1, 0));
  put("BootPartition", boot_partition);
  const Text boot_marker = partition + boot_partition;
  // The system partition often has no path the program can write to (no
  // device name recorded, or a system that does not open it): the PE then
  // goes by the other keys, so this one marker may be missing.
  if (!WriteMarker(boot_marker, boot_partition)) Log("启动分区标记未写入：" + boot_marker);
  put("BootID", FindCurrentLoaderId());
  HideMarker(boot_marker);
  put("Soft", "1");
  put("recovery", "0");

  const Text task_file = TextDigest("Dir" + image_path);
  const Text file = TextDigest(image_path);
  const Text file_path = image_path.size() > 2 ? image_path.substr(2) : Text();
  const Text dir_marker = drive + task_file;
  const Text image_marker = image_path.substr(0, 3) + file;

  switch (task) {
    case kPeTaskBackup:
      put("TaskFile", task_file);
      marker(dir_marker, Text());
      HideMarker(dir_marker);
      put("File", file);
      marker(image_marker, file);
      put(kImagePathKey, file_path);
      HideMarker(image_marker);
      put("WimRatio", "--compress=LZX:20");
      put("Remarks", "Backup_Wim_File_Compressed_By_MV_OSR");
      put("Name", "MV_OSR_Backup_Wim_File");
      put("PartitionNumber", partition_number);
      break;
    case kPeTaskWim:
      put("TaskFile", task_file);
      marker(dir_marker, task_file);
      HideMarker(dir_marker);
      put("Index", index_text);
      put("File", file);
      put(kImagePathKey, file_path);
      marker(image_marker, file);
      HideMarker(image_marker);
      put("PartitionNumber", partition_number);
      break;
    case kPeTaskGhost:
      put(kImagePathKey, file_path);
      put("TaskFile", task_file);
      marker(dir_marker, task_file);
      HideMarker(dir_marker);
      put("File", file);
      marker(image_marker, file);
      HideMarker(image_marker);
      put("PartitionNumber", partition_number);
      put("Soft", "1");
      break;
  }
  if (ok) return true;
  // Half a task is worse than none: the PE would act on what is there.
  Log("PE任务文件写入失败：" + ini);
  plat().RemoveFile(ini);
  return false;
}

}  // namespace mv
