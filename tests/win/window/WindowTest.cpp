// SPDX-License-Identifier: GPL-3.0-or-later
// Drives tramazel.exe from outside, as a person (or Zelvano) would: it starts the
// program, finds its windows and dialogs, works them by messages and checks what
// they show and the tables and INI file they leave.
//
//   tramazel-window-test run <folder of tramazel.exe> <centre file> [<part of a case's name>]
//   tramazel-window-test pose <folder of tramazel.exe> <place file> <done file> [<centre file>]
//   tramazel-window-test pose-host <folder of tramazel.exe> <place file> <done file>
//
// "run" runs every case (or those whose name contains the part given) and exits
// with 1 when one failed. "pose" shows the main window, or with a centre file the
// course-level window of its import, for a screenshot: it writes the window's place
// on the screen ("left top width height": the main window's client area, the
// course-level window's frame) to the place file, then a line "x y red green blue
// what" for each point of the main window whose colour its panels decide, and waits
// for the done file to appear. "pose-host" does the same for the main window in host
// mode, inside a window of its own playing Zelvano's, then closes it and checks the
// result code in Zelvano.ini.
//
// What the windows show and where is compared with the program's own description
// of them (shell/WindowLayouts.h, centre_import::CourseLevelGrid).
#include "Version.h"
#include "ZelvanoTables.h"
#include "centre_import/CourseLevelGrid.h"
#include "centre_import/DirectoryLock.h"
#include "dbf/DbfTable.h"
#include "platform/Console.h"
#include "platform/Platform.h"
#include "platform/Utf16.h"
#include "shell/ProgramTexts.h"
#include "shell/WindowLayouts.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace tramazel;
using centre_import::CourseLevelGrid;
namespace main_layout = shell::main_window;
namespace grid_layout = shell::course_levels_window;

namespace {

std::wstring wide(std::string_view utf8)
{
    return platform::utf8ToWide(utf8);
}

const std::wstring kMainCaption = wide(main_layout::kCaption);
const std::wstring kGridCaption = wide(grid_layout::kCaption);
const std::wstring kBoxCaption = wide(shell::kApplicationTitle);
const wchar_t* const kMainClass = L"TramazelMainWindow";
const wchar_t* const kGridClass = L"TramazelCursos";
const wchar_t* const kDialogClass = L"#32770";
const wchar_t* const kHelpClass = L"HH Parent";
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
    // Where the host's client area is on the screen.
    POINT clientOrigin() const
    {
        POINT origin {};
        ClientToScreen(window, &origin);
        return origin;
    }
};

// How the converter places itself in the host's window: what the program decides
// for this system (under Wine a pop-up over the host), or what the environment
// variable TRAMAZEL_HOST_WINDOW, inherited by the program, makes it.
enum class Placement { Child, Popup };

struct PlacementSetting {
    explicit PlacementSetting(Placement placement)
    {
        SetEnvironmentVariableW(L"TRAMAZEL_HOST_WINDOW", placement == Placement::Child ? L"child" : L"popup");
    }
    ~PlacementSetting() { SetEnvironmentVariableW(L"TRAMAZEL_HOST_WINDOW", nullptr); }
    PlacementSetting(const PlacementSetting&) = delete;
    PlacementSetting& operator=(const PlacementSetting&) = delete;
};

const char* nameOf(Placement placement)
{
    return placement == Placement::Child ? "child" : "pop-up";
}

// The converter's window in the host's, placed as `placement` says, or null.
HWND converterIn(const HostWindow& host, const Program& program, Placement placement)
{
    if (placement == Placement::Child)
        return host.converter();
    HWND popup = topLevel(program.id(), nullptr, kMainClass);
    return popup && GetWindow(popup, GW_OWNER) == host.window ? popup : nullptr;
}

POINT clientOriginOf(HWND window)
{
    POINT origin {};
    ClientToScreen(window, &origin);
    return origin;
}

// The converter in the host's window: a child at 0,0 of the host, or a pop-up the
// host owns exactly over its client area; no caption or frame, the layout's size.
void checkPlacement(HWND converter, const HostWindow& host, Placement placement)
{
    const LONG_PTR style = GetWindowLongPtrW(converter, GWL_STYLE);
    check(!(style & WS_CAPTION) && !(style & WS_THICKFRAME), "no caption or frame");
    if (placement == Placement::Child) {
        check(
            GetParent(converter) == host.window && IsChild(host.window, converter), "GetParent and IsChild");
        check(style & WS_CHILD, "WS_CHILD");
        const RECT r = placeIn(converter, host.window);
        check(r.left == 0 && r.top == 0, "at 0,0 of the host");
    } else {
        check(!(style & WS_CHILD) && (style & WS_POPUP), "WS_POPUP, not a child");
        check(GetWindow(converter, GW_OWNER) == host.window, "owned by the host's window");
        const POINT origin = clientOriginOf(converter);
        const POINT hostOrigin = host.clientOrigin();
        check(origin.x == hostOrigin.x && origin.y == hostOrigin.y,
            "over the host's client area: at " + std::to_string(origin.x) + "," + std::to_string(origin.y)
                + ", the host's client area at " + std::to_string(hostOrigin.x) + ","
                + std::to_string(hostOrigin.y));
    }
    const SIZE size = clientSize(converter);
    check(size.cx == main_layout::kClientSize.width && size.cy == main_layout::kClientSize.height,
        "the client size inside the host");
}

// A box centred over `window` (within a pixel or two of rounding).
void checkCentredOver(HWND box, HWND window, const std::string& what)
{
    RECT b {};
    RECT w {};
    GetWindowRect(box, &b);
    GetWindowRect(window, &w);
    const LONG dx = (b.left + b.right) / 2 - (w.left + w.right) / 2;
    const LONG dy = (b.top + b.bottom) / 2 - (w.top + w.bottom) / 2;
    check(dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2,
        what + " centred over the window: off by " + std::to_string(dx) + "," + std::to_string(dy));
}

// Every file of the timetable directory with its bytes, but the directory's lock
// file, which the first run makes and none removes.
std::vector<std::pair<std::string, std::string>> snapshot(const fs::path& folder)
{
    std::vector<std::pair<std::string, std::string>> files;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        if (entry.is_regular_file() && entry.path().filename() != centre_import::kLockFileName)
            files.emplace_back(utf8(entry.path().wstring()), readFile(entry.path()));
    std::sort(files.begin(), files.end());
    return files;
}

// The place, in the client area, of a control the layout puts at `place` on `panel`.
RECT expectedPlace(const shell::Rect& place, const shell::PanelSpec* panel = nullptr)
{
    const int left = (panel ? panel->place.left : 0) + place.left;
    const int top = (panel ? panel->place.top : 0) + place.top;
    return RECT { left, top, left + place.width, top + place.height };
}

bool samePlace(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string describe(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + ","
        + std::to_string(r.bottom);
}

// A button of the main window, at its place on its panel (the directions' buttons
// may have the same caption).
HWND buttonAt(HWND main, const shell::ButtonSpec& spec, const shell::PanelSpec& panel)
{
    for (HWND button : children(main, L"Button", wide(spec.caption).c_str()))
        if (samePlace(placeIn(button, main), expectedPlace(spec.place, &panel)))
            return button;
    return nullptr;
}

// A key pressed and released on the keyboard, as a person does it, in `window`
// (brought to the front first). Unlike a posted WM_KEYDOWN it goes through the
// system's input handling: F1 becomes a WM_HELP there.
void pressKey(HWND window, WORD virtualKey)
{
    SetForegroundWindow(window);
    waitFor([&] { return GetForegroundWindow() == window; }, 5000);
    INPUT input[2] {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wVk = virtualKey;
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    if (SendInput(2, input, sizeof(INPUT)) != 2)
        check(false, "SendInput");
}

// A help window of `process` owned by `owner`, with its contents tree filled (its
// pages need a browser engine Wine lacks here).
HWND helpWindowOf(DWORD process, HWND owner)
{
    HWND window = topLevel(process, nullptr, kHelpClass);
    if (!window || GetWindow(window, GW_OWNER) != owner)
        return nullptr;
    HWND tree = child(window, WC_TREEVIEWW);
    return tree && SendMessageW(tree, TVM_GETCOUNT, 0, 0) > 0 ? window : nullptr;
}

// The stand-in for HTML Help (help-recorder.dll, beside this program) and what it
// recorded: one request per line, "<command> <data> <calling window> <file>".
struct HelpRequest {
    unsigned command = 0;
    unsigned long long data = 0;
    HWND caller = nullptr;
    std::string file;
};
constexpr unsigned kHelpContextCommand = 0x000F; // HH_HELP_CONTEXT
constexpr unsigned kDisplayTocCommand = 0x0001; // HH_DISPLAY_TOC

std::vector<HelpRequest> helpRequests(const fs::path& folder)
{
    // Whole lines only: the recorder may be writing the next one.
    std::string text = readFile(folder / "help-requests.txt");
    const std::size_t end = text.rfind('\n');
    text.resize(end == std::string::npos ? 0 : end + 1);
    std::vector<HelpRequest> requests;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        HelpRequest request;
        unsigned long long caller = 0;
        if (!(fields >> request.command >> request.data >> std::hex >> caller >> std::ws))
            continue;
        std::getline(fields, request.file);
        if (!request.file.empty() && request.file.back() == '\r')
            request.file.pop_back();
        request.caller = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(caller));
        requests.push_back(request);
    }
    return requests;
}

std::string describe(const std::vector<HelpRequest>& requests)
{
    std::ostringstream text;
    for (const HelpRequest& r : requests)
        text << " [" << r.command << " " << r.data << " " << utf8(classOf(r.caller)) << " " << r.file << "]";
    return text.str();
}

// The help requests since the first `seen`, once `count` of them are there.
std::vector<HelpRequest> newHelpRequests(const fs::path& folder, std::size_t seen, std::size_t count)
{
    waitFor([&] { return helpRequests(folder).size() >= seen + count; });
    std::vector<HelpRequest> all = helpRequests(folder);
    return std::vector<HelpRequest>(
        all.begin() + static_cast<std::ptrdiff_t>(std::min(seen, all.size())), all.end());
}

bool isContextRequest(const HelpRequest& request, int context, HWND caller)
{
    const bool helpFile = request.file.size() >= shell::kHelpFileName.size()
        && request.file.compare(request.file.size() - shell::kHelpFileName.size(),
               shell::kHelpFileName.size(), shell::kHelpFileName)
            == 0;
    return request.command == kHelpContextCommand && request.data == static_cast<unsigned long long>(context)
        && request.caller == caller && helpFile;
}

// The centre import from the main window up to its course-level window: the file
// dialog gets `centre`. The course-level window, or null.
HWND openCourseLevels(const Program& program, const fs::path& centre)
{
    HWND files = waitFor([&] { return topLevel(program.id(), L"Archivo XML", kDialogClass); });
    check(files != nullptr, "the file dialog \"Archivo XML\"");
    if (!files)
        return nullptr;
    // The file name field: an edit (edt1) or a combo box (cmb13), by the dialog's age.
    HWND name = GetDlgItem(files, 0x480);
    if (!name)
        name = GetDlgItem(files, 0x47C);
    check(name != nullptr, "the file name field");
    SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(centre.wstring().c_str()),
        SMTO_ABORTIFHUNG, 5000, nullptr);
    pressIn(files, IDOK);
    HWND grid = waitFor([&] { return topLevel(program.id(), kGridCaption.c_str(), kGridClass); }, 30000);
    check(grid != nullptr, "the course-level window");
    return grid;
}

HWND question(const Program& program)
{
    return waitFor([&] { return topLevel(program.id(), kQuestionCaption, kDialogClass); }, 30000);
}

HWND finalBox(const Program& program)
{
    return waitFor([&] { return topLevel(program.id(), kBoxCaption.c_str(), kDialogClass); }, 30000);
}

// A box captioned "Tramazel" other than `previous` (which may still be closing).
HWND nextBox(const Program& program, HWND previous)
{
    return waitFor(
        [&]() -> HWND {
            HWND box = topLevel(program.id(), kBoxCaption.c_str(), kDialogClass);
            return box == previous ? nullptr : box;
        },
        30000);
}

// When TRAMAZEL_DIALOG_SHOTS names a folder, the picture of the screen where `window`
// is goes there as NAME.bmp, for a person to look at.
void keepShot(HWND window, const char* name)
{
    const char* folder = std::getenv("TRAMAZEL_DIALOG_SHOTS");
    if (!folder || !*folder || !window)
        return;
    pump(500);
    RECT r {};
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD rowBytes = static_cast<DWORD>((width * 3 + 3) & ~3);
    info.biSizeImage = rowBytes * static_cast<DWORD>(height);
    std::vector<char> pixels(info.biSizeImage);
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
        reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file {};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::ofstream out(fs::path(folder) / (std::string(name) + ".bmp"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&info), sizeof(info));
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

// Opens a task dialog's expanded information: its one button that is neither of
// `known` captions.
void openDetails(HWND box, std::initializer_list<std::wstring> known)
{
    for (HWND button : children(box, L"Button")) {
        const std::wstring caption = textOf(button);
        if (std::find(known.begin(), known.end(), caption) == known.end())
            press(button);
    }
    pump(300);
}

// The question's whole text shows above its check box: the text's control is as high
// as its text needs at its width in the message font, and the check box and the
// buttons follow below it, inside the box.
void checkQuestionLayout(HWND box, HWND checkBox)
{
    HWND message = nullptr;
    for (HWND s : children(box, L"Static"))
        if (textOf(s).find(L"\u00bfQuiere") == 0)
            message = s;
    check(message != nullptr, "the question's text");
    if (!message || !checkBox)
        return;
    const RECT text = placeIn(message, box);
    const RECT tick = placeIn(checkBox, box);
    NONCLIENTMETRICSW metrics {};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    const std::wstring body = textOf(message);
    RECT need { 0, 0, text.right - text.left, 0 };
    DrawTextW(dc, body.c_str(), static_cast<int>(body.size()), &need,
        DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    check(text.bottom - text.top >= need.bottom,
        "the text's control holds its whole text: " + std::to_string(text.bottom - text.top) + " px of "
            + std::to_string(need.bottom));
    check(text.bottom <= tick.top, "the check box below the text: " + describe(text) + " " + describe(tick));
    for (int id : { IDOK, IDCANCEL }) {
        if (HWND button = GetDlgItem(box, id))
            check(placeIn(button, box).top >= tick.bottom,
                "the buttons below the check box: " + describe(placeIn(button, box)) + " " + describe(tick)
                    + " " + describe(text));
    }
    const SIZE client = clientSize(box);
    check(tick.right <= client.cx && text.right <= client.cx, "text and check box inside the box");
}

// ---------------------------------------------------------------------------------

void standaloneWindowAndImport(const fs::path& exe, const fs::path& centre)
{
    freshTimetableDirectory();
    const fs::path ini = exe.parent_path() / "Zelvano.ini";
    fs::remove(ini);
    Program program;
    start(program, exe, L"");
    HWND main = waitFor([&] { return topLevel(program.id(), kMainCaption.c_str(), kMainClass); });
    check(main != nullptr, "the main window appears");
    if (!main)
        return;

    const SIZE size = clientSize(main);
    check(size.cx == main_layout::kClientSize.width && size.cy == main_layout::kClientSize.height,
        "the main window's client size, is " + std::to_string(size.cx) + "x" + std::to_string(size.cy));
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
        std::string_view text;
        RECT place; // in the client area
    };
    const Control controls[] = {
        { L"Static", main_layout::kImportTitle.text,
            expectedPlace(main_layout::kImportTitle.place, &main_layout::kImportPanel) },
        { L"Static", main_layout::kExportTitle.text,
            expectedPlace(main_layout::kExportTitle.place, &main_layout::kExportPanel) },
        { L"Static", main_layout::kVersionLabel.text,
            expectedPlace(main_layout::kVersionLabel.place, &main_layout::kFooterPanel) },
        { L"Button", main_layout::kCloseButton.caption,
            expectedPlace(main_layout::kCloseButton.place, &main_layout::kFooterPanel) },
        { L"Button", main_layout::kHelpButton.caption,
            expectedPlace(main_layout::kHelpButton.place, &main_layout::kFooterPanel) },
    };
    for (const Control& c : controls) {
        HWND found = child(main, c.cls, wide(c.text).c_str());
        check(found != nullptr, "control \"" + std::string(c.text) + "\"");
        if (!found)
            continue;
        const RECT r = placeIn(found, main);
        check(samePlace(r, c.place), "place of \"" + std::string(c.text) + "\": " + describe(r));
    }
    HWND importButton = buttonAt(main, main_layout::kImportButton, main_layout::kImportPanel);
    HWND exportButton = buttonAt(main, main_layout::kExportButton, main_layout::kExportPanel);
    check(importButton != nullptr, "the import button on the left panel");
    check(exportButton != nullptr, "the export button on the right panel");
    if (!importButton)
        return;
    check(SendMessageW(importButton, BM_GETIMAGE, IMAGE_ICON, 0) != 0, "the check-mark glyph");
    // Away from the middle of the screen, where the system would put a box, so that
    // the boxes of the run show they open over the window.
    SetWindowPos(main, nullptr, 8, 8, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    // Enter presses the focused button: the import button has the focus at start.
    check(focusOf(program) == importButton, "the focus starts on the import button");
    key(importButton, VK_RETURN);

    HWND grid = openCourseLevels(program, centre);
    if (!grid)
        return;
    const SIZE gridSize = clientSize(grid);
    check(gridSize.cx == grid_layout::kClientSize.width && gridSize.cy == grid_layout::kClientSize.height,
        "the course-level window's client size");
    HWND notice = child(grid, L"Static", wide(grid_layout::kNotice.text).c_str());
    check(
        notice && samePlace(placeIn(notice, grid), expectedPlace(grid_layout::kNotice.place)), "the notice");
    HWND continueButton = child(grid, L"Button", wide(grid_layout::kContinueButton.caption).c_str());
    check(continueButton
            && samePlace(placeIn(continueButton, grid), expectedPlace(grid_layout::kContinueButton.place)),
        "\"Continuar\"");
    HWND list = child(grid, WC_LISTVIEWW);
    check(list && samePlace(placeIn(list, grid), expectedPlace(grid_layout::kGridPlace)), "the grid's place");
    check(list && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 14, "one line per course of the file");
    HWND header = list ? reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)) : nullptr;
    check(header && SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) == CourseLevelGrid::kColumnCount,
        "a column per column of the grid");
    HWND editor = list ? child(list, L"Edit") : nullptr;
    check(editor && focusOf(program) == editor, "the first level cell is being edited");
    if (!editor)
        return;
    check(SendMessageW(editor, EM_GETLIMITTEXT, 0, 0)
            == CourseLevelGrid::column(CourseLevelGrid::Level).maxLength,
        "the level cell takes the level's length");

    // F1 shows the help over the window; the window goes on where it was.
    pressKey(grid, VK_F1);
    HWND gridHelp = waitFor([&] { return helpWindowOf(program.id(), grid); });
    check(gridHelp != nullptr, "F1 shows the help over the course-level window");
    if (gridHelp) {
        PostMessageW(gridHelp, WM_CLOSE, 0, 0);
        waitFor([&] { return !IsWindow(gridHelp); }, 5000);
    }

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

    HWND box = question(program);
    check(box != nullptr, "the subject-lines question");
    if (!box)
        return;
    const std::wstring questionText = boxText(box);
    check(questionText.find(L"\u00bfQuiere crear autom\u00e1ticamente las L\u00edneas de Asignaturas \r\n")
            == 0,
        "the question's first line and the Windows line break");
    check(
        questionText.find(L"\r\n                            \u00bfCrear L\u00edneas?") != std::wstring::npos,
        "the question's last line");
    HWND namedGroups
        = child(box, L"Button", wide(shell::subject_lines_question::kNamedGroupsCaption).c_str());
    check(namedGroups != nullptr, "the check box for the named groups");
    if (namedGroups)
        check(SendMessageW(namedGroups, BM_GETCHECK, 0, 0) == BST_UNCHECKED, "the check box starts clear");
    check(GetDlgItem(box, IDOK) && GetDlgItem(box, IDCANCEL), "OK and Cancel");
    checkQuestionLayout(box, namedGroups);
    checkCentredOver(box, main, "the question");

    // F1 shows the help over the question, which stays; answering it closes the
    // help with it.
    pressKey(box, VK_F1);
    HWND questionHelp = waitFor([&] { return helpWindowOf(program.id(), box); });
    check(questionHelp != nullptr, "F1 shows the help over the question");
    check(IsWindowVisible(box), "the question stays");
    pressIn(box, IDOK);

    // The look before replacing: a first import, so the counts; the default button
    // replaces the tables.
    namespace review = shell::replace_tables_question;
    HWND replace = finalBox(program);
    check(replace && boxText(replace).find(L"Se van a crear las tablas de Zelvano:") != std::wstring::npos,
        "the review before replacing: " + (replace ? utf8(boxText(replace)) : std::string()));
    if (!replace)
        return;
    checkCentredOver(replace, main, "the review before replacing");
    if (questionHelp)
        check(!IsWindow(questionHelp), "the question's help went with it");
    HWND accept = child(replace, L"Button", wide(review::kAcceptCaption).c_str());
    check(accept != nullptr, "the button \"Reemplazar las tablas\"");
    check(child(replace, L"Button", wide(review::kDontAskAgainCaption).c_str()) != nullptr,
        "the check box \"No volver a preguntar\"");
    keepShot(replace, "review");
    openDetails(replace,
        { wide(review::kAcceptCaption), wide(review::kRejectCaption), wide(review::kDontAskAgainCaption) });
    keepShot(replace, "review_details");
    if (accept)
        press(accept);

    HWND done = nextBox(program, replace);
    const std::wstring doneText = done ? boxText(done) : std::wstring();
    check(doneText.find(wide(shell::kDoneMessage)) != std::wstring::npos
            && doneText.find(L"Tablas importadas (registros): ASIGNOMT 302") != std::wstring::npos,
        "\"Proceso finalizado\" and the tables: " + utf8(doneText));
    if (!done)
        return;
    checkCentredOver(done, main, "\"Proceso finalizado\"");
    keepShot(done, "report");
    openDetails(done, { L"OK" });
    keepShot(done, "report_details");
    pressIn(done, IDOK);
    pump(300);

    // What the grid posted, and where the groups took it.
    struct Line {
        std::uint32_t record;
        std::string nivel;
        std::string curso;
    };
    const Line lines[] = { { 1, "ESO2", "1" },
        { 2, CourseLevelGrid::cut(CourseLevelGrid::Level, "BACHILLER"),
            CourseLevelGrid::cut(CourseLevelGrid::CourseNumber, "1234") },
        { 3, "", "" } };
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
    HWND quit = child(main, L"Button", wide(main_layout::kCloseButton.caption).c_str());
    press(quit);
    check(program.waitExit(10000) == 0, "\"Salir\" ends the program with code 0");
    check(!fs::exists(ini), "interactive use writes no Zelvano.ini");
}

void hostModeCancelledDialog(const fs::path& exe)
{
    const fs::path ini = exe.parent_path() / "Zelvano.ini";
    fs::remove(ini);
    HostWindow host;
    Program program;
    start(program, exe, L"ExPortar " + host.handleText());
    // Under Wine the converter floats over the host: a child of another process's
    // window is never drawn there.
    HWND embedded = waitFor([&] { return converterIn(host, program, Placement::Popup); });
    check(embedded != nullptr, "the converter's window is a pop-up over the host");
    if (embedded)
        checkPlacement(embedded, host, Placement::Popup);
    HWND files = waitFor([&] { return topLevel(program.id(), L"Archivo XML", kDialogClass); });
    check(files != nullptr, "the mode word (any letter case) opens the import's file dialog");
    if (!files)
        return;
    pressIn(files, IDCANCEL);
    HWND box = waitFor([&] { return topLevel(program.id(), kBoxCaption.c_str(), kDialogClass); });
    check(box && boxText(box) == wide(shell::kNoFileMessage), "\"No existe archivo\"");
    if (box && embedded)
        checkCentredOver(box, embedded, "\"No existe archivo\"");
    if (box)
        pressIn(box, IDOK);
    check(program.waitExit(10000) == 0, "the converter closes itself");
    check(iniHolds(ini, "-1"), "Zelvano.ini holds -1: " + readFile(ini));
    check(IsWindow(host.window), "the host window stays");
}

void hostWindowDestroyed(const fs::path& exe, Placement placement)
{
    const fs::path ini = exe.parent_path() / "Zelvano.ini";
    fs::remove(ini);
    PlacementSetting setting(placement);
    HostWindow host;
    Program program;
    // A mode word that runs nothing: the window embeds and waits.
    start(program, exe, L"ninguna " + host.handleText());
    HWND embedded = waitFor([&] { return converterIn(host, program, placement); });
    check(embedded != nullptr, std::string("the converter's window in the host, as a ") + nameOf(placement));
    if (!embedded)
        return;
    checkPlacement(embedded, host, placement);
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
    if (placement == Placement::Child) {
        check(topLevel(program.id(), nullptr) == nullptr, "no window of the converter outside the host");
    } else {
        // The pop-up follows the host's window as it moves.
        const POINT start = clientOriginOf(embedded);
        SetWindowPos(host.window, nullptr, 120, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        const POINT target = host.clientOrigin();
        check(target.x != start.x || target.y != start.y, "the host moves");
        const auto moved = std::chrono::steady_clock::now();
        const bool followed = waitFor(
            [&] {
                const POINT origin = clientOriginOf(embedded);
                return origin.x == target.x && origin.y == target.y;
            },
            3000);
        const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - moved);
        check(followed, "the pop-up follows the host's window to its new place");
        std::cout << "     the pop-up followed the host in " << static_cast<int>(ms.count()) << " ms"
                  << std::endl;
        checkPlacement(embedded, host, placement);
    }
    const auto before = std::chrono::steady_clock::now();
    DestroyWindow(host.window);
    const long code = program.waitExit(10000);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    check(code == 0, "the converter ends");
    std::cout << "     the process ended " << static_cast<int>(seconds * 1000)
              << " ms after the host's window" << std::endl;
    check(seconds < 1.0, "within a few tenths of a second (" + std::to_string(seconds) + " s)");
    check(iniHolds(ini, "0"), "Zelvano.ini holds 0: " + readFile(ini));
}

// The host's window goes while the import asks something: the import stops, the
// timetable directory stays as it was, the program ends with "nothing done" (-1).
enum class OpenPrompt { FileDialog, CourseLevels, Question };

void hostGoneDuringPrompt(const fs::path& exe, const fs::path& centre, Placement placement, OpenPrompt prompt)
{
    freshTimetableDirectory();
    const auto tablesBefore = snapshot(kQtemp);
    const fs::path ini = exe.parent_path() / "Zelvano.ini";
    fs::remove(ini);
    PlacementSetting setting(placement);
    HostWindow host;
    Program program;
    start(program, exe, L"exportar " + host.handleText());
    check(waitFor([&] { return converterIn(host, program, placement); }) != nullptr,
        "the converter's window in the host");
    if (prompt == OpenPrompt::FileDialog) {
        if (!waitFor([&] { return topLevel(program.id(), L"Archivo XML", kDialogClass); }))
            return check(false, "the file dialog");
    }
    HWND grid = prompt == OpenPrompt::FileDialog ? nullptr : openCourseLevels(program, centre);
    if (prompt != OpenPrompt::FileDialog && !grid)
        return;
    if (prompt == OpenPrompt::Question) {
        PostMessageW(grid, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (!question(program))
            return check(false, "the subject-lines question");
    }
    const auto before = std::chrono::steady_clock::now();
    DestroyWindow(host.window);
    const long code = program.waitExit(10000);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    std::cout << "     the process ended " << static_cast<int>(seconds * 1000)
              << " ms after the host's window" << std::endl;
    check(code == 0, "the converter ends, code " + std::to_string(code));
    check(seconds < 1.0, "within a few tenths of a second (" + std::to_string(seconds) + " s)");
    check(iniHolds(ini, "-1"), "Zelvano.ini holds -1 (nothing done): " + readFile(ini));
    const auto tablesAfter = snapshot(kQtemp);
    std::string changed;
    for (const auto& file : tablesAfter)
        if (std::find(tablesBefore.begin(), tablesBefore.end(), file) == tablesBefore.end())
            changed += " " + file.first;
    for (const auto& file : tablesBefore)
        if (std::find(tablesAfter.begin(), tablesAfter.end(), file) == tablesAfter.end())
            changed += " -" + file.first;
    check(changed.empty(), "the timetable directory is as it was; changed:" + changed);
}

void badHandle(const fs::path& exe)
{
    const fs::path ini = exe.parent_path() / "Zelvano.ini";
    fs::remove(ini);
    Program program;
    start(program, exe, L"exportar 12G4");
    HWND error = waitFor([&] { return topLevel(program.id(), kBoxCaption.c_str(), kDialogClass); });
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
    HWND box = waitFor([&] { return topLevel(program.id(), kBoxCaption.c_str(), kDialogClass); });
    if (box)
        pressIn(box, IDOK);
    pump(1000);
    HWND main = topLevel(program.id(), kMainCaption.c_str(), kMainClass);
    check(main && (GetWindowLongPtrW(main, GWL_STYLE) & WS_CAPTION) == WS_CAPTION,
        "the window stays, top-level, with its caption");
    if (main)
        press(child(main, L"Button", wide(main_layout::kCloseButton.caption).c_str()));
    check(program.waitExit(10000) == 0, "\"Salir\" ends it");
    check(!fs::exists(ini), "no Zelvano.ini written");
}

void help(const fs::path& exe)
{
    check(fs::exists(exe.parent_path() / "IB.chm"), "IB.chm beside tramazel.exe");
    Program program;
    start(program, exe, L"");
    HWND main = waitFor([&] { return topLevel(program.id(), kMainCaption.c_str(), kMainClass); });
    if (!main)
        return check(false, "the main window appears");
    // The help window's contents tree; its pages need a browser engine Wine lacks here.
    auto helpWindow = [&] {
        HWND window = topLevel(program.id(), nullptr, kHelpClass);
        HWND tree = window ? child(window, WC_TREEVIEWW) : nullptr;
        return tree && SendMessageW(tree, TVM_GETCOUNT, 0, 0) > 0 ? window : nullptr;
    };
    press(child(main, L"Button", wide(main_layout::kHelpButton.caption).c_str()));
    HWND contents = waitFor(helpWindow);
    check(contents != nullptr, "\"F1 AYUDA\" shows the help with its contents");
    if (contents)
        PostMessageW(contents, WM_CLOSE, 0, 0);
    waitFor([&] { return topLevel(program.id(), nullptr, kHelpClass) == nullptr; }, 5000);
    pressKey(main, VK_F1);
    check(waitFor(helpWindow) != nullptr, "F1 on the window shows the help");
    PostMessageW(main, WM_CLOSE, 0, 0);
    check(program.waitExit(10000) == 0, "closing the window ends the program, help window and all");
}

void contextHelpRequests(const fs::path& exe, const fs::path& centre)
{
    // A copy of the program whose HTML Help is the recorder.
    const fs::path folder = exe.parent_path().parent_path() / "app-help-recorded";
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
    // Windows loads a library beside the program before the system's; Wine prefers
    // its own unless its settings for the program (by file name) say otherwise.
    const fs::path recorded = folder / "tramazel-help-recorded.exe";
    fs::copy_file(exe, recorded);
    HKEY overrides = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER,
            L"Software\\Wine\\AppDefaults\\tramazel-help-recorded.exe\\DllOverrides", 0, nullptr, 0,
            KEY_SET_VALUE, nullptr, &overrides, nullptr)
        == ERROR_SUCCESS) {
        const std::wstring native = L"native";
        RegSetValueExW(overrides, L"hhctrl.ocx", 0, REG_SZ, reinterpret_cast<const BYTE*>(native.c_str()),
            static_cast<DWORD>((native.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(overrides);
    }
    fs::copy_file(exe.parent_path() / shell::kHelpFileName, folder / shell::kHelpFileName);
    fs::copy_file(platform::executablePath().parent_path() / "help-recorder.dll", folder / "hhctrl.ocx");
    freshTimetableDirectory();

    Program program;
    start(program, recorded, L"");
    HWND main = waitFor([&] { return topLevel(program.id(), kMainCaption.c_str(), kMainClass); });
    check(main != nullptr, "the main window appears");
    if (!main)
        return;
    HWND helpButton = child(main, L"Button", wide(main_layout::kHelpButton.caption).c_str());
    HWND importButton = buttonAt(main, main_layout::kImportButton, main_layout::kImportPanel);

    // Each key's requests are complete once a later action's request or window has
    // come: "F1 AYUDA" after the main window's F1, the question after the course-level
    // window's, the last box after the question's.
    pressKey(main, VK_F1);
    newHelpRequests(folder, 0, 1);
    press(helpButton);
    std::vector<HelpRequest> requests = newHelpRequests(folder, 0, 2);
    check(requests.size() == 2 && isContextRequest(requests[0], main_layout::kHelpContext, main)
            && requests[1].command == kDisplayTocCommand,
        "F1 on the main window asks once for its context, over it:" + describe(requests));
    std::size_t seen = requests.size();

    press(importButton);
    HWND files = waitFor([&] { return topLevel(program.id(), L"Archivo XML", kDialogClass); });
    check(files != nullptr, "the file dialog \"Archivo XML\"");
    if (!files)
        return;
    pressKey(files, VK_F1);
    requests = newHelpRequests(folder, seen, 1);
    check(requests.size() == 1 && isContextRequest(requests[0], shell::help_context::kImportFile, files),
        "F1 in the import's file dialog asks once for the file-choice topic, over it:" + describe(requests));
    seen += requests.size();
    HWND grid = openCourseLevels(program, centre);
    if (!grid)
        return;
    pressKey(grid, VK_F1);
    newHelpRequests(folder, seen, 1);
    PostMessageW(grid, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = question(program);
    check(box != nullptr, "the subject-lines question");
    requests = newHelpRequests(folder, seen, 1);
    check(requests.size() == 1 && isContextRequest(requests[0], grid_layout::kHelpContext, grid),
        "F1 on the course-level window asks once for its context, over it:" + describe(requests));
    seen += requests.size();
    if (!box)
        return;

    pressKey(box, VK_F1);
    newHelpRequests(folder, seen, 1);
    // The check box's state is kept for the user where it always was: it starts as
    // the value says, and the value follows a click.
    auto namedGroupsOnly = [] {
        DWORD value = 0;
        DWORD length = sizeof(value);
        const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tramazel\\SubjectLines",
            L"NamedGroupsOnly", RRF_RT_REG_DWORD, nullptr, &value, &length);
        return status == ERROR_SUCCESS && value != 0;
    };
    const bool before = namedGroupsOnly();
    HWND namedGroups
        = child(box, L"Button", wide(shell::subject_lines_question::kNamedGroupsCaption).c_str());
    check(namedGroups && (SendMessageW(namedGroups, BM_GETCHECK, 0, 0) == BST_CHECKED) == before,
        "the check box as NamedGroupsOnly under HKEY_CURRENT_USER\\Software\\Tramazel\\SubjectLines says");
    if (namedGroups)
        press(namedGroups);
    pressIn(box, IDOK);
    HWND done = finalBox(program);
    requests = newHelpRequests(folder, seen, 1);
    check(requests.size() == 1
            && isContextRequest(requests[0], shell::subject_lines_question::kHelpContext, box),
        "F1 on the question asks once for its context, over it:" + describe(requests));
    check(namedGroupsOnly() != before, "NamedGroupsOnly follows the check box");
    if (done) {
        pressIn(done, IDOK); // the look before replacing: its default
        if (HWND report = nextBox(program, done))
            pressIn(report, IDOK);
    }
    pump(300);
    press(child(main, L"Button", wide(main_layout::kCloseButton.caption).c_str()));
    check(program.waitExit(10000) == 0, "\"Salir\" ends the program");
}

// The icon and version resources of tramazel.exe, read as Explorer reads them.
void iconAndVersion(const fs::path& exe)
{
    HMODULE module
        = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    check(module != nullptr, "tramazel.exe loads as a resource file");
    if (!module)
        return;
    // The first icon group (GRPICONDIR: 6 bytes, then 14 per image whose first byte
    // is the width, 0 for 256).
    std::vector<int> sizes;
    if (HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON)) {
        const auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, group)));
        const DWORD length = SizeofResource(module, group);
        const int count = length >= 6 ? bytes[4] | (bytes[5] << 8) : 0;
        for (int i = 0; i < count && 6u + 14u * static_cast<unsigned>(i + 1) <= length; ++i) {
            const int width = bytes[6 + 14 * i];
            sizes.push_back(width == 0 ? 256 : width);
        }
    }
    std::sort(sizes.begin(), sizes.end());
    check(sizes == std::vector<int> { 16, 32, 48, 256 }, "an icon of 16, 32, 48 and 256 pixels");
    for (int side : { 16, 32, 48, 256 }) {
        HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, 0);
        check(icon != nullptr, "the icon loads at " + std::to_string(side) + " px");
        if (icon)
            DestroyIcon(static_cast<HICON>(icon));
    }
    FreeLibrary(module);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    std::vector<std::uint8_t> info(size);
    check(size > 0 && GetFileVersionInfoW(exe.c_str(), 0, size, info.data()), "a version resource");
    if (size == 0)
        return;
    auto value = [&](const wchar_t* name) {
        void* text = nullptr;
        UINT length = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\0c0a04b0\\") + name;
        if (!VerQueryValueW(info.data(), path.c_str(), &text, &length) || !text)
            return std::wstring();
        return std::wstring(static_cast<const wchar_t*>(text));
    };
    const struct {
        const wchar_t* name;
        std::wstring expected;
    } fields[] = {
        { L"ProductName", L"Tramazel" },
        { L"FileDescription", L"Tramazel" },
        { L"OriginalFilename", L"tramazel.exe" },
        { L"InternalName", L"tramazel.exe" },
        { L"ProductVersion", wide(kVersion) },
    };
    for (const auto& field : fields)
        check(value(field.name) == field.expected,
            utf8(field.name) + " is \"" + utf8(value(field.name)) + "\"");
}

int run(const fs::path& exeDir, const fs::path& centre, const std::string& only)
{
    const fs::path exe = exeDir / "tramazel.exe";
    const struct {
        const char* name;
        std::function<void()> run;
    } cases[] = {
        { "stand-alone window, import through the dialogs", [&] { standaloneWindowAndImport(exe, centre); } },
        { "host mode, the dialog cancelled", [&] { hostModeCancelledDialog(exe); } },
        { "host mode, the host window destroyed (child)",
            [&] { hostWindowDestroyed(exe, Placement::Child); } },
        { "host mode, the host window destroyed (pop-up)",
            [&] { hostWindowDestroyed(exe, Placement::Popup); } },
        { "host mode, the host window gone during the file dialog (pop-up)",
            [&] { hostGoneDuringPrompt(exe, centre, Placement::Popup, OpenPrompt::FileDialog); } },
        { "host mode, the host window gone during the course levels (pop-up)",
            [&] { hostGoneDuringPrompt(exe, centre, Placement::Popup, OpenPrompt::CourseLevels); } },
        { "host mode, the host window gone during the question (pop-up)",
            [&] { hostGoneDuringPrompt(exe, centre, Placement::Popup, OpenPrompt::Question); } },
        { "host mode, the host window gone during the question (child)",
            [&] { hostGoneDuringPrompt(exe, centre, Placement::Child, OpenPrompt::Question); } },
        { "the program's icon and version", [&] { iconAndVersion(exe); } },
        { "a handle that is not hexadecimal", [&] { badHandle(exe); } },
        { "help", [&] { help(exe); } },
        { "F1's help contexts, recorded", [&] { contextHelpRequests(exe, centre); } },
    };
    for (const auto& c : cases) {
        if (std::string_view(c.name).find(only) == std::string_view::npos)
            continue;
        g_case = c.name;
        const int before = g_failures;
        c.run();
        std::cout << (g_failures == before ? "ok   " : "FAIL ") << g_case << std::endl;
    }
    std::cout << (g_failures == 0 ? "all window cases passed" : "window cases failed") << std::endl;
    return g_failures == 0 ? 0 : 1;
}

// Points of the main window's client area whose colour its panels decide: near the
// top, in the middle and near the bottom of each gradient, beside the controls.
void writeColourSamples(std::ostream& out)
{
    for (const shell::PanelSpec& panel :
        { main_layout::kImportPanel, main_layout::kExportPanel, main_layout::kFooterPanel }) {
        const shell::Rect& r = panel.place;
        const int x = r.left + 4;
        const struct {
            int y;
            shell::Rgb colour;
            const char* where;
        } samples[] = {
            { std::max(r.top, 0) + 1, panel.gradient.top, "top" },
            { r.top + r.height / 2, panel.gradient.middle, "middle" },
            { r.bottom() - 3, panel.gradient.bottom, "bottom" },
        };
        for (const auto& sample : samples)
            out << x << ' ' << sample.y << ' ' << int(sample.colour.red) << ' ' << int(sample.colour.green)
                << ' ' << int(sample.colour.blue) << ' ' << panel.name << '-' << sample.where << '\n';
    }
}

int pose(const fs::path& exeDir, const fs::path& placeFile, const fs::path& doneFile, const fs::path& centre)
{
    g_case = "screenshot";
    if (!centre.empty())
        freshTimetableDirectory();
    Program program;
    start(program, exeDir / "tramazel.exe", L"");
    HWND main = waitFor([&] { return topLevel(program.id(), kMainCaption.c_str(), kMainClass); });
    if (!main) {
        check(false, "the main window appears");
        return 1;
    }
    HWND shown = main;
    if (!centre.empty()) {
        press(buttonAt(main, main_layout::kImportButton, main_layout::kImportPanel));
        shown = openCourseLevels(program, centre);
        if (!shown)
            return 1;
    }
    pump(1500);
    const SIZE size = clientSize(shown);
    const shell::Size expected = centre.empty() ? main_layout::kClientSize : grid_layout::kClientSize;
    check(size.cx == expected.width && size.cy == expected.height,
        "client size " + std::to_string(size.cx) + "x" + std::to_string(size.cy));
    {
        std::ofstream out(placeFile);
        if (centre.empty()) {
            POINT origin {};
            ClientToScreen(main, &origin);
            out << origin.x << ' ' << origin.y << ' ' << size.cx << ' ' << size.cy << '\n';
            writeColourSamples(out);
        } else {
            RECT frame {};
            GetWindowRect(shown, &frame);
            out << frame.left << ' ' << frame.top << ' ' << frame.right - frame.left << ' '
                << frame.bottom - frame.top << '\n';
        }
    }
    waitFor([&] { return fs::exists(doneFile); }, 60000);
    if (!centre.empty())
        return g_failures == 0 ? 0 : 1; // the program ends with the driver, mid-import
    PostMessageW(main, WM_CLOSE, 0, 0);
    return program.waitExit(10000) == 0 && g_failures == 0 ? 0 : 1;
}

// The converter in a host's window for a screenshot: the place file gets the host's
// client area on the screen with the size of the converter's, and the colours its
// panels give there (not the host's grey). Once the screen is taken, "Salir" ends the
// converter, which must leave its result code (0: the mode word ran nothing) in
// Zelvano.ini.
int poseHost(const fs::path& exeDir, const fs::path& placeFile, const fs::path& doneFile)
{
    g_case = "screenshot in the host";
    const fs::path ini = exeDir / "Zelvano.ini";
    fs::remove(ini);
    HostWindow host;
    Program program;
    start(program, exeDir / "tramazel.exe", L"ninguna " + host.handleText());
    HWND converter = waitFor([&] {
        HWND inside = host.converter();
        return inside ? inside : converterIn(host, program, Placement::Popup);
    });
    if (!converter) {
        check(false, "the converter appears in the host");
        return 1;
    }
    pump(1500);
    {
        std::ofstream out(placeFile);
        const POINT origin = host.clientOrigin();
        out << origin.x << ' ' << origin.y << ' ' << main_layout::kClientSize.width << ' '
            << main_layout::kClientSize.height << '\n';
        writeColourSamples(out);
    }
    waitFor([&] { return fs::exists(doneFile); }, 60000);
    press(child(converter, L"Button", wide(main_layout::kCloseButton.caption).c_str()));
    check(program.waitExit(10000) == 0, "\"Salir\" ends the converter");
    check(iniHolds(ini, "0"), "Zelvano.ini holds 0: " + readFile(ini));
    return g_failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    platform::useUtf8Console();
    const std::vector<std::string> args = platform::commandLineArguments(argc, argv);
    auto path = [&](std::size_t i) { return fs::path(platform::utf8ToWide(args[i])); };
    if ((args.size() == 3 || args.size() == 4) && args[0] == "run")
        return run(path(1), path(2), args.size() == 4 ? args[3] : std::string());
    if ((args.size() == 4 || args.size() == 5) && args[0] == "pose")
        return pose(path(1), path(2), path(3), args.size() == 5 ? path(4) : fs::path());
    if (args.size() == 4 && args[0] == "pose-host")
        return poseHost(path(1), path(2), path(3));
    std::cerr << "usage: tramazel-window-test run EXEDIR CENTRE | pose EXEDIR PLACEFILE DONEFILE [CENTRE]"
                 " | pose-host EXEDIR PLACEFILE DONEFILE\n";
    return 2;
}
