// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfHeader.h"

#include "BlockFile.h"
#include "Bytes.h"
#include "DbfErrors.h"
#include "DbfFormat.h"
#include "text/Ascii.h"

#include <cstring>

namespace tramazel::dbf {

using codec::Encoding;

namespace {

constexpr std::size_t kMaxFields = 255;

bool isLevel7Version(std::uint8_t version)
{
    return version == kVersionLevel7 || version == kVersionLevel7Memo;
}

bool isFoxProVersion(std::uint8_t version)
{
    return version == kVersionVisualFoxPro || version == kVersionVisualFoxProAutoinc
        || version == kVersionFoxProMemo;
}

bool isKnownVersion(std::uint8_t version)
{
    return version == kVersionDbase || version == kVersionDbase3Memo || version == kVersionDbase4Memo
        || isLevel7Version(version) || isFoxProVersion(version);
}

/// How the bytes of a field read from a file hold its value; throws when its
/// descriptor is impossible or of a type the engine cannot read.
Encoding encodingOf(const FieldInfo& f, bool foxPro, bool level7, const std::filesystem::path& table)
{
    auto bad = [&](const std::string& why) {
        return errors::tableCorrupt(table,
            "la descripción del campo «" + f.name + "» (tipo " + std::string(1, f.type) + ", ancho "
                + std::to_string(f.width) + ", " + std::to_string(f.decimals) + " decimales) no es válida",
            "field " + f.name + " " + f.type + "(" + std::to_string(f.width) + ","
                + std::to_string(f.decimals) + "): " + why);
    };
    auto expectWidth = [&](int w) {
        if (f.width != w)
            throw bad("width must be " + std::to_string(w));
    };
    switch (f.type) {
    case kTypeCharacter:
        if (f.width < 1)
            throw bad("empty width");
        return Encoding::Text;
    case kTypeNumeric:
    case kTypeFloat:
        if (f.width < 1 || f.width > kMaxNumericWidth)
            throw bad("impossible width");
        if (f.decimals > 0 && f.decimals >= f.width)
            throw bad("more decimals than width");
        return Encoding::Decimal;
    case kTypeLogical:
        expectWidth(1);
        return Encoding::Logical;
    case kTypeDate:
        expectWidth(8);
        return Encoding::Date;
    case kTypeLong:
    case kTypeAutoincrement:
        expectWidth(4);
        return level7 ? Encoding::Int32Level7 : Encoding::Int32LittleEndian;
    case kTypeDouble:
        expectWidth(8);
        return Encoding::DoubleLevel7;
    case kTypeBinary:
        if (foxPro) {
            expectWidth(8);
            return Encoding::DoubleLittleEndian;
        }
        expectWidth(10); // dBASE binary memo: a block number
        return Encoding::Opaque;
    case kTypeCurrency:
        expectWidth(8);
        return Encoding::CurrencyLittleEndian;
    case kTypeMemo:
    case kTypeGeneral:
    case kTypePicture:
        if (f.width != 10 && f.width != 4)
            throw bad("memo width must be 10 or 4");
        return Encoding::Opaque;
    case kTypeDateTime:
    case kTypeTimestamp:
        expectWidth(8);
        return Encoding::Opaque;
    case kTypeNullFlags:
        if (f.width < 1)
            throw bad("empty width");
        return Encoding::Opaque;
    default:
        throw errors::unsupportedFieldType(table, f);
    }
}

} // namespace

bool DbfHeader::level7() const noexcept
{
    return isLevel7Version(m_version);
}

bool DbfHeader::foxPro() const noexcept
{
    return isFoxProVersion(m_version);
}

bool DbfHeader::foxProStructuralIndex() const noexcept
{
    return foxPro() && (m_bytes[kOffMdxFlag] & 0x01);
}

void DbfHeader::addField(FieldInfo field, Encoding encoding)
{
    field.offset = m_recordLength == 0 ? 0 : m_recordLength - 1;
    m_recordLength = static_cast<std::uint32_t>(field.offset + static_cast<std::size_t>(field.width) + 1);
    m_fields.push_back(std::move(field));
    m_encodings.push_back(encoding);
}

DbfHeader DbfHeader::read(BlockFile& file, std::uint64_t fileSize, const std::filesystem::path& table)
{
    auto corrupt = [&](const std::string& reason, const std::string& detail) {
        return errors::tableCorrupt(table, reason, detail);
    };
    auto readBytes = [&](unsigned char* data, std::size_t size) {
        if (!file.read(0, reinterpret_cast<char*>(data), size))
            throw errors::tableCutShort(table, 0);
    };
    if (fileSize < kHeaderSize)
        throw corrupt("el archivo tiene " + std::to_string(fileSize) + " bytes, menos que una cabecera",
            "file of " + std::to_string(fileSize) + " bytes has no complete header");
    DbfHeader h;
    unsigned char fixed[kHeaderSize];
    readBytes(fixed, kHeaderSize);
    h.m_version = fixed[kOffVersion];
    if (!isKnownVersion(h.m_version))
        throw errors::unsupportedVersion(table, h.m_version);
    const bool level7 = h.level7();
    const bool foxPro = h.foxPro();
    h.m_recordCount = readU32(fixed + kOffRecordCount);
    h.m_headerLength = readU16(fixed + kOffHeaderLength);
    const std::uint32_t recordLength = readU16(fixed + kOffRecordLength);
    h.m_languageDriver = fixed[kOffLanguageDriver];
    h.m_productionIndex = !foxPro && fixed[kOffMdxFlag] != 0;

    const std::size_t descStart = level7 ? kLevel7HeaderSize : kHeaderSize;
    const std::size_t descSize = level7 ? kDesc7Size : kDescriptorSize;
    const std::size_t nameSize = level7 ? kDesc7NameSize : kDescNameSize;
    if (h.m_headerLength < descStart + 1)
        throw corrupt(
            "la cabecera dice medir " + std::to_string(h.m_headerLength) + " bytes, demasiado pocos",
            "header length " + std::to_string(h.m_headerLength) + " too small");
    if (h.m_headerLength > fileSize)
        throw corrupt("la cabecera dice medir " + std::to_string(h.m_headerLength)
                + " bytes, más que el archivo entero (" + std::to_string(fileSize) + ")",
            "header length " + std::to_string(h.m_headerLength) + " beyond the end of the file");
    h.m_bytes.resize(h.m_headerLength);
    readBytes(h.m_bytes.data(), h.m_headerLength);
    std::string_view driverName;
    if (level7) {
        const char* name = reinterpret_cast<const char*>(h.m_bytes.data() + kOffLevel7DriverName);
        const void* nul = std::memchr(name, 0, kLevel7DriverNameSize);
        driverName = std::string_view(name,
            nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - name) : kLevel7DriverNameSize);
    }
    h.m_driver = languageDriverOf(h.m_languageDriver, driverName);

    std::size_t pos = descStart;
    while (pos < h.m_headerLength && h.m_bytes[pos] != kHeaderTerminator) {
        if (pos + descSize > h.m_headerLength)
            throw corrupt("las descripciones de los campos pasan del final de la cabecera",
                "field descriptors run past the header length");
        const unsigned char* d = &h.m_bytes[pos];
        FieldInfo f;
        const char* name = reinterpret_cast<const char*>(d + kDescName);
        const void* nul = std::memchr(name, 0, nameSize);
        f.name.assign(name, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - name) : nameSize);
        while (!f.name.empty() && f.name.back() == ' ')
            f.name.pop_back();
        f.type = static_cast<char>(d[level7 ? kDesc7Type : kDescType]);
        f.width = d[level7 ? kDesc7Width : kDescWidth];
        f.decimals = d[level7 ? kDesc7Decimals : kDescDecimals];
        if (f.name.empty())
            throw corrupt("el campo " + std::to_string(h.m_fields.size() + 1) + " no tiene nombre",
                "field " + std::to_string(h.m_fields.size() + 1) + " has no name");
        if (foxPro && f.type == kTypeCharacter) {
            // FoxPro keeps the high byte of a long character width in the decimals.
            f.width += 256 * f.decimals;
            f.decimals = 0;
        }
        const Encoding e = encodingOf(f, foxPro, level7, table);
        h.addField(std::move(f), e);
        pos += descSize;
    }
    if (pos >= h.m_headerLength)
        throw corrupt(
            "falta la marca de fin de la cabecera", "no header terminator 0x0D within the header length");
    if (h.m_fields.empty())
        throw corrupt("no tiene ningún campo", "no fields");
    if (h.m_recordLength != recordLength)
        throw corrupt("la cabecera dice que cada registro mide " + std::to_string(recordLength)
                + " bytes, pero sus campos suman " + std::to_string(h.m_recordLength),
            "record length " + std::to_string(recordLength) + " differs from 1 + field widths "
                + std::to_string(h.m_recordLength));
    if (h.recordOffset(h.m_recordCount) > fileSize)
        throw corrupt("la cabecera cuenta " + std::to_string(h.m_recordCount)
                + " registros, pero el archivo solo tiene sitio para "
                + std::to_string((fileSize - h.m_headerLength) / recordLength),
            "header counts " + std::to_string(h.m_recordCount) + " records but the file holds only "
                + std::to_string((fileSize - h.m_headerLength) / recordLength));
    return h;
}

DbfHeader DbfHeader::define(const std::string& base, const std::vector<FieldSpec>& fields)
{
    auto invalid = [&](const std::string& detail) { return errors::invalidDefinition(base, detail); };
    if (fields.empty() || fields.size() > kMaxFields)
        throw invalid(std::to_string(fields.size()) + " fields");
    DbfHeader h;
    for (const auto& spec : fields) {
        if (!validFieldName(spec.name))
            throw invalid("field name \"" + spec.name + "\"");
        FieldInfo f;
        f.name = text::toAsciiUpper(spec.name);
        for (const auto& other : h.m_fields) {
            if (other.name == f.name)
                throw invalid("field " + f.name + " twice");
        }
        Encoding e = Encoding::Text;
        switch (spec.kind) {
        case FieldKind::Character:
            if (spec.width < 1 || spec.width > kMaxCreateCharacterWidth)
                throw invalid("field " + f.name + " width " + std::to_string(spec.width));
            f.type = kTypeCharacter;
            f.width = spec.width;
            break;
        case FieldKind::Integer:
            f.type = kTypeNumeric;
            f.width = kIntegerWidth;
            e = Encoding::Decimal;
            break;
        case FieldKind::Float:
            f.type = kTypeNumeric;
            f.width = kFloatWidth;
            f.decimals = kFloatDecimals;
            e = Encoding::Decimal;
            break;
        case FieldKind::Logical:
            f.type = kTypeLogical;
            f.width = 1;
            e = Encoding::Logical;
            break;
        }
        h.addField(std::move(f), e);
    }

    h.m_version = kVersionDbase;
    h.m_languageDriver = kLanguageDriverWindowsAnsi;
    h.m_headerLength = static_cast<std::uint32_t>(kHeaderSize + kDescriptorSize * h.m_fields.size() + 1);
    h.m_bytes.assign(h.m_headerLength, 0);
    unsigned char* b = h.m_bytes.data();
    b[kOffVersion] = h.m_version;
    writeToday(b + kOffDate);
    writeU16(b + kOffHeaderLength, h.m_headerLength);
    writeU16(b + kOffRecordLength, h.m_recordLength);
    b[kOffLanguageDriver] = h.m_languageDriver;
    for (std::size_t i = 0; i < h.m_fields.size(); ++i) {
        const FieldInfo& f = h.m_fields[i];
        unsigned char* d = b + kHeaderSize + kDescriptorSize * i;
        std::memcpy(d + kDescName, f.name.data(), f.name.size());
        d[kDescType] = static_cast<unsigned char>(f.type);
        d[kDescWidth] = static_cast<unsigned char>(f.width);
        d[kDescDecimals] = static_cast<unsigned char>(f.decimals);
    }
    b[h.m_headerLength - 1] = kHeaderTerminator;
    return h;
}

void DbfHeader::markIndexed(std::size_t field)
{
    m_productionIndex = true;
    m_bytes[kOffMdxFlag] = 1;
    m_bytes[kHeaderSize + kDescriptorSize * field + kDescMdxFlag] = 1;
}

const unsigned char* DbfHeader::stampForClose(std::uint32_t count)
{
    writeToday(&m_bytes[kOffDate]);
    writeU32(&m_bytes[kOffRecordCount], count);
    return m_bytes.data();
}

std::vector<char> DbfHeader::blankRecord() const
{
    std::vector<char> blank(m_recordLength, ' ');
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        bool zeros = false;
        switch (m_encodings[i]) {
        case Encoding::Int32LittleEndian:
        case Encoding::Int32Level7:
        case Encoding::DoubleLittleEndian:
        case Encoding::DoubleLevel7:
        case Encoding::CurrencyLittleEndian:
            zeros = true;
            break;
        case Encoding::Opaque:
            zeros = m_fields[i].width != 10; // dBASE memo pointers are blank digits
            break;
        default:
            break;
        }
        if (zeros)
            std::memset(
                blank.data() + 1 + m_fields[i].offset, 0, static_cast<std::size_t>(m_fields[i].width));
    }
    return blank;
}

} // namespace tramazel::dbf
