// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the controls of a page from its table rows: one place for their common setup.
#pragma once

#include <QString>

#include "PageTable.h"

class QKeyEvent;
class QPushButton;
class QWidget;

namespace quorvell {

class CTextLabel;
class CValueStepper;

// A transparent text label with the row's text, size, alignment and place.
CTextLabel* BuildLabel(const LabelSpec& entry, QWidget* parent);
// A stepper with the shared stepper images, the row's kind, range and creation value,
// placed at the row's corner; its accessible name describes the bound field.
CValueStepper* BuildStepper(const StepperSpec& entry, QWidget* parent);
// A plain push button with the row's text and place that never acts as a default button.
QPushButton* BuildPushButton(const ButtonSpec& entry, QWidget* parent);
// Accepts Enter and Escape so that neither closes a page or the main window; true when the
// key was one of them and is handled.
bool SwallowEnterEscape(QKeyEvent* event);
// Chains the Tab order of the page's focusable children row by row, channel by channel: the
// section above `lowerTop` first, then the one below; within a section the left channel
// (x < `channelSplitX`) top to bottom and left to right, then the right one.
void OrderTabsByRows(QWidget* page, int lowerTop, int channelSplitX);
// "CH1 Band 3 gain", "CH2 LOPASS Q", "Main level", "CH1 limiter threshold".
QString DescribeBinding(const Binding& binding);

// Grey 3-pixel frame pen shared by the pages.
inline constexpr unsigned kFrameColor = 0x808080;
inline constexpr int kFramePenWidth = 3;

}  // namespace quorvell
