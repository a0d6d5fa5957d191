// SPDX-License-Identifier: GPL-3.0-or-later
// The help windows driven offscreen: what each request shows, links, pictures,
// stylesheets, the index, failures, and the requests of the main window.
#include "HelpWindow.h"
#include "ChmBrowser.h"
#include "ChmDirectoryCheck.h"
#include "HelpSystem.h"
#include "MainWindow.h"
#include "OpenHelpWindows.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
#include <cstring>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

using namespace tramazel;
using namespace tramazel::help;

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "help_window_test";
    static char* argv[] = { name, nullptr };
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

const QString fixture = QStringLiteral(TRAMAZEL_HELP_FIXTURE);

// Records the links handed to the desktop instead of starting a browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { opened << url; }

public:
    QList<QUrl> opened;
};

QString sourceOf(HelpWindow* w)
{
    return w->browser()->source().toString();
}

// Clicks the link whose text is `text` in the page shown.
void clickLink(ChmBrowser* browser, const QString& text)
{
    QTextCursor cursor = browser->document()->find(text);
    ASSERT_FALSE(cursor.isNull()) << text.toStdString();
    cursor.setPosition(cursor.selectionStart() + 1);
    browser->ensureCursorVisible();
    const QPoint at = browser->cursorRect(cursor).center();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
}

QColor headingColour(QTextDocument* doc, const QString& heading)
{
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (b.text() == heading)
            return b.begin().fragment().charFormat().foreground().color();
    }
    return QColor();
}

class HelpWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        dir = std::make_unique<test::TempDir>();
    }
    void TearDown() override { windows.closeAll(); }

    HelpWindow* only()
    {
        const QList<HelpWindow*> open = windows.windows();
        return open.size() == 1 ? open.first() : nullptr;
    }

    OpenHelpWindows windows;
    std::unique_ptr<test::TempDir> dir;
};

} // namespace

TEST_F(HelpWindows, ContentsShowTheTreeAndTheDefaultTopic)
{
    windows.call(nullptr, fixture, HtmlHelpCommand::DisplayToc, {});
    HelpWindow* w = only();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isWindow());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Ayuda de prueba"));
    EXPECT_EQ(w->tabs()->currentWidget(), w->contentsTree());
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/start.htm"));
    // A page without a charset is read in the file's code page.
    EXPECT_TRUE(w->browser()->toPlainText().contains(QStringLiteral("Página de inicio")));
    EXPECT_TRUE(w->message().isEmpty());

    QTreeWidget* tree = w->contentsTree();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Página de inicio"));
    EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("Temas"));
    EXPECT_EQ(tree->topLevelItem(1)->childCount(), 2);
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0));

    // A click in the tree shows the topic.
    QTreeWidgetItem* other = tree->topLevelItem(1)->child(1);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(other).center());
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/sub/other.htm"));
}

TEST_F(HelpWindows, ContextsShowTheirTopicsWithStylesheetsAndPictures)
{
    windows.call(nullptr, fixture, HtmlHelpCommand::HelpContext, { QString(), 1 });
    HelpWindow* w = only();
    ASSERT_TRUE(w);
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/main.htm"));
    EXPECT_TRUE(w->browser()->toPlainText().contains(QStringLiteral("canción, año")));
    // The stylesheet's link carries no type; it applies all the same.
    EXPECT_EQ(
        headingColour(w->browser()->document(), QStringLiteral("Tema principal")), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(w->contentsTree()->currentItem()->text(0), QStringLiteral("Tema principal"));

    // The same window serves the next request.
    windows.call(nullptr, fixture, HtmlHelpCommand::HelpContext, { QString(), 2 });
    ASSERT_EQ(only(), w);
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/sub/other.htm"));
    EXPECT_EQ(headingColour(w->browser()->document(), QStringLiteral("Otro tema")), QColor(0x12, 0x34, 0x56));

    // The picture beside the page is read from the file.
    QString image;
    for (QTextBlock b = w->browser()->document()->begin(); b.isValid() && image.isEmpty(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isImageFormat())
                image = it.fragment().charFormat().toImageFormat().name();
        }
    }
    ASSERT_EQ(image, QStringLiteral("dot.png"));
    const QVariant bytes = w->browser()->loadResource(QTextDocument::ImageResource, QUrl(image));
    EXPECT_EQ(QImage::fromData(bytes.toByteArray()).size(), QSize(8, 6));
}

TEST_F(HelpWindows, LinksGoBackAndForward)
{
    windows.call(nullptr, fixture, HtmlHelpCommand::DisplayToc, {});
    HelpWindow* w = only();
    ASSERT_TRUE(w);
    clickLink(w->browser(), QStringLiteral("Tema principal"));
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/main.htm"));
    clickLink(w->browser(), QStringLiteral("Otro tema"));
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/sub/other.htm"));
    EXPECT_EQ(w->contentsTree()->currentItem()->text(0), QStringLiteral("Otro tema"));
    clickLink(w->browser(), QStringLiteral("Volver"));
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/main.htm#part"));

    w->browser()->backward();
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/sub/other.htm"));
    w->browser()->backward();
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/main.htm"));
    w->browser()->forward();
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/sub/other.htm"));

    // A link to a topic the file lacks leaves the page and says so.
    w->browser()->followLink(QUrl(QStringLiteral("nada.htm")));
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/sub/other.htm"));
    EXPECT_TRUE(w->message().contains(QStringLiteral("sub/nada.htm"))) << w->message().toStdString();
}

TEST_F(HelpWindows, ExternalLinkOpensOutsideAndThePageStays)
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    windows.call(nullptr, fixture, HtmlHelpCommand::DisplayToc, {});
    HelpWindow* w = only();
    ASSERT_TRUE(w);
    clickLink(w->browser(), QStringLiteral("Sitio externo"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(recorder.opened.size(), 1);
    EXPECT_EQ(recorder.opened.first(), QUrl(QStringLiteral("https://example.org/ayuda")));
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/start.htm"));
    EXPECT_TRUE(w->browser()->toPlainText().contains(QStringLiteral("Página de inicio")));
    EXPECT_FALSE(w->browser()->isBackwardAvailable());
}

TEST_F(HelpWindows, IndexOpensAtTheKeyword)
{
    windows.call(nullptr, fixture, HtmlHelpCommand::DisplayIndex, { QStringLiteral("imag"), 0 });
    HelpWindow* w = only();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->tabs()->currentIndex(), 1);
    EXPECT_EQ(w->indexSearch()->text(), QStringLiteral("imag"));
    ASSERT_TRUE(w->indexList()->currentItem());
    EXPECT_EQ(w->indexList()->currentItem()->text(), QStringLiteral("imagen"));
    EXPECT_EQ(w->indexList()->item(0)->text(), QStringLiteral("canción"));

    QTest::keyClick(w->indexSearch(), Qt::Key_Return);
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/sub/other.htm"));

    // Typing moves the selection as it goes.
    w->indexSearch()->clear();
    QTest::keyClicks(w->indexSearch(), QStringLiteral("CAN"));
    EXPECT_EQ(w->indexList()->currentItem()->text(), QStringLiteral("canción"));
}

TEST_F(HelpWindows, FailuresAreSaidInTheWindowOrNotAtAll)
{
    // A context the file lacks: the window opens on the default topic and says so.
    windows.call(nullptr, fixture, HtmlHelpCommand::HelpContext, { QString(), 99 });
    HelpWindow* w = only();
    ASSERT_TRUE(w);
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/start.htm"));
    EXPECT_EQ(w->message(), QStringLiteral("El archivo de ayuda no tiene ningún tema para el contexto 99."));
    // A topic request without a topic shows the default one.
    windows.call(nullptr, fixture, HtmlHelpCommand::DisplayTopic, {});
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/start.htm"));
    windows.call(nullptr, fixture + QStringLiteral("::/no.htm"), HtmlHelpCommand::DisplayTopic, {});
    EXPECT_EQ(w->message(), QStringLiteral("El tema «no.htm» no está en el archivo de ayuda."));
    windows.call(nullptr, fixture + QStringLiteral("::/main.htm"), HtmlHelpCommand::DisplayTopic, {});
    EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/main.htm"));
    EXPECT_TRUE(w->message().isEmpty());
    windows.closeAll();

    // A file that is there but cannot be read.
    const QString broken = QString::fromStdString((*dir / "IB.chm").string());
    test::writeFile(*dir / "IB.chm", "esto no es un archivo de ayuda");
    for (auto command :
        { HtmlHelpCommand::DisplayToc, HtmlHelpCommand::HelpContext, HtmlHelpCommand::DisplayIndex })
        windows.call(nullptr, broken, command, { QStringLiteral("x"), 1 });
    w = only();
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->isReadable());
    EXPECT_TRUE(w->message().startsWith(QStringLiteral("No se puede leer el archivo de ayuda «")))
        << w->message().toStdString();
    EXPECT_TRUE(w->browser()->toPlainText().isEmpty());
    windows.closeAll();

    // A file whose directory is sound but whose compressed content does not
    // decompress: F1 says the file is damaged, not that the context is missing.
    std::string content = test::readFile(TRAMAZEL_HELP_FIXTURE);
    const auto layout
        = checkChmDirectory(content.size(), [&](std::uint64_t at, std::size_t size, unsigned char* out) {
              if (at > content.size() || size > content.size() - at)
                  return false;
              std::memcpy(out, content.data() + at, size);
              return true;
          });
    ASSERT_TRUE(layout && layout->contentOffset);
    std::fill_n(content.begin() + std::ptrdiff_t(*layout->contentOffset), 16, '\xff'); // no LZX block
    const QString damaged = QString::fromStdString((*dir / "roto.chm").string());
    test::writeFile(*dir / "roto.chm", content);
    windows.call(nullptr, damaged, HtmlHelpCommand::HelpContext, { QString(), 1 });
    w = only();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isReadable());
    EXPECT_EQ(w->message(),
        QStringLiteral("El archivo de ayuda «%1» está dañado.").arg(QDir::toNativeSeparators(damaged)));
    windows.closeAll();

    // No file at all: nothing opens.
    windows.call(
        nullptr, QString::fromStdString((*dir / "falta.chm").string()), HtmlHelpCommand::DisplayToc, {});
    windows.call(nullptr, QString(), HtmlHelpCommand::HelpContext, { QString(), 1 });
    EXPECT_TRUE(windows.windows().isEmpty());
}

TEST_F(HelpWindows, CloseAllClosesEveryWindow)
{
    const QString copy = QString::fromStdString((*dir / "copia.chm").string());
    ASSERT_TRUE(QFile::copy(fixture, copy));
    windows.call(nullptr, fixture, HtmlHelpCommand::DisplayToc, {});
    windows.call(nullptr, copy, HtmlHelpCommand::DisplayToc, {});
    ASSERT_EQ(windows.windows().size(), 2);
    QPointer<HelpWindow> first = windows.windows().first();
    windows.call(nullptr, QString(), HtmlHelpCommand::CloseAll, {});
    EXPECT_TRUE(windows.windows().isEmpty());
    EXPECT_TRUE(first.isNull());

    // A window the user closed is not served again.
    windows.call(nullptr, fixture, HtmlHelpCommand::DisplayToc, {});
    QPointer<HelpWindow> closed = only();
    ASSERT_TRUE(closed);
    EXPECT_FALSE(closed->testAttribute(Qt::WA_QuitOnClose));
    closed->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());
    windows.call(nullptr, fixture, HtmlHelpCommand::HelpContext, { QString(), 1 });
    ASSERT_TRUE(only());
    EXPECT_EQ(sourceOf(only()), QStringLiteral("chm:/main.htm"));
}

// Beside the main window when the screen has room for the help at a readable width,
// else over it, offset; never bigger than the screen nor outside it. A dialog waiting
// for an answer is never covered while the screen has room around it.
TEST(HelpSystem, HelpWindowsOpenBesideTheirOwner)
{
    const QRect wide(0, 0, 1920, 1050);
    const QRect small(0, 0, 1024, 740);
    const QRect square(0, 0, 1280, 1024);
    struct Case {
        const char* name;
        QRect owner;
        QRect available;
        bool keepOwnerVisible;
        QRect expected;
    };
    const Case cases[] = {
        { "room on the right", QRect(100, 200, 632, 266), wide, false, QRect(740, 200, 1000, 680) },
        { "room on the left only", QRect(1200, 300, 632, 266), wide, false, QRect(192, 300, 1000, 680) },
        { "right side narrower than the help", QRect(600, 100, 632, 266), wide, false,
            QRect(1240, 100, 680, 680) },
        { "no readable room: over it, offset", QRect(196, 237, 632, 266), small, false,
            QRect(24, 60, 1000, 680) },
        { "owner low on the screen: moved up", QRect(100, 900, 632, 266), wide, false,
            QRect(740, 370, 1000, 680) },
        { "screen smaller than the help", QRect(10, 10, 300, 200), QRect(0, 0, 800, 600), false,
            QRect(0, 0, 800, 600) },
        { "no owner: centred", QRect(), wide, false, QRect(460, 185, 1000, 680) },
        { "dialog with readable room: beside it", QRect(100, 200, 760, 440), wide, true,
            QRect(868, 200, 1000, 680) },
        { "dialog in the middle: below it", QRect(260, 292, 760, 440), square, true,
            QRect(260, 740, 1000, 284) },
        { "the same window not waiting: over it", QRect(260, 292, 760, 440), square, false,
            QRect(280, 292 + 48, 1000, 680) },
        { "tall dialog: beside it, narrow", QRect(300, 0, 500, 1024), square, true, QRect(808, 0, 472, 680) },
        { "dialog filling the screen: over it all the same", square, square, true, QRect(48, 48, 1000, 680) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QRect place = helpWindowPlace(c.owner, c.available, c.keepOwnerVisible);
        EXPECT_EQ(place, c.expected);
        EXPECT_TRUE(c.available.contains(place));
        if (c.keepOwnerVisible && c.owner != c.available) {
            EXPECT_FALSE(place.intersects(c.owner));
        }
    }
}

// The program's own requests: the help button and F1 of the main window, with
// IB.chm beside the executable as in an installation.
TEST(HelpSystem, MainWindowsRequestsShowOurHelpFile)
{
    app();
    ASSERT_TRUE(QFile::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/IB.chm")));
    test::TempDir qtemp;
    help::registerViewer();
    help::setHelpFile(QStringLiteral("IB.chm"));
    {
        shell::MainForm::Settings settings;
        settings.qtempDir = qtemp.path();
        settings.iniFile = qtemp / "Zelvano.ini";
        ui::MainWindow window(settings);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

        QTest::mouseClick(window.widgets().helpButton, Qt::LeftButton);
        ASSERT_TRUE(help::openHelpWindows());
        ASSERT_EQ(help::openHelpWindows()->windows().size(), 1);
        HelpWindow* w = help::openHelpWindows()->windows().first();
        EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/principal.htm"));
        EXPECT_EQ(w->tabs()->currentWidget(), w->contentsTree());
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Ayuda de Tramazel"));
        EXPECT_GE(w->contentsTree()->topLevelItemCount(), 8);
        EXPECT_TRUE(w->message().isEmpty());
        // A top-level window of its own, nobody's transient (a dialog modal to the
        // main window must leave it usable), inside the screen.
        EXPECT_EQ(w->parentWidget(), nullptr);
        ASSERT_TRUE(w->windowHandle());
        EXPECT_EQ(w->windowHandle()->transientParent(), nullptr);
        EXPECT_TRUE(window.screen()->availableGeometry().contains(w->frameGeometry()))
            << "screen " << window.screen()->availableGeometry().width() << "x"
            << window.screen()->availableGeometry().height() << ", help at " << w->frameGeometry().x() << ","
            << w->frameGeometry().y() << " " << w->frameGeometry().width() << "x"
            << w->frameGeometry().height();

        QDir().mkpath(QStringLiteral(TRAMAZEL_HELP_SHOTS_DIR));
        w->grab().save(QStringLiteral(TRAMAZEL_HELP_SHOTS_DIR "/help_contents.png"));

        // Elsewhere in the help, F1 on the main window brings back the main topic.
        w->browser()->followLink(QUrl(QStringLiteral("cursos.htm")));
        EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/cursos.htm"));
        w->grab().save(QStringLiteral(TRAMAZEL_HELP_SHOTS_DIR "/help_cursos.png"));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_F1);
        ASSERT_EQ(help::openHelpWindows()->windows().size(), 1);
        EXPECT_EQ(sourceOf(w), QStringLiteral("chm:/principal.htm"));

        // Not a compiled help file, or none at all: the requests do nothing. A help
        // file that is missing or cannot be read opens nothing and each request says
        // why, with the file and where it was looked for.
        help::shutDown();
        help::registerViewer();
        test::TempDir elsewhere;
        std::filesystem::create_directories(elsewhere / "Carpeta.chm");
        const QString folder = QString::fromStdString((elsewhere / "Carpeta.chm").string());
        const QString bin = QCoreApplication::applicationDirPath();
        const struct {
            QString file;
            QString problem;
        } cases[] = {
            { QStringLiteral("IB.hlp"), QString() },
            { QString(), QString() },
            { QStringLiteral("falta.chm"),
                QStringLiteral("No se encuentra el archivo de ayuda «falta.chm».\nSe ha buscado en:\n%1\n%2")
                    .arg(bin + QStringLiteral("/falta.chm"),
                        QDir::cleanPath(bin + QStringLiteral("/../share/tramazel/falta.chm"))) },
            { folder, QStringLiteral("No se puede leer el archivo de ayuda «%1».").arg(folder) },
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.file.toStdString());
            help::setHelpFile(c.file);
            EXPECT_EQ(help::showContents(&window), c.problem);
            EXPECT_EQ(help::showContext(1, &window), c.problem);
            EXPECT_EQ(help::showKeyword(QStringLiteral("nivel"), &window), c.problem);
            EXPECT_TRUE(help::openHelpWindows()->windows().isEmpty());
        }

        help::setHelpFile(QStringLiteral("IB.chm"));
        help::showKeyword(QStringLiteral("zelvano.ini"), &window);
        ASSERT_EQ(help::openHelpWindows()->windows().size(), 1);
        w = help::openHelpWindows()->windows().first();
        EXPECT_EQ(w->indexList()->currentItem()->text(), QStringLiteral("Zelvano.ini"));
    }
    // At exit every help window closes, and later requests do nothing.
    QPointer<HelpWindow> last = help::openHelpWindows()->windows().first();
    help::shutDown();
    EXPECT_TRUE(last.isNull());
    EXPECT_EQ(help::openHelpWindows(), nullptr);
    help::showContents(nullptr);
    help::shutDown();
}

#include "HelpWindowTest.moc"
