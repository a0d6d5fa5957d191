// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the whole centre import: any bytes as a centre file, imported
// into an empty timetable directory with the prompts answered by a fixed stub, then
// every table written read back. The outcome is the tables or a tramazel::Error,
// never a crash, hang, leak or sanitizer report.
#include "Error.h"
#include "FuzzFiles.h"
#include "centre_import/CourseLevelGrid.h"
#include "centre_import/ImportCentreFile.h"
#include "dbf/DbfTable.h"
#include "xml/XmlDocument.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using namespace tramazel;
using namespace tramazel::centre_import;

// The person at the prompts: the same answers for every input of a given length,
// so that the length picks which question answer the run takes (no bytes of the
// centre file are spent on it).
class StubPrompts : public ImportPrompts {
public:
    explicit StubPrompts(std::size_t choice)
        : m_choice(choice)
    {
    }

    void editCourseLevels(CourseLevelGrid& grid) override
    {
        for (int line = 0; line < grid.rowCount(); ++line) {
            if ((m_choice + static_cast<std::size_t>(line)) % 4 == 0)
                continue; // a line left as it was
            grid.set(line, CourseLevelGrid::Level, line % 2 == 0 ? "ESO" : "BATX");
            grid.set(line, CourseLevelGrid::CourseNumber, std::to_string(line % 5));
        }
    }

    bool askQuestion(std::string_view, std::string_view) override { return m_choice % 2 == 0; }

    SubjectLines askSubjectLines(std::string_view, std::string_view) override
    {
        return static_cast<SubjectLines>(m_choice % 3);
    }

private:
    std::size_t m_choice;
};

void readBack(const fs::path& dir, const std::vector<TableWritten>& tables)
{
    for (const TableWritten& written : tables) {
        auto t = dbf::DbfTable::open(dir, written.name, dbf::Access::Shared);
        for (t.first(); !t.eof(); t.next()) {
            for (std::size_t f = 0; f < t.fields().size(); ++f)
                (void)t.text(f);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fs::path centreFile = tramazel::fuzz::scratchSubdir("centre") / "centre.xml";
    static const fs::path qtemp = tramazel::fuzz::scratchSubdir("qtemp");
    tramazel::fuzz::clearDir(qtemp);
    tramazel::fuzz::writeFile(centreFile, data, size);
    StubPrompts prompts(size);
    try {
        xml::XmlDocument doc;
        const std::optional<CentreFileImport> result = importCentreFile(centreFile, qtemp, doc, prompts);
        if (result) {
            (void)result->summary();
            readBack(qtemp, result->tables);
        }
    } catch (const Error&) {
    }
    return 0;
}
