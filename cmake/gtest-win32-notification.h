// GoogleTest's Notification for the win32 thread model of mingw, which has no
// std::mutex: the same contract on a manual-reset Windows event. Force-included
// into the Windows builds; it only declares anything for C++ sources.
#pragma once
#if defined(__cplusplus) && defined(_WIN32)
#include <windows.h>
namespace testing {
namespace internal {
class Notification {
 public:
  Notification() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { ::CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { ::SetEvent(event_); }
  void WaitForNotification() { ::WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};
}  // namespace internal
}  // namespace testing
#endif
