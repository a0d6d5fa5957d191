// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing the fields of a table's current record.
#include "DbfTable.h"

#include "DbfTableImpl.h"
#include "Error.h"
#include "FieldWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

namespace tramazel::dbf {

using codec::Encoding;

// ---- reading -------------------------------------------------------------------

std::string DbfTable::text(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    std::string_view raw(bytes, static_cast<std::size_t>(f.width));
    const auto* ubytes = reinterpret_cast<const unsigned char*>(bytes);
    switch (d.encoding(field)) {
    case Encoding::Text:
        if (d.header.driver().codePage != CodePage::Windows1252)
            return toAnsi(d.header.driver().codePage, codec::trimRight(raw));
        return std::string(codec::trimRight(raw));
    case Encoding::Decimal: {
        auto t = codec::trim(raw);
        if (t.empty())
            return {};
        if (!codec::isNumberText(t))
            throw d.badValue(field, raw);
        return codec::canonicalNumberText(t);
    }
    case Encoding::Logical:
        switch (raw[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return "T";
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return "F";
        default:
            return {};
        }
    case Encoding::Date:
        return std::string(codec::trim(raw));
    case Encoding::Int32LittleEndian:
    case Encoding::Int32Level7: {
        auto v = codec::decodeInteger(d.encoding(field), ubytes);
        return v ? std::to_string(*v) : std::string();
    }
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian: {
        auto v = codec::decodeDouble(d.encoding(field), ubytes);
        if (!v)
            return {};
        char buffer[64];
        auto r = std::to_chars(buffer, buffer + sizeof buffer, *v);
        return std::string(buffer, r.ptr);
    }
    case Encoding::Opaque:
        return {};
    }
    return {};
}

std::string_view DbfTable::textView(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    if (d.plainText[field]) {
        const FieldInfo& f = d.fields()[field];
        return detail::trimmedText(d.record.data() + 1 + f.offset, static_cast<std::size_t>(f.width));
    }
    if (d.textCopies.size() < d.fields().size())
        d.textCopies.resize(d.fields().size());
    return d.textCopies[field] = text(field);
}

std::string_view DbfTable::keyView(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    // The export reads four keys of every SOLUC row: the common case costs what
    // textView() costs.
    if (d.plainText[field])
        return detail::trimmedText(d.record.data() + 1 + f.offset, static_cast<std::size_t>(f.width));
    const CodePage page = d.header.driver().codePage;
    if (d.encoding(field) != Encoding::Text || page == CodePage::Windows1252)
        return textView(field);
    const std::string_view raw(d.record.data() + 1 + f.offset, static_cast<std::size_t>(f.width));
    if (d.textCopies.size() < d.fields().size())
        d.textCopies.resize(d.fields().size());
    return d.textCopies[field] = toAnsiKey(page, codec::trimRight(raw));
}

double DbfTable::number(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    std::string_view raw(bytes, static_cast<std::size_t>(f.width));
    switch (d.encoding(field)) {
    case Encoding::Text:
    case Encoding::Decimal:
    case Encoding::Date: {
        auto t = codec::trim(raw);
        if (t.empty())
            return 0;
        if (!codec::isNumberText(t)) {
            if (d.encoding(field) == Encoding::Text)
                throw errors::notANumber(d.path, d.current + 1, f, t);
            throw d.badValue(field, raw);
        }
        return codec::parseNumber(t);
    }
    case Encoding::Logical:
        throw d.wrongKind(field, "number()");
    case Encoding::Int32LittleEndian:
    case Encoding::Int32Level7: {
        auto v = codec::decodeInteger(d.encoding(field), reinterpret_cast<const unsigned char*>(bytes));
        return v ? static_cast<double>(*v) : 0.0;
    }
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian:
        return codec::decodeDouble(d.encoding(field), reinterpret_cast<const unsigned char*>(bytes))
            .value_or(0.0);
    case Encoding::Opaque:
        return 0;
    }
    return 0;
}

std::int64_t DbfTable::integer(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    std::string_view raw(bytes, static_cast<std::size_t>(f.width));
    auto tooLarge
        = [&](std::string_view shown) { return errors::numberTooLarge(d.path, d.current + 1, f, shown); };
    switch (d.encoding(field)) {
    case Encoding::Text:
    case Encoding::Decimal:
    case Encoding::Date: {
        auto t = codec::trim(raw);
        if (t.empty())
            return 0;
        if (!codec::isNumberText(t))
            (void)number(field); // reports the bad value
        auto v = codec::parseWholePart(t);
        if (!v)
            throw tooLarge(t);
        return *v;
    }
    case Encoding::Int32LittleEndian:
    case Encoding::Int32Level7:
        return codec::decodeInteger(d.encoding(field), reinterpret_cast<const unsigned char*>(bytes))
            .value_or(0);
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian: {
        double v
            = std::trunc(codec::decodeDouble(d.encoding(field), reinterpret_cast<const unsigned char*>(bytes))
                             .value_or(0.0));
        if (!(v >= -9223372036854775808.0 && v < 9223372036854775808.0))
            throw tooLarge(text(field));
        return static_cast<std::int64_t>(v);
    }
    case Encoding::Logical:
        throw d.wrongKind(field, "integer()");
    case Encoding::Opaque:
        return 0;
    }
    return 0;
}

bool DbfTable::logical(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    switch (d.encoding(field)) {
    case Encoding::Int32LittleEndian:
    case Encoding::Int32Level7:
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian:
        return number(field) != 0;
    case Encoding::Opaque:
        return false;
    default: {
        auto t = codec::trim(std::string_view(bytes, static_cast<std::size_t>(f.width)));
        return !t.empty() && isTrueMark(t[0]);
    }
    }
}

bool DbfTable::isBlank(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    return std::all_of(bytes, bytes + f.width, [](char c) { return c == ' ' || c == '\0'; });
}

// ---- writing -------------------------------------------------------------------

namespace detail {

void writeText(const FieldTarget& target, char* out, std::string_view value)
{
    const FieldInfo& f = target.field;
    const auto width = static_cast<std::size_t>(f.width);
    switch (target.encoding) {
    case Encoding::Text:
    case Encoding::Date:
        storeText(out, width, value);
        if (target.encoding == Encoding::Text && target.codePage != CodePage::Windows1252)
            fromAnsi(target.codePage, out, std::min(value.size(), width));
        return;
    case Encoding::Decimal: {
        auto t = codec::trim(value);
        if (t.empty()) {
            std::memset(out, ' ', width);
            return;
        }
        if (!codec::isNumberText(t))
            throw errors::doesNotFit(target.table, f, value);
        bool whole = t.find_first_of(".eE") == std::string_view::npos;
        if (auto v = whole ? codec::parseWholePart(t) : std::nullopt) {
            if (!codec::formatWhole(*v, f.width, f.decimals, out))
                throw errors::doesNotFit(target.table, f, value);
        } else if (!codec::formatNumber(codec::parseNumber(t), f.width, f.decimals, out)) {
            throw errors::doesNotFit(target.table, f, value);
        }
        return;
    }
    case Encoding::Logical: {
        auto t = codec::trim(value);
        if (t.empty())
            out[0] = ' ';
        else if (isTrueMark(t[0]))
            out[0] = 'T';
        else if (t[0] == 'F' || t[0] == 'f' || t[0] == 'N' || t[0] == 'n')
            out[0] = 'F';
        else
            throw errors::doesNotFit(target.table, f, value);
        return;
    }
    default:
        throw errors::unsupportedWrite(target.table, f);
    }
}

void writeInteger(const FieldTarget& target, char* out, std::int64_t value)
{
    const FieldInfo& f = target.field;
    switch (target.encoding) {
    case Encoding::Decimal:
        if (!codec::formatWhole(value, f.width, f.decimals, out))
            throw errors::doesNotFit(target.table, f, std::to_string(value));
        return;
    case Encoding::Text: {
        // Digits are never cut: a shortened number would be a different number.
        std::string digits = std::to_string(value);
        if (digits.size() > static_cast<std::size_t>(f.width))
            throw errors::doesNotFit(target.table, f, digits);
        writeText(target, out, digits);
        return;
    }
    case Encoding::Logical:
        throw errors::wrongKind(target.table, f, "setInteger()");
    default:
        throw errors::unsupportedWrite(target.table, f);
    }
}

void writeNumber(const FieldTarget& target, char* out, double value)
{
    const FieldInfo& f = target.field;
    auto shown = [&] {
        char buffer[64];
        auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
        return std::string(buffer, r.ptr);
    };
    switch (target.encoding) {
    case Encoding::Decimal:
        if (!codec::formatNumber(value, f.width, f.decimals, out))
            throw errors::doesNotFit(target.table, f, shown());
        return;
    case Encoding::Text: {
        std::string digits = shown();
        if (!std::isfinite(value) || digits.size() > static_cast<std::size_t>(f.width))
            throw errors::doesNotFit(target.table, f, digits);
        writeText(target, out, digits);
        return;
    }
    case Encoding::Logical:
        throw errors::wrongKind(target.table, f, "setNumber()");
    default:
        throw errors::unsupportedWrite(target.table, f);
    }
}

void writeLogical(const FieldTarget& target, char* out, bool value)
{
    if (target.encoding != Encoding::Logical)
        throw errors::wrongKind(target.table, target.field, "setLogical()");
    out[0] = value ? 'T' : 'F';
}

} // namespace detail

void DbfTable::setText(std::size_t field, std::string_view value)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    if (d.plainText[field])
        detail::storeText(out, static_cast<std::size_t>(d.fields()[field].width), value);
    else
        detail::writeText(d.target(field), out, value);
}

void DbfTable::setInteger(std::size_t field, std::int64_t value)
{
    Impl& d = opened(m_impl, field);
    detail::writeInteger(d.target(field), d.fieldForWrite(field), value);
}

void DbfTable::setNumber(std::size_t field, double value)
{
    Impl& d = opened(m_impl, field);
    detail::writeNumber(d.target(field), d.fieldForWrite(field), value);
}

void DbfTable::setLogical(std::size_t field, bool value)
{
    Impl& d = opened(m_impl, field);
    detail::writeLogical(d.target(field), d.fieldForWrite(field), value);
}

void DbfTable::setBlank(std::size_t field)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    const FieldInfo& f = d.fields()[field];
    std::memcpy(out, d.blank.data() + 1 + f.offset, static_cast<std::size_t>(f.width));
}

} // namespace tramazel::dbf
