// SPDX-License-Identifier: GPL-3.0-or-later
// Build helper: writes the program icon as a square PNG of the given size for the desktop entry.
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "SkinImages.h"

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    const int size = argc == 3 ? std::atoi(argv[2]) : 0;
    if (size < 16 || size > 1024) {
        std::fputs("usage: quorvell-write-icon OUT.png SIZE (16 to 1024 pixels)\n", stderr);
        return 2;
    }
    const QPixmap icon = quorvell::ProgramIcon().pixmap(size, size);
    return !icon.isNull() && icon.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
