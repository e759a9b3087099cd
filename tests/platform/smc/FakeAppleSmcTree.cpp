#include "FakeAppleSmcTree.h"

#include "SMCKit.h"
#include "profile/MachineProfile.h"
#include "smc/ProfileSmcDriver.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {
void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    file.write(content);
}

int bigEndian16(const QByteArray& data) {
    const QByteArray padded = data.leftJustified(2, '\0');
    return (uint8_t(padded[0]) << 8) | uint8_t(padded[1]);
}
} // namespace

FakeAppleSmcTree::FakeAppleSmcTree(const QString& root, QList<Key> smcKeys, Layout layout,
                                   IndexRegister indexRegister)
    : keys(std::move(smcKeys)) {
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.name < b.name; });
    // Other hwmon devices are listed too and must be passed over.
    QDir().mkpath(root + QStringLiteral("/class/hwmon/hwmon0"));
    writeFile(root + QStringLiteral("/class/hwmon/hwmon0/name"), "coretemp\n");
    directory =
        root + (layout == Layout::platformDevice ? QStringLiteral("/devices/platform/applesmc.768")
                                                 : QStringLiteral("/class/hwmon/hwmon3/device"));
    QDir().mkpath(directory);
    if (layout == Layout::hwmonClass) {
        writeFile(root + QStringLiteral("/class/hwmon/hwmon3/name"), "applesmc\n");
    }
    write(QStringLiteral("name"), "applesmc\n");
    write(QStringLiteral("key_count"), QByteArray::number(keys.size()) + '\n');
    if (indexRegister == IndexRegister::writable) {
        write(QStringLiteral("key_at_index"), "0\n");
    } else if (indexRegister == IndexRegister::directory) {
        QDir().mkpath(directory + QStringLiteral("/key_at_index"));
    }
    show(0);

    // The kernel lists every temperature key of type sp78 and shows it in
    // millidegrees: 250 × (the signed 16-bit value shifted right by 6).
    int temperature = 0;
    for (const Key& key : keys) {
        if (key.name.startsWith('T') && key.type == "sp78") {
            const QString prefix = QStringLiteral("temp%1_").arg(++temperature);
            write(prefix + QStringLiteral("label"), key.name + '\n');
            write(prefix + QStringLiteral("input"),
                  QByteArray::number(250 * (int16_t(bigEndian16(key.data)) >> 6)) + '\n');
        }
    }
    const Key* fanNumber = find("FNum");
    const int fans = fanNumber && !fanNumber->data.isEmpty() ? uint8_t(fanNumber->data[0]) : 0;
    for (int fan = 0; fan < fans; ++fan) {
        const QString prefix = QStringLiteral("fan%1_").arg(fan + 1);
        const QByteArray keyPrefix = 'F' + QByteArray::number(fan);
        if (const Key* id = find(keyPrefix + "ID")) {
            // The name bytes up to the first NUL.
            write(prefix + QStringLiteral("label"),
                  QByteArray(id->data.mid(4, 12).constData()) + '\n');
        }
        const std::pair<const char*, const char*> speeds[] = {
            {"Ac", "input"}, {"Mn", "min"}, {"Mx", "max"}};
        for (const auto& [suffix, file] : speeds) {
            if (const Key* speed = find(keyPrefix + suffix)) {
                write(prefix + QLatin1String(file),
                      QByteArray::number(bigEndian16(speed->data) >> 2) + '\n');
            }
        }
    }
}

QList<FakeAppleSmcTree::Key> FakeAppleSmcTree::keysOf(const MachineProfile& profile) {
    const ProfileSmcDriver driver(profile, [] { return 0.0; });
    QList<Key> result;
    const QVariantMap entries = profile.smc().value(QStringLiteral("keys")).toMap();
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (const auto bytes = driver.valueBytes(*SMCKit::fourCharCode(it.key()), 0.0)) {
            const QVariant type = it.value().toMap().value(QStringLiteral("type"));
            result.append({it.key().toLatin1(), type.toString().toLatin1(), *bytes});
        }
    }
    return result;
}

void FakeAppleSmcTree::showIndexWrittenToRegister() {
    QFile file(directory + QStringLiteral("/key_at_index"));
    file.open(QIODevice::ReadOnly);
    int index = file.readAll().trimmed().toInt();
    ++selections;
    if (interferences > 0) {
        --interferences;
        index = (index + 1) % int(keys.size());
    }
    show(index);
}

void FakeAppleSmcTree::show(int index) {
    if (index < 0 || index >= keys.size()) {
        return;
    }
    const Key& key = keys[index];
    write(QStringLiteral("key_at_index_name"), key.name + '\n');
    write(QStringLiteral("key_at_index_type"), key.type + '\n');
    write(QStringLiteral("key_at_index_data_length"), QByteArray::number(key.data.size()) + '\n');
    write(QStringLiteral("key_at_index_data"), key.data);
}

const FakeAppleSmcTree::Key* FakeAppleSmcTree::find(const QByteArray& name) const {
    const auto it = std::find_if(keys.cbegin(), keys.cend(),
                                 [&name](const Key& key) { return key.name == name; });
    return it == keys.cend() ? nullptr : &*it;
}

void FakeAppleSmcTree::write(const QString& name, const QByteArray& content) const {
    writeFile(directory + QLatin1Char('/') + name, content);
}
