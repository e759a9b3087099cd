#pragma once

#include <QUrl>
#include <functional>

// Opens a web page in the user's browser. Views take one so tests can record
// what would have been opened instead of starting a browser.
using UrlOpener = std::function<void(const QUrl&)>;

// The desktop's handler for the address (QDesktopServices).
UrlOpener desktopUrlOpener();
