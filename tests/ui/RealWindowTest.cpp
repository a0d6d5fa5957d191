// SPDX-License-Identifier: GPL-3.0-or-later
// The real window with its real dialogs on a real X server (Xvfb under
// ./scripts/test), driven as a person would: the import of the sample centre file,
// then the import button again with its file dialog cancelled. Skipped without a
// display.
#include "ChmBrowser.h"
#include "HelpSystem.h"
#include "HelpWindow.h"
#include "HostEmbedding.h"
#include "MainWindow.h"
#include "OpenHelpWindows.h"
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

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdio>
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

// A host of our own on a connection of its own, as another program's window is:
// the window's destruction reaches the program only through the X server.
class ForeignHost {
public:
    ForeignHost()
        : m_conn(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_conn))
            return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        m_id = xcb_generate_id(m_conn);
        const std::uint32_t background[] = { 0x404040 };
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, m_id, screen->root, 60, 60, 800, 400, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, background);
        xcb_map_window(m_conn, m_id);
        sync();
    }
    ~ForeignHost() { xcb_disconnect(m_conn); }

    std::uint32_t id() const { return m_id; }
    std::string handle() const
    {
        char text[16];
        std::snprintf(text, sizeof text, "%X", m_id);
        return text;
    }
    void destroy()
    {
        xcb_destroy_window(m_conn, m_id);
        sync();
    }

private:
    // A round trip: the server has done everything asked before it answers.
    void sync() { std::free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr)); }

    xcb_connection_t* m_conn;
    xcb_window_t m_id = 0;
};

// The host closes while the course grid is open (host mode, "exportar"): the import
// stops, every table stays byte for byte as it was, the INI says -1 (nothing done)
// and the window closes.
TEST_F(RealWindowTest, HostClosedWhileTheGridIsOpenChangesNothing)
{
    // Tables of an earlier import, which the run must not replace.
    {
        shell::MainForm::Settings settings;
        settings.qtempDir = m_qtemp;
        settings.iniFile = m_dir / "first.ini";
        MainWindow window(settings);
        window.start({});
        ModalDriver driver(20000);
        driver.then([this](QWidget& d) { chooseCentre(d, m_centre); });
        driver.then([](QWidget& grid) { static_cast<QDialog&>(grid).accept(); });
        driver.then([](QWidget& box) { press(box, QMessageBox::Ok); }); // the lines
        driver.then([](QWidget& box) { QTest::keyClick(&box, Qt::Key_Return); }); // the review
        driver.then([](QWidget& box) { press(box, QMessageBox::Ok); });
        window.form().importCentre();
        ASSERT_EQ(driver.pending(), 0u);
        ASSERT_TRUE(window.form().lastRunSucceeded());
    }
    const auto before = snapshot(m_qtemp);

    ForeignHost host;
    ASSERT_NE(host.id(), 0u);
    shell::MainForm::Settings settings;
    settings.qtempDir = m_qtemp;
    settings.iniFile = m_dir / "Zelvano.ini";
    MainWindow window(settings);
    bool closed = false;
    QObject::connect(&window, &MainWindow::closed, [&closed] { closed = true; });
    const auto handle = window.start({ "Exportar", host.handle() });
    ASSERT_TRUE(handle.has_value());
    auto embedding = app::HostEmbedding::embed(window, *handle);
    ASSERT_NE(embedding, nullptr);
    window.qtInteraction()->setDialogPlacer([&embedding](QWidget& d) { embedding->placeDialog(d); });

    ModalDriver driver(20000);
    bool gridSeen = false;
    driver.then([this](QWidget& d) { chooseCentre(d, m_centre); });
    driver.then([&](QWidget& grid) {
        gridSeen = grid.windowTitle() == qtString(shell::course_levels_window::kCaption);
        host.destroy();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, 30000)) << "the window outlived its host";
    EXPECT_TRUE(gridSeen);
    EXPECT_EQ(driver.pending(), 0u);
    EXPECT_TRUE(driver.unexpected().empty()) << "no box after the host went";
    EXPECT_TRUE(snapshot(m_qtemp) == before) << "the timetable directory changed";
    EXPECT_EQ(readFile(m_dir / "Zelvano.ini"), "[Transformadores]\r\nTransformado=-1\r\n");
}

// The keycode of `keysym` in the server's keyboard map (0: none).
xcb_keycode_t keycodeOf(xcb_connection_t* conn, xcb_keysym_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(conn);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    auto* map = xcb_get_keyboard_mapping_reply(
        conn, xcb_get_keyboard_mapping(conn, setup->min_keycode, count), nullptr);
    xcb_keycode_t found = 0;
    if (map) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
        for (int i = 0; i < xcb_get_keyboard_mapping_keysyms_length(map) && !found; ++i) {
            if (syms[i] == keysym)
                found = static_cast<xcb_keycode_t>(setup->min_keycode + i / map->keysyms_per_keycode);
        }
        std::free(map);
    }
    return found;
}

// F1 in the import's file dialog with no window manager: the help window opens on
// the file-choice topic without covering the dialog, inside the screen, and Escape
// typed to it through the X server closes it.
TEST_F(RealWindowTest, HelpFromTheFileDialogLeavesItInSightAndEscapeClosesIt)
{
    help::registerViewer();
    help::setHelpFile(QStringLiteral("IB.chm")); // beside the test program, as beside the program
    shell::MainForm::Settings settings;
    settings.qtempDir = m_qtemp;
    settings.iniFile = m_dir / "Zelvano.ini";
    MainWindow window(settings);
    window.start({});
    window.centreOnScreen();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QPointer<help::HelpWindow> helpWindow;
    QRect dialogFrame;
    QRect helpFrame;
    QString topic;
    bool closedByEscape = false;
    ModalDriver driver(20000);
    driver.then([&](QWidget& dialog) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        dialogFrame = dialog.frameGeometry();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog, Qt::Key_F1);
        const QList<help::HelpWindow*> open = help::openHelpWindows()->windows();
        if (open.size() == 1)
            helpWindow = open.first();
        if (helpWindow && QTest::qWaitForWindowExposed(helpWindow)) {
            helpFrame = helpWindow->frameGeometry();
            topic = helpWindow->browser()->source().toString();
            keepPicture(*helpWindow, "help_beside_file_dialog");
            // A key a person types: from the server to the window that has the focus.
            xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
            const xcb_keycode_t escape = keycodeOf(conn, 0xff1b);
            const bool active
                = QTest::qWaitFor([&] { return QApplication::activeWindow() == helpWindow; }, 5000);
            EXPECT_TRUE(active) << "the help window opened without the keyboard";
            for (const std::uint8_t type : { std::uint8_t(XCB_KEY_PRESS), std::uint8_t(XCB_KEY_RELEASE) }) {
                xcb_key_press_event_t key {};
                key.response_type = type;
                key.detail = escape;
                key.root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
                key.event = static_cast<xcb_window_t>(helpWindow->winId());
                key.same_screen = 1;
                xcb_send_event(conn, 0, key.event, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE,
                    reinterpret_cast<const char*>(&key));
            }
            xcb_flush(conn);
            closedByEscape
                = QTest::qWaitFor([&] { return helpWindow.isNull() || !helpWindow->isVisible(); }, 5000);
            xcb_disconnect(conn);
        }
        static_cast<QDialog&>(dialog).reject();
    });
    driver.then([](QWidget& box) { press(box, QMessageBox::Ok); }); // "No existe archivo"
    window.form().importCentre();
    EXPECT_EQ(driver.pending(), 0u);
    ASSERT_FALSE(dialogFrame.isEmpty());
    ASSERT_FALSE(helpFrame.isEmpty()) << "F1 opened no help window";
    EXPECT_EQ(topic, QStringLiteral("chm:/importar_centro.htm"));
    EXPECT_FALSE(helpFrame.intersects(dialogFrame)) << "the help covers the dialog that asked for it";
    EXPECT_TRUE(window.screen()->availableGeometry().contains(helpFrame));
    EXPECT_TRUE(closedByEscape) << "Escape left the help window open";
    help::shutDown();
}

} // namespace
} // namespace tramazel::test
