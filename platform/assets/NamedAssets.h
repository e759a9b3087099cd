#pragma once

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QPalette>
#include <QStringList>
#include <optional>

// The named colours and images the application and the widget share. The
// catalogue is a JSON file in the resources holding a light and a dark value
// for every colour; which one applies follows the palette the control paints
// with, so a control that re-reads its colours on a palette change follows
// the desktop's light or dark appearance.
//
// A colour the code asks for by name must exist: a catalogue that lacks one is
// a packaging fault, which every program's main checks at start-up
// (problemWith) and stops for, rather than papering it over with a default.
class NamedAssets {
public:
    static QString defaultCataloguePath();
    // The colours every program relies on.
    static const QStringList& requiredColorNames();
    // The catalogue built into the program.
    static const NamedAssets& shared();

    explicit NamedAssets(const QString& cataloguePath = defaultCataloguePath());

    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    QStringList colorNames() const;

    // The value of a colour for this palette, or nothing when it is not there.
    std::optional<QColor> findColor(const QString& name, const QPalette& palette) const;
    // The same for a colour that must exist. One the start-up check did not
    // cover is drawn in magenta, a colour no design uses, and logged.
    QColor color(const QString& name, const QPalette& palette) const;
    // The image with its high-resolution variant; a null icon when missing.
    QIcon image(const QString& name) const;

    // The application's icon (also the widget's and the tray's): the icon
    // theme's where the desktop has it installed (hicolor), else the
    // catalogue's copy of it.
    static QString applicationIconName();
    static QIcon applicationIcon();

    // Empty when the catalogue was read and has every named colour; otherwise a
    // message saying what is wrong.
    QString problemWith(const QStringList& names = requiredColorNames()) const;

    // Dark appearance: the window background is darker than its text.
    static bool isDark(const QPalette& palette);
    // A dark desktop palette, for rendering the dark appearance where the
    // desktop offers none (offscreen pictures, checks).
    static QPalette darkPalette();

private:
    struct Variants {
        QColor light;
        QColor dark;
    };

    void load(const QString& cataloguePath);

    QString m_folder;
    QString m_error;
    QHash<QString, Variants> m_colors;
    QHash<QString, QStringList> m_images;
};
