#include "ReadoutIcon.h"

#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace {

const QColor kTile(0x1f, 0x29, 0x33);
const QColor kWarningTile(0xc6, 0x28, 0x28);
const QColor kRim(0xe8, 0xee, 0xf2);
const QColor kFigure(0xff, 0xff, 0xff);

// Enough for a temperature swinging between neighbours and back; a set at
// every size is about 145 KB.
constexpr int kRememberedSets = 4;
// Fitted sizes are a few integers a shape of figure, and there are few
// shapes; more than this start the record afresh.
constexpr int kRememberedFits = 64;
// Each shape's fit at each size is a font size, whose drawn characters are
// kept: under a kilobyte at the smallest sizes, some 50 KB at the largest.
// A few shapes at nine sizes use a few dozen.
constexpr int kRememberedFontSizes = 128;

int rimWidth(int pixels) {
    return std::max(1, pixels / 16);
}

// The figure with every digit made the font's widest. Fitting this instead
// of the figure gives every figure of one shape the same font size, so the
// size does not jump when a reading moves by one, and one fit serves them
// all: shaping the text at each trial size costs more than the drawing.
// The usual fonts' digits are all one width, so no figure is drawn smaller
// than before; with proportional digits a narrow figure loses a pixel.
QString fitShape(const QString& figure) {
    static const QChar widest = [] {
        const QFontMetrics metrics(ReadoutIcon::figureFont(64));
        QChar found = QLatin1Char('0');
        for (char digit = '1'; digit <= '9'; ++digit) {
            if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(found)) {
                found = QLatin1Char(digit);
            }
        }
        return found;
    }();
    QString shape = figure;
    for (QChar& character : shape) {
        if (character.isDigit()) {
            character = widest;
        }
    }
    return shape;
}

} // namespace

QList<int> ReadoutIcon::pixelSizes() {
    QList<int> sizes;
    for (const int ratio : {1, 2}) {
        for (const int size : {16, 22, 24, 32, 48, 64}) {
            if (!sizes.contains(size * ratio)) {
                sizes.append(size * ratio);
            }
        }
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

QFont ReadoutIcon::figureFont(int fontPixels) {
    QFont font;
    font.setBold(true);
    font.setStretch(QFont::Condensed);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(
        QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    font.setPixelSize(fontPixels);
    return font;
}

int ReadoutIcon::fittedFontPixels(const QString& shape, int pixels) {
    // The largest whole pixel size at which the shape fits inside the rim;
    // hinting keeps the stems on whole pixels.
    const int room = pixels - 2 * rimWidth(pixels) - std::max(1, pixels / 16);
    int fontPixels = std::max(6, pixels * 3 / 4);
    for (; fontPixels > 6; --fontPixels) {
        const QFontMetrics metrics(figureFont(fontPixels));
        if (metrics.horizontalAdvance(shape) <= room && metrics.capHeight() <= room) {
            break;
        }
    }
    return fontPixels;
}

QImage ReadoutIcon::render(const QString& figure, Tone tone, int pixels) {
    ReadoutIcon fresh;
    return fresh.compose(figure, tone, pixels, fittedFontPixels(fitShape(figure), pixels));
}

const QImage& ReadoutIcon::tile(Tone tone, int pixels) {
    const int key = pixels * 2 + (tone == Tone::warning ? 1 : 0);
    auto found = m_tiles.constFind(key);
    if (found != m_tiles.cend()) {
        return *found;
    }
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Whole pixels for the rim, so its edges fall on the pixel grid.
    const int rim = rimWidth(pixels);
    const QRectF outer(0, 0, pixels, pixels);
    const qreal radius = pixels / 5.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(kRim);
    painter.drawRoundedRect(outer, radius, radius);
    painter.setBrush(tone == Tone::warning ? kWarningTile : kTile);
    painter.drawRoundedRect(outer.adjusted(rim, rim, -rim, -rim), radius - rim, radius - rim);
    painter.end();
    return *m_tiles.insert(key, image);
}

ReadoutIcon::FontAtSize& ReadoutIcon::fontAt(int fontPixels) {
    auto found = m_fonts.find(fontPixels);
    if (found == m_fonts.end()) {
        if (m_fonts.size() >= kRememberedFontSizes) {
            m_fonts.clear();
        }
        const QFont font = figureFont(fontPixels);
        found = m_fonts.insert(fontPixels, {font, QFontMetrics(font).capHeight(), {}});
    }
    return *found;
}

const ReadoutIcon::Glyph& ReadoutIcon::glyph(QChar character, int fontPixels) {
    FontAtSize& font = fontAt(fontPixels);
    auto found = font.glyphs.constFind(character.unicode());
    if (found != font.glyphs.cend()) {
        return *found;
    }
    const QFontMetrics metrics(font.font);
    Glyph drawn;
    drawn.advance = metrics.horizontalAdvance(character);
    // The ink with room for the antialiased edge on every side.
    const QRect ink = metrics.boundingRect(character).adjusted(-2, -2, 2, 2);
    if (ink.width() > 4 && ink.height() > 4) {
        drawn.offset = ink.topLeft();
        drawn.sprite = QImage(ink.size(), QImage::Format_ARGB32_Premultiplied);
        drawn.sprite.fill(Qt::transparent);
        QPainter painter(&drawn.sprite);
        painter.setFont(font.font);
        painter.setPen(kFigure);
        painter.drawText(-ink.topLeft(), QString(character));
    }
    return *font.glyphs.insert(character.unicode(), drawn);
}

QImage ReadoutIcon::compose(const QString& figure, Tone tone, int pixels, int fontPixels) {
    // The tile and each character are drawn once and kept; a new figure is
    // its characters laid onto a copy of the tile. Shaping and drawing the
    // text anew at every size was nearly half of what a refresh cost the
    // hidden widget.
    QImage image = tile(tone, pixels).copy();
    int advance = 0;
    for (const QChar character : figure) {
        advance += glyph(character, fontPixels).advance;
    }
    // Centred on the digits' height rather than the line's, whole pixels.
    int x = (pixels - advance) / 2;
    const int y = (pixels + fontAt(fontPixels).capHeight) / 2;
    QPainter painter(&image);
    for (const QChar character : figure) {
        const Glyph& drawn = glyph(character, fontPixels);
        if (!drawn.sprite.isNull()) {
            painter.drawImage(QPoint(x, y) + drawn.offset, drawn.sprite);
        }
        x += drawn.advance;
    }
    painter.end();
    return image;
}

StatusNotifierImages ReadoutIcon::images(const QString& figure, Tone tone) {
    for (qsizetype i = 0; i < m_recent.size(); ++i) {
        if (m_recent[i].figure == figure && m_recent[i].tone == tone) {
            m_recent.move(i, 0);
            return m_recent.first().images;
        }
    }
    const QList<int> sizes = pixelSizes();
    const QString shape = fitShape(figure);
    auto fits = m_fontPixels.constFind(shape);
    if (fits == m_fontPixels.cend()) {
        if (m_fontPixels.size() >= kRememberedFits) {
            m_fontPixels.clear();
        }
        QList<int> fitted;
        for (const int pixels : sizes) {
            fitted.append(fittedFontPixels(shape, pixels));
        }
        fits = m_fontPixels.insert(shape, fitted);
    }
    StatusNotifierImages images;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        images.append(StatusNotifierImage::fromImage(compose(figure, tone, sizes[i], fits->at(i))));
    }
    m_recent.prepend({figure, tone, images});
    if (m_recent.size() > kRememberedSets) {
        m_recent.removeLast();
    }
    return images;
}

QIcon ReadoutIcon::icon(const QString& figure, Tone tone) {
    QIcon icon;
    for (const StatusNotifierImage& image : images(figure, tone)) {
        icon.addPixmap(QPixmap::fromImage(image.toImage()));
    }
    return icon;
}
