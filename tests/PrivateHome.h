// SPDX-License-Identifier: GPL-3.0-or-later
// Test-mode standard paths under a home of the run's own, so that the trash, the data and
// settings folders a test writes never reach the real ones or the next run.
#pragma once

#include <QStandardPaths>
#include <QTemporaryDir>

namespace quorvell::test {

// Points HOME at `home` and, with `testMode`, switches this process's standard paths to test
// mode; false when `home` could not be made. Without test mode the programs a test starts see
// the very folders the test does.
inline bool UsePrivateHome(const QTemporaryDir& home, bool testMode = true) {
    if (!home.isValid()) {
        return false;
    }
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    QStandardPaths::setTestModeEnabled(testMode);
    return true;
}

}  // namespace quorvell::test
