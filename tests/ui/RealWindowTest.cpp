// SPDX-License-Identifier: GPL-3.0-or-later
// The real window with its real dialogs on a real X server (Xvfb under
// ./scripts/test), driven as a person would: the import of the sample centre file,
// then the import button again with its file dialog cancelled. Skipped without a
// display.
#include "MainWindow.h"
#include "QtInteraction.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tramazel::test {
namespace {

namespace fs = std::filesystem;
using ui::MainWindow;

// What a dialog was when it came up: its class, caption and text.
struct Seen {
    std::string kind;
    std::string title;
    std::string text;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    std::string defaultCaption; ///< the default button's text
    std::string details; ///< the box's detailed text
    std::string checkBox; ///< the check box's text
};

// A picture of the screen where `widget` is, as the X server holds it (a copy of the
// root window's area, not a per-window reading, which some screenshot tools do and
// which shows a window lying wholly over another of the same program as black). Kept
// for a look at the test's end.
QImage keepPicture(QWidget& widget, const char* name)
{
    QTest::qWait(150);
    const QRect frame = widget.frameGeometry();
    const QImage shot = widget.screen()
                            ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
    shot.save(QStringLiteral(TRAMAZEL_UI_SHOTS_DIR "/real_%1.png").arg(QLatin1String(name)));
    return shot;
}

// The share of the picture in `widget`'s own background colour: a painted box is
// mostly that, a box never painted none of it.
double backgroundShare(const QImage& shot, const QWidget& widget)
{
    if (shot.isNull())
        return 0.0;
    const QRgb background = widget.palette().color(QPalette::Window).rgb();
    qsizetype hits = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixel(x, y) == background)
                ++hits;
        }
    }
    return double(hits) / double(shot.width() * shot.height());
}

class RealWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY"))
            GTEST_SKIP() << "no X server";
        guiApp();
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "not on X11";
        fs::create_directories(m_qtemp / "saga");
        fs::copy_file(fs::path(TRAMAZEL_SOURCE_DIR) / "samples" / "centre.xml", m_centre);
        // The test's own settings, without a "No volver a preguntar" left by a run.
        QStandardPaths::setTestModeEnabled(true);
        ui::QtInteraction probe(nullptr);
        probe.setUserFlag(shell::replace_tables_question::kSettingsGroup,
            shell::replace_tables_question::kSettingsKey, false);
    }

    // Records a dialog and answers it with `answer`.
    ModalDriver::Action expect(std::vector<Seen>& seen, std::function<void(QWidget&)> answer)
    {
        return [&seen, answer](QWidget& dialog) {
            Seen s;
            s.kind = dialog.metaObject()->className();
            s.title = dialog.windowTitle().toStdString();
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                s.text = box->text().toStdString();
                if (box->defaultButton()) {
                    s.defaultButton = box->standardButton(box->defaultButton());
                    s.defaultCaption = box->defaultButton()->text().toStdString();
                }
                s.details = box->detailedText().toStdString();
                if (box->checkBox())
                    s.checkBox = box->checkBox()->text().toStdString();
                keepPicture(dialog, box->icon() == QMessageBox::Warning ? "question" : "information");
            }
            seen.push_back(s);
            answer(dialog);
        };
    }

    static void chooseCentre(QWidget& dialog, const fs::path& file)
    {
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(file.string()));
        static_cast<QDialog&>(dialog).accept();
    }
    static void press(QWidget& box, QMessageBox::StandardButton button)
    {
        qobject_cast<QMessageBox*>(&box)->button(button)->click();
    }
    // Opens the box's details, as a person wanting them does, and keeps a picture.
    static void openDetails(QWidget& box, const char* picture)
    {
        for (QAbstractButton* button : qobject_cast<QMessageBox*>(&box)->buttons()) {
            if (qobject_cast<QMessageBox*>(&box)->buttonRole(button) == QMessageBox::ActionRole)
                button->click();
        }
        keepPicture(box, picture);
    }

    TempDir m_dir;
    fs::path m_qtemp = m_dir / "QTEMP";
    fs::path m_centre = m_dir / "QTEMP" / "saga" / "centre.xml";
};

// After an import, pressing the button again and cancelling the file dialog asks
// before anything is rebuilt; Enter takes Cancel and leaves every table as it was,
// OK imports the same file again.
TEST_F(RealWindowTest, CancellingTheFileDialogAsksBeforeImportingAgain)
{
    shell::MainForm::Settings settings;
    settings.qtempDir = m_qtemp;
    settings.iniFile = m_dir / "Zelvano.ini";
    MainWindow window(settings);
    window.start({});
    window.centreOnScreen();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QPushButton* importButton = window.widgets().importButton;

    // The first import, as a secretary does it.
    {
        ModalDriver driver(20000);
        std::vector<Seen> seen;
        driver.then(expect(seen, [this](QWidget& d) { chooseCentre(d, m_centre); }));
        driver.then(expect(seen, [](QWidget& grid) {
            keepPicture(grid, "grid");
            grid.findChild<QPushButton*>(qtString(shell::course_levels_window::kContinueButton.name))
                ->click();
        }));
        driver.then(expect(seen, [](QWidget& box) { press(box, QMessageBox::Ok); })); // the lines
        driver.then(expect(seen, [](QWidget& box) {
            openDetails(box, "review_details");
            QTest::keyClick(&box, Qt::Key_Return); // the default replaces the tables
        }));
        driver.then(expect(seen, [](QWidget& box) {
            openDetails(box, "report_details");
            press(box, QMessageBox::Ok);
        }));
        QTest::mouseClick(importButton, Qt::LeftButton);
        ASSERT_EQ(driver.pending(), 0u);
        ASSERT_EQ(seen.size(), 5u);
        EXPECT_EQ(seen[0].kind, "QFileDialog");
        EXPECT_EQ(seen[1].title, shell::course_levels_window::kCaption);
        // The look before replacing: a first import, so the counts only.
        EXPECT_EQ(seen[3].title, "Tramazel");
        EXPECT_TRUE(
            seen[3].text.starts_with("Se van a crear las tablas de Zelvano:\nASIGNOMT: tabla nueva, 302 "))
            << seen[3].text;
        EXPECT_EQ(seen[3].defaultCaption, "Reemplazar las tablas");
        EXPECT_EQ(seen[3].checkBox, "No volver a preguntar");
        // The summary: how it ended, what it wrote, the warnings at a glance.
        EXPECT_TRUE(
            seen[4].text.starts_with("Proceso finalizado\nTablas importadas (registros): ASIGNOMT 302, "))
            << seen[4].text;
        EXPECT_NE(seen[4].text.find("\nLíneas de asignaturas: "), std::string::npos) << seen[4].text;
        EXPECT_NE(seen[4].text.find("textos cortados al ancho de su campo: 27"), std::string::npos)
            << seen[4].text;
        EXPECT_NE(seen[4].details.find("Tabla ASIGT: "), std::string::npos) << seen[4].details;
        EXPECT_TRUE(driver.unexpected().empty());
    }
    const auto imported = snapshot(m_qtemp);

    // Cancelled dialog, then Enter on the question: nothing is rebuilt.
    {
        ModalDriver driver;
        std::vector<Seen> seen;
        driver.then(expect(seen, [](QWidget& d) { static_cast<QDialog&>(d).reject(); }));
        driver.then(expect(seen, [](QWidget& box) { QTest::keyClick(&box, Qt::Key_Return); }));
        QTest::mouseClick(importButton, Qt::LeftButton);
        ASSERT_EQ(driver.pending(), 0u);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[1].kind, "QMessageBox");
        EXPECT_EQ(seen[1].title, "Tramazel");
        EXPECT_EQ(seen[1].text, "¿Volver a importar «centre.xml»? Las tablas de Zelvano se reconstruirán.");
        EXPECT_EQ(seen[1].defaultButton, QMessageBox::Cancel);
        EXPECT_TRUE(driver.unexpected().empty()) << "no grid, no box after Cancel";
        EXPECT_EQ(snapshot(m_qtemp), imported);
    }

    // Cancelled dialog, then OK: the same file is imported again.
    {
        ModalDriver driver(20000);
        std::vector<Seen> seen;
        driver.then(expect(seen, [](QWidget& d) { static_cast<QDialog&>(d).reject(); }));
        driver.then(expect(seen, [](QWidget& box) { press(box, QMessageBox::Ok); }));
        driver.then(expect(seen, [](QWidget& grid) { static_cast<QDialog&>(grid).accept(); }));
        driver.then(expect(seen, [](QWidget& box) { press(box, QMessageBox::Ok); }));
        driver.then(expect(seen, [](QWidget& box) { QTest::keyClick(&box, Qt::Key_Return); }));
        driver.then(expect(seen, [](QWidget& box) { press(box, QMessageBox::Ok); }));
        QTest::mouseClick(importButton, Qt::LeftButton);
        ASSERT_EQ(driver.pending(), 0u);
        ASSERT_EQ(seen.size(), 6u);
        EXPECT_EQ(seen[2].title, shell::course_levels_window::kCaption);
        // The same file again: every table compared, none changed.
        EXPECT_TRUE(
            seen[4].text.starts_with("Se van a reemplazar las tablas de Zelvano:\nASIGNOMT (por CODI): "
                                     "sin cambios (302 registros)"))
            << seen[4].text;
        EXPECT_TRUE(seen[5].text.starts_with("Proceso finalizado\n")) << seen[5].text;
    }

    // Once more, and Escape on the review: nothing changes, and no box follows.
    {
        const auto before = snapshot(m_qtemp);
        ModalDriver driver(20000);
        std::vector<Seen> seen;
        driver.then(expect(seen, [](QWidget& d) { static_cast<QDialog&>(d).reject(); }));
        driver.then(expect(seen, [](QWidget& box) { press(box, QMessageBox::Ok); }));
        driver.then(expect(seen, [](QWidget& grid) { static_cast<QDialog&>(grid).accept(); }));
        driver.then(expect(seen, [](QWidget& box) { press(box, QMessageBox::Ok); }));
        driver.then(expect(seen, [](QWidget& box) { QTest::keyClick(&box, Qt::Key_Escape); }));
        QTest::mouseClick(importButton, Qt::LeftButton);
        ASSERT_EQ(driver.pending(), 0u);
        EXPECT_EQ(seen.size(), 5u);
        EXPECT_TRUE(driver.unexpected().empty()) << "no box after a declined replacement";
        EXPECT_EQ(snapshot(m_qtemp), before);
    }
    window.close();
}

// Every box of the program, shown over the main window, is painted there: the
// picture of its area is mostly its background colour.
TEST_F(RealWindowTest, EveryBoxPaintsOverTheMainWindow)
{
    shell::MainForm::Settings settings;
    settings.qtempDir = m_qtemp;
    settings.iniFile = m_dir / "Zelvano.ini";
    MainWindow window(settings);
    window.start({});
    window.centreOnScreen();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ui::QtInteraction& boxes = *window.qtInteraction();

    struct Case {
        const char* name;
        std::function<void()> show;
    };
    const Case cases[] = {
        { "information", [&] { boxes.showInformation("Proceso finalizado"); } },
        { "error", [&] { boxes.showError("No se puede abrir el archivo."); } },
        { "question", [&] { boxes.askQuestion("Líneas", "¿Crear Líneas?"); } },
        { "reimport", [&] { boxes.confirmDestructive("¿Volver a importar «centre.xml»?"); } },
        { "report",
            [&] {
                boxes.showReport({ "Proceso finalizado\nTablas importadas", "Tabla PROFT: 1" });
            } },
        { "choice",
            [&] {
                boxes.choose({ "Se van a reemplazar las tablas", "PROFT", "Reemplazar las tablas", "Cancelar",
                    true, "No volver a preguntar" });
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModalDriver driver;
        double share = 0;
        bool inside = false;
        driver.then([&](QWidget& box) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&box));
            inside = window.frameGeometry().contains(box.frameGeometry());
            share = backgroundShare(keepPicture(box, c.name), box);
            qobject_cast<QDialog*>(&box)->reject();
        });
        c.show();
        ASSERT_EQ(driver.pending(), 0u);
        EXPECT_TRUE(inside) << "the box lies over the main window";
        EXPECT_GT(share, 0.5);
    }
}

} // namespace
} // namespace tramazel::test
