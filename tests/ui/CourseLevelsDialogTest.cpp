// SPDX-License-Identifier: GPL-3.0-or-later
#include "CourseLevelsDialog.h"

#include "Error.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ZelvanoTables.h"
#include "centre_import/CourseLevelGrid.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"

#include <QApplication>
#include <QFocusFrame>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tramazel::test {
namespace {

namespace t = zelvano::cursost;
namespace layout = shell::course_levels_window;
using Grid = centre_import::CourseLevelGrid;
using ui::CourseLevelsDialog;

struct Line {
    std::string nivel;
    std::string curso;
    bool operator==(const Line&) const = default;
};

void PrintTo(const Line& line, std::ostream* os)
{
    *os << "{" << line.nivel << ", " << line.curso << "}";
}

/// Acts on the modal dialogs that exec() shows, as UiTestSupport's ModalDriver does,
/// but for a person at the keyboard: it acts only once the dialog has the focus, and
/// a dialog nobody expected fails the test. A short timer waits for the next one,
/// runs the next action on it, and rejects any dialog still open after five seconds,
/// so that a failed action ends the test instead of hanging it.
class KeyboardModalDriver {
public:
    using Action = std::function<void(QWidget& dialog)>;

    KeyboardModalDriver()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(10);
    }
    void then(Action action) { m_actions.push_back(std::move(action)); }
    std::size_t pending() const { return m_actions.size(); }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (modal == m_last) {
            if (++m_idleTicks > 500)
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
            return;
        }
        // Keys go to the focus widget: act only once the dialog has the focus.
        if (!modal->isActiveWindow()) {
            modal->activateWindow();
            return;
        }
        m_last = modal;
        m_idleTicks = 0;
        if (m_actions.empty()) {
            ADD_FAILURE() << "unexpected dialog " << modal->windowTitle().toStdString();
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            return;
        }
        Action action = std::move(m_actions.front());
        m_actions.pop_front();
        action(*modal);
    }

    std::deque<Action> m_actions;
    QTimer m_timer;
    QPointer<QWidget> m_last;
    int m_idleTicks = 0;
};

/// CURSOST as the courses builder leaves it for the dialog: open, levels blank.
class CourseLevelsDialogTest : public ::testing::Test {
protected:
    void SetUp() override { guiApp(); }

    dbf::DbfTable& courses(int count)
    {
        m_table.emplace(dbf::DbfTable::create(m_dir.path(), t::kTable, t::fields()));
        for (int i = 1; i <= count; ++i) {
            m_table->append();
            m_table->setText(t::kCodi, std::string("C").append(std::to_string(i)));
            m_table->setText(t::kDescripcio, std::string("Curs ").append(std::to_string(i)));
            m_table->post();
        }
        return *m_table;
    }

    /// The grid the dialog draws, over `table`.
    centre_import::CourseLevelGrid& lines(dbf::DbfTable& table)
    {
        m_lines.emplace(table);
        return *m_lines;
    }

    /// NIVEL and CURSO of every record, read through the table as the builder does.
    std::vector<Line> stored()
    {
        std::vector<Line> lines;
        for (m_table->first(); !m_table->eof(); m_table->next())
            lines.push_back({ m_table->text(t::kNivel), m_table->text(t::kCurso) });
        return lines;
    }

    static QTableView* grid(QWidget& dialog)
    {
        return dialog.findChild<QTableView*>(qtString(layout::kGridName));
    }

    static void show(QDialog& dialog)
    {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }

    /// Types into whatever has the focus, as a person at the keyboard does.
    static void type(const QString& text)
    {
        // One key at a time: the first key opens the cell's editor, which takes the rest.
        for (QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClicks(QApplication::focusWidget(), QString(c));
            } else {
                // QTest maps only ASCII to key codes; other characters travel as text.
                QTest::sendKeyEvent(
                    QTest::Press, QApplication::focusWidget(), Qt::Key_unknown, QString(c), {});
                QTest::sendKeyEvent(
                    QTest::Release, QApplication::focusWidget(), Qt::Key_unknown, QString(c), {});
            }
        }
    }
    static void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    TempDir m_dir;
    std::optional<dbf::DbfTable> m_table;
    std::optional<centre_import::CourseLevelGrid> m_lines;
};

TEST_F(CourseLevelsDialogTest, ShowsTheCoursesInRecordOrder)
{
    CourseLevelsDialog dialog(lines(courses(10)), nullptr);
    EXPECT_EQ(qtString(layout::kName), dialog.objectName());
    EXPECT_EQ(qtString(layout::kCaption), dialog.windowTitle());
    EXPECT_EQ(qtSize(layout::kClientSize), dialog.size());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());

    auto* label = dialog.findChild<QLabel*>(qtString(layout::kNotice.name));
    ASSERT_NE(nullptr, label);
    EXPECT_EQ(qtString(layout::kNotice.text), label->text());
    EXPECT_EQ(shell::fontFor(layout::kNotice.font).bold, label->font().bold());
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width()); // not clipped
    EXPECT_EQ(qtColor(layout::kNotice.colour), label->palette().color(QPalette::WindowText));
    EXPECT_EQ(qtRect(layout::kNotice.place), label->geometry());

    auto* button = dialog.findChild<QPushButton*>(qtString(layout::kContinueButton.name));
    ASSERT_NE(nullptr, button);
    EXPECT_EQ(qtString(layout::kContinueButton.caption), button->text());
    EXPECT_EQ(qtRect(layout::kContinueButton.place), button->geometry());

    QTableView* view = grid(dialog);
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(qtRect(layout::kGridPlace), view->geometry());
    QAbstractItemModel* model = view->model();
    ASSERT_EQ(Grid::kColumnCount, model->columnCount());
    for (int column = 0; column < Grid::kColumnCount; ++column)
        EXPECT_EQ(qtString(Grid::column(column).title), model->headerData(column, Qt::Horizontal).toString());
    ASSERT_EQ(10, model->rowCount());
    for (int row = 0; row < 10; ++row) {
        EXPECT_EQ(QStringLiteral("Curs %1").arg(row + 1), model->index(row, 0).data().toString());
        EXPECT_EQ(QString(), model->index(row, Grid::Level).data().toString());
        EXPECT_EQ(QString(), model->index(row, Grid::CourseNumber).data().toString());
    }
    EXPECT_EQ(model->index(0, Grid::Level), view->currentIndex());
}

TEST_F(CourseLevelsDialogTest, TypedValuesArePostedLineByLineWithTheKeyboardAlone)
{
    courses(3);
    CourseLevelsDialog dialog(lines(*m_table), nullptr);
    show(dialog);
    QTableView* view = grid(dialog);
    QAbstractItemModel* model = view->model();

    // Level, Tab, course number, Enter: on to the next line's level.
    type(QStringLiteral("ESO2"));
    press(Qt::Key_Tab);
    EXPECT_EQ(model->index(0, Grid::CourseNumber), view->currentIndex());
    type(QStringLiteral("1"));
    press(Qt::Key_Return);
    EXPECT_EQ(model->index(1, Grid::Level), view->currentIndex());
    EXPECT_EQ((std::vector<Line> { { "ESO2", "1" }, { "", "" }, { "", "" } }), stored());

    // Enter on a cell that is not being edited moves on too; Shift+Tab goes back.
    press(Qt::Key_Return);
    EXPECT_EQ(model->index(1, Grid::CourseNumber), view->currentIndex());
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(model->index(1, Grid::Level), view->currentIndex());

    // Going back to an earlier line edits that line's record.
    press(Qt::Key_Up);
    type(QStringLiteral("BAT"));
    press(Qt::Key_Return);
    EXPECT_EQ((std::vector<Line> { { "BAT", "1" }, { "", "" }, { "", "" } }), stored());

    // Past the last editable cell the focus goes on to "Continuar"; Enter presses it.
    view->setCurrentIndex(model->index(2, Grid::CourseNumber));
    type(QStringLiteral("3"));
    press(Qt::Key_Tab);
    auto* button = dialog.findChild<QPushButton*>(qtString(layout::kContinueButton.name));
    EXPECT_TRUE(button->hasFocus());
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    press(Qt::Key_Return);
    EXPECT_EQ(1, accepted.count());
    EXPECT_EQ((std::vector<Line> { { "BAT", "1" }, { "", "" }, { "", "3" } }), stored());
}

// Past the last editable cell the focus goes on to "Continuar" where it can be seen:
// a focus frame around the button, the grid's current cell no longer in the active
// colour. Enter then continues.
TEST_F(CourseLevelsDialogTest, PastTheLastCellTheFocusShowsOnContinuar)
{
    struct Case {
        const char* name;
        const char* typed; // into the last cell first, leaving its editor open; null: nothing
        Qt::Key key;
    };
    const Case cases[] = {
        { "Tab on the cell", nullptr, Qt::Key_Tab },
        { "Enter on the cell", nullptr, Qt::Key_Return },
        { "Tab in the editor", "2", Qt::Key_Tab },
        { "Enter in the editor", "2", Qt::Key_Return },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        auto table = dbf::DbfTable::create(dir.path(), t::kTable, t::fields());
        for (const char* code : { "C1", "C2" }) {
            table.append();
            table.setText(t::kCodi, code);
            table.post();
        }
        centre_import::CourseLevelGrid lineGrid(table);
        CourseLevelsDialog dialog(lineGrid, nullptr);
        show(dialog);
        QTableView* view = grid(dialog);
        auto* button = dialog.findChild<QPushButton*>(qtString(layout::kContinueButton.name));
        auto* frame = dialog.findChild<QFocusFrame*>();
        ASSERT_NE(frame, nullptr);
        EXPECT_FALSE(frame->isVisible()) << "no frame while the grid has the focus";
        EXPECT_NE(view->palette().color(QPalette::Active, QPalette::Highlight),
            view->palette().color(QPalette::Inactive, QPalette::Highlight));

        view->setCurrentIndex(view->model()->index(1, Grid::CourseNumber));
        if (c.typed)
            type(QString::fromUtf8(c.typed));
        press(c.key);
        EXPECT_TRUE(button->hasFocus());
        EXPECT_TRUE(frame->isVisible());
        EXPECT_EQ(frame->widget(), button);
        if (c.typed) {
            EXPECT_EQ(view->model()->index(1, Grid::CourseNumber).data().toString().toStdString(), c.typed);
        }

        QSignalSpy accepted(&dialog, &QDialog::accepted);
        press(Qt::Key_Return);
        EXPECT_EQ(accepted.count(), 1);
    }
}

// Every description shows whole (the school's longest course names included), and
// the columns fill the grid: no empty strip after "Curso".
TEST_F(CourseLevelsDialogTest, ColumnsAreAsWideAsWhatTheyShow)
{
    m_table.emplace(dbf::DbfTable::create(m_dir.path(), t::kTable, t::fields()));
    const char* names[] = { "1r CFGS Administració de sistemes informàtics en xarxa",
        "2n CFGS Desenvolupament d'aplicacions multiplataforma (dual)", "ESO" };
    for (const char* name : names) {
        m_table->append();
        m_table->setText(t::kDescripcio, text::utf8ToCp1252(name));
        m_table->post();
    }
    CourseLevelsDialog dialog(lines(*m_table), nullptr);
    show(dialog);
    QTableView* view = grid(dialog);
    const QFontMetrics metrics(view->font());
    for (const char* name : names) {
        SCOPED_TRACE(name);
        EXPECT_LT(metrics.horizontalAdvance(QString::fromUtf8(name)), view->columnWidth(Grid::Description));
    }
    for (int column : { Grid::Level, Grid::CourseNumber }) {
        const QString title = view->model()->headerData(column, Qt::Horizontal).toString();
        EXPECT_LT(metrics.horizontalAdvance(title), view->columnWidth(column)) << title.toStdString();
    }
    const QHeaderView* header = view->horizontalHeader();
    EXPECT_GE(header->length(), view->viewport()->width());
}

TEST_F(CourseLevelsDialogTest, CellsAcceptNoMoreThanTheFieldHolds)
{
    struct Case {
        int column;
        QString typed;
        Line stored;
        QString shown;
    };
    const Case cases[] = {
        { Grid::Level, QStringLiteral("ABCDEFG"), { "ABCDE", "" }, QStringLiteral("ABCDE") },
        { Grid::CourseNumber, QStringLiteral("12345"), { "", "123" }, QStringLiteral("123") },
        // cp1252 text in the table; a character it lacks is stored as "?".
        { Grid::Level, QStringLiteral("BATÉ"), { "BAT\xC9", "" }, QStringLiteral("BATÉ") },
        { Grid::Level, QStringLiteral("ΩΩ"), { "??", "" }, QStringLiteral("??") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        m_table.reset();
        courses(1);
        CourseLevelsDialog dialog(lines(*m_table), nullptr);
        show(dialog);
        QTableView* view = grid(dialog);
        view->setCurrentIndex(view->model()->index(0, c.column));
        type(c.typed);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(nullptr, editor);
        EXPECT_EQ(Grid::column(c.column).maxLength, editor->maxLength());
        press(Qt::Key_Tab);
        EXPECT_EQ(std::vector<Line> { c.stored }, stored());
        EXPECT_EQ(c.shown, view->model()->index(0, c.column).data().toString());
    }
}

TEST_F(CourseLevelsDialogTest, TheDescriptionIsReadOnly)
{
    courses(2);
    CourseLevelsDialog dialog(lines(*m_table), nullptr);
    show(dialog);
    QTableView* view = grid(dialog);
    const QModelIndex description = view->model()->index(0, 0);
    EXPECT_FALSE(view->model()->flags(description) & Qt::ItemIsEditable);
    EXPECT_FALSE(view->model()->setData(description, QStringLiteral("Altre"), Qt::EditRole));

    view->setCurrentIndex(description);
    type(QStringLiteral("X"));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(description).center());
    press(Qt::Key_F2);
    EXPECT_EQ(nullptr, view->indexWidget(description)); // no editor opened
    EXPECT_EQ(nullptr, qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    EXPECT_EQ(QStringLiteral("Curs 1"), description.data().toString());
    m_table->first();
    EXPECT_EQ("Curs 1", m_table->text(t::kDescripcio));
}

// However the dialog closes, what is still in an open cell is posted, and exec()
// returns so that the import goes on.
TEST_F(CourseLevelsDialogTest, AnEditOpenWhenTheDialogClosesIsPosted)
{
    struct Case {
        const char* name;
        std::function<void(QDialog&)> close;
        int result;
        std::vector<Line> stored;
    };
    const Case cases[] = {
        { "close box", [](QDialog& d) { d.close(); }, QDialog::Rejected, { { "", "" }, { "FP", "" } } },
        { "Continuar",
            [](QDialog& d) {
                QTest::mouseClick(
                    d.findChild<QPushButton*>(qtString(layout::kContinueButton.name)), Qt::LeftButton);
            },
            QDialog::Accepted, { { "", "" }, { "FP", "" } } },
        // Escape first takes back the cell being typed, as in any grid; a second one closes.
        { "Escape twice",
            [](QDialog&) {
                press(Qt::Key_Escape);
                press(Qt::Key_Escape);
            },
            QDialog::Rejected, { { "", "" }, { "", "" } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_table.reset();
        courses(2);
        CourseLevelsDialog dialog(lines(*m_table), nullptr);
        KeyboardModalDriver driver;
        driver.then([&](QWidget& modal) {
            QTableView* view = grid(modal);
            view->setCurrentIndex(view->model()->index(1, Grid::Level));
            type(QStringLiteral("FP"));
            ASSERT_NE(nullptr, view->indexWidget(view->currentIndex())); // still being edited
            c.close(static_cast<QDialog&>(modal));
        });
        EXPECT_EQ(c.result, dialog.exec());
        EXPECT_EQ(0u, driver.pending());
        EXPECT_EQ(c.stored, stored());
    }
}

// Where the window never had the keyboard focus (an embedded window can miss it),
// closing sends the editor no focus change: the dialog posts the value itself.
TEST_F(CourseLevelsDialogTest, AnOpenEditIsPostedWithoutAFocusChange)
{
    courses(1);
    CourseLevelsDialog dialog(lines(*m_table), nullptr);
    dialog.show();
    QTableView* view = grid(dialog);
    const QModelIndex cell = view->model()->index(0, Grid::CourseNumber);
    view->edit(cell);
    auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(cell));
    ASSERT_NE(nullptr, editor);
    editor->setText(QStringLiteral("2"));
    dialog.close();
    EXPECT_EQ((std::vector<Line> { { "", "2" } }), stored());
}

TEST_F(CourseLevelsDialogTest, AnEmptyTableGivesAnEmptyGrid)
{
    CourseLevelsDialog dialog(lines(courses(0)), nullptr);
    EXPECT_EQ(0, grid(dialog)->model()->rowCount());
    KeyboardModalDriver driver;
    driver.then([](QWidget& modal) {
        press(Qt::Key_Tab);
        QTest::mouseClick(
            modal.findChild<QPushButton*>(qtString(layout::kContinueButton.name)), Qt::LeftButton);
    });
    EXPECT_EQ(QDialog::Accepted, dialog.exec());
}

TEST_F(CourseLevelsDialogTest, AFailureWhilePostingClosesTheDialogAndIsRethrown)
{
    courses(2);
    CourseLevelsDialog dialog(lines(*m_table), nullptr);
    KeyboardModalDriver driver;
    driver.then([&](QWidget&) {
        m_table->close(); // the engine now refuses every change
        type(QStringLiteral("ESO"));
        press(Qt::Key_Tab);
    });
    expectError(ErrorCode::InvalidArgument, [&] { dialog.exec(); });
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace
} // namespace tramazel::test
