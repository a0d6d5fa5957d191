// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/ImportCentreFile.h"

#include "Error.h"
#include "WarningTexts.h"
#include "text/PathText.h"
#include "xml/XmlDocument.h"

#include <system_error>

namespace tramazel::centre_import {

namespace fs = std::filesystem;

namespace {

// The hourglass for the length of the builders' work: on when made, off when
// destroyed whatever happens, so no box that follows ever shows it.
class BusyCursor {
public:
    explicit BusyCursor(ImportPrompts& prompts)
        : m_prompts(prompts)
    {
        show();
    }
    ~BusyCursor() { lift(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    void show()
    {
        if (!m_shown) {
            m_prompts.setBusy(true);
            m_shown = true;
        }
    }
    void lift()
    {
        if (m_shown) {
            m_shown = false;
            m_prompts.setBusy(false);
        }
    }

private:
    ImportPrompts& m_prompts;
    bool m_shown = false;
};

// The builders' prompts with a normal pointer, the hourglass back once answered.
class PromptsWithoutHourglass : public ImportPrompts {
public:
    PromptsWithoutHourglass(ImportPrompts& prompts, BusyCursor& cursor)
        : m_prompts(prompts)
        , m_cursor(cursor)
    {
    }

    void editCourseLevels(CourseLevelGrid& grid) override
    {
        Pause pause(m_cursor);
        m_prompts.editCourseLevels(grid);
    }

    bool askQuestion(std::string_view caption, std::string_view text) override
    {
        Pause pause(m_cursor);
        return m_prompts.askQuestion(caption, text);
    }

    SubjectLines askSubjectLines(std::string_view caption, std::string_view text) override
    {
        Pause pause(m_cursor);
        return m_prompts.askSubjectLines(caption, text);
    }

    bool confirmReplacement(const ImportReview& review) override
    {
        Pause pause(m_cursor);
        return m_prompts.confirmReplacement(review);
    }

private:
    struct Pause {
        explicit Pause(BusyCursor& c)
            : cursor(c)
        {
            cursor.lift();
        }
        ~Pause() { cursor.show(); }
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;
        BusyCursor& cursor;
    };

    ImportPrompts& m_prompts;
    BusyCursor& m_cursor;
};

// A file that is not a centre file stops the import before any table is touched.
void requireCentreRoot(const xml::XmlDocument& doc, const fs::path& file)
{
    const xml::XmlElement root = doc.root();
    if (!root.isNull() && root.name() == kCentreRoot)
        return;
    const auto position = doc.rootPosition();
    std::string where;
    if (position)
        where = " (línea " + std::to_string(position->line) + ")";
    const std::string name = text::pathToUtf8(file);
    throw Error(ErrorCode::XmlWrongRoot,
        "El archivo «" + name + "» no es un archivo de centro de GestIB: su elemento raíz" + where + " es <"
            + std::string(root.name()) + "> y debería ser <" + std::string(kCentreRoot)
            + ">. Elija el archivo que se obtiene en GestIB al exportar los datos del centro, cuyo elemento"
              " principal es "
            + std::string(kCentreRoot),
        name, position);
}

} // namespace

std::vector<std::string> ImportNotes::summaryLines() const
{
    if (!linesForNamedGroups)
        return {};
    return { warning::subjectLinesForNamedGroups(subjectLines, subjectsNamingGroups) };
}

std::vector<std::string> CentreFileImport::summary() const
{
    std::vector<std::string> lines;
    for (const TableWritten& table : tables)
        lines.push_back("Tabla " + table.name + ": " + std::to_string(table.records) + " registros");
    if (!review.tables().empty()) {
        if (review.firstImport()) {
            lines.emplace_back("Cambios en las tablas: ninguna existía (primera importación)");
        } else {
            lines.emplace_back("Cambios en las tablas:");
            for (const std::string& line : review.detailedLines())
                lines.push_back("  " + line);
        }
    }
    for (std::string& line : notes.summaryLines())
        lines.push_back(std::move(line));
    for (std::string& line : warnings.summaryLines())
        lines.push_back(std::move(line));
    return lines;
}

std::optional<CentreFileImport> importCentreFile(const fs::path& centreFile, const fs::path& qtempDir,
    xml::XmlDocument& doc, ImportPrompts& prompts, const CentreFileImportOptions& options)
{
    std::error_code ec;
    if (centreFile.empty() || !fs::is_regular_file(centreFile, ec))
        return std::nullopt;

    doc = xml::XmlDocument();
    doc = xml::XmlDocument::load(centreFile);
    requireCentreRoot(doc, centreFile);

    CentreFileImport result;
    BusyCursor cursor(prompts);
    PromptsWithoutHourglass unbusyPrompts(prompts, cursor);
    CentreImport import(qtempDir);
    if (!options.builders.empty())
        import.setBuilders(options.builders);
    import.setIo(options.io);
    import.setKeepLevels(options.keepLevels);
    import.setDryRun(options.dryRun);
    result.tables = import.run(doc, unbusyPrompts, result.warnings);
    result.notes = import.notes();
    result.review = import.review();
    return result;
}

} // namespace tramazel::centre_import
