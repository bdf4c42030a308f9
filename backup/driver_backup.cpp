// The drivers' part of the data backup: the device instances whose provider
// is not Microsoft, saved from the driver store (Vista and later) or as
// their INF directs (XP/2003).
#include "backup/data_backup.h"

#include "backup/inf.h"
#include "backup/restore_points.h"
#include "core/log.h"
#include "core/text.h"
#include "platform/names.h"
#include "support/registry.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

namespace {

const char kClassRoot[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Class";

std::u16string WideOf(const Text& t) { return plat().AnsiToWide(t); }

void SetStep(const Text& text) { ui::MainModel().SetText(names::kDataBackupStep, text); }

Text FileNameOf(const Text& path) {
  size_t cut = LastSeparator(path);
  return cut == Text::npos ? path : path.substr(cut + 1);
}

Text WithoutExtension(const Text& name) {
  size_t dot = name.rfind('.');
  return dot == Text::npos ? name : name.substr(0, dot);
}

bool CopyOne(const Text& from, const Text& to, CopyTally& tally) {
  if (!plat().FileExists(from)) return true;  // an optional file that is not there
  if (plat().CopyFileWide(WideOf(from), WideOf(to), [] { return plat().Checkpoint(); })) {
    ++tally.copied;
    return true;
  }
  if (!plat().Checkpoint()) return false;
  ++tally.failed;
  Log("备份失败：" + from);
  return true;
}

// Driver-store method (Vista and later): the package folders of the driver store.
bool StoreCopy(const DriverRecord& r, size_t position, const Text& bak, bool x64, CopyTally& tally) {
  const Text desc = TrimText(r.description);
  SetStep("驱动备份：" + desc);
  const Text inf = plat().WindowsDirectory() + "\\inf\\" + r.inf_name;
  // Many packages name their catalog only under a decorated key.
  const Text catalog = InfCatalogFile(inf, x64);
  Text package = FileNameOf(inf);
  if (!catalog.empty()) {
    package = catalog;
    if (package.size() >= 4 && UpperAscii(package.substr(package.size() - 4)) == ".CAT") {
      package = package.substr(0, package.size() - 4) + ".inf";
    }
  }
  const Text store = plat().SystemDirectory() + "\\DriverStore\\FileRepository\\";
  bool first = true;
  std::vector<DirEntry> folders;
  if (IsPlainFileName(package)) folders = plat().ListFolder(store + WithoutExtension(package) + "*");
  for (const DirEntry& e : folders) {
    if (!e.is_directory) continue;
    Text dest = bak + DriverFolderName(desc);
    if (!first) dest += " (" + std::to_string(position) + ")";
    first = false;
    plat().CreateFolder(dest);
    if (!CopyFolderTree(WideOf(store + e.name), WideOf(dest), tally)) return false;
    if (plat().OnWindowThread()) plat().ProcessPendingEvents();
  }
  if (first) {
    // The driver's files were not found: the backup lacks them, and says so.
    ++tally.failed;
    Log("备份失败：驱动程序包未找到：" + desc + "|" + r.inf_name);
  }
  return true;
}

// INF-directed method (XP/2003 and unknown versions): the INF, its catalog
// and the files its install section copies.
bool InfCopy(const DriverRecord& r, const Text& bak, bool x64, CopyTally& tally) {
  const Text desc = TrimText(r.description);
  // Every name joined to the driver's folder below comes from the INF or the
  // registry: one that would leave the folder ("..\x", "C:\x") is skipped.
  if (!IsPlainFileName(r.inf_name)) {
    Log("INF名称无效，已跳过：" + r.inf_name);
    return true;
  }
  const Text win_inf = plat().WindowsDirectory() + "\\inf\\";
  const Text inf = win_inf + r.inf_name;
  const Text dest = bak + DriverFolderName(desc) + "\\";
  plat().CreateFolder(dest.substr(0, dest.size() - 1));
  Log(desc + "|" + dest);
  SetStep("驱动备份：" + desc);
  Text catalog = CleanInfValue(InfCatalogFile(inf, x64));
  if (!catalog.empty() && !IsPlainFileName(catalog)) {
    Log("INF名称无效，已跳过：" + catalog);
    catalog.clear();
  }
  const Text inf_base = WithoutExtension(r.inf_name);
  if (!catalog.empty()) {
    const Text cat_file = plat().SystemDirectory() + "\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\" +
                          inf_base + ".cat";
    if (plat().FileExists(cat_file) && !CopyOne(cat_file, dest + catalog, tally)) return false;
    const Text cat_base = WithoutExtension(catalog);
    if (!CopyOne(inf, dest + cat_base + ".inf", tally)) return false;
    if (!CopyOne(win_inf + inf_base + ".pnf", dest + cat_base + ".pnf", tally)) return false;
  } else {
    if (!CopyOne(inf, dest + r.inf_name, tally)) return false;
    if (!CopyOne(win_inf + inf_base + ".pnf", dest + inf_base + ".pnf", tally)) return false;
  }
  for (const Text& line : ReadInfSection(inf, r.section)) {
    size_t eq = line.find('=');
    if (eq == Text::npos) continue;
    Text key = line.substr(0, eq);
    for (char& c : key) {
      if (c == '\t') c = ' ';
    }
    key = TrimText(key);
    const Text value = TrimText(line.substr(eq + 1));
    if (key == "Include") {
      if (!value.empty() && !IsPlainFileName(value)) {
        Log("INF名称无效，已跳过：" + value);
        continue;
      }
      if (!value.empty() && !CopyOne(win_inf + value, dest + value, tally)) return false;
    } else if (key == "CopyFiles") {
      for (Text part : SplitText(value, ",")) {
        part = CleanInfValue(part);
        if (part.empty() || part[0] == '@') continue;  // "@file": a single file, no section
        Text source = ResolveDestination(InfValue(inf, "DestinationDirs", part));
        if (source.empty()) source = ResolveDestination(InfValue(inf, "DestinationDirs", "DefaultDestDir"));
        if (source.empty()) continue;
        for (const Text& file_line : ReadInfSection(inf, part)) {
          Text name = file_line.substr(0, file_line.find(','));
          for (char& c : name) {
            if (c == '\t') c = ' ';
          }
          name = CleanInfValue(name);
          if (name.empty()) continue;
          if (!IsPlainFileName(name)) {
            Log("INF名称无效，已跳过：" + name);
            continue;
          }
          if (!CopyOne(source + name, dest + name, tally)) return false;
          if (plat().OnWindowThread()) plat().ProcessPendingEvents();
        }
      }
    }
  }
  return true;
}

}  // namespace

int WindowsVersionCodeOf(const Text& version_text) {
  const Text v = version_text.substr(0, 3);
  static const char* const kVersions[9] = {"5.0", "5.1", "5.2", "6.0", "6.1", "6.2", "6.3", "6.4", "10."};
  for (int i = 0; i < 9; ++i) {
    if (v == kVersions[i]) return i + 1;
  }
  return -1;
}

int WindowsVersionCode() { return WindowsVersionCodeOf(plat().FileVersionText(plat().SystemDirectory() + "\\cmd.exe")); }

Text DriverFolderName(const Text& description) {
  // Dots and blanks alone would name the folder itself or the one above.
  if (description.find_first_not_of(". ") == Text::npos) return "_";
  Text out;
  for (size_t i = 0; i < description.size();) {
    size_t n = GbkCharLength(description, i);
    char c = description[i];
    if (n == 1 && (c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
                   c == '|' || static_cast<unsigned char>(c) < 0x20)) {
      out += '_';
    } else {
      out.append(description, i, n);
    }
    i += n;
  }
  return out;
}

std::vector<DriverRecord> ListDrivers() {
  std::vector<DriverRecord> list;
  Registry reg;
  std::vector<Text> classes;
  reg.EnumSubKeys(kClassRoot, classes);
  for (const Text& cls : classes) {
    const Text class_key = Text(kClassRoot) + "\\" + cls;
    std::vector<Text> instances;
    reg.EnumSubKeys(class_key, instances);
    for (const Text& inst : instances) {
      const Text key = class_key + "\\" + inst;
      DriverRecord r;
      r.description = reg.ReadText(key, "DriverDesc");
      if (r.description.empty()) continue;
      r.class_name = reg.ReadText(class_key, "Class");
      r.provider = reg.ReadText(key, "ProviderName");
      r.version = reg.ReadText(key, "DriverVersion");
      r.inf_name = reg.ReadText(key, "InfPath");
      r.section = reg.ReadText(key, "InfSection") + reg.ReadText(key, "InfSectionExt");
      if (r.provider == "Microsoft") continue;
      Log(r.description + "|" + r.class_name + "|" + r.provider + "|" + r.version + "|" + r.inf_name + "|" +
          r.section);
      list.push_back(r);
    }
  }
  return list;
}

bool BackUpDrivers(CopyTally& tally) { return BackUpDriversAs(-2, tally); }

bool BackUpDriversAs(int version_code, CopyTally& tally) {
  Log("DriverBak_SUB");
  const std::vector<DriverRecord> list = ListDrivers();
  if (list.empty()) return true;
  plat().CreateFolder(DataBackupFolder());
  const Text bak = DataBackupFolder() + "\\DriverBak\\";
  plat().CreateFolder(bak.substr(0, bak.size() - 1));
  void* cookie = nullptr;
  const bool x64 = plat().HasWow64Directory();
  if (x64) {
    Log("x64");
    cookie = plat().DisableFsRedirection();
  }
  const int code = version_code == -2 ? WindowsVersionCode() : version_code;
  bool ok = true;
  if (code > 3) {
    for (size_t i = 0; i < list.size() && ok; ++i) ok = StoreCopy(list[i], i + 1, bak, x64, tally);
  } else {
    Log("Ver <= 3");
    for (size_t i = 0; i < list.size() && ok; ++i) ok = InfCopy(list[i], bak, x64, tally);
  }
  if (x64) plat().RevertFsRedirection(cookie);
  return ok;
}

}  // namespace mv
