// The wizard's install on the fake machine with the fake engine ("downloaded"
// files appear when a task reports complete) and the bcdedit stand-in. The
// job's end runs on the window thread: RunToEnd plays the job timer there
// until the job has ended.
#pragma once

#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "backup/data_backup.h"
#include "boot_machine.h"
#include "boot/pe_task.h"
#include "boot/restart.h"
#include "core/job.h"
#include "core/log.h"
#include "core/md5.h"
#include "core/service_host.h"
#include "detect/partition_listing.h"
#include "download/engine.h"
#include "download/install_job.h"
#include "download/pe_prepare.h"
#include "download/progress.h"
#include "download/reinstall.h"
#include "download/tasks.h"
#include "tests/download/fake_engine.h"
#include "ui/image_choice.h"
#include "ui/main_names.h"
#include "ui/main_window_logic.h"
#include "ui/model.h"

namespace mv {

inline Text Md5Of(const std::string& s) {
  Md5 m;
  m.Update(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  uint8_t d[16];
  m.Final(d);
  return Md5::Hex(d, true);
}

class InstallTest : public boottest::BootMachine {
 protected:
  const std::string kImage = std::string(300000, 'i');
  const std::string kPe = std::string(120000, 'p');

  void SetUp() override {
    BootMachine::SetUp();
    ResetJob();
    fake.CreateFolder("D:\\MV_OSR");
    OpenLog();
    dl::BindEngine(dl::test::FakeEngine::Table());
    dl::ClearTaskList();
    dl::SetBusyFlag(0);
    dl::SetJobThreads(kNoHandle, kNoHandle);
    ui::WindowModel& m = ui::MainModel();
    // The model is the process's: every component back to its first state.
    for (const std::string& name : m.Names()) m.Update(name, [](ui::Component& c) { c = ui::Component(); });
    m.SetWidth(dl::kDownloadPage.track, 400);
    m.SetWidth(dl::kPeArea.track, 300);
    SetSystemPartitionValues("0:2", "MBR");
    InstallReinstallFlow();
    // What the server holds, by file name; the engine "downloads" it.
    served_["Win10.wim"] = kImage;
    served_["pe.wim"] = kPe;
    engine_.default_script = {dl::test::FakeStatus{true, 0, 1000, 500, 0.5f, 100},
                              dl::test::FakeStatus{true, 4, 1000, 1000, 1.0f, 0}};
    engine_.on_complete = [this](dl::XlHandle h) {
      const auto& raw = engine_.tasks[h].file_name;
      std::string name;
      for (size_t i = 0; i + 1 < raw.size() && raw[i]; i += 2) name += static_cast<char>(raw[i]);
      fake.PutFile("D:\\MV_OSR\\" + name, served_[name]);
      fake.RemoveFile("D:\\MV_OSR\\" + name + ".dlctl");
    };
    SetPePage("http://h/pe/pe.wim&filename=pe.wim&md5=" + Md5Of(kPe) + "&");
  }
  void TearDown() override {
    ResetJob();
    engine_.on_complete = nullptr;
    SetDataBackupJob({});
    SetSystemPartitionNumberSource({});
    CloseLog();
    dl::BindEngineLibrary();
    BootMachine::TearDown();
  }
  void SetPePage(const std::string& text) { fake.SetUrlText(service::PePageUrl(false), text); }
  void Choose(const Text& md5, const Text& name = "Win10.wim") {
    ASSERT_FALSE(OnCatalogueNavigate("http://h/images/" + name + "?type=" + name + "&md5=" + md5 + "&&os_name=Win10&"));
  }
  // The job's workers run; the window thread looks at the job whenever the
  // timer would fire, until it has ended.
  void RunToEnd() {
    for (int i = 0; i < 20000 && JobRunning(); ++i) {
      ui::Fire(kJobTimer, "timer");
      usleep(1000);
    }
    ASSERT_FALSE(JobRunning()) << "the job did not end";
  }
  // The wizard as the program wires it: this thread the window's, its
  // buttons reaching the install and the data backup.
  void WireTheWizard() {
    fake.MakeThisTheWindowThread();
    ResetRestartState();
    ui::ResetMainWindowLogic();
    InstallReinstallFlow();
    ui::InstallMainWindowLogic();
    SetDataBackupJob([](CopyTally& t) { return RunDataBackup(t); });
    ui::SetWizardLinks({[] { return StartCloudInstall(); }, [] { return StartDataBackup() != kNoHandle; },
                        [] { CancelDataBackup(); }});
  }
  std::vector<Text> Messages() {
    std::vector<Text> out;
    for (const auto& d : fake.Dialogs()) out.push_back(d.text);
    return out;
  }
  std::string Log() { return fake.FileText("D:\\MV_OSR\\MV_OSR.log"); }
  Text Ini(const Text& key) { return fake.IniRead("C:\\WinPE\\DaVidAZ.INI", "SYSTEM", key, "<none>"); }
  bool TaskFile() { return fake.FileExists("C:\\WinPE\\DaVidAZ.INI"); }
  bool HasPeEntry() { return Store().entries.size() > bcdstandin::DefaultStore('C', false).entries.size(); }
  std::string M(const char* name) { return ui::MainModel().Text(name); }
  int Step() { return ui::MainModel().Get(names::kWizard).page; }

  dl::test::FakeEngine engine_;
  std::map<std::string, std::string> served_;
};

}  // namespace mv
