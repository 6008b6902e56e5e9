// stub
#include "CDropDown.h"
#include "CDropListBox.h"
#include "CDropPopup.h"
namespace quorvell {
CDropDown::CDropDown(QWidget* parent) : QWidget(parent) {}
CDropDown::~CDropDown() = default;
void CDropDown::SetImages(int n, int h) {
    normalImage = n;
    hoverImage = h;
    resize(90, 20);
}
bool CDropDown::CreateList(int id) {
    notificationId = id;
    popup = new CDropPopup(this);
    return true;
}
void CDropDown::AddItem(const QString& t) {
    if (popup)
        popup->List()->AddItem(t);
}
int CDropDown::Count() const {
    return popup ? popup->List()->Count() : 0;
}
void CDropDown::SetSelection(int i) {
    if (popup)
        popup->List()->SetSelection(i);
}
int CDropDown::GetSelection() const {
    return popup ? popup->List()->Selection() : -1;
}
bool CDropDown::IsPopupShowing() const {
    return popup && popup->isVisible();
}
CDropListBox* CDropDown::List() const {
    return popup ? popup->List() : nullptr;
}
void CDropDown::paintEvent(QPaintEvent*) {}
void CDropDown::mouseMoveEvent(QMouseEvent*) {}
void CDropDown::mousePressEvent(QMouseEvent*) {}
void CDropDown::leaveEvent(QEvent*) {}
void CDropDown::focusOutEvent(QFocusEvent*) {}
void CDropDown::wheelEvent(QWheelEvent*) {}
void CDropDown::OpenPopup() {}
void CDropDown::OnListChoice(int, bool) {}
void CDropDown::PostSelection(int) {}
}  // namespace quorvell
