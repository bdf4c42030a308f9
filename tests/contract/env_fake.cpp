// The contract environment of the fake platform.
#include <cstdlib>

#include "platform/command_line.h"
#include "platform/fake/fake_platform.h"
#include "tests/contract/contract_env.h"

namespace mv {
namespace contract {
namespace {

// The console's "echo", enough for the contract cases: the text after
// "echo " with CR LF, and " 1>&2" sending it to the other stream (which
// RunHidden collects as well).
Text Echo(const Text& command_line) {
  Text rest = command_line.size() > 5 ? command_line.substr(5) : Text();
  const Text to_err = "1>&2";
  if (rest.size() >= to_err.size() && rest.compare(rest.size() - to_err.size(), to_err.size(), to_err) == 0) {
    rest.resize(rest.size() - to_err.size());
  }
  return rest + "\r\n";
}

// The argument printer (tests/contract/programs/argv_echo.c), on the fake.
Text ArgvEcho(FakePlatform& fake, const Text& command_line) {
  static const char kHex[] = "0123456789abcdef";
  const std::vector<std::string> args = SplitCommandLine(command_line);
  Text out;
  for (size_t i = 1; i < args.size(); ++i) {
    for (char16_t c : fake.AnsiToWide(args[i])) {
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 15];
    }
    out += "\r\n";
  }
  return out;
}

class FakeEnv : public Env {
 public:
  FakeEnv() {
    fake_.AddDrive(kFixedDrive, kDriveFixed, 8LL * 1024 * 1024);
    fake_.AddDrive(kCdromDrive, kDriveCdrom, 0);
    fake_.OnCommand("echo", Echo);
    fake_.PutFile(ArgvEchoProgram(), "MZ");
    fake_.OnCommand("argv echo", [this](const Text& line) { return ArgvEcho(fake_, line); });
    fake_.OnCommandWithCode("exit", [](const Text& line) {
      return CommandResult{Text(), std::atoi(line.substr(line.find(' ') + 1).c_str())};
    });
    fake_.SetUrlText(HttpBase() + "/net_available/available.txt", "正常");
    fake_.SetUrl(HttpBase() + "/limit.bin", Bytes(kFetchLimitBytes, 'x'));
    fake_.SetUrl(HttpBase() + "/over-limit.bin", Bytes(kFetchLimitBytes + 1, 'x'));
  }
  Text HttpBase() override { return "http://127.0.0.1:18080"; }
  Platform& platform() override { return fake_; }
  const char* name() const override { return "fake"; }

 private:
  FakePlatform fake_;
};

}  // namespace

std::unique_ptr<Env> MakeEnv() { return std::unique_ptr<Env>(new FakeEnv); }

}  // namespace contract
}  // namespace mv
