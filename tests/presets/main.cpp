// SPDX-License-Identifier: GPL-3.0-or-later
// Test entry: test-mode standard paths under a private home, so that the trash, the
// application data folder and the per-user folders of a test never touch the real ones.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "../PrivateHome.h"

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!quorvell::test::UsePrivateHome(home)) {
        return 1;
    }
    QCoreApplication::setOrganizationName("Quorvell");
    QCoreApplication::setApplicationName("Quorvell");
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
