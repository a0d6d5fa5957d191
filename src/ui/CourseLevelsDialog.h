// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <exception>

class QFocusFrame;
class QLabel;
class QPushButton;

namespace tramazel::centre_import {
class CourseLevelGrid;
}

namespace tramazel::ui {

class CourseGrid;
class CourseGridModel;

/// The course-level dialog: draws the course-level grid, where the user fills the
/// level and the course number of every course. Every value typed is set in the
/// grid (and so posted to CURSOST) as soon as the cell is left, and an edit still
/// open when the dialog closes (by "Continuar", the close box or Escape) is set too.
///
/// A failure while posting closes the dialog and is rethrown by exec() once it has
/// returned.
class CourseLevelsDialog : public QDialog {
    Q_OBJECT
public:
    explicit CourseLevelsDialog(centre_import::CourseLevelGrid& grid, QWidget* parent = nullptr);
    ~CourseLevelsDialog() override;

    int exec() override;
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    /// The failure met while posting, if any (exec() rethrows it).
    std::exception_ptr failure() const { return m_failure; }

private:
    void fail(std::exception_ptr failure);

    QLabel* m_label = nullptr;
    CourseGrid* m_grid = nullptr;
    CourseGridModel* m_model = nullptr;
    QPushButton* m_continue = nullptr;
    QFocusFrame* m_focusFrame = nullptr;
    std::exception_ptr m_failure;
};

} // namespace tramazel::ui
