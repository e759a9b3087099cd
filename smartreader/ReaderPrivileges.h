#pragma once

// The capabilities the SMART reader holds by its file capability, used one
// at a time: nothing is in effect but for the one step that needs it, and
// each is given up for good once that step is done. Without the file
// capability (or run by root) every call still works; the step it guards
// then fails as it would for any unprivileged caller.
class ReaderPrivileges {
public:
    enum class Capability { readAnyFile, rawIo };

    // Takes every capability out of effect; the permitted ones stay for use().
    static void lowerAll();
    // Puts one permitted capability into effect.
    static void use(Capability capability);
    // Takes one out of effect and out of the permitted set, for good.
    static void drop(Capability capability);
};
