#include "WidgetWindow.h"

#include "NamedAssets.h"
#include "TodayViewController.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

const QString kPositionKey = QStringLiteral("position");
const QString kKeepAboveKey = QStringLiteral("keepAbove");
constexpr int kSaveDelayMilliseconds = 500;
constexpr int kScreenMargin = 24;

} // namespace

WidgetWindow::WidgetWindow(TodayViewController* controller, const QString& stateFile,
                           QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Tool)
    , m_controller(controller)
    , m_stateFile(stateFile)
    , m_saveTimer(new QTimer(this))
    , m_keepAbove(new QAction(tr("Keep Above Other Windows"), this)) {
    setWindowTitle(QStringLiteral("Ondara"));
    m_keepAbove->setCheckable(true);
    connect(m_keepAbove, &QAction::toggled, this, &WidgetWindow::setKeepAbove);
    if (QSettings(m_stateFile, QSettings::IniFormat).value(kKeepAboveKey).toBool()) {
        m_keepAbove->setChecked(true);
    }
    setWindowIcon(NamedAssets::applicationIcon());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(controller);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(kSaveDelayMilliseconds);
    connect(m_saveTimer, &QTimer::timeout, this, &WidgetWindow::savePosition);
    const auto fit = [this](QSize size) {
        if (size.isValid()) {
            setFixedSize(size);
        }
    };
    connect(controller, &TodayViewController::preferredContentSizeChanged, this, fit);
    fit(controller->preferredContentSize().isValid() ? controller->preferredContentSize()
                                                     : QSize(TodayViewController::kViewWidth, 140));
}

WidgetWindow::~WidgetWindow() {
    if (m_saveTimer->isActive()) {
        savePosition();
    }
}

QString WidgetWindow::defaultStateFile() {
    QString folder = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(folder)) {
        folder = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return folder + QStringLiteral("/ondara/OndaraWidget.ini");
}

std::optional<QPoint> WidgetWindow::storedPosition(const QString& stateFile,
                                                   const QList<QRect>& screenAreas) {
    const QVariant stored = QSettings(stateFile, QSettings::IniFormat).value(kPositionKey);
    if (!stored.canConvert<QPoint>()) {
        return std::nullopt;
    }
    const QPoint position = stored.toPoint();
    // A screen that has gone (a monitor unplugged) must not leave the widget
    // somewhere nobody can reach it.
    for (const QRect& area : screenAreas) {
        if (area.contains(position)) {
            return position;
        }
    }
    return std::nullopt;
}

bool WidgetWindow::compositorPlacesWindows() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool WidgetWindow::keepsAbove() const {
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void WidgetWindow::setKeepAbove(bool above) {
    m_keepAbove->setChecked(above);
    if (above == keepsAbove()) {
        return;
    }
    const bool visible = isVisible();
    // Changing a flag takes the window off screen; it comes back where it was.
    const QPoint position = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, above);
    if (visible) {
        if (!compositorPlacesWindows()) {
            move(position);
        }
        show();
    }
    QSettings(m_stateFile, QSettings::IniFormat).setValue(kKeepAboveKey, above);
}

void WidgetWindow::savePosition() {
    m_saveTimer->stop();
    if (compositorPlacesWindows()) {
        return;
    }
    QSettings state(m_stateFile, QSettings::IniFormat);
    state.setValue(kPositionKey, pos());
}

void WidgetWindow::placeInitially() {
    m_placed = true;
    if (compositorPlacesWindows()) {
        return;
    }
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        areas.append(screen->availableGeometry());
    }
    if (const auto stored = storedPosition(m_stateFile, areas)) {
        move(*stored);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - kScreenMargin, area.top() + kScreenMargin);
    }
}

QMenu* WidgetWindow::buildMenu() {
    auto* menu = new QMenu(this);
    menu->addAction(tr("Open Ondara"), m_controller, &TodayViewController::openApp);
    menu->addAction(m_keepAbove);
    menu->addSeparator();
    menu->addAction(tr("Quit"), qApp, &QApplication::quit);
    return menu;
}

void WidgetWindow::toggleShown() {
    setVisible(!isVisible());
    if (isVisible()) {
        raise();
        activateWindow();
    }
}

void WidgetWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const NamedAssets& assets = NamedAssets::shared();
    painter.fillRect(rect(), assets.color(QStringLiteral("ContainerColor"), palette()));
    painter.setPen(assets.color(QStringLiteral("TabLineColor"), palette()));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void WidgetWindow::showEvent(QShowEvent* event) {
    if (!m_placed) {
        placeInitially();
    }
    QWidget::showEvent(event);
    Q_EMIT visibilityChanged(true);
    if (!m_controller->isOnScreen()) {
        m_controller->viewDidAppear();
    }
}

void WidgetWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Q_EMIT visibilityChanged(false);
    if (m_controller->isOnScreen()) {
        m_controller->viewWillDisappear();
    }
}

void WidgetWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (m_placed) {
        m_saveTimer->start();
    }
}

bool WidgetWindow::event(QEvent* event) {
    // The user turning to the widget is the moment to bring it up to date.
    if (event->type() == QEvent::WindowActivate && m_controller->isOnScreen()) {
        m_controller->widgetPerformUpdate({});
    }
    return QWidget::event(event);
}

void WidgetWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The window manager moves the window where it can (Wayland allows no
    // other way); elsewhere the window follows the pointer itself.
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) {
        return;
    }
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void WidgetWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragOffset && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *m_dragOffset);
    }
}

void WidgetWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (m_dragOffset && event->button() == Qt::LeftButton) {
        m_dragOffset.reset();
        savePosition();
    }
}

void WidgetWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = buildMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
