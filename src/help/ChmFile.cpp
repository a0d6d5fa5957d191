// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChmFile.h"

#include "ChmDirectoryCheck.h"

#include "Bytes.h"
#include "text/Cp1252.h"

#include <QFile>
#include <QStringDecoder>

#include <chm_lib.h>

#include <limits>
#include <string>

namespace tramazel::help {

namespace {

// No topic, picture or sitemap of a help file comes near this; a larger length is
// a damaged directory entry, and reading it would only exhaust memory.
constexpr std::uint64_t maxObjectSize = 64u * 1024u * 1024u;

// Record codes of "/#SYSTEM".
constexpr std::uint16_t systemContentsFile = 0;
constexpr std::uint16_t systemIndexFile = 1;
constexpr std::uint16_t systemDefaultTopic = 2;
constexpr std::uint16_t systemTitle = 3;
constexpr std::uint16_t systemLanguage = 4;

QString internalName(const QString& name)
{
    QString result = name;
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!result.startsWith(QLatin1Char('/')))
        result.prepend(QLatin1Char('/'));
    return result;
}

QString withoutSlash(QString name)
{
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return name;
}

int enumerateName(chmFile*, chmUnitInfo* unit, void* context)
{
    static_cast<QStringList*>(context)->append(QString::fromUtf8(unit->path));
    return CHM_ENUMERATOR_CONTINUE;
}

// chmlib trusts the file's headers: a damaged one can make it divide by zero, read
// out of bounds or loop while it opens the file, before anything of ours runs, and a
// damaged reset table makes it overrun its block buffers at the first compressed
// read. The headers, the directory and the compression tables are checked first, on
// the file's own bytes.
bool directoryIsSound(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const auto size = std::uint64_t(file.size());
    const auto read = [&](std::uint64_t offset, std::size_t length, unsigned char* out) {
        return offset <= std::uint64_t(std::numeric_limits<qint64>::max()) && file.seek(qint64(offset))
            && file.read(reinterpret_cast<char*>(out), qint64(length)) == qint64(length);
    };
    return checkChmDirectory(size, read).has_value();
}

} // namespace

QString decodeCodePage(const QByteArray& bytes, int codePage)
{
    if (codePage == 1252) {
        const std::string utf8
            = text::cp1252ToUtf8(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    }
    QStringDecoder decoder(QStringLiteral("windows-%1").arg(codePage).toLatin1().constData());
    if (decoder.isValid())
        return decoder.decode(bytes);
    return QString::fromLatin1(bytes);
}

int codePageOfLcid(std::uint32_t lcid)
{
    // By primary language (the low ten bits); the western languages share 1252.
    switch (lcid & 0x3ffu) {
    case 0x05: // Czech
    case 0x0e: // Hungarian
    case 0x15: // Polish
    case 0x18: // Romanian
    case 0x1b: // Slovak
    case 0x24: // Slovenian
        return 1250;
    case 0x19: // Russian
    case 0x22: // Ukrainian
    case 0x02: // Bulgarian
        return 1251;
    case 0x08: // Greek
        return 1253;
    case 0x1f: // Turkish
        return 1254;
    default:
        return 1252;
    }
}

std::unique_ptr<ChmFile> ChmFile::open(const QString& path)
{
    if (path.isEmpty() || !QFile::exists(path))
        return nullptr;
    if (!directoryIsSound(path))
        return nullptr;
    chmFile* handle = chm_open(QFile::encodeName(path).constData());
    if (!handle)
        return nullptr;
    std::unique_ptr<ChmFile> file(new ChmFile(path, handle));
    file->readSystem();
    return file;
}

ChmFile::ChmFile(QString path, chmFile* handle)
    : m_path(std::move(path))
    , m_handle(handle)
{
    chm_enumerate(m_handle, CHM_ENUMERATE_ALL, enumerateName, &m_names);
}

ChmFile::~ChmFile()
{
    chm_close(m_handle);
}

std::optional<QByteArray> ChmFile::read(const QString& name) const
{
    const QByteArray key = internalName(name).toUtf8();
    // A name ending in "/" is a folder of the file, not something to read.
    if (key.size() > CHM_MAX_PATHLEN || key.endsWith('/'))
        return std::nullopt;
    chmUnitInfo unit {};
    if (chm_resolve_object(m_handle, key.constData(), &unit) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (unit.length > maxObjectSize)
        return std::nullopt;
    // chmlib keeps a block that failed to decompress in its cache as if it had
    // succeeded and hands its unwritten bytes to later reads: once the file has
    // shown damage, no compressed read is tried again.
    if (m_damaged && unit.space != CHM_UNCOMPRESSED)
        return std::nullopt;
    QByteArray bytes(qsizetype(unit.length), Qt::Uninitialized);
    if (unit.length == 0)
        return bytes;
    const LONGINT64 got = chm_retrieve_object(
        m_handle, &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0, LONGINT64(unit.length));
    if (got != LONGINT64(unit.length)) {
        m_damaged = true;
        return std::nullopt;
    }
    return bytes;
}

bool ChmFile::contains(const QString& name) const
{
    const QByteArray key = internalName(name).toUtf8();
    if (key.size() > CHM_MAX_PATHLEN || key.endsWith('/'))
        return false;
    chmUnitInfo unit {};
    return chm_resolve_object(m_handle, key.constData(), &unit) == CHM_RESOLVE_SUCCESS;
}

QString ChmFile::decode(const QByteArray& bytes) const
{
    return decodeCodePage(bytes, codePageOfLcid(m_lcid));
}

QString ChmFile::decodeName(const QByteArray& bytes) const
{
    qsizetype end = bytes.indexOf('\0');
    return decode(end < 0 ? bytes : bytes.left(end));
}

void ChmFile::readSystem()
{
    const std::optional<QByteArray> system = read(QStringLiteral("/#SYSTEM"));
    if (system) {
        // Offset 0: u32 version; then records of u16 code, u16 length, bytes.
        // The language comes first in practice, but read it before decoding names anyway.
        std::vector<std::pair<std::uint16_t, QByteArray>> records;
        for (qsizetype at = 4; at + 4 <= system->size();) {
            const auto* p = reinterpret_cast<const unsigned char*>(system->constData()) + at;
            const std::uint16_t code = readU16(p);
            const std::uint16_t length = readU16(p + 2);
            if (at + 4 + length > system->size())
                break;
            records.emplace_back(code, system->mid(at + 4, length));
            at += 4 + length;
        }
        for (const auto& [code, bytes] : records) {
            if (code == systemLanguage && bytes.size() >= 4) {
                m_lcid = readU32(reinterpret_cast<const unsigned char*>(bytes.constData()));
            }
        }
        for (const auto& [code, bytes] : records) {
            switch (code) {
            case systemContentsFile:
                m_contentsFile = withoutSlash(decodeName(bytes));
                break;
            case systemIndexFile:
                m_indexFile = withoutSlash(decodeName(bytes));
                break;
            case systemDefaultTopic:
                m_defaultTopic = withoutSlash(decodeName(bytes));
                break;
            case systemTitle:
                m_title = decodeName(bytes);
                break;
            default:
                break;
            }
        }
    }
    // Files that do not record their sitemaps still carry them under their own names.
    for (const QString& name : std::as_const(m_names)) {
        if (m_contentsFile.isEmpty() && name.endsWith(QLatin1String(".hhc"), Qt::CaseInsensitive))
            m_contentsFile = withoutSlash(name);
        if (m_indexFile.isEmpty() && name.endsWith(QLatin1String(".hhk"), Qt::CaseInsensitive))
            m_indexFile = withoutSlash(name);
    }
    const std::optional<QByteArray> ivb = read(QStringLiteral("/#IVB"));
    const std::optional<QByteArray> strings = read(QStringLiteral("/#STRINGS"));
    if (ivb && strings)
        m_contextMap = ContextMap(*ivb, *strings, codePageOfLcid(m_lcid));
}

std::optional<QString> ChmFile::contextTopic(std::uint32_t context) const
{
    const std::optional<QString> target = m_contextMap.target(context);
    if (!target)
        return std::nullopt;
    return ContextMap::resolve(*target, m_names);
}

} // namespace tramazel::help
