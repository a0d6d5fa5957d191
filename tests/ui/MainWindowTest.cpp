// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's layout and its wiring to the shell, over a real shell::MainForm
// answered by a scripted interaction, on the offscreen platform.
#include "MainWindow.h"
#include "GradientPanel.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <regex>

namespace tramazel::test {
namespace {

namespace fs = std::filesystem;
using ui::GradientPanel;
using ui::MainWindow;
namespace layout = shell::main_window;

// The family asked for first, the size in the description's unit, the weight.
void expectFont(const QFont& font, shell::FontRole role)
{
    const shell::FontSpec spec = shell::fontFor(role);
    EXPECT_EQ(font.families().value(0), qtString(spec.family));
    if (spec.pixels > 0) {
        EXPECT_EQ(font.pixelSize(), spec.pixels);
    } else {
        EXPECT_EQ(font.pointSize(), spec.points);
    }
    EXPECT_EQ(font.bold(), spec.bold);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { guiApp(); }

    std::unique_ptr<MainWindow> makeWindow(fs::path iniFile = {})
    {
        shell::MainForm::Settings settings;
        settings.qtempDir = m_dir / "QTEMP";
        fs::create_directories(settings.qtempDir / "saga");
        settings.iniFile = iniFile.empty() ? m_dir / "Zelvano.ini" : iniFile;
        auto window = std::make_unique<MainWindow>(settings, &m_ui);
        m_ui.window = window.get();
        window->setHelpActions({ [this](QWidget* w) { m_contents.push_back(w); },
            [this](int context, QWidget* w) { m_contexts.emplace_back(context, w); } });
        return window;
    }

    // Shows the window and lets the deferred first-showing handler run.
    static void showAndSettle(MainWindow& window)
    {
        window.show();
        QTest::qWait(50);
    }

    std::optional<std::string> iniValue() const
    {
        if (!fs::exists(m_dir / "Zelvano.ini"))
            return std::nullopt;
        const std::string text = readFile(m_dir / "Zelvano.ini");
        std::smatch match;
        if (!std::regex_search(text, match, std::regex(R"(Transformado\s*=\s*(-?\d+))")))
            return std::string("(no key)");
        return match[1].str();
    }

    TempDir m_dir;
    ScriptedInteraction m_ui;
    std::vector<QWidget*> m_contents;
    std::vector<std::pair<int, QWidget*>> m_contexts;
};

TEST_F(MainWindowTest, LayoutMatchesTheDescription)
{
    auto window = makeWindow();
    EXPECT_EQ(window->objectName(), qtString(layout::kName));
    EXPECT_EQ(window->windowTitle(), qtString(layout::kCaption));
    EXPECT_EQ(window->size(), qtSize(layout::kClientSize));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the window must not be resizable";
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    expectFont(window->font(), shell::FontRole::Window);

    const MainWindow::Widgets& w = window->widgets();
    struct Panel {
        GradientPanel* widget;
        const shell::PanelSpec& spec;
    };
    for (const Panel& p : { Panel { w.importPanel, layout::kImportPanel },
             Panel { w.exportPanel, layout::kExportPanel }, Panel { w.footerPanel, layout::kFooterPanel } }) {
        SCOPED_TRACE(p.spec.name);
        EXPECT_EQ(p.widget->parentWidget(), window.get());
        EXPECT_EQ(p.widget->objectName(), qtString(p.spec.name));
        EXPECT_EQ(p.widget->geometry(), qtRect(p.spec.place));
        EXPECT_EQ(p.widget->topColor(), qtColor(p.spec.gradient.top));
        EXPECT_EQ(p.widget->middleColor(), qtColor(p.spec.gradient.middle));
        EXPECT_EQ(p.widget->bottomColor(), qtColor(p.spec.gradient.bottom));
    }

    struct Label {
        QLabel* widget;
        QWidget* parent;
        const shell::LabelSpec& spec;
    };
    for (const Label& l : { Label { w.importTitle, w.importPanel, layout::kImportTitle },
             Label { w.exportTitle, w.exportPanel, layout::kExportTitle },
             Label { w.versionLabel, w.footerPanel, layout::kVersionLabel } }) {
        SCOPED_TRACE(l.spec.name);
        EXPECT_EQ(l.widget->parentWidget(), l.parent);
        EXPECT_EQ(l.widget->objectName(), qtString(l.spec.name));
        EXPECT_EQ(l.widget->geometry(), qtRect(l.spec.place));
        EXPECT_EQ(l.widget->text(), qtString(l.spec.text));
        EXPECT_EQ(l.widget->wordWrap(), l.spec.wordWrap);
        expectFont(l.widget->font(), l.spec.font);
        EXPECT_EQ(l.widget->palette().color(QPalette::WindowText), qtColor(l.spec.colour));
        EXPECT_FALSE(l.widget->autoFillBackground()) << "the panel's gradient shows through";
    }

    struct Button {
        QPushButton* widget;
        QWidget* parent;
        const shell::ButtonSpec& spec;
    };
    for (const Button& b : { Button { w.importButton, w.importPanel, layout::kImportButton },
             Button { w.exportButton, w.exportPanel, layout::kExportButton },
             Button { w.closeButton, w.footerPanel, layout::kCloseButton },
             Button { w.helpButton, w.footerPanel, layout::kHelpButton } }) {
        SCOPED_TRACE(b.spec.name);
        EXPECT_EQ(b.widget->parentWidget(), b.parent);
        EXPECT_EQ(b.widget->objectName(), qtString(b.spec.name));
        EXPECT_EQ(b.widget->geometry(), qtRect(b.spec.place));
        EXPECT_EQ(b.widget->text(), qtString(b.spec.caption));
        EXPECT_EQ(b.widget->icon().isNull(), b.spec.glyph == shell::ButtonGlyph::None);
    }
}

TEST_F(MainWindowTest, ButtonsRunTheShellHandlers)
{
    auto window = makeWindow();
    ASSERT_FALSE(window->start({}).has_value());
    showAndSettle(*window);
    EXPECT_TRUE(m_ui.fileRequests.empty()) << "interactive use runs nothing by itself";

    QTest::mouseClick(window->widgets().importButton, Qt::LeftButton);
    ASSERT_EQ(m_ui.fileRequests.size(), 1u);
    const shell::FileDialogOptions& options = m_ui.fileRequests[0];
    EXPECT_EQ(options.title, "Archivo XML");
    EXPECT_EQ(options.filter, "*.xml");
    EXPECT_EQ(options.defaultExtension, "xml");
    EXPECT_EQ(options.initialDir, m_dir / "QTEMP" / "saga");
    EXPECT_EQ(options.helpContext, shell::help_context::kImportFile);
    EXPECT_EQ(m_ui.informations, std::vector<std::string> { "No existe archivo" });

    QTest::mouseClick(window->widgets().exportButton, Qt::LeftButton);
    ASSERT_EQ(m_ui.fileRequests.size(), 2u);
    EXPECT_EQ(m_ui.fileRequests[1].helpContext, shell::help_context::kExportFile);
    EXPECT_EQ(m_ui.informations.size(), 2u);
    EXPECT_TRUE(window->isVisible()) << "interactive use never closes after a run";
    EXPECT_EQ(m_ui.closeRequests, 0);

    QSignalSpy closed(window.get(), &MainWindow::closed);
    QTest::mouseClick(window->widgets().closeButton, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(iniValue().has_value()) << "interactive use writes no INI value";
}

TEST_F(MainWindowTest, HelpButtonAndF1ReachTheHelpSystem)
{
    auto window = makeWindow();
    window->start({});
    showAndSettle(*window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    QTest::mouseClick(window->widgets().helpButton, Qt::LeftButton);
    EXPECT_EQ(m_contents, std::vector<QWidget*> { window.get() });

    // F1 on the window and on a focused control: both ask for the window's context.
    QTest::keyClick(window.get(), Qt::Key_F1);
    window->widgets().exportButton->setFocus();
    QTest::keyClick(window->widgets().exportButton, Qt::Key_F1);
    ASSERT_EQ(m_contexts.size(), 2u);
    EXPECT_EQ(m_contexts[0].first, shell::help_context::kMainWindow);
    EXPECT_EQ(m_contexts[1].first, shell::help_context::kMainWindow);
    EXPECT_EQ(m_contents.size(), 1u);
}

// A focused button answers Enter (both keys) and Space alike, as on Windows.
TEST_F(MainWindowTest, EnterAndSpacePressTheFocusedButton)
{
    auto window = makeWindow();
    window->start({});
    showAndSettle(*window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const MainWindow::Widgets& w = window->widgets();
    for (QPushButton* button : { w.importButton, w.exportButton, w.closeButton, w.helpButton }) {
        for (Qt::Key key : { Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space }) {
            SCOPED_TRACE(button->objectName().toStdString() + " key " + std::to_string(key));
            QSignalSpy clicked(button, &QPushButton::clicked);
            // Closing the window would end the other cases: only count the click.
            if (button == w.closeButton)
                button->disconnect(window.get());
            button->setFocus(Qt::TabFocusReason);
            QTest::keyClick(button, key);
            EXPECT_EQ(clicked.count(), 1);
        }
    }
    EXPECT_FALSE(m_ui.fileRequests.empty());
    EXPECT_FALSE(m_contents.empty());
}

TEST_F(MainWindowTest, AltSClosesTheWindow)
{
    auto window = makeWindow();
    window->start({});
    showAndSettle(*window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(window->widgets().closeButton->shortcut(), QKeySequence(Qt::ALT | Qt::Key_S));
    QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);
    // A mnemonic presses the button visibly: the click comes a moment later.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 2000));
}

// The mode word runs at the first showing, and in host mode the run ends the
// window and leaves its result code.
TEST_F(MainWindowTest, ModeWordRunsOnFirstShowing)
{
    struct Case {
        const char* name;
        std::vector<std::string> params;
        bool host;
        std::size_t dialogs; ///< file dialogs shown by the mode word
        bool closesByItself;
        std::vector<std::string> errors;
        std::optional<std::string> ini; ///< after the close
    };
    const Case cases[] = {
        { "import word in mixed case", { "ExPoRtAr", "4A0001F" }, true, 1, true, {}, "-1" },
        { "export word", { "IMPORTAR", "00ff" }, true, 1, true, {}, "0" },
        { "neither word", { "otra", "1" }, true, 0, false, {}, "0" },
        { "bad handle", { "exportar", "0x1F" }, false, 1, false, { "'$0x1F' no es un valor entero válido." },
            std::nullopt },
        { "three parameters", { "exportar", "1", "2" }, false, 0, false, {}, std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_ui = ScriptedInteraction();
        fs::remove(m_dir / "Zelvano.ini");
        auto window = makeWindow();
        QSignalSpy closed(window.get(), &MainWindow::closed);

        const auto handle = window->start(c.params);
        EXPECT_EQ(handle.has_value(), c.host);
        EXPECT_EQ(window->hostMode(), c.host);
        EXPECT_EQ(m_ui.errors, c.errors);
        EXPECT_TRUE(m_ui.fileRequests.empty()) << "nothing runs before the first showing";

        showAndSettle(*window);
        EXPECT_EQ(m_ui.fileRequests.size(), c.dialogs);
        EXPECT_EQ(window->isVisible(), !c.closesByItself);
        if (window->isVisible())
            QTest::mouseClick(window->widgets().closeButton, Qt::LeftButton);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(closed.count(), 1);
        EXPECT_EQ(iniValue(), c.ini);

        // A second showing does not run the word again.
        const std::size_t before = m_ui.fileRequests.size();
        showAndSettle(*window);
        EXPECT_EQ(m_ui.fileRequests.size(), before);
        window->hide();
    }
}

// The whole host-mode course through the window: the mode word imports the sample
// centre, "Proceso finalizado", the window closes itself and leaves 1.
TEST_F(MainWindowTest, CompletedHostRunClosesWithResultOne)
{
    const fs::path centre = fs::path(TRAMAZEL_SOURCE_DIR) / "samples" / "centre.xml";
    ASSERT_TRUE(fs::exists(centre));
    auto window = makeWindow();
    m_ui.fileAnswers.push_back(centre);
    QSignalSpy closed(window.get(), &MainWindow::closed);
    ASSERT_TRUE(window->start({ "exportar", "2A" }).has_value());
    showAndSettle(*window);

    EXPECT_TRUE(m_ui.errors.empty()) << m_ui.errors.front();
    EXPECT_TRUE(m_ui.informations.empty());
    ASSERT_EQ(m_ui.reports.size(), 1u);
    EXPECT_TRUE(m_ui.reports[0].text.starts_with("Proceso finalizado\n")) << m_ui.reports[0].text;
    EXPECT_EQ(m_ui.choices.size(), 1u) << "the look before the tables are replaced";
    ASSERT_FALSE(m_ui.busyCalls.empty());
    EXPECT_TRUE(m_ui.busyCalls.front()) << "hourglass during the run";
    EXPECT_FALSE(m_ui.busyCalls.back()) << "and off before the box";
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(iniValue(), "1");
    EXPECT_TRUE(fs::exists(m_dir / "QTEMP" / "ASIGNOMT.DBF"));
}

TEST_F(MainWindowTest, UnwritableIniIsSaidOnceAndTheWindowCloses)
{
    // A folder where the INI file should be: the file cannot be written.
    fs::create_directories(m_dir / "blocked" / "Zelvano.ini");
    auto window = makeWindow(m_dir / "blocked" / "Zelvano.ini");
    QSignalSpy closed(window.get(), &MainWindow::closed);
    ASSERT_TRUE(window->start({ "otra", "1" }).has_value());
    showAndSettle(*window);

    QTest::mouseClick(window->widgets().closeButton, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible()) << "the window closes after saying so";
    EXPECT_EQ(closed.count(), 1);
    ASSERT_EQ(m_ui.errors.size(), 1u);
    EXPECT_EQ(m_ui.errors[0].rfind("No se puede escribir el resultado en el archivo «", 0), 0u)
        << m_ui.errors[0];
}

TEST_F(MainWindowTest, HostGoneWritesTheResultCode)
{
    auto window = makeWindow();
    QSignalSpy closed(window.get(), &MainWindow::closed);
    ASSERT_TRUE(window->start({ "otra", "ABC" }).has_value());
    showAndSettle(*window);
    window->hostWindowDestroyed();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(iniValue(), "0");
}

// A loose look at what the user sees: size and the three panels' colours, at the top,
// the middle and the bottom of each gradient. The picture is kept in the build folder.
TEST_F(MainWindowTest, PanelsShowTheirColours)
{
    auto window = makeWindow();
    window->start({});
    showAndSettle(*window);
    const QImage shot = window->grab().toImage();
    shot.save(QStringLiteral(TRAMAZEL_UI_SHOTS_DIR "/main-window.png"));
    ASSERT_EQ(shot.size(), qtSize(layout::kClientSize));

    // A few pixels inside each panel's visible part, away from its labels and buttons.
    const QRect client(QPoint(0, 0), shot.size());
    for (const shell::PanelSpec* panel :
        { &layout::kImportPanel, &layout::kExportPanel, &layout::kFooterPanel }) {
        const QRect visible = qtRect(panel->place).intersected(client);
        const int x = visible.left() + 4;
        struct Sample {
            const char* where;
            int y;
            shell::Rgb expected;
        };
        const Sample samples[] = {
            { "top", visible.top() + 1, panel->gradient.top },
            { "middle", panel->place.top + panel->place.height / 2, panel->gradient.middle },
            { "bottom", visible.bottom() - 1, panel->gradient.bottom },
        };
        for (const Sample& s : samples) {
            const QColor seen = shot.pixelColor(x, s.y);
            const QColor expected = qtColor(s.expected);
            EXPECT_LT(std::abs(seen.red() - expected.red()) + std::abs(seen.green() - expected.green())
                    + std::abs(seen.blue() - expected.blue()),
                24)
                << panel->name << ", " << s.where << " (" << x << ", " << s.y
                << "): " << seen.name().toStdString() << " instead of " << expected.name().toStdString();
        }
    }
    // The version label shows in its colour somewhere in its place.
    const QRect place
        = qtRect(layout::kVersionLabel.place).translated(qtRect(layout::kFooterPanel.place).topLeft());
    const QColor colour = qtColor(layout::kVersionLabel.colour);
    bool shown = false;
    for (int x = place.left(); x <= place.right() && !shown; ++x)
        for (int y = place.top(); y <= place.bottom() && !shown; ++y) {
            const QColor c = shot.pixelColor(x, y);
            shown = std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green())
                    + std::abs(c.blue() - colour.blue())
                < 60;
        }
    EXPECT_TRUE(shown);
}

} // namespace
} // namespace tramazel::test
