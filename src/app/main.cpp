// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelpSystem.h"
#include "HostEmbedding.h"
#include "MainWindow.h"
#include "QtInteraction.h"
#include "Version.h"
#include "shell/HostIni.h"
#include "shell/ProgramTexts.h"
#include "shell/TimetableDirectory.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace tramazel;

namespace {

std::filesystem::path executableDirectory()
{
    return std::filesystem::path(
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdU16String());
}

} // namespace

int main(int argc, char* argv[])
{
    // The parameters as the host passed them, taken before Qt removes the options it
    // knows: the host-mode rule counts every one.
    const std::vector<std::string> params(argv + 1, argv + argc);
    // Asked from a terminal or by a package check: no window for it.
    if (params.size() == 1 && params[0] == "--version") {
        std::cout << "tramazel " << kVersion << '\n';
        return std::cout.flush() ? 0 : 1;
    }

    // Only X11 lets a window become the child of another program's window.
    if (params.size() == 2 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    // Spanish for what Qt takes from the system's databases too: the file dialog's
    // file types ("carpeta", "documento XML") follow the default locale.
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    // Qt's own dialogs (the file dialog, the buttons of the boxes) speak Spanish,
    // as the rest of the program does, whatever the desktop's language.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Spanish, QLocale::Spain), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    help::registerViewer();
    help::setHelpFile(QString::fromUtf8(shell::kHelpFileName.data(), qsizetype(shell::kHelpFileName.size())));
    QApplication::setApplicationName(ui::QtInteraction::applicationTitle);
    // The icon the package installs (hicolor theme, as the desktop entry names it),
    // on every window; the desktop entry's name ties the windows to that entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("tramazel"));
    if (const QIcon icon = QIcon::fromTheme(QStringLiteral("tramazel")); !icon.isNull())
        QApplication::setWindowIcon(icon);
    // Closing the main window ends the program, even with a help window still open.
    QApplication::setQuitOnLastWindowClosed(false);

    shell::MainForm::Settings settings;
    settings.qtempDir = shell::timetableDirectory();
    settings.iniFile = shell::hostIniPath(executableDirectory());

    ui::MainWindow window(std::move(settings));
    QObject::connect(&window, &ui::MainWindow::closed, &app, [] { QCoreApplication::exit(0); });

    std::unique_ptr<app::HostEmbedding> embedding;
    if (const auto handle = window.start(params)) {
        QString why;
        embedding = app::HostEmbedding::embed(window, *handle, &why);
        if (embedding) {
            auto* host = embedding.get();
            window.qtInteraction()->setDialogPlacer([host](QWidget& dialog) { host->placeDialog(dialog); });
            // Help opens beside the window where it really is on the screen.
            help::setOwnerFrameLocator([host, &window](const QWidget& owner) {
                return &owner == &window ? host->frameOnScreen() : owner.frameGeometry();
            });
        } else {
            qWarning("Host window 0x%x cannot be used (%s): showing a window of our own", *handle,
                qPrintable(why));
        }
    }
    if (!embedding) {
        window.centreOnScreen();
        window.show();
    }

    const int code = app.exec();
    help::setOwnerFrameLocator(nullptr);
    help::shutDown();
    // Text selected with the mouse (in the help, in a file name) makes the program the
    // owner of X11's primary selection, and at exit Qt then hands its selections to the
    // desktop's clipboard manager and waits for it, seconds (up to 5) while the host
    // waits for the process. Nobody expects a mouse selection to outlive its window: it
    // is given up first, so that only a text copied on purpose is handed over.
    if (QClipboard* clipboard = QGuiApplication::clipboard(); clipboard && clipboard->ownsSelection())
        clipboard->clear(QClipboard::Selection);
    return code;
}
