#include "ReadoutIcon.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTest>

namespace {

// The figure as the painter draws text: the font the icon uses at one pixel
// size, centred the way the icon centres it, on the icon's bare tile.
QImage paintedFigure(const QString& figure, ReadoutIcon::Tone tone, int pixels, int fontPixels) {
    QImage image = ReadoutIcon::render(QString(), tone, pixels);
    const QFont font = ReadoutIcon::figureFont(fontPixels);
    const QFontMetrics metrics(font);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPoint((pixels - metrics.horizontalAdvance(figure)) / 2,
                            (pixels + metrics.capHeight()) / 2),
                     figure);
    return image;
}

// The font pixel size at which the painter's text is the icon's to the
// pixel; 0 when there is none.
int matchingFontPixels(const QImage& icon, const QString& figure, ReadoutIcon::Tone tone) {
    const int pixels = icon.width();
    for (int fontPixels = pixels; fontPixels >= 6; --fontPixels) {
        if (paintedFigure(figure, tone, pixels, fontPixels) == icon) {
            return fontPixels;
        }
    }
    return 0;
}

} // namespace

class TestReadoutIcon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The icon lays kept characters onto a kept tile instead of drawing the
    // text; what it sends must still be the painter's text, every glyph in
    // its place, and one font size for every figure of one shape so the
    // digits do not change size as the reading moves.
    void composedFigureIsThePaintedText() {
        for (const int pixels : ReadoutIcon::pixelSizes()) {
            QMap<int, int> fontPixelsByLength;
            for (const QString figure : {"71", "38", "100", "104", "2350", "45%"}) {
                for (const auto tone : {ReadoutIcon::Tone::normal, ReadoutIcon::Tone::warning}) {
                    const QImage icon = ReadoutIcon::render(figure, tone, pixels);
                    const int fontPixels = matchingFontPixels(icon, figure, tone);
                    QVERIFY2(fontPixels != 0,
                             qPrintable(QStringLiteral("%1 at %2 px").arg(figure).arg(pixels)));
                    if (!figure.endsWith(QLatin1Char('%'))) {
                        const auto known = fontPixelsByLength.constFind(int(figure.size()));
                        if (known != fontPixelsByLength.cend()) {
                            QCOMPARE(fontPixels, *known);
                        }
                        fontPixelsByLength.insert(int(figure.size()), fontPixels);
                    }
                }
            }
        }
    }

    // What one icon keeps over many figures (tiles, characters, fitted
    // sizes, recent sets) must never leak into another figure's images.
    void keptDrawingsGiveWhatAFreshDrawingGives() {
        ReadoutIcon icon;
        for (int step = 0; step < 300; ++step) {
            const QString figure = QString::number(step % 3 == 0 ? 1000 + step * 7 : step % 110);
            const auto tone =
                step % 5 == 0 ? ReadoutIcon::Tone::warning : ReadoutIcon::Tone::normal;
            const StatusNotifierImages images = icon.images(figure, tone);
            QCOMPARE(images.size(), ReadoutIcon::pixelSizes().size());
            if (step % 37 == 0) {
                for (const StatusNotifierImage& image : images) {
                    QCOMPARE(image.toImage(), ReadoutIcon::render(figure, tone, image.width)
                                                  .convertToFormat(QImage::Format_ARGB32));
                }
            }
        }
    }
};

QTEST_MAIN(TestReadoutIcon)
#include "tst_readouticon.moc"
