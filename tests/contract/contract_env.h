// What a contract test needs from the implementation under test besides the
// interface itself: the implementation, prepared the same way on both sides.
//
// Drives: E: is fixed (tests work in folders on it), F: is a CD-ROM and G: is
// not there. The registry tests use keys under HKCU\Software\MarvoltContract.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace mv {
namespace contract {

constexpr char kFixedDrive = 'E';
constexpr char kCdromDrive = 'F';
constexpr char kAbsentDrive = 'G';

class Env {
 public:
  virtual ~Env() = default;
  virtual Platform& platform() = 0;
  // "fake" or "win32", for messages.
  virtual const char* name() const = 0;
  // False where the read-only attribute does not stop writes: under Wine
  // running as root, which keeps the bit but writes anyway.
  virtual bool ReadOnlyEnforced() const { return true; }
  // The base address ("http://127.0.0.1:port") of a test server that serves
  // "/net_available/available.txt" as the four GBK bytes of "正常",
  // "/limit.bin" of kFetchLimitBytes bytes and "/over-limit.bin" of one byte
  // more, never answers "/silent" (for a minute), and answers 404 for
  // anything else; empty when there is none.
  virtual Text HttpBase() = 0;
  // "E:\argv echo.exe": a program that prints each argument it got as its
  // UTF-16 code units (four hex digits each), one line per argument.
  Text ArgvEchoProgram() const { return Text(1, kFixedDrive) + ":\\argv echo.exe"; }
};

// Defined once per test binary: the fake's environment or the Win32 one.
std::unique_ptr<Env> MakeEnv();

}  // namespace contract
}  // namespace mv
