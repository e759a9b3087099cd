#pragma once

#include "StatusNotifierTypes.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

class QIcon;

// The reading in the panel: its figure drawn on a dark tile with a light
// rim, so it reads on light and dark panels alike, red while the reading is
// over its bound. Every size is drawn at its own pixel size, with the
// figure's font fitted to it, because a host that scales one large image
// down blurs the digits.
//
// An instance keeps what it drew: readings swing between neighbouring
// values, so the last few figures' images are handed out again instead of
// drawn again, and a figure's fitted font sizes are kept longer still.
class ReadoutIcon {
public:
    enum class Tone { normal, warning };

    // Every size a host may ask for, in device pixels: 16, 22, 24, 32, 48
    // and 64 at ratio 1 and 2.
    static QList<int> pixelSizes();
    // A fresh drawing at one size; nothing is kept.
    static QImage render(const QString& figure, Tone tone, int pixels);

    // The figure at every size, as the status-notifier item sends it.
    StatusNotifierImages images(const QString& figure, Tone tone);
    // The same images as one icon, for a tray that takes icons.
    QIcon icon(const QString& figure, Tone tone);

private:
    static int fittedFontPixels(const QString& figure, int pixels);
    static QImage draw(const QString& figure, Tone tone, int pixels, int fontPixels);

    struct Drawn {
        QString figure;
        Tone tone;
        StatusNotifierImages images;
    };
    QList<Drawn> m_recent;                   // the newest first
    QHash<QString, QList<int>> m_fontPixels; // per figure, one per pixel size
};
