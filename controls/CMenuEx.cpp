// SPDX-License-Identifier: GPL-3.0-or-later
// Owner-drawn pop-up menus: pale body, grey left column, framed light-blue highlight bar.
#include "CMenuEx.h"

#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <algorithm>
#include <array>

#include "ControlFonts.h"
#include "PressSwallower.h"

namespace quorvell {
namespace {

const QColor kBody(239, 243, 255);
const QColor kColumn(210, 210, 210);
const QColor kHighlightFrame(49, 106, 197);
const QColor kHighlightFill(193, 210, 238);
const QColor kEtchDark(64, 0, 128);
constexpr int kTextIndent = CMenuEx::kIconWidth + 10;
constexpr int kTextEndMargin = 4;

QFont CaptionFont() {
    return PixelFont(QString::fromLatin1(kCaptionFamily), 16);
}

constexpr std::array kSlotCommands = {
    MenuEntry{"NAME", kCmdName},
    MenuEntry{"RECALL", kCmdRecall},
    MenuEntry{"DELETE", kCmdDelete},
};
constexpr std::array kSlotMenu = {
    MenuEntry{"SAVE", -1, false, kSlotCommands, true},
};

// Item geometry and drawing of the program's menus.
class MenuStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        switch (metric) {
            case PM_MenuPanelWidth:
            case PM_MenuHMargin:
            case PM_MenuVMargin:
            case PM_MenuDesktopFrameWidth:
                return 0;
            default:
                return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type == CT_Menu) {
            return size;
        }
        if (type != CT_MenuItem || item == nullptr) {
            return QProxyStyle::sizeFromContents(type, option, size, widget);
        }
        if (item->menuItemType == QStyleOptionMenuItem::Separator) {
            return {CMenuEx::kIconWidth, CMenuEx::kSeparatorHeight};
        }
        const bool opensPopup = item->menuItemType == QStyleOptionMenuItem::SubMenu;
        // The rule measures the default font, but the caption is drawn larger from 26 pixels
        // in: the item is widened where the drawn caption would otherwise be cut off.
        const int drawn = kTextIndent +
                          QFontMetrics(CaptionFont())
                              .horizontalAdvance(QString(item->text).remove(QLatin1Char('&'))) +
                          kTextEndMargin;
        const int rule = CMenuEx::MeasureItemWidth(item->text, !item->icon.isNull(), opensPopup);
        return {std::max(rule, drawn), CMenuEx::kItemHeight};
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_PanelMenu || element == PE_FrameMenu) {
            painter->fillRect(option->rect, kBody);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuEmptyArea) {
            painter->fillRect(option->rect, kBody);
            return;
        }
        if (element != CE_MenuItem || item == nullptr) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        DrawItem(*item, *painter);
    }

private:
    static void DrawItem(const QStyleOptionMenuItem& item, QPainter& painter) {
        const QRect r = item.rect;
        painter.save();
        painter.fillRect(r, kBody);
        painter.fillRect(QRect(r.left(), r.top(), CMenuEx::kIconWidth + 5, r.height()), kColumn);
        const QRect textArea(QPoint(r.left() + kTextIndent, r.top()), r.bottomRight());
        const bool highlighted = (item.state & State_Selected) != 0;
        if (item.menuItemType == QStyleOptionMenuItem::Separator) {
            const int y = r.top() + r.height() / 2 - 1;
            const int right = r.right() - 2;
            painter.setPen(kEtchDark);
            painter.drawLine(textArea.left(), y, right, y);
            painter.setPen(Qt::white);
            painter.drawLine(textArea.left(), y + 1, right, y + 1);
            painter.restore();
            return;
        }
        if (highlighted) {
            painter.setPen(kHighlightFrame);
            painter.setBrush(kHighlightFill);
            painter.drawRect(r.adjusted(0, 0, -1, -1));
        }
        painter.setFont(CaptionFont());
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextExpandTabs |
                          Qt::TextSingleLine;
        if ((item.state & State_Enabled) == 0) {
            // Embossed: a light copy one pixel down and right under a grey one.
            painter.setPen(item.palette.color(QPalette::Light));
            painter.drawText(textArea.translated(1, 1), flags, item.text);
            painter.setPen(item.palette.color(QPalette::Mid));
            painter.drawText(textArea, flags, item.text);
        } else {
            const QPalette::ColorRole role =
                highlighted ? QPalette::HighlightedText : QPalette::WindowText;
            painter.setPen(item.palette.color(role));
            painter.drawText(textArea, flags, item.text);
        }
        if (!item.icon.isNull()) {
            const QPoint at(r.left() + 2, r.top() + (highlighted ? 1 : 2));
            painter.drawPixmap(at, item.icon.pixmap(CMenuEx::kIconWidth, CMenuEx::kIconHeight));
        }
        painter.restore();
    }
};

}  // namespace

CMenuEx::CMenuEx() = default;
CMenuEx::~CMenuEx() = default;

int CMenuEx::MeasureItemWidth(const QString& caption, bool hasImage, bool opensPopup) {
    const QFontMetrics metrics(QApplication::font());
    int width = metrics.horizontalAdvance(caption) + kIconWidth;
    if (hasImage) {
        width += 30;
    }
    if (opensPopup) {
        width += 15;
    }
    return width;
}

bool CMenuEx::LoadMenu(int menuId) {
    if (menuId != kPresetSlotMenu) {
        return false;
    }
    Load(kSlotMenu);
    return true;
}

QMenu* CMenuEx::BuildPopup(const MenuEntry& source, QWidget* parent) {
    auto* menu = new QMenu(QString::fromUtf8(source.caption), parent);
    menu->setStyle(style.get());
    for (const MenuEntry& entry : source.children) {
        if (entry.isPopup) {
            menu->addMenu(BuildPopup(entry, menu));
        } else if (entry.id == 0) {
            menu->addSeparator();
        } else {
            QAction* action = menu->addAction(QString::fromUtf8(entry.caption));
            action->setData(entry.id);
            action->setEnabled(!entry.grayed);
        }
    }
    return menu;
}

void CMenuEx::Load(std::span<const MenuEntry> entries) {
    popups.clear();
    if (style == nullptr) {
        style = std::make_unique<MenuStyle>();
    }
    for (const MenuEntry& entry : entries) {
        if (entry.isPopup) {
            popups.emplace_back(BuildPopup(entry, nullptr));
        }
    }
}

QMenu* CMenuEx::SubMenu(int position) const {
    if (position < 0 || position >= static_cast<int>(popups.size())) {
        return nullptr;
    }
    return popups[static_cast<std::size_t>(position)].get();
}

std::optional<int> CMenuEx::TrackPopup(QPoint globalPos) {
    QMenu* menu = SubMenu(0);
    if (menu == nullptr) {
        return std::nullopt;
    }
    const QAction* chosen = menu->exec(globalPos);
    if (chosen == nullptr || !chosen->isEnabled()) {
        return std::nullopt;
    }
    // The menu closed on the click that chose: the rest of a double-click must not act on the
    // page beneath (a RECALL followed by a Save).
    PressSwallower::Arm(QCursor::pos());
    return chosen->data().toInt();
}

}  // namespace quorvell
