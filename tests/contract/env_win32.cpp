// The contract environment of the Win32 adapter: the prefix (or machine) is
// prepared before the run with E: fixed, F: a CD-ROM and no G:.
#include "platform/win32/win32_platform.h"
#include "tests/contract/contract_env.h"

namespace mv {
namespace contract {
namespace {

class Win32Env : public Env {
 public:
  Platform& platform() override { return win_; }
  const char* name() const override { return "win32"; }
  // The test server writes its address to E:\http-url.txt.
  Text HttpBase() override {
    Bytes b;
    if (!win_.ReadWholeFile(Text(1, kFixedDrive) + ":\\http-url.txt", b)) return {};
    return Text(b.begin(), b.end());
  }
  bool ReadOnlyEnforced() const override {
    // Wine's ntdll exports wine_get_version; Windows' does not.
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
  }

 private:
  Win32Platform win_;
};

}  // namespace

std::unique_ptr<Env> MakeEnv() { return std::unique_ptr<Env>(new Win32Env); }

}  // namespace contract
}  // namespace mv
