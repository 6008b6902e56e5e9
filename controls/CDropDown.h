// SPDX-License-Identifier: GPL-3.0-or-later
// The 90 x 20 skinned drop-down selector: a bar showing the chosen text and a pop-up list.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

namespace quorvell {

class CDropPopup;
class CDropListBox;

class CDropDown : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxListHeight = 200;

    explicit CDropDown(QWidget* parent = nullptr);
    ~CDropDown() override;

    // Stores the bar images (see SkinImages.h) and resizes the bar to the normal image.
    void SetImages(int normal, int hover);

    // Records the bar's width for the pop-up, stores the notification id and creates the
    // pop-up (hidden) with its list. Returns false if they cannot be created.
    bool CreateList(int notificationId);

    void AddItem(const QString& text);
    int Count() const;

    // Clamps the index to 0..count-1, selects the entry, shows its text and makes it the
    // committed entry. Never notifies; nothing happens without entries.
    void SetSelection(int index);
    // The list's selection, -1 for none.
    int GetSelection() const;

    QString Text() const { return text; }
    bool IsHover() const { return hover; }
    // True while the bar shows its focus frame (keyboard focus, or a key was used).
    bool ShowsFocus() const { return hasFocus() && focusShown; }
    bool IsPopupShowing() const;
    CDropPopup* Popup() const { return popup; }
    CDropListBox* List() const;
    // Where the pop-up was last shown, in global coordinates.
    QRect PopupRect() const { return popupRect; }
    int NotificationId() const { return notificationId; }

    QColor normalTextColor = Qt::white;
    QColor hoverTextColor = Qt::white;
    QFont normalFont;
    QFont hoverFont;

signals:
    // Operator choices only (pop-up or wheel), delivered queued.
    void selectionChanged(int notificationId, int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // Space, Enter, F4 or Alt+Down open the list; Up and Down choose the entry before or
    // after the shown one, one notification each.
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class CDropPopup;
    void OpenPopup(bool byKeyboard);
    // Drops the hover look and closes the pop-up without a choice.
    void DropTransientState();
    void OnListChoice(int index, bool pointerInside);
    void OnListClick(int index, QPoint globalPos);
    void OnListTaken(int index);
    void Commit(int index);
    void PostSelection(int index);
    void OnPopupHidden();

    int normalImage = 0;
    int hoverImage = 0;
    bool hover = false;
    bool focusShown = false;
    int notificationId = 0;
    int barWidth = 0;
    int wheelAccumulator = 0;
    QRect popupRect;
    QString text;
    CDropPopup* popup = nullptr;  // owned as a Qt child
};

}  // namespace quorvell
