// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QWidget>

namespace tramazel::ui {

/// A panel painted with a vertical three-colour gradient: `top` at the top edge,
/// `middle` halfway down, `bottom` at the bottom edge. Children draw over it.
class GradientPanel : public QWidget {
    Q_OBJECT
public:
    GradientPanel(QColor top, QColor middle, QColor bottom, QWidget* parent = nullptr);

    QColor topColor() const { return m_top; }
    QColor middleColor() const { return m_middle; }
    QColor bottomColor() const { return m_bottom; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_top;
    QColor m_middle;
    QColor m_bottom;
};

} // namespace tramazel::ui
