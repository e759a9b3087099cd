#pragma once

#include <QString>
#include <QWidget>

// A plain area filled with one named colour of the asset catalogue, in the
// light or dark value that fits the current palette.
class BackgroundView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString colorName READ colorName WRITE setColorName)
public:
    explicit BackgroundView(QWidget* parent = nullptr);

    QString colorName() const { return m_colorName; }
    void setColorName(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_colorName;
};
