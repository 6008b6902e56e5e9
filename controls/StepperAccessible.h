// Accessibility of the value stepper: its name from the page, its value the shown text.
#pragma once

namespace quorvell {

// Registers the stepper's accessible interface with Qt (once; repeated calls do nothing).
void InstallStepperAccessibility();

}  // namespace quorvell
