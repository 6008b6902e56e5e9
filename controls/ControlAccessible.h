// SPDX-License-Identifier: GPL-3.0-or-later
// Accessibility of the skinned controls: each reports its name and the value it shows.
#pragma once

namespace quorvell {

// Registers the accessible interfaces of CValueStepper (spin box), CDropDown (combo box),
// CTextLabel (static text) and PngButton (button) with Qt. Repeated calls do nothing.
void InstallControlAccessibility();

}  // namespace quorvell
