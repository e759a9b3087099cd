#include "smc/HwmonTree.h"

#include "smc/SysfsAttribute.h"
#include "smc/SysfsAttributeFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cerrno>

namespace {

// Where an attribute of the chip lives: its own directory on current kernels,
// the device's on old ones.
QStringList attributeDirectories(const QString& chipDirectory) {
    return {chipDirectory, chipDirectory + QStringLiteral("/device")};
}

// The device path of an entry: where a class link points (a real /sys), or
// where its device/ link points (a copied tree). A chip's own hwmonN part is
// dropped, since it is the number that changes between boots.
QString devicePath(const QString& entryPath) {
    const QFileInfo entry(entryPath);
    QString path;
    if (entry.isSymLink()) {
        path = entry.symLinkTarget();
    } else {
        const QFileInfo device(entryPath + QStringLiteral("/device"));
        if (device.isSymLink()) {
            path = device.symLinkTarget();
        }
    }
    static const QRegularExpression hwmonPart(QStringLiteral("(/hwmon)?/hwmon\\d+$"));
    path.remove(hwmonPart);
    return path;
}

// The name of the device a chip belongs to; chipDirectory must be the chip's
// real place, since the link is relative to it.
QString deviceName(const QString& chipDirectory) {
    const QFileInfo device(chipDirectory + QStringLiteral("/device"));
    return device.isSymLink() ? QFileInfo(device.symLinkTarget()).fileName() : QString();
}

} // namespace

HwmonTree::HwmonTree(const QString& classDirectory)
    : directory(classDirectory) {}

bool HwmonTree::exists() const {
    return QFileInfo(directory).isDir();
}

bool HwmonTree::naturalLess(const QString& a, const QString& b) {
    const auto digitsEnd = [](const QString& text, qsizetype from) {
        while (from < text.size() && text[from].isDigit()) {
            ++from;
        }
        return from;
    };
    // A run of digits without its leading zeros ("007" → "7", "0" stays).
    const auto number = [](const QString& text, qsizetype from, qsizetype to) {
        while (from + 1 < to && text[from] == QLatin1Char('0')) {
            ++from;
        }
        return QStringView(text).sliced(from, to - from);
    };
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype iEnd = digitsEnd(a, i);
            const qsizetype jEnd = digitsEnd(b, j);
            const QStringView x = number(a, i, iEnd);
            const QStringView y = number(b, j, jEnd);
            if (x.size() != y.size()) {
                return x.size() < y.size();
            }
            if (x != y) {
                return x < y;
            }
            i = iEnd;
            j = jEnd;
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) {
        return a.size() - i < b.size() - j;
    }
    // Equal numbers spelled differently ("01", "1"): the text decides.
    return a < b;
}

QList<HwmonChip> HwmonTree::chips() const {
    const QDir dir(directory);
    QList<HwmonChip> found;
    const QStringList entries = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& entry : entries) {
        const QString path = dir.filePath(entry);
        const auto name = readText(path, QStringLiteral("name"));
        if (!name || name->trimmed().isEmpty()) {
            continue;
        }
        HwmonChip chip;
        chip.name = QString::fromUtf8(name->trimmed());
        // Read through the chip's real place, so a chip that goes away fails
        // its reads instead of answering for whichever takes its number.
        const QString canonical = QFileInfo(path).canonicalFilePath();
        chip.directory = canonical.isEmpty() ? path : canonical;
        chip.device = deviceName(chip.directory);
        QString place = devicePath(path);
        chip.devicePath = chip.device.isEmpty() ? QString() : place;
        // Without a device path (a copy without links) only the entry's own
        // name is left to keep the order steady.
        if (place.isEmpty()) {
            place = entry;
        }
        chip.identity = place + QLatin1Char('\n') + chip.name;
        found.append(chip);
    }
    std::stable_sort(found.begin(), found.end(), [](const HwmonChip& a, const HwmonChip& b) {
        return naturalLess(a.identity, b.identity);
    });
    return found;
}

QList<HwmonInput> HwmonTree::inputs(const QString& chipDirectory, const QString& kind) {
    static const QRegularExpression inputFile(QStringLiteral("^([a-z]+)(\\d+)_input$"));
    QSet<int> seen;
    QList<HwmonInput> found;
    for (const QString& place : attributeDirectories(chipDirectory)) {
        const QStringList files =
            QDir(place).entryList({kind + QStringLiteral("*_input")}, QDir::Files | QDir::System);
        for (const QString& file : files) {
            const auto match = inputFile.match(file);
            if (!match.hasMatch() || match.captured(1) != kind) {
                continue;
            }
            const int number = match.captured(2).toInt();
            if (seen.contains(number)) {
                continue;
            }
            seen.insert(number);
            HwmonInput input;
            input.attribute = kind + QString::number(number);
            input.number = number;
            input.label = QString::fromUtf8(
                readText(chipDirectory, input.attribute + QStringLiteral("_label"))
                    .value_or(QByteArray())
                    .trimmed());
            found.append(input);
        }
    }
    std::sort(found.begin(), found.end(),
              [](const HwmonInput& a, const HwmonInput& b) { return a.number < b.number; });
    return found;
}

std::optional<long long> HwmonTree::readNumber(const QString& chipDirectory,
                                               const QString& attribute, int* error,
                                               SysfsAttributeFiles* files) {
    int failure = ENOENT;
    for (const QString& place : attributeDirectories(chipDirectory)) {
        const QString path = place + QLatin1Char('/') + attribute;
        const auto value =
            files ? files->readNumber(path, &failure) : SysfsAttribute::readNumber(path, &failure);
        if (value || failure != ENOENT) {
            if (error) {
                *error = failure;
            }
            return value;
        }
    }
    if (error) {
        *error = failure;
    }
    return std::nullopt;
}

std::optional<QByteArray> HwmonTree::readText(const QString& chipDirectory,
                                              const QString& attribute) {
    for (const QString& place : attributeDirectories(chipDirectory)) {
        int failure = 0;
        auto value = SysfsAttribute::readLine(place + QLatin1Char('/') + attribute, &failure);
        if (value || failure != ENOENT) {
            return value;
        }
    }
    return std::nullopt;
}
