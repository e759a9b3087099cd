#pragma once

#include "SensorRecords.h"
#include "smc/SmcDriver.h"
#include "smc/SysfsAttributeFiles.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <optional>

// The SMC of an Intel Mac through the Linux applesmc driver's sysfs files.
//
// With root, any key is reached through the driver's index register: write an
// index to key_at_index, then read key_at_index_name, _type and _data. Keys are
// sorted byte-wise, so a key is found by binary search over the indices.
// Without root the kernel refuses the index register; the driver then answers
// what the world-readable files tell (temperature keys through tempN_label and
// tempN_input, fan keys through fanN_*), and "not privileged" for any other key.
class AppleSmcSysfsDriver : public SmcDriver {
public:
    explicit AppleSmcSysfsDriver(const QString& sysfsRoot = QStringLiteral("/sys"));
    ~AppleSmcSysfsDriver() override;

    // Whether the applesmc device directory exists under the root.
    static bool isPresent(const QString& sysfsRoot = QStringLiteral("/sys"));
    // The applesmc device directory under the root, or an empty string.
    static QString deviceDirectory(const QString& sysfsRoot);

    uint32_t serviceMatching(const char* name) override;
    KernReturn serviceOpen(uint32_t service, uint32_t type, uint32_t* connection) override;
    void objectRelease(uint32_t object) override;
    KernReturn callStructMethod(uint32_t connection, uint32_t selector, const SMCParamStruct& input,
                                SMCParamStruct* output, size_t* outputSize) override;

    // Whether the index register can be used (decided on first use).
    bool hasRawAccess();
    // The keys the world-readable files name: temperature keys by their text,
    // fans as "fan:0" ...
    SensorSources sources();

protected:
    // Called after an index was written to key_at_index, before its attribute
    // files are read. The kernel updates those files itself; a test double of
    // the kernel updates its fake files here.
    virtual void indexSelected(const QString& directory, int index);

private:
    struct Entry {
        uint32_t type = 0;
        QByteArray data;
    };
    using Answer = KeyAnswer;
    enum class Access { unknown, raw, labels };

    Answer answer(uint32_t key, bool wantValue);
    Answer answerRaw(uint32_t key, bool wantValue);
    Answer answerFromLabels(uint32_t key, bool wantValue);
    // After a raw read failed: a refusal falls back to the labels, anything
    // else is a driver failure.
    Answer answerFailedRead(uint32_t key, bool wantValue, bool refused);
    bool decideAccess();
    // Points the shared index register at an index; false when the write
    // failed (then *refused tells whether it was refused).
    bool selectIndex(int index, bool* refused);
    // Selects an index and reads the key's name there; nothing on refusal or
    // an I/O failure (then *refused tells which).
    std::optional<uint32_t> keyAtIndex(int index, bool* refused);
    std::optional<Entry> entryAtIndex(int index, uint32_t expectedKey, bool wantData,
                                      bool* refused);
    void loadLabels();

    QString root;
    QString directory;
    uint32_t openConnection = 0;
    QMutex mutex;
    Access access = Access::unknown;
    int keyCount = 0;
    QHash<int, uint32_t> namesByIndex;
    QHash<uint32_t, int> indicesByKey;
    bool labelsLoaded = false;
    QHash<uint32_t, QString> temperatureInputs; // key → tempN_input path
    int fanCount = 0;
    // The world-readable inputs, read on every request, stay open.
    SysfsAttributeFiles openFiles;
};
