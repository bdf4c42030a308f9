// A fresh process for each test: a fake machine (C: fixed with its Windows
// folders), empty process-wide values, no log, no start-up hooks.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "core/payload.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/process_reset.h"

namespace mv {

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetProcess(&fake_);
    SetPayloadSource(nullptr);
  }
  void TearDown() override {
    CloseLog();
    ClearStartupHooks();
    SetPayloadSource(nullptr);
    SetShutDownHook(nullptr);
    SetPlatform(nullptr);
  }

  // Sets the fake clock to the given day and time.
  void At(int h, int m, int s) {
    LocalTime t;
    t.year = 2019;
    t.month = 8;
    t.day = 19;
    t.hour = h;
    t.minute = m;
    t.second = s;
    fake_.UseFakeClock(t);
  }

  // The bytes the program carries for an entry.
  static std::string Carried(int id) {
    Bytes b;
    EXPECT_TRUE(BuiltInPayload().Read(id, b));
    return std::string(b.begin(), b.end());
  }

  FakePlatform fake_;
};

}  // namespace mv
