// The window's report: every component's screen rectangle, state and
// handlers and the events fired, written as UTF-8 JSON after every change
// when MV_OSR_REPORT names a file (a test aid the end-to-end tests read).
#include <cstdio>
#include <functional>
#include <map>

#include "ui/win32/about.h"
#include "ui/win32/view.h"

namespace mv::ui::win32 {

namespace {

const char* const kReportedEvents[] = {"click", "check", "hover", "down", "select", "timer", "close", "newwindow"};

MainWindow* g_reporting_window = nullptr;  // the window that writes the report
std::map<std::string, std::function<std::string()>>& ReportParts() {
  static std::map<std::string, std::function<std::string()>> parts;
  return parts;
}

}  // namespace

std::string JsonText(const std::string& gbk) {
  std::string utf8 = Utf8FromWide(WideFromGbk(gbk));
  std::string out = "\"";
  for (unsigned char ch : utf8) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += static_cast<char>(ch);
    } else if (ch < 0x20) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\u%04x", ch);
      out += buf;
    } else {
      out += static_cast<char>(ch);
    }
  }
  return out + "\"";
}

std::string JsonRect(const RECT& r) {
  char buf[96];
  snprintf(buf, sizeof buf, "[%ld,%ld,%ld,%ld]", static_cast<long>(r.left), static_cast<long>(r.top),
           static_cast<long>(r.right), static_cast<long>(r.bottom));
  return buf;
}

void SetReportPart(const std::string& key, std::function<std::string()> part) {
  if (part)
    ReportParts()[key] = std::move(part);
  else
    ReportParts().erase(key);
}

void NoteReportPartChanged() {
  if (g_reporting_window) g_reporting_window->WriteReport();
}

void ForgetReportingWindow(const MainWindow* window) {
  if (g_reporting_window == window) g_reporting_window = nullptr;
}

void MainWindow::ReportTo(const std::wstring& path) {
  report_path_ = path;
  if (!path.empty()) g_reporting_window = this;
  if (hwnd_) WriteReport();
}

void MainWindow::WriteReport() {
  if (report_path_.empty() || !hwnd_) return;
  RECT wr;
  GetWindowRect(hwnd_, &wr);
  std::string json = "{\"window\":{\"rect\":" + JsonRect(wr) + ",\"visible\":" +
                     (IsWindowVisible(hwnd_) ? "true" : "false") + ",\"iconic\":" +
                     (IsIconic(hwnd_) ? "true" : "false") + ",\"active\":" +
                     (GetActiveWindow() == hwnd_ ? "true" : "false") + "},\n";
  if (about_) {
    RECT ar;
    GetWindowRect(about_, &ar);
    json += "\"about\":{\"rect\":" + JsonRect(ar) + ",\"close\":" + JsonRect(AboutCloseRect(about_)) + "},\n";
  }
  for (const auto& part : ReportParts()) {
    const std::string value = part.second();
    if (!value.empty()) json += JsonText(part.first) + ":" + value + ",\n";
  }
  json += "\"components\":{";
  bool first = true;
  std::vector<std::string> all = model_.Names();
  for (const std::string& name : order_) {
    bool known = false;
    for (const std::string& n : all) known = known || n == name;
    if (!known) all.push_back(name);
  }
  for (const std::string& name : all) {
    Component c = model_.Get(name);
    json += first ? "\n" : ",\n";
    first = false;
    json += JsonText(name) + ":{";
    if (Find(name)) json += "\"rect\":" + JsonRect(ScreenRect(name)) + ",\"shown\":" + (Shown(name) ? "true" : "false") + ",";
    json += std::string("\"visible\":") + (c.visible ? "true" : "false");
    json += std::string(",\"enabled\":") + (c.enabled ? "true" : "false");
    json += ",\"text\":" + JsonText(c.text);
    json += ",\"page\":" + std::to_string(c.page);
    json += std::string(",\"checked\":") + (c.checked ? "true" : "false");
    json += std::string(",\"selected\":") + (c.selected ? "true" : "false");
    json += ",\"value\":" + std::to_string(c.value) + ",\"max\":" + std::to_string(c.max_value);
    json += ",\"image\":" + std::to_string(c.image) + ",\"images\":[";
    for (size_t i = 0; i < c.images.size(); ++i) json += (i ? "," : "") + JsonText(c.images[i]);
    json += "],\"role\":" + JsonText(c.role) + ",\"url\":" + JsonText(c.url);
    json += ",\"timer_ms\":" + std::to_string(c.timer_ms) + ",\"selected_row\":" + std::to_string(c.selected_row);
    json += ",\"scroll\":" + std::to_string(c.scroll);
    json += ",\"rows\":[";
    for (size_t i = 0; i < c.rows.size(); ++i) {
      json += i ? ",[" : "[";
      for (size_t j = 0; j < c.rows[i].size(); ++j) json += (j ? "," : "") + JsonText(c.rows[i][j]);
      json += "]";
    }
    json += "],\"handlers\":[";
    bool first_handler = true;
    for (const char* ev : kReportedEvents) {
      if (!HasHandler(name, ev)) continue;
      json += std::string(first_handler ? "" : ",") + "\"" + ev + "\"";
      first_handler = false;
    }
    json += "]}";
  }
  json += "},\n\"events\":[";
  for (size_t i = 0; i < events_.size(); ++i) {
    json += i ? ",\n[" : "\n[";
    json += JsonText(events_[i][0]) + "," + JsonText(events_[i][1]) + "," + JsonText(events_[i][2]) + "]";
  }
  json += "]}\n";

  // Written aside, then moved over the report: a reader never sees half of it.
  std::wstring tmp = report_path_ + L".tmp";
  HANDLE f = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  bool ok = WriteFile(f, json.data(), static_cast<DWORD>(json.size()), &done, nullptr) && done == json.size();
  CloseHandle(f);
  if (ok) MoveFileExW(tmp.c_str(), report_path_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace mv::ui::win32
