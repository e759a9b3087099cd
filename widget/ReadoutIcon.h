#pragma once

#include "StatusNotifierTypes.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPoint>
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
// drawn again; the tiles, each character at each font size, and the fitted
// font sizes of each shape of figure (its length and where its digits are)
// are kept longer still, so a new figure is only laid out, not drawn.
class ReadoutIcon {
public:
    enum class Tone { normal, warning };

    // Every size a host may ask for, in device pixels: 16, 22, 24, 32, 48
    // and 64 at ratio 1 and 2.
    static QList<int> pixelSizes();
    // A fresh drawing at one size; nothing is kept.
    static QImage render(const QString& figure, Tone tone, int pixels);
    // The figure's font, bold and condensed, hinted onto whole pixels.
    static QFont figureFont(int fontPixels);

    // The figure at every size, as the status-notifier item sends it.
    StatusNotifierImages images(const QString& figure, Tone tone);
    // The same images as one icon, for a tray that takes icons.
    QIcon icon(const QString& figure, Tone tone);

private:
    struct Glyph {
        QImage sprite; // the figure's colour on nothing
        QPoint offset; // of the sprite from the pen on the baseline
        int advance = 0;
    };
    struct FontAtSize {
        QFont font;
        int capHeight = 0;
        QHash<char16_t, Glyph> glyphs;
    };

    static int fittedFontPixels(const QString& shape, int pixels);
    QImage compose(const QString& figure, Tone tone, int pixels, int fontPixels);
    const QImage& tile(Tone tone, int pixels);
    FontAtSize& fontAt(int fontPixels);
    const Glyph& glyph(QChar character, int fontPixels);

    struct Drawn {
        QString figure;
        Tone tone;
        StatusNotifierImages images;
    };
    QList<Drawn> m_recent;                   // the newest first
    QHash<QString, QList<int>> m_fontPixels; // per shape, one per pixel size
    QHash<int, QImage> m_tiles;              // per pixel size and tone
    QHash<int, FontAtSize> m_fonts;          // per font pixel size
};
