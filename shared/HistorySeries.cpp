#include "HistorySeries.h"

#include "OndaraNames.h"

#include <QRegularExpression>

const QStringList& HistorySeries::memoryFigures() {
    static const QStringList figures{QStringLiteral("Total"),     QStringLiteral("Used"),
                                     QStringLiteral("Free"),      QStringLiteral("Wired"),
                                     QStringLiteral("Active"),    QStringLiteral("Inactive"),
                                     QStringLiteral("Compressed")};
    return figures;
}

QString HistorySeries::temperature(quint32 code) {
    if (code == OndaraNames::driveSensorCode) {
        return QStringLiteral("temp:") + OndaraNames::driveSensorName;
    }
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char character = char((code >> shift) & 0xFF);
        if (character < 0x20 || character > 0x7E) {
            return QStringLiteral("temp:0x") +
                   QString::number(code, 16).toUpper().rightJustified(8, QLatin1Char('0'));
        }
        text.append(QLatin1Char(character));
    }
    return QStringLiteral("temp:") + text;
}

QString HistorySeries::fanSpeed(int number) {
    return QStringLiteral("fan:%1").arg(number);
}

QString HistorySeries::memory(const QString& figure) {
    return QStringLiteral("mem:") + figure;
}

QString HistorySeries::stoppedFan(int number) {
    return QStringLiteral("fan:%1:stopped").arg(number);
}

std::optional<HistorySeries> HistorySeries::parse(const QString& name) {
    if (name.size() > maximumNameLength) {
        return std::nullopt;
    }
    // Fan keys have room for one digit, so fans are 0 to 9.
    static const QRegularExpression form(
        QStringLiteral("^(?:temp:([\\x20-\\x7E]{4}|SMART|0x[0-9A-F]{8})|fan:([0-9])(:stopped)?|"
                       "mem:([A-Za-z]+))$"));
    const QRegularExpressionMatch match = form.match(name);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    HistorySeries series;
    if (match.hasCaptured(1)) {
        series.kind = Kind::temperature;
        series.key = match.captured(1);
    } else if (match.hasCaptured(2)) {
        series.kind = match.hasCaptured(3) ? Kind::stoppedFan : Kind::fan;
        series.fan = match.captured(2).toInt();
    } else {
        if (!memoryFigures().contains(match.captured(4))) {
            return std::nullopt;
        }
        series.kind = Kind::memory;
        series.key = match.captured(4);
    }
    return series;
}

QString HistorySeries::name() const {
    switch (kind) {
    case Kind::temperature:
        return QStringLiteral("temp:") + key;
    case Kind::fan:
        return fanSpeed(fan);
    case Kind::memory:
        return memory(key);
    case Kind::stoppedFan:
        return stoppedFan(fan);
    }
    return {};
}
