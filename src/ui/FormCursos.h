// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace tramazel::dbf {
class DbfTable;
}

namespace tramazel::ui {

/// The course-level dialog: a grid over the open CURSOST table where the user
/// fills the level and the course number of every course.
class FormCursos : public QDialog {
    Q_OBJECT
public:
    explicit FormCursos(dbf::DbfTable& cursost, QWidget* parent = nullptr);
};

} // namespace tramazel::ui
