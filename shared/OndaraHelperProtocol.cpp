#include "OndaraHelperProtocol.h"

// Anchors the vtable in one translation unit.
OndaraHelperProtocol::~OndaraHelperProtocol() = default;
