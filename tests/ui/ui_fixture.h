// Shared set-up of the window-logic tests: the fake machine (C: system, D:
// data drive), the work directory and its log, the fake engine in place of
// the library, a recording stand-in for the real windows, and the main
// window's handlers installed afresh.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "tests/download/fake_engine.h"
#include "ui/model.h"
#include "ui/window_ops.h"

namespace mv::ui::test {

class RecordingOps : public WindowOps {
 public:
  std::vector<std::string> calls;
  ScreenPoint origin{100, 50};
  ScreenPoint pointer{300, 200};
  std::string under;  // what ComponentUnderPointer answers
  Mutex mu;

  void Minimize() override { Record("minimize"); }
  void BeginDrag() override { Record("drag"); }
  ScreenPoint WindowOrigin() override { return origin; }
  ScreenPoint PointerPosition() override { return pointer; }
  std::string ComponentUnderPointer() override {
    LockGuard g(mu);
    return under;
  }
  void SetUnder(const std::string& name) {
    LockGuard g(mu);
    under = name;
  }
  void ShowPopupMenu(ScreenPoint at) override {
    Record("menu:" + std::to_string(at.x) + "," + std::to_string(at.y));
  }
  void ShowAboutWindow() override { Record("about"); }
  void CloseAboutWindow() override { Record("about-close"); }
  void AttachShadow(WindowRef w) override { Record("shadow:" + std::to_string(w)); }
  void InstallBrowserMouseHook() override { Record("hook"); }
  std::vector<std::string> Calls() {
    LockGuard g(mu);
    return calls;
  }

 private:
  void Record(const std::string& s) {
    LockGuard g(mu);
    calls.push_back(s);
  }
};

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  WindowModel& Model() { return MainModel(); }
  std::string Text(const char* name) { return Model().Text(name); }
  // The messages of the run log, without their timestamps.
  std::vector<std::string> LogLines();
  // Runs fn; true when it ended the program (the fake throws).
  template <typename Fn>
  bool Ends(Fn fn) {
    try {
      fn();
    } catch (const FakeProcessEnded&) {
      return true;
    }
    return false;
  }
  // The service's network probe answers with this body.
  void ProbeAnswers(const std::string& body);

  FakePlatform fake_;
  dl::test::FakeEngine engine_;
  RecordingOps ops_;
};

}  // namespace mv::ui::test
