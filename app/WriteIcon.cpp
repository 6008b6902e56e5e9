// Build helper: writes the program icon as a 256-pixel PNG for the desktop entry.
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>

#include "SkinImages.h"

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: quorvell-write-icon OUT.png\n", stderr);
        return 2;
    }
    const QPixmap icon = quorvell::ProgramIcon().pixmap(256, 256);
    return !icon.isNull() && icon.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
