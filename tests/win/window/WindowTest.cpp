// SPDX-License-Identifier: GPL-3.0-or-later
// Drives tramazel.exe from outside, as a person (or Zelvano) would: it starts the
// program, finds its windows and dialogs, works them by messages and checks what
// they show and the tables and INI file they leave.
//
//   tramazel-window-test run <folder of tramazel.exe> <centre file>
//   tramazel-window-test pose <folder of tramazel.exe> <place file> <done file>
//
// "run" runs every case and exits with 1 when one failed. "pose" shows the window
// for a screenshot: it writes the window's client area on the screen ("left top
// width height") to the place file and waits for the done file to appear.
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"
#include "platform/Console.h"
#include "platform/Utf16.h"

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace tramazel;

namespace {

const wchar_t* const kMainCaption = L"Exportar e importar datos entre Zelvano y GestIB";
const wchar_t* const kMainClass = L"TramazelMainWindow";
const wchar_t* const kDialogClass = L"#32770";
const wchar_t* const kQuestionCaption = L"Creaci\u00f3n autom\u00e1tica de L\u00edneas de Asignaturas";
const fs::path kQtemp = L"C:\\QTEMP";

int g_failures = 0;
std::string g_case;

void check(bool ok, const std::string& what)
{
    if (!ok) {
        ++g_failures;
        std::cout << "FAIL [" << g_case << "] " << what << std::endl;
    }
}

std::string utf8(const std::wstring& text)
{
    return platform::wideToUtf8(text);
}

// Keeps this thread's windows answering while it waits: a window of another process
// that lives inside one of ours sends it messages and waits for the answers.
void pump(int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (std::chrono::steady_clock::now() < end);
}

template <typename Found> auto waitFor(Found find, int milliseconds = 15000) -> decltype(find())
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (auto found = find())
            return found;
        if (std::chrono::steady_clock::now() >= end)
            return find();
        pump(50);
    }
}

std::wstring textOf(HWND window)
{
    // WM_GETTEXT reaches windows of other processes too.
    wchar_t buffer[2048] {};
    SendMessageTimeoutW(
        window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buffer;
}

std::wstring classOf(HWND window)
{
    wchar_t buffer[128] {};
    GetClassNameW(window, buffer, 128);
    return buffer;
}

struct Program {
    PROCESS_INFORMATION info {};

    ~Program()
    {
        if (info.hProcess) {
            if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(info.hProcess, 99);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
    DWORD id() const { return info.dwProcessId; }
    bool running() const { return WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT; }
    /// Waits (pumping) for the end; the exit code, or -1 when it does not end in time.
    long waitExit(int milliseconds)
    {
        if (!waitFor([this] { return !running(); }, milliseconds))
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        return static_cast<long>(code);
    }
};

void start(Program& program, const fs::path& exe, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    const std::wstring folder = exe.parent_path().wstring();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
            &startup, &program.info))
        check(false, "CreateProcessW " + utf8(commandLine));
}

// A visible top-level window of `process` with `caption` (and `cls` when given).
HWND topLevel(DWORD process, const wchar_t* caption, const wchar_t* cls = nullptr)
{
    struct Query {
        DWORD process;
        const wchar_t* caption;
        const wchar_t* cls;
        HWND found = nullptr;
    } query { process, caption, cls };
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& q = *reinterpret_cast<Query*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != q.process || !IsWindowVisible(window))
                return TRUE;
            if (q.caption && textOf(window) != q.caption)
                return TRUE;
            if (q.cls && classOf(window) != q.cls)
                return TRUE;
            q.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&query));
    return query.found;
}

// Every descendant of `parent` of class `cls` (any when null) and text `text` (any when null).
std::vector<HWND> children(HWND parent, const wchar_t* cls, const wchar_t* text = nullptr)
{
    struct Query {
        const wchar_t* cls;
        const wchar_t* text;
        std::vector<HWND> found;
    } query { cls, text, {} };
    EnumChildWindows(
        parent,
        [](HWND window, LPARAM data) -> BOOL {
            auto& q = *reinterpret_cast<Query*>(data);
            if ((!q.cls || lstrcmpiW(classOf(window).c_str(), q.cls) == 0)
                && (!q.text || textOf(window) == q.text))
                q.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND child(HWND parent, const wchar_t* cls, const wchar_t* text = nullptr)
{
    const auto found = children(parent, cls, text);
    return found.empty() ? nullptr : found.front();
}

// The text of every static control of a message box, joined.
std::wstring boxText(HWND box)
{
    std::wstring all;
    for (HWND s : children(box, L"Static"))
        all += textOf(s);
    return all;
}

SIZE clientSize(HWND window)
{
    RECT r {};
    GetClientRect(window, &r);
    return SIZE { r.right, r.bottom };
}

// The place of `control` in the client area of `window`.
RECT placeIn(HWND control, HWND window)
{
    RECT r {};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void press(HWND button)
{
    PostMessageW(button, BM_CLICK, 0, 0);
}

void pressIn(HWND dialog, int id)
{
    if (HWND button = GetDlgItem(dialog, id))
        press(button);
    else
        check(false, "no button " + std::to_string(id) + " in " + utf8(textOf(dialog)));
}

void type(HWND window, const std::wstring& text)
{
    for (wchar_t c : text)
        PostMessageW(window, WM_CHAR, c, 1);
}

void key(HWND window, UINT virtualKey)
{
    PostMessageW(window, WM_KEYDOWN, virtualKey, 1);
    PostMessageW(window, WM_KEYUP, virtualKey, 0xC0000001);
}

HWND focusOf(const Program& program)
{
    GUITHREADINFO info {};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(program.info.dwThreadId, &info) ? info.hwndFocus : nullptr;
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool iniHolds(const fs::path& ini, const std::string& value)
{
    const std::string text = readFile(ini);
    return text.find("[Transformadores]") != std::string::npos
        && text.find("Transformado=" + value + "\r\n") != std::string::npos;
}

void freshTimetableDirectory()
{
    std::error_code ec;
    fs::remove_all(kQtemp, ec);
    fs::create_directories(kQtemp / "saga", ec);
}

// A window of this process to play the host: Zelvano's window that the converter
// embeds itself in.
struct HostWindow {
    HWND window = nullptr;

    HostWindow()
    {
        static const ATOM registered = [] {
            WNDCLASSW cls {};
            cls.lpfnWndProc = DefWindowProcW;
            cls.hInstance = GetModuleHandleW(nullptr);
            cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
            cls.lpszClassName = L"ZelvanoTestHost";
            return RegisterClassW(&cls);
        }();
        (void)registered;
        window = CreateWindowExW(0, L"ZelvanoTestHost", L"Zelvano", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
            760, 420, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        pump(200);
    }
    ~HostWindow()
    {
        if (IsWindow(window))
            DestroyWindow(window);
    }
    std::wstring handleText() const
    {
        wchar_t text[32] {};
        swprintf(
            text, 32, L"%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
        return text;
    }
    HWND converter() const { return FindWindowExW(window, nullptr, kMainClass, nullptr); }
};

// ---------------------------------------------------------------------------------

void standaloneWindowAndImport(const fs::path& exe, const fs::path& centre)
{
    g_case = "stand-alone window, import through the dialogs";
    freshTimetableDirectory();
    const fs::path ini = exe.parent_path() / "Zelvano.ini";
    fs::remove(ini);
    Program program;
    start(program, exe, L"");
    HWND main = waitFor([&] { return topLevel(program.id(), kMainCaption, kMainClass); });
    check(main != nullptr, "the main window appears");
    if (!main)
        return;

    const SIZE size = clientSize(main);
    check(size.cx == 632 && size.cy == 266,
        "client area 632x266, is " + std::to_string(size.cx) + "x" + std::to_string(size.cy));
    const LONG_PTR style = GetWindowLongPtrW(main, GWL_STYLE);
    check((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU), "caption and close box");
    check(!(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)),
        "fixed size, no minimise or maximise box");
    RECT frame {};
    RECT work {};
    GetWindowRect(main, &frame);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const LONG dx = (frame.left + frame.right) / 2 - (work.left + work.right) / 2;
    const LONG dy = (frame.top + frame.bottom) / 2 - (work.top + work.bottom) / 2;
    check(dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2, "centred on the screen");

    struct Control {
        const wchar_t* cls;
        const wchar_t* text;
        RECT place; // left, top, right, bottom in the client area
    };
    const Control controls[] = {
        { L"Static", L"Transformar datos desde GestIB hacia Zelvano ", { 24, 23, 289, 80 } },
        { L"Static", L"Transformar datos desde Zelvano hacia GestIB", { 323, 24, 628, 81 } },
        { L"Static", L"Tramazel para ZN9 V-1.2", { 8, 240, 197, 253 } },
        { L"Button", L"&Salir", { 256, 200, 345, 225 } },
        { L"Button", L"F1 AYUDA", { 265, 235, 340, 253 } },
    };
    for (const Control& c : controls) {
        HWND found = child(main, c.cls, c.text);
        check(found != nullptr, "control \"" + utf8(c.text) + "\"");
        if (!found)
            continue;
        const RECT r = placeIn(found, main);
        check(r.left == c.place.left && r.top == c.place.top && r.right == c.place.right
                && r.bottom == c.place.bottom,
            "place of \"" + utf8(c.text) + "\"");
    }
    const auto accept = children(main, L"Button", L"Aceptar");
    check(accept.size() == 2, "two \"Aceptar\" buttons");
    if (accept.size() != 2)
        return;
    HWND importButton = placeIn(accept[0], main).left < placeIn(accept[1], main).left ? accept[0] : accept[1];
    check(placeIn(importButton, main).top == 119, "the import button on the left panel");
    check(SendMessageW(importButton, BM_GETIMAGE, IMAGE_ICON, 0) != 0, "the check-mark glyph");

    // Enter presses the focused button: the import button has the focus at start.
    check(focusOf(program) == importButton, "the focus starts on the import button");
    key(importButton, VK_RETURN);

    HWND files = waitFor([&] { return topLevel(program.id(), L"Archivo XML", kDialogClass); });
    check(files != nullptr, "the file dialog \"Archivo XML\"");
    if (!files)
        return;
    // The file name field: an edit (edt1) or a combo box (cmb13), by the dialog's age.
    HWND name = GetDlgItem(files, 0x480);
    if (!name)
        name = GetDlgItem(files, 0x47C);
    check(name != nullptr, "the file name field");
    SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(centre.wstring().c_str()),
        SMTO_ABORTIFHUNG, 5000, nullptr);
    pressIn(files, IDOK);

    HWND grid = waitFor([&] { return topLevel(program.id(), L"Cursos", L"TramazelCursos"); }, 30000);
    check(grid != nullptr, "the course grid \"Cursos\"");
    if (!grid)
        return;
    const SIZE gridSize = clientSize(grid);
    check(gridSize.cx == 514 && gridSize.cy == 409, "grid window 514x409");
    check(child(grid, L"Static",
              L"Antes de continuar, debe escribir el nivel y el curso en todas las l\u00edneas.")
            != nullptr,
        "the grid's label");
    check(child(grid, L"Button", L"Continuar") != nullptr, "\"Continuar\"");
    HWND list = child(grid, WC_LISTVIEWW);
    check(list && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 14, "one line per course of the file");
    HWND editor = list ? child(list, L"Edit") : nullptr;
    check(editor && focusOf(program) == editor, "the first level cell is being edited");
    if (!editor)
        return;
    // Keyboard only: level, Tab, course number, Enter to the next line; the second
    // line gets more characters than its fields hold; the last value is still being
    // typed when the close box closes the window.
    type(editor, L"ESO2");
    key(editor, VK_TAB);
    type(editor, L"1");
    key(editor, VK_RETURN);
    type(editor, L"BACHILLER");
    key(editor, VK_TAB);
    type(editor, L"1234");
    pump(500);
    PostMessageW(grid, WM_SYSCOMMAND, SC_CLOSE, 0);

    HWND question = waitFor([&] { return topLevel(program.id(), kQuestionCaption, kDialogClass); }, 30000);
    check(question != nullptr, "the subject-lines question");
    if (!question)
        return;
    const std::wstring questionText = boxText(question);
    check(questionText.find(L"\u00bfQuiere crear autom\u00e1ticamente las L\u00edneas de Asignaturas \r\n")
            == 0,
        "the question's first line and the Windows line break");
    check(
        questionText.find(L"\r\n                            \u00bfCrear L\u00edneas?") != std::wstring::npos,
        "the question's last line");
    HWND namedGroups
        = child(question, L"Button", L"Solo para los grupos indicados en el nombre de la materia");
    check(namedGroups != nullptr, "the check box for the named groups");
    if (namedGroups)
        check(SendMessageW(namedGroups, BM_GETCHECK, 0, 0) == BST_UNCHECKED, "the check box starts clear");
    check(GetDlgItem(question, IDOK) && GetDlgItem(question, IDCANCEL), "OK and Cancel");
    pressIn(question, IDOK);

    HWND done = waitFor([&] { return topLevel(program.id(), L"Tramazel", kDialogClass); }, 30000);
    check(done && boxText(done).find(L"Proceso finalizado") == 0, "\"Proceso finalizado\"");
    if (!done)
        return;
    pressIn(done, IDOK);
    pump(300);

    // What the grid posted, and where the groups took it.
    struct Line {
        std::uint32_t record;
        std::string nivel;
        std::string curso;
    };
    const Line lines[] = { { 1, "ESO2", "1" }, { 2, "BACHI", "123" }, { 3, "", "" } };
    try {
        auto cursost = dbf::DbfTable::open(kQtemp, zelvano::cursost::kTable, dbf::Access::Shared);
        std::vector<std::string> codes;
        for (const Line& line : lines) {
            check(!cursost.eof() && cursost.recordNumber() == line.record,
                "CURSOST record " + std::to_string(line.record));
            if (cursost.eof())
                break;
            check(cursost.text(zelvano::cursost::kNivel) == line.nivel,
                "CURSOST NIVEL of record " + std::to_string(line.record) + " is \""
                    + cursost.text(zelvano::cursost::kNivel) + "\"");
            check(cursost.text(zelvano::cursost::kCurso) == line.curso,
                "CURSOST CURSO of record " + std::to_string(line.record) + " is \""
                    + cursost.text(zelvano::cursost::kCurso) + "\"");
            codes.push_back(cursost.text(zelvano::cursost::kCodi));
            cursost.next();
        }
        auto grupost = dbf::DbfTable::open(kQtemp, zelvano::grupost::kTable, dbf::Access::Shared);
        int groupsOfFirst = 0;
        for (; !grupost.eof(); grupost.next()) {
            if (codes.empty() || grupost.text(zelvano::grupost::kCodiCurs) != codes.front())
                continue;
            ++groupsOfFirst;
            check(grupost.text(zelvano::grupost::kNivel) == "ESO2"
                    && grupost.text(zelvano::grupost::kCurso) == "1",
                "the first course's groups carry its level and course number");
        }
        check(groupsOfFirst > 0, "the first course has groups");
        auto asigt = dbf::DbfTable::open(kQtemp, zelvano::asigt::kTable, dbf::Access::Shared);
        check(asigt.recordCount() > 0, "OK to the question wrote subject lines");
    } catch (const std::exception& e) {
        check(false, std::string("reading the tables: ") + e.what());
    }

    check(IsWindow(main), "the window stays after the run");
    HWND quit = child(main, L"Button", L"&Salir");
    press(quit);
    check(program.waitExit(10000) == 0, "\"Salir\" ends the program with code 0");
    check(!fs::exists(ini), "interactive use writes no Zelvano.ini");
}

void hostModeCancelledDialog(const fs::path& exe)
{
    g_case = "host mode, the dialog cancelled";
    const fs::path ini = exe.parent_path() / "Zelvano.ini";
    fs::remove(ini);
    HostWindow host;
    Program program;
    start(program, exe, L"ExPortar " + host.handleText());
    HWND embedded = waitFor([&] { return host.converter(); });
    check(embedded != nullptr, "the converter's window is a child of the host");
    if (embedded) {
        const LONG_PTR style = GetWindowLongPtrW(embedded, GWL_STYLE);
        check(GetParent(embedded) == host.window && IsChild(host.window, embedded), "GetParent and IsChild");
        check(
            (style & WS_CHILD) && !(style & WS_CAPTION) && !(style & WS_THICKFRAME), "WS_CHILD, no caption");
        const RECT r = placeIn(embedded, host.window);
        check(r.left == 0 && r.top == 0, "at 0,0 of the host");
        const SIZE size = clientSize(embedded);
        check(size.cx == 632 && size.cy == 266, "632x266 inside the host");
    }
    HWND files = waitFor([&] { return topLevel(program.id(), L"Archivo XML", kDialogClass); });
    check(files != nullptr, "the mode word (any letter case) opens the import's file dialog");
    if (!files)
        return;
    pressIn(files, IDCANCEL);
    HWND box = waitFor([&] { return topLevel(program.id(), L"Tramazel", kDialogClass); });
    check(box && boxText(box) == L"No existe archivo", "\"No existe archivo\"");
    if (box)
        pressIn(box, IDOK);
    check(program.waitExit(10000) == 0, "the converter closes itself");
    check(iniHolds(ini, "-1"), "Zelvano.ini holds -1: " + readFile(ini));
    check(IsWindow(host.window), "the host window stays");
}

void hostWindowDestroyed(const fs::path& exe)
{
    g_case = "host mode, the host window destroyed";
    const fs::path ini = exe.parent_path() / "Zelvano.ini";
    fs::remove(ini);
    HostWindow host;
    Program program;
    // A mode word that runs nothing: the window embeds and waits.
    start(program, exe, L"ninguna " + host.handleText());
    HWND embedded = waitFor([&] { return host.converter(); });
    check(embedded != nullptr, "the converter's window is a child of the host");
    if (!embedded)
        return;
    pump(500);
    // Keyboard focus inside the embedded window, and Tab moving through its buttons.
    HWND focus = focusOf(program);
    check(focus && IsChild(embedded, focus) && textOf(focus) == L"Aceptar", "the focus on the import button");
    if (focus) {
        key(focus, VK_TAB);
        pump(500);
        HWND next = focusOf(program);
        check(next && next != focus && IsChild(embedded, next), "Tab moves the focus inside the window");
    }
    check(topLevel(program.id(), nullptr) == nullptr, "no window of the converter outside the host");
    const auto before = std::chrono::steady_clock::now();
    DestroyWindow(host.window);
    const long code = program.waitExit(10000);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    check(code == 0, "the converter ends");
    check(seconds < 5.0, "within seconds (" + std::to_string(seconds) + " s)");
    check(iniHolds(ini, "0"), "Zelvano.ini holds 0: " + readFile(ini));
}

void badHandle(const fs::path& exe)
{
    g_case = "a handle that is not hexadecimal";
    const fs::path ini = exe.parent_path() / "Zelvano.ini";
    fs::remove(ini);
    Program program;
    start(program, exe, L"exportar 12G4");
    HWND error = waitFor([&] { return topLevel(program.id(), L"Tramazel", kDialogClass); });
    check(error && boxText(error) == L"'$12G4' no es un valor entero v\u00e1lido.",
        "the error box: " + (error ? utf8(boxText(error)) : std::string()));
    if (!error)
        return;
    pressIn(error, IDOK);
    // The mode word still runs, in a window of its own.
    HWND files = waitFor([&] { return topLevel(program.id(), L"Archivo XML", kDialogClass); });
    check(files != nullptr, "the mode word runs");
    if (files)
        pressIn(files, IDCANCEL);
    HWND box = waitFor([&] { return topLevel(program.id(), L"Tramazel", kDialogClass); });
    if (box)
        pressIn(box, IDOK);
    pump(1000);
    HWND main = topLevel(program.id(), kMainCaption, kMainClass);
    check(main && (GetWindowLongPtrW(main, GWL_STYLE) & WS_CAPTION) == WS_CAPTION,
        "the window stays, top-level, with its caption");
    if (main)
        press(child(main, L"Button", L"&Salir"));
    check(program.waitExit(10000) == 0, "\"Salir\" ends it");
    check(!fs::exists(ini), "no Zelvano.ini written");
}

void help(const fs::path& exe)
{
    g_case = "help";
    check(fs::exists(exe.parent_path() / "IB.chm"), "IB.chm beside tramazel.exe");
    Program program;
    start(program, exe, L"");
    HWND main = waitFor([&] { return topLevel(program.id(), kMainCaption, kMainClass); });
    if (!main)
        return check(false, "the main window appears");
    // The help window's contents tree; its pages need a browser engine Wine lacks here.
    auto helpWindow = [&] {
        HWND window = topLevel(program.id(), nullptr, L"HH Parent");
        HWND tree = window ? child(window, WC_TREEVIEWW) : nullptr;
        return tree && SendMessageW(tree, TVM_GETCOUNT, 0, 0) > 0 ? window : nullptr;
    };
    press(child(main, L"Button", L"F1 AYUDA"));
    HWND contents = waitFor(helpWindow);
    check(contents != nullptr, "\"F1 AYUDA\" shows the help with its contents");
    if (contents)
        PostMessageW(contents, WM_CLOSE, 0, 0);
    waitFor([&] { return topLevel(program.id(), nullptr, L"HH Parent") == nullptr; }, 5000);
    key(child(main, L"Button", L"&Salir"), VK_F1);
    check(waitFor(helpWindow) != nullptr, "F1 on a button shows the help");
    PostMessageW(main, WM_CLOSE, 0, 0);
    check(program.waitExit(10000) == 0, "closing the window ends the program, help window and all");
}

int run(const fs::path& exeDir, const fs::path& centre)
{
    const fs::path exe = exeDir / "tramazel.exe";
    const std::vector<std::function<void()>> cases {
        [&] { standaloneWindowAndImport(exe, centre); },
        [&] { hostModeCancelledDialog(exe); },
        [&] { hostWindowDestroyed(exe); },
        [&] { badHandle(exe); },
        [&] { help(exe); },
    };
    for (const auto& c : cases) {
        const int before = g_failures;
        c();
        std::cout << (g_failures == before ? "ok   " : "FAIL ") << g_case << std::endl;
    }
    std::cout << (g_failures == 0 ? "all window cases passed" : "window cases failed") << std::endl;
    return g_failures == 0 ? 0 : 1;
}

int pose(const fs::path& exeDir, const fs::path& placeFile, const fs::path& doneFile)
{
    g_case = "screenshot";
    Program program;
    start(program, exeDir / "tramazel.exe", L"");
    HWND main = waitFor([&] { return topLevel(program.id(), kMainCaption, kMainClass); });
    if (!main) {
        check(false, "the main window appears");
        return 1;
    }
    pump(1500);
    POINT origin {};
    ClientToScreen(main, &origin);
    const SIZE size = clientSize(main);
    {
        std::ofstream out(placeFile);
        out << origin.x << ' ' << origin.y << ' ' << size.cx << ' ' << size.cy << '\n';
    }
    waitFor([&] { return fs::exists(doneFile); }, 60000);
    PostMessageW(main, WM_CLOSE, 0, 0);
    return program.waitExit(10000) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    platform::useUtf8Console();
    const std::vector<std::string> args = platform::commandLineArguments(argc, argv);
    auto path = [&](std::size_t i) { return fs::path(platform::utf8ToWide(args[i])); };
    if (args.size() == 3 && args[0] == "run")
        return run(path(1), path(2));
    if (args.size() == 4 && args[0] == "pose")
        return pose(path(1), path(2), path(3));
    std::cerr << "usage: tramazel-window-test run EXEDIR CENTRE | pose EXEDIR PLACEFILE DONEFILE\n";
    return 2;
}
