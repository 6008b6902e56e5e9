// stub
#include "CDropListBox.h"
namespace quorvell {
CDropListBox::CDropListBox(QWidget* parent) : QWidget(parent) {}
void CDropListBox::AddItem(const QString& t) {
    items.append(t);
}
QString CDropListBox::ItemText(int i) const {
    return items.value(i);
}
void CDropListBox::SetSelection(int i) {
    selection = i;
}
QRect CDropListBox::ItemRect(int i) const {
    return QRect(0, i * kItemHeight, width(), kItemHeight);
}
int CDropListBox::IndexAt(QPoint) const {
    return -1;
}
void CDropListBox::paintEvent(QPaintEvent*) {}
void CDropListBox::resizeEvent(QResizeEvent*) {}
void CDropListBox::mouseMoveEvent(QMouseEvent*) {}
void CDropListBox::mousePressEvent(QMouseEvent*) {}
void CDropListBox::keyPressEvent(QKeyEvent*) {}
void CDropListBox::wheelEvent(QWheelEvent*) {}
void CDropListBox::leaveEvent(QEvent*) {}
void CDropListBox::UpdateScrollBar() {}
void CDropListBox::EnsureVisible(int) {}
}  // namespace quorvell
