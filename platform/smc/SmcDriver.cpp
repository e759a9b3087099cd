#include "smc/SmcDriver.h"

SmcDriver::~SmcDriver() = default;
