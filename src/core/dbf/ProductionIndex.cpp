// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProductionIndex.h"

#include "BlockFile.h"
#include "DbfErrors.h"
#include "DbfFormat.h"
#include "DbfHeader.h"
#include "FieldCodec.h"
#include "TableFiles.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace tramazel::dbf {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxTags = kMdxTagSlots - 1;

std::vector<FieldInfo>::const_iterator findField(const std::vector<FieldInfo>& fields, std::string_view name)
{
    return std::find_if(fields.begin(), fields.end(),
        [&](const FieldInfo& f) { return text::equalsIgnoringAsciiCase(f.name, name); });
}

} // namespace

ProductionIndex ProductionIndex::define(const fs::path& dir, const std::string& base,
    const std::vector<FieldInfo>& fields, const std::vector<IndexSpec>& indexes, const platform::IoHooks* io)
{
    auto invalid = [&](const std::string& detail) { return errors::invalidDefinition(base, detail); };
    if (indexes.size() > kMaxTags)
        throw invalid(std::to_string(indexes.size()) + " indexes");
    ProductionIndex index;
    index.m_io = io;
    for (const auto& spec : indexes) {
        std::string tag = text::toAsciiUpper(spec.tag);
        if (!validFieldName(tag))
            throw invalid("index name \"" + spec.tag + "\"");
        for (const auto& other : index.m_tags) {
            if (other.name == tag)
                throw invalid("index " + tag + " twice");
        }
        auto it = findField(fields, spec.field);
        if (it == fields.end() || it->type != kTypeCharacter)
            throw invalid("index " + tag + " on \"" + spec.field + "\", not a character field");
        MdxTagKeys keys;
        keys.name = tag;
        keys.expression = it->name;
        keys.keyLength = static_cast<std::size_t>(it->width);
        index.m_tags.push_back(std::move(keys));
        index.m_tagFields.push_back(static_cast<std::size_t>(it - fields.begin()));
    }
    index.m_ready = true;
    index.m_announced = !indexes.empty();
    if (index.m_announced)
        index.m_file = dir / text::pathFromUtf8(base + std::string(kMdxExtension));
    return index;
}

ProductionIndex ProductionIndex::attach(
    bool announced, std::optional<fs::path> file, const platform::IoHooks* io)
{
    ProductionIndex index;
    index.m_io = io;
    index.m_announced = announced;
    index.m_file = std::move(file);
    return index;
}

void ProductionIndex::prepareForChanges(const DbfHeader& header, BlockFile& records, const fs::path& table)
{
    if (m_ready)
        return;
    if (!m_announced) {
        m_ready = true;
        return;
    }
    if (header.level7())
        throw errors::indexNotMaintainable(table, "level 7 index");
    if (!m_file)
        throw errors::indexNotMaintainable(table,
            "the header announces a production index but "
                + text::toAsciiUpper(text::pathToUtf8(table.stem())) + kMdxExtension.data() + " is missing");
    const auto& fields = header.fields();
    std::vector<MdxTagKeys> found;
    std::vector<std::size_t> foundFields;
    for (auto& info : MdxFile::readTags(*m_file, m_io)) {
        auto it = findField(fields, codec::trim(info.expression));
        if (it == fields.end() || it->type != kTypeCharacter || info.keyType != kTypeCharacter
            || static_cast<std::size_t>(it->width) != info.keyLength)
            throw errors::indexNotMaintainable(
                table, "tag " + info.name + " on expression \"" + info.expression + "\"");
        MdxTagKeys tag;
        tag.name = info.name;
        tag.expression = it->name;
        tag.keyLength = info.keyLength;
        tag.keys.reserve(std::size_t { header.recordCount() } * tag.keyLength);
        found.push_back(std::move(tag));
        foundFields.push_back(static_cast<std::size_t>(it - fields.begin()));
    }
    m_tags = std::move(found);
    m_tagFields = std::move(foundFields);
    std::vector<char> record(header.recordLength());
    for (std::uint32_t r = 0; r < header.recordCount(); ++r) {
        const std::uint64_t at = header.recordOffset(r);
        if (!records.read(at, record.data(), record.size()))
            throw errors::tableCutShort(table, at);
        recordAppended(fields, record.data());
    }
    m_ready = true;
}

void ProductionIndex::recordAppended(const std::vector<FieldInfo>& fields, const char* record)
{
    for (std::size_t t = 0; t < m_tags.size(); ++t)
        m_tags[t].keys.append(record + 1 + fields[m_tagFields[t]].offset, m_tags[t].keyLength);
}

void ProductionIndex::recordChanged(
    const std::vector<FieldInfo>& fields, std::uint32_t index, const char* record)
{
    for (std::size_t t = 0; t < m_tags.size(); ++t) {
        const std::size_t k = m_tags[t].keyLength;
        std::memcpy(
            m_tags[t].keys.data() + std::size_t { index } * k, record + 1 + fields[m_tagFields[t]].offset, k);
    }
}

void ProductionIndex::write(const std::string& base, std::uint8_t languageDriver) const
{
    if (m_tags.empty() || !m_file)
        return;
    try {
        MdxFile::write(*m_file, base, languageDriver, m_tags, m_io);
    } catch (const Error&) {
        removeFile();
        throw;
    }
}

void ProductionIndex::removeFile() const noexcept
{
    if (!m_file)
        return;
    std::error_code ec;
    if (fs::remove(*m_file, ec))
        noteFileRemoved(*m_file);
}

} // namespace tramazel::dbf
