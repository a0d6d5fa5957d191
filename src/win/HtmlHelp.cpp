// SPDX-License-Identifier: GPL-3.0-or-later
#include "HtmlHelp.h"

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

void HtmlHelp::showContents(HWND owner)
{
    if (m_entry)
        m_entry(owner, m_file.c_str(), kDisplayToc, 0);
}

void HtmlHelp::showContext(HWND owner, int context)
{
    if (m_entry)
        m_entry(owner, m_file.c_str(), kHelpContext, static_cast<DWORD_PTR>(context));
}

void HtmlHelp::closeAll()
{
    if (m_entry)
        m_entry(nullptr, nullptr, kCloseAll, 0);
}

} // namespace tramazel::win
