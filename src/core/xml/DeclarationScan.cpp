// SPDX-License-Identifier: GPL-3.0-or-later
// The XML declaration: pugixml skips it unread, so what it says is checked here.
#include "WellFormedScanner.h"

#include "text/Ascii.h"

namespace tramazel::xml {

namespace {

using detail::isSpace;

constexpr std::string_view kReasonBadDeclaration = "la declaración XML es incorrecta";

// One pseudo-attribute of the declaration: name="value" or name='value'.
struct Pseudo {
    std::string_view name;
    std::string_view value;
    std::size_t nameOffset = 0;
    std::size_t valueOffset = 0;
};

class DeclarationReader {
public:
    DeclarationReader(std::string_view text, std::size_t end)
        : m_s(text)
        , m_end(end)
    {
    }

    XmlDeclaration read();

private:
    bool fail(std::size_t offset, std::string reason)
    {
        m_out.fault = ScanFault { offset, std::move(reason) };
        return false;
    }
    char at(std::size_t i) const noexcept { return i < m_end ? m_s[i] : '\0'; }
    void skipSpaces() noexcept
    {
        while (m_p < m_end && isSpace(static_cast<unsigned char>(m_s[m_p])))
            ++m_p;
    }
    // The next pseudo-attribute into `pseudo`: false at the end of the declaration
    // (m_p then after the blanks) or on a fault (m_out.fault set).
    bool next(Pseudo& pseudo);

    std::string_view m_s;
    std::size_t m_end; // the '?' of "?>"
    std::size_t m_p = 5; // after "<?xml"
    XmlDeclaration m_out;
};

bool DeclarationReader::next(Pseudo& pseudo)
{
    const std::size_t before = m_p;
    skipSpaces();
    if (m_p == m_end || m_p == before)
        return false; // the end, or something without the blank it needs before it
    pseudo.nameOffset = m_p;
    while (m_p < m_end && text::asciiLower(m_s[m_p]) >= 'a' && text::asciiLower(m_s[m_p]) <= 'z')
        ++m_p;
    pseudo.name = m_s.substr(pseudo.nameOffset, m_p - pseudo.nameOffset);
    if (pseudo.name.empty())
        return fail(m_p, std::string(kReasonBadDeclaration));
    skipSpaces();
    if (at(m_p) != '=')
        return fail(m_p, std::string(kReasonBadDeclaration));
    ++m_p;
    skipSpaces();
    const char quote = at(m_p);
    if (quote != '"' && quote != '\'')
        return fail(m_p, std::string(kReasonBadDeclaration));
    const std::size_t close = m_s.substr(0, m_end).find(quote, m_p + 1);
    if (close == std::string_view::npos)
        return fail(m_p, std::string(kReasonBadDeclaration));
    pseudo.valueOffset = m_p + 1;
    pseudo.value = m_s.substr(m_p + 1, close - m_p - 1);
    m_p = close + 1;
    return true;
}

bool isVersionNumber(std::string_view v) noexcept
{
    if (v.size() < 3 || v.substr(0, 2) != "1.")
        return false;
    return std::all_of(v.begin() + 2, v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// EncName: a letter, then letters, digits, '.', '_' and '-'.
bool isEncodingName(std::string_view name) noexcept
{
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (name.empty() || !letter(name.front()))
        return false;
    return std::all_of(name.begin(), name.end(),
        [&](char c) { return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-'; });
}

XmlDeclaration DeclarationReader::read()
{
    if (m_s.substr(2, 3) != "xml") {
        fail(0, "la declaración XML debe empezar por «<?xml», en minúsculas");
        return m_out;
    }
    Pseudo pseudo;
    bool more = next(pseudo);
    if (m_out.fault)
        return m_out;
    if (!more || pseudo.name != "version") {
        fail(more ? pseudo.nameOffset : m_p, "la declaración XML no indica la versión de XML");
        return m_out;
    }
    if (!isVersionNumber(pseudo.value)) {
        fail(pseudo.valueOffset,
            "la declaración XML indica la versión " + detail::quoted(pseudo.value)
                + ", y solo se admite la 1.0 (o otra 1.x)");
        return m_out;
    }
    more = next(pseudo);
    if (more && pseudo.name == "encoding") {
        if (!isEncodingName(pseudo.value)) {
            fail(pseudo.valueOffset,
                "la declaración XML indica la codificación " + detail::quoted(pseudo.value)
                    + ", que no es un nombre de codificación");
            return m_out;
        }
        m_out.encoding = pseudo.value;
        m_out.encodingOffset = pseudo.valueOffset;
        more = next(pseudo);
    }
    if (more && pseudo.name == "standalone") {
        if (pseudo.value != "yes" && pseudo.value != "no") {
            fail(pseudo.valueOffset,
                "la declaración XML indica standalone=" + detail::quoted(pseudo.value)
                    + ", y solo se admite «yes» o «no»");
            return m_out;
        }
        more = next(pseudo);
    }
    if (m_out.fault)
        return m_out;
    if (more) {
        fail(pseudo.nameOffset,
            "la declaración XML contiene " + detail::quoted(pseudo.name)
                + " donde solo caben version, encoding y standalone, en este orden");
        return m_out;
    }
    skipSpaces();
    if (m_p != m_end)
        fail(m_p, std::string(kReasonBadDeclaration));
    return m_out;
}

} // namespace

XmlDeclaration scanDeclaration(std::string_view utf8)
{
    // "<?xml" followed by a blank or "?>" (a longer name, "<?xml-stylesheet", is a
    // processing instruction of its own).
    if (utf8.size() < 5 || utf8.substr(0, 2) != "<?"
        || !text::equalsIgnoringAsciiCase(utf8.substr(2, 3), "xml")
        || (utf8.size() > 5 && detail::isNameByte(static_cast<unsigned char>(utf8[5]))))
        return {};
    const auto end = utf8.find("?>", 5);
    if (end == std::string_view::npos)
        return {};
    for (std::size_t i = 5; i < end; ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 && !isSpace(c))
            return {};
        if (c == 0xEF && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xBF
            && (static_cast<unsigned char>(utf8[i + 2]) & 0xFE) == 0xBE)
            return {};
    }
    return DeclarationReader(utf8, end).read();
}

} // namespace tramazel::xml
