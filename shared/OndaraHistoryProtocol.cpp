#include "OndaraHistoryProtocol.h"

OndaraHistoryProtocol::~OndaraHistoryProtocol() = default;
