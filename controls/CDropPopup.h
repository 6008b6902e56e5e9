// SPDX-License-Identifier: GPL-3.0-or-later
// The borderless pop-up window beneath a drop-down bar that holds its list.
#pragma once

#include <QWidget>

namespace quorvell {

class CDropDown;
class CDropListBox;

class CDropPopup : public QWidget {
    Q_OBJECT

public:
    explicit CDropPopup(CDropDown* owner);

    CDropListBox* List() const { return list; }
    bool IsShowing() const { return isVisible(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    CDropDown* owner = nullptr;
    CDropListBox* list = nullptr;
};

}  // namespace quorvell
