#pragma once

#include <QPointer>

// Wraps a reply handler so that an answer arriving after its window has
// closed is dropped instead of reaching a destroyed object; the handler gets
// the window first, then the reply's values.
template <typename Owner, typename Function> auto guardedReply(Owner* owner, Function function) {
    QPointer<Owner> self(owner);
    return [self, function](const auto&... values) {
        if (self) {
            function(*self, values...);
        }
    };
}
