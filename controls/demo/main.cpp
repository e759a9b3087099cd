// controls_demo: every custom control in each of its states.
//
//   controls_demo [--dark] [--png FILE]
//
// --png renders the window offscreen once the animations have settled and
// writes it to FILE; --dark paints it with a dark palette.

#include "CustomButton.h"
#include "CustomTabView.h"
#include "Gauge.h"
#include "NamedAssets.h"
#include "SwitchControl.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleFactory>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

namespace {

// A control with a caption under it.
QWidget* captioned(QWidget* control, const QString& caption, QSize size) {
    auto* cell = new QWidget;
    auto* layout = new QVBoxLayout(cell);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    control->setFixedSize(size);
    layout->addWidget(control, 0, Qt::AlignHCenter);
    auto* label = new QLabel(caption);
    label->setAlignment(Qt::AlignHCenter);
    QFont small = label->font();
    small.setPixelSize(11);
    label->setFont(small);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    return cell;
}

QLabel* heading(const QString& text) {
    auto* label = new QLabel(text);
    QFont bold = label->font();
    bold.setPixelSize(13);
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

Gauge* gauge(Gauge::GaugeType type, qreal value, qreal maxValue = 10.0) {
    auto* control = new Gauge;
    control->setType(type);
    control->setMaxValue(maxValue);
    control->setCurrentValue(value);
    return control;
}

// A panel page: the container colour below the tab view's line.
class Page : public QWidget {
public:
    explicit Page(const QString& text) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(16, 52, 16, 12);
        layout->addWidget(new QLabel(text), 0, Qt::AlignTop | Qt::AlignLeft);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(0, 40, width(), height() - 40),
                         NamedAssets::shared().color(QStringLiteral("ContainerColor"), palette()));
    }
};

CustomTabView* tabView(int selected) {
    auto* view = new CustomTabView;
    view->addTab(new Page(QStringLiteral("Temperatures panel")), QStringLiteral("Temps"));
    view->addTab(new Page(QStringLiteral("Fans panel")), QStringLiteral("Fans"));
    view->addTab(new Page(QStringLiteral("Memory panel")), QStringLiteral("Mem"));
    if (selected > 0) {
        // Once shown, so that the selector exists and the notch travels.
        QTimer::singleShot(0, view, [view, selected] { view->setCurrentIndex(selected); });
    }
    return view;
}

void press(QWidget* widget) {
    const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent event(QEvent::MouseButtonPress, centre, widget->mapToGlobal(centre), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QWidget* buildWindow() {
    auto* window = new QWidget;
    window->setWindowTitle(QStringLiteral("Ondara controls"));
    window->setAutoFillBackground(true);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window,
                     NamedAssets::shared().color(QStringLiteral("BackColor"), palette));
    window->setPalette(palette);

    auto* grid = new QGridLayout(window);
    grid->setContentsMargins(16, 12, 16, 12);
    grid->setVerticalSpacing(6);
    int row = 0;

    grid->addWidget(heading(QStringLiteral("Gauge: rings (maximum 10)")), row++, 0, 1, 6);
    grid->addWidget(captioned(gauge(Gauge::GaugeType::circle, 0), "empty", {64, 64}), row, 0);
    grid->addWidget(captioned(gauge(Gauge::GaugeType::circle, 3.75), "fan at 50 %", {64, 64}), row,
                    1);
    grid->addWidget(captioned(gauge(Gauge::GaugeType::circle, 5), "50 %", {64, 64}), row, 2);
    grid->addWidget(captioned(gauge(Gauge::GaugeType::circle, 10), "full", {64, 64}), row, 3);
    row++;
    auto* bands = new QWidget;
    auto* bandRow = new QHBoxLayout(bands);
    bandRow->setContentsMargins(0, 0, 0, 0);
    for (const auto& [value, caption] :
         {std::pair{2.0, "bands 20 %"}, std::pair{4.5, "bands 45 %"}, std::pair{6.0, "bands 60 %"},
          std::pair{8.0, "bands 80 %"}}) {
        Gauge* banded = gauge(Gauge::GaugeType::circle, value);
        banded->setColorsArray(true);
        bandRow->addWidget(captioned(banded, QString::fromLatin1(caption), {64, 64}));
    }
    Gauge* custom = gauge(Gauge::GaugeType::custom, 7);
    custom->setLineWidth(4);
    bandRow->addWidget(captioned(custom, "custom, thin", {64, 64}));
    Gauge* mirrored = gauge(Gauge::GaugeType::circle, 3);
    mirrored->setReverse(true);
    bandRow->addWidget(captioned(mirrored, "reverse 30 %", {64, 64}));
    grid->addWidget(bands, row++, 0, 1, 6);

    grid->addWidget(heading(QStringLiteral("Gauge: bars (maximum 16), line, halves")), row++, 0, 1,
                    6);
    grid->addWidget(captioned(gauge(Gauge::GaugeType::bar, 9.7, 16), "bar 9.7 of 16", {260, 20}),
                    row, 0, 1, 3);
    grid->addWidget(captioned(gauge(Gauge::GaugeType::bar, 15.9, 16),
                              "bar 15.9 of 16 (label does not fit)", {260, 20}),
                    row++, 3, 1, 3);
    grid->addWidget(captioned(gauge(Gauge::GaugeType::bar, 0, 16), "bar at 0", {260, 20}), row, 0,
                    1, 3);
    Gauge* line = gauge(Gauge::GaugeType::line, 6);
    line->setEndColor(QColor(0xB0, 0x6A, 0xF0));
    grid->addWidget(captioned(line, "line 60 %, gradient", {260, 20}), row++, 3, 1, 3);

    auto* halves = new QWidget;
    auto* halfRow = new QHBoxLayout(halves);
    halfRow->setContentsMargins(0, 0, 0, 0);
    halfRow->addWidget(captioned(gauge(Gauge::GaugeType::left, 6), "left 60 %", {40, 90}));
    halfRow->addWidget(captioned(gauge(Gauge::GaugeType::left, 10), "left full", {40, 90}));
    halfRow->addWidget(captioned(gauge(Gauge::GaugeType::right, 6), "right 60 %", {40, 90}));
    halfRow->addWidget(captioned(gauge(Gauge::GaugeType::right, 12), "right over", {40, 90}));
    Gauge* circleHalf = gauge(Gauge::GaugeType::left, 8);
    circleHalf->setIsCircle(true);
    circleHalf->setColorsArray(true);
    halfRow->addWidget(captioned(circleHalf, "left circle, bands", {40, 90}));
    Gauge* rotated = gauge(Gauge::GaugeType::right, 7);
    rotated->setRotate(5);
    rotated->setEndColor(QColor(0xF0, 0x80, 0x50));
    halfRow->addWidget(captioned(rotated, "right, rotate 5", {90, 90}));
    halfRow->addStretch();
    grid->addWidget(halves, row++, 0, 1, 6);

    grid->addWidget(heading(QStringLiteral("Custom tab view: first and last tab selected")), row++,
                    0, 1, 6);
    grid->addWidget(captioned(tabView(0), "tab 0", {420, 96}), row, 0, 1, 3);
    grid->addWidget(captioned(tabView(2), "tab 2 (notch moved 256 points)", {420, 96}), row++, 3, 1,
                    3);

    grid->addWidget(heading(QStringLiteral("Switch control")), row++, 0, 1, 6);
    auto* switches = new QWidget;
    auto* switchRow = new QHBoxLayout(switches);
    switchRow->setContentsMargins(0, 0, 0, 0);
    switchRow->addWidget(captioned(new SwitchControl(false, QColor()), "off", {50, 30}));
    switchRow->addWidget(captioned(new SwitchControl(true, QColor()), "on", {50, 30}));
    auto* pressedOff = new SwitchControl(false, QColor());
    switchRow->addWidget(captioned(pressedOff, "pressed, off", {50, 30}));
    auto* pressedOn = new SwitchControl(true, QColor());
    switchRow->addWidget(captioned(pressedOn, "pressed, on", {50, 30}));
    auto* disabled = new SwitchControl(true, QColor());
    disabled->setEnabled(false);
    switchRow->addWidget(captioned(disabled, "disabled, on", {50, 30}));
    switchRow->addWidget(
        captioned(new SwitchControl(true, QColor(0x34, 0xC7, 0x59)), "green tint", {50, 30}));
    switchRow->addStretch();
    grid->addWidget(switches, row++, 0, 1, 6);

    grid->addWidget(heading(QStringLiteral("Custom button")), row++, 0, 1, 6);
    auto* buttons = new QWidget;
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    CustomButton* pressedButton = nullptr;
    for (const auto& [alignment, caption] :
         {std::pair{CustomButton::TitleAlignment::left, "left"},
          std::pair{CustomButton::TitleAlignment::center, "center"},
          std::pair{CustomButton::TitleAlignment::right, "right"},
          std::pair{CustomButton::TitleAlignment::center, "pressed"}}) {
        auto* button = new CustomButton;
        button->setTitle(QStringLiteral("Install"));
        button->setAlignment(alignment);
        buttonRow->addWidget(captioned(button, QString::fromLatin1(caption), {130, 30}));
        pressedButton = button;
    }
    buttonRow->addStretch();
    grid->addWidget(buttons, row++, 0, 1, 6);
    grid->setRowStretch(row, 1);

    // States that need a press held down, once everything is on screen.
    QTimer::singleShot(0, window, [pressedOff, pressedOn, pressedButton] {
        press(pressedOff);
        press(pressedOn);
        press(pressedButton);
    });
    return window;
}

} // namespace

int main(int argc, char** argv) {
    bool wantsPng = false;
    for (int i = 1; i < argc; ++i) {
        wantsPng = wantsPng || qstrcmp(argv[i], "--png") == 0;
    }
    if (wantsPng && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows Ondara's custom controls."));
    parser.addHelpOption();
    const QCommandLineOption darkOption(QStringLiteral("dark"),
                                        QStringLiteral("Paint with a dark palette."));
    const QCommandLineOption pngOption(QStringLiteral("png"),
                                       QStringLiteral("Render offscreen into <file> and quit."),
                                       QStringLiteral("file"));
    parser.addOption(darkOption);
    parser.addOption(pngOption);
    parser.process(app);

    if (const QString problem = NamedAssets::shared().problemWith(); !problem.isEmpty()) {
        qFatal("%s", qPrintable(problem));
    }
    if (parser.isSet(darkOption)) {
        QApplication::setPalette(NamedAssets::darkPalette());
    }
    QWidget* window = buildWindow();
    window->resize(window->sizeHint().expandedTo(QSize(900, 0)));
    window->show();
    if (!parser.isSet(pngOption)) {
        const int status = app.exec();
        delete window;
        return status;
    }
    const QString file = parser.value(pngOption);
    int status = 0;
    // Long enough for the slowest animation (the notch, under half a second).
    QTimer::singleShot(1000, window, [window, file, &status] {
        if (!window->grab().save(file)) {
            std::fprintf(stderr, "controls_demo: cannot write %s\n", qPrintable(file));
            status = 1;
        }
        QApplication::quit();
    });
    app.exec();
    delete window;
    return status;
}
