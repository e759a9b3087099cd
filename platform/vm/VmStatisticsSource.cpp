#include "vm/VmStatisticsSource.h"

// Anchors the vtable in one translation unit.
VmStatisticsSource::~VmStatisticsSource() = default;
