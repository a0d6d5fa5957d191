// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dbf/DbfFormat.h"
#include "dbf/DbfTable.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

namespace tramazel::centre_import {

/// Calls `visit` with the values of `fields` of every live record of `table`, in
/// record order, as an array of texts: a text field as DbfTable::textView() gives it,
/// a logical field as "T" when DbfTable::logical() is true and "" otherwise. The
/// texts last until `visit` returns. When every field reads as stored, the values
/// are taken from the bytes where the table reads them, without moving the handle
/// record by record; the handle is at eof afterwards either way.
template <std::size_t N, typename Visit>
void forEachRecord(dbf::DbfTable& table, const std::array<std::size_t, N>& fields, Visit&& visit)
{
    std::array<bool, N> logical {};
    for (std::size_t i = 0; i < N; ++i)
        logical[i] = table.fields().at(fields[i]).type == dbf::kTypeLogical;
    std::array<std::string_view, N> values;
    const bool stored = std::all_of(fields.begin(), fields.end(), [&](std::size_t f) {
        const dbf::FieldInfo& info = table.fields()[f];
        return info.type == dbf::kTypeLogical ? info.width == 1 : table.readsAsStored(f);
    });
    if (stored) {
        std::array<dbf::StoredField, N> at;
        for (std::size_t i = 0; i < N; ++i)
            at[i] = table.storedField(fields[i]);
        auto each = [&](const char* record) {
            for (std::size_t i = 0; i < N; ++i) {
                if (!logical[i]) {
                    values[i] = at[i].text(record);
                    continue;
                }
                values[i] = dbf::isTrueMark(record[at[i].offset]) ? "T" : "";
            }
            visit(std::as_const(values));
            return false;
        };
        table.skimTo(true, each);
        return;
    }
    for (table.first(); !table.eof(); table.next()) {
        for (std::size_t i = 0; i < N; ++i)
            values[i] = logical[i] ? (table.logical(fields[i]) ? "T" : "") : table.textView(fields[i]);
        visit(std::as_const(values));
    }
}

} // namespace tramazel::centre_import
