// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include "WinUtil.h"

#include <algorithm>
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

// The pop-up over the host looks at the host's window this often (ms): the host
// belongs to another process, whose moves send this one no message.
constexpr UINT_PTR kFollowHostTimer = 1;
constexpr UINT kFollowHostInterval = 30;

// Host mode's placement: a child where the system draws a child of another process,
// else (Wine) a pop-up; the environment can choose.
MainWindow::HostPlacement hostPlacement()
{
    wchar_t value[16] {};
    const DWORD length = GetEnvironmentVariableW(L"TRAMAZEL_HOST_WINDOW", value, 16);
    if (length > 0 && length < 16) {
        if (lstrcmpiW(value, L"child") == 0)
            return MainWindow::HostPlacement::Child;
        if (lstrcmpiW(value, L"popup") == 0)
            return MainWindow::HostPlacement::Popup;
    }
    return runningUnderWine() ? MainWindow::HostPlacement::Popup : MainWindow::HostPlacement::Child;
}

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

// The program's icon (resource 1) at the size of the title bar (ICON_SMALL) or of
// Alt+Tab (ICON_BIG); shared, loaded once.
HICON programIcon(WPARAM which)
{
    auto load = [](int width, int height) {
        return static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, width, height, LR_SHARED));
    };
    static const HICON big = load(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    static const HICON small = load(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    return which == ICON_BIG ? big : small;
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
    centreDialogsOver(nullptr);
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
        cls.hIcon = programIcon(ICON_BIG);
        cls.hIconSm = programIcon(ICON_SMALL);
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
    centreDialogsOver(m_window);
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
        if (IsWindow(host)) {
            if (hostPlacement() == HostPlacement::Popup)
                floatOver(host);
            else
                embedIn(host);
        }
    }
    if (m_placement == HostPlacement::None) {
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

namespace {

// No caption and no frame, and `kind` (WS_CHILD or WS_POPUP) instead of the other.
void dropFrame(HWND window, DWORD kind)
{
    LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    style &= ~static_cast<LONG_PTR>(WS_CHILD | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_BORDER | WS_DLGFRAME
        | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    style |= static_cast<LONG_PTR>(kind) | WS_CLIPSIBLINGS;
    SetWindowLongPtrW(window, GWL_STYLE, style);
    LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    exStyle &= ~static_cast<LONG_PTR>(
        WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE);
    SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle);
}

} // namespace

void MainWindow::embedIn(HWND host)
{
    // The style changes before the parent does.
    dropFrame(m_window, WS_CHILD);
    SetParent(m_window, host);
    SetWindowPos(m_window, HWND_TOP, 0, 0, scaled(layout::kClientSize.width),
        scaled(layout::kClientSize.height), SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    m_placement = HostPlacement::Child;
    m_host = host;
}

void MainWindow::floatOver(HWND host)
{
    // Owned by the host's top-level window, the pop-up stays above it, hides when it
    // is minimised, and the host gets the activation back when the pop-up goes.
    dropFrame(m_window, WS_POPUP);
    SetWindowLongPtrW(m_window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(GetAncestor(host, GA_ROOT)));
    SetWindowPos(m_window, nullptr, 0, 0, scaled(layout::kClientSize.width),
        scaled(layout::kClientSize.height), SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_placement = HostPlacement::Popup;
    m_host = host;
    followHost();
    SetTimer(m_window, kFollowHostTimer, kFollowHostInterval, nullptr);
    if (IsWindowVisible(m_window))
        SetForegroundWindow(m_window);
}

void MainWindow::followHost()
{
    if (!m_window)
        return;
    if (!IsWindow(m_host)) {
        // The host's window is gone, and this window goes with it, as a child would.
        DestroyWindow(m_window);
        return;
    }
    const bool shown = IsWindowVisible(m_host) && !IsIconic(GetAncestor(m_host, GA_ROOT));
    if (!shown) {
        if (IsWindowVisible(m_window))
            ShowWindow(m_window, SW_HIDE);
        return;
    }
    POINT origin {};
    ClientToScreen(m_host, &origin);
    RECT client {};
    GetClientRect(m_host, &client);
    const int width = scaled(layout::kClientSize.width);
    const int height = scaled(layout::kClientSize.height);
    // As a child would be, the part outside the host's client area is cut off.
    const SIZE clip { std::min(width, static_cast<int>(client.right)),
        std::min(height, static_cast<int>(client.bottom)) };
    if (clip.cx != m_hostClip.cx || clip.cy != m_hostClip.cy) {
        m_hostClip = clip;
        const bool whole = clip.cx == width && clip.cy == height;
        SetWindowRgn(m_window, whole ? nullptr : CreateRectRgn(0, 0, clip.cx, clip.cy), TRUE);
    }
    const bool moved = origin.x != m_hostOrigin.x || origin.y != m_hostOrigin.y;
    if (moved || !IsWindowVisible(m_window)) {
        m_hostOrigin = origin;
        SetWindowPos(m_window, nullptr, origin.x, origin.y, 0, 0,
            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
}

template <typename Action> void MainWindow::runAction(Action&& action)
{
    ++m_actionDepth;
    action();
    --m_actionDepth;
    if (m_actionDepth == 0 && m_finishPending)
        finish();
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
                runAction([this] { m_form->importCentre(); });
                return 0;
            case kExportButtonId:
                runAction([this] { m_form->exportSolution(); });
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
        runAction([this] { m_form->runModeWord(); });
        return 0;
    case WM_TIMER:
        if (wParam == kFollowHostTimer) {
            followHost();
            return 0;
        }
        break;
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
    if (m_placement == HostPlacement::Popup)
        KillTimer(m_window, kFollowHostTimer);
    m_window = nullptr;
    // Destroyed without a close: the host window went, taking this one with it. A
    // prompt still open ends, and the run that asked stops and changes nothing.
    m_ui.mainWindowGone();
    if (m_actionDepth > 0) {
        m_finishPending = true; // once the run is back, with its result code
        return;
    }
    finish();
}

void MainWindow::finish()
{
    m_finishPending = false;
    // The result code is written all the same.
    if (!m_closed) {
        m_closed = true;
        m_form->closing();
    }
    PostQuitMessage(0);
}

HWND MainWindow::helpOwner() const
{
    // Inside a foreign window this window cannot own other windows.
    return m_placement == HostPlacement::Child ? nullptr : m_window;
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
