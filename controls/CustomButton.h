#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

class CustomButtonDelegate;

// A rounded, softly graded push button with a one-line title. It reports a
// press and the release to its delegate (and as signals) instead of sending
// an action; while the mouse is down it shows its highlight colours.
//
// The title's font is the widget's font (the system font at 15 pixels unless
// changed).
class CustomButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(TitleAlignment alignment READ alignment WRITE setAlignment)
    Q_PROPERTY(QColor fontColor READ fontColor WRITE setFontColor)

public:
    enum class TitleAlignment { left = 0, right = 1, center = 2 };
    Q_ENUM(TitleAlignment)

    static constexpr qreal kTitleInset = 15.0;

    explicit CustomButton(QWidget* parent = nullptr);

    // Not owned; the owner clears it before it goes away.
    CustomButtonDelegate* delegate() const { return m_delegate; }
    void setDelegate(CustomButtonDelegate* delegate) { m_delegate = delegate; }

    static QColor defaultStartColor();
    static QColor defaultEndColor();
    static QColor defaultHighlightStartColor();
    static QColor defaultHighlightEndColor();

    QColor startColor() const { return m_startColor; }
    void setStartColor(const QColor& color);
    QColor endColor() const { return m_endColor; }
    void setEndColor(const QColor& color);
    QColor highlightStartColor() const { return m_highlightStartColor; }
    void setHighlightStartColor(const QColor& color);
    QColor highlightEndColor() const { return m_highlightEndColor; }
    void setHighlightEndColor(const QColor& color);

    bool isSelected() const { return m_selected; }
    QColor fontColor() const { return m_fontColor; }
    void setFontColor(const QColor& color);
    TitleAlignment alignment() const { return m_alignment; }
    void setAlignment(TitleAlignment alignment);
    QString title() const { return m_title; }
    void setTitle(const QString& title);

    // The title's size in the button's font, and where its box's top-left
    // corner goes in a button of this size: 15 points from the left or right
    // edge or centred, and centred vertically.
    QSizeF titleSize() const;
    static QPointF titleOrigin(const QSizeF& bounds, const QSizeF& titleSize,
                               TitleAlignment alignment);

    void draw(QPainter* painter, const QRect& rect) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void pressed();
    void released();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CustomButtonDelegate* m_delegate = nullptr;
    QColor m_startColor;
    QColor m_endColor;
    QColor m_highlightStartColor;
    QColor m_highlightEndColor;
    bool m_selected = false;
    QColor m_fontColor;
    TitleAlignment m_alignment = TitleAlignment::center;
    QString m_title;
};
