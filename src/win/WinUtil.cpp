// SPDX-License-Identifier: GPL-3.0-or-later
#include "WinUtil.h"

#include "platform/Utf16.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tramazel::win {

std::wstring wide(std::string_view utf8)
{
    return platform::utf8ToWide(utf8);
}

std::wstring wideLines(std::string_view utf8)
{
    std::wstring text;
    for (wchar_t c : wide(utf8)) {
        if (c == L'\n')
            text += L'\r';
        text += c;
    }
    return text;
}

std::wstring windowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

namespace {

int screenDpi()
{
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int value = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen)
            ReleaseDC(nullptr, screen);
        return value > 0 ? value : 96;
    }();
    return dpi;
}

} // namespace

int scaled(int pixels)
{
    return MulDiv(pixels, screenDpi(), 96);
}

HFONT createPixelFont(const wchar_t* face, int height, bool bold)
{
    return CreateFontW(-scaled(height), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
        face);
}

HFONT createPointFont(const wchar_t* face, int points, bool bold)
{
    return CreateFontW(-MulDiv(points, screenDpi(), 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
        FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
        DEFAULT_PITCH | FF_SWISS, face);
}

HFONT createFont(const shell::FontSpec& spec)
{
    const std::wstring face = wide(spec.family);
    return spec.points > 0 ? createPointFont(face.c_str(), spec.points, spec.bold)
                           : createPixelFont(face.c_str(), spec.pixels, spec.bold);
}

COLORREF colourOf(const shell::Rgb& rgb)
{
    return RGB(rgb.red, rgb.green, rgb.blue);
}

RECT scaledRect(const shell::Rect& place, POINT origin)
{
    return RECT { scaled(origin.x + place.left), scaled(origin.y + place.top),
        scaled(origin.x + place.right()), scaled(origin.y + place.bottom()) };
}

HWND createChild(HWND parent, const wchar_t* windowClass, std::string_view text, DWORD style,
    const shell::Rect& place, int id, HFONT font, POINT origin, DWORD exStyle)
{
    const RECT r = scaledRect(place, origin);
    HWND child = CreateWindowExW(exStyle, windowClass, wide(text).c_str(), WS_CHILD | WS_VISIBLE | style,
        r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (child && font)
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

namespace {

constexpr int kGlyphSize = 16;
// A colour no glyph uses: the pixels left in it become transparent.
constexpr COLORREF kGlyphBackground = RGB(255, 0, 255);

// Draws with `draw` on a 32-bit bitmap and makes an icon of it whose background is
// transparent.
template <typename Draw> HICON createGlyph(Draw draw)
{
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kGlyphSize;
    info.bmiHeader.biHeight = -kGlyphSize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!colour || !bits)
        return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, colour);
    RECT all { 0, 0, kGlyphSize, kGlyphSize };
    HBRUSH background = CreateSolidBrush(kGlyphBackground);
    FillRect(dc, &all, background);
    DeleteObject(background);
    draw(dc);
    GdiFlush();
    SelectObject(dc, old);
    DeleteDC(dc);

    // GDI leaves the alpha byte at 0: opaque wherever something was drawn.
    auto* pixels = static_cast<std::uint32_t*>(bits);
    const std::uint32_t key = (GetRValue(kGlyphBackground) << 16) | (GetGValue(kGlyphBackground) << 8)
        | GetBValue(kGlyphBackground);
    for (int i = 0; i < kGlyphSize * kGlyphSize; ++i) {
        const std::uint32_t rgb = pixels[i] & 0x00FFFFFFu;
        pixels[i] = rgb == key ? 0u : (rgb | 0xFF000000u);
    }
    std::vector<std::uint8_t> maskBits(kGlyphSize * kGlyphSize / 8, 0);
    HBITMAP mask = CreateBitmap(kGlyphSize, kGlyphSize, 1, 1, maskBits.data());
    ICONINFO icon {};
    icon.fIcon = TRUE;
    icon.hbmColor = colour;
    icon.hbmMask = mask;
    HICON result = CreateIconIndirect(&icon);
    DeleteObject(colour);
    DeleteObject(mask);
    return result;
}

void drawPolyline(HDC dc, const POINT* points, int count, int width, COLORREF colour)
{
    HPEN pen
        = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, static_cast<DWORD>(width),
            std::array<LOGBRUSH, 1> { LOGBRUSH { BS_SOLID, colour, 0 } }.data(), 0, nullptr);
    HGDIOBJ old = SelectObject(dc, pen);
    Polyline(dc, points, count);
    SelectObject(dc, old);
    DeleteObject(pen);
}

} // namespace

HICON createCheckMarkIcon()
{
    return createGlyph([](HDC dc) {
        const std::array<POINT, 3> tick { POINT { 2, 9 }, POINT { 6, 13 }, POINT { 14, 3 } };
        drawPolyline(dc, tick.data(), 3, 4, RGB(0x00, 0x50, 0x00));
        drawPolyline(dc, tick.data(), 3, 2, RGB(0x00, 0xB0, 0x00));
    });
}

HICON createCloseIcon()
{
    return createGlyph([](HDC dc) {
        const std::array<POINT, 2> down { POINT { 3, 3 }, POINT { 12, 12 } };
        const std::array<POINT, 2> up { POINT { 12, 3 }, POINT { 3, 12 } };
        drawPolyline(dc, down.data(), 2, 3, RGB(0xC0, 0x00, 0x00));
        drawPolyline(dc, up.data(), 2, 3, RGB(0xC0, 0x00, 0x00));
    });
}

void fillGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF middle, COLORREF bottom)
{
    auto vertex = [](LONG x, LONG y, COLORREF c) {
        TRIVERTEX v {};
        v.x = x;
        v.y = y;
        v.Red = static_cast<COLOR16>(GetRValue(c) << 8);
        v.Green = static_cast<COLOR16>(GetGValue(c) << 8);
        v.Blue = static_cast<COLOR16>(GetBValue(c) << 8);
        return v;
    };
    const LONG half = rect.top + (rect.bottom - rect.top) / 2;
    std::array<TRIVERTEX, 4> vertices { vertex(rect.left, rect.top, top), vertex(rect.right, half, middle),
        vertex(rect.left, half, middle), vertex(rect.right, rect.bottom, bottom) };
    std::array<GRADIENT_RECT, 2> parts { GRADIENT_RECT { 0, 1 }, GRADIENT_RECT { 2, 3 } };
    GradientFill(dc, vertices.data(), 4, parts.data(), 2, GRADIENT_FILL_RECT_V);
}

void centreOnScreen(HWND window)
{
    RECT frame {};
    GetWindowRect(window, &frame);
    MONITORINFO monitor {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    const RECT& area = monitor.rcWork;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

// Where a window of `size` goes to be centred over `anchor`, wholly on the screen (a
// window larger than the screen keeps its top left corner in view).
POINT centredPlace(SIZE size, HWND anchor)
{
    RECT over {};
    GetWindowRect(anchor, &over);
    MONITORINFO monitor {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(anchor, MONITOR_DEFAULTTONEAREST), &monitor))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    const RECT& area = monitor.rcWork;
    const int x = over.left + (over.right - over.left - size.cx) / 2;
    const int y = over.top + (over.bottom - over.top - size.cy) / 2;
    return POINT { std::max(static_cast<int>(area.left), std::min(x, static_cast<int>(area.right - size.cx))),
        std::max(static_cast<int>(area.top), std::min(y, static_cast<int>(area.bottom - size.cy))) };
}

} // namespace

void centreOver(HWND window, HWND anchor)
{
    RECT frame {};
    GetWindowRect(window, &frame);
    const POINT place = centredPlace(SIZE { frame.right - frame.left, frame.bottom - frame.top }, anchor);
    SetWindowPos(window, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

struct DialogCentring {
    HHOOK hook = nullptr;
    HWND anchor = nullptr;
};

thread_local DialogCentring t_centring;

// The window procedure a box had before centringProc took its place.
constexpr const wchar_t* kDefaultProcProperty = L"TramazelBoxProc";

// Stands in for a box's window procedure until the box first shows, after it has
// laid itself out (its WM_INITDIALOG; the system may activate it earlier), and puts
// it centred over the anchor within that showing, so that it never appears anywhere
// else first. Then it steps aside.
LRESULT CALLBACK centringProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(window, kDefaultProcProperty));
    if (!previous)
        return DefDlgProcW(window, message, wParam, lParam);
    auto* place = reinterpret_cast<WINDOWPOS*>(lParam);
    const bool showing = message == WM_WINDOWPOSCHANGING && (place->flags & SWP_SHOWWINDOW);
    if (!showing && message != WM_NCDESTROY)
        return CallWindowProcW(previous, window, message, wParam, lParam);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    RemovePropW(window, kDefaultProcProperty);
    HWND anchor = t_centring.anchor;
    if (showing && anchor && anchor != window && IsWindow(anchor) && IsWindowVisible(anchor)
        && !IsIconic(anchor)) {
        RECT frame {};
        GetWindowRect(window, &frame);
        const SIZE size = (place->flags & SWP_NOSIZE)
            ? SIZE { frame.right - frame.left, frame.bottom - frame.top }
            : SIZE { place->cx, place->cy };
        const POINT centred = centredPlace(size, anchor);
        place->x = centred.x;
        place->y = centred.y;
        place->flags &= ~static_cast<UINT>(SWP_NOMOVE);
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

LRESULT CALLBACK centringHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        auto window = reinterpret_cast<HWND>(wParam);
        const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        wchar_t className[16] {};
        GetClassNameW(window, className, 16);
        // Every dialog box has the system's dialog class, whatever made it; the
        // dialogs inside another (the file dialog's parts) are children.
        if (lstrcmpW(className, L"#32770") == 0 && !(create->lpcs->style & WS_CHILD)) {
            const LONG_PTR previous
                = SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&centringProc));
            SetPropW(window, kDefaultProcProperty, reinterpret_cast<HANDLE>(previous));
        }
    }
    return CallNextHookEx(t_centring.hook, code, wParam, lParam);
}

} // namespace

void centreDialogsOver(HWND anchor)
{
    t_centring.anchor = anchor;
    if (anchor && !t_centring.hook)
        t_centring.hook = SetWindowsHookExW(WH_CBT, centringHook, nullptr, GetCurrentThreadId());
    if (!anchor && t_centring.hook) {
        UnhookWindowsHookEx(t_centring.hook);
        t_centring.hook = nullptr;
    }
}

bool runningUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

SIZE windowSizeForClient(DWORD style, DWORD exStyle, int clientWidth, int clientHeight)
{
    RECT rect { 0, 0, clientWidth, clientHeight };
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return SIZE { rect.right - rect.left, rect.bottom - rect.top };
}

void setClientSize(HWND window, int width, int height)
{
    RECT client {};
    RECT frame {};
    GetClientRect(window, &client);
    GetWindowRect(window, &frame);
    const int dx = width - (client.right - client.left);
    const int dy = height - (client.bottom - client.top);
    if (dx == 0 && dy == 0)
        return;
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + dx, frame.bottom - frame.top + dy,
        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace tramazel::win
