// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <exception>

class QFocusFrame;
class QLabel;
class QPushButton;

namespace tramazel::dbf {
class DbfTable;
}

namespace tramazel::ui {

class CourseGrid;
class CourseGridModel;

/// The course-level dialog: a grid over the open CURSOST table where the user
/// fills the level and the course number of every course. Every value typed is
/// posted to the table as soon as the cell is left, and an edit still open when the
/// dialog closes (by "Continuar", the close box or Escape) is posted too.
///
/// Reading CURSOST when the dialog is created may throw tramazel::Error. A failure
/// while posting closes the dialog and is rethrown by exec() once it has returned.
class CourseLevelsDialog : public QDialog {
    Q_OBJECT
public:
    explicit CourseLevelsDialog(dbf::DbfTable& cursost, QWidget* parent = nullptr);
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
