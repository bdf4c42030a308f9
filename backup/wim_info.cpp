#include "backup/wim_info.h"

#include <cstdint>
#include <utility>

#include "backup/data_backup.h"
#include "core/payload.h"
#include "core/state.h"

namespace mv {
namespace {

ui::WindowModel g_index_model;
IndexWindowRunner g_runner;
std::function<void(WindowRef)> g_shadow;
WindowRef g_index_window = 0;

// The list's selected row lives in its value: -1 while none is selected.
void ClearSelection() {
  g_index_model.Update(names::kIndexList, [](ui::Component& c) { c.value = -1; });
}

void CloseIndexWindow() { g_index_model.SetVisible(names::kIndexWindow, false); }

void OnIndexOk() {
  const ui::Component list = g_index_model.Get(names::kIndexList);
  if (list.value < 0 || static_cast<size_t>(list.value) >= list.rows.size()) {
    plat().ShowMessageBox(kSelectIndexMessage, kMbIconWarning, "提示", g_index_window);
    return;  // the window stays open
  }
  Choice().image_index = list.value + 1;
  CloseIndexWindow();
}

void OnIndexCancel() {
  Choice().image_path.clear();
  CloseIndexWindow();
}

}  // namespace

Text WimlibXmlPath() {
  Text tool = WimlibPath();
  while (!tool.empty() && tool.back() == '\\') tool.pop_back();
  const size_t cut = tool.rfind('\\');
  if (cut == Text::npos) return Text();  // no tool folder known
  return tool.substr(0, cut) + "\\Wimlib.xml";
}

bool FillImageList(WindowRef window) {
  g_index_model.ClearRows(names::kIndexList);
  ClearSelection();
  // The carried tool needs Windows Vista or later: on XP and 2003 it cannot
  // start, and every image would look damaged.
  const int version = WindowsVersionCode();
  if (version >= 1 && version <= 3) {
    plat().ShowMessageBox(kOldWindowsImageMessage, kMbIconWarning, "提示", window);
    return false;
  }
  const Text xml_path = WimlibXmlPath();
  const Text image = Choice().image_path;
  Text xml;
  // Without an emptied output file a Wimlib.xml of an earlier file could be
  // read as this one's.
  if (!xml_path.empty() && plat().WriteWholeFile(xml_path, {})) {
    // The tool and its library as the program carries them, started directly:
    // the image path reaches it as it is, whatever "%", "&" or "^" it holds.
    EnsurePayloadFile(kPayloadLibwim);
    EnsurePayloadFile(kPayloadWimlib);
    plat().RunProgram(WimlibPath(), {"info", image, "--extract-xml", xml_path});
    Bytes bytes;
    plat().ReadWholeFile(xml_path, bytes);
    xml = WideXmlToText(bytes);
  }
  if (!xml_path.empty() && plat().FileExists(xml_path)) plat().RemoveFile(xml_path);

  std::vector<WimImageRow> rows;
  if (!ReadWimImages(xml, rows, [] { plat().ProcessPendingEvents(); })) {
    plat().ShowMessageBox(kInvalidImageMessage, kMbIconWarning, "提示", window);
    return false;
  }
  for (const WimImageRow& r : rows) g_index_model.AddRow(names::kIndexList, {"", r.name, r.description, r.size});
  return true;
}

ui::WindowModel& IndexWindowModel() { return g_index_model; }

void SetIndexWindowRunner(IndexWindowRunner runner) { g_runner = std::move(runner); }
void SetIndexWindowShadow(std::function<void(WindowRef)> attach) { g_shadow = std::move(attach); }

void OnImageIndexWindowCreated(WindowRef window) {
  g_index_window = window;
  if (g_shadow) g_shadow(window);
  FillImageList(window);
}

bool ShowImageIndexWindow(WindowRef owner) {
  ui::SetHandler(names::kIndexOk, "click", [](const std::string&) { OnIndexOk(); });
  ui::SetHandler(names::kIndexCancel, "click", [](const std::string&) { OnIndexCancel(); });
  g_index_model.ClearRows(names::kIndexList);
  ClearSelection();
  g_index_model.SetText(names::kIndexWindow, kIndexWindowTitle);
  g_index_model.SetVisible(names::kIndexWindow, true);
  if (g_runner) {
    g_runner(owner);
  } else {
    Choice().image_path.clear();  // no window to show: nothing can be chosen
  }
  if (g_index_model.Get(names::kIndexWindow).visible) Choice().image_path.clear();  // ended without OK or Cancel
  g_index_model.SetVisible(names::kIndexWindow, false);
  g_index_window = 0;
  return !Choice().image_path.empty();
}

}  // namespace mv
