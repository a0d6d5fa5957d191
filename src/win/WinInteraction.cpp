// SPDX-License-Identifier: GPL-3.0-or-later
#include "WinInteraction.h"

#include "CourseLevelsWindow.h"
#include "Error.h"
#include "WinUtil.h"
#include "shell/ProgramTexts.h"
#include "shell/WindowLayouts.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

namespace tramazel::win {

namespace {

const std::wstring& applicationTitle()
{
    static const std::wstring title = wide(shell::kApplicationTitle);
    return title;
}

namespace question = shell::subject_lines_question;

// The user's settings of the program: HKEY_CURRENT_USER\Software\<application>\<group>.
std::wstring settingsKey(std::string_view group)
{
    return L"Software\\" + wide(shell::kApplicationTitle) + L"\\" + wide(group);
}

bool readFlag(std::string_view group, std::string_view name)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, settingsKey(group).c_str(), wide(name).c_str(),
        RRF_RT_REG_DWORD, nullptr, &value, &size);
    return status == ERROR_SUCCESS && value != 0;
}

void writeFlag(std::string_view group, std::string_view name, bool on)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, settingsKey(group).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
            &key, nullptr)
        != ERROR_SUCCESS)
        return;
    const DWORD value = on ? 1 : 0;
    RegSetValueExW(
        key, wide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

bool readNamedGroupsOnly()
{
    return readFlag(question::kSettingsGroup, question::kSettingsKey);
}

void writeNamedGroupsOnly(bool on)
{
    writeFlag(question::kSettingsGroup, question::kSettingsKey, on);
}

// A task dialog (comctl32 6, which the manifest asks for) over `owner`: `text`, and
// `details` behind its expando button when there are any, and the state of its check
// box in `checked` when it has one. Gives the button pressed, or 0 when the dialog
// could not be made.
int runTaskDialog(TASKDIALOGCONFIG& config, HWND owner, const std::wstring& text, const std::wstring& details,
    BOOL* checked = nullptr)
{
    config.cbSize = sizeof(config);
    config.hwndParent = owner;
    config.hInstance = GetModuleHandleW(nullptr);
    config.dwFlags |= TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.pszWindowTitle = applicationTitle().c_str();
    config.pszContent = text.c_str();
    if (!details.empty())
        config.pszExpandedInformation = details.c_str();
    int button = 0;
    if (FAILED(TaskDialogIndirect(&config, &button, nullptr, checked)))
        return 0;
    return button;
}

// The import's question is a message box that a CBT hook on this thread catches
// as it is created: it gets its own answer to F1 and, when asked for, the subject
// lines' check box, added once the box has laid itself out (the system may activate
// the box before that), which the hook reads again before the box is destroyed.
struct QuestionBox {
    static constexpr int checkBoxId = 0x5A17;

    const ContextHelp* help = nullptr;
    bool withCheckBox = false;
    bool checked = false;
    HWND box = nullptr;
    HWND checkBox = nullptr;
    WNDPROC boxDefault = nullptr;
    HHOOK hook = nullptr;
};

thread_local QuestionBox* t_question = nullptr;

void addCheckBox(QuestionBox& state, HWND box);

LRESULT CALLBACK questionBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    QuestionBox* state = t_question;
    if (!state || state->box != window || !state->boxDefault)
        return DefDlgProcW(window, message, wParam, lParam);
    if (message == WM_INITDIALOG) {
        const LRESULT result = CallWindowProcW(state->boxDefault, window, message, wParam, lParam);
        if (state->withCheckBox)
            addCheckBox(*state, window);
        return result;
    }
    if (message == WM_HELP) {
        // F1 on any control of the box comes up to here. Answered here, it goes no
        // further: a message box passes it on to its owner, the main window, whose
        // topic it is not.
        if (state->help && *state->help)
            (*state->help)(window, question::kHelpContext);
        return TRUE;
    }
    return CallWindowProcW(state->boxDefault, window, message, wParam, lParam);
}

// The place of `control` in the client area of `box`.
RECT placeInBox(HWND control, HWND box)
{
    RECT place {};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// The height `text` needs in `font` wrapped at `width` pixels, as a static control
// draws it.
int wrappedHeight(HWND control, HFONT font, const std::wstring& text, int width)
{
    HDC dc = GetDC(control);
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    RECT need { 0, 0, width, 0 };
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need,
        DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    if (oldFont)
        SelectObject(dc, oldFont);
    ReleaseDC(control, dc);
    return need.bottom - need.top;
}

// The check box goes between the message and the buttons. The box is laid out again
// from what it holds, not from where the system put things: it widens for the check
// box's caption, the message gets that width and the height its whole text needs at
// it, and the check box and the buttons follow below the message and the icon.
void addCheckBox(QuestionBox& state, HWND box)
{
    auto font = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
    HDC dc = GetDC(box);
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    SIZE textSize {};
    const std::wstring caption = wide(question::kNamedGroupsCaption);
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &textSize);
    if (oldFont)
        SelectObject(dc, oldFont);
    ReleaseDC(box, dc);

    const int margin = scaled(12);
    const int gap = scaled(8);
    const int boxGlyph = GetSystemMetrics(SM_CXMENUCHECK) + scaled(6);
    const int checkWidth = boxGlyph + textSize.cx + scaled(4);
    const int checkHeight = std::max<int>(textSize.cy, GetSystemMetrics(SM_CYMENUCHECK)) + scaled(4);

    RECT client {};
    GetClientRect(box, &client);
    const int widen = std::max(0, checkWidth + 2 * margin - static_cast<int>(client.right));

    // The message: the static control with text; the icon: the one with SS_ICON.
    int contentBottom = 0;
    int buttonsTop = client.bottom;
    std::vector<HWND> buttons;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        // A box may keep the controls it does not use, hidden (Wine keeps every kind
        // of button): they take no room. The box itself is not shown yet.
        if (!(GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE))
            continue;
        wchar_t className[16] {};
        GetClassNameW(child, className, 16);
        RECT place = placeInBox(child, box);
        if (lstrcmpiW(className, L"Button") == 0) {
            buttons.push_back(child);
            buttonsTop = std::min(buttonsTop, static_cast<int>(place.top));
            continue;
        }
        if (lstrcmpiW(className, L"Static") != 0)
            continue;
        const std::wstring text = windowText(child);
        const bool icon = (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        if (!icon && !text.empty()) {
            const int width = static_cast<int>(place.right - place.left) + widen;
            auto textFont = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
            const int height = wrappedHeight(child, textFont ? textFont : font, text, width);
            SetWindowPos(child, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            place.bottom = place.top + height;
        }
        contentBottom = std::max(contentBottom, static_cast<int>(place.bottom));
    }
    const int checkTop = contentBottom + gap;
    const int lower = checkTop + checkHeight + gap - buttonsTop;

    // The buttons move down (and along, to stay centred when the box widens).
    for (HWND button : buttons) {
        const RECT place = placeInBox(button, box);
        SetWindowPos(button, nullptr, place.left + widen / 2, place.top + lower, 0, 0,
            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT frame {};
    GetWindowRect(box, &frame);
    SetWindowPos(box, nullptr, frame.left - widen / 2, frame.top - lower / 2,
        frame.right - frame.left + widen, frame.bottom - frame.top + lower, SWP_NOZORDER | SWP_NOACTIVATE);

    state.checkBox = CreateWindowExW(0, L"BUTTON", caption.c_str(),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, margin, checkTop, checkWidth, checkHeight, box,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(QuestionBox::checkBoxId)), GetModuleHandleW(nullptr),
        nullptr);
    if (state.checkBox) {
        if (font)
            SendMessageW(state.checkBox, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageW(state.checkBox, BM_SETCHECK, state.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

LRESULT CALLBACK questionHook(int code, WPARAM wParam, LPARAM lParam)
{
    QuestionBox* state = t_question;
    if (state && code == HCBT_CREATEWND && !state->box) {
        auto window = reinterpret_cast<HWND>(wParam);
        const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        wchar_t className[16] {};
        GetClassNameW(window, className, 16);
        if (lstrcmpW(className, L"#32770") == 0 && !(create->lpcs->style & WS_CHILD)) {
            state->box = window;
            state->boxDefault = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&questionBoxProc)));
        }
    } else if (state && code == HCBT_DESTROYWND && reinterpret_cast<HWND>(wParam) == state->box) {
        if (state->checkBox)
            state->checked = SendMessageW(state->checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
        state->checkBox = nullptr;
        if (state->boxDefault)
            SetWindowLongPtrW(state->box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state->boxDefault));
        state->boxDefault = nullptr;
    }
    return CallNextHookEx(state ? state->hook : nullptr, code, wParam, lParam);
}

// The import's question: warning icon, OK / Cancel; OK is the first button and so
// the default, Escape and the close box give Cancel. True when the user answers OK.
bool runQuestion(HWND owner, std::string_view caption, std::string_view text, QuestionBox& state)
{
    state.hook = SetWindowsHookExW(WH_CBT, questionHook, nullptr, GetCurrentThreadId());
    QuestionBox* const previous = t_question;
    t_question = &state;
    const int answer = MessageBoxW(
        owner, wideLines(text).c_str(), wide(caption).c_str(), MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON1);
    t_question = previous;
    if (state.hook)
        UnhookWindowsHookEx(state.hook);
    return answer == IDOK;
}

} // namespace

WinInteraction::~WinInteraction()
{
    setBusy(false);
}

void WinInteraction::mainWindowGone()
{
    m_mainWindow = nullptr;
    // Owned dialogs went with the window; a box the system gave another owner (a
    // child window's boxes belong to its top-level ancestor, the host's) ends here.
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM) -> BOOL {
            wchar_t className[16] {};
            GetClassNameW(window, className, 16);
            if (lstrcmpW(className, L"#32770") == 0)
                EndDialog(window, IDCANCEL);
            else
                cancelCourseLevelsWindow(window);
            return TRUE;
        },
        0);
}

void WinInteraction::stopWhenWindowGone() const
{
    if (windowGone())
        throw Error(ErrorCode::Cancelled, "La ventana de Zelvano se ha cerrado: no se ha cambiado nada.");
}

namespace {

// F1 in the file dialog: the common dialog's own F1 handling asks its owner for help
// in a way that differs between Windows versions, so the key is taken as the thread
// reads it, while the dialog is open, and the dialog's topic is asked for instead.
struct FileDialogHelp {
    HWND mainWindow = nullptr;
    int context = 0;
    const ContextHelp* help = nullptr;
    HHOOK hook = nullptr;
};
thread_local FileDialogHelp* t_fileDialogHelp = nullptr;

LRESULT CALLBACK fileDialogKeyHook(int code, WPARAM removed, LPARAM lParam)
{
    FileDialogHelp* state = t_fileDialogHelp;
    if (code == HC_ACTION && removed == PM_REMOVE && state) {
        auto* msg = reinterpret_cast<MSG*>(lParam);
        // The system follows the key with WM_KEYF1, which would become WM_HELP and
        // climb to the main window's own topic: that one is dropped too.
        constexpr UINT kKeyF1 = 0x004D; // WM_KEYF1
        const bool f1Down = msg->message == WM_KEYDOWN && msg->wParam == VK_F1;
        if ((f1Down || msg->message == kKeyF1) && msg->hwnd) {
            HWND dialog = GetAncestor(msg->hwnd, GA_ROOT);
            if (dialog && dialog != state->mainWindow && state->help && *state->help) {
                msg->message = WM_NULL; // the dialog never sees the key
                if (f1Down)
                    (*state->help)(dialog, state->context);
            }
        }
    }
    return CallNextHookEx(state ? state->hook : nullptr, code, removed, lParam);
}

} // namespace

std::optional<std::filesystem::path> WinInteraction::chooseFile(const shell::FileDialogOptions& options)
{
    stopWhenWindowGone();
    const std::wstring title = wide(options.title);
    const std::wstring pattern = wide(options.filter);
    // One entry that shows and selects the pattern: "name\0pattern\0\0".
    std::wstring filter = pattern;
    filter.push_back(L'\0');
    filter += pattern;
    filter.push_back(L'\0');
    const std::wstring extension = wide(options.defaultExtension);
    const std::wstring initialDir = options.initialDir.wstring();
    std::vector<wchar_t> file(32768, L'\0');

    OPENFILENAMEW dialog {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = m_mainWindow;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = extension.c_str();
    dialog.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR
        | OFN_ENABLESIZING;
    FileDialogHelp help { m_mainWindow, options.helpContext, &m_contextHelp, nullptr };
    if (options.helpContext != 0) {
        help.hook = SetWindowsHookExW(WH_GETMESSAGE, fileDialogKeyHook, nullptr, GetCurrentThreadId());
        t_fileDialogHelp = &help;
    }
    const BOOL chosen = GetOpenFileNameW(&dialog);
    if (help.hook) {
        UnhookWindowsHookEx(help.hook);
        t_fileDialogHelp = nullptr;
    }
    stopWhenWindowGone();
    if (!chosen)
        return std::nullopt;
    return std::filesystem::path(std::wstring(file.data()));
}

void WinInteraction::showInformation(std::string_view text)
{
    if (windowGone())
        return;
    MessageBoxW(m_mainWindow, wideLines(text).c_str(), applicationTitle().c_str(), MB_OK);
}

void WinInteraction::showReport(const shell::Report& report)
{
    if (windowGone())
        return;
    TASKDIALOGCONFIG config {};
    config.dwCommonButtons = TDCBF_OK_BUTTON;
    config.pszMainIcon = TD_INFORMATION_ICON;
    if (runTaskDialog(config, m_mainWindow, wideLines(report.text), wideLines(report.details)) == 0)
        shell::Interaction::showReport(report); // no task dialog: the plain box with everything
}

shell::ChoiceAnswer WinInteraction::choose(const shell::Choice& choice)
{
    if (windowGone())
        return {};
    const std::wstring accept = wide(choice.acceptCaption);
    const std::wstring reject = wide(choice.rejectCaption);
    const std::wstring dontAskAgain = wide(choice.dontAskAgainCaption);
    const TASKDIALOG_BUTTON buttons[] = { { IDOK, accept.c_str() }, { IDCANCEL, reject.c_str() } };
    TASKDIALOGCONFIG config {};
    config.pButtons = buttons;
    config.cButtons = 2;
    config.nDefaultButton = choice.acceptIsDefault ? IDOK : IDCANCEL;
    config.pszMainIcon = TD_WARNING_ICON;
    BOOL checked = FALSE;
    if (!dontAskAgain.empty())
        config.pszVerificationText = dontAskAgain.c_str();
    const int button = runTaskDialog(config, m_mainWindow, wideLines(choice.text), wideLines(choice.details),
        dontAskAgain.empty() ? nullptr : &checked);
    if (button == 0)
        return shell::Interaction::choose(choice);
    return { button == IDOK, button == IDOK && checked != FALSE };
}

bool WinInteraction::userFlag(std::string_view group, std::string_view key)
{
    return readFlag(group, key);
}

void WinInteraction::setUserFlag(std::string_view group, std::string_view key, bool value)
{
    writeFlag(group, key, value);
}

void WinInteraction::showError(std::string_view text)
{
    // The error box appears even without a window: it may say why there is none.
    MessageBoxW(windowGone() ? nullptr : m_mainWindow, wideLines(text).c_str(), applicationTitle().c_str(),
        MB_OK | MB_ICONERROR);
}

bool WinInteraction::confirmDestructive(std::string_view text)
{
    stopWhenWindowGone();
    const int answer = MessageBoxW(m_mainWindow, wideLines(text).c_str(), applicationTitle().c_str(),
        MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2);
    stopWhenWindowGone();
    return answer == IDOK;
}

void WinInteraction::closeMainWindow()
{
    // Posted: the handler that asks for the close finishes first, then the window
    // closes (and host mode writes its result) from the message loop.
    if (!windowGone())
        PostMessageW(m_mainWindow, WM_CLOSE, 0, 0);
}

void WinInteraction::editCourseLevels(centre_import::CourseLevelGrid& grid)
{
    stopWhenWindowGone();
    runCourseLevelsWindow(m_mainWindow, grid, m_contextHelp);
    stopWhenWindowGone();
}

bool WinInteraction::askQuestion(std::string_view caption, std::string_view text)
{
    stopWhenWindowGone();
    QuestionBox state;
    state.help = &m_contextHelp;
    const bool ok = runQuestion(m_mainWindow, caption, text, state);
    stopWhenWindowGone();
    return ok;
}

centre_import::SubjectLines WinInteraction::askSubjectLines(std::string_view caption, std::string_view text)
{
    stopWhenWindowGone();
    QuestionBox state;
    state.help = &m_contextHelp;
    state.withCheckBox = true;
    state.checked = readNamedGroupsOnly();
    const bool ok = runQuestion(m_mainWindow, caption, text, state);
    // Closed by the window's going, the box gave no answer: nothing to remember.
    stopWhenWindowGone();
    writeNamedGroupsOnly(state.checked);
    if (!ok)
        return centre_import::SubjectLines::None;
    return state.checked ? centre_import::SubjectLines::NamedGroups : centre_import::SubjectLines::All;
}

void WinInteraction::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

} // namespace tramazel::win
