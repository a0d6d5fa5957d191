// SPDX-License-Identifier: GPL-3.0-or-later
#include "CourseLevelsWindow.h"

#include "Error.h"
#include "WinUtil.h"
#include "centre_import/CourseLevelGrid.h"
#include "platform/Utf16.h"
#include "shell/WindowLayouts.h"

#include <commctrl.h>

#include <exception>
#include <string>

namespace tramazel::win {

namespace {

using centre_import::CourseLevelGrid;
using Cell = CourseLevelGrid::Cell;
namespace layout = shell::course_levels_window;

constexpr int kContinueId = 1001;
constexpr int kGridId = 1002;
constexpr int kLabelId = 1003;

constexpr const wchar_t* kWindowClass = L"TramazelCursos";

class CourseLevelsWindow {
public:
    CourseLevelsWindow(HWND owner, CourseLevelGrid& grid, const ContextHelp& help);
    ~CourseLevelsWindow();
    CourseLevelsWindow(const CourseLevelsWindow&) = delete;
    CourseLevelsWindow& operator=(const CourseLevelsWindow&) = delete;

    void run();

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK listProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    void createControls();
    void showCell(int row, int column);
    bool handleKey(const MSG& message);

    /// On along the grid's tab order (`forward`) or back; past either end the focus
    /// goes on to "Continuar".
    void step(bool forward);
    void moveTo(Cell cell);
    void placeEditor(bool focus);
    void commitEditor();
    void clickedAt(POINT screenPoint);
    void finish();
    void fail(std::exception_ptr failure);

    HWND m_owner;
    CourseLevelGrid& m_grid;
    const ContextHelp& m_help;

    HWND m_window = nullptr;
    HWND m_list = nullptr;
    HWND m_editor = nullptr;
    HWND m_continue = nullptr;
    HFONT m_font = nullptr;
    HFONT m_noticeFont = nullptr;
    WNDPROC m_listDefault = nullptr;
    Cell m_cell; // the cell being edited, or last edited
    bool m_editing = false; // the editor stands on m_cell
    bool m_done = false;
    bool m_cancelled = false; // destroyed from outside, or the program is ending
    std::exception_ptr m_failure;
};

CourseLevelsWindow::CourseLevelsWindow(HWND owner, CourseLevelGrid& grid, const ContextHelp& help)
    : m_owner(owner)
    , m_grid(grid)
    , m_help(help)
{
}

CourseLevelsWindow::~CourseLevelsWindow()
{
    if (m_window)
        DestroyWindow(m_window);
    for (HFONT font : { m_font, m_noticeFont })
        if (font)
            DeleteObject(font);
}

void CourseLevelsWindow::createControls()
{
    m_font = createFont(shell::fontFor(shell::FontRole::Window));
    m_noticeFont = createFont(shell::fontFor(layout::kNotice.font));

    createChild(m_window, L"STATIC", layout::kNotice.text, SS_LEFT | SS_NOPREFIX, layout::kNotice.place,
        kLabelId, m_noticeFont);

    m_list = createChild(m_window, WC_LISTVIEWW, "",
        WS_TABSTOP | WS_CLIPCHILDREN | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
        layout::kGridPlace, kGridId, m_font, {}, WS_EX_CLIENTEDGE);
    SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);

    // Each column at least its display width in characters of the window's font.
    HDC dc = GetDC(m_list);
    HGDIOBJ old = SelectObject(dc, m_font);
    TEXTMETRICW metrics {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(m_list, dc);
    for (int column = 0; column < CourseLevelGrid::kColumnCount; ++column) {
        std::wstring title = wide(CourseLevelGrid::column(column).title);
        LVCOLUMNW spec {};
        spec.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        spec.fmt = LVCFMT_LEFT;
        spec.cx = CourseLevelGrid::column(column).displayWidth * metrics.tmAveCharWidth + scaled(8);
        spec.pszText = title.data();
        spec.iSubItem = column;
        SendMessageW(m_list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&spec));
    }
    for (int row = 0; row < m_grid.rowCount(); ++row) {
        LVITEMW item {};
        item.iItem = row;
        SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int column = 0; column < CourseLevelGrid::kColumnCount; ++column)
            showCell(row, column);
    }
    SetWindowLongPtrW(m_list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_listDefault = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CourseLevelsWindow::listProc)));

    // The cell editor lives on the list, over the current cell.
    m_editor = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, 0, 0, 0, 0, m_list,
        nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(m_editor, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);

    m_continue = createChild(m_window, L"BUTTON", layout::kContinueButton.caption, WS_TABSTOP | BS_PUSHBUTTON,
        layout::kContinueButton.place, kContinueId, m_font);
}

// The cell as the grid holds it.
void CourseLevelsWindow::showCell(int row, int column)
{
    std::wstring text = wide(m_grid.text(row, column));
    LVITEMW item {};
    item.iSubItem = column;
    item.pszText = text.data();
    SendMessageW(m_list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void CourseLevelsWindow::run()
{
    static const ATOM registered = [] {
        WNDCLASSEXW cls {};
        cls.cbSize = sizeof(cls);
        cls.lpfnWndProc = &CourseLevelsWindow::windowProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        cls.lpszClassName = kWindowClass;
        return RegisterClassExW(&cls);
    }();
    (void)registered;

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    const int width = scaled(layout::kClientSize.width);
    const int height = scaled(layout::kClientSize.height);
    const SIZE size = windowSizeForClient(style, exStyle, width, height);
    m_window = CreateWindowExW(exStyle, kWindowClass, wide(layout::kCaption).c_str(), style, CW_USEDEFAULT,
        CW_USEDEFAULT, size.cx, size.cy, m_owner, nullptr, GetModuleHandleW(nullptr), this);
    if (!m_window)
        throw Error(ErrorCode::FileIo, "No se puede mostrar la ventana de cursos.", "CreateWindowExW");
    setClientSize(m_window, width, height);
    centreOnScreen(m_window);

    EnableWindow(m_owner, FALSE);
    ShowWindow(m_window, SW_SHOW);
    UpdateWindow(m_window);
    if (const auto first = m_grid.firstCell())
        moveTo(*first);
    else
        SetFocus(m_continue);

    MSG message {};
    while (!m_done) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: the loop above ours must see the request too,
            // and the run that asked for the levels must not carry on.
            if (got == 0)
                PostQuitMessage(static_cast<int>(message.wParam));
            m_cancelled = true;
            break;
        }
        if (handleKey(message))
            continue;
        if (!IsDialogMessageW(m_window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // The owner comes back before this window goes, so that it gets the activation.
    if (IsWindow(m_owner))
        EnableWindow(m_owner, TRUE);
    if (m_window)
        DestroyWindow(m_window);
    m_window = nullptr;
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (m_cancelled)
        throw Error(ErrorCode::Cancelled, "La ventana de cursos se ha cerrado sin terminar.");
}

LRESULT CALLBACK CourseLevelsWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<CourseLevelsWindow*>(create->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CourseLevelsWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || self->m_window != window)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT CALLBACK CourseLevelsWindow::listProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CourseLevelsWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const LRESULT result = CallWindowProcW(self->m_listDefault, window, message, wParam, lParam);
    // Whatever scrolled the list, the editor follows its cell.
    if (message == WM_VSCROLL || message == WM_HSCROLL || message == WM_MOUSEWHEEL
        || message == WM_MOUSEHWHEEL || message == WM_SIZE)
        self->placeEditor(false);
    return result;
}

LRESULT CourseLevelsWindow::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        createControls();
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kContinueId && HIWORD(wParam) == BN_CLICKED) {
            finish();
            return 0;
        }
        break;
    case WM_CLOSE:
        // The close box, like "Continuar": what was typed counts.
        finish();
        return 0;
    case WM_DESTROY:
        // Destroyed by someone else (its owner went): what was typed does not count.
        if (!m_done) {
            m_cancelled = true;
            m_done = true;
        }
        m_editing = false;
        m_window = nullptr;
        return 0;
    case WM_HELP:
        // F1 on any control of the window comes up to here. Answered here, it goes no
        // further: the default would pass it on to the owner, whose topic it is not.
        if (m_help)
            m_help(m_window, layout::kHelpContext);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == kLabelId) {
            auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, colourOf(layout::kNotice.colour));
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == m_list && (header->code == NM_CLICK || header->code == NM_DBLCLK)) {
            POINT where {};
            GetCursorPos(&where);
            clickedAt(where);
            return 0;
        }
        break;
    }
    default:
        break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

bool CourseLevelsWindow::handleKey(const MSG& message)
{
    if (message.message == WM_CHAR && message.hwnd == m_editor
        && (message.wParam == L'\t' || message.wParam == L'\r' || message.wParam == 0x1B))
        return true; // already acted on as a key
    if (message.message != WM_KEYDOWN)
        return false;
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const WPARAM key = message.wParam;
    if (key == VK_ESCAPE
        && (message.hwnd == m_editor || message.hwnd == m_list || message.hwnd == m_continue)) {
        finish();
        return true;
    }
    if (message.hwnd == m_editor) {
        switch (key) {
        case VK_TAB:
            step(!shift);
            return true;
        case VK_RETURN:
            step(true);
            return true;
        case VK_UP:
            if (m_cell.row > 0)
                moveTo({ m_cell.row - 1, m_cell.column });
            return true;
        case VK_DOWN:
            if (m_cell.row + 1 < m_grid.rowCount())
                moveTo({ m_cell.row + 1, m_cell.column });
            return true;
        default:
            return false;
        }
    }
    if (message.hwnd == m_list && (key == VK_TAB || key == VK_RETURN)) {
        if (m_grid.rowCount() > 0 && !(key == VK_TAB && shift))
            moveTo(m_cell);
        else
            SetFocus(m_continue);
        return true;
    }
    if (message.hwnd == m_continue) {
        if (key == VK_RETURN) {
            finish();
            return true;
        }
        if (key == VK_TAB) {
            // Back into the grid, on the cell last edited.
            if (m_grid.rowCount() > 0)
                moveTo(m_cell);
            return true;
        }
    }
    return false;
}

void CourseLevelsWindow::step(bool forward)
{
    if (const auto next = m_grid.step(m_cell, forward)) {
        moveTo(*next);
        return;
    }
    commitEditor();
    m_editing = false;
    ShowWindow(m_editor, SW_HIDE);
    if (!m_failure)
        SetFocus(m_continue);
}

void CourseLevelsWindow::moveTo(Cell cell)
{
    commitEditor();
    if (m_failure)
        return;
    m_cell = cell;
    m_editing = true;
    SendMessageW(m_list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(cell.row), FALSE);
    LVITEMW state {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(cell.row), reinterpret_cast<LPARAM>(&state));
    SendMessageW(
        m_editor, EM_LIMITTEXT, static_cast<WPARAM>(CourseLevelGrid::column(cell.column).maxLength), 0);
    SetWindowTextW(m_editor, wide(m_grid.text(cell.row, cell.column)).c_str());
    placeEditor(true);
    SendMessageW(m_editor, EM_SETSEL, 0, -1);
}

void CourseLevelsWindow::placeEditor(bool focus)
{
    if (!m_editing || !m_editor)
        return;
    RECT place {};
    place.top = m_cell.column;
    place.left = LVIR_BOUNDS;
    SendMessageW(
        m_list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(m_cell.row), reinterpret_cast<LPARAM>(&place));
    RECT header {};
    if (HWND headerWindow = reinterpret_cast<HWND>(SendMessageW(m_list, LVM_GETHEADER, 0, 0)))
        GetWindowRect(headerWindow, &header);
    const LONG headerHeight = header.bottom - header.top;
    RECT client {};
    GetClientRect(m_list, &client);
    // A cell scrolled under the titles or out of the list hides the editor, which
    // keeps its text and the focus until the cell comes back.
    const bool visible = place.top >= headerHeight && place.bottom <= client.bottom;
    MoveWindow(m_editor, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
    ShowWindow(m_editor, visible ? SW_SHOW : SW_HIDE);
    if (focus)
        SetFocus(m_editor);
}

void CourseLevelsWindow::commitEditor()
{
    if (!m_editing || m_failure)
        return;
    try {
        m_grid.set(m_cell.row, m_cell.column, platform::wideToUtf8(windowText(m_editor)));
    } catch (...) {
        fail(std::current_exception());
        return;
    }
    // Shown as the table now holds it.
    showCell(m_cell.row, m_cell.column);
}

void CourseLevelsWindow::clickedAt(POINT screenPoint)
{
    LVHITTESTINFO hit {};
    hit.pt = screenPoint;
    ScreenToClient(m_list, &hit.pt);
    SendMessageW(m_list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (hit.iItem < 0 || hit.iItem >= m_grid.rowCount())
        return;
    // A read-only cell edits the first cell after it in the tab order: the line's level.
    const Cell clicked { hit.iItem, hit.iSubItem };
    if (CourseLevelGrid::isEditable(clicked.column))
        moveTo(clicked);
    else if (const auto next = m_grid.step(clicked, true))
        moveTo(*next);
}

void CourseLevelsWindow::finish()
{
    commitEditor();
    m_editing = false;
    m_done = true;
}

void CourseLevelsWindow::fail(std::exception_ptr failure)
{
    if (!m_failure)
        m_failure = std::move(failure);
    m_editing = false;
    m_done = true;
}

} // namespace

void cancelCourseLevelsWindow(HWND window)
{
    wchar_t className[32] {};
    GetClassNameW(window, className, 32);
    if (lstrcmpW(className, kWindowClass) == 0)
        DestroyWindow(window);
}

void runCourseLevelsWindow(HWND owner, centre_import::CourseLevelGrid& grid, const ContextHelp& help)
{
    CourseLevelsWindow window(owner, grid, help);
    window.run();
}

} // namespace tramazel::win
