// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/ImportReview.h"

#include "Error.h"
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace tramazel::centre_import {

namespace fs = std::filesystem;
namespace z = zelvano;

namespace {

// How a table's records are matched and named. Up to two fields each; an empty
// view ends the list.
struct TableRule {
    std::string_view table;
    std::array<std::string_view, 2> key;
    std::array<std::string_view, 2> name;
};

// The tables made from the centre file carry GestIB's code in CODI, unique per
// record; MATIB has no CODI and is indexed on its ABREV. ASIGT has no code of its
// own: a line is a subject taught to a group, so the pair is the closest key (a
// user may have split one pair into several lines; those are matched in order).
// DIASHORAST is Zelvano's, filled after the import; its DIHO names each slot.
constexpr std::array<TableRule, 8> kRules { {
    { z::asignomt::kTable, { z::asignomt::kCodi }, { z::asignomt::kNombre } },
    { z::proft::kTable, { z::proft::kCodi }, { z::proft::kNombre } },
    { z::aulat::kTable, { z::aulat::kCodi }, { z::aulat::kNombre } },
    { z::cursost::kTable, { z::cursost::kCodi }, { z::cursost::kDescripcio } },
    { z::grupost::kTable, { z::grupost::kCodi }, { z::grupost::kAbrev } },
    { z::matib::kTable, { z::matib::kAbrev }, { z::matib::kNombre } },
    { z::asigt::kTable, { z::asigt::kCAsig, z::asigt::kCGrup }, {} },
    { z::diashorast::kTable, { z::diashorast::kDiHo }, { z::diashorast::kTextoDia, z::diashorast::kHora } },
} };

// The tables whose records come from the centre file's elements: one left empty
// where it held records means the file brought none of that kind.
constexpr std::array<std::string_view, 6> kFromCentreFile = { z::asignomt::kTable, z::proft::kTable,
    z::aulat::kTable, z::cursost::kTable, z::grupost::kTable, z::matib::kTable };

constexpr char kKeySeparator = '\x1F';
constexpr std::uint32_t kNoRecord = std::numeric_limits<std::uint32_t>::max();

const TableRule* ruleFor(std::string_view table)
{
    for (const TableRule& rule : kRules) {
        if (rule.table == table)
            return &rule;
    }
    return nullptr;
}

// Which fields of one handle make a record's key, name and contents.
struct FieldPlan {
    std::vector<std::size_t> key;
    std::vector<std::size_t> name;
    // The new table's fields in its order; an old table lacking one reads it as empty.
    std::vector<std::optional<std::size_t>> contents;
};

// Null when `table` lacks one of the key's fields: its records cannot be matched.
std::optional<FieldPlan> planFor(const dbf::DbfTable& table, const std::vector<std::string>& keyFields,
    const std::vector<std::string>& nameFields, const std::vector<std::string>& contentFields)
{
    FieldPlan plan;
    for (const std::string& field : keyFields) {
        if (!table.hasField(field))
            return std::nullopt;
        plan.key.push_back(table.fieldIndex(field));
    }
    for (const std::string& field : nameFields) {
        if (table.hasField(field))
            plan.name.push_back(table.fieldIndex(field));
    }
    for (const std::string& field : contentFields) {
        plan.contents.push_back(
            table.hasField(field) ? std::optional<std::size_t>(table.fieldIndex(field)) : std::nullopt);
    }
    return plan;
}

std::string keyOf(const dbf::DbfTable& table, const FieldPlan& plan)
{
    std::string key;
    for (std::size_t i = 0; i < plan.key.size(); ++i) {
        if (i)
            key.push_back(kKeySeparator);
        key.append(table.textView(plan.key[i]));
    }
    return key;
}

// FNV-1a over every value and a separator after each: records compare by hash, so no
// table's contents are kept in memory.
std::uint64_t contentsHash(const dbf::DbfTable& table, const FieldPlan& plan)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    auto mix = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 0x100000001b3ULL;
    };
    for (const auto& field : plan.contents) {
        if (field) {
            for (const char c : table.textView(*field))
                mix(static_cast<unsigned char>(c));
        }
        mix(static_cast<unsigned char>(kKeySeparator));
    }
    return hash;
}

// The name a person knows the record by (cp1252): its name fields, or its key when
// they are blank.
std::string nameOf(const dbf::DbfTable& table, const FieldPlan& plan, std::string_view key)
{
    std::string name;
    for (const std::size_t field : plan.name) {
        const std::string_view value = table.textView(field);
        if (value.empty())
            continue;
        if (!name.empty())
            name.push_back(' ');
        name.append(value);
    }
    if (!name.empty())
        return name;
    name.assign(key);
    std::replace(name.begin(), name.end(), kKeySeparator, '/');
    return name;
}

void keepExample(std::vector<std::string>& names, std::string_view cp1252)
{
    if (names.size() < ImportReview::kExamplesPerList)
        names.push_back(text::cp1252ToUtf8(cp1252));
}

// The records of the directory's table, by key; several per key are chained in
// stored order.
struct OldRecords {
    struct Record {
        std::uint64_t hash = 0;
        std::string name;
        std::uint32_t next = kNoRecord;
        bool matched = false;
    };
    struct Chain {
        std::uint32_t first = kNoRecord;
        std::uint32_t last = kNoRecord;
    };
    std::vector<Record> records;
    std::unordered_map<std::string, Chain> byKey;

    void add(std::string key, std::uint64_t hash, std::string name)
    {
        const auto index = static_cast<std::uint32_t>(records.size());
        records.push_back({ hash, std::move(name), kNoRecord, false });
        Chain& chain = byKey[std::move(key)];
        if (chain.last == kNoRecord)
            chain.first = index;
        else
            records[chain.last].next = index;
        chain.last = index;
    }

    // The first record of `key` not matched yet, marked matched now; null when none.
    Record* take(const std::string& key)
    {
        const auto found = byKey.find(key);
        if (found == byKey.end())
            return nullptr;
        for (std::uint32_t i = found->second.first; i != kNoRecord; i = records[i].next) {
            if (!records[i].matched) {
                records[i].matched = true;
                return &records[i];
            }
        }
        return nullptr;
    }
};

std::vector<std::string> fieldNamesOf(const dbf::DbfTable& table)
{
    std::vector<std::string> names;
    for (const dbf::FieldInfo& field : table.fields())
        names.push_back(field.name);
    return names;
}

std::vector<std::string> listOf(const std::array<std::string_view, 2>& fields)
{
    std::vector<std::string> out;
    for (const std::string_view field : fields) {
        if (!field.empty())
            out.emplace_back(field);
    }
    return out;
}

ImportReview::TableChanges compareTable(
    const fs::path& liveDir, const fs::path& stagingDir, const std::string& name, const platform::IoHooks* io)
{
    ImportReview::TableChanges changes;
    changes.table = name;

    dbf::DbfTable staged = dbf::DbfTable::open(stagingDir, name, dbf::Access::Shared, io);
    const std::vector<std::string> contentFields = fieldNamesOf(staged);
    const TableRule* rule = ruleFor(name);
    // A table without a rule is matched on all its fields: added and removed only.
    const std::vector<std::string> keyFields = rule ? listOf(rule->key) : contentFields;
    const std::vector<std::string> nameFields = rule ? listOf(rule->name) : std::vector<std::string> {};
    for (std::size_t i = 0; i < keyFields.size(); ++i)
        changes.key += (i == 0 ? "" : i + 1 == keyFields.size() ? " y " : ", ") + keyFields[i];

    std::optional<dbf::DbfTable> live;
    try {
        live = dbf::DbfTable::open(liveDir, name, dbf::Access::Shared, io);
        changes.existed = true;
    } catch (const Error& e) {
        changes.existed = e.code() != ErrorCode::FileNotFound;
        changes.unreadable = changes.existed;
    }

    std::optional<FieldPlan> newPlan = planFor(staged, keyFields, nameFields, contentFields);
    std::optional<FieldPlan> oldPlan;
    if (live)
        oldPlan = planFor(*live, keyFields, nameFields, contentFields);
    if (!newPlan || (live && !oldPlan))
        changes.unreadable = changes.existed;

    OldRecords old;
    if (live) {
        try {
            for (live->first(); !live->eof(); live->next()) {
                ++changes.before;
                if (changes.unreadable)
                    continue;
                std::string key = keyOf(*live, *oldPlan);
                std::string recordName = nameOf(*live, *oldPlan, key);
                old.add(std::move(key), contentsHash(*live, *oldPlan), std::move(recordName));
            }
        } catch (const Error&) {
            // A table damaged past its header is replaced whole, as one that does not open.
            changes.unreadable = true;
            old = OldRecords {};
        }
    }

    std::string key;
    for (staged.first(); !staged.eof(); staged.next()) {
        ++changes.after;
        if (!changes.existed || changes.unreadable)
            continue;
        key = keyOf(staged, *newPlan);
        const OldRecords::Record* match = old.take(key);
        if (!match) {
            ++changes.added;
            keepExample(changes.addedNames, nameOf(staged, *newPlan, key));
        } else if (match->hash != contentsHash(staged, *newPlan)) {
            ++changes.changed;
            keepExample(changes.changedNames, nameOf(staged, *newPlan, key));
        }
    }
    if (changes.existed && !changes.unreadable) {
        for (const OldRecords::Record& record : old.records) {
            if (!record.matched) {
                ++changes.removed;
                keepExample(changes.removedNames, record.name);
            }
        }
    }
    return changes;
}

std::string counted(std::size_t n, std::string_view one, std::string_view many)
{
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string examplesLine(std::string_view label, std::size_t count, const std::vector<std::string>& names)
{
    std::string line = "  " + std::string(label) + ": ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i)
            line += ", ";
        line += names[i];
    }
    if (count > names.size())
        line += ", …";
    return line;
}

std::string tableLine(const ImportReview::TableChanges& t)
{
    const std::string records = counted(t.after, "registro", "registros");
    if (!t.existed)
        return t.table + ": tabla nueva, " + records;
    if (t.unreadable)
        return t.table + ": la tabla actual no se puede comparar y se sustituye entera (" + records + ")";
    const std::string head = t.table + " (por " + t.key + "): ";
    if (t.unchanged())
        return head + "sin cambios (" + records + ")";
    std::string parts;
    auto part = [&parts](std::size_t n, std::string_view one, std::string_view many) {
        if (n == 0)
            return;
        if (!parts.empty())
            parts += ", ";
        parts += counted(n, one, many);
    };
    part(t.added, "nuevo", "nuevos");
    part(t.removed, "quitado", "quitados");
    part(t.changed, "cambiado", "cambiados");
    if (t.before == t.after)
        return head + parts + " (" + records + ")";
    return head + parts + " (de " + std::to_string(t.before) + " a " + records + ")";
}

} // namespace

ImportReview ImportReview::compare(const fs::path& liveDir, const fs::path& stagingDir,
    std::span<const std::string> tables, const platform::IoHooks* io)
{
    ImportReview review;
    for (const std::string& table : tables)
        review.m_tables.push_back(compareTable(liveDir, stagingDir, table, io));
    return review;
}

bool ImportReview::firstImport() const noexcept
{
    return std::none_of(m_tables.begin(), m_tables.end(), [](const TableChanges& t) { return t.existed; });
}

std::vector<std::string> ImportReview::emptiedTables() const
{
    std::vector<std::string> out;
    for (const TableChanges& t : m_tables) {
        if (t.after == 0 && t.before > 0
            && std::find(kFromCentreFile.begin(), kFromCentreFile.end(), t.table) != kFromCentreFile.end())
            out.push_back(t.table + " (" + counted(t.before, "registro", "registros") + ")");
    }
    return out;
}

std::vector<std::string> ImportReview::lines() const
{
    std::vector<std::string> out;
    for (const TableChanges& t : m_tables)
        out.push_back(tableLine(t));
    return out;
}

std::vector<std::string> ImportReview::detailedLines() const
{
    std::vector<std::string> out;
    for (const TableChanges& t : m_tables) {
        out.push_back(tableLine(t));
        if (!t.addedNames.empty())
            out.push_back(examplesLine("nuevos", t.added, t.addedNames));
        if (!t.removedNames.empty())
            out.push_back(examplesLine("quitados", t.removed, t.removedNames));
        if (!t.changedNames.empty())
            out.push_back(examplesLine("cambiados", t.changed, t.changedNames));
    }
    return out;
}

} // namespace tramazel::centre_import
