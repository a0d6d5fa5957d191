// SPDX-License-Identifier: GPL-3.0-or-later
#include "CourseLevelsWindow.h"

#include "Error.h"
#include "WinUtil.h"
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"
#include "platform/Utf16.h"
#include "text/Cp1252.h"

#include <commctrl.h>

#include <array>
#include <exception>
#include <string>
#include <vector>

namespace tramazel::win {

namespace {

namespace t = zelvano::cursost;

constexpr int kDescripcion = 0;
constexpr int kNivel = 1;
constexpr int kCurso = 2;
constexpr int kColumns = 3;

constexpr int kContinueId = 1001;
constexpr int kGridId = 1002;
constexpr int kLabelId = 1003;

constexpr const wchar_t* kWindowClass = L"TramazelCursos";

int maxLength(int column)
{
    return column == kNivel ? t::kNivelWidth : t::kCursoWidth;
}

std::wstring fromCp1252(std::string_view cp1252)
{
    return wide(text::cp1252ToUtf8(cp1252));
}

class CourseLevelsWindow {
public:
    CourseLevelsWindow(HWND owner, dbf::DbfTable& table);
    ~CourseLevelsWindow();
    CourseLevelsWindow(const CourseLevelsWindow&) = delete;
    CourseLevelsWindow& operator=(const CourseLevelsWindow&) = delete;

    void run();

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK gridProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    void loadRows();
    void createControls();
    bool handleKey(const MSG& message);

    /// The editable cells numbered line by line: (row, Nivel) = 2·row, (row, Curso) = 2·row + 1.
    void step(int direction);
    void moveTo(int row, int column);
    void placeEditor(bool focus);
    void commitEditor();
    void post(int row, int column, const std::wstring& typed);
    void seek(int row);
    void clickedAt(POINT screenPoint);
    void finish();
    void fail(std::exception_ptr failure);

    std::size_t field(int column) const { return m_fields[static_cast<std::size_t>(column)]; }
    std::wstring& cell(int row, int column)
    {
        return m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
    }
    int rowCount() const { return static_cast<int>(m_rows.size()); }

    HWND m_owner;
    dbf::DbfTable& m_table;
    std::array<std::size_t, kColumns> m_fields;
    std::vector<std::array<std::wstring, kColumns>> m_rows;
    std::vector<std::uint32_t> m_records; // record number of each line

    HWND m_window = nullptr;
    HWND m_grid = nullptr;
    HWND m_editor = nullptr;
    HWND m_continue = nullptr;
    HFONT m_font = nullptr;
    HFONT m_labelFont = nullptr;
    WNDPROC m_gridDefault = nullptr;
    int m_row = 0;
    int m_column = kNivel;
    bool m_editing = false; // the editor stands on the current cell
    bool m_done = false;
    std::exception_ptr m_failure;
};

CourseLevelsWindow::CourseLevelsWindow(HWND owner, dbf::DbfTable& table)
    : m_owner(owner)
    , m_table(table)
    , m_fields { table.fieldIndex(t::kDescripcio), table.fieldIndex(t::kNivel), table.fieldIndex(t::kCurso) }
{
    loadRows();
}

CourseLevelsWindow::~CourseLevelsWindow()
{
    if (m_window)
        DestroyWindow(m_window);
    if (m_font)
        DeleteObject(m_font);
    if (m_labelFont)
        DeleteObject(m_labelFont);
}

void CourseLevelsWindow::loadRows()
{
    for (m_table.first(); !m_table.eof(); m_table.next()) {
        std::array<std::wstring, kColumns> row;
        for (int column = 0; column < kColumns; ++column)
            row[static_cast<std::size_t>(column)] = fromCp1252(m_table.text(field(column)));
        m_rows.push_back(std::move(row));
        m_records.push_back(m_table.recordNumber());
    }
    m_table.first();
}

void CourseLevelsWindow::createControls()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    m_font = createPointFont(L"MS Sans Serif", 8, false);
    m_labelFont = createPixelFont(L"MS Sans Serif", 13, true);

    HWND label = CreateWindowExW(0, L"STATIC",
        L"Antes de continuar, debe escribir el nivel y el curso en todas las l\u00edneas.",
        WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, scaled(16), scaled(8), scaled(493), scaled(16),
        m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabelId)), instance, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(m_labelFont), FALSE);

    m_grid = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS
            | LVS_NOSORTHEADER,
        scaled(8), scaled(40), scaled(481), scaled(321), m_window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kGridId)), instance, nullptr);
    SendMessageW(m_grid, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    SendMessageW(m_grid, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);

    // Display widths in characters: description 56, level 8, course number 6.
    HDC dc = GetDC(m_grid);
    HGDIOBJ old = SelectObject(dc, m_font);
    TEXTMETRICW metrics {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(m_grid, dc);
    const std::array<const wchar_t*, kColumns> titles { L"Descripci\u00f3n", L"Nivel", L"Curso" };
    const std::array<int, kColumns> widths { 56, 8, 6 };
    for (int column = 0; column < kColumns; ++column) {
        LVCOLUMNW spec {};
        spec.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        spec.fmt = LVCFMT_LEFT;
        spec.cx = widths[static_cast<std::size_t>(column)] * metrics.tmAveCharWidth + scaled(8);
        spec.pszText = const_cast<wchar_t*>(titles[static_cast<std::size_t>(column)]);
        spec.iSubItem = column;
        SendMessageW(m_grid, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&spec));
    }
    for (int row = 0; row < rowCount(); ++row) {
        LVITEMW item {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = cell(row, kDescripcion).data();
        SendMessageW(m_grid, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int column = kNivel; column < kColumns; ++column) {
            item.iSubItem = column;
            item.pszText = cell(row, column).data();
            SendMessageW(m_grid, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        }
    }
    SetWindowLongPtrW(m_grid, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_gridDefault = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_grid, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CourseLevelsWindow::gridProc)));

    // The cell editor lives on the grid, over the current cell.
    m_editor = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, 0, 0, 0, 0, m_grid,
        nullptr, instance, nullptr);
    SendMessageW(m_editor, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);

    m_continue = CreateWindowExW(0, L"BUTTON", L"Continuar",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, scaled(408), scaled(376), scaled(75), scaled(25),
        m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kContinueId)), instance, nullptr);
    SendMessageW(m_continue, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
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
    const SIZE size = windowSizeForClient(style, exStyle, scaled(514), scaled(409));
    m_window = CreateWindowExW(exStyle, kWindowClass, L"Cursos", style, CW_USEDEFAULT, CW_USEDEFAULT, size.cx,
        size.cy, m_owner, nullptr, GetModuleHandleW(nullptr), this);
    if (!m_window)
        throw Error(ErrorCode::FileIo, "No se puede mostrar la ventana de cursos.", "CreateWindowExW");
    setClientSize(m_window, scaled(514), scaled(409));
    centreOnScreen(m_window);

    EnableWindow(m_owner, FALSE);
    ShowWindow(m_window, SW_SHOW);
    UpdateWindow(m_window);
    if (rowCount() > 0)
        moveTo(0, kNivel);
    else
        SetFocus(m_continue);

    MSG message {};
    while (!m_done) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: the loop above ours must see the request too.
            if (got == 0)
                PostQuitMessage(static_cast<int>(message.wParam));
            finish();
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
    EnableWindow(m_owner, TRUE);
    DestroyWindow(m_window);
    m_window = nullptr;
    if (m_failure)
        std::rethrow_exception(m_failure);
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

LRESULT CALLBACK CourseLevelsWindow::gridProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CourseLevelsWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const LRESULT result = CallWindowProcW(self->m_gridDefault, window, message, wParam, lParam);
    // Whatever scrolled the grid, the editor follows its cell.
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
    case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == kLabelId) {
            auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(0x80, 0x00, 0x00));
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == m_grid && (header->code == NM_CLICK || header->code == NM_DBLCLK)) {
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
        && (message.hwnd == m_editor || message.hwnd == m_grid || message.hwnd == m_continue)) {
        finish();
        return true;
    }
    if (message.hwnd == m_editor) {
        switch (key) {
        case VK_TAB:
            step(shift ? -1 : 1);
            return true;
        case VK_RETURN:
            step(1);
            return true;
        case VK_UP:
            if (m_row > 0)
                moveTo(m_row - 1, m_column);
            return true;
        case VK_DOWN:
            if (m_row + 1 < rowCount())
                moveTo(m_row + 1, m_column);
            return true;
        default:
            return false;
        }
    }
    if (message.hwnd == m_grid && (key == VK_TAB || key == VK_RETURN)) {
        if (rowCount() > 0 && !(key == VK_TAB && shift))
            moveTo(m_row, m_column);
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
            if (rowCount() > 0)
                moveTo(m_row, m_column);
            return true;
        }
    }
    return false;
}

void CourseLevelsWindow::step(int direction)
{
    const int position = 2 * m_row + (m_column - kNivel);
    const int target = position + direction;
    if (target < 0 || target >= 2 * rowCount()) {
        // Past the last cell (or before the first) the focus goes on to "Continuar".
        commitEditor();
        m_editing = false;
        ShowWindow(m_editor, SW_HIDE);
        SetFocus(m_continue);
        return;
    }
    moveTo(target / 2, kNivel + target % 2);
}

void CourseLevelsWindow::moveTo(int row, int column)
{
    commitEditor();
    if (m_failure)
        return;
    m_row = row;
    m_column = column;
    m_editing = true;
    SendMessageW(m_grid, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    LVITEMW state {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(m_grid, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageW(m_editor, EM_LIMITTEXT, static_cast<WPARAM>(maxLength(column)), 0);
    SetWindowTextW(m_editor, cell(row, column).c_str());
    placeEditor(true);
    SendMessageW(m_editor, EM_SETSEL, 0, -1);
}

void CourseLevelsWindow::placeEditor(bool focus)
{
    if (!m_editing || !m_editor)
        return;
    RECT place {};
    place.top = m_column;
    place.left = LVIR_BOUNDS;
    SendMessageW(m_grid, LVM_GETSUBITEMRECT, static_cast<WPARAM>(m_row), reinterpret_cast<LPARAM>(&place));
    RECT header {};
    if (HWND headerWindow = reinterpret_cast<HWND>(SendMessageW(m_grid, LVM_GETHEADER, 0, 0)))
        GetWindowRect(headerWindow, &header);
    const LONG headerHeight = header.bottom - header.top;
    RECT client {};
    GetClientRect(m_grid, &client);
    // A cell scrolled under the titles or out of the grid hides the editor, which
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
    post(m_row, m_column, windowText(m_editor));
}

void CourseLevelsWindow::post(int row, int column, const std::wstring& typed)
{
    if (typed == cell(row, column))
        return;
    try {
        seek(row);
        m_table.edit();
        const std::wstring cut = typed.substr(0, static_cast<std::size_t>(maxLength(column)));
        m_table.setText(field(column), text::utf8ToCp1252(platform::wideToUtf8(cut)));
        m_table.post();
        // Shown as the table now holds it.
        cell(row, column) = fromCp1252(m_table.text(field(column)));
    } catch (...) {
        fail(std::current_exception());
        return;
    }
    LVITEMW item {};
    item.iSubItem = column;
    item.pszText = cell(row, column).data();
    SendMessageW(m_grid, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// The engine walks forward only: the line's record is found by its record number,
// going on from the current record when it lies ahead, else from the first.
void CourseLevelsWindow::seek(int row)
{
    const std::uint32_t target = m_records[static_cast<std::size_t>(row)];
    if (m_table.eof() || m_table.recordNumber() > target)
        m_table.first();
    while (!m_table.eof() && m_table.recordNumber() < target)
        m_table.next();
    if (m_table.eof() || m_table.recordNumber() != target)
        throw Error(ErrorCode::TableCorrupt, "La tabla CURSOST ha cambiado mientras se editaba.",
            "registro " + std::to_string(target) + " (l\u00ednea " + std::to_string(row + 1)
                + " del di\u00e1logo de cursos)");
}

void CourseLevelsWindow::clickedAt(POINT screenPoint)
{
    LVHITTESTINFO hit {};
    hit.pt = screenPoint;
    ScreenToClient(m_grid, &hit.pt);
    SendMessageW(m_grid, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (hit.iItem < 0 || hit.iItem >= rowCount())
        return;
    // The description is read only: a click on it edits the line's level.
    moveTo(hit.iItem, hit.iSubItem == kCurso ? kCurso : kNivel);
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

void runCourseLevelsWindow(HWND owner, dbf::DbfTable& cursost)
{
    CourseLevelsWindow window(owner, cursost);
    window.run();
}

} // namespace tramazel::win
