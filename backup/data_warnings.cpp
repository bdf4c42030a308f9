#include "backup/data_warnings.h"

#include "backup/requests.h"
#include "backup/restore_points.h"
#include "core/log.h"
#include "core/state.h"
#include "core/text.h"

namespace mv {
namespace {

Text Drive() { return SystemDrive().substr(0, 2); }

Text WhereTheBackupGoes() {
  return "工作目录在系统盘（" + Drive() + "）上，资料将备份到 " + DataBackupFolder() + "。\r\n";
}

bool AskToGoOn(const Text& text) {
  return plat().ShowMessageBox(text, kMbYesNo | kMbIconWarning, "提示", BackupOwner()) == kResYes;
}

}  // namespace

bool DataBackupOnSystemDrive() {
  const Text work = WorkDir(), system = SystemDrive();
  return !work.empty() && !system.empty() && UpperAscii(work.substr(0, 2)) == UpperAscii(system.substr(0, 2));
}

bool ConfirmDataBackupOnSystemDrive(bool install) {
  if (!DataBackupOnSystemDrive()) return true;
  Log("资料备份位于系统盘：" + DataBackupFolder());
  if (install)
    return AskToGoOn(WhereTheBackupGoes() +
                     "重装系统会覆盖系统盘，备份的资料也会一起丢失，请先把重要资料复制到U盘或其他电脑。\r\n是否继续？");
  return AskToGoOn(WhereTheBackupGoes() + "重装系统会覆盖系统盘，重装前请把备份的资料复制到U盘或其他电脑。\r\n是否继续备份？");
}

bool ConfirmDataBeforeHandOff(const CopyTally& tally, bool data_backed_up) {
  Text text;
  if (tally.failed > 0)
    text += "资料备份有 " + std::to_string(tally.failed) +
            " 个文件未能备份（详见日志 MV_OSR.log），重装后系统盘上的这些文件将会丢失。\r\n";
  if (data_backed_up && DataBackupOnSystemDrive())
    text += "备份的资料保存在系统盘（" + Drive() + "）的 " + DataBackupFolder() +
            " 中，重装系统会将其覆盖，请先把它复制到U盘或其他电脑。\r\n";
  if (text.empty()) return true;
  return AskToGoOn(text + "是否继续安装系统？");
}

}  // namespace mv
