#pragma once

#include "AccessibleSelectiveView.h"

class CustomTabView;

// The setup window's tab view: its own selector and the pages, without the
// standard tab bar it keeps hidden.
class AccessibleCustomTabView : public AccessibleSelectiveView {
public:
    explicit AccessibleCustomTabView(CustomTabView* view);

protected:
    QList<QWidget*> accessibleChildren() const override;
};
