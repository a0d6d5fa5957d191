// SPDX-License-Identifier: GPL-3.0-or-later
#include "solution_export/SolutionExport.h"

#include "Error.h"
#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "dbf/DbfFormat.h"
#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"
#include "solution_export/Lookup.h"
#include "solution_export/LookupCache.h"
#include "solution_export/ParallelJobs.h"
#include "solution_export/SolutionFormat.h"
#include "text/Cp1252.h"
#include "text/PathText.h"
#include "xml/XmlStreamWriter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tramazel::solution_export {

namespace {

struct GroupValues {
    std::string curs; // CODICURS
    std::string grup; // CODI
};

struct SlotValues {
    std::string dia;
    std::string horaDesde;
    std::string minutos;
};

using dbf::DbfTable;

// Lookup tables of fewer bytes than this, all together, are read on one thread: a
// second would cost more to start than it saves.
constexpr std::uint64_t kParallelFromBytes = std::uint64_t(1) << 20;

// Whole numbers beyond this are not hour or day numbers; they keep their doubles
// away from the overflow of a conversion to int64.
constexpr double kLargestWhole = 1e15;

/// One numeric-or-character field of SOLUC, read as a number: Zelvano's own tables
/// may store DIA and HORA in any numeric type or even as text.
class NumberField {
public:
    NumberField(const DbfTable& table, std::string_view name)
        : m_index(table.fieldIndex(name))
        , m_numeric(dbf::isNumericType(table.fields()[m_index].type))
    {
    }

    double number(const DbfTable& table) const
    {
        if (m_numeric)
            return table.number(m_index);
        // A character field: its text as a number, blank or unreadable text as 0,
        // the way an empty numeric field reads.
        std::string_view s = text::trimControls(table.textView(m_index));
        if (!s.empty() && s.front() == '+')
            s.remove_prefix(1);
        double value = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
            return 0;
        return value;
    }

    /// The text that begins the slot key: a whole number as its digits without a
    /// decimal point, whatever the field type stores ("2", never "2.0").
    std::string keyText(const DbfTable& table, double value) const
    {
        if (!m_numeric)
            return table.text(m_index);
        if (std::trunc(value) == value && std::fabs(value) <= kLargestWhole)
            return decimal(static_cast<std::int64_t>(value));
        return table.text(m_index);
    }

    static std::string decimal(std::int64_t n)
    {
        char buf[24];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n);
        (void)ec;
        return std::string(buf, end);
    }

    std::size_t index() const noexcept { return m_index; }

private:
    std::size_t m_index;
    bool m_numeric;
};

bool hasFraction(double hora) noexcept
{
    return hora - std::trunc(hora) > 0;
}

/// The hour number of a HORA value, or nothing when HORA is no usable number.
std::optional<std::int64_t> hourNumber(double hora, bool halfHours) noexcept
{
    const double whole = std::trunc(hora);
    if (!std::isfinite(whole) || std::fabs(whole) > kLargestWhole)
        return std::nullopt;
    const auto w = static_cast<std::int64_t>(whole);
    if (!halfHours)
        return w;
    return hasFraction(hora) ? 2 * w : 2 * w - 1;
}

/// Whether reading `fields` can fail: only a Character field reads as text without a
/// check of its contents.
bool readingCanFail(const DbfTable& table, std::initializer_list<std::size_t> fields)
{
    for (const std::size_t f : fields) {
        if (table.fields()[f].type != dbf::kTypeCharacter)
            return true;
    }
    return false;
}

/// Fills `lookup` from `table`. Codes repeat a lot in a large centre (four-character
/// abbreviations), so the map grows with the distinct keys rather than being sized by
/// the rows: a compact table stays in cache. A repeated key's values are never read.
/// When reading the values could fail, every key is kept, so a damaged table fails the
/// export whatever SOLUC holds.
template <typename Value, typename Read>
void fillLookup(Lookup<Value>& lookup, DbfTable& table, std::string_view keyField,
    std::initializer_list<std::size_t> valueFields, Read read)
{
    if (readingCanFail(table, valueFields))
        lookup.wantAll();
    lookup.fill(table, table.fieldIndex(keyField), read);
}

/// The six tables of an export, each held for exclusive reading (no program writes
/// one meanwhile) until the sessions are
/// written. On an error they close themselves, last opened first, as the exception
/// leaves the export.
struct ExportTables {
    DbfTable soluc;
    DbfTable proft;
    DbfTable aulat;
    DbfTable asignomt;
    DbfTable grupost;
    DbfTable diashorast;

    /// Closes SOLUC first, then the lookup tables.
    void close()
    {
        soluc.close();
        grupost.close();
        proft.close();
        aulat.close();
        asignomt.close();
        diashorast.close();
    }
};

/// SOLUC, the solution Zelvano computes: missing, it was never computed here (or the
/// directory is not Zelvano's), which the message says rather than only naming a file.
DbfTable openSoluc(const std::filesystem::path& qtempDir, const platform::IoHooks* io)
{
    try {
        return DbfTable::open(qtempDir, zelvano::soluc::kTable, dbf::Access::ExclusiveRead, io);
    } catch (const Error& e) {
        if (e.code() != ErrorCode::FileNotFound)
            throw;
        throw Error(ErrorCode::FileNotFound,
            "No hay solución que exportar: no se encuentra la tabla «" + std::string(zelvano::soluc::kTable)
                + "» en la carpeta «" + text::pathToUtf8(qtempDir)
                + "». Calcule primero el horario en Zelvano y vuelva a exportar.",
            e.detail());
    }
}

/// Opens the tables one after the other in a fixed order, so that of several missing
/// or locked tables the error is always that of the same one: SOLUC, PROFT, AULAT,
/// ASIGNOMT, GRUPOST, DIASHORAST.
ExportTables openTables(const std::filesystem::path& qtempDir, const platform::IoHooks* io)
{
    namespace z = zelvano;
    const auto open = [&](std::string_view table) {
        return DbfTable::open(qtempDir, table, dbf::Access::ExclusiveRead, io);
    };
    // The elements of a braced list are evaluated in their order.
    return ExportTables { openSoluc(qtempDir, io), open(z::proft::kTable), open(z::aulat::kTable),
        open(z::asignomt::kTable), open(z::grupost::kTable), open(z::diashorast::kTable) };
}

// A language driver id as the dBASE documents write it: "0x65".
std::string driverIdText(std::uint8_t id)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[id >> 4] + kDigits[id & 0x0F];
}

/// Notes each table whose language driver is unknown (its texts are read as ANSI).
void noteTableHazards(const ExportTables& tables, ExportSummary& summary)
{
    for (const DbfTable* table : { &tables.soluc, &tables.proft, &tables.aulat, &tables.asignomt,
             &tables.grupost, &tables.diashorast }) {
        const std::string name = text::pathToUtf8(table->path().filename());
        if (!table->textCodePage().recognised)
            summary.lookupsNotFound.add(
                warning::kUnknownLanguageDriver, name + " (" + driverIdText(table->languageDriver()) + ")");
        // A solution whose count was not updated would lose sessions without a word.
        if (const std::uint64_t beyond = table->recordsBeyondCount())
            summary.lookupsNotFound.add(warning::kRecordsBeyondCount,
                name + " (" + std::to_string(table->recordCount() + beyond) + " registros en el archivo, "
                    + std::to_string(table->recordCount()) + " en la cabecera)");
    }
}

/// SOLUC's fields the export reads, asked for by name in this order: a table without
/// one fails the export with the first missing.
struct SolucFields {
    explicit SolucFields(const DbfTable& soluc)
        : dia(soluc, zelvano::soluc::kDia)
        , hora(soluc, zelvano::soluc::kHora)
        , prof(soluc.fieldIndex(zelvano::soluc::kProf))
        , grupo(soluc.fieldIndex(zelvano::soluc::kCodGrupo))
        , aula(soluc.fieldIndex(zelvano::soluc::kAula))
        , asig(soluc.fieldIndex(zelvano::soluc::kAsig))
        , tarea(soluc.fieldIndex(zelvano::soluc::kTarea))
    {
    }

    NumberField dia;
    NumberField hora;
    std::size_t prof;
    std::size_t grupo;
    std::size_t aula;
    std::size_t asig;
    std::size_t tarea;
};

/// What the sessions look up: SOLUC's codes (teachers, groups, rooms, subjects), the
/// slots of DIASHORAST by day and hour, and whether SOLUC numbers its hours by halves.
struct SolucLookups {
    Lookup<std::string> teachers;
    Lookup<GroupValues> groups;
    Lookup<std::string> rooms;
    Lookup<std::string> subjects;
    Lookup<SlotValues> slots;
    bool halfHours = false;

    void keepEveryCode()
    {
        teachers.wantAll();
        groups.wantAll();
        rooms.wantAll();
        subjects.wantAll();
    }
};

/// Tells each lookup the codes of every SOLUC row (rows without a day and activities
/// too: a few keys more cost nothing). A lookup is told to keep every key when its
/// codes would be as many as its table's rows, and all of them are when a field
/// cannot be read: the failure is then met again, in its place, when the sessions are
/// written.
void collectKeys(SolucLookups& lookups, DbfTable& soluc, const std::array<std::size_t, 4>& fields,
    const std::array<std::size_t, 4>& tableRows)
{
    const auto wantIn = [&](auto& lookup, std::size_t i) {
        if (lookup.wantsAll())
            return;
        lookup.want(soluc.keyView(fields[i]));
        if (lookup.wanted() >= tableRows[i])
            lookup.wantAll();
    };
    try {
        for (soluc.first(); !soluc.eof(); soluc.next()) {
            wantIn(lookups.teachers, 0);
            wantIn(lookups.groups, 1);
            wantIn(lookups.rooms, 2);
            wantIn(lookups.subjects, 3);
        }
    } catch (const Error&) {
        lookups.keepEveryCode();
    }
}

/// Decides which codes each lookup keeps. Lookup tables far larger than SOLUC (a small
/// solution against a large centre) are indexed only for the codes SOLUC holds;
/// otherwise reading SOLUC once more would cost more than it saves.
void planLookups(SolucLookups& lookups, ExportTables& tables, const SolucFields& fields)
{
    const std::array<std::size_t, 4> lookupRows = { tables.proft.recordCount(), tables.grupost.recordCount(),
        tables.aulat.recordCount(), tables.asignomt.recordCount() };
    if (lookupRows[0] + lookupRows[1] + lookupRows[2] + lookupRows[3] > tables.soluc.recordCount())
        collectKeys(
            lookups, tables.soluc, { fields.prof, fields.grupo, fields.aula, fields.asig }, lookupRows);
    else
        lookups.keepEveryCode();
}

/// Reads the lookup tables into `lookups`, side by side on two threads when they are
/// large, and meanwhile looks through SOLUC for half hours. Each job asks for its
/// fields itself, so that a table without one fails in its turn: of several tables
/// that fail, the error is that of the first in the order PROFT, AULAT, ASIGNOMT,
/// GRUPOST, DIASHORAST, SOLUC, the one a run of these steps in this order would meet
/// first.
void fillLookups(SolucLookups& lookups, ExportTables& tables, const NumberField& horaField)
{
    namespace z = zelvano;
    std::vector<Job> jobs;
    const auto reading = [&jobs](const DbfTable& table, std::function<void()> run) {
        jobs.push_back({ std::move(run), std::uint64_t(table.recordCount()) * table.recordLength() });
    };
    reading(tables.proft, [&] {
        DbfTable& proft = tables.proft;
        const std::size_t codi = proft.fieldIndex(z::proft::kCodi);
        fillLookup(lookups.teachers, proft, z::proft::kAbrev, { codi },
            [=](const DbfTable& t) { return t.text(codi); });
    });
    reading(tables.aulat, [&] {
        DbfTable& aulat = tables.aulat;
        const std::size_t codi = aulat.fieldIndex(z::aulat::kCodi);
        fillLookup(lookups.rooms, aulat, z::aulat::kAbrev, { codi },
            [=](const DbfTable& t) { return t.text(codi); });
    });
    reading(tables.asignomt, [&] {
        DbfTable& asignomt = tables.asignomt;
        const std::size_t codi = asignomt.fieldIndex(z::asignomt::kCodi);
        fillLookup(lookups.subjects, asignomt, z::asignomt::kCod, { codi },
            [=](const DbfTable& t) { return t.text(codi); });
    });
    reading(tables.grupost, [&] {
        DbfTable& grupost = tables.grupost;
        const std::size_t codi = grupost.fieldIndex(z::grupost::kCodi);
        const std::size_t codiCurs = grupost.fieldIndex(z::grupost::kCodiCurs);
        fillLookup(lookups.groups, grupost, z::grupost::kAbrev, { codiCurs, codi }, [=](const DbfTable& t) {
            return GroupValues { t.text(codiCurs), t.text(codi) };
        });
    });
    reading(tables.diashorast, [&] {
        DbfTable& diashorast = tables.diashorast;
        lookups.slots.wantAll();
        const std::size_t dia = diashorast.fieldIndex(z::diashorast::kDia);
        const std::size_t desde = diashorast.fieldIndex(z::diashorast::kHoraDesde);
        const std::size_t minutos = diashorast.fieldIndex(z::diashorast::kMinutos);
        lookups.slots.fill(diashorast, diashorast.fieldIndex(z::diashorast::kDiHo), [=](const DbfTable& t) {
            return SlotValues { t.text(dia), t.text(desde), t.text(minutos) };
        });
    });
    // One fractional HORA anywhere, in a row with a day or not, numbers every row by
    // half hours.
    reading(tables.soluc, [&] {
        DbfTable& soluc = tables.soluc;
        for (soluc.first(); !soluc.eof() && !lookups.halfHours; soluc.next())
            lookups.halfHours = hasFraction(horaField.number(soluc));
    });
    runJobs(jobs, kParallelFromBytes);
}

// Counts every lookup that found nothing; the examples are distinct codes, so one
// code missing from hundreds of sessions does not hide the others.
void noteMiss(ExportSummary& summary, std::string_view kind, std::string_view key)
{
    Warnings& misses = summary.lookupsNotFound;
    const std::string code = dbf::keyToUtf8(key);
    for (const Warnings::Kind& k : misses.kinds()) {
        if (k.description == kind
            && std::find(k.examples.begin(), k.examples.end(), code) != k.examples.end()) {
            misses.add(kind);
            return;
        }
    }
    misses.add(kind, code);
}

/// Stands for the XML writer in a pass that looks every session up and writes nothing.
struct NoOutput {
    void startElement(std::string_view) noexcept { }
    void attribute(std::string_view, std::string_view) noexcept { }
    void endElement() noexcept { }
};

/// Writes one SESSIO element per SOLUC row with a day, as its row is read: nothing
/// grows with SOLUC but the examples of codes not found. `out` is an
/// xml::XmlStreamWriter, or NoOutput for a pass that only counts.
template <typename Output>
void writeSessions(DbfTable& soluc, const SolucFields& fields, const SolucLookups& lookups, Output& out,
    ExportSummary& summary)
{
    out.startElement(gestib::kHorari);
    out.startElement(gestib::kSessions);
    const std::string empty;
    for (soluc.first(); !soluc.eof(); soluc.next()) {
        const double dia = fields.dia.number(soluc);
        if (std::trunc(dia) == 0 || !std::isfinite(dia)) {
            ++summary.rowsWithoutDay;
            continue;
        }
        // Views of the current row's fields, each valid until the next row is read.
        const std::string_view tarea = soluc.textView(fields.tarea);
        const bool activity = !text::trimControls(tarea).empty();

        const std::string_view prof = soluc.keyView(fields.prof);
        const std::string* placa = lookups.teachers.find(prof);
        if (!placa && !prof.empty())
            noteMiss(summary, warning::kTeacherNotFound, prof);

        // An activity's group, room and subject stay empty; their lookups are left
        // out rather than made and thrown away, so they never count as misses.
        const GroupValues* group = nullptr;
        if (!activity) {
            const std::string_view grupo = soluc.keyView(fields.grupo);
            group = lookups.groups.find(grupo);
            if (!group && !grupo.empty())
                noteMiss(summary, warning::kGroupNotFound, grupo);
        }

        const SlotValues* slot = nullptr;
        if (const auto hour = hourNumber(fields.hora.number(soluc), lookups.halfHours)) {
            std::string key = fields.dia.keyText(soluc, dia);
            key += NumberField::decimal(*hour);
            slot = lookups.slots.find(key);
            if (!slot)
                noteMiss(summary, warning::kSlotNotFound, key);
        } else {
            noteMiss(summary, warning::kSlotNotFound, soluc.textView(fields.hora.index()));
        }

        const std::string* aula = nullptr;
        const std::string* materia = nullptr;
        if (!activity) {
            const std::string_view room = soluc.keyView(fields.aula);
            aula = lookups.rooms.find(room);
            if (!aula && !room.empty())
                noteMiss(summary, warning::kRoomNotFound, room);
            const std::string_view asig = soluc.keyView(fields.asig);
            materia = lookups.subjects.find(asig);
            if (!materia && !asig.empty())
                noteMiss(summary, warning::kSubjectNotFound, asig);
        }

        // The nine attributes in their order; what a lookup did not find stays empty.
        out.startElement(gestib::kSessio);
        out.attribute(gestib::kPlaca, placa ? *placa : empty);
        out.attribute(gestib::kCurs, group ? group->curs : empty);
        out.attribute(gestib::kGrup, group ? group->grup : empty);
        out.attribute(gestib::kDia, slot ? slot->dia : empty);
        out.attribute(gestib::kHora, slot ? slot->horaDesde : empty);
        out.attribute(gestib::kDurada, slot ? slot->minutos : empty);
        out.attribute(gestib::kAula, aula ? *aula : empty);
        out.attribute(gestib::kMateria, materia ? *materia : empty);
        out.attribute(gestib::kActivitat, tarea);
        out.endElement();
        ++summary.sessions;
    }
}

} // namespace

std::size_t ExportSummary::sessionsWithoutSlot() const
{
    return lookupsNotFound.count(warning::kSlotNotFound);
}

std::vector<const Warnings::Kind*> ExportSummary::incompleteSessions() const
{
    std::vector<const Warnings::Kind*> kinds;
    for (const Warnings::Kind& k : lookupsNotFound.kinds()) {
        for (const std::string_view lost : { warning::kSlotNotFound, warning::kTeacherNotFound,
                 warning::kGroupNotFound, warning::kRoomNotFound, warning::kSubjectNotFound }) {
            if (k.description == lost)
                kinds.push_back(&k);
        }
    }
    return kinds;
}

std::filesystem::path solutionFileFor(const std::filesystem::path& chosenFile)
{
    return chosenFile.parent_path() / kSolutionFileName;
}

/// The tables of an export held open, its SOLUC fields found and its lookups filled.
struct PreparedExport::Impl {
    Impl(const std::filesystem::path& qtempDir, const platform::IoHooks* hooks)
        : io(hooks)
        , tables(openTables(qtempDir, hooks))
        , fields(tables.soluc)
    {
    }

    const platform::IoHooks* io;
    ExportTables tables;
    SolucFields fields;
    SolucLookups lookups;
    ExportSummary hazards; // what the tables themselves warn of, before any session
};

PreparedExport::PreparedExport(const std::filesystem::path& qtempDir, const platform::IoHooks* io)
{
    // Each table is found with one listing of the folder, not one per table.
    dbf::FolderListingScope listingScope;
    m_impl = std::make_unique<Impl>(qtempDir, io);
    Impl& d = *m_impl;
    noteTableHazards(d.tables, d.hazards);
    planLookups(d.lookups, d.tables, d.fields);
    fillLookups(d.lookups, d.tables, d.fields.hora);
}

PreparedExport::~PreparedExport() = default;

ExportSummary PreparedExport::check()
{
    Impl& d = *m_impl;
    ExportSummary summary = d.hazards;
    NoOutput out;
    bringIntoCache(
        d.lookups.teachers, d.lookups.groups, d.lookups.rooms, d.lookups.subjects, d.lookups.slots);
    writeSessions(d.tables.soluc, d.fields, d.lookups, out, summary);
    return summary;
}

ExportSummary PreparedExport::write(const std::filesystem::path& outputFile)
{
    Impl& d = *m_impl;
    ExportSummary summary = d.hazards;
    bringIntoCache(
        d.lookups.teachers, d.lookups.groups, d.lookups.rooms, d.lookups.subjects, d.lookups.slots);
    // On an error the writer removes what it wrote.
    xml::XmlStreamWriter out(outputFile, d.io);
    writeSessions(d.tables.soluc, d.fields, d.lookups, out, summary);
    d.tables.close();
    out.commit();
    return summary;
}

ExportSummary exportSolution(const std::filesystem::path& qtempDir, const std::filesystem::path& outputFile,
    const platform::IoHooks* io)
{
    return PreparedExport(qtempDir, io).write(outputFile);
}

} // namespace tramazel::solution_export
