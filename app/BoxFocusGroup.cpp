#include "BoxFocusGroup.h"

#include "BoxView.h"

#include <QEvent>
#include <QKeyEvent>
#include <QScrollArea>
#include <limits>

namespace {

QPoint centreOf(const QWidget* box) {
    return box->mapTo(box->window(), box->rect().center());
}

// A window smaller than its panels scrolls: the tile the arrows reach must
// come into view as one reached with Tab does.
void scrollIntoView(BoxView* box) {
    for (QWidget* ancestor = box->parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(ancestor)) {
            area->ensureWidgetVisible(box);
        }
    }
}

} // namespace

BoxFocusGroup::BoxFocusGroup(QWidget* panel, const QList<BoxView*>& boxes, QObject* parent)
    : QObject(parent)
    , m_panel(panel)
    , m_boxes(boxes) {
    for (BoxView* box : m_boxes) {
        box->setFocusPolicy(Qt::NoFocus);
        box->installEventFilter(this);
    }
    refresh();
}

bool BoxFocusGroup::isShown(const BoxView* box) const {
    return box->isVisibleTo(m_panel);
}

void BoxFocusGroup::refresh() {
    if (m_current && isShown(m_current)) {
        return;
    }
    for (BoxView* box : m_boxes) {
        if (isShown(box)) {
            setCurrent(box, false);
            return;
        }
    }
}

void BoxFocusGroup::setCurrent(BoxView* box, bool focus) {
    if (box != m_current) {
        box->setFocusPolicy(Qt::TabFocus);
        if (m_current) {
            m_current->setFocusPolicy(Qt::NoFocus);
        }
        m_current = box;
    }
    if (focus) {
        box->setFocus(Qt::OtherFocusReason);
        scrollIntoView(box);
    }
}

BoxView* BoxFocusGroup::neighbour(BoxView* from, int key) const {
    QList<BoxView*> shown;
    for (BoxView* box : m_boxes) {
        if (isShown(box)) {
            shown.append(box);
        }
    }
    const qsizetype at = shown.indexOf(from);
    if (at < 0) {
        return nullptr;
    }
    switch (key) {
    case Qt::Key_Left:
        return shown.value(at - 1);
    case Qt::Key_Right:
        return shown.value(at + 1);
    case Qt::Key_Home:
        return shown.first();
    case Qt::Key_End:
        return shown.last();
    case Qt::Key_Up:
    case Qt::Key_Down:
        break;
    default:
        return nullptr;
    }
    // The nearest row in that direction, and in it the tile nearest across.
    const QPoint origin = centreOf(from);
    const int direction = key == Qt::Key_Down ? 1 : -1;
    BoxView* best = nullptr;
    qint64 bestRow = std::numeric_limits<qint64>::max();
    qint64 bestAcross = std::numeric_limits<qint64>::max();
    for (BoxView* box : shown) {
        const QPoint centre = centreOf(box);
        const qint64 row = qint64(centre.y() - origin.y()) * direction;
        const qint64 across = std::abs(centre.x() - origin.x());
        if (row > 0 && (row < bestRow || (row == bestRow && across < bestAcross))) {
            best = box;
            bestRow = row;
            bestAcross = across;
        }
    }
    return best;
}

bool BoxFocusGroup::eventFilter(QObject* watched, QEvent* event) {
    // A tile being destroyed is no longer a BoxView by the time its last
    // events arrive.
    auto* box = qobject_cast<BoxView*>(watched);
    if (!box) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            break;
        }
        switch (key->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
            // At an edge the key is spent all the same: it must not scroll
            // the window behind the panel.
            if (BoxView* next = neighbour(box, key->key())) {
                setCurrent(next, true);
            }
            return true;
        default:
            break;
        }
        break;
    }
    case QEvent::MouseButtonPress:
        if (m_boxes.contains(box)) {
            const bool panelHasFocus = m_current && m_current->hasFocus();
            setCurrent(box, panelHasFocus);
        }
        break;
    case QEvent::Hide:
    case QEvent::Show:
        refresh();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
