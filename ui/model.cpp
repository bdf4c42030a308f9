#include "ui/model.h"

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

}  // namespace mv::ui
