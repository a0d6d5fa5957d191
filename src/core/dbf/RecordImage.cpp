// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordImage.h"

#include "DbfTableImpl.h"
#include "FieldWriter.h"

#include <cstring>

namespace tramazel::dbf {

/// What the writers need of the table, taken once when the image is made.
struct RecordImage::Layout {
    std::filesystem::path table;
    std::vector<FieldInfo> fields;
    std::vector<codec::Encoding> encodings;
    CodePage codePage = CodePage::Windows1252;
    std::vector<unsigned char> plainText; ///< see detail::plainText
    std::vector<char> blank;

    detail::FieldTarget target(std::size_t field) const noexcept
    {
        return { table, fields[field], encodings[field], codePage };
    }
};

RecordImage::RecordImage(const DbfTable& table)
{
    const DbfTable::Impl& d = opened(table.m_impl);
    auto layout = std::make_shared<Layout>();
    layout->table = d.path;
    layout->fields = d.fields();
    layout->encodings = d.header.encodings();
    layout->codePage = d.header.driver().codePage;
    layout->plainText = d.plainText;
    layout->blank = d.blank;
    m_bytes = layout->blank;
    m_layout = std::move(layout);
}

const RecordImage::Layout& RecordImage::checked(std::size_t field) const
{
    if (field >= m_layout->fields.size())
        throw errors::fieldIndexOutOfRange(m_layout->table, field);
    return *m_layout;
}

void RecordImage::setText(std::size_t field, std::string_view value)
{
    const Layout& layout = checked(field);
    const FieldInfo& f = layout.fields[field];
    char* out = m_bytes.data() + 1 + f.offset;
    // Most fields take the text as it is: no need for the general writer.
    if (layout.plainText[field])
        detail::storeText(out, static_cast<std::size_t>(f.width), value);
    else
        detail::writeText(layout.target(field), out, value);
}

void RecordImage::setInteger(std::size_t field, std::int64_t value)
{
    detail::writeInteger(checked(field).target(field), m_bytes.data() + fieldOffset(field), value);
}

void RecordImage::setNumber(std::size_t field, double value)
{
    detail::writeNumber(checked(field).target(field), m_bytes.data() + fieldOffset(field), value);
}

void RecordImage::setLogical(std::size_t field, bool value)
{
    detail::writeLogical(checked(field).target(field), m_bytes.data() + fieldOffset(field), value);
}

void RecordImage::setBlank(std::size_t field)
{
    const std::size_t at = fieldOffset(field);
    std::memcpy(m_bytes.data() + at, m_layout->blank.data() + at,
        static_cast<std::size_t>(m_layout->fields[field].width));
}

std::string_view RecordImage::field(std::size_t field) const
{
    return { m_bytes.data() + fieldOffset(field), static_cast<std::size_t>(m_layout->fields[field].width) };
}

std::size_t RecordImage::fieldOffset(std::size_t field) const
{
    return 1 + checked(field).fields[field].offset;
}

} // namespace tramazel::dbf
