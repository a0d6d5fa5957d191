// SPDX-License-Identifier: GPL-3.0-or-later
// What the person reads when a run cannot be done: every message names the file or
// folder it is about and why, in words, as the command line and the window both show
// it. One row per cause.
#include "CourseLevels.h"
#include "Error.h"
#include "TestSupport.h"
#include "ZelvanoTables.h"
#include "centre_import/CentreImport.h"
#include "centre_import/ImportCentreFile.h"
#include "dbf/DbfTable.h"
#include "dbf/MdxFile.h"
#include "dbf/TableFiles.h"
#include "platform/IoHooks.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

using namespace tramazel;
using tramazel::test::expectError;
using tramazel::test::readFile;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;

namespace {

struct NoPrompts : centre_import::ImportPrompts {
    void editCourseLevels(centre_import::CourseLevelGrid&) override { }
    bool askQuestion(std::string_view, std::string_view) override { return true; }
};

// A copy of a table file with the bytes at `offset` replaced.
void patch(const fs::path& file, std::size_t offset, std::string_view bytes)
{
    std::string contents = readFile(file);
    contents.replace(offset, bytes.size(), bytes);
    writeFile(file, contents);
}

} // namespace

TEST(Messages, NameTheFileAndTheCause)
{
    TempDir dir;
    const fs::path qtemp = dir / "qtemp";
    fs::create_directories(qtemp);
    const fs::path proft = qtemp / "PROFT.DBF";
    const fs::path centre = dir / "centre.xml";
    writeFile(centre, "<CENTRE/>");
    platform::IoHooks readOnly;
    readOnly.folderWriteError = [](const fs::path&) { return EROFS; };

    struct Case {
        const char* name;
        std::function<void()> setUp;
        std::function<void()> run;
        ErrorCode code;
        std::vector<std::string> said;
    };
    auto importCentre = [&](const fs::path& file, const platform::IoHooks* io = nullptr) {
        return [&, file, io] {
            xml::XmlDocument doc;
            NoPrompts prompts;
            centre_import::CentreFileImportOptions options;
            options.io = io;
            centre_import::importCentreFile(file, qtemp, doc, prompts, options);
        };
    };
    auto openProft = [&] { dbf::DbfTable::open(qtemp, "PROFT", dbf::Access::Shared); };
    auto makeProft = [&] {
        dbf::deleteTable(qtemp, "PROFT");
        dbf::DbfTable::create(qtemp, zelvano::proft::kTable, zelvano::proft::fields()).close();
    };
    const std::vector<Case> cases = {
        { "a timetable directory on a read-only disk", [] {}, importCentre(centre, &readOnly),
            ErrorCode::FileIo,
            { "No se puede escribir en el directorio de horarios", qtemp.string(),
                "el disco es de solo lectura" } },
        { "a header that counts more records than the file holds",
            [&] {
                makeProft();
                patch(proft, 4, std::string("\x09\x00\x00\x00", 4));
            },
            openProft, ErrorCode::TableCorrupt,
            { proft.string(), "la cabecera cuenta 9 registros, pero el archivo solo tiene sitio para 0" } },
        { "a field descriptor of an impossible width",
            [&] {
                makeProft();
                // The first field's width, where a dBASE 7 header or an older one keeps it.
                const bool level7 = (static_cast<unsigned char>(readFile(proft)[0]) & 0x07) == 0x04;
                patch(proft, level7 ? 68 + 33 : 32 + 16, std::string(1, '\0'));
            },
            openProft, ErrorCode::TableCorrupt, { proft.string(), "la descripción del campo" } },
        { "an index whose tag points outside the file",
            [&] {
                writeFile(qtemp / "BAD.MDX", std::string(4096, '\0'));
                patch(qtemp / "BAD.MDX", 26, "\x20"); // tag entry size
                patch(qtemp / "BAD.MDX", 28, "\x01"); // one tag in use
                patch(qtemp / "BAD.MDX", 544, std::string("\xFF\x00\x00\x00", 4)); // its header page
            },
            [&] { dbf::MdxFile::readTags(qtemp / "BAD.MDX"); }, ErrorCode::TableCorrupt,
            { (qtemp / "BAD.MDX").string(), "la etiqueta 1 apunta fuera del archivo" } },
        { "a file that is not a centre file", [&] { writeFile(dir / "horari.xml", "<HORARI/>"); },
            importCentre(dir / "horari.xml"), ErrorCode::XmlWrongRoot,
            { (dir / "horari.xml").string(), "<HORARI>", "exportar los datos del centro" } },
        { "a folder where a centre file should be", [] {}, [&] { xml::XmlDocument::load(qtemp); },
            ErrorCode::FileIo, { qtemp.string(), "es una carpeta, no un archivo" } },
        { "a levels file that is a folder", [] {}, [&] { cli::CourseLevels::load(qtemp); },
            ErrorCode::FileNotFound, { qtemp.string(), "es una carpeta, no un archivo" } },
        { "a levels file that does not exist", [] {}, [&] { cli::CourseLevels::load(dir / "none.txt"); },
            ErrorCode::FileNotFound, { "No existe el archivo de niveles", (dir / "none.txt").string() } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.setUp();
        const auto error = expectError(c.code, c.run);
        if (!error)
            continue;
        for (const std::string& part : c.said)
            EXPECT_NE(error->message().find(part), std::string::npos) << part << " in " << error->message();
    }
}
