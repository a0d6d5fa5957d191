// SPDX-License-Identifier: GPL-3.0-or-later
#include "solution_export/SolutionExport.h"

#include "Error.h"
#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "dbf/DbfFormat.h"
#include "dbf/DbfTable.h"
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
#include <unordered_set>
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
        const std::string stored = table.text(m_index);
        std::string_view s = text::trimControls(stored);
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

struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view> {}(s); }
};

/// The keys of one lookup table that SOLUC asks for; the others are never indexed.
/// Without a set of keys (none collected, or as many as the table has rows) every key
/// is indexed.
using WantedKeys = std::optional<std::unordered_set<std::string, KeyHash, std::equal_to<>>>;

/// Whether reading `fields` can fail: only a Character field reads as
/// text without a check of its contents.
bool readingCanFail(const DbfTable& table, std::initializer_list<std::size_t> fields)
{
    for (const std::size_t f : fields) {
        if (table.fields()[f].type != dbf::kTypeCharacter)
            return true;
    }
    return false;
}

template <typename Value, typename Read>
text::FirstMatchIndex<Value> buildIndex(DbfTable& table, std::string_view keyField,
    std::initializer_list<std::size_t> valueFields, const WantedKeys& wanted, Read read)
{
    // Codes repeat a lot in a large centre (four-character abbreviations), so the
    // index is left to grow with the distinct keys rather than sized by the rows:
    // a compact table stays in cache. A repeated key's values are never read.
    //
    // The values of a key SOLUC never asks for are not read either, unless reading
    // them could fail: then every key is indexed, so a damaged table fails the export
    // whatever SOLUC holds.
    const std::size_t key = table.fieldIndex(keyField);
    const WantedKeys& keys = readingCanFail(table, valueFields) ? WantedKeys() : wanted;
    text::FirstMatchIndex<Value> index;
    for (table.first(); !table.eof(); table.next()) {
        const std::string k = table.text(key);
        if (keys && !keys->count(k))
            continue;
        if (!index.find(k))
            index.add(k, read(table));
    }
    return index;
}

/// The codes SOLUC looks up, per lookup table: teachers, groups, rooms, subjects.
struct SolucKeys {
    WantedKeys teachers;
    WantedKeys groups;
    WantedKeys rooms;
    WantedKeys subjects;
};

/// Reads the codes of every SOLUC row (rows without a day and activities too: a few
/// keys more cost nothing). A set stops when it would be as large as its table. When a
/// field cannot be read, nothing is collected: the lookups then index every key, and
/// the failure is met again, in its place, when the sessions are written.
SolucKeys collectKeys(
    DbfTable& soluc, const std::array<std::size_t, 4>& fields, const std::array<std::size_t, 4>& tableRows)
{
    SolucKeys keys;
    std::array<WantedKeys*, 4> sets = { &keys.teachers, &keys.groups, &keys.rooms, &keys.subjects };
    for (WantedKeys* set : sets)
        set->emplace();
    try {
        for (soluc.first(); !soluc.eof(); soluc.next()) {
            for (std::size_t i = 0; i < sets.size(); ++i) {
                WantedKeys& set = *sets[i];
                if (!set)
                    continue;
                set->insert(soluc.text(fields[i]));
                if (set->size() >= tableRows[i])
                    set.reset();
            }
        }
    } catch (const Error&) {
        return {};
    }
    return keys;
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

ExportSummary exportSolution(const std::filesystem::path& qtempDir, const std::filesystem::path& outputFile)
{
    namespace z = zelvano;
    using dbf::Access;

    ExportSummary summary;

    // Every table is held for exclusive use until the sessions are written. On an error
    // the handles close themselves as the exception leaves this scope, and the writer
    // removes what it wrote.
    DbfTable solucTable = DbfTable::open(qtempDir, z::soluc::kTable, Access::Exclusive);
    DbfTable proftTable = DbfTable::open(qtempDir, z::proft::kTable, Access::Exclusive);
    DbfTable aulatTable = DbfTable::open(qtempDir, z::aulat::kTable, Access::Exclusive);
    DbfTable asignomtTable = DbfTable::open(qtempDir, z::asignomt::kTable, Access::Exclusive);
    DbfTable grupostTable = DbfTable::open(qtempDir, z::grupost::kTable, Access::Exclusive);
    DbfTable diashorastTable = DbfTable::open(qtempDir, z::diashorast::kTable, Access::Exclusive);
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
    SolucKeys wanted;
    if (lookupRows[0] + lookupRows[1] + lookupRows[2] + lookupRows[3] > solucTable.recordCount())
        wanted = collectKeys(solucTable, { profField, grupoField, aulaField, asigField }, lookupRows);

    // Lookups: the first row in stored order wins, exactly as a scan from the top would.
    const auto teachers = [&] {
        const std::size_t codi = proftTable.fieldIndex(z::proft::kCodi);
        return buildIndex<std::string>(proftTable, z::proft::kAbrev, { codi }, wanted.teachers,
            [codi](const DbfTable& t) { return t.text(codi); });
    }();
    const auto rooms = [&] {
        const std::size_t codi = aulatTable.fieldIndex(z::aulat::kCodi);
        return buildIndex<std::string>(aulatTable, z::aulat::kAbrev, { codi }, wanted.rooms,
            [codi](const DbfTable& t) { return t.text(codi); });
    }();
    const auto subjects = [&] {
        const std::size_t codi = asignomtTable.fieldIndex(z::asignomt::kCodi);
        return buildIndex<std::string>(asignomtTable, z::asignomt::kCod, { codi }, wanted.subjects,
            [codi](const DbfTable& t) { return t.text(codi); });
    }();
    const auto groups = [&] {
        const std::size_t codi = grupostTable.fieldIndex(z::grupost::kCodi);
        const std::size_t codiCurs = grupostTable.fieldIndex(z::grupost::kCodiCurs);
        return buildIndex<GroupValues>(
            grupostTable, z::grupost::kAbrev, { codiCurs, codi }, wanted.groups, [=](const DbfTable& t) {
                return GroupValues { t.text(codiCurs), t.text(codi) };
            });
    }();
    const auto slots = [&] {
        const std::size_t dia = diashorastTable.fieldIndex(z::diashorast::kDia);
        const std::size_t desde = diashorastTable.fieldIndex(z::diashorast::kHoraDesde);
        const std::size_t minutos = diashorastTable.fieldIndex(z::diashorast::kMinutos);
        return buildIndex<SlotValues>(
            diashorastTable, z::diashorast::kDiHo, { dia, desde, minutos }, {}, [=](const DbfTable& t) {
                return SlotValues { t.text(dia), t.text(desde), t.text(minutos) };
            });
    }();

    // One fractional HORA anywhere, in a row with a day or not, numbers every row by
    // half hours.
    bool halfHours = false;
    for (solucTable.first(); !solucTable.eof() && !halfHours; solucTable.next())
        halfHours = hasFraction(horaField.number(solucTable));

    // Each session is written as its row is read: nothing grows with SOLUC but the
    // examples of codes not found.
    xml::XmlStreamWriter out(outputFile);
    out.startElement(gestib::kHorari);
    out.startElement(gestib::kSessions);
    const std::string empty;
    for (solucTable.first(); !solucTable.eof(); solucTable.next()) {
        const double dia = diaField.number(solucTable);
        if (std::trunc(dia) == 0 || !std::isfinite(dia)) {
            ++summary.rowsWithoutDay;
            continue;
        }
        const std::string tarea = solucTable.text(tareaField);
        const bool activity = !text::trimControls(tarea).empty();

        const std::string prof = solucTable.text(profField);
        const std::string* placa = teachers.find(prof);
        if (!placa && !prof.empty())
            noteMiss(summary, warning::kTeacherNotFound, prof);

        // An activity's group, room and subject stay empty; their lookups are left
        // out rather than made and thrown away, so they never count as misses.
        const GroupValues* group = nullptr;
        if (!activity) {
            const std::string grupo = solucTable.text(grupoField);
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
            noteMiss(summary, warning::kSlotNotFound, solucTable.text(horaField.index()));
        }

        const std::string* aula = nullptr;
        const std::string* materia = nullptr;
        if (!activity) {
            const std::string room = solucTable.text(aulaField);
            aula = rooms.find(room);
            if (!aula && !room.empty())
                noteMiss(summary, warning::kRoomNotFound, room);
            const std::string asig = solucTable.text(asigField);
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
