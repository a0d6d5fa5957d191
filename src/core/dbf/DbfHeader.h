// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CodePage.h"
#include "FieldCodec.h"
#include "TableLayout.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

/// The header of a table file: the fixed part and the field descriptors, read from
/// an existing file (any variant the engine accepts) or laid out for a new dBASE IV
/// table. Both directions live here so that every offset is spelled in one place.
namespace tramazel::dbf {

class BlockFile;

class DbfHeader {
public:
    /// Reads and checks the header of `file`, the open table `table` of `fileSize`
    /// bytes: the version, the descriptors, the lengths, and that the file holds
    /// every record the header counts. Throws TableCorrupt or TableUnsupported.
    static DbfHeader read(BlockFile& file, std::uint64_t fileSize, const std::filesystem::path& table);

    /// The header of a new, empty dBASE IV table with `fields` (language driver
    /// 0x57, no production index yet). Throws InvalidArgument naming table `base`
    /// when the definition is not one the engine creates.
    static DbfHeader define(const std::string& base, const std::vector<FieldSpec>& fields);
    /// Marks `field` as having a tag in the production index, and the table as
    /// having one.
    void markIndexed(std::size_t field);

    /// Stamps today's date and `count` into the fixed part, as closing a changed
    /// table must, and returns those kHeaderSize bytes.
    const unsigned char* stampForClose(std::uint32_t count);
    /// The whole header, descriptors and terminator included.
    const std::vector<unsigned char>& bytes() const noexcept { return m_bytes; }

    std::uint8_t version() const noexcept { return m_version; }
    bool level7() const noexcept;
    bool foxPro() const noexcept;
    /// FoxPro's structural .CDX, which the engine cannot keep up.
    bool foxProStructuralIndex() const noexcept;
    /// The header announces a production .MDX (never for FoxPro tables).
    bool productionIndex() const noexcept { return m_productionIndex; }
    std::uint8_t languageDriver() const noexcept { return m_languageDriver; }
    /// The code page of the texts, as the language driver (or its level-7 name) says.
    const LanguageDriver& driver() const noexcept { return m_driver; }
    std::uint32_t headerLength() const noexcept { return m_headerLength; }
    std::uint32_t recordLength() const noexcept { return m_recordLength; }
    /// Records counted at offset 4 when read (0 for a new table).
    std::uint32_t recordCount() const noexcept { return m_recordCount; }

    const std::vector<FieldInfo>& fields() const noexcept { return m_fields; }
    const std::vector<codec::Encoding>& encodings() const noexcept { return m_encodings; }

    /// Byte offset of record `index` (0-based); at `count` it is the end-of-file mark.
    std::uint64_t recordOffset(std::uint32_t index) const noexcept
    {
        return std::uint64_t { m_headerLength } + std::uint64_t { index } * m_recordLength;
    }
    /// A live record with every field blank (binary kinds as null, memo pointers empty).
    std::vector<char> blankRecord() const;

private:
    void addField(FieldInfo field, codec::Encoding encoding);

    std::vector<unsigned char> m_bytes;
    std::uint8_t m_version = 0;
    std::uint8_t m_languageDriver = 0;
    LanguageDriver m_driver;
    bool m_productionIndex = false;
    std::uint32_t m_headerLength = 0;
    std::uint32_t m_recordLength = 0;
    std::uint32_t m_recordCount = 0;
    std::vector<FieldInfo> m_fields;
    std::vector<codec::Encoding> m_encodings;
};

} // namespace tramazel::dbf
