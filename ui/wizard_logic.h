// The wizard's part of the main window's behaviour (wizard_logic.cpp); its
// public operations (ShowStep, WizardNext, ...) are declared with the rest
// in main_window_logic.h.
#pragma once

#include "ui/main_window_logic.h"

namespace mv::ui {

// The click and check handlers of the wizard's buttons and of its steps.
void RegisterWizardHandlers();

// The wizard's links as last set (SetWizardLinks).
WizardLinks CurrentWizardLinks();

}  // namespace mv::ui
