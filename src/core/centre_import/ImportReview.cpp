// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/ImportReview.h"

#include "Error.h"
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"

#include <algorithm>
#include <array>
#include <bit>
#include <functional>
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

// Records compare by a hash of their contents, so no table's contents are kept in
// memory, and keys are found by a hash of their bytes. These hashes never leave the
// run, so the standard library's serves (and takes several bytes at a step, where a
// byte-by-byte hash cost more than reading the tables).
static_assert(sizeof(std::size_t) == sizeof(std::uint64_t), "a contents hash needs 64 bits");
std::uint64_t hashOf(std::string_view bytes) noexcept
{
    return std::hash<std::string_view> {}(bytes);
}

// The current record's key, in `key` (reused from record to record: no allocation
// once it has grown to the longest key).
void readKey(const dbf::DbfTable& table, const FieldPlan& plan, std::string& key)
{
    key.clear();
    for (std::size_t i = 0; i < plan.key.size(); ++i) {
        if (i)
            key.push_back(kKeySeparator);
        key.append(table.textView(plan.key[i]));
    }
}

// Every value's hash folded in its place (a field the table lacks reads as empty).
std::uint64_t contentsHash(const dbf::DbfTable& table, const FieldPlan& plan)
{
    std::uint64_t hash = 0;
    for (const auto& field : plan.contents)
        hash = hash * 0x9e3779b97f4a7c15ULL + hashOf(field ? table.textView(*field) : std::string_view());
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

// Names are made only for the records a list shows: a big table's thousands of
// changes cost no text each.
bool wantsExample(const std::vector<std::string>& names)
{
    return names.size() < ImportReview::kExamplesPerList;
}

// The records of the directory's table in stored order (a record's place among the
// table's live records is its index), found by key. Each distinct key is kept once,
// in one buffer, and found through an open-addressing table of its chain; a key's
// records are chained in stored order, and a chain remembers the first record not yet
// matched, so matching costs the same however many records share a key. Names are
// not kept: the few shown are read again at the end.
class OldRecords {
public:
    struct Record {
        std::uint64_t hash = 0;
        std::uint32_t next = kNoRecord;
        bool matched = false;
    };

    explicit OldRecords(std::size_t expected)
    {
        m_records.reserve(expected);
        m_chains.reserve(expected);
        m_slots.assign(std::bit_ceil(std::max<std::size_t>(16, 2 * expected)), kNoRecord);
    }

    void add(std::string_view key, std::uint64_t hash)
    {
        const auto index = static_cast<std::uint32_t>(m_records.size());
        m_records.push_back({ hash, kNoRecord, false });
        const std::uint64_t keyHash = hashOf(key);
        std::uint32_t& slot = slotFor(key, keyHash);
        if (slot != kNoRecord) {
            Chain& chain = m_chains[slot];
            m_records[chain.last].next = index;
            chain.last = index;
            return;
        }
        slot = static_cast<std::uint32_t>(m_chains.size());
        m_chains.push_back({ keyHash, m_keys.size(), key.size(), index, index });
        m_keys.append(key);
        // Half full at most, so a search meets an empty slot soon.
        if (2 * m_chains.size() > m_slots.size())
            grow();
    }

    // The first record of `key` not matched yet, marked matched now; null when none.
    const Record* take(std::string_view key)
    {
        const std::uint32_t slot = slotFor(key, hashOf(key));
        if (slot == kNoRecord)
            return nullptr;
        Chain& chain = m_chains[slot];
        if (chain.pending == kNoRecord)
            return nullptr;
        Record& record = m_records[chain.pending];
        record.matched = true;
        chain.pending = record.next;
        return &record;
    }

    const std::vector<Record>& records() const noexcept { return m_records; }

private:
    struct Chain {
        std::uint64_t keyHash = 0;
        std::size_t keyOffset = 0; ///< in m_keys
        std::size_t keyLength = 0;
        std::uint32_t last = kNoRecord;
        std::uint32_t pending = kNoRecord; ///< the first record not matched yet
    };

    std::string_view keyOf(const Chain& chain) const noexcept
    {
        return std::string_view(m_keys).substr(chain.keyOffset, chain.keyLength);
    }

    // The slot holding the chain of `key`, or the empty slot where it would go.
    std::uint32_t& slotFor(std::string_view key, std::uint64_t keyHash)
    {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = keyHash & mask;; i = (i + 1) & mask) {
            std::uint32_t& slot = m_slots[i];
            if (slot == kNoRecord || (m_chains[slot].keyHash == keyHash && keyOf(m_chains[slot]) == key))
                return slot;
        }
    }

    void grow()
    {
        m_slots.assign(2 * m_slots.size(), kNoRecord);
        for (std::size_t i = 0; i < m_chains.size(); ++i)
            slotFor(keyOf(m_chains[i]), m_chains[i].keyHash) = static_cast<std::uint32_t>(i);
    }

    std::vector<Record> m_records;
    std::vector<Chain> m_chains;
    std::string m_keys;
    std::vector<std::uint32_t> m_slots; ///< chain indexes; kNoRecord for an empty slot
};

// The names of the records at `places` (ascending places among the table's live
// records), read again: a pass that skips the records before each without decoding them.
std::vector<std::string> namesAt(
    dbf::DbfTable& table, const FieldPlan& plan, const std::vector<std::uint32_t>& places)
{
    std::vector<std::string> names;
    std::uint32_t place = 0; // of the next live record the pass looks at
    std::uint32_t wanted = 0;
    auto isWanted = [&place, &wanted](const char*) { return place++ == wanted; };
    std::string key;
    for (const std::uint32_t p : places) {
        wanted = p;
        if (!table.skimTo(names.empty(), isWanted))
            break;
        readKey(table, plan, key);
        names.push_back(text::cp1252ToUtf8(nameOf(table, plan, key)));
    }
    return names;
}

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

    OldRecords old(live && !changes.unreadable ? live->recordCount() : 0);
    std::string key;
    if (live) {
        try {
            for (live->first(); !live->eof(); live->next()) {
                ++changes.before;
                if (changes.unreadable)
                    continue;
                readKey(*live, *oldPlan, key);
                old.add(key, contentsHash(*live, *oldPlan));
            }
        } catch (const Error&) {
            // A table damaged past its header is replaced whole, as one that does not open.
            changes.unreadable = true;
            old = OldRecords(0);
        }
    }

    for (staged.first(); !staged.eof(); staged.next()) {
        ++changes.after;
        if (!changes.existed || changes.unreadable)
            continue;
        readKey(staged, *newPlan, key);
        const OldRecords::Record* match = old.take(key);
        if (!match) {
            ++changes.added;
            if (wantsExample(changes.addedNames))
                changes.addedNames.push_back(text::cp1252ToUtf8(nameOf(staged, *newPlan, key)));
        } else if (match->hash != contentsHash(staged, *newPlan)) {
            ++changes.changed;
            if (wantsExample(changes.changedNames))
                changes.changedNames.push_back(text::cp1252ToUtf8(nameOf(staged, *newPlan, key)));
        }
    }
    if (!changes.existed || changes.unreadable)
        return changes;

    std::vector<std::uint32_t> removedPlaces;
    for (std::size_t i = 0; i < old.records().size(); ++i) {
        if (!old.records()[i].matched) {
            ++changes.removed;
            if (removedPlaces.size() < ImportReview::kExamplesPerList)
                removedPlaces.push_back(static_cast<std::uint32_t>(i));
        }
    }
    if (!removedPlaces.empty()) {
        try {
            changes.removedNames = namesAt(*live, *oldPlan, removedPlaces);
        } catch (const Error&) {
            // Read whole a moment ago; failing now, it is treated as one that failed then.
            changes.unreadable = true;
            changes.added = changes.removed = changes.changed = 0;
            changes.addedNames.clear();
            changes.changedNames.clear();
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
