// The libFuzzer side of one fuzz target; ONDARA_FUZZ_ENTRY names its entry.

#include "FuzzEntries.h"

#include <QCoreApplication>
#include <QLoggingCategory>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Some readers log through Qt or post to the event loop's objects.
    static QCoreApplication application(*argc, *argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return ONDARA_FUZZ_ENTRY(data, size);
}
