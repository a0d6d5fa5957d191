// SPDX-License-Identifier: GPL-3.0-or-later
#include "HtmlHelp.h"

#include "WinUtil.h"
#include "shell/ProgramTexts.h"
#include "text/PathText.h"

namespace tramazel::win {

namespace {

// HTML Help's commands (htmlhelp.h).
constexpr UINT kDisplayToc = 0x0001;
constexpr UINT kHelpContext = 0x000F;
constexpr UINT kCloseAll = 0x0012;

} // namespace

HtmlHelp::HtmlHelp(std::filesystem::path helpFile)
    : m_file(std::move(helpFile))
{
    m_library = LoadLibraryW(L"hhctrl.ocx");
    if (m_library)
        m_entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(m_library, "HtmlHelpW")));
}

HtmlHelp::~HtmlHelp()
{
    closeAll();
    m_entry = nullptr;
    if (m_library)
        FreeLibrary(m_library);
}

bool HtmlHelp::reachable(HWND owner) const
{
    // HTML Help shows nothing at all for a file it cannot open: say why instead.
    const HANDLE file = CreateFileW(m_file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return true;
    }
    const DWORD error = GetLastError();
    const std::string path = text::pathToUtf8(m_file);
    const std::string message = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
        ? shell::helpFileMissingMessage(text::pathToUtf8(m_file.filename()), { path })
        : shell::helpFileUnreadableMessage(path);
    MessageBoxW(
        owner, wideLines(message).c_str(), wide(shell::kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
    return false;
}

void HtmlHelp::showContents(HWND owner)
{
    if (m_entry && reachable(owner))
        m_entry(owner, m_file.c_str(), kDisplayToc, 0);
}

void HtmlHelp::showContext(HWND owner, int context)
{
    if (m_entry && reachable(owner))
        m_entry(owner, m_file.c_str(), kHelpContext, static_cast<DWORD_PTR>(context));
}

void HtmlHelp::closeAll()
{
    if (m_entry)
        m_entry(nullptr, nullptr, kCloseAll, 0);
}

} // namespace tramazel::win
