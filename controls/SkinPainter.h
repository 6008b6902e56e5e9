// SPDX-License-Identifier: GPL-3.0-or-later
// Painting of a skinned bar, shared by the value stepper and the drop-down selector.
#pragma once

class QPainter;
class QWidget;

namespace quorvell {

// Image `id` stretched over the widget's client area at the painter's pixel ratio, opaque;
// id 0 (or an unknown id) fills with the palette's button face.
void PaintSkin(QPainter& painter, const QWidget& widget, int id);

}  // namespace quorvell
