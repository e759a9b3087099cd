#pragma once

class BoxView;

// What a tile tells the window that owns it.
class BoxViewDelegate {
public:
    virtual ~BoxViewDelegate() = default;
    // After a press; the box has toggled itself first when it was selectable.
    virtual void boxClicked(BoxView* box) = 0;
    // The mouse entered the box, or came back from its gear onto the box.
    virtual void boxEntered(BoxView* box) = 0;
    virtual void boxExited(BoxView* box) = 0;
    virtual void gearEntered(BoxView* box) = 0;
};
