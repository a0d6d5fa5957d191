// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include "platform/Console.h"
#include "platform/Platform.h"
#include "shell/HostIni.h"
#include "shell/ProgramTexts.h"
#include "shell/TimetableDirectory.h"

#include <windows.h>

#include <commctrl.h>

using namespace tramazel;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX controls {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);

    // The parameters as UTF-8, read from the UTF-16 command line.
    const std::vector<std::string> params = platform::commandLineArguments(0, nullptr);
    const std::filesystem::path executableDir = platform::executablePath().parent_path();

    shell::MainForm::Settings settings;
    settings.qtempDir = shell::timetableDirectory();
    settings.iniFile = shell::hostIniPath(executableDir);

    win::MainWindow window(std::move(settings), executableDir / std::string(shell::kHelpFileName));
    return window.run(params);
}
