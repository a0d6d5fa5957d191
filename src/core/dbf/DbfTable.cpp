// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTable.h"

#include "DbfFormat.h"
#include "Error.h"
#include "FieldCodec.h"
#include "MdxFile.h"
#include "TableFiles.h"
#include "platform/Platform.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <system_error>

namespace tramazel::dbf {

namespace fs = std::filesystem;
using codec::Encoding;

namespace {

constexpr std::size_t kIoBufferSize = 256 * 1024;
constexpr std::size_t kMaxFields = 255;
constexpr std::size_t kMaxTags = kMdxTagSlots - 1;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool isLevel7(std::uint8_t version)
{
    return version == kVersionLevel7 || version == kVersionLevel7Memo;
}

bool isFoxPro(std::uint8_t version)
{
    return version == kVersionVisualFoxPro || version == kVersionVisualFoxProAutoinc
        || version == kVersionFoxProMemo;
}

bool isKnownVersion(std::uint8_t version)
{
    return version == kVersionDbase || version == kVersionDbase3Memo || version == kVersionDbase4Memo
        || isLevel7(version) || isFoxPro(version);
}

std::string hexByte(unsigned value)
{
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[(value >> 4) & 0xF] + digits[value & 0xF];
}

void putToday(unsigned char* p)
{
    std::time_t now = std::time(nullptr);
    const std::tm* t = std::localtime(&now);
    if (!t)
        return;
    p[0] = static_cast<unsigned char>(t->tm_year % 256);
    p[1] = static_cast<unsigned char>(t->tm_mon + 1);
    p[2] = static_cast<unsigned char>(t->tm_mday);
}

bool validTableName(std::string_view base)
{
    if (base.empty() || base == "." || base == "..")
        return false;
    return base.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

bool validFieldName(std::string_view name)
{
    if (name.empty() || name.size() > static_cast<std::size_t>(kMaxNameLength))
        return false;
    for (char c : name) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

std::string upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = text::asciiUpper(c);
    return out;
}

} // namespace

class DbfTable::Impl {
public:
    enum class State { Browse, Append, Edit };

    fs::path dir;
    fs::path path;
    std::string base;
    FilePtr file;
    std::unique_ptr<platform::FileLock> lock;
    bool readOnly = false;

    std::vector<FieldInfo> fields;
    std::vector<Encoding> encodings;
    std::vector<unsigned char> header;
    std::uint8_t version = kVersionDbase;
    std::uint8_t languageDriver = kLanguageDriverWindowsAnsi;
    std::uint32_t headerLength = 0;
    std::uint32_t recordLength = 0;
    std::uint32_t count = 0;

    // Production index: the tags and, once a write needs them, every record's keys.
    bool indexFlag = false;
    bool indexReady = false;
    std::optional<fs::path> indexPath;
    std::vector<MdxTagKeys> tags;
    std::vector<std::size_t> tagFields;

    std::uint32_t current = 0; // 0-based; == count at the end
    bool atEof = true;
    std::vector<char> record;
    std::vector<char> blank;
    State state = State::Browse;
    bool modified = false;

    std::vector<char> readBuffer;
    std::uint64_t readStart = 0;
    std::size_t readLength = 0;
    std::vector<char> writeBuffer;
    std::uint64_t writeStart = 0;
    std::size_t writeLength = 0;
    std::uint64_t osPos = 0;
    bool osPosKnown = false;

    ~Impl()
    {
        try {
            close();
        } catch (...) {
            // Destruction cannot report; close() explicitly to see errors.
        }
    }

    // ---- messages -------------------------------------------------------------

    std::string fileName() const { return text::pathToUtf8(path.filename()); }

    Error corrupt(const std::string& detail) const
    {
        return Error(ErrorCode::TableCorrupt,
            "La tabla «" + fileName() + "» está dañada o no es una tabla dBASE.",
            text::pathToUtf8(path) + ": " + detail);
    }

    Error readError() const
    {
        return Error(ErrorCode::FileIo, "No se puede leer la tabla «" + fileName() + "».", text::pathToUtf8(path));
    }

    Error writeError() const
    {
        return Error(
            ErrorCode::FileIo, "No se puede escribir en la tabla «" + fileName() + "».", text::pathToUtf8(path));
    }

    Error badValue(std::size_t field, std::string_view stored) const
    {
        return Error(ErrorCode::TableCorrupt,
            "El campo «" + fields[field].name + "» del registro " + std::to_string(current + 1)
                + " de la tabla «" + fileName() + "» no contiene un valor válido.",
            text::pathToUtf8(path) + ": record " + std::to_string(current + 1) + ", field " + fields[field].name
                + ": \"" + std::string(stored) + "\"");
    }

    Error doesNotFit(std::size_t field, std::string_view value) const
    {
        const FieldInfo& f = fields[field];
        return Error(ErrorCode::ValueOutOfRange,
            "El valor «" + std::string(value) + "» no cabe en el campo «" + f.name + "» de la tabla «"
                + fileName() + "».",
            text::pathToUtf8(path) + ": field " + f.name + " " + f.type + "(" + std::to_string(f.width) + ","
                + std::to_string(f.decimals) + ")");
    }

    Error wrongKind(std::size_t field, std::string_view operation) const
    {
        return Error(ErrorCode::InvalidArgument,
            "El campo «" + fields[field].name + "» de la tabla «" + fileName() + "» no admite este valor.",
            text::pathToUtf8(path) + ": " + std::string(operation) + " on field " + fields[field].name + " of type "
                + fields[field].type);
    }

    Error unsupportedWrite(std::size_t field) const
    {
        return Error(ErrorCode::TableUnsupported,
            "No se puede escribir en el campo «" + fields[field].name + "» de la tabla «" + fileName() + "».",
            text::pathToUtf8(path) + ": writing fields of type " + fields[field].type + " is not supported");
    }

    Error notEditing() const
    {
        return Error(ErrorCode::InvalidArgument,
            "La tabla «" + fileName() + "» no tiene ningún registro en edición.", text::pathToUtf8(path));
    }

    // ---- file access ----------------------------------------------------------

    // The engine buffers itself instead of relying on stdio: appends gather into one
    // block written with a single call, sequential reads are served from one block,
    // and the two never disagree because every write drops the read block.

    /// Moves the (unbuffered) stream to `pos` unless it is there already.
    bool seekTo(std::uint64_t pos)
    {
        if (osPosKnown && osPos == pos)
            return true;
        osPosKnown = platform::seekFile(file.get(), pos);
        osPos = pos;
        return osPosKnown;
    }

    void flushWrites()
    {
        if (writeLength == 0)
            return;
        const std::size_t n = writeLength;
        writeLength = 0;
        if (!seekTo(writeStart) || std::fwrite(writeBuffer.data(), 1, n, file.get()) != n) {
            osPosKnown = false;
            throw writeError();
        }
        osPos += n;
    }

    void readAt(std::uint64_t pos, char* data, std::size_t size)
    {
        if (pos >= readStart && pos + size <= readStart + readLength) {
            std::memcpy(data, readBuffer.data() + (pos - readStart), size);
            return;
        }
        flushWrites();
        if (!seekTo(pos))
            throw readError();
        if (size >= readBuffer.size()) {
            std::size_t got = std::fread(data, 1, size, file.get());
            osPos += got;
            if (got != size)
                throw corrupt("short read at offset " + std::to_string(pos));
            return;
        }
        std::size_t got = std::fread(readBuffer.data(), 1, readBuffer.size(), file.get());
        osPos += got;
        readStart = pos;
        readLength = got;
        if (got < size)
            throw corrupt("short read at offset " + std::to_string(pos));
        std::memcpy(data, readBuffer.data(), size);
    }

    void writeAt(std::uint64_t pos, const char* data, std::size_t size)
    {
        if (readOnly)
            throw writeError();
        readLength = 0;
        if (writeLength > 0 && pos == writeStart + writeLength && writeLength + size <= writeBuffer.size()) {
            std::memcpy(writeBuffer.data() + writeLength, data, size);
            writeLength += size;
            return;
        }
        flushWrites();
        if (size >= writeBuffer.size()) {
            if (!seekTo(pos) || std::fwrite(data, 1, size, file.get()) != size) {
                osPosKnown = false;
                throw writeError();
            }
            osPos += size;
            return;
        }
        writeStart = pos;
        std::memcpy(writeBuffer.data(), data, size);
        writeLength = size;
    }

    std::uint64_t recordOffset(std::uint32_t index) const
    {
        return std::uint64_t { headerLength } + std::uint64_t { index } * recordLength;
    }

    void attachBuffer()
    {
        std::setvbuf(file.get(), nullptr, _IONBF, 0);
        readBuffer.resize(kIoBufferSize);
        writeBuffer.resize(kIoBufferSize);
    }

    // ---- layout ---------------------------------------------------------------

    void prepareRecords()
    {
        blank.assign(recordLength, ' ');
        for (std::size_t i = 0; i < fields.size(); ++i) {
            bool zeros = false;
            switch (encodings[i]) {
            case Encoding::Int32LittleEndian:
            case Encoding::Int32Level7:
            case Encoding::DoubleLittleEndian:
            case Encoding::DoubleLevel7:
            case Encoding::CurrencyLittleEndian:
                zeros = true;
                break;
            case Encoding::Opaque:
                zeros = fields[i].width != 10; // dBASE memo pointers are blank digits
                break;
            default:
                break;
            }
            if (zeros)
                std::memset(
                    blank.data() + 1 + fields[i].offset, 0, static_cast<std::size_t>(fields[i].width));
        }
        record = blank;
    }

    /// Reads the header of an opened file and checks it against the file's size.
    void parseHeader(std::uint64_t fileSize)
    {
        if (fileSize < kHeaderSize)
            throw corrupt("file of " + std::to_string(fileSize) + " bytes has no complete header");
        unsigned char fixed[kHeaderSize];
        readAt(0, reinterpret_cast<char*>(fixed), kHeaderSize);
        version = fixed[kOffVersion];
        if (!isKnownVersion(version))
            throw Error(ErrorCode::TableUnsupported,
                "La tabla «" + fileName() + "» es de una variante de dBASE que no se puede leer.",
                text::pathToUtf8(path) + ": version byte " + hexByte(version));
        const bool level7 = isLevel7(version);
        const bool foxPro = isFoxPro(version);
        count = readU32(fixed + kOffRecordCount);
        headerLength = readU16(fixed + kOffHeaderLength);
        recordLength = readU16(fixed + kOffRecordLength);
        languageDriver = fixed[kOffLanguageDriver];
        indexFlag = !foxPro && fixed[kOffMdxFlag] != 0;

        const std::size_t descStart = level7 ? kLevel7HeaderSize : kHeaderSize;
        const std::size_t descSize = level7 ? kDesc7Size : kDescriptorSize;
        if (headerLength < descStart + 1)
            throw corrupt("header length " + std::to_string(headerLength) + " too small");
        if (headerLength > fileSize)
            throw corrupt("header length " + std::to_string(headerLength) + " beyond the end of the file");
        header.resize(headerLength);
        readAt(0, reinterpret_cast<char*>(header.data()), headerLength);

        std::size_t pos = descStart;
        std::size_t offset = 0;
        while (pos < headerLength && header[pos] != kHeaderTerminator) {
            if (pos + descSize > headerLength)
                throw corrupt("field descriptors run past the header length");
            const unsigned char* d = &header[pos];
            FieldInfo f;
            const std::size_t nameSize = level7 ? kDesc7NameSize : kDescNameSize;
            const char* name = reinterpret_cast<const char*>(d + kDescName);
            const void* nul = std::memchr(name, 0, nameSize);
            f.name.assign(
                name, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - name) : nameSize);
            while (!f.name.empty() && f.name.back() == ' ')
                f.name.pop_back();
            f.type = static_cast<char>(d[level7 ? kDesc7Type : kDescType]);
            f.width = d[level7 ? kDesc7Width : kDescWidth];
            f.decimals = d[level7 ? kDesc7Decimals : kDescDecimals];
            const std::size_t number = fields.size() + 1;
            if (f.name.empty())
                throw corrupt("field " + std::to_string(number) + " has no name");
            if (foxPro && f.type == 'C') {
                // FoxPro keeps the high byte of a long character width in the decimals.
                f.width += 256 * f.decimals;
                f.decimals = 0;
            }
            Encoding e = encodingOf(f, foxPro, level7);
            f.offset = offset;
            offset += static_cast<std::size_t>(f.width);
            fields.push_back(std::move(f));
            encodings.push_back(e);
            pos += descSize;
        }
        if (pos >= headerLength)
            throw corrupt("no header terminator 0x0D within the header length");
        if (fields.empty())
            throw corrupt("no fields");
        if (offset + 1 != recordLength)
            throw corrupt("record length " + std::to_string(recordLength) + " differs from 1 + field widths "
                + std::to_string(offset + 1));
        const std::uint64_t needed = recordOffset(count);
        if (needed > fileSize)
            throw corrupt("header counts " + std::to_string(count) + " records but the file holds only "
                + std::to_string((fileSize - headerLength) / recordLength));
    }

    Encoding encodingOf(const FieldInfo& f, bool foxPro, bool level7) const
    {
        auto bad = [&](const std::string& why) {
            return corrupt("field " + f.name + " " + f.type + "(" + std::to_string(f.width) + ","
                + std::to_string(f.decimals) + "): " + why);
        };
        auto expectWidth = [&](int w) {
            if (f.width != w)
                throw bad("width must be " + std::to_string(w));
        };
        switch (f.type) {
        case 'C':
            if (f.width < 1)
                throw bad("empty width");
            return Encoding::Text;
        case 'N':
        case 'F':
            if (f.width < 1 || f.width > kMaxNumericWidth)
                throw bad("impossible width");
            if (f.decimals > 0 && f.decimals >= f.width)
                throw bad("more decimals than width");
            return Encoding::Decimal;
        case 'L':
            expectWidth(1);
            return Encoding::Logical;
        case 'D':
            expectWidth(8);
            return Encoding::Date;
        case 'I':
            expectWidth(4);
            return level7 ? Encoding::Int32Level7 : Encoding::Int32LittleEndian;
        case '+':
            expectWidth(4);
            return level7 ? Encoding::Int32Level7 : Encoding::Int32LittleEndian;
        case 'O':
            expectWidth(8);
            return Encoding::DoubleLevel7;
        case 'B':
            if (foxPro) {
                expectWidth(8);
                return Encoding::DoubleLittleEndian;
            }
            expectWidth(10); // dBASE binary memo: a block number
            return Encoding::Opaque;
        case 'Y':
            expectWidth(8);
            return Encoding::CurrencyLittleEndian;
        case 'M':
        case 'G':
        case 'P':
            if (f.width != 10 && f.width != 4)
                throw bad("memo width must be 10 or 4");
            return Encoding::Opaque;
        case 'T':
        case '@':
            expectWidth(8);
            return Encoding::Opaque;
        case '0': // FoxPro's hidden null-flags field
            if (f.width < 1)
                throw bad("empty width");
            return Encoding::Opaque;
        default:
            throw Error(ErrorCode::TableUnsupported,
                "La tabla «" + fileName() + "» tiene un campo de un tipo que no se puede leer («" + f.name
                    + "»).",
                text::pathToUtf8(path) + ": field " + f.name + " of type "
                    + hexByte(static_cast<unsigned char>(f.type)));
        }
    }

    // ---- navigation -----------------------------------------------------------

    void load(std::uint32_t index)
    {
        current = index;
        atEof = index >= count;
        if (atEof) {
            current = count;
            record = blank;
            return;
        }
        readAt(recordOffset(index), record.data(), recordLength);
    }

    /// Moves to the first live record at or after `index`.
    void seekLive(std::uint32_t index)
    {
        for (; index < count; ++index) {
            load(index);
            if (record[0] != kRecordDeleted)
                return;
        }
        load(count);
    }

    void finishPending()
    {
        if (state != State::Browse)
            post();
    }

    // ---- index ----------------------------------------------------------------

    void appendKeys(const char* rec)
    {
        for (std::size_t t = 0; t < tags.size(); ++t)
            tags[t].keys.append(rec + 1 + fields[tagFields[t]].offset, tags[t].keyLength);
    }

    void replaceKeys(std::uint32_t index, const char* rec)
    {
        for (std::size_t t = 0; t < tags.size(); ++t) {
            std::size_t k = tags[t].keyLength;
            std::memcpy(
                tags[t].keys.data() + std::size_t { index } * k, rec + 1 + fields[tagFields[t]].offset, k);
        }
    }

    /// Before the first change to an opened table with a production index: learn
    /// its tags and collect every record's keys, so that the index can be rebuilt.
    void prepareIndex()
    {
        if (indexReady)
            return;
        auto unsupported = [&](const std::string& detail) {
            return Error(ErrorCode::TableUnsupported,
                "No se puede modificar la tabla «" + fileName() + "» porque no se puede mantener su índice.",
                text::pathToUtf8(path) + ": " + detail);
        };
        if (!indexFlag) {
            indexReady = true;
            return;
        }
        if (isLevel7(version))
            throw unsupported("level 7 index");
        if (!indexPath)
            throw unsupported(
                "the header announces a production index but " + base + kMdxExtension.data() + " is missing");
        std::vector<MdxTagKeys> found;
        std::vector<std::size_t> foundFields;
        for (auto& info : MdxFile::readTags(*indexPath)) {
            std::string expression(codec::trim(info.expression));
            auto it = std::find_if(fields.begin(), fields.end(),
                [&](const FieldInfo& f) { return text::equalsIgnoringAsciiCase(f.name, expression); });
            if (it == fields.end() || it->type != 'C' || info.keyType != 'C'
                || static_cast<std::size_t>(it->width) != info.keyLength)
                throw unsupported("tag " + info.name + " on expression \"" + info.expression + "\"");
            MdxTagKeys tag;
            tag.name = info.name;
            tag.expression = it->name;
            tag.keyLength = info.keyLength;
            tag.keys.reserve(std::size_t { count } * tag.keyLength);
            found.push_back(std::move(tag));
            foundFields.push_back(static_cast<std::size_t>(it - fields.begin()));
        }
        tags = std::move(found);
        tagFields = std::move(foundFields);
        std::vector<char> rec(recordLength);
        for (std::uint32_t r = 0; r < count; ++r) {
            readAt(recordOffset(r), rec.data(), recordLength);
            appendKeys(rec.data());
        }
        indexReady = true;
    }

    // ---- writing --------------------------------------------------------------

    void beginChange()
    {
        if (readOnly)
            throw Error(
                ErrorCode::FileIo, "La tabla «" + fileName() + "» es de solo lectura.", text::pathToUtf8(path));
        if (isFoxPro(version) && (header[kOffMdxFlag] & 0x01))
            throw Error(ErrorCode::TableUnsupported,
                "No se puede modificar la tabla «" + fileName() + "» porque no se puede mantener su índice.",
                text::pathToUtf8(path) + ": FoxPro structural index");
        prepareIndex();
    }

    char* fieldForWrite(std::size_t field)
    {
        if (state == State::Browse)
            throw notEditing();
        return record.data() + 1 + fields[field].offset;
    }

    void post()
    {
        if (state == State::Browse)
            throw notEditing();
        if (state == State::Append) {
            if (count == UINT32_MAX)
                throw Error(
                    ErrorCode::ValueOutOfRange, "La tabla «" + fileName() + "» está llena.", text::pathToUtf8(path));
            writeAt(recordOffset(count), record.data(), recordLength);
            appendKeys(record.data());
            current = count;
            ++count;
        } else {
            writeAt(recordOffset(current), record.data(), recordLength);
            replaceKeys(current, record.data());
        }
        atEof = false;
        state = State::Browse;
        modified = true;
    }

    // ---- closing --------------------------------------------------------------

    void writeTrailer()
    {
        putToday(&header[kOffDate]);
        writeU32(&header[kOffRecordCount], count);
        writeAt(0, reinterpret_cast<const char*>(header.data()), kHeaderSize);
        const char eof = static_cast<char>(kEndOfFile);
        writeAt(recordOffset(count), &eof, 1);
        flushWrites();
        if (std::fflush(file.get()) != 0)
            throw writeError();
    }

    void close()
    {
        if (!file)
            return;
        // A record started but never posted is dropped, as with any table engine:
        // closing in the middle of an error must not store half a record.
        state = State::Browse;
        std::optional<Error> failure;
        if (modified) {
            try {
                writeTrailer();
            } catch (const Error& e) {
                failure = e;
            }
        }
        if (std::fclose(file.release()) != 0 && modified && !failure)
            failure = writeError();
        if (modified && !failure) {
            try {
                const std::uint64_t expected = recordOffset(count) + 1;
                std::error_code ec;
                if (fs::file_size(path, ec) > expected && !ec)
                    fs::resize_file(path, expected, ec);
                if (ec)
                    throw writeError();
                if (!tags.empty())
                    MdxFile::write(
                        indexPath ? *indexPath : dir / text::pathFromUtf8(base + std::string(kMdxExtension)), base,
                        languageDriver, tags);
            } catch (const Error& e) {
                failure = e;
            }
        }
        modified = false;
        atEof = true;
        lock.reset();
        if (failure)
            throw *failure;
    }
};

// ---- creation and opening -----------------------------------------------------

DbfTable::DbfTable(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

DbfTable::DbfTable(DbfTable&&) noexcept = default;
DbfTable& DbfTable::operator=(DbfTable&&) noexcept = default;
DbfTable::~DbfTable() = default;

DbfTable DbfTable::create(const fs::path& dir, std::string_view name, const std::vector<FieldSpec>& fields,
    const std::vector<IndexSpec>& indexes)
{
    auto impl = std::make_unique<Impl>();
    impl->dir = dir;
    impl->base = tableBaseName(name);
    impl->path = dir / text::pathFromUtf8(impl->base + std::string(kDbfExtension));
    auto invalid = [&](const std::string& detail) {
        return Error(ErrorCode::InvalidArgument,
            "No se puede crear la tabla «" + impl->base + "»: su definición no es válida.", detail);
    };
    if (!validTableName(impl->base))
        throw invalid("table name \"" + std::string(name) + "\"");
    if (fields.empty() || fields.size() > kMaxFields)
        throw invalid(std::to_string(fields.size()) + " fields");

    std::size_t offset = 0;
    for (const auto& spec : fields) {
        if (!validFieldName(spec.name))
            throw invalid("field name \"" + spec.name + "\"");
        FieldInfo f;
        f.name = upper(spec.name);
        for (const auto& other : impl->fields) {
            if (other.name == f.name)
                throw invalid("field " + f.name + " twice");
        }
        switch (spec.kind) {
        case FieldKind::Character:
            if (spec.width < 1 || spec.width > kMaxCreateCharacterWidth)
                throw invalid("field " + f.name + " width " + std::to_string(spec.width));
            f.type = 'C';
            f.width = spec.width;
            impl->encodings.push_back(Encoding::Text);
            break;
        case FieldKind::Integer:
            f.type = 'N';
            f.width = kIntegerWidth;
            impl->encodings.push_back(Encoding::Decimal);
            break;
        case FieldKind::Float:
            f.type = 'N';
            f.width = kFloatWidth;
            f.decimals = kFloatDecimals;
            impl->encodings.push_back(Encoding::Decimal);
            break;
        case FieldKind::Logical:
            f.type = 'L';
            f.width = 1;
            impl->encodings.push_back(Encoding::Logical);
            break;
        }
        f.offset = offset;
        offset += static_cast<std::size_t>(f.width);
        impl->fields.push_back(std::move(f));
    }
    if (indexes.size() > kMaxTags)
        throw invalid(std::to_string(indexes.size()) + " indexes");
    for (const auto& index : indexes) {
        std::string tag = upper(index.tag);
        if (!validFieldName(tag))
            throw invalid("index name \"" + index.tag + "\"");
        for (const auto& other : impl->tags) {
            if (other.name == tag)
                throw invalid("index " + tag + " twice");
        }
        auto it = std::find_if(impl->fields.begin(), impl->fields.end(),
            [&](const FieldInfo& f) { return text::equalsIgnoringAsciiCase(f.name, index.field); });
        if (it == impl->fields.end() || it->type != 'C')
            throw invalid("index " + tag + " on \"" + index.field + "\", not a character field");
        MdxTagKeys keys;
        keys.name = tag;
        keys.expression = it->name;
        keys.keyLength = static_cast<std::size_t>(it->width);
        impl->tags.push_back(std::move(keys));
        impl->tagFields.push_back(static_cast<std::size_t>(it - impl->fields.begin()));
    }
    impl->indexReady = true;
    impl->indexFlag = !indexes.empty();
    impl->headerLength = static_cast<std::uint32_t>(kHeaderSize + kDescriptorSize * fields.size() + 1);
    impl->recordLength = static_cast<std::uint32_t>(offset + 1);
    impl->count = 0;

    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        throw Error(ErrorCode::FileNotFound,
            "No se puede crear la tabla «" + impl->base + "»: no existe la carpeta «" + text::pathToUtf8(dir) + "».",
            text::pathToUtf8(dir));
    // A table in use elsewhere is never replaced under its reader.
    for (const auto& existing : tableFileVariants(dir, impl->base, kDbfExtension)) {
        std::unique_ptr<platform::FileLock> probe;
        try {
            probe = platform::FileLock::tryLock(existing, platform::FileLock::Mode::Exclusive);
        } catch (const Error&) {
            continue; // unreadable leftovers are simply replaced
        }
        if (!probe)
            throw Error(ErrorCode::TableLocked,
                "No se puede crear la tabla «" + impl->base + "» porque está abierta en otro programa.",
                text::pathToUtf8(existing));
    }
    deleteTable(dir, impl->base);
    for (const auto& leftover : tableFileVariants(dir, impl->base, kDbfExtension)) {
        if (fs::exists(leftover, ec))
            throw Error(ErrorCode::FileIo,
                "No se puede reemplazar la tabla «" + impl->base + "» en la carpeta «" + text::pathToUtf8(dir) + "».",
                text::pathToUtf8(leftover));
    }

    impl->file.reset(platform::openFile(impl->path, "w+b"));
    if (!impl->file)
        throw Error(ErrorCode::FileIo,
            "No se puede crear la tabla «" + impl->base + "» en la carpeta «" + text::pathToUtf8(dir) + "».",
            text::pathToUtf8(impl->path));
    impl->attachBuffer();
    impl->lock = platform::FileLock::tryLock(impl->path, platform::FileLock::Mode::Exclusive);
    if (!impl->lock)
        throw Error(ErrorCode::TableLocked,
            "No se puede crear la tabla «" + impl->base + "» porque está abierta en otro programa.",
            text::pathToUtf8(impl->path));

    auto& h = impl->header;
    h.assign(impl->headerLength, 0);
    h[kOffVersion] = kVersionDbase;
    putToday(&h[kOffDate]);
    writeU16(&h[kOffHeaderLength], impl->headerLength);
    writeU16(&h[kOffRecordLength], impl->recordLength);
    h[kOffMdxFlag] = impl->indexFlag ? 1 : 0;
    h[kOffLanguageDriver] = kLanguageDriverWindowsAnsi;
    for (std::size_t i = 0; i < impl->fields.size(); ++i) {
        const FieldInfo& f = impl->fields[i];
        unsigned char* d = &h[kHeaderSize + kDescriptorSize * i];
        std::memcpy(d + kDescName, f.name.data(), f.name.size());
        d[kDescType] = static_cast<unsigned char>(f.type);
        d[kDescWidth] = static_cast<unsigned char>(f.width);
        d[kDescDecimals] = static_cast<unsigned char>(f.decimals);
        bool indexed = std::find(impl->tagFields.begin(), impl->tagFields.end(), i) != impl->tagFields.end();
        d[kDescMdxFlag] = indexed ? 1 : 0;
    }
    h[impl->headerLength - 1] = kHeaderTerminator;
    impl->prepareRecords();
    // The new files form a valid empty table from the start.
    impl->writeAt(0, reinterpret_cast<const char*>(h.data()), h.size());
    impl->writeTrailer();
    if (!impl->tags.empty()) {
        impl->indexPath = dir / text::pathFromUtf8(impl->base + std::string(kMdxExtension));
        MdxFile::write(*impl->indexPath, impl->base, kLanguageDriverWindowsAnsi, impl->tags);
    }
    impl->load(0);
    return DbfTable(std::move(impl));
}

DbfTable DbfTable::open(const fs::path& dir, std::string_view name, Access access)
{
    auto impl = std::make_unique<Impl>();
    impl->dir = dir;
    impl->base = tableBaseName(name);
    if (!validTableName(impl->base))
        throw Error(ErrorCode::InvalidArgument,
            "El nombre de tabla «" + std::string(name) + "» no es válido.", std::string(name));
    auto found = findTableFile(dir, impl->base, kDbfExtension);
    if (!found)
        throw Error(ErrorCode::FileNotFound,
            "No se encuentra la tabla «" + impl->base + "» en la carpeta «" + text::pathToUtf8(dir) + "».",
            text::pathToUtf8(dir / text::pathFromUtf8(impl->base + std::string(kDbfExtension))));
    impl->path = *found;
    impl->lock = platform::FileLock::tryLock(impl->path,
        access == Access::Exclusive ? platform::FileLock::Mode::Exclusive : platform::FileLock::Mode::Shared);
    if (!impl->lock)
        throw Error(ErrorCode::TableLocked,
            "La tabla «" + impl->base + "» está abierta en otro programa y no se puede usar ahora.",
            text::pathToUtf8(impl->path)
                + (access == Access::Exclusive ? ": exclusive use refused" : ": in exclusive use"));
    impl->file.reset(platform::openFile(impl->path, "r+b"));
    if (!impl->file) {
        impl->file.reset(platform::openFile(impl->path, "rb"));
        impl->readOnly = true;
    }
    if (!impl->file)
        throw impl->readError();
    impl->attachBuffer();
    std::error_code ec;
    std::uint64_t size = fs::file_size(impl->path, ec);
    if (ec)
        throw impl->readError();
    impl->parseHeader(size);
    impl->indexPath = findTableFile(dir, impl->base, kMdxExtension);
    impl->prepareRecords();
    impl->seekLive(0);
    return DbfTable(std::move(impl));
}

// ---- the handle ----------------------------------------------------------------

namespace {
[[noreturn]] void throwClosed()
{
    throw Error(ErrorCode::InvalidArgument, "La tabla no está abierta.", "operation on a closed table");
}

DbfTable::Impl& opened(const std::unique_ptr<DbfTable::Impl>& impl)
{
    if (!impl || !impl->file)
        throwClosed();
    return *impl;
}

DbfTable::Impl& opened(const std::unique_ptr<DbfTable::Impl>& impl, std::size_t field)
{
    DbfTable::Impl& d = opened(impl);
    if (field >= d.fields.size())
        throw Error(ErrorCode::FieldNotFound, "La tabla «" + d.fileName() + "» no tiene el campo pedido.",
            text::pathToUtf8(d.path) + ": field index " + std::to_string(field));
    return d;
}
} // namespace

void DbfTable::close()
{
    if (m_impl)
        m_impl->close();
}

bool DbfTable::isOpen() const noexcept
{
    return m_impl && m_impl->file;
}

const fs::path& DbfTable::path() const noexcept
{
    static const fs::path none;
    return m_impl ? m_impl->path : none;
}

const std::vector<FieldInfo>& DbfTable::fields() const noexcept
{
    static const std::vector<FieldInfo> none;
    return m_impl ? m_impl->fields : none;
}

std::size_t DbfTable::fieldIndex(std::string_view name) const
{
    if (!m_impl)
        throwClosed();
    const auto& fields = m_impl->fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (text::equalsIgnoringAsciiCase(fields[i].name, name))
            return i;
    }
    throw Error(ErrorCode::FieldNotFound,
        "La tabla «" + m_impl->fileName() + "» no tiene el campo «" + std::string(name) + "».",
        text::pathToUtf8(m_impl->path) + ": field " + std::string(name));
}

bool DbfTable::hasField(std::string_view name) const noexcept
{
    if (!m_impl)
        return false;
    return std::any_of(m_impl->fields.begin(), m_impl->fields.end(),
        [&](const FieldInfo& f) { return text::equalsIgnoringAsciiCase(f.name, name); });
}

std::uint32_t DbfTable::recordCount() const noexcept
{
    return m_impl ? m_impl->count : 0;
}

void DbfTable::first()
{
    Impl& d = opened(m_impl);
    d.finishPending();
    d.seekLive(0);
}

void DbfTable::next()
{
    Impl& d = opened(m_impl);
    d.finishPending();
    if (!d.atEof)
        d.seekLive(d.current + 1);
}

bool DbfTable::eof() const noexcept
{
    return !m_impl || !m_impl->file || m_impl->atEof;
}

std::uint32_t DbfTable::recordNumber() const noexcept
{
    return (!m_impl || !m_impl->file || m_impl->atEof) ? 0 : m_impl->current + 1;
}

// ---- reading -------------------------------------------------------------------

std::string DbfTable::text(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    std::string_view raw(bytes, static_cast<std::size_t>(f.width));
    const auto* ubytes = reinterpret_cast<const unsigned char*>(bytes);
    switch (d.encodings[field]) {
    case Encoding::Text:
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
        auto v = codec::decodeInteger(d.encodings[field], ubytes);
        return v ? std::to_string(*v) : std::string();
    }
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian: {
        auto v = codec::decodeDouble(d.encodings[field], ubytes);
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

double DbfTable::number(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    std::string_view raw(bytes, static_cast<std::size_t>(f.width));
    switch (d.encodings[field]) {
    case Encoding::Text:
    case Encoding::Decimal:
    case Encoding::Date: {
        auto t = codec::trim(raw);
        if (t.empty())
            return 0;
        if (!codec::isNumberText(t)) {
            if (d.encodings[field] == Encoding::Text)
                throw Error(ErrorCode::ValueOutOfRange,
                    "El campo «" + f.name + "» de la tabla «" + d.fileName() + "» no contiene un número.",
                    text::pathToUtf8(d.path) + ": record " + std::to_string(d.current + 1) + ", field " + f.name
                        + ": \"" + std::string(t) + "\"");
            throw d.badValue(field, raw);
        }
        return codec::parseNumber(t);
    }
    case Encoding::Logical:
        throw d.wrongKind(field, "number()");
    case Encoding::Int32LittleEndian:
    case Encoding::Int32Level7: {
        auto v = codec::decodeInteger(d.encodings[field], reinterpret_cast<const unsigned char*>(bytes));
        return v ? static_cast<double>(*v) : 0.0;
    }
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian:
        return codec::decodeDouble(d.encodings[field], reinterpret_cast<const unsigned char*>(bytes))
            .value_or(0.0);
    case Encoding::Opaque:
        return 0;
    }
    return 0;
}

std::int64_t DbfTable::integer(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    std::string_view raw(bytes, static_cast<std::size_t>(f.width));
    auto tooLarge = [&](std::string_view shown) {
        return Error(ErrorCode::ValueOutOfRange,
            "El número del campo «" + f.name + "» de la tabla «" + d.fileName() + "» es demasiado grande.",
            text::pathToUtf8(d.path) + ": record " + std::to_string(d.current + 1) + ", field " + f.name + ": \""
                + std::string(shown) + "\"");
    };
    switch (d.encodings[field]) {
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
        return codec::decodeInteger(d.encodings[field], reinterpret_cast<const unsigned char*>(bytes))
            .value_or(0);
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian: {
        double v = std::trunc(
            codec::decodeDouble(d.encodings[field], reinterpret_cast<const unsigned char*>(bytes))
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
    const FieldInfo& f = d.fields[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    switch (d.encodings[field]) {
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
        return !t.empty() && (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y');
    }
    }
}

bool DbfTable::isBlank(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    return std::all_of(bytes, bytes + f.width, [](char c) { return c == ' ' || c == '\0'; });
}

// ---- writing -------------------------------------------------------------------

void DbfTable::append()
{
    Impl& d = opened(m_impl);
    d.finishPending();
    d.beginChange();
    d.record = d.blank;
    d.state = Impl::State::Append;
}

void DbfTable::edit()
{
    Impl& d = opened(m_impl);
    d.finishPending();
    if (d.atEof)
        throw Error(ErrorCode::InvalidArgument,
            "La tabla «" + d.fileName() + "» no tiene ningún registro actual que modificar.",
            text::pathToUtf8(d.path));
    d.beginChange();
    d.state = Impl::State::Edit;
}

void DbfTable::setText(std::size_t field, std::string_view value)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    const FieldInfo& f = d.fields[field];
    const auto width = static_cast<std::size_t>(f.width);
    switch (d.encodings[field]) {
    case Encoding::Text:
    case Encoding::Date: {
        std::size_t n = std::min(value.size(), width);
        if (n != 0) // an empty string_view may carry a null pointer
            std::memcpy(out, value.data(), n);
        std::memset(out + n, ' ', width - n);
        return;
    }
    case Encoding::Decimal: {
        auto t = codec::trim(value);
        if (t.empty()) {
            std::memset(out, ' ', width);
            return;
        }
        if (!codec::isNumberText(t))
            throw d.doesNotFit(field, value);
        bool whole = t.find_first_of(".eE") == std::string_view::npos;
        if (auto v = whole ? codec::parseWholePart(t) : std::nullopt) {
            if (!codec::formatWhole(*v, f.width, f.decimals, out))
                throw d.doesNotFit(field, value);
        } else if (!codec::formatNumber(codec::parseNumber(t), f.width, f.decimals, out)) {
            throw d.doesNotFit(field, value);
        }
        return;
    }
    case Encoding::Logical: {
        auto t = codec::trim(value);
        if (t.empty())
            out[0] = ' ';
        else if (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y')
            out[0] = 'T';
        else if (t[0] == 'F' || t[0] == 'f' || t[0] == 'N' || t[0] == 'n')
            out[0] = 'F';
        else
            throw d.doesNotFit(field, value);
        return;
    }
    default:
        throw d.unsupportedWrite(field);
    }
}

void DbfTable::setInteger(std::size_t field, std::int64_t value)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    const FieldInfo& f = d.fields[field];
    switch (d.encodings[field]) {
    case Encoding::Decimal:
        if (!codec::formatWhole(value, f.width, f.decimals, out))
            throw d.doesNotFit(field, std::to_string(value));
        return;
    case Encoding::Text: {
        // Digits are never cut: a shortened number would be a different number.
        std::string digits = std::to_string(value);
        if (digits.size() > static_cast<std::size_t>(f.width))
            throw d.doesNotFit(field, digits);
        setText(field, digits);
        return;
    }
    case Encoding::Logical:
        throw d.wrongKind(field, "setInteger()");
    default:
        throw d.unsupportedWrite(field);
    }
}

void DbfTable::setNumber(std::size_t field, double value)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    const FieldInfo& f = d.fields[field];
    auto shown = [&] {
        char buffer[64];
        auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
        return std::string(buffer, r.ptr);
    };
    switch (d.encodings[field]) {
    case Encoding::Decimal:
        if (!codec::formatNumber(value, f.width, f.decimals, out))
            throw d.doesNotFit(field, shown());
        return;
    case Encoding::Text: {
        std::string digits = shown();
        if (!std::isfinite(value) || digits.size() > static_cast<std::size_t>(f.width))
            throw d.doesNotFit(field, digits);
        setText(field, digits);
        return;
    }
    case Encoding::Logical:
        throw d.wrongKind(field, "setNumber()");
    default:
        throw d.unsupportedWrite(field);
    }
}

void DbfTable::setLogical(std::size_t field, bool value)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    if (d.encodings[field] != Encoding::Logical)
        throw d.wrongKind(field, "setLogical()");
    out[0] = value ? 'T' : 'F';
}

void DbfTable::setBlank(std::size_t field)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    const FieldInfo& f = d.fields[field];
    std::memcpy(out, d.blank.data() + 1 + f.offset, static_cast<std::size_t>(f.width));
}

void DbfTable::post()
{
    Impl& d = opened(m_impl);
    d.post();
}

} // namespace tramazel::dbf
