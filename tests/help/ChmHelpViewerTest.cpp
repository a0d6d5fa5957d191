// SPDX-License-Identifier: GPL-3.0-or-later
// The compiled-help viewer's rules and the help manager's hand-over, with the help windows
// replaced by a recorder of the calls they would get.
#include "ChmHelpViewer.h"
#include "HelpManager.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QDir>
#include <QString>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

using namespace tramazel::help;
namespace test = tramazel::test;
namespace fs = std::filesystem;

namespace {

struct Call {
    QWidget* owner;
    QString file;
    HtmlHelpCommand command;
    QString text;
    std::uint32_t number;
};

class Recorder : public HtmlHelp {
public:
    void call(QWidget* owner, const QString& file, HtmlHelpCommand command, const HtmlHelpData& data) override
    {
        calls.push_back({ owner, file, command, data.text, data.number });
    }
    std::vector<Call> calls;
};

// The rigs' executable directory: a real one holding an IB.chm, as the viewer opens
// the file before it hands a request over (the recorder never reads it).
const QString exeDir = [] {
    static test::TempDir dir;
    test::writeFile(dir / "IB.chm", "chm");
    return QString::fromStdString(dir.path().string());
}();

struct Rig {
    explicit Rig(QString appFile = QStringLiteral("IB.chm"))
        : appHelpFile(std::move(appFile))
    {
        viewer = std::make_shared<ChmHelpViewer>(
            recorder, [this] { return appHelpFile; }, [] { return exeDir; });
        id = manager.registerViewer(viewer);
        manager.setSelector(viewer);
    }
    QString appHelpFile;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<ChmHelpViewer> viewer;
    HelpManager manager;
    int id = 0;
};

// Another viewer, for the cases where several can serve.
class OtherViewer : public HelpViewer {
public:
    explicit OtherViewer(QString name)
        : m_name(std::move(name))
    {
    }
    QString viewerName() const override { return m_name; }
    int understandsKeyword(const QString&) const override { return 1; }
    QStringList helpStrings(const QString& keyword) const override
    {
        return { m_name + QStringLiteral(": ") + keyword };
    }
    bool canShowTableOfContents() const override { return true; }
    void showTableOfContents() override { ++tocShown; }
    void showHelp(const QString& s) override { shown << s; }
    void notifyId(int) override { }
    void setHelpManager(HelpManager*) override { }
    void softShutDown() override { }
    void shutDown() override { }
    int tocShown = 0;
    QStringList shown;

private:
    QString m_name;
};

} // namespace

TEST(ChmHelpViewer, ResolvesTheHelpFile)
{
    struct Case {
        const char* name;
        QString managerFile;
        QString appFile;
        QString expected;
    };
    const Case cases[] = {
        { "bare application file gets the executable's directory", "", "IB.chm", exeDir + "/IB.chm" },
        { "the manager's file comes first", "Otra.chm", "IB.chm", exeDir + "/Otra.chm" },
        { "absolute file unchanged", "", "/srv/ayuda/IB.chm", "/srv/ayuda/IB.chm" },
        { "relative file with a directory unchanged", "", "ayuda/IB.chm", "ayuda/IB.chm" },
        { "no file at all stays empty", "", "", "" },
        { "a bare name that is no help file still gets the directory", "", "IB.hlp", exeDir + "/IB.hlp" },
    };
    for (const Case& c : cases) {
        Rig rig(c.appFile);
        rig.manager.setHelpFile(c.managerFile);
        EXPECT_EQ(rig.viewer->resolvedHelpFile(), c.expected) << c.name;
    }
}

// An installation keeps the help file in share/tramazel beside the bin folder; a
// copy beside the executable still comes first.
TEST(ChmHelpViewer, FindsTheInstalledHelpFile)
{
    test::TempDir root;
    fs::create_directories(root / "usr" / "bin");
    fs::create_directories(root / "usr" / "share" / "tramazel");
    test::writeFile(root / "usr" / "share" / "tramazel" / "IB.chm", "chm");
    const QString bin = QString::fromStdString((root / "usr" / "bin").string());
    const QString installed
        = QString::fromStdString((root / "usr" / "share" / "tramazel" / "IB.chm").string());
    auto viewer = std::make_shared<ChmHelpViewer>(
        std::make_shared<Recorder>(), [] { return QStringLiteral("IB.chm"); }, [&] { return bin; });
    EXPECT_EQ(viewer->resolvedHelpFile(), installed);
    test::writeFile(root / "usr" / "bin" / "IB.chm", "chm");
    EXPECT_EQ(viewer->resolvedHelpFile(), bin + QStringLiteral("/IB.chm"));
}

TEST(ChmHelpViewer, TellsHelpFilesByTheirExtension)
{
    struct Case {
        const char* name;
        bool expected;
    };
    const Case cases[] = {
        { "IB.chm", true },
        { "IB.CHM", true },
        { "/opt/x/IB.Chm", true },
        { ".chm", true },
        { "IB.hlp", false },
        { "IB", false },
        { "", false },
        { "IB.chm.bak", false },
        { "IB.chmx", false },
        { "IB.chm ", false },
        { "/opt/ayuda.chm/IB", false }, // the last "." is in a directory part
        { "ayuda.chm/", false },
        { "/opt/v1.2/IB", false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChmHelpViewer::isHelpFile(QString::fromUtf8(c.name)), c.expected) << c.name;
}

TEST(ChmHelpViewer, HandsEachRequestOverWithItsCommandAndData)
{
    Rig rig;
    const QString file = exeDir + "/IB.chm";
    rig.manager.setHelpFile(QString());

    rig.viewer->showTableOfContents();
    rig.viewer->showHelp(QStringLiteral("QelHtmlHelp:  nivel \t"));
    rig.viewer->showHelp(QStringLiteral("sin dos puntos"));
    rig.viewer->showHelp(QStringLiteral("a: b: c"));
    rig.viewer->displayTopic(QStringLiteral("cursos"));
    rig.viewer->displayTopic(QStringLiteral("cursos.HTML"));
    rig.viewer->displayTopic(QStringLiteral("cursos.htm"));
    rig.viewer->displayTopic(QStringLiteral("dir.v2/cursos"));
    rig.viewer->displayTopic(QStringLiteral("cursos#nivel"));
    rig.viewer->displayHelpByContext(1, QStringLiteral("IB.chm"));

    using C = HtmlHelpCommand;
    const std::vector<std::tuple<QString, C, QString, std::uint32_t>> expected = {
        { file, C::DisplayToc, "", 0 },
        { file, C::DisplayIndex, "nivel", 0 },
        { file, C::DisplayIndex, "sin dos puntos", 0 },
        { file, C::DisplayIndex, "b: c", 0 },
        { file + "::/cursos.htm", C::DisplayTopic, "", 0 },
        { file + "::/cursos.HTML", C::DisplayTopic, "", 0 },
        { file + "::/cursos.htm", C::DisplayTopic, "", 0 },
        { file + "::/dir.v2/cursos.htm", C::DisplayTopic, "", 0 },
        { file + "::/cursos.htm#nivel", C::DisplayTopic, "", 0 },
        { file, C::HelpContext, "", 1 },
    };
    ASSERT_EQ(rig.recorder->calls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Call& got = rig.recorder->calls[i];
        EXPECT_EQ(got.file, std::get<0>(expected[i])) << "call " << i;
        EXPECT_EQ(got.command, std::get<1>(expected[i])) << "call " << i;
        EXPECT_EQ(got.text, std::get<2>(expected[i])) << "call " << i;
        EXPECT_EQ(got.number, std::get<3>(expected[i])) << "call " << i;
    }
}

TEST(ChmHelpViewer, AnswersTheQuestionsAboutWhatItUnderstands)
{
    Rig chm;
    EXPECT_EQ(chm.viewer->viewerName(), QStringLiteral("QelHtmlHelp"));
    EXPECT_EQ(chm.viewer->understandsKeyword(QStringLiteral("nivel")), 1);
    EXPECT_EQ(chm.viewer->helpStrings(QStringLiteral("nivel")),
        QStringList { QStringLiteral("QelHtmlHelp: nivel") });
    EXPECT_TRUE(chm.viewer->canShowTableOfContents());
    EXPECT_TRUE(chm.viewer->understandsTopic(QStringLiteral("x")));
    // The context question looks at the file it is given, not the resolved one.
    EXPECT_TRUE(chm.viewer->understandsContext(1, QStringLiteral("otra.CHM")));
    EXPECT_FALSE(chm.viewer->understandsContext(1, QStringLiteral("IB.hlp")));

    Rig hlp(QStringLiteral("IB.hlp"));
    EXPECT_EQ(hlp.viewer->understandsKeyword(QStringLiteral("nivel")), 0);
    EXPECT_FALSE(hlp.viewer->understandsTopic(QStringLiteral("x")));
    EXPECT_TRUE(hlp.viewer->canShowTableOfContents());
}

TEST(ChmHelpViewer, DoesNothingWithoutAHelpFileOfItsKind)
{
    for (const QString& appFile :
        { QString(), QStringLiteral("IB.hlp"), QStringLiteral("/x/ayuda.chm/IB") }) {
        Rig rig(appFile);
        rig.manager.showTableOfContents();
        rig.manager.showContext(1, appFile);
        rig.manager.showKeyword(QStringLiteral("nivel"));
        rig.manager.showTopic(QStringLiteral("cursos"), appFile);
        rig.viewer->displayHelpByContext(1, QStringLiteral("IB.chm"));
        EXPECT_TRUE(rig.recorder->calls.empty()) << appFile.toStdString();
    }
}

// Without the object that shows help files the viewer still takes the requests it is
// chosen for (they end there, not with another viewer), and still shuts down cleanly.
TEST(ChmHelpViewer, WithoutHtmlHelpKeepsTheRequestsItIsChosenFor)
{
    auto viewer = std::make_shared<ChmHelpViewer>(
        nullptr, [] { return QStringLiteral("IB.chm"); }, [] { return exeDir; });
    auto other = std::make_shared<OtherViewer>(QStringLiteral("WinHelp"));
    HelpManager manager;
    manager.registerViewer(viewer);
    manager.registerViewer(other);
    manager.setSelector(viewer);

    EXPECT_EQ(viewer->understandsKeyword(QStringLiteral("nivel")), 1);
    manager.showTableOfContents();
    manager.showKeyword(QStringLiteral("nivel"));
    manager.showContext(1, QStringLiteral("IB.chm"));
    manager.showTopic(QStringLiteral("cursos"), QStringLiteral("IB.chm"));
    EXPECT_EQ(other->tocShown, 0);
    EXPECT_TRUE(other->shown.isEmpty()) << other->shown.join(QLatin1Char('|')).toStdString();

    viewer->shutDown();
    EXPECT_EQ(viewer->helpManager(), nullptr);
}

// A help file that is not there, or cannot be read, is not handed over: the viewer
// says why, naming the file and every place it looked, once.
TEST(ChmHelpViewer, MissingOrUnreadableFileIsSaid)
{
    Rig missing(QStringLiteral("Falta.chm"));
    missing.manager.showTableOfContents();
    const QString lookedIn
        = exeDir + "/Falta.chm\n" + QDir::cleanPath(exeDir + QStringLiteral("/../share/tramazel/Falta.chm"));
    EXPECT_EQ(missing.viewer->takeProblem(),
        QStringLiteral("No se encuentra el archivo de ayuda «Falta.chm».\nSe ha buscado en:\n") + lookedIn);
    EXPECT_TRUE(missing.viewer->takeProblem().isEmpty()) << "said once";
    missing.manager.showContext(2, QStringLiteral("Falta.chm"));
    EXPECT_TRUE(missing.viewer->takeProblem().startsWith(QStringLiteral("No se encuentra")));
    EXPECT_TRUE(missing.recorder->calls.empty());

    // A path given whole is the only place looked in; a folder is no readable file.
    test::TempDir dir;
    fs::create_directories(dir / "Carpeta.chm");
    const QString folder = QString::fromStdString((dir / "Carpeta.chm").string());
    Rig unreadable(folder);
    unreadable.manager.showTableOfContents();
    EXPECT_EQ(unreadable.viewer->takeProblem(),
        QStringLiteral("No se puede leer el archivo de ayuda «%1».").arg(folder));
    const QString absent = QString::fromStdString((dir / "Otra.chm").string());
    Rig given(absent);
    given.manager.showTableOfContents();
    EXPECT_EQ(given.viewer->takeProblem(),
        QStringLiteral("No se encuentra el archivo de ayuda «Otra.chm».\nSe ha buscado en:\n") + absent);
    EXPECT_TRUE(unreadable.recorder->calls.empty());
    EXPECT_TRUE(given.recorder->calls.empty());

    // A request that is served leaves nothing to say.
    Rig ok;
    ok.manager.showTableOfContents();
    EXPECT_EQ(ok.recorder->calls.size(), 1u);
    EXPECT_TRUE(ok.viewer->takeProblem().isEmpty());
}

TEST(ChmHelpViewer, SelectsItsOwnEntries)
{
    ChmHelpViewer viewer(nullptr);
    struct KeywordCase {
        QStringList strings;
        int expected;
    };
    const KeywordCase keywordCases[] = {
        { { "QelHtmlHelp: nivel", "WinHelp: nivel" }, 0 },
        { { "WinHelp: nivel", "QelHtmlHelp: nivel" }, 1 },
        { { "WinHelp: a", "qelhtmlhelp: a", "QelHtmlHelp" },
            2 }, // exact name, case counts; no ":" is the whole entry
        { { "WinHelp: a", "QelHtmlHelp : a" }, 0 }, // text before ":" must equal the name exactly
        { {}, 0 },
    };
    for (const KeywordCase& c : keywordCases)
        EXPECT_EQ(viewer.selectKeyword(c.strings), c.expected)
            << c.strings.join(QLatin1Char('|')).toStdString();

    struct TocCase {
        QStringList names;
        int expected;
    };
    const TocCase tocCases[] = {
        { { "QelHtmlHelp", "WinHelp" }, 0 },
        { { "AHelp", "qelhtmlhelp", "WinHelp" }, 1 },
        { { "WinHelp" }, -1 },
    };
    for (const TocCase& c : tocCases)
        EXPECT_EQ(viewer.tableOfContents(c.names), c.expected)
            << c.names.join(QLatin1Char('|')).toStdString();
}

TEST(HelpManager, AsksTheSelectorWhenSeveralViewersCanServe)
{
    Rig rig;
    auto other = std::make_shared<OtherViewer>(QStringLiteral("ZHelp"));
    auto first = std::make_shared<OtherViewer>(QStringLiteral("AHelp"));
    rig.manager.registerViewer(other);
    rig.manager.registerViewer(first);

    rig.manager.setHelpFile(QStringLiteral("IB.chm"));
    rig.manager.showTableOfContents();
    ASSERT_EQ(rig.recorder->calls.size(), 1u);
    EXPECT_EQ(rig.recorder->calls[0].command, HtmlHelpCommand::DisplayToc);
    EXPECT_EQ(other->tocShown + first->tocShown, 0);

    rig.manager.showKeyword(QStringLiteral("nivel"));
    ASSERT_EQ(rig.recorder->calls.size(), 2u);
    EXPECT_EQ(rig.recorder->calls[1].command, HtmlHelpCommand::DisplayIndex);
    EXPECT_EQ(rig.recorder->calls[1].text, QStringLiteral("nivel"));
    EXPECT_TRUE(other->shown.isEmpty());

    // Without our viewer, the others serve.
    rig.manager.release(rig.id);
    rig.manager.setSelector(nullptr);
    rig.manager.showTableOfContents();
    EXPECT_EQ(other->tocShown + first->tocShown, 1);
    EXPECT_EQ(rig.recorder->calls.size(), 2u);
}

TEST(HelpManager, ContextRequestMakesItsFileTheManagersFile)
{
    Rig rig { QString() };
    rig.manager.showContext(1, QStringLiteral("IB.chm"));
    ASSERT_EQ(rig.recorder->calls.size(), 1u);
    EXPECT_EQ(rig.recorder->calls[0].file, exeDir + "/IB.chm");
    EXPECT_EQ(rig.recorder->calls[0].command, HtmlHelpCommand::HelpContext);
    EXPECT_EQ(rig.recorder->calls[0].number, 1u);
}

TEST(ChmHelpViewer, ShutDownClosesEverythingAndForgetsTheManager)
{
    Rig rig;
    EXPECT_EQ(rig.viewer->helpManager(), &rig.manager);
    EXPECT_EQ(rig.viewer->viewerId(), rig.id);
    rig.viewer->softShutDown();
    rig.viewer->shutDown();
    ASSERT_EQ(rig.recorder->calls.size(), 2u);
    for (const Call& call : rig.recorder->calls) {
        EXPECT_EQ(call.command, HtmlHelpCommand::CloseAll);
        EXPECT_EQ(call.owner, nullptr);
        EXPECT_TRUE(call.file.isEmpty());
    }
    EXPECT_EQ(rig.viewer->helpManager(), nullptr);
    rig.manager.release(rig.id);
    EXPECT_EQ(rig.manager.viewerCount(), 0u);
}
