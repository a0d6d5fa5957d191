// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/Builders.h"

#include "ZelvanoTables.h"
#include "centre_import/CentreFormat.h"
#include "centre_import/CodeRules.h"
#include "centre_import/TableHazards.h"
#include "dbf/DbfTable.h"
#include "dbf/RecordImage.h"
#include "xml/XmlDocument.h"

namespace tramazel::centre_import {

void TransformarAulas(ImportContext& ctx)
{
    namespace t = zelvano::aulat;
    using namespace gestib;

    dbf::DbfTable table = dbf::DbfTable::create(ctx.dir, t::kTable, t::fields());
    const std::size_t fAbrev = table.fieldIndex(t::kAbrev);
    const std::size_t fNombre = table.fieldIndex(t::kNombre);
    const std::size_t fCodi = table.fieldIndex(t::kCodi);

    // Room abbreviations are not made unique: rooms whose codes end alike share one.
    TableHazards hazards(t::kTable, ctx.warnings);
    // EDIFICIO and MAXALUM stay blank.
    dbf::RecordImage record(table);
    // Each attribute name is looked up once in the document, not once per element.
    const xml::XmlAttributeName attrCodi = ctx.doc.attributeName(kAttrCodi);
    const xml::XmlAttributeName attrDescripcio = ctx.doc.attributeName(kAttrDescripcio);
    std::string codiScratch, descriptionScratch;
    for (const xml::XmlElement& room : ctx.doc.select(kPathAula)) {
        const std::string_view codi = hazards.read(room, attrCodi, codiScratch);
        const std::string_view description = hazards.read(room, attrDescripcio, descriptionScratch);
        const std::string_view abbreviation = rules::lastFour(codi);

        hazards.noteCut(t::kNombre, description, t::kNombreWidth);
        hazards.noteCut(t::kCodi, codi, t::kCodiWidth);
        hazards.noteKey(t::kAbrev, abbreviation, t::kAbrevWidth, warning::kSharedRoomAbbreviation, codi);

        record.setText(fAbrev, abbreviation);
        record.setText(fNombre, description);
        record.setText(fCodi, codi);
        table.appendRecord(record);
    }

    table.close();
}

} // namespace tramazel::centre_import
