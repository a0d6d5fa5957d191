// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for HTML Help in the window tests: copied as "hhctrl.ocx" beside
// tramazel.exe, it is the library the program loads for its help. It shows nothing
// and appends every request, one line each, to help-requests.txt beside itself:
//
//   <command> <data> <calling window, hexadecimal> <help file>
//
// (numbers decimal, the file as given, UTF-8), so that a test can see which topic a
// key asked for and over which window.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring requestsFile()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&requestsFile), &self);
    wchar_t path[MAX_PATH] {};
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring file(path, length);
    const std::size_t slash = file.find_last_of(L"\\/");
    file.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return file + L"help-requests.txt";
}

std::string utf8(const wchar_t* text)
{
    if (!text || !*text)
        return "-";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
    bytes.resize(bytes.size() - 1);
    return bytes;
}

} // namespace

extern "C" __declspec(dllexport) HWND WINAPI
    HtmlHelpW(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data)
{
    char head[96] {};
    std::snprintf(head, sizeof(head), "%u %llu %llx ", command, static_cast<unsigned long long>(data),
        static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(caller)));
    const std::string line = head + utf8(file) + "\r\n";
    HANDLE out = CreateFileW(requestsFile().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(out);
    }
    return nullptr;
}
