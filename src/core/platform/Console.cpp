// SPDX-License-Identifier: GPL-3.0-or-later
#include "Console.h"

#ifdef _WIN32
#include "Utf16.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <iostream>
#include <streambuf>
#include <string_view>
#endif

namespace tramazel::platform {

#ifdef _WIN32

namespace {

// A stream buffer that writes to a console window in UTF-16. Text arrives as UTF-8
// bytes in any chunks: a sequence cut at the end of a chunk waits for its rest.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console)
        : m_console(console)
    {
        setp(m_buffer, m_buffer + sizeof m_buffer);
    }

protected:
    int_type overflow(int_type ch) override
    {
        if (!writeOut())
            return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }

    int sync() override { return writeOut() ? 0 : -1; }

private:
    // Length of the longest prefix of `text` that ends on a whole UTF-8 sequence.
    static std::size_t completePrefix(std::string_view text)
    {
        std::size_t end = text.size();
        for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
            const auto byte = static_cast<unsigned char>(text[text.size() - back]);
            if ((byte & 0xC0) == 0x80)
                continue; // a continuation byte: look further back for its lead
            const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            if (length > back)
                end = text.size() - back;
            break;
        }
        return end;
    }

    bool writeOut()
    {
        const std::string_view pending(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        const std::size_t complete = completePrefix(pending);
        const std::wstring wide = utf8ToWide(pending.substr(0, complete));
        bool ok = true;
        for (std::size_t done = 0; done < wide.size();) {
            DWORD written = 0;
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
            if (!WriteConsoleW(m_console, wide.data() + done, chunk, &written, nullptr) || written == 0) {
                ok = false;
                break;
            }
            done += written;
        }
        // Keep the cut sequence for the next write.
        const std::string rest(pending.substr(complete));
        setp(m_buffer, m_buffer + sizeof m_buffer);
        for (char c : rest)
            sputc(c);
        return ok;
    }

    HANDLE m_console;
    char m_buffer[4096];
};

void attachConsoleBuffer(std::ostream& stream, DWORD which)
{
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return; // redirected to a file or a pipe: UTF-8 bytes, as on every system
    stream.flush();
    // Never deleted: the streams are flushed at the very end of the process.
    stream.rdbuf(new ConsoleBuffer(handle));
}

} // namespace

std::vector<std::string> commandLineArguments(int, char**)
{
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(wideToUtf8(wide[i]));
    LocalFree(wide);
    return args;
}

void useUtf8Console()
{
    attachConsoleBuffer(std::cout, STD_OUTPUT_HANDLE);
    attachConsoleBuffer(std::cerr, STD_ERROR_HANDLE);
}

#else

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void useUtf8Console() { }

#endif

} // namespace tramazel::platform
