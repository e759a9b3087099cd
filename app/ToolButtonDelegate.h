#pragma once

class ToolButton;

// What a gear button tells its tile.
class ToolButtonDelegate {
public:
    virtual ~ToolButtonDelegate() = default;
    virtual void toolButtonEntered(ToolButton* button) = 0;
    virtual void toolButtonExited(ToolButton* button) = 0;
};
