// SPDX-License-Identifier: GPL-3.0-or-later
// The about box: program icon, name and version, and where the presets are kept.
#pragma once

#include <QDialog>

namespace quorvell {

class CAboutDialog : public QDialog {
    Q_OBJECT

public:
    CAboutDialog(const QString& dataDirectory, QWidget* parent = nullptr);
};

}  // namespace quorvell
