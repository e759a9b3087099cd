#pragma once

class AtaSmartInterface;

// A device's ATA SMART plug-in. Destroying it is its release: the interface it
// handed out is gone with it.
class AtaSmartPlugIn {
public:
    AtaSmartPlugIn() = default;
    AtaSmartPlugIn(const AtaSmartPlugIn&) = delete;
    AtaSmartPlugIn& operator=(const AtaSmartPlugIn&) = delete;
    virtual ~AtaSmartPlugIn() = default;

    // The drive's SMART interface, owned by the plug-in; null when the
    // device offers none.
    virtual AtaSmartInterface* queryInterface() = 0;
};
