// SPDX-License-Identifier: GPL-3.0-or-later
#include "solution_export/SolutionExport.h"

#include "Error.h"
#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "dbf/DbfFormat.h"
#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"
#include "solution_export/KeyHeads.h"
#include "solution_export/ParallelJobs.h"
#include "solution_export/SolutionFormat.h"
#include "text/Cp1252.h"
#include "text/FirstMatchIndex.h"
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

/// A lookup table's values by key: the first row in stored order wins, exactly as a
/// scan from the top would. It may be told first which keys SOLUC asks for; then rows
/// with other keys are passed over without reading their values, and the pass ends
/// once every key asked for is found. A count of the keys still missing by a hash of
/// their first bytes (MissingKeys), in a table that stays in cache, turns most rows
/// away before their keys are looked up: those with keys not asked for, and those
/// whose key was found in an earlier row. Where the key field reads as stored, rows
/// are judged on their stored bytes and only those kept are decoded.
template <typename Value> class Lookup {
public:
    /// Only `key` and the other keys wanted so far are kept.
    void want(std::string_view key)
    {
        const std::size_t before = m_slots.size();
        m_slots.add(key, before);
        if (m_slots.size() == before)
            return;
        m_values.emplace_back();
        m_wantedHeads.push_back(keyHead(key));
    }
    /// Every key is kept, those wanted or not.
    void wantAll()
    {
        m_all = true;
        m_wantedHeads = {};
        m_slots.clear();
        m_values.clear();
        m_found = 0;
    }
    bool wantsAll() const noexcept { return m_all; }
    std::size_t wanted() const noexcept { return m_slots.size(); }

    /// Reads the table's rows: `read` gives the values of a row whose key is kept and
    /// not seen before.
    template <typename Read> void fill(DbfTable& table, std::size_t keyField, Read read)
    {
        if (!m_all) {
            m_missing = MissingKeys(m_wantedHeads);
            m_wantedHeads = {};
        }
        if (table.readsAsStored(keyField)) {
            // Reading such a key cannot fail, so the rows after the last key wanted
            // need not be read at all.
            const dbf::StoredField key = table.storedField(keyField);
            const StoredKeyHead headOf(key, table.recordLength());
            auto keep = [&](const char* record) {
                return (m_all || m_missing.mayHold(headOf(record))) && keepsFound(key.text(record));
            };
            for (bool found = !foundAll() && table.skimTo(true, keep); found;
                 found = !foundAll() && table.skimTo(false, keep))
                store(table.textView(keyField), read(table));
            return;
        }
        // Keys read as numbers or converted from another code page: each is decoded,
        // and a key that cannot be read fails the export whatever SOLUC holds.
        for (table.first(); !table.eof(); table.next()) {
            const std::string key = table.text(keyField);
            if ((m_all || m_missing.mayHold(keyHead(key))) && keepsFound(key))
                store(key, read(table));
        }
    }

    /// What FirstMatchIndex::bringIntoCache() does, for the values as well.
    std::uint64_t bringIntoCache() const noexcept
    {
        std::uint64_t sum = m_slots.bringIntoCache();
        for (const std::optional<Value>& value : m_values)
            sum += value.has_value();
        return sum;
    }

    /// The value of the first row whose key equals `key`, or nullptr.
    const Value* find(std::string_view key) const
    {
        const std::size_t* slot = m_slots.find(key);
        return slot && m_values[*slot] ? &*m_values[*slot] : nullptr;
    }

private:
    // Whether a row with `key`, past the quick test, gives values: a key kept and not
    // met before.
    bool keepsFound(std::string_view key) const
    {
        const std::size_t* slot = m_slots.find(key);
        return slot ? !m_values[*slot] : m_all;
    }

    void store(std::string_view key, Value value)
    {
        if (const std::size_t* slot = m_slots.find(key)) {
            m_values[*slot] = std::move(value);
            if (!m_all)
                m_missing.found(keyHead(key));
        } else {
            m_slots.add(key, m_values.size());
            m_values.emplace_back(std::move(value));
        }
        ++m_found;
    }

    bool foundAll() const noexcept { return !m_all && m_found == m_values.size(); }

    bool m_all = false;
    std::vector<std::uint64_t> m_wantedHeads; // keyHead() of each key wanted, until the fill
    MissingKeys m_missing; // keys wanted and not found yet, during the fill
    text::FirstMatchIndex<std::size_t> m_slots; // key -> its place in m_values
    std::vector<std::optional<Value>> m_values; // empty while a wanted key is not found
    std::size_t m_found = 0;
};

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

/// The lookups of SOLUC's codes: teachers, groups, rooms, subjects.
struct SolucLookups {
    Lookup<std::string> teachers;
    Lookup<GroupValues> groups;
    Lookup<std::string> rooms;
    Lookup<std::string> subjects;
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
        lookup.want(soluc.textView(fields[i]));
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
        lookups.teachers.wantAll();
        lookups.groups.wantAll();
        lookups.rooms.wantAll();
        lookups.subjects.wantAll();
    }
}

// Counts every lookup that found nothing; the examples are distinct codes, so one
// code missing from hundreds of sessions does not hide the others.
void noteMiss(ExportSummary& summary, std::string_view kind, std::string_view cp1252Code)
{
    Warnings& misses = summary.lookupsNotFound;
    const std::string code = text::cp1252ToUtf8(cp1252Code);
    for (const Warnings::Kind& k : misses.kinds()) {
        if (k.description == kind
            && std::find(k.examples.begin(), k.examples.end(), code) != k.examples.end()) {
            misses.add(kind);
            return;
        }
    }
    misses.add(kind, code);
}

// A language driver id as the dBASE documents write it: "0x65".
std::string driverIdText(std::uint8_t id)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[id >> 4] + kDigits[id & 0x0F];
}

} // namespace

std::filesystem::path solutionFileFor(const std::filesystem::path& chosenFile)
{
    return chosenFile.parent_path() / kSolutionFileName;
}

ExportSummary exportSolution(const std::filesystem::path& qtempDir, const std::filesystem::path& outputFile,
    const platform::IoHooks* io)
{
    namespace z = zelvano;
    using dbf::Access;

    ExportSummary summary;
    // Each table is found with one listing of the folder, not one per table.
    dbf::FolderListingScope listingScope;

    // Every table is held for exclusive reading until the sessions are written: no
    // program writes one meanwhile. On an error the handles close themselves as the
    // exception leaves this scope, and the writer removes what it wrote.
    DbfTable solucTable = DbfTable::open(qtempDir, z::soluc::kTable, Access::ExclusiveRead, io);
    DbfTable proftTable = DbfTable::open(qtempDir, z::proft::kTable, Access::ExclusiveRead, io);
    DbfTable aulatTable = DbfTable::open(qtempDir, z::aulat::kTable, Access::ExclusiveRead, io);
    DbfTable asignomtTable = DbfTable::open(qtempDir, z::asignomt::kTable, Access::ExclusiveRead, io);
    DbfTable grupostTable = DbfTable::open(qtempDir, z::grupost::kTable, Access::ExclusiveRead, io);
    DbfTable diashorastTable = DbfTable::open(qtempDir, z::diashorast::kTable, Access::ExclusiveRead, io);
    for (const DbfTable* table :
        { &solucTable, &proftTable, &aulatTable, &asignomtTable, &grupostTable, &diashorastTable }) {
        if (!table->textCodePage().recognised)
            summary.lookupsNotFound.add(warning::kUnknownLanguageDriver,
                text::pathToUtf8(table->path().filename()) + " (" + driverIdText(table->languageDriver())
                    + ")");
    }

    const NumberField diaField(solucTable, z::soluc::kDia);
    const NumberField horaField(solucTable, z::soluc::kHora);
    const std::size_t profField = solucTable.fieldIndex(z::soluc::kProf);
    const std::size_t grupoField = solucTable.fieldIndex(z::soluc::kCodGrupo);
    const std::size_t aulaField = solucTable.fieldIndex(z::soluc::kAula);
    const std::size_t asigField = solucTable.fieldIndex(z::soluc::kAsig);
    const std::size_t tareaField = solucTable.fieldIndex(z::soluc::kTarea);

    // Lookup tables far larger than SOLUC (a small solution against a large centre)
    // are indexed only for the codes SOLUC holds; otherwise reading SOLUC once more
    // would cost more than it saves.
    const std::array<std::size_t, 4> lookupRows = { proftTable.recordCount(), grupostTable.recordCount(),
        aulatTable.recordCount(), asignomtTable.recordCount() };
    SolucLookups lookups;
    if (lookupRows[0] + lookupRows[1] + lookupRows[2] + lookupRows[3] > solucTable.recordCount()) {
        collectKeys(lookups, solucTable, { profField, grupoField, aulaField, asigField }, lookupRows);
    } else {
        lookups.teachers.wantAll();
        lookups.groups.wantAll();
        lookups.rooms.wantAll();
        lookups.subjects.wantAll();
    }

    // The lookups read their tables side by side, and SOLUC is looked at for half
    // hours meanwhile. Each job asks for its fields itself, so that a table without
    // one fails in its turn: the error is the one a run of these steps in this order
    // would meet first.
    Lookup<SlotValues> slots;
    bool halfHours = false;
    std::vector<Job> jobs;
    const auto reading = [&jobs](const DbfTable& table, std::function<void()> run) {
        jobs.push_back({ std::move(run), std::uint64_t(table.recordCount()) * table.recordLength() });
    };
    reading(proftTable, [&] {
        const std::size_t codi = proftTable.fieldIndex(z::proft::kCodi);
        fillLookup(lookups.teachers, proftTable, z::proft::kAbrev, { codi },
            [=](const DbfTable& t) { return t.text(codi); });
    });
    reading(aulatTable, [&] {
        const std::size_t codi = aulatTable.fieldIndex(z::aulat::kCodi);
        fillLookup(lookups.rooms, aulatTable, z::aulat::kAbrev, { codi },
            [=](const DbfTable& t) { return t.text(codi); });
    });
    reading(asignomtTable, [&] {
        const std::size_t codi = asignomtTable.fieldIndex(z::asignomt::kCodi);
        fillLookup(lookups.subjects, asignomtTable, z::asignomt::kCod, { codi },
            [=](const DbfTable& t) { return t.text(codi); });
    });
    reading(grupostTable, [&] {
        const std::size_t codi = grupostTable.fieldIndex(z::grupost::kCodi);
        const std::size_t codiCurs = grupostTable.fieldIndex(z::grupost::kCodiCurs);
        fillLookup(
            lookups.groups, grupostTable, z::grupost::kAbrev, { codiCurs, codi }, [=](const DbfTable& t) {
                return GroupValues { t.text(codiCurs), t.text(codi) };
            });
    });
    reading(diashorastTable, [&] {
        slots.wantAll();
        const std::size_t dia = diashorastTable.fieldIndex(z::diashorast::kDia);
        const std::size_t desde = diashorastTable.fieldIndex(z::diashorast::kHoraDesde);
        const std::size_t minutos = diashorastTable.fieldIndex(z::diashorast::kMinutos);
        slots.fill(diashorastTable, diashorastTable.fieldIndex(z::diashorast::kDiHo), [=](const DbfTable& t) {
            return SlotValues { t.text(dia), t.text(desde), t.text(minutos) };
        });
    });
    // One fractional HORA anywhere, in a row with a day or not, numbers every row by
    // half hours.
    reading(solucTable, [&] {
        for (solucTable.first(); !solucTable.eof() && !halfHours; solucTable.next())
            halfHours = hasFraction(horaField.number(solucTable));
    });
    runJobs(jobs, kParallelFromBytes);
    // The tables read since the lookups were made have pushed them out of the caches.
    volatile std::uint64_t readBack = lookups.teachers.bringIntoCache() + lookups.groups.bringIntoCache()
        + lookups.rooms.bringIntoCache() + lookups.subjects.bringIntoCache() + slots.bringIntoCache();
    (void)readBack;
    const Lookup<std::string>& teachers = lookups.teachers;
    const Lookup<std::string>& rooms = lookups.rooms;
    const Lookup<std::string>& subjects = lookups.subjects;
    const Lookup<GroupValues>& groups = lookups.groups;

    // Each session is written as its row is read: nothing grows with SOLUC but the
    // examples of codes not found.
    xml::XmlStreamWriter out(outputFile, io);
    out.startElement(gestib::kHorari);
    out.startElement(gestib::kSessions);
    const std::string empty;
    for (solucTable.first(); !solucTable.eof(); solucTable.next()) {
        const double dia = diaField.number(solucTable);
        if (std::trunc(dia) == 0 || !std::isfinite(dia)) {
            ++summary.rowsWithoutDay;
            continue;
        }
        // Views of the current row's fields, each valid until the next row is read.
        const std::string_view tarea = solucTable.textView(tareaField);
        const bool activity = !text::trimControls(tarea).empty();

        const std::string_view prof = solucTable.textView(profField);
        const std::string* placa = teachers.find(prof);
        if (!placa && !prof.empty())
            noteMiss(summary, warning::kTeacherNotFound, prof);

        // An activity's group, room and subject stay empty; their lookups are left
        // out rather than made and thrown away, so they never count as misses.
        const GroupValues* group = nullptr;
        if (!activity) {
            const std::string_view grupo = solucTable.textView(grupoField);
            group = groups.find(grupo);
            if (!group && !grupo.empty())
                noteMiss(summary, warning::kGroupNotFound, grupo);
        }

        const SlotValues* slot = nullptr;
        if (const auto hour = hourNumber(horaField.number(solucTable), halfHours)) {
            std::string key = diaField.keyText(solucTable, dia);
            key += NumberField::decimal(*hour);
            slot = slots.find(key);
            if (!slot)
                noteMiss(summary, warning::kSlotNotFound, key);
        } else {
            noteMiss(summary, warning::kSlotNotFound, solucTable.textView(horaField.index()));
        }

        const std::string* aula = nullptr;
        const std::string* materia = nullptr;
        if (!activity) {
            const std::string_view room = solucTable.textView(aulaField);
            aula = rooms.find(room);
            if (!aula && !room.empty())
                noteMiss(summary, warning::kRoomNotFound, room);
            const std::string_view asig = solucTable.textView(asigField);
            materia = subjects.find(asig);
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

    solucTable.close();
    grupostTable.close();
    proftTable.close();
    aulatTable.close();
    asignomtTable.close();
    diashorastTable.close();

    out.commit();
    return summary;
}

} // namespace tramazel::solution_export
