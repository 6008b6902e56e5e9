// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes shown with QMessageBox; an empty caption gives the application's title.
#pragma once

#include <QPointer>
#include <QWidget>

#include "MessageBoxes.h"

namespace quorvell {

inline constexpr const char* kApplicationTitle = "Quorvell";

class QtMessageBoxes final : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent(parent) {}
    MessageAnswer Show(const Message& message) override;
    // The window the boxes open over (and centre on) from now on.
    void SetParent(QWidget* window) { parent = window; }

private:
    QPointer<QWidget> parent;
};

}  // namespace quorvell
