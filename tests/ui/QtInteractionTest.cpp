// SPDX-License-Identifier: GPL-3.0-or-later
// The real Qt dialogs of the shell, answered by a polling driver.
#include "QtInteraction.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ZelvanoTables.h"
#include "centre_import/CourseLevelGrid.h"
#include "centre_import/ImportCentreFile.h"
#include "dbf/DbfTable.h"
#include "xml/XmlDocument.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace tramazel::test {
namespace {

namespace fs = std::filesystem;
using ui::QtInteraction;

// What a message box looked like when it came up.
struct BoxSeen {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::string title;
    std::string text;
    std::vector<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool modal = false;
    Qt::WindowModality modality = Qt::NonModal;
    int width = 0; ///< of the box
    int captionWidth = 0; ///< of its caption's text
};

ModalDriver::Action recordBox(BoxSeen& seen, std::function<void(QMessageBox&)> answer)
{
    return [&seen, answer](QWidget& widget) {
        auto* box = qobject_cast<QMessageBox*>(&widget);
        ASSERT_NE(box, nullptr) << "expected a message box, got " << widget.metaObject()->className();
        seen.icon = box->icon();
        seen.title = box->windowTitle().toStdString();
        seen.text = box->text().toStdString();
        for (QAbstractButton* b : box->buttons())
            seen.buttons.push_back(box->standardButton(b));
        std::sort(seen.buttons.begin(), seen.buttons.end());
        if (box->defaultButton())
            seen.defaultButton = box->standardButton(box->defaultButton());
        seen.modal = box->isModal();
        seen.modality = box->windowModality();
        seen.width = box->width();
        seen.captionWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
        answer(*box);
    };
}

void pressOk(QMessageBox& box)
{
    box.button(QMessageBox::Ok)->click();
}

class QtInteractionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        guiApp();
        m_window.resize(200, 100);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }
    void TearDown() override
    {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    QApplication& m_app = guiApp(); // before any widget
    QWidget m_window;
    QtInteraction m_ui { &m_window };
};

TEST_F(QtInteractionTest, InformationAndErrorBoxesCarryTheProgramTitle)
{
    struct Case {
        const char* name;
        std::function<void(QtInteraction&, std::string_view)> show;
        QMessageBox::Icon icon;
    };
    const Case cases[] = {
        { "information", [](QtInteraction& ui, std::string_view t) { ui.showInformation(t); },
            QMessageBox::NoIcon },
        { "error", [](QtInteraction& ui, std::string_view t) { ui.showError(t); }, QMessageBox::Critical },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModalDriver driver;
        BoxSeen seen;
        driver.then(recordBox(seen, pressOk));
        c.show(m_ui, "Proceso finalizado · ñ");
        EXPECT_EQ(driver.pending(), 0u);
        EXPECT_TRUE(driver.unexpected().empty());
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.title, "Tramazel");
        EXPECT_EQ(seen.text, "Proceso finalizado · ñ");
        EXPECT_EQ(seen.buttons, std::vector<QMessageBox::StandardButton> { QMessageBox::Ok });
        EXPECT_TRUE(seen.modal);
        // Modal to the main window only: a help window stays usable.
        EXPECT_EQ(seen.modality, Qt::WindowModal);
        // Wide enough for the caption and the title bar's buttons, short as the text is.
        EXPECT_GE(seen.width, seen.captionWidth + 100);
    }
}

// F1 on the lines question, on the course grid and in the file dialog asks for their
// own help topics, with the dialog as the owner of the help window.
TEST_F(QtInteractionTest, F1OnTheDialogsAsksForTheirOwnHelp)
{
    std::vector<std::pair<int, QWidget*>> asked;
    m_ui.setContextHelp([&](int context, QWidget* owner) { asked.emplace_back(context, owner); });

    ModalDriver driver;
    QWidget* question = nullptr;
    driver.then([&](QWidget& box) {
        question = &box;
        // Keys go to the active window, as they do for a person.
        box.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&box));
        QTest::keyClick(&box, Qt::Key_F1);
        qobject_cast<QMessageBox*>(&box)->button(QMessageBox::Ok)->click();
    });
    EXPECT_TRUE(m_ui.askQuestion("Líneas", "¿Crear Líneas?"));

    TempDir dir;
    auto cursost = dbf::DbfTable::create(dir.path(), zelvano::cursost::kTable, zelvano::cursost::fields());
    cursost.append();
    cursost.setText(zelvano::cursost::kCodi, "C1");
    cursost.post();
    QWidget* grid = nullptr;
    Qt::WindowModality gridModality = Qt::NonModal;
    driver.then([&](QWidget& dialog) {
        grid = &dialog;
        gridModality = dialog.windowModality();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(&dialog, Qt::Key_F1);
        static_cast<QDialog&>(dialog).accept();
    });
    centre_import::CourseLevelGrid lines(cursost);
    m_ui.editCourseLevels(lines);
    EXPECT_EQ(driver.pending(), 0u);
    EXPECT_EQ(gridModality, Qt::WindowModal);

    // The file dialog: the topic that says which file to choose, F1 typed where the
    // focus starts (the file name).
    QWidget* files = nullptr;
    driver.then([&](QWidget& dialog) {
        files = &dialog;
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QWidget* focus = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
        QTest::keyClick(focus, Qt::Key_F1);
        static_cast<QDialog&>(dialog).reject();
    });
    shell::FileDialogOptions options { "Archivo XML", "*.xml", "xml", dir.path(),
        shell::help_context::kImportFile };
    EXPECT_FALSE(m_ui.chooseFile(options).has_value());
    EXPECT_EQ(driver.pending(), 0u);

    const std::vector<std::pair<int, QWidget*>> expected { { shell::help_context::kSubjectLines, question },
        { shell::help_context::kCourseLevels, grid }, { shell::help_context::kImportFile, files } };
    EXPECT_EQ(asked, expected);
}

TEST_F(QtInteractionTest, QuestionDefaultsToOk)
{
    struct Case {
        const char* name;
        std::function<void(QMessageBox&)> answer;
        bool expected;
    };
    const Case cases[] = {
        { "OK button", pressOk, true },
        { "Enter takes the default", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Return); }, true },
        { "Cancel button", [](QMessageBox& b) { b.button(QMessageBox::Cancel)->click(); }, false },
        { "Escape", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, false },
        { "close box", [](QMessageBox& b) { b.close(); }, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModalDriver driver;
        BoxSeen seen;
        driver.then(recordBox(seen, c.answer));
        const bool answer = m_ui.askQuestion("Líneas", "Primera línea\nSegunda línea");
        EXPECT_EQ(answer, c.expected);
        EXPECT_EQ(driver.pending(), 0u);
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(seen.title, "Líneas");
        EXPECT_EQ(seen.text, "Primera línea\nSegunda línea");
        EXPECT_EQ(seen.buttons,
            (std::vector<QMessageBox::StandardButton> { QMessageBox::Ok, QMessageBox::Cancel }));
        EXPECT_EQ(seen.defaultButton, QMessageBox::Ok);
    }
}

// The subject-lines question: the same box with a check box, unchecked the first
// time, then as the user last left it.
TEST_F(QtInteractionTest, SubjectLinesCheckBoxIsRememberedForTheUser)
{
    using centre_import::SubjectLines;
    QStandardPaths::setTestModeEnabled(true);
    // The key the users' settings already hold: a new spelling would lose them.
    ASSERT_EQ(QtInteraction::namedGroupsOnlySetting, QStringLiteral("SubjectLines/NamedGroupsOnly"));
    QSettings(QCoreApplication::applicationName()).remove(QtInteraction::namedGroupsOnlySetting);

    struct Step {
        const char* name;
        bool checkedOnShow;
        bool check; ///< the state the user leaves it in
        bool ok;
        SubjectLines expected;
    };
    const Step steps[] = {
        { "first time, left unchecked", false, false, true, SubjectLines::All },
        { "checked", false, true, true, SubjectLines::NamedGroups },
        { "kept checked", true, true, true, SubjectLines::NamedGroups },
        { "unchecked and cancelled", true, false, false, SubjectLines::None },
        { "kept unchecked", false, false, true, SubjectLines::All },
        { "checked and cancelled", false, true, false, SubjectLines::None },
        { "kept checked after cancel", true, true, true, SubjectLines::NamedGroups },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        ModalDriver driver;
        BoxSeen seen;
        bool checkedOnShow = !step.checkedOnShow;
        driver.then(recordBox(seen, [&](QMessageBox& box) {
            ASSERT_NE(box.checkBox(), nullptr);
            EXPECT_EQ(
                box.checkBox()->text().toStdString(), shell::subject_lines_question::kNamedGroupsCaption);
            checkedOnShow = box.checkBox()->isChecked();
            box.checkBox()->setChecked(step.check);
            box.button(step.ok ? QMessageBox::Ok : QMessageBox::Cancel)->click();
        }));
        EXPECT_EQ(m_ui.askSubjectLines("Líneas", "¿Crear Líneas?"), step.expected);
        EXPECT_EQ(driver.pending(), 0u);
        EXPECT_EQ(checkedOnShow, step.checkedOnShow);
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(seen.title, "Líneas");
        EXPECT_EQ(seen.defaultButton, QMessageBox::Ok);
        EXPECT_EQ(QSettings(QCoreApplication::applicationName())
                      .value(QtInteraction::namedGroupsOnlySetting)
                      .toBool(),
            step.check);
    }
}

// Before something that cannot be undone, only a deliberate OK goes on: Enter takes
// the default, Cancel.
TEST_F(QtInteractionTest, DestructiveQuestionDefaultsToCancel)
{
    struct Case {
        const char* name;
        std::function<void(QMessageBox&)> answer;
        bool expected;
    };
    const Case cases[] = {
        { "OK button", pressOk, true },
        { "Enter takes the default", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Return); }, false },
        { "Escape", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, false },
        { "close box", [](QMessageBox& b) { b.close(); }, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModalDriver driver;
        BoxSeen seen;
        driver.then(recordBox(seen, c.answer));
        EXPECT_EQ(m_ui.confirmDestructive("¿Volver a importar «a.xml»?"), c.expected);
        EXPECT_EQ(driver.pending(), 0u);
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(seen.title, "Tramazel");
        EXPECT_EQ(seen.text, "¿Volver a importar «a.xml»?");
        EXPECT_EQ(seen.buttons,
            (std::vector<QMessageBox::StandardButton> { QMessageBox::Ok, QMessageBox::Cancel }));
        EXPECT_EQ(seen.defaultButton, QMessageBox::Cancel);
    }
}

// The core decides when the hourglass shows (it lifts it before every dialog); the
// window only shows what it is told, one cursor of its own at most.
TEST_F(QtInteractionTest, TheHourglassShowsExactlyWhatItIsTold)
{
    m_ui.setBusy(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_TRUE(m_ui.busy());
    m_ui.setBusy(true); // a second call must not stack a second cursor

    m_ui.setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(m_ui.busy());
    m_ui.setBusy(false); // lifting twice leaves others' cursors alone
    QApplication::setOverrideCursor(Qt::CrossCursor);
    m_ui.setBusy(false);
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    QApplication::restoreOverrideCursor();
}

TEST_F(QtInteractionTest, FileDialogTakesTheOptionsAndGivesTheChosenFile)
{
    TempDir dir;
    fs::create_directories(dir / "saga");
    writeFile(dir / "saga" / "centro.xml", "<CENTRE/>");
    const shell::FileDialogOptions options { "Archivo XML", "*.xml", "xml", dir / "saga" };

    struct Case {
        const char* name;
        const char* typed; ///< null: cancel
        std::optional<fs::path> expected;
    };
    const Case cases[] = {
        { "existing file", "centro.xml", dir / "saga" / "centro.xml" },
        { "name without extension gets .xml", "nuevo", dir / "saga" / "nuevo.xml" },
        { "cancel", nullptr, std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModalDriver driver;
        std::string title;
        QStringList filters;
        std::string suffix;
        std::string directory;
        driver.then([&](QWidget& widget) {
            auto* dialog = qobject_cast<QFileDialog*>(&widget);
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle().toStdString();
            filters = dialog->nameFilters();
            suffix = dialog->defaultSuffix().toStdString();
            directory = dialog->directory().absolutePath().toStdString();
            if (!c.typed) {
                dialog->reject();
                return;
            }
            // Type the name as a person would: selectFile() leaves the name box alone
            // while it has the keyboard focus, which depends on window activation.
            auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(nameBox, nullptr);
            nameBox->setText(QString::fromUtf8(c.typed));
            static_cast<QDialog*>(dialog)->accept();
        });
        const auto chosen = m_ui.chooseFile(options);
        EXPECT_EQ(driver.pending(), 0u);
        EXPECT_EQ(title, "Archivo XML");
        EXPECT_EQ(filters, QStringList { QStringLiteral("*.xml") });
        EXPECT_EQ(suffix, "xml");
        EXPECT_EQ(fs::path(directory), fs::canonical(dir / "saga"));
        ASSERT_EQ(chosen.has_value(), c.expected.has_value());
        if (chosen) {
            EXPECT_EQ(fs::weakly_canonical(*chosen), fs::weakly_canonical(*c.expected));
        }
    }
}

TEST_F(QtInteractionTest, PlacerTakesOverTheDialogs)
{
    std::vector<QWidget*> placed;
    m_ui.setDialogPlacer([&](QWidget& dialog) { placed.push_back(&dialog); });
    ModalDriver driver;
    QWidget* parentSeen = &m_window;
    driver.then([&](QWidget& box) {
        parentSeen = box.parentWidget();
        qobject_cast<QMessageBox*>(&box)->button(QMessageBox::Ok)->click();
    });
    m_ui.showInformation("Proceso finalizado");
    EXPECT_EQ(placed.size(), 1u);
    EXPECT_EQ(parentSeen, nullptr) << "a window inside a foreign one cannot parent dialogs";
}

TEST_F(QtInteractionTest, CloseMainWindowClosesTheWindow)
{
    m_ui.closeMainWindow();
    EXPECT_FALSE(m_window.isVisible());
}

// Levels typed in an earlier import come back in the real grid of the next one.
TEST_F(QtInteractionTest, ASecondImportOpensTheGridWithThePreviousLevels)
{
    namespace t = zelvano::cursost;
    TempDir qtemp;
    const fs::path centre = fixture("centre/one-line.xml");

    // The first import: someone typed level "ESO" and course "1" for the one course.
    struct TypedLevels : centre_import::ImportPrompts {
        void editCourseLevels(centre_import::CourseLevelGrid& grid) override
        {
            for (int row = 0; row < grid.rowCount(); ++row) {
                grid.set(row, centre_import::CourseLevelGrid::Level, "ESO");
                grid.set(row, centre_import::CourseLevelGrid::CourseNumber, "1");
            }
        }
        bool askQuestion(std::string_view, std::string_view) override { return false; }
    } typed;
    xml::XmlDocument first;
    ASSERT_TRUE(centre_import::importCentreFile(centre, qtemp.path(), first, typed));

    // The second, through the real dialogs: the grid shows what was typed before;
    // "Continuar" keeps it; Cancel on the lines question writes no lines.
    ModalDriver driver;
    QStringList shown;
    driver.then([&](QWidget& dialog) {
        auto* view = dialog.findChild<QTableView*>(qtString(shell::course_levels_window::kGridName));
        ASSERT_NE(view, nullptr);
        for (int column = 0; column < view->model()->columnCount(); ++column)
            shown << view->model()->index(0, column).data().toString();
        auto* next
            = dialog.findChild<QPushButton*>(qtString(shell::course_levels_window::kContinueButton.name));
        ASSERT_NE(next, nullptr);
        next->click();
    });
    driver.then([](QWidget& box) {
        auto* question = qobject_cast<QMessageBox*>(&box);
        ASSERT_NE(question, nullptr);
        question->button(QMessageBox::Cancel)->click();
    });
    xml::XmlDocument second;
    ASSERT_TRUE(centre_import::importCentreFile(centre, qtemp.path(), second, m_ui));
    EXPECT_EQ(driver.pending(), 0u);
    EXPECT_TRUE(driver.unexpected().empty());
    EXPECT_EQ(shown,
        (QStringList { QStringLiteral("1r d'Educació Secundària Obligatòria"), QStringLiteral("ESO"),
            QStringLiteral("1") }));

    dbf::DbfTable cursost = dbf::DbfTable::open(qtemp.path(), t::kTable, dbf::Access::Shared);
    ASSERT_FALSE(cursost.eof());
    EXPECT_EQ(cursost.text(t::kNivel), "ESO");
    EXPECT_EQ(cursost.text(t::kCurso), "1");
}

} // namespace
} // namespace tramazel::test
