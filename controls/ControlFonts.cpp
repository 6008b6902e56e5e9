// SPDX-License-Identifier: GPL-3.0-or-later
// Font fallback for the controls.
#include "ControlFonts.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QStringList>
#include <algorithm>

namespace quorvell {
namespace {

// Fonts with the widths of the preferred families, tried before the generic sans-serif.
QStringList Substitutes(const QString& family) {
    QStringList names{family};
    if (family == QLatin1String(kCaptionFamily) || family == QLatin1String(kDropDownFamily)) {
        names << QStringLiteral("Arial") << QStringLiteral("Liberation Sans")
              << QStringLiteral("Arimo");
    }
    return names;
}

// The installed family that stands for `family`. Asking the font database costs about half a
// millisecond, and controls ask at every paint, so each answer is remembered: the set of
// installed fonts does not change while the program runs. Used on the UI thread only.
QString ResolvedFamily(const QString& family) {
    static QHash<QString, QString> resolved;
    const auto it = resolved.constFind(family);
    if (it != resolved.constEnd()) {
        return *it;
    }
    QString found = QStringLiteral("sans-serif");
    for (const QString& name : Substitutes(family)) {
        if (QFontDatabase::hasFamily(name)) {
            found = name;
            break;
        }
    }
    resolved.insert(family, found);
    return found;
}

QFont FamilyFont(const QString& family, bool bold) {
    QFont font;
    font.setFamilies(QStringList{ResolvedFamily(family)});
    font.setStyleHint(QFont::SansSerif);
    font.setBold(bold);
    return font;
}

}  // namespace

QFont PixelFont(const QString& family, int cellHeight, bool bold) {
    QFont font = FamilyFont(family, bold);
    font.setPixelSize(std::max(cellHeight, 1));
    const qreal height = QFontMetricsF(font).height();
    if (height > cellHeight) {
        font.setPixelSize(std::max(static_cast<int>(cellHeight * cellHeight / height), 1));
    }
    return font;
}

QFont PointFont(const QString& family, int pointSize, bool bold) {
    QFont font = FamilyFont(family, bold);
    font.setPointSize(pointSize);
    return font;
}

QFont FittingFont(QFont font, const QString& text, int width) {
    constexpr int kSmallestPixels = 9;
    int size = font.pixelSize();
    while (size > kSmallestPixels &&
           QFontMetrics(font).elidedText(text, Qt::ElideRight, width) != text) {
        font.setPixelSize(--size);
    }
    return font;
}

}  // namespace quorvell
