// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ErrorBox.h"

#include "Error.h"

#include <new>

namespace tramazel::shell {

namespace {

// The code point of the last UTF-8 character of a non-empty text. A malformed tail
// is taken byte by byte, which still sorts after "." for every non-ASCII byte.
char32_t lastCodePoint(std::string_view s)
{
    std::size_t start = s.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80 && s.size() - start < 4)
        --start;
    const auto lead = static_cast<unsigned char>(s[start]);
    std::size_t length = 1;
    char32_t cp = lead;
    if (lead >= 0xF0 && lead < 0xF8) {
        length = 4;
        cp = lead & 0x07u;
    } else if (lead >= 0xE0) {
        length = 3;
        cp = lead & 0x0Fu;
    } else if (lead >= 0xC0) {
        length = 2;
        cp = lead & 0x1Fu;
    }
    if (lead < 0x80 || start + length != s.size())
        return static_cast<unsigned char>(s.back());
    for (std::size_t i = start + 1; i < s.size(); ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3Fu);
    return cp;
}

} // namespace

std::string errorBoxText(std::string_view message)
{
    std::string text(message);
    if (!text.empty() && lastCodePoint(text) > U'.')
        text += '.';
    return text;
}

std::string errorBoxTextOf(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Error& e) {
        return errorBoxText(e.message());
    } catch (const std::bad_alloc&) {
        return errorBoxText("No hay memoria suficiente para terminar la operación");
    } catch (const std::exception& e) {
        return errorBoxText(std::string("Error inesperado: ") + e.what());
    } catch (...) {
        return errorBoxText("Error inesperado");
    }
}

} // namespace tramazel::shell
