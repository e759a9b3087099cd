#pragma once

#include <QLatin1StringView>

// Every name that more than one program must spell the same way.
namespace OndaraNames {

// D-Bus stand-in for the Mach service of the agent.
inline constexpr QLatin1StringView helperServiceName{"com.quillbank.OndaraHelper"};
inline constexpr QLatin1StringView helperObjectPath{"/com/quillbank/OndaraHelper"};
inline constexpr QLatin1StringView helperInterface{"com.quillbank.OndaraHelperProtocol"};
// Beyond the protocol, on the same object: what stands behind each key.
inline constexpr QLatin1StringView sourcesInterface{"com.quillbank.OndaraHelper.Sources1"};
// The readings the agent recorded, and the alerts it raises from them.
inline constexpr QLatin1StringView historyInterface{"com.quillbank.OndaraHelper.History1"};
inline constexpr QLatin1StringView alertsInterface{"com.quillbank.OndaraHelper.Alerts1"};

// Distributed notifications travel as argument-less signals of this interface.
inline constexpr QLatin1StringView notificationInterface{"com.quillbank.DistributedNotifications"};
inline constexpr QLatin1StringView notificationPath{"/com/quillbank/DistributedNotifications"};

// The settings suite shared by the agent, the application and the widget.
inline constexpr QLatin1StringView suiteName{"K4TZ8WQ1RM.group.com.quillbank.Ondara"};

namespace Keys {
// Written by the agent.
inline constexpr QLatin1StringView helperVersion{"HelperVersion"};
inline constexpr QLatin1StringView sensorsSaved{"SensorsSaved"};
inline constexpr QLatin1StringView tempSensors{"TempSensors"};
inline constexpr QLatin1StringView fanSensors{"FanSensors"};
inline constexpr QLatin1StringView memSensors{"MemSensors"};
inline constexpr QLatin1StringView machineSensors{"MachineSensors"};
inline constexpr QLatin1StringView sections{"Sections"};
inline constexpr QLatin1StringView units{"Units"};
inline constexpr QLatin1StringView alertRules{"AlertRules"};
// Written by the clients.
inline constexpr QLatin1StringView helperInstalled{"helperInstalled"};
inline constexpr QLatin1StringView appVersion{"AppVersion"};
inline constexpr QLatin1StringView lastSelectedTab{"lastSelectedTab"};
} // namespace Keys

namespace Notifications {
inline constexpr QLatin1StringView tempsDidChange{"tempsDidChange"};
inline constexpr QLatin1StringView fansDidChange{"fansDidChange"};
inline constexpr QLatin1StringView memDidChange{"memDidChange"};
inline constexpr QLatin1StringView sectionsDidChange{"sectionsDidChange"};
inline constexpr QLatin1StringView unitsDidChange{"unitsDidChange"};
inline constexpr QLatin1StringView alertsDidChange{"alertsDidChange"};
} // namespace Notifications

// Section words: protocol arguments and tab identifiers.
namespace Sections {
inline constexpr QLatin1StringView temps{"Temps"};
inline constexpr QLatin1StringView fans{"Fans"};
inline constexpr QLatin1StringView mem{"Mem"};
} // namespace Sections

// The sensor code of the drive temperature read through SMART; never an SMC key.
inline constexpr quint32 driveSensorCode = 0xFFFFFFFFu;
inline constexpr QLatin1StringView driveSensorName{"SMART"};

} // namespace OndaraNames
