#include "ApplicationVersion.h"

#include "OndaraVersion.h"

#include <cmath>

QString ApplicationVersion::text() {
    return QStringLiteral(ONDARA_VERSION_TEXT);
}

std::optional<double> ApplicationVersion::number(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

QString ApplicationVersion::label(const QString& text) {
    const auto value = number(text);
    // Without a number the label keeps its designed text.
    return value ? tr("version %1", "the version number, with two decimals")
                       .arg(QString::asprintf("%.2f", *value))
                 : QString();
}
