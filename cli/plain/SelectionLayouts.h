#pragma once

#include "PropertyValue.h"
#include "ReadingsFigures.h"

#include <string>
#include <utility>
#include <vector>

// The entries of the agent's selection dictionaries that follow their layouts,
// decoded by the rules the Qt-based programs apply to them:
//   "TempSensors" component → [name, code, position, ..., active]
//   "FanSensors"  fan number → [name, maximum speed, ..., active]
//   "MemSensors"  figure name → [position, ..., active]
// The flag is the last element, true for a true boolean or a number other
// than 0; a name that is not text shows as "Unknown". Each list comes in the
// order of the keys as UTF-16 text, as the settings store keeps them.
namespace SelectionLayouts {

using Dictionary = std::vector<std::pair<std::string, PropertyValue>>;

std::vector<ReadingsFigures::Temperature> temperatures(const Dictionary& dictionary);
std::vector<ReadingsFigures::Fan> fans(const Dictionary& dictionary);
std::vector<ReadingsFigures::MemoryFigure> memory(const Dictionary& dictionary);

} // namespace SelectionLayouts
