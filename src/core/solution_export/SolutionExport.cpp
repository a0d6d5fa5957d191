// SPDX-License-Identifier: GPL-3.0-or-later
#include "solution_export/SolutionExport.h"

#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "dbf/DbfFormat.h"
#include "dbf/DbfTable.h"
#include "solution_export/SolutionFormat.h"
#include "text/Cp1252.h"
#include "text/FirstMatchIndex.h"
#include "text/PathText.h"
#include "xml/XmlDocument.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
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

/// One SOLUC row with a day, its lookups done: null where nothing was found or,
/// for an activity, where the value stays empty.
struct Resolved {
    const std::string* placa = nullptr;
    const GroupValues* group = nullptr;
    const SlotValues* slot = nullptr;
    const std::string* aula = nullptr;
    const std::string* materia = nullptr;
    std::string tarea;
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

template <typename Value, typename Read>
text::FirstMatchIndex<Value> buildIndex(DbfTable& table, std::string_view keyField, Read read)
{
    // Codes repeat a lot in a large centre (four-character abbreviations), so the
    // index is left to grow with the distinct keys rather than sized by the rows:
    // a compact table stays in cache. A repeated key's values are never read.
    const std::size_t key = table.fieldIndex(keyField);
    text::FirstMatchIndex<Value> index;
    for (table.first(); !table.eof(); table.next()) {
        const std::string k = table.text(key);
        if (!index.find(k))
            index.add(k, read(table));
    }
    return index;
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

ExportSummary exportSolution(
    const std::filesystem::path& qtempDir, const std::filesystem::path& outputFile, xml::XmlDocument& doc)
{
    namespace z = zelvano;
    using dbf::Access;

    ExportSummary summary;

    // The skeleton, built and found again through paths the way the document service
    // is used elsewhere.
    doc = xml::XmlDocument();
    doc.createRoot(gestib::kHorari);
    doc.selectSingle(gestib::kPathHorari).appendChild(gestib::kSessions);
    xml::XmlElement sessions = doc.selectSingle(gestib::kPathSessions);

    // Every table is held for exclusive use until the sessions are built. On an error
    // the handles close themselves as the exception leaves this scope.
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

    // Lookups: the first row in stored order wins, exactly as a scan from the top would.
    const auto teachers = [&] {
        const std::size_t codi = proftTable.fieldIndex(z::proft::kCodi);
        return buildIndex<std::string>(
            proftTable, z::proft::kAbrev, [codi](const DbfTable& t) { return t.text(codi); });
    }();
    const auto rooms = [&] {
        const std::size_t codi = aulatTable.fieldIndex(z::aulat::kCodi);
        return buildIndex<std::string>(
            aulatTable, z::aulat::kAbrev, [codi](const DbfTable& t) { return t.text(codi); });
    }();
    const auto subjects = [&] {
        const std::size_t codi = asignomtTable.fieldIndex(z::asignomt::kCodi);
        return buildIndex<std::string>(
            asignomtTable, z::asignomt::kCod, [codi](const DbfTable& t) { return t.text(codi); });
    }();
    const auto groups = [&] {
        const std::size_t codi = grupostTable.fieldIndex(z::grupost::kCodi);
        const std::size_t codiCurs = grupostTable.fieldIndex(z::grupost::kCodiCurs);
        return buildIndex<GroupValues>(grupostTable, z::grupost::kAbrev, [=](const DbfTable& t) {
            return GroupValues { t.text(codiCurs), t.text(codi) };
        });
    }();
    const auto slots = [&] {
        const std::size_t dia = diashorastTable.fieldIndex(z::diashorast::kDia);
        const std::size_t desde = diashorastTable.fieldIndex(z::diashorast::kHoraDesde);
        const std::size_t minutos = diashorastTable.fieldIndex(z::diashorast::kMinutos);
        return buildIndex<SlotValues>(diashorastTable, z::diashorast::kDiHo, [=](const DbfTable& t) {
            return SlotValues { t.text(dia), t.text(desde), t.text(minutos) };
        });
    }();

    const NumberField diaField(solucTable, z::soluc::kDia);
    const NumberField horaField(solucTable, z::soluc::kHora);
    const std::size_t profField = solucTable.fieldIndex(z::soluc::kProf);
    const std::size_t grupoField = solucTable.fieldIndex(z::soluc::kCodGrupo);
    const std::size_t aulaField = solucTable.fieldIndex(z::soluc::kAula);
    const std::size_t asigField = solucTable.fieldIndex(z::soluc::kAsig);
    const std::size_t tareaField = solucTable.fieldIndex(z::soluc::kTarea);

    // One fractional HORA anywhere, in a row with a day or not, numbers every row by
    // half hours.
    bool halfHours = false;
    for (solucTable.first(); !solucTable.eof() && !halfHours; solucTable.next())
        halfHours = hasFraction(horaField.number(solucTable));

    // Every row is resolved before the first element is built: the lookups then run
    // while the indexes are still in cache, rather than between the allocations of a
    // document that grows by hundreds of megabytes.
    std::vector<Resolved> resolved;
    resolved.reserve(solucTable.recordCount());
    for (solucTable.first(); !solucTable.eof(); solucTable.next()) {
        const double dia = diaField.number(solucTable);
        if (std::trunc(dia) == 0 || !std::isfinite(dia)) {
            ++summary.rowsWithoutDay;
            continue;
        }
        Resolved& r = resolved.emplace_back();
        r.tarea = solucTable.text(tareaField);
        const bool activity = !text::trimControls(r.tarea).empty();

        const std::string prof = solucTable.text(profField);
        r.placa = teachers.find(prof);
        if (!r.placa && !prof.empty())
            noteMiss(summary, warning::kTeacherNotFound, prof);

        // An activity's group, room and subject stay empty; their lookups are left
        // out rather than made and thrown away, so they never count as misses.
        if (!activity) {
            const std::string grupo = solucTable.text(grupoField);
            r.group = groups.find(grupo);
            if (!r.group && !grupo.empty())
                noteMiss(summary, warning::kGroupNotFound, grupo);
        }

        if (const auto hour = hourNumber(horaField.number(solucTable), halfHours)) {
            std::string key = diaField.keyText(solucTable, dia);
            key += NumberField::decimal(*hour);
            r.slot = slots.find(key);
            if (!r.slot)
                noteMiss(summary, warning::kSlotNotFound, key);
        } else {
            noteMiss(summary, warning::kSlotNotFound, solucTable.text(horaField.index()));
        }

        if (!activity) {
            const std::string room = solucTable.text(aulaField);
            r.aula = rooms.find(room);
            if (!r.aula && !room.empty())
                noteMiss(summary, warning::kRoomNotFound, room);
            const std::string asig = solucTable.text(asigField);
            r.materia = subjects.find(asig);
            if (!r.materia && !asig.empty())
                noteMiss(summary, warning::kSubjectNotFound, asig);
        }
    }

    // The nine attributes in their order; what a lookup did not find stays empty. Each
    // element is fresh, so the attributes are appended without looking for a namesake.
    const std::string empty;
    for (const Resolved& r : resolved) {
        xml::XmlElement sessio = sessions.appendChild(gestib::kSessio);
        sessio.appendAttribute(gestib::kPlaca, r.placa ? *r.placa : empty);
        sessio.appendAttribute(gestib::kCurs, r.group ? r.group->curs : empty);
        sessio.appendAttribute(gestib::kGrup, r.group ? r.group->grup : empty);
        sessio.appendAttribute(gestib::kDia, r.slot ? r.slot->dia : empty);
        sessio.appendAttribute(gestib::kHora, r.slot ? r.slot->horaDesde : empty);
        sessio.appendAttribute(gestib::kDurada, r.slot ? r.slot->minutos : empty);
        sessio.appendAttribute(gestib::kAula, r.aula ? *r.aula : empty);
        sessio.appendAttribute(gestib::kMateria, r.materia ? *r.materia : empty);
        sessio.appendAttribute(gestib::kActivitat, r.tarea);
    }
    summary.sessions = resolved.size();
    resolved = {};

    solucTable.close();
    grupostTable.close();
    proftTable.close();
    aulatTable.close();
    asignomtTable.close();
    diashorastTable.close();

    doc.save(outputFile);
    return summary;
}

} // namespace tramazel::solution_export
