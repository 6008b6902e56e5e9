// stub
#include "CMenuEx.h"
namespace quorvell {
CMenuEx::CMenuEx() = default;
CMenuEx::~CMenuEx() = default;
bool CMenuEx::LoadMenu(int) {
    return false;
}
void CMenuEx::Load(std::span<const MenuEntry>) {}
QMenu* CMenuEx::SubMenu(int) const {
    return nullptr;
}
std::optional<int> CMenuEx::TrackPopup(QPoint, QWidget*) {
    return std::nullopt;
}
int CMenuEx::MeasureItemWidth(const QString&, bool, bool) {
    return 0;
}
}  // namespace quorvell
