#include "ReaderPrivileges.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
struct CapabilitySets {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};

    bool get() { return ::syscall(SYS_capget, &header, data) == 0; }
    void set() { ::syscall(SYS_capset, &header, data); }
};

int number(ReaderPrivileges::Capability capability) {
    return capability == ReaderPrivileges::Capability::rawIo ? CAP_SYS_RAWIO : CAP_DAC_READ_SEARCH;
}
} // namespace

void ReaderPrivileges::lowerAll() {
    CapabilitySets sets;
    if (!sets.get()) {
        return;
    }
    for (auto& word : sets.data) {
        word.effective = 0;
        word.inheritable = 0;
    }
    sets.set();
}

void ReaderPrivileges::use(Capability capability) {
    CapabilitySets sets;
    if (!sets.get()) {
        return;
    }
    const int cap = number(capability);
    sets.data[CAP_TO_INDEX(cap)].effective |= CAP_TO_MASK(cap);
    // Refused when the capability isn't permitted; the guarded step then
    // fails on its own.
    sets.set();
}

void ReaderPrivileges::drop(Capability capability) {
    CapabilitySets sets;
    if (!sets.get()) {
        return;
    }
    const int cap = number(capability);
    sets.data[CAP_TO_INDEX(cap)].effective &= ~CAP_TO_MASK(cap);
    sets.data[CAP_TO_INDEX(cap)].permitted &= ~CAP_TO_MASK(cap);
    sets.set();
}
