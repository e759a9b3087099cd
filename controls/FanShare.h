#pragma once

#include <QtGlobal>

// How a fan's speed fills its ring, the same in the application and the
// widget.
namespace FanShare {

// Whole percent of the maximum, truncated; 0 for a fan without a maximum. A
// fan above its maximum gives more than 100.
constexpr int percentOfMaximum(int currentSpeed, int maxSpeed) {
    return maxSpeed <= 0 ? 0 : int(qint64(currentSpeed) * 100 / maxSpeed);
}

// The ring's value, of its 10, for a percentage: the track covers three
// quarters of the ring, so a fan at full speed fills exactly the track and
// one above its maximum still shows.
constexpr qreal gaugeValue(int percent) {
    return 0.75 * percent / 10.0;
}

} // namespace FanShare
