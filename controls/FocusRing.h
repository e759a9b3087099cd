#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

// The ring the custom controls draw around what has the keyboard focus, in
// the palette's highlight. Like the desktop's own controls, they draw it once
// the user moves the focus with the keyboard, not for the focus a window
// hands out when it opens.
namespace FocusRing {

inline bool isShown(const QWidget* widget) {
    return widget->hasFocus() && widget->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

inline QColor color(const QWidget* widget) {
    return widget->palette().color(QPalette::Highlight);
}

} // namespace FocusRing
