// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include "WinUtil.h"

#include <array>

namespace tramazel::win {

namespace {

constexpr const wchar_t* kCaption = L"Exportar e importar datos entre Zelvano y GestIB";
constexpr const wchar_t* kImportTitle = L"Transformar datos desde GestIB hacia Zelvano ";
constexpr const wchar_t* kExportTitle = L"Transformar datos desde Zelvano hacia GestIB";
constexpr const wchar_t* kVersionText = L"Tramazel para ZN9 V-1.2";
constexpr int kMainHelpContext = 1;

constexpr int kImportButtonId = 101;
constexpr int kExportButtonId = 102;
constexpr int kCloseButtonId = 103;
constexpr int kHelpButtonId = 104;

// Sent to itself once the window shows: runs the mode word from the message loop.
constexpr UINT kRunModeWord = WM_APP + 1;

constexpr COLORREF kWarmTop = RGB(0xF9, 0xD3, 0x7D);
constexpr COLORREF kWarmMiddle = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kWarmBottom = RGB(0xFF, 0xEE, 0xDD);
constexpr COLORREF kCoolTop = RGB(0xC2, 0xCD, 0xFE);
constexpr COLORREF kCoolMiddle = RGB(0xCF, 0xF2, 0xFE);
constexpr COLORREF kCoolBottom = RGB(0xCC, 0xD8, 0xE6);

// The panels, left, top, width, height in the window's client area.
constexpr RECT kImportPanel { 0, -1, 315, 168 };
constexpr RECT kExportPanel { 315, 0, 632, 169 };
constexpr RECT kFooterPanel { 0, 168, 633, 265 };

// A window with the layout's place, given relative to the panel it sits on.
RECT onPanel(const RECT& panel, int left, int top, int width, int height)
{
    return RECT { panel.left + left, panel.top + top, panel.left + left + width, panel.top + top + height };
}

RECT scaledRect(const RECT& r)
{
    return RECT { scaled(r.left), scaled(r.top), scaled(r.right), scaled(r.bottom) };
}

constexpr DWORD kTopLevelStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
constexpr DWORD kTopLevelExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

} // namespace

MainWindow::MainWindow(shell::MainForm::Settings settings, std::filesystem::path helpFile)
    : m_form(std::make_unique<shell::MainForm>(m_ui, std::move(settings)))
    , m_help(std::move(helpFile))
{
}

MainWindow::~MainWindow()
{
    m_ui.setMainWindow(nullptr);
    if (m_window)
        DestroyWindow(m_window);
    for (HFONT font : { m_font, m_boldFont, m_titleFont })
        if (font)
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

    const SIZE size
        = windowSizeForClient(kTopLevelStyle, kTopLevelExStyle, scaled(clientWidth), scaled(clientHeight));
    m_window = CreateWindowExW(kTopLevelExStyle, windowClass, kCaption, kTopLevelStyle, CW_USEDEFAULT,
        CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!m_window)
        return;
    setClientSize(m_window, scaled(clientWidth), scaled(clientHeight));
    m_ui.setMainWindow(m_window);
}

void MainWindow::createControls()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    m_font = createPointFont(L"MS Sans Serif", 8, false);
    m_boldFont = createPointFont(L"MS Sans Serif", 8, true);
    m_titleFont = createPixelFont(L"Arial", 16, true);
    m_checkMark = createCheckMarkIcon();
    m_cross = createCloseIcon();

    auto make
        = [&](const wchar_t* cls, const wchar_t* text, DWORD style, const RECT& place, int id, HFONT font) {
              const RECT r = scaledRect(place);
              HWND child = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                  r.right - r.left, r.bottom - r.top, m_window,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
              SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
              return child;
          };
    auto withGlyph = [](HWND button, HICON glyph) {
        if (glyph)
            SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glyph));
        return button;
    };

    Controls& c = m_controls;
    c.importTitle = make(L"STATIC", kImportTitle, SS_LEFT | SS_NOPREFIX,
        onPanel(kImportPanel, 24, 24, 265, 57), 0, m_titleFont);
    c.importButton = withGlyph(make(L"BUTTON", L"Aceptar", WS_TABSTOP | BS_PUSHBUTTON,
                                   onPanel(kImportPanel, 96, 120, 89, 25), kImportButtonId, m_font),
        m_checkMark);
    c.exportTitle = make(L"STATIC", kExportTitle, SS_LEFT | SS_NOPREFIX,
        onPanel(kExportPanel, 8, 24, 305, 57), 0, m_titleFont);
    c.exportButton = withGlyph(make(L"BUTTON", L"Aceptar", WS_TABSTOP | BS_PUSHBUTTON,
                                   onPanel(kExportPanel, 96, 120, 89, 25), kExportButtonId, m_font),
        m_checkMark);
    c.versionLabel = make(
        L"STATIC", kVersionText, SS_LEFT | SS_NOPREFIX, onPanel(kFooterPanel, 8, 72, 189, 13), 0, m_boldFont);
    c.closeButton = withGlyph(make(L"BUTTON", L"&Salir", WS_TABSTOP | BS_PUSHBUTTON,
                                  onPanel(kFooterPanel, 256, 32, 89, 25), kCloseButtonId, m_font),
        m_cross);
    c.helpButton = make(L"BUTTON", L"F1 AYUDA", WS_TABSTOP | BS_PUSHBUTTON,
        onPanel(kFooterPanel, 265, 67, 75, 18), kHelpButtonId, m_font);
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
    SetWindowPos(m_window, HWND_TOP, 0, 0, scaled(clientWidth), scaled(clientHeight),
        SWP_FRAMECHANGED | SWP_SHOWWINDOW);
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
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(
            dc, reinterpret_cast<HWND>(lParam) == m_controls.versionLabel ? RGB(0xFF, 0, 0) : RGB(0, 0, 0));
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
    fillGradient(dc, scaledRect(kImportPanel), kWarmTop, kWarmMiddle, kWarmBottom);
    fillGradient(dc, scaledRect(kExportPanel), kWarmTop, kWarmMiddle, kWarmBottom);
    fillGradient(dc, scaledRect(kFooterPanel), kCoolTop, kCoolMiddle, kCoolBottom);
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
    if (message.message == WM_KEYDOWN && message.wParam == VK_F1) {
        showContextHelp();
        return true;
    }
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
    m_help.showContext(helpOwner(), kMainHelpContext);
}

} // namespace tramazel::win
