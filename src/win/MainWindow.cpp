// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include "WinUtil.h"

#include <array>

namespace tramazel::win {

namespace {

namespace layout = shell::main_window;

constexpr int kImportButtonId = 101;
constexpr int kExportButtonId = 102;
constexpr int kCloseButtonId = 103;
constexpr int kHelpButtonId = 104;

// Sent to itself once the window shows: runs the mode word from the message loop.
constexpr UINT kRunModeWord = WM_APP + 1;

// The origin of what sits on `panel`, in the window's client area at 96 dpi.
POINT originOf(const shell::PanelSpec& panel)
{
    return POINT { panel.place.left, panel.place.top };
}

void fillPanel(HDC dc, const shell::PanelSpec& panel)
{
    fillGradient(dc, scaledRect(panel.place), colourOf(panel.gradient.top), colourOf(panel.gradient.middle),
        colourOf(panel.gradient.bottom));
}

constexpr DWORD kTopLevelStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
constexpr DWORD kTopLevelExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

} // namespace

MainWindow::MainWindow(shell::MainForm::Settings settings, std::filesystem::path helpFile)
    : m_form(std::make_unique<shell::MainForm>(m_ui, std::move(settings)))
    , m_help(std::move(helpFile))
{
    // F1 in the course-level window and in the import's question: their own topics.
    m_ui.setContextHelp([this](HWND owner, int context) { m_help.showContext(owner, context); });
}

MainWindow::~MainWindow()
{
    m_ui.setMainWindow(nullptr);
    if (m_window)
        DestroyWindow(m_window);
    for (const auto& [role, font] : m_fonts)
        DeleteObject(font);
    for (HICON icon : { m_checkMark, m_cross })
        if (icon)
            DestroyIcon(icon);
}

void MainWindow::create()
{
    static const ATOM registered = [] {
        WNDCLASSEXW cls {};
        cls.cbSize = sizeof(cls);
        cls.lpfnWndProc = &MainWindow::windowProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        cls.lpszClassName = windowClass;
        return RegisterClassExW(&cls);
    }();
    (void)registered;

    const int width = scaled(layout::kClientSize.width);
    const int height = scaled(layout::kClientSize.height);
    const SIZE size = windowSizeForClient(kTopLevelStyle, kTopLevelExStyle, width, height);
    m_window = CreateWindowExW(kTopLevelExStyle, windowClass, wide(layout::kCaption).c_str(), kTopLevelStyle,
        CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!m_window)
        return;
    setClientSize(m_window, width, height);
    m_ui.setMainWindow(m_window);
}

HFONT MainWindow::font(shell::FontRole role)
{
    HFONT& made = m_fonts[role];
    if (!made)
        made = createFont(shell::fontFor(role));
    return made;
}

void MainWindow::createControls()
{
    m_checkMark = createCheckMarkIcon();
    m_cross = createCloseIcon();

    auto label = [&](const shell::LabelSpec& spec, const shell::PanelSpec& panel) {
        return createChild(m_window, L"STATIC", spec.text, SS_LEFT | SS_NOPREFIX, spec.place, 0,
            font(spec.font), originOf(panel));
    };
    auto button = [&](const shell::ButtonSpec& spec, const shell::PanelSpec& panel, int id) {
        HWND made = createChild(m_window, L"BUTTON", spec.caption, WS_TABSTOP | BS_PUSHBUTTON, spec.place, id,
            font(shell::FontRole::Window), originOf(panel));
        HICON glyph = spec.glyph == shell::ButtonGlyph::CheckMark ? m_checkMark
            : spec.glyph == shell::ButtonGlyph::Close             ? m_cross
                                                                  : nullptr;
        if (made && glyph)
            SendMessageW(made, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glyph));
        return made;
    };

    Controls& c = m_controls;
    c.importTitle = label(layout::kImportTitle, layout::kImportPanel);
    c.importButton = button(layout::kImportButton, layout::kImportPanel, kImportButtonId);
    c.exportTitle = label(layout::kExportTitle, layout::kExportPanel);
    c.exportButton = button(layout::kExportButton, layout::kExportPanel, kExportButtonId);
    c.versionLabel = label(layout::kVersionLabel, layout::kFooterPanel);
    c.closeButton = button(layout::kCloseButton, layout::kFooterPanel, kCloseButtonId);
    c.helpButton = button(layout::kHelpButton, layout::kFooterPanel, kHelpButtonId);
}

int MainWindow::run(const std::vector<std::string>& params)
{
    create();
    if (!m_window)
        return 1;
    // Window creation decides host mode; a bad handle has shown its error box.
    if (const auto handle = m_form->start(params)) {
        HWND host = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*handle));
        if (IsWindow(host))
            embedIn(host);
    }
    if (!m_embedded) {
        centreOnScreen(m_window);
        ShowWindow(m_window, SW_SHOW);
    }
    UpdateWindow(m_window);
    SetFocus(m_controls.importButton);
    PostMessageW(m_window, kRunModeWord, 0, 0);

    MSG message {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (preTranslate(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    m_help.closeAll();
    return 0;
}

void MainWindow::embedIn(HWND host)
{
    // A child has no caption and no frame; the style changes before the parent does.
    LONG_PTR style = GetWindowLongPtrW(m_window, GWL_STYLE);
    style &= ~static_cast<LONG_PTR>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_BORDER | WS_DLGFRAME
        | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    SetWindowLongPtrW(m_window, GWL_STYLE, style);
    LONG_PTR exStyle = GetWindowLongPtrW(m_window, GWL_EXSTYLE);
    exStyle &= ~static_cast<LONG_PTR>(
        WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE);
    SetWindowLongPtrW(m_window, GWL_EXSTYLE, exStyle);
    SetParent(m_window, host);
    SetWindowPos(m_window, HWND_TOP, 0, 0, scaled(layout::kClientSize.width),
        scaled(layout::kClientSize.height), SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    m_embedded = true;
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || self->m_window != window)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        createControls();
        return 0;
    case WM_ERASEBKGND:
        return 1; // the panels cover every pixel
    case WM_PAINT:
        paint();
        return 0;
    case WM_CTLCOLORSTATIC: {
        // The labels are transparent on their panel.
        auto dc = reinterpret_cast<HDC>(wParam);
        const auto label = reinterpret_cast<HWND>(lParam);
        const shell::LabelSpec& spec = label == m_controls.versionLabel ? layout::kVersionLabel
            : label == m_controls.exportTitle                           ? layout::kExportTitle
                                                                        : layout::kImportTitle;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, colourOf(spec.colour));
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    case WM_SETCURSOR:
        if (m_ui.busy()) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            switch (LOWORD(wParam)) {
            case kImportButtonId:
                m_form->importCentre();
                return 0;
            case kExportButtonId:
                m_form->exportSolution();
                return 0;
            case kCloseButtonId:
                close();
                return 0;
            case kHelpButtonId:
                showHelpContents();
                return 0;
            default:
                break;
            }
        }
        return 0;
    case WM_HELP:
        // F1: the system turns the key into WM_HELP for the control with the focus,
        // which passes it up to here (as a message box does to its owner).
        showContextHelp();
        return TRUE;
    case kRunModeWord:
        m_form->runModeWord();
        return 0;
    case WM_CLOSE:
        close();
        return 0;
    case WM_DESTROY:
        destroyed();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

void MainWindow::paint()
{
    PAINTSTRUCT ps {};
    HDC dc = BeginPaint(m_window, &ps);
    for (const shell::PanelSpec& panel : { layout::kImportPanel, layout::kExportPanel, layout::kFooterPanel })
        fillPanel(dc, panel);
    EndPaint(m_window, &ps);
}

bool MainWindow::isOwnWindow(HWND window) const
{
    return window == m_window || IsChild(m_window, window);
}

bool MainWindow::preTranslate(MSG& message)
{
    if (!m_window || !isOwnWindow(message.hwnd))
        return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
        // Enter presses the button that has the focus.
        HWND focus = GetFocus();
        const std::array<HWND, 4> buttons { m_controls.importButton, m_controls.exportButton,
            m_controls.closeButton, m_controls.helpButton };
        for (HWND button : buttons) {
            if (focus == button) {
                SendMessageW(button, BM_CLICK, 0, 0);
                return true;
            }
        }
    }
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE)
        return true; // the window has no cancel button
    return IsDialogMessageW(m_window, &message) != FALSE;
}

void MainWindow::close()
{
    if (m_closed)
        return;
    if (!m_form->closing())
        return; // the INI value could not be written: the window stays
    m_closed = true;
    DestroyWindow(m_window);
}

void MainWindow::destroyed()
{
    // Destroyed without a close: the host window went, taking this one with it. The
    // result code is written all the same.
    if (!m_closed) {
        m_closed = true;
        m_ui.setMainWindow(nullptr);
        m_form->closing();
    }
    m_ui.setMainWindow(nullptr);
    m_window = nullptr;
    PostQuitMessage(0);
}

HWND MainWindow::helpOwner() const
{
    // Inside a foreign window this window cannot own other windows.
    return m_embedded ? nullptr : m_window;
}

void MainWindow::showHelpContents()
{
    m_help.showContents(helpOwner());
}

void MainWindow::showContextHelp()
{
    m_help.showContext(helpOwner(), layout::kHelpContext);
}

} // namespace tramazel::win
