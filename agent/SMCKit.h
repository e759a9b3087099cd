#pragma once

#include "Fan.h"
#include "SMCDataType.h"
#include "TemperatureSensor.h"
#include "smc/SMCParamStruct.h"
#include "smc/SmcDriver.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>

// The agent's only way to the SMC: finding and opening the driver, the 80-byte
// exchange, the key and type codes, the value decodings and the fan listing.
// Read-only by design: nothing here ever writes a key. All members are static;
// the one piece of state is the process-wide connection (and the driver it
// goes through).
class SMCKit {
public:
    SMCKit() = delete;

    // The one error every operation raises.
    class Error1 : public std::exception {
    public:
        enum class Kind { keyNotFound, unknown, driverNotFound, failedToOpen, notPrivileged };

        Kind kind = Kind::unknown;
        QString code;          // keyNotFound: the key's four characters
        int32_t kIOReturn = 0; // unknown: the driver call's return code
        uint8_t SMCResult = 0; // unknown: the reply's result byte

        static Error1 keyNotFound(const QString& code);
        static Error1 unknown(int32_t kIOReturn, uint8_t SMCResult);
        static Error1 driverNotFound();
        static Error1 failedToOpen();
        static Error1 notPrivileged();

        const char* what() const noexcept override;

    private:
        explicit Error1(Kind kind);
        QByteArray message;
    };

    // The driver every later call goes through, for the whole process. Set it
    // before openConnection; setting a new one forgets the open connection.
    static void setDriver(std::shared_ptr<SmcDriver> driver);

    // The key or type code of four characters, first character in the most
    // significant byte; nothing for any other length or for characters that
    // don't fit in one byte.
    static std::optional<uint32_t> fourCharCode(const QString& text);
    // The four bytes of a code as Latin-1 characters, most significant first.
    static QString fourCharString(uint32_t code);

    // Finds the "AppleSMC" service and opens a user client on it.
    static void openConnection();
    // One exchange; returns the reply when the SMC answered with success.
    static SMCParamStruct sendCommand(const SMCParamStruct& input);
    // Succeeds when the SMC knows the key.
    static void readKeyInformation(uint32_t key);
    // The value bytes of a key read as the given type.
    static std::array<uint8_t, 32> readKey(uint32_t key, const SMCDataType& type);
    // Whole degrees Celsius ("sp78": sign and magnitude of the first byte).
    static double readTemperature(uint32_t key);

    // Fan keys exist for fan numbers 0 to 9 only; any other id raises
    // keyNotFound with the text the key would have had.
    static int readFanCurrentSpeed(int id);
    static int readFanMinimumSpeed(int id);
    static int readFanMaximumSpeed(int id);
    static QString readFanName(int id);
    // The live reads, for callers that answer 0 on any failure: the same
    // exchange as readTemperature and readFanCurrentSpeed, nothing instead of
    // an Error1 (a client may ask again and again for keys the SMC lacks).
    static std::optional<int> readTemperatureIfAnswered(uint32_t key);
    static std::optional<int> readFanCurrentSpeedIfAnswered(int id);
    // Every fan the SMC reports (at most the first ten). The first failing read
    // fails the whole list.
    static QList<Fan> readFans();

    // The catalogued temperature sensors whose keys the SMC knows. Unknown keys
    // are skipped; any other failure fails the whole scan.
    static QList<TemperatureSensor> presentTemperatureSensors();

    // The decodings of reply bytes, usable on their own.
    static double decodeSp78(const std::array<uint8_t, 32>& bytes);
    static int decodeFpe2(const std::array<uint8_t, 32>& bytes);
    static int decodeUi8(const std::array<uint8_t, 32>& bytes);
    static QString decodeFds(const std::array<uint8_t, 32>& bytes);

    // Fan keys can only be formed for these numbers.
    static constexpr int highestFanNumber = 9;

    // For the callers that go on after a hardware error: the call's value,
    // or `fallback` when it raised Error1.
    template <typename Call, typename Value> static Value valueOr(Call call, Value fallback) {
        try {
            return Value(call());
        } catch (const Error1&) {
            return fallback;
        }
    }
    // The Error1 a call raised, or nothing when it succeeded.
    template <typename Call> static std::optional<Error1> errorOf(Call call) {
        try {
            call();
        } catch (const Error1& error) {
            return error;
        }
        return std::nullopt;
    }
};
