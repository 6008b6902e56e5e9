// SPDX-License-Identifier: GPL-3.0-or-later
// Test-mode standard paths under a home of the run's own, so that the trash, the data and
// settings folders a test writes never reach the real ones or the next run.
#pragma once

#include <QStandardPaths>
#include <QTemporaryDir>

namespace quorvell::test {

// Points HOME at `home` and switches the standard paths to test mode; false when `home`
// could not be made.
inline bool UsePrivateHome(const QTemporaryDir& home) {
    if (!home.isValid()) {
        return false;
    }
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    QStandardPaths::setTestModeEnabled(true);
    return true;
}

}  // namespace quorvell::test
