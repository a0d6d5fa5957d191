// SPDX-License-Identifier: GPL-3.0-or-later
// Reading compiled help files without a window: the context map, the sitemaps, the
// test file and the program's own IB.chm.
#include "ChmFile.h"
#include "ChmDirectoryCheck.h"
#include "ContextMap.h"
#include "Sitemap.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QImage>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

using namespace tramazel::help;

namespace {

QByteArray u32(std::uint32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xff);
    return b;
}

QByteArray ivb(
    std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> pairs, std::uint32_t claimed = 0)
{
    QByteArray b = u32(claimed ? claimed : std::uint32_t(pairs.size() * 8));
    for (const auto& [context, offset] : pairs)
        b += u32(context) + u32(offset);
    return b;
}

void collect(const std::vector<SitemapEntry>& entries, const std::function<void(const SitemapEntry&)>& f)
{
    for (const SitemapEntry& e : entries) {
        f(e);
        collect(e.children, f);
    }
}

} // namespace

TEST(ContextMap, ReadsContextNumbersAndTheirTopics)
{
    static const char stored[] = "\0main.htm\0sub/other.htm\0tema\xe1.htm";
    const QByteArray strings(stored, sizeof stored); // with the last NUL
    // The count claims more pairs than there are, and one offset lies outside the strings.
    const ContextMap map(ivb({ { 1, 1 }, { 2, 10 }, { 7, 24 }, { 9, 500 } }, 64), strings, 1252);
    struct Case {
        std::uint32_t context;
        std::optional<QString> target;
    };
    const Case cases[] = {
        { 1, QStringLiteral("main.htm") }, { 2, QStringLiteral("sub/other.htm") },
        { 7, QStringLiteral("temaá.htm") }, // the stored text is in the file's code page
        { 9, std::nullopt }, // its offset lies outside the strings
        { 3, std::nullopt }, // not in the map
    };
    for (const Case& c : cases)
        EXPECT_EQ(map.target(c.context), c.target) << "context " << c.context;

    // Damaged or missing files give an empty map, never a crash.
    EXPECT_EQ(ContextMap(QByteArray("\x10", 1), strings, 1252).size(), 0u);
    EXPECT_EQ(ContextMap(QByteArray(), QByteArray(), 1252).size(), 0u);
    EXPECT_EQ(ContextMap(ivb({ { 1, 0 } }), QByteArray("\0", 1), 1252).size(), 0u);
    EXPECT_EQ(ContextMap(ivb({ { 1, 3 } }), QByteArray("abcdef", 6), 1252).target(1), QStringLiteral("def"));
}

TEST(ContextMap, MapsTheStoredTextOntoAnInternalFile)
{
    const QStringList names = { "/#SYSTEM", "/main.htm", "/sub/", "/sub/other.htm", "/other.htm", "/ain.htm",
        "/Temas/Cursos.HTM" };
    struct Case {
        const char* name;
        QString target;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        { "internal name", "main.htm", "main.htm" },
        { "internal name with slash", "/sub/other.htm", "sub/other.htm" },
        { "letter case ignored", "MAIN.HTM", "main.htm" },
        { "absolute source path of the build machine", "/home/u/proj/help/main.htm", "main.htm" },
        { "longest internal name wins", "/home/u/proj/help/sub/other.htm", "sub/other.htm" },
        { "windows source path", "C:\\src\\help\\Temas\\cursos.htm", "Temas/Cursos.HTM" },
        { "suffix only at a slash", "/home/u/xmain.htm", std::nullopt },
        { "fragment kept", "/build/help/main.htm#arriba", "main.htm#arriba" },
        { "unknown topic", "/build/help/nada.htm", std::nullopt },
        { "empty", "", std::nullopt },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ContextMap::resolve(c.target, names), c.expected) << c.name;
}

TEST(Sitemap, ParsesNestedListsLeniently)
{
    const QString hhc = QStringLiteral(
        "<html><!-- <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"comentado\"></OBJECT> -->\n"
        "<object type=\"text/site properties\"><param name=\"Window Styles\" value=\"0x800025\"></object>\n"
        "<UL>\n"
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Inicio &amp; m&aacute;s\">"
        "<param name=\"Local\" value=\"start.htm\"></OBJECT>\n"
        "<li><object TYPE=text/sitemap><PARAM NAME=name VALUE=Temas></object>\n" // unquoted, any case
        "  <ul>\n"
        "  <li><object type='text/sitemap'><param name='Name' value='Uno &#8211; &#x41;'>"
        "<param name='Local' value='uno.htm#a'>\n" // no </object>
        "  <li><object type=\"text/sitemap\"><param name=\"Local\" value=\"dos.htm\"></object>\n"
        "    <ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Hondo\"></object></ul>\n"
        "  </ul>\n"
        "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Final &bogus; &\"></object>\n"
        "</ul></html>");
    const std::vector<SitemapEntry> tree = Sitemap::parse(hhc);
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[0].name, QStringLiteral("Inicio & más"));
    EXPECT_EQ(tree[0].local, QStringLiteral("start.htm"));
    EXPECT_EQ(tree[1].name, QStringLiteral("Temas"));
    EXPECT_TRUE(tree[1].local.isEmpty());
    ASSERT_EQ(tree[1].children.size(), 2u);
    EXPECT_EQ(tree[1].children[0].name, QStringLiteral("Uno – A"));
    EXPECT_EQ(tree[1].children[0].local, QStringLiteral("uno.htm#a"));
    EXPECT_EQ(tree[1].children[1].local, QStringLiteral("dos.htm"));
    ASSERT_EQ(tree[1].children[1].children.size(), 1u);
    EXPECT_EQ(tree[1].children[1].children[0].name, QStringLiteral("Hondo"));
    EXPECT_EQ(tree[2].name, QStringLiteral("Final &bogus; &"));

    // Broken input gives what can be read, never a crash.
    for (const char* broken : { "", "<", "<ul", "<ul><li><object type=\"text/sitemap\"><param name=\"Name",
             "</ul></ul><object type=text/sitemap><param name=Name value=x", "&#xFFFFFFFF; &#0; &#55296;" })
        (void)Sitemap::parse(QString::fromUtf8(broken));
    EXPECT_EQ(
        Sitemap::parse(QStringLiteral("</ul></ul><object type=text/sitemap><param name=Name value=x")).size(),
        1u);
    EXPECT_EQ(Sitemap::decodeEntities(QStringLiteral("&#xFFFFFFFF;&#55296;")),
        QStringLiteral("&#xFFFFFFFF;&#55296;"));
}

TEST(ChmFile, ReadsTheTestFile)
{
    const auto chm = ChmFile::open(QStringLiteral(TRAMAZEL_HELP_FIXTURE));
    ASSERT_TRUE(chm);
    EXPECT_EQ(chm->title(), QStringLiteral("Ayuda de prueba"));
    EXPECT_EQ(chm->defaultTopic(), QStringLiteral("start.htm"));
    EXPECT_EQ(chm->contentsFile(), QStringLiteral("fixture.hhc"));
    EXPECT_EQ(chm->indexFile(), QStringLiteral("fixture.hhk"));
    EXPECT_EQ(chm->lcid(), 0x0c0au);

    // The compiler stores the sources' absolute paths for the contexts.
    ASSERT_TRUE(chm->contextMap().target(1));
    EXPECT_TRUE(chm->contextMap().target(1)->startsWith(QLatin1Char('/')))
        << chm->contextMap().target(1)->toStdString();
    const std::pair<std::uint32_t, std::optional<QString>> topics[] = {
        { 1, QStringLiteral("main.htm") },
        { 2, QStringLiteral("sub/other.htm") },
        { 99, std::nullopt },
    };
    for (const auto& [context, topic] : topics)
        EXPECT_EQ(chm->contextTopic(context), topic) << "context " << context;

    const auto picture = chm->read(QStringLiteral("sub/dot.png"));
    ASSERT_TRUE(picture);
    EXPECT_EQ(QImage::fromData(*picture).size(), QSize(8, 6));
    EXPECT_TRUE(chm->contains(QStringLiteral("/SUB/Other.htm")));
    EXPECT_FALSE(chm->read(QStringLiteral("nada.htm")));
    // Folders are no topics.
    for (const char* folder : { "", "/", "sub/" }) {
        EXPECT_FALSE(chm->contains(QString::fromUtf8(folder))) << folder;
        EXPECT_FALSE(chm->read(QString::fromUtf8(folder))) << folder;
    }
    EXPECT_FALSE(chm->read(QString(600, QLatin1Char('x'))));

    // A page without a charset of its own is in the file's code page.
    const auto start = chm->read(QStringLiteral("start.htm"));
    ASSERT_TRUE(start);
    EXPECT_TRUE(chm->decode(*start).contains(QStringLiteral("Página de inicio")));
}

TEST(ChmFile, RefusesWhatIsNoCompiledHelpFile)
{
    tramazel::test::TempDir dir;
    tramazel::test::writeFile(dir / "garbage.chm", std::string(4096, 'x'));
    tramazel::test::writeFile(dir / "empty.chm", "");
    std::string header = "ITSF";
    header.resize(200, '\xff');
    tramazel::test::writeFile(dir / "header.chm", header);
    // A damaged compression header that the reading library would take and then
    // crash on at the first compressed read.
    std::string damaged = tramazel::test::readFile(TRAMAZEL_HELP_FIXTURE);
    const std::size_t lzxc = damaged.find("LZXC");
    ASSERT_NE(lzxc, std::string::npos);
    damaged[lzxc + 7] = '\x83'; // version: no longer 2, so the window counts in bytes
    tramazel::test::writeFile(dir / "damaged.chm", damaged);
    for (const char* name : { "garbage.chm", "empty.chm", "header.chm", "missing.chm", "damaged.chm" })
        EXPECT_FALSE(ChmFile::open(QString::fromStdString((dir / name).string()))) << name;
    EXPECT_FALSE(ChmFile::open(QString()));
}

namespace {

void putU32(std::string& bytes, std::uint64_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[std::size_t(at) + std::size_t(i)] = char((value >> (8 * i)) & 0xff);
}

std::optional<ChmLayout> layoutOf(const std::string& bytes)
{
    return checkChmDirectory(bytes.size(), [&](std::uint64_t offset, std::size_t size, unsigned char* out) {
        if (offset > bytes.size() || size > bytes.size() - offset)
            return false;
        std::memcpy(out, bytes.data() + offset, size);
        return true;
    });
}

// Where the section number of the directory entry named `name` is: the byte after
// the name (a one-byte number for the sections of a sound file).
std::size_t sectionOf(const std::string& bytes, std::string_view name)
{
    const std::size_t at = bytes.find(name);
    EXPECT_NE(at, std::string::npos) << name;
    EXPECT_EQ(bytes.find(name, at + 1), std::string::npos) << name;
    EXPECT_EQ(bytes[at + name.size()], 0) << name;
    return at + name.size();
}

constexpr std::string_view kResetTableName
    = "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/"
      "ResetTable";
constexpr std::string_view kControlDataName = "::DataSpace/Storage/MSCompressed/ControlData";

} // namespace

// Damaged headers and directories that chmlib would divide by zero on, read out of
// bounds with or loop on forever: each is refused before chmlib opens the file.
TEST(ChmFile, DamagedDirectoriesAreRefusedBeforeTheLibraryOpensThem)
{
    const std::string sound = tramazel::test::readFile(TRAMAZEL_HELP_FIXTURE);
    const std::optional<ChmLayout> layout = layoutOf(sound);
    ASSERT_TRUE(layout);
    ASSERT_TRUE(layout->resetTableOffset);
    ASSERT_TRUE(layout->controlDataOffset);
    const std::uint64_t itsp = layout->directoryOffset;
    const std::uint64_t control = *layout->controlDataOffset;
    const std::uint64_t listing
        = layout->firstChunkOffset + std::uint64_t(layout->firstListingChunk) * layout->chunkSize;

    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
    };
    const Case cases[] = {
        { "window of one byte: the library divides by half of it while opening",
            [&](std::string& b) {
                putU32(b, control + 8, 1);
                putU32(b, control + 0x10, 1);
            } },
        { "window of zero", [&](std::string& b) { putU32(b, control + 0x10, 0); } },
        { "window wrapping to zero once counted in 32 KiB units",
            [&](std::string& b) { putU32(b, control + 0x10, 0x20000); } },
        { "no windows per reset: every compressed read divides by zero",
            [&](std::string& b) { putU32(b, control + 0x14, 0); } },
        { "blocks between resets wrapping to zero",
            [&](std::string& b) {
                putU32(b, control + 8, 1);
                putU32(b, control + 0x0c, 0x20000);
                putU32(b, control + 0x10, 0x20000);
                putU32(b, control + 0x14, 0x80000000);
            } },
        { "compressed block length of zero",
            [&](std::string& b) {
                putU32(b, *layout->resetTableOffset + 0x20, 0);
                putU32(b, *layout->resetTableOffset + 0x24, 0);
            } },
        { "reset table in a section other than the plain and the compressed one: the library "
          "decompresses it while opening, before it has a block cache",
            [&](std::string& b) { b[sectionOf(b, kResetTableName)] = 2; } },
        { "control data in a third section", [&](std::string& b) { b[sectionOf(b, kControlDataName)] = 5; } },
        { "block length over 32 bits: the library allocates its blocks with the length cut short",
            [&](std::string& b) { putU32(b, *layout->resetTableOffset + 0x24, 1); } },
        { "block longer than the largest window",
            [&](std::string& b) { putU32(b, *layout->resetTableOffset + 0x20, 0x400000); } },
        { "chunk size of zero", [&](std::string& b) { putU32(b, itsp + 0x10, 0); } },
        { "chunk size past the file", [&](std::string& b) { putU32(b, itsp + 0x10, 0x7fffffff); } },
        { "more chunks than the file holds", [&](std::string& b) { putU32(b, itsp + 0x2c, 0xffffff); } },
        { "no chunks", [&](std::string& b) { putU32(b, itsp + 0x2c, 0); } },
        { "index root past the chunks", [&](std::string& b) { putU32(b, itsp + 0x1c, 0x7fff); } },
        { "first listing chunk past the chunks", [&](std::string& b) { putU32(b, itsp + 0x20, 0x7fff); } },
        { "listing chain looping on itself",
            [&](std::string& b) { putU32(b, listing + 0x10, layout->firstListingChunk); } },
        { "listing chain leaving the directory", [&](std::string& b) { putU32(b, listing + 0x10, 0x7fff); } },
        { "free space larger than the chunk", [&](std::string& b) { putU32(b, listing + 4, 0xffff); } },
        { "entries running past their chunk", [&](std::string& b) { putU32(b, listing + 4, 0); } },
        { "directory shorter than its header", [&](std::string& b) { putU32(b, 0x50, 0x20); } },
        { "directory past the end of the file", [&](std::string& b) { putU32(b, 0x48, 0x7ffffff0); } },
        { "file cut inside the directory",
            [&](std::string& b) { b.resize(std::size_t(layout->firstChunkOffset + 16)); } },
    };
    tramazel::test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string damaged = sound;
        c.damage(damaged);
        EXPECT_FALSE(layoutOf(damaged));
        tramazel::test::writeFile(dir / "damaged.chm", damaged);
        EXPECT_FALSE(ChmFile::open(QString::fromStdString((dir / "damaged.chm").string())));
    }
    // The program's own file passes the same check.
    EXPECT_TRUE(layoutOf(tramazel::test::readFile(TRAMAZEL_HELP_FILE)));
}

namespace {

std::uint32_t getU32(const std::string& bytes, std::uint64_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | std::uint8_t(bytes[std::size_t(at) + std::size_t(i)]);
    return value;
}

std::uint64_t getU64(const std::string& bytes, std::uint64_t at)
{
    return std::uint64_t(getU32(bytes, at)) | std::uint64_t(getU32(bytes, at + 4)) << 32;
}

void putU64(std::string& bytes, std::uint64_t at, std::uint64_t value)
{
    putU32(bytes, at, std::uint32_t(value));
    putU32(bytes, at + 4, std::uint32_t(value >> 32));
}

// Where the compressed section's tables of a sound file lie, and what they say.
struct CompressionTables {
    std::uint64_t resetTable = 0;
    std::uint64_t control = 0;
    std::uint64_t entries = 0; // the reset table's first block offset
    std::uint64_t blocks = 0; // 32 KiB blocks of the section
    std::uint64_t compressedLength = 0;

    std::uint64_t entry(std::uint64_t i) const { return entries + 8 * i; }
};

CompressionTables tablesOf(const std::string& bytes)
{
    const std::optional<ChmLayout> layout = layoutOf(bytes);
    if (!layout || !layout->resetTableOffset || !layout->controlDataOffset)
        return {};
    CompressionTables t;
    t.resetTable = *layout->resetTableOffset;
    t.control = *layout->controlDataOffset;
    // Reset table: u32 version, u32 block count, u32 entry size, u32 offset of the
    // entries, u64 uncompressed and compressed lengths, u64 block length.
    t.entries = t.resetTable + getU32(bytes, t.resetTable + 0x0c);
    t.blocks = (getU64(bytes, t.resetTable + 0x10) + 0x7fff) / 0x8000;
    t.compressedLength = getU64(bytes, t.resetTable + 0x18);
    return t;
}

} // namespace

// Damaged reset tables and control data of the compressed section: chmlib would
// overrun its block buffers with them (the crash of F1 on a damaged IB.chm), or
// read every object of the section wrongly or not at all. Each is refused before
// chmlib opens the file, in the test file (one block) and in IB.chm (several).
TEST(ChmFile, DamagedCompressionTablesAreRefusedBeforeTheLibraryDecompresses)
{
    struct Case {
        const char* what;
        // False when the damage needs more blocks than the file has.
        std::function<bool(std::string&, const CompressionTables&)> damage;
    };
    const auto blockLength = [](std::uint64_t length) {
        return [length](std::string& b, const CompressionTables& t) {
            putU64(b, t.resetTable + 0x20, length);
            return true;
        };
    };
    const Case cases[] = {
        { "block length of 1 byte", blockLength(1) },
        { "block length of 2 bytes", blockLength(2) },
        { "block length of 100 bytes", blockLength(100) },
        { "block length of 16 KiB", blockLength(0x4000) },
        { "first block starting at the compressed length",
            [](std::string& b, const CompressionTables& t) {
                putU64(b, t.entry(0), t.compressedLength);
                return true;
            } },
        { "second offset at 2^40",
            [](std::string& b, const CompressionTables& t) {
                putU64(b, t.entry(1), std::uint64_t(1) << 40);
                return true;
            } },
        { "offsets decreasing",
            [](std::string& b, const CompressionTables& t) {
                putU64(b, t.entry(0), t.compressedLength / 2);
                putU64(b, t.entry(1), t.compressedLength / 4);
                return true;
            } },
        { "two blocks at the same offset",
            [](std::string& b, const CompressionTables& t) {
                if (t.blocks < 2)
                    return false;
                putU64(b, t.entry(1), 0);
                return true;
            } },
        { "a block longer than chmlib's buffer for one compressed block",
            [](std::string& b, const CompressionTables& t) {
                if (t.blocks < 3)
                    return false;
                putU64(b, t.entry(2), getU64(b, t.entry(3)) - 1);
                return true;
            } },
        { "block count beyond the section",
            [](std::string& b, const CompressionTables& t) {
                putU32(b, t.resetTable + 4, std::uint32_t(t.blocks + 2));
                return true;
            } },
        { "no blocks",
            [](std::string& b, const CompressionTables& t) {
                putU32(b, t.resetTable + 4, 0);
                return true;
            } },
        { "fewer blocks than the section holds",
            [](std::string& b, const CompressionTables& t) {
                if (t.blocks < 2)
                    return false;
                putU32(b, t.resetTable + 4, std::uint32_t(t.blocks - 1));
                return true;
            } },
        { "uncompressed length claiming more blocks than the table lists",
            [](std::string& b, const CompressionTables& t) {
                putU64(b, t.resetTable + 0x10, (t.blocks + 2) * 0x8000);
                return true;
            } },
        { "uncompressed length short of the section's objects",
            [](std::string& b, const CompressionTables& t) {
                putU64(b, t.resetTable + 0x10, 100);
                return true;
            } },
        { "compressed length past the content",
            [](std::string& b, const CompressionTables& t) {
                putU64(b, t.resetTable + 0x18, t.compressedLength + 0x10000);
                return true;
            } },
        { "table entries of 4 bytes",
            [](std::string& b, const CompressionTables& t) {
                putU32(b, t.resetTable + 8, 4);
                return true;
            } },
        { "entries outside the reset table",
            [](std::string& b, const CompressionTables& t) {
                putU32(b, t.resetTable + 0x0c, 0x10000);
                return true;
            } },
        { "window not a power of two, though the reset interval is a multiple of its half",
            [](std::string& b, const CompressionTables& t) {
                putU32(b, t.control + 0x0c, 6);
                putU32(b, t.control + 0x10, 6);
                return true;
            } },
        { "reset interval of zero",
            [](std::string& b, const CompressionTables& t) {
                putU32(b, t.control + 0x0c, 0);
                return true;
            } },
        { "reset interval not a multiple of half the window",
            [](std::string& b, const CompressionTables& t) {
                putU32(b, t.control + 0x0c, 3);
                putU32(b, t.control + 0x10, 4);
                return true;
            } },
        { "control data without its signature",
            [](std::string& b, const CompressionTables& t) {
                b[std::size_t(t.control + 4)] = 'X';
                return true;
            } },
        { "reset table in the compressed section",
            [](std::string& b, const CompressionTables&) {
                b[sectionOf(b, kResetTableName)] = 1;
                return true;
            } },
        { "control data in the compressed section",
            [](std::string& b, const CompressionTables&) {
                b[sectionOf(b, kControlDataName)] = 1;
                return true;
            } },
    };
    tramazel::test::TempDir dir;
    std::vector<int> applied(std::size(cases), 0);
    for (const char* soundPath : { TRAMAZEL_HELP_FIXTURE, TRAMAZEL_HELP_FILE }) {
        const std::string sound = tramazel::test::readFile(soundPath);
        const CompressionTables tables = tablesOf(sound);
        ASSERT_GT(tables.blocks, 0u) << soundPath;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(std::string(cases[i].what) + " in " + soundPath);
            std::string damaged = sound;
            if (!cases[i].damage(damaged, tables))
                continue;
            ++applied[i];
            EXPECT_FALSE(layoutOf(damaged));
            tramazel::test::writeFile(dir / "damaged.chm", damaged);
            EXPECT_FALSE(ChmFile::open(QString::fromStdString((dir / "damaged.chm").string())));
        }

        // Other compilers leave out the closing entry (the compressed length) of the
        // table: the last block then ends at the compressed length all the same.
        std::string shorter = sound;
        putU32(shorter, tables.resetTable + 4, std::uint32_t(tables.blocks));
        tramazel::test::writeFile(dir / "shorter.chm", shorter);
        const auto chm = ChmFile::open(QString::fromStdString((dir / "shorter.chm").string()));
        ASSERT_TRUE(chm) << soundPath;
        EXPECT_FALSE(chm->title().isEmpty());
        EXPECT_FALSE(chm->isDamaged());
    }
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_GT(applied[i], 0) << cases[i].what;
}

// Content that passes the checks but does not decompress: the file opens, and says
// it is damaged instead of pretending it lacks the topics.
TEST(ChmFile, ContentThatDoesNotDecompressMarksTheFileDamaged)
{
    std::string damaged = tramazel::test::readFile(TRAMAZEL_HELP_FIXTURE);
    const std::optional<ChmLayout> layout = layoutOf(damaged);
    ASSERT_TRUE(layout);
    ASSERT_TRUE(layout->contentOffset);
    // All bits set make an LZX block of type 7, which does not exist.
    std::fill_n(damaged.begin() + std::ptrdiff_t(*layout->contentOffset), 16, '\xff');
    tramazel::test::TempDir dir;
    tramazel::test::writeFile(dir / "damaged.chm", damaged);
    const auto chm = ChmFile::open(QString::fromStdString((dir / "damaged.chm").string()));
    ASSERT_TRUE(chm);
    EXPECT_TRUE(chm->isDamaged());
    EXPECT_FALSE(chm->contextTopic(1));
    EXPECT_FALSE(chm->read(QStringLiteral("start.htm")));

    const auto sound = ChmFile::open(QStringLiteral(TRAMAZEL_HELP_FIXTURE));
    ASSERT_TRUE(sound);
    EXPECT_FALSE(sound->isDamaged());
}

TEST(ChmFile, OurOwnHelpFileHasItsContentsIndexAndMainTopic)
{
    const auto chm = ChmFile::open(QStringLiteral(TRAMAZEL_HELP_FILE));
    ASSERT_TRUE(chm);
    EXPECT_EQ(chm->title(), QStringLiteral("Ayuda de Tramazel"));
    EXPECT_EQ(chm->defaultTopic(), QStringLiteral("principal.htm"));
    EXPECT_EQ(chm->contextTopic(1), QStringLiteral("principal.htm"));

    const auto hhc = chm->read(chm->contentsFile());
    ASSERT_TRUE(hhc);
    const std::vector<SitemapEntry> contents = Sitemap::parse(chm->decode(*hhc));
    QStringList titles;
    collect(contents, [&](const SitemapEntry& e) {
        titles << e.name;
        EXPECT_TRUE(chm->contains(e.local)) << e.local.toStdString();
    });
    EXPECT_EQ(titles.first(), QStringLiteral("Tramazel: datos entre GestIB y Zelvano"));
    for (const char* expected :
        { "Importar los datos del centro", "La ventana Cursos: nivel y curso", "Las líneas de asignaturas",
            "Qué recibe cada tabla de Zelvano", "Exportar la solución", "Cuando Zelvano abre Tramazel",
            "El directorio de horarios", "La línea de órdenes", "Mensajes y solución de problemas" })
        EXPECT_TRUE(titles.contains(QString::fromUtf8(expected))) << expected;
    // The three steps of the import sit under the import.
    const auto import = std::find_if(contents.begin(), contents.end(),
        [](const SitemapEntry& e) { return e.local == QLatin1String("importar_centro.htm"); });
    ASSERT_NE(import, contents.end());
    EXPECT_EQ(import->children.size(), 3u);

    const auto hhk = chm->read(chm->indexFile());
    ASSERT_TRUE(hhk);
    int keywords = 0;
    collect(Sitemap::parse(chm->decode(*hhk)), [&](const SitemapEntry& e) {
        ++keywords;
        const QString topic = e.local.section(QLatin1Char('#'), 0, 0);
        EXPECT_TRUE(chm->contains(topic)) << e.name.toStdString();
    });
    EXPECT_GT(keywords, 0);

    // Every picture and stylesheet a topic uses is inside the file.
    for (const QString& name : chm->names()) {
        if (!name.endsWith(QLatin1String(".htm")))
            continue;
        const QString page = QString::fromUtf8(*chm->read(name));
        static const QRegularExpression ref(QStringLiteral("(?:src|href)=\"([^\"#:]*)(?:#[^\"]*)?\""));
        for (auto it = ref.globalMatch(page); it.hasNext();) {
            const QString target = it.next().captured(1);
            if (target.isEmpty())
                continue;
            EXPECT_TRUE(chm->contains(target)) << name.toStdString() << " -> " << target.toStdString();
        }
    }
}
