// The main window's behaviour: the navigation buttons and pages, the
// reinstall wizard's next and back buttons (with the data-only backup mode),
// the busy state, the step indicator, the exit confirmation, the data-backup
// items' select-all rule, the hint balloon, the menu, the links and the small
// handlers of the title area and the pages, the start-up's window steps and
// the wiring of the download engine, the countdown and the survey.
//
// Everything here runs on the window thread (the handlers are fired by the
// view) except where a worker is said to call it.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

namespace mv::ui {

// The parts of the install and backup flows that the wizard starts. Unset
// ones do nothing (a missing install starter only checks that a system has
// been chosen). Whatever they start is a job (core/job.h): back on the
// progress step and the close request stop it through CancelJob.
struct WizardLinks {
  // The next button on the system-choice step: checks the choice and starts
  // the cloud install; false when it stopped at its checks (the wizard stays).
  std::function<bool()> start_cloud_install;
  // Starts the data-only backup; false when it did not start (the wizard
  // stays on the choice of items).
  std::function<bool()> start_data_backup;
  // The data-backup page's cancel button.
  std::function<void()> cancel_data_backup;
};
void SetWizardLinks(WizardLinks links);

// Registers every handler of the main window, the start-up hooks for the
// window's steps (browser pane sizes, shadow, first page, browser mouse
// hook), the download links (busy state, started jobs), the engine's part of
// the program's end and the countdown timer. Call once, before the window is
// created.
void InstallMainWindowLogic();

// Runs the environment survey once the start-up has finished (the program's
// first view of step 0).
void OnStartUpFinished();

// 1: a task runs; the navigation, the menu, the data-backup and the help
// buttons are disabled. 0: all enabled again.
void SetBusy(int busy);
// The step indicator follows the wizard's current step.
void ShowStep();
// The close request: asks (twice while busy) and ends the program on Yes,
// a running job stopped first (its workers end between two files, so that
// nothing is left half-written); false when the window stays open.
bool ConfirmExit();

// The navigation buttons' actions.
void ShowReinstallPage();
void ShowBackupPage();
void ShowSoftwarePage();
void ShowToolboxPage();
void ShowDataBackupMode();
bool DataOnlyMode();

// The wizard's buttons in their navigation role.
void WizardNext();
void WizardBack();

// Software tab n (1 to 5): loads its page and highlights its button.
void ShowSoftwareTab(int n);

// The addresses of the outside pages (the hosts are build settings).
Text HomePageUrl();
Text HelpPageUrl();
Text ForumPageUrl();
Text SupportGroupUrl();

// The texts the window shows.
extern const char kExitQuestion[];      // "程序正在运行，是否退出！"
extern const char kExitBusyQuestion[];  // "程序正在执行任务，是否放弃所有操作并退出！"

// Back to a fresh window state and no handlers (tests).
void ResetMainWindowLogic();

}  // namespace mv::ui
