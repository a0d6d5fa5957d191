// SPDX-License-Identifier: GPL-3.0-or-later
#include "GradientPanel.h"

#include <QLinearGradient>
#include <QPainter>

namespace tramazel::ui {

GradientPanel::GradientPanel(QColor top, QColor middle, QColor bottom, QWidget* parent)
    : QWidget(parent)
    , m_top(top)
    , m_middle(middle)
    , m_bottom(bottom)
{
    // The gradient covers every pixel: nothing behind the panel needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, m_top);
    gradient.setColorAt(0.5, m_middle);
    gradient.setColorAt(1.0, m_bottom);
    painter.fillRect(rect(), gradient);
}

} // namespace tramazel::ui
