#pragma once

#include "Layer.h"

#include <QFont>

// A layer that shows one line of text from the top of its bounds. It expects
// a layer tree whose y axis points up (it turns the text upright itself).
class TextLayer : public Layer {
public:
    QString string() const { return m_string; }
    void setString(const QString& string) { m_string = string; }
    QColor foregroundColor() const { return m_foregroundColor; }
    void setForegroundColor(const QColor& color) { m_foregroundColor = color; }
    qreal fontSize() const { return m_fontSize; }
    void setFontSize(qreal size) { m_fontSize = size; }
    QFont font() const { return m_font; }
    void setFont(const QFont& font) { m_font = font; }
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment) { m_alignment = alignment; }
    qreal contentsScale() const { return m_contentsScale; }
    void setContentsScale(qreal scale) { m_contentsScale = scale; }

    // The font the text is drawn with: the layer's font at fontSize pixels.
    QFont effectiveFont() const;

protected:
    void paintContents(QPainter* painter) const override;

private:
    QString m_string;
    QColor m_foregroundColor{Qt::white};
    qreal m_fontSize = 36.0;
    QFont m_font;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    qreal m_contentsScale = 1.0;
};
