// Font fallback for the controls.
#include "ControlFonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace quorvell {
namespace {

QFont FamilyFont(const QString& family, bool bold) {
    QFont font;
    if (QFontDatabase::hasFamily(family)) {
        font.setFamily(family);
    } else {
        font.setFamilies(QStringList{QStringLiteral("sans-serif")});
        font.setStyleHint(QFont::SansSerif);
    }
    font.setBold(bold);
    return font;
}

}  // namespace

QFont PixelFont(const QString& family, int pixelSize, bool bold) {
    QFont font = FamilyFont(family, bold);
    font.setPixelSize(pixelSize);
    return font;
}

QFont PointFont(const QString& family, int pointSize, bool bold) {
    QFont font = FamilyFont(family, bold);
    font.setPointSize(pointSize);
    return font;
}

}  // namespace quorvell
