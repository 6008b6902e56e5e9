// stub
#include "CDropPopup.h"
#include "CDropDown.h"
#include "CDropListBox.h"
namespace quorvell {
CDropPopup::CDropPopup(CDropDown* o)
    : QWidget(o, Qt::Popup), owner(o), list(new CDropListBox(this)) {}
void CDropPopup::resizeEvent(QResizeEvent*) {}
void CDropPopup::mousePressEvent(QMouseEvent* e) {
    QWidget::mousePressEvent(e);
}
}  // namespace quorvell
