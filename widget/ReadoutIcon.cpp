#include "ReadoutIcon.h"

#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
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
// Fitted sizes are a few integers a figure; more figures than this (a fan's
// speed that keeps moving) start the record afresh.
constexpr int kRememberedFits = 512;

QFont figureFont() {
    QFont font;
    font.setBold(true);
    font.setStretch(QFont::Condensed);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(
        QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    return font;
}

int rimWidth(int pixels) {
    return std::max(1, pixels / 16);
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

int ReadoutIcon::fittedFontPixels(const QString& figure, int pixels) {
    // The largest whole pixel size at which the figure fits inside the rim;
    // hinting keeps the stems on whole pixels.
    QFont font = figureFont();
    const int room = pixels - 2 * rimWidth(pixels) - std::max(1, pixels / 16);
    int fontPixels = std::max(6, pixels * 3 / 4);
    for (; fontPixels > 6; --fontPixels) {
        font.setPixelSize(fontPixels);
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(figure) <= room && metrics.capHeight() <= room) {
            break;
        }
    }
    return fontPixels;
}

QImage ReadoutIcon::render(const QString& figure, Tone tone, int pixels) {
    return draw(figure, tone, pixels, fittedFontPixels(figure, pixels));
}

QImage ReadoutIcon::draw(const QString& figure, Tone tone, int pixels, int fontPixels) {
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

    QFont font = figureFont();
    font.setPixelSize(fontPixels);
    painter.setFont(font);
    painter.setPen(kFigure);
    const QFontMetrics metrics(font);
    // Centred on the digits' height rather than the line's, whole pixels.
    const int x = (pixels - metrics.horizontalAdvance(figure)) / 2;
    const int y = (pixels + metrics.capHeight()) / 2;
    painter.drawText(QPoint(x, y), figure);
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
    auto fits = m_fontPixels.constFind(figure);
    if (fits == m_fontPixels.cend()) {
        if (m_fontPixels.size() >= kRememberedFits) {
            m_fontPixels.clear();
        }
        QList<int> fitted;
        for (const int pixels : sizes) {
            fitted.append(fittedFontPixels(figure, pixels));
        }
        fits = m_fontPixels.insert(figure, fitted);
    }
    StatusNotifierImages images;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        images.append(StatusNotifierImage::fromImage(draw(figure, tone, sizes[i], fits->at(i))));
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
