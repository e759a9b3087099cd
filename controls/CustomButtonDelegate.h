#pragma once

class CustomButton;

// The owner of a CustomButton, told of presses in this order.
class CustomButtonDelegate {
public:
    virtual ~CustomButtonDelegate() = default;
    virtual void customButtonPressed(CustomButton* button) = 0;
    virtual void customButtonReleased(CustomButton* button) = 0;
};
