#include "FakeAppleSmcTree.h"

#include "profile/MachineProfile.h"
#include "smc/ProfileSmcDriver.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {
uint32_t codeOf(const QByteArray& text) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}

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
    if (layout == Layout::platformDevice) {
        directory = root + QStringLiteral("/devices/platform/applesmc.768");
    } else {
        directory = root + QStringLiteral("/class/hwmon/hwmon3/device");
        QDir().mkpath(directory);
        writeFile(root + QStringLiteral("/class/hwmon/hwmon3/name"), "applesmc\n");
    }
    QDir().mkpath(directory);
    write(QStringLiteral("name"), "applesmc\n");
    write(QStringLiteral("key_count"), QByteArray::number(keys.size()) + '\n');
    switch (indexRegister) {
    case IndexRegister::writable:
        write(QStringLiteral("key_at_index"), "0\n");
        break;
    case IndexRegister::missing:
        break;
    case IndexRegister::directory:
        QDir().mkpath(directory + QStringLiteral("/key_at_index"));
        break;
    }
    show(0);

    // The kernel lists every temperature key of type sp78 and shows it in
    // millidegrees: 250 × (the signed 16-bit value shifted right by 6).
    int temperature = 0;
    int fanCount = 0;
    for (const Key& key : keys) {
        if (key.name.startsWith('T') && key.type == "sp78") {
            ++temperature;
            const int16_t value = int16_t(bigEndian16(key.data));
            write(QStringLiteral("temp%1_label").arg(temperature), key.name + '\n');
            write(QStringLiteral("temp%1_input").arg(temperature),
                  QByteArray::number(250 * (value >> 6)) + '\n');
        }
        if (key.name == "FNum") {
            fanCount = key.data.isEmpty() ? 0 : uint8_t(key.data[0]);
        }
    }
    const auto find = [this](const QByteArray& name) -> const Key* {
        for (const Key& key : keys) {
            if (key.name == name) {
                return &key;
            }
        }
        return nullptr;
    };
    for (int fan = 0; fan < fanCount; ++fan) {
        const QString prefix = QStringLiteral("fan%1_").arg(fan + 1);
        const QByteArray keyPrefix = 'F' + QByteArray::number(fan);
        if (const Key* id = find(keyPrefix + "ID")) {
            // The name bytes up to the first NUL.
            QByteArray name = id->data.mid(4, 12);
            name.truncate(name.indexOf('\0') < 0 ? name.size() : name.indexOf('\0'));
            write(prefix + QStringLiteral("label"), name + '\n');
        }
        const QList<QPair<QByteArray, QString>> speeds = {{"Ac", QStringLiteral("input")},
                                                          {"Mn", QStringLiteral("min")},
                                                          {"Mx", QStringLiteral("max")}};
        for (const auto& [suffix, file] : speeds) {
            if (const Key* speed = find(keyPrefix + suffix)) {
                write(prefix + file, QByteArray::number(bigEndian16(speed->data) >> 2) + '\n');
            }
        }
    }
}

QList<FakeAppleSmcTree::Key> FakeAppleSmcTree::keysOf(const MachineProfile& profile) {
    const ProfileSmcDriver driver(profile, [] { return 0.0; });
    QList<Key> result;
    const QVariantMap entries = profile.smc().value(QStringLiteral("keys")).toMap();
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const QByteArray name = it.key().toLatin1();
        const auto bytes = driver.valueBytes(codeOf(name), 0.0);
        if (!bytes) {
            continue;
        }
        result.append(
            {name, it.value().toMap().value(QStringLiteral("type")).toString().toLatin1(), *bytes});
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

void FakeAppleSmcTree::write(const QString& name, const QByteArray& content) const {
    writeFile(directory + QLatin1Char('/') + name, content);
}
