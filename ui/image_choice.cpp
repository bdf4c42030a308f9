#include "ui/image_choice.h"

#include "core/log.h"
#include "core/service_host.h"
#include "core/state.h"
#include "core/text.h"
#include "core/web_address.h"
#include "download/engine.h"
#include "platform/sync.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

const char kUnsafeFileNameMessage[] = "所选系统的文件名无效，无法保存到工作目录，请重新选择！";

namespace {

Mutex g_mu;
ImageIndexWindow g_index_window;

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

bool ReservedDeviceName(const Text& name) {
  // The part before the first dot decides: "NUL.wim" names the device too.
  Text base = UpperAscii(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (const char* d : {"CON", "PRN", "AUX", "NUL", "CLOCK$"})
    if (base == d) return true;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
      base[3] <= '9')
    return true;
  return false;
}

void SetSelectionLabel(const Text& what) { ui::MainModel().SetText(names::kSelectionLabel, "已选择：" + what); }

void RefuseChoice(const Text& name) {
  Log("文件名无效，拒绝选择：" + name);
  ImageChoice& c = Choice();
  c.file_name.clear();
  c.md5.clear();
  c.system_name.clear();
  ui::MainModel().SetText(names::kSelectionLabel, "已选择：");
  plat().ShowMessageBox(kUnsafeFileNameMessage, kMbIconError, "错误：", dl::MessageOwner());
}

}  // namespace

bool ChooseLocalImage() {
  const Text path = plat().PickImageFile(dl::MessageOwner(), "打开映像文件", "映像文件*.wim;*.esd;*.Gho|*.wim;*.esd;*.Gho", "");
  if (path.empty() || !plat().FileExists(path)) return false;
  ImageChoice& c = Choice();
  // The install copies the image into the work directory under its own name.
  const size_t slash = path.find_last_of("\\/");
  const Text name = slash == Text::npos ? path : path.substr(slash + 1);
  if (!SafeWorkFileName(name)) {
    RefuseChoice(name);
    return false;
  }
  c.image_path.clear();
  if (UpperAscii(path.size() >= 4 ? path.substr(path.size() - 4) : path) != ".GHO") {
    c.image_index = 1;
    c.image_path = path;
    ImageIndexWindow window;
    {
      LockGuard g(g_mu);
      window = g_index_window;
    }
    if (window) window(dl::MessageOwner());
    if (c.image_path.empty()) return false;  // the window was cancelled
  }
  SetSelectionLabel(path);
  c.file_name = path;
  c.md5.clear();
  c.local = true;
  c.install_index = c.image_path.empty() ? 1 : c.image_index;
  return true;
}

void SetImageIndexWindow(ImageIndexWindow window) {
  LockGuard g(g_mu);
  g_index_window = std::move(window);
}

bool SafeWorkFileName(const Text& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find("..") != Text::npos) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsLeadByte(c)) {
      // A double-byte character: its trail byte may look like "\" or "|".
      if (i + 1 >= name.size()) return false;  // cut in half
      ++i;
      continue;
    }
    if (c < 0x20 || c == 0x7F || c >= 0x80) return false;
    if (std::char_traits<char>::find("\\/:*?\"<>|", 9, static_cast<char>(c))) return false;
  }
  const char last = name.back();
  if (last == '.' || last == ' ') return false;
  return !ReservedDeviceName(name);
}

bool OnCatalogueNavigate(const Text& url) {
  ImageChoice& c = Choice();
  c.image_index = 1;

  // A page or frame that is no choice leaves the recorded choice whole (its
  // address included: the install downloads from it).
  const size_t at = url.find(service::kLinkType);
  if (at == Text::npos) return true;
  const Text first = url.substr(0, at);
  const Text second = url.substr(at + std::char_traits<char>::length(service::kLinkType));

  if (second == service::kLinkLocalWim) {
    ChooseLocalImage();
    return false;
  }
  if (second == service::kLinkBlank) {
    OpenWebAddress(first);  // web addresses only: never a local file
    return false;
  }

  const Text name_end = service::kLinkMd5;
  const size_t md5_at = second.find(name_end);
  const Text file_name = md5_at == Text::npos ? second : second.substr(0, md5_at);
  if (!SafeWorkFileName(file_name)) {
    c.url.clear();
    RefuseChoice(file_name);
    return false;
  }
  Text name = UrlDecode(TextBetween(second, service::kLinkOsName, service::kValueEnd, 1, false), true);
  for (char& ch : name)
    if (ch == '+') ch = ' ';
  c.system_name = name;
  SetSelectionLabel(name);
  c.url = first;
  c.file_name = file_name;
  c.md5 = TextBetween(second, service::kLinkMd5, service::kValueEnd, 1, false);
  // A catalogue choice after a local one is a download again.
  c.local = false;
  c.image_path.clear();
  c.install_index = 1;
  return false;
}

}  // namespace mv
