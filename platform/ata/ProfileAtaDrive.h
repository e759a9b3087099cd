#pragma once

#include "ata/AtaSmartInterface.h"
#include "ata/AtaSmartPlugIn.h"
#include "ata/ProfileAtaSmartPlatform.h"

#include <QStringList>
#include <memory>

// The plug-in and SMART interface of one profile drive. It answers from its
// own copy of the drive, and notes each request in the platform's log when
// there is one.
class ProfileAtaDrive : public AtaSmartPlugIn, public AtaSmartInterface {
public:
    ProfileAtaDrive(const ProfileAtaSmartPlatform::Drive& drive,
                    std::shared_ptr<QStringList> requestLog);
    ~ProfileAtaDrive() override;

    AtaSmartInterface* queryInterface() override;
    AtaSmartReturn executeOffLineImmediate(bool extendedTest) override;
    AtaSmartReturn readData(DataBlock* data) override;
    AtaSmartReturn checkPowerMode(PowerMode* mode) override;

private:
    void note(const char* request);

    ProfileAtaSmartPlatform::Drive drive;
    std::shared_ptr<QStringList> requestLog;
};
