#include "ui/model.h"

#include <utility>

namespace mv::ui {

void WindowModel::SetChangeHook(ChangeHook hook) {
  LockGuard g(mu_);
  hook_ = std::move(hook);
}

Component WindowModel::Get(const std::string& name) const {
  LockGuard g(mu_);
  auto it = components_.find(name);
  return it == components_.end() ? Component{} : it->second;
}

void WindowModel::Update(const std::string& name, const std::function<void(Component&)>& change) {
  ChangeHook hook;
  {
    LockGuard g(mu_);
    change(components_[name]);
    ++version_;
    hook = hook_;
  }
  if (hook) hook(name);  // outside the lock: the hook may post to another thread
}

void WindowModel::SetText(const std::string& name, const std::string& text) {
  Update(name, [&](Component& c) { c.text = text; });
}
std::string WindowModel::Text(const std::string& name) const { return Get(name).text; }
void WindowModel::SetVisible(const std::string& name, bool visible) {
  Update(name, [&](Component& c) { c.visible = visible; });
}
void WindowModel::SetEnabled(const std::string& name, bool enabled) {
  Update(name, [&](Component& c) { c.enabled = enabled; });
}
void WindowModel::SetWidth(const std::string& name, int width) {
  Update(name, [&](Component& c) { c.width = width; });
}
int WindowModel::Width(const std::string& name) const { return Get(name).width; }
void WindowModel::SetPage(const std::string& name, int page) {
  Update(name, [&](Component& c) { c.page = page; });
}
void WindowModel::SetTimer(const std::string& name, uint32_t interval_ms) {
  Update(name, [&](Component& c) { c.timer_ms = interval_ms; });
}
void WindowModel::SetRole(const std::string& name, const std::string& role) {
  Update(name, [&](Component& c) { c.role = role; });
}

void WindowModel::SetChecked(const std::string& name, bool checked) {
  Update(name, [&](Component& c) { c.checked = checked; });
}
bool WindowModel::Checked(const std::string& name) const { return Get(name).checked; }
void WindowModel::SetSelected(const std::string& name, bool selected) {
  Update(name, [&](Component& c) { c.selected = selected; });
}
bool WindowModel::Selected(const std::string& name) const { return Get(name).selected; }
void WindowModel::SetValue(const std::string& name, int value, int max_value) {
  Update(name, [&](Component& c) {
    c.max_value = max_value > 0 ? max_value : 1;
    c.value = value < 0 ? 0 : (value > c.max_value ? c.max_value : value);
  });
}
void WindowModel::SetImages(const std::string& name, const std::vector<std::string>& images) {
  Update(name, [&](Component& c) { c.images = images; });
}
void WindowModel::SetImage(const std::string& name, int image) {
  Update(name, [&](Component& c) { c.image = image; });
}
void WindowModel::AddRow(const std::string& name, const std::vector<std::string>& row) {
  Update(name, [&](Component& c) { c.rows.push_back(row); });
}
void WindowModel::ClearRows(const std::string& name) {
  Update(name, [&](Component& c) {
    c.rows.clear();
    c.selected_row = -1;
    c.scroll = 0;
  });
}
std::vector<std::vector<std::string>> WindowModel::Rows(const std::string& name) const { return Get(name).rows; }
void WindowModel::SetSelectedRow(const std::string& name, int row) {
  Update(name, [&](Component& c) { c.selected_row = row < 0 || row >= static_cast<int>(c.rows.size()) ? -1 : row; });
}
int WindowModel::SelectedRow(const std::string& name) const { return Get(name).selected_row; }
void WindowModel::SetUrl(const std::string& name, const std::string& url) {
  Update(name, [&](Component& c) { c.url = url; });
}

std::vector<std::string> WindowModel::Names() const {
  LockGuard g(mu_);
  std::vector<std::string> out;
  for (const auto& kv : components_) out.push_back(kv.first);
  return out;
}

uint64_t WindowModel::Version() const {
  LockGuard g(mu_);
  return version_;
}

WindowModel& MainModel() {
  static WindowModel model;
  return model;
}

namespace {
Mutex& HandlerLock() {
  static Mutex mu;
  return mu;
}
std::map<std::pair<std::string, std::string>, EventHandler>& Handlers() {
  static std::map<std::pair<std::string, std::string>, EventHandler> handlers;
  return handlers;
}
}  // namespace

void SetHandler(const std::string& name, const std::string& event, EventHandler handler) {
  LockGuard g(HandlerLock());
  Handlers()[{name, event}] = std::move(handler);
}

bool Fire(const std::string& name, const std::string& event, const std::string& arg) {
  EventHandler handler;
  {
    LockGuard g(HandlerLock());
    auto it = Handlers().find({name, event});
    if (it == Handlers().end() || !it->second) return false;
    handler = it->second;
  }
  handler(arg);  // outside the lock: a handler may set handlers or fire others
  return true;
}

bool HasHandler(const std::string& name, const std::string& event) {
  LockGuard g(HandlerLock());
  auto it = Handlers().find({name, event});
  return it != Handlers().end() && it->second;
}

std::map<std::string, NavigateHandler>& NavigateHandlers() {
  static std::map<std::string, NavigateHandler> handlers;
  return handlers;
}

void ClearHandlers() {
  LockGuard g(HandlerLock());
  Handlers().clear();
  NavigateHandlers().clear();
}

void SetNavigateHandler(const std::string& browser, NavigateHandler handler) {
  LockGuard g(HandlerLock());
  NavigateHandlers()[browser] = std::move(handler);
}

bool RequestNavigate(const std::string& browser, const std::string& url) {
  NavigateHandler handler;
  {
    LockGuard g(HandlerLock());
    auto it = NavigateHandlers().find(browser);
    if (it == NavigateHandlers().end() || !it->second) return true;
    handler = it->second;
  }
  return handler(url);
}

}  // namespace mv::ui
