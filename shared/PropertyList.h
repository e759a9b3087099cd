#pragma once

#include <QByteArray>
#include <QVariant>
#include <limits>
#include <optional>

// Property-list values in memory are QVariants of exactly these kinds:
//   QString, bool, qlonglong (every integer, signed 64-bit), double,
//   QByteArray (data), QDateTime, QVariantList (array), QVariantMap (dictionary).
// The same objects go into the settings file, into machine profiles and over
// D-Bus, so every producer normalises to this set and every consumer may rely
// on it.
namespace PropertyList {

// Brings any QVariant built from Qt's numeric and container types into the
// canonical kinds above (int, uint, qulonglong → qlonglong; QStringList → list).
// Values no property list can hold become invalid QVariants.
QVariant normalized(const QVariant& value);

bool isInteger(const QVariant& value);
// An integer or a real.
bool isNumber(const QVariant& value);
bool isArray(const QVariant& value);
bool isDictionary(const QVariant& value);

// An array of at least `minimumLength` elements, else nothing. A string is no
// array here, though QVariant would turn it into a list of its characters.
std::optional<QVariantList> arrayOf(const QVariant& value, qsizetype minimumLength = 0);
// An integer from `low` to `high`, else nothing; booleans and reals are not
// integers.
std::optional<qlonglong> integerIn(const QVariant& value,
                                   qlonglong low = std::numeric_limits<qlonglong>::min(),
                                   qlonglong high = std::numeric_limits<qlonglong>::max());

// Parses an XML or binary property list. Returns nothing, with a reason in
// *error, when the text is not a property list.
std::optional<QVariant> parse(const QByteArray& bytes, QString* error = nullptr);
// XML property list text of a canonical value.
QByteArray toXml(const QVariant& value);

} // namespace PropertyList
