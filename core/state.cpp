#include "core/state.h"

namespace mv {
namespace {
struct ProcessState {
  Text work_dir;
  Text pe_task_file;
  Text bcdedit;
  Text wimlib;
  Text library_folder;
  ImageChoice choice;
  bool uefi = false;
};
ProcessState& S() {
  static ProcessState s;
  return s;
}
}  // namespace

const Text& WorkDir() { return S().work_dir; }
void SetWorkDir(const Text& dir) { S().work_dir = dir; }
const Text& PeTaskFilePath() { return S().pe_task_file; }
void SetPeTaskFilePath(const Text& path) { S().pe_task_file = path; }
const Text& BcdeditPath() { return S().bcdedit; }
void SetBcdeditPath(const Text& path) { S().bcdedit = path; }
const Text& WimlibPath() { return S().wimlib; }
void SetWimlibPath(const Text& path) { S().wimlib = path; }
const Text& LibraryFolder() { return S().library_folder; }
void SetLibraryFolder(const Text& folder) { S().library_folder = folder; }

ImageChoice& Choice() { return S().choice; }
bool UefiMode() { return S().uefi; }
void SetUefiMode(bool uefi) { S().uefi = uefi; }

void ResetProcessState() { S() = ProcessState(); }

}  // namespace mv
