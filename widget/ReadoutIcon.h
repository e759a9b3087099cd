#pragma once

#include <QImage>
#include <QList>
#include <QString>

class QIcon;

// The reading in the panel: its figure drawn on a dark tile with a light
// rim, so it reads on light and dark panels alike, red while the reading is
// over its bound. Every size is drawn at its own pixel size, with the
// figure's font fitted to it, because a host that scales one large image
// down blurs the digits.
class ReadoutIcon {
public:
    enum class Tone { normal, warning };

    // Every size a host may ask for, in device pixels: 16, 22, 24, 32, 48
    // and 64 at ratio 1 and 2.
    static QList<int> pixelSizes();
    static QImage render(const QString& figure, Tone tone, int pixels);
    // The same images as one icon, for a tray that takes icons.
    static QIcon icon(const QString& figure, Tone tone);
};
