#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

class QAction;
class QMenu;
class QTimer;
class TodayViewController;

// The widget's own small window: frameless, dragged by any free spot, back
// where the user left it at the next start, sized to what the controller
// shows. Showing and hiding it is what puts the controller on and off screen.
//
// The position is window state, not a preference the user chose: like the
// place a desktop gives a widget, it stays out of the shared settings suite
// (which holds only what the agent and the programs share) and lives in the
// state folder, $XDG_STATE_HOME/ondara/OndaraWidget.ini, with whether the
// user keeps the widget above other windows.
//
// Under Wayland a client can neither choose nor learn where its window is:
// the compositor places it, a drag is the compositor's own move, and no
// position is stored or restored.
class WidgetWindow : public QWidget {
    Q_OBJECT
public:
    // controller becomes the window's content.
    WidgetWindow(TodayViewController* controller, const QString& stateFile = defaultStateFile(),
                 QWidget* parent = nullptr);
    ~WidgetWindow() override;

    static QString defaultStateFile();
    // The stored position, when it still lies on one of these screen areas.
    static std::optional<QPoint> storedPosition(const QString& stateFile,
                                                const QList<QRect>& screenAreas);

    TodayViewController* controller() const { return m_controller; }
    // Whether the window system places windows itself (Wayland).
    static bool compositorPlacesWindows();
    // The checkable "keep above other windows", for every menu of the widget.
    QAction* keepAboveAction() const { return m_keepAbove; }
    bool keepsAbove() const;

public Q_SLOTS:
    void toggleShown();
    void savePosition();
    void setKeepAbove(bool above);

Q_SIGNALS:
    void visibilityChanged(bool visible);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

private:
    void placeInitially();
    QMenu* buildMenu();

    TodayViewController* m_controller;
    QString m_stateFile;
    QTimer* m_saveTimer;
    QAction* m_keepAbove;
    bool m_placed = false;
    std::optional<QPoint> m_dragOffset;
};
