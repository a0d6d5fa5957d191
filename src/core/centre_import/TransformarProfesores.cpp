// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/Builders.h"

#include "ZelvanoTables.h"
#include "centre_import/CentreFormat.h"
#include "centre_import/CodeAllocator.h"
#include "centre_import/CodeRules.h"
#include "centre_import/TableHazards.h"
#include "dbf/DbfTable.h"
#include "dbf/RecordImage.h"
#include "xml/XmlDocument.h"

namespace tramazel::centre_import {

void TransformarProfesores(ImportContext& ctx)
{
    namespace t = zelvano::proft;
    using namespace gestib;

    dbf::DbfTable table = dbf::DbfTable::create(ctx.dir, t::kTable, t::fields());
    const std::size_t fAbrev = table.fieldIndex(t::kAbrev);
    const std::size_t fNombre = table.fieldIndex(t::kNombre);
    const std::size_t fCodi = table.fieldIndex(t::kCodi);

    TableHazards hazards(t::kTable, ctx.warnings);
    // DEPART and DNI stay blank.
    dbf::RecordImage record(table);
    // Unique as ABREV holds them: cut to its width, trailing blanks dropped.
    CodeAllocator abbreviationsInUse(static_cast<std::size_t>(t::kAbrevWidth));
    // Each attribute name is looked up once in the document, not once per element.
    const xml::XmlAttributeName attrCodi = ctx.doc.attributeName(kAttrCodi);
    const xml::XmlAttributeName attrDescripcio = ctx.doc.attributeName(kAttrDescripcio);
    const xml::XmlAttributeName attrCurta = ctx.doc.attributeName(kAttrCurta);
    std::string codiScratch, descriptionScratch, shortNameScratch;
    for (const xml::XmlElement& post : ctx.doc.select(kPathPlaca)) {
        const std::string_view codi = hazards.read(post, attrCodi, codiScratch);
        const std::string description
            = rules::teacherDescription(hazards.read(post, attrDescripcio, descriptionScratch));
        const std::string_view shortName = hazards.read(post, attrCurta, shortNameScratch);

        // A taken candidate is replaced by the lowest free "P<k>"; the short name
        // plays no part in the replacement.
        const std::string abbreviation
            = abbreviationsInUse.take(rules::teacherCandidate(shortName), rules::kTeacherReplacementBase);

        hazards.noteCut(t::kAbrev, abbreviation, t::kAbrevWidth);
        hazards.noteCut(t::kCodi, codi, t::kCodiWidth);
        hazards.noteKey(
            t::kAbrev, abbreviation, t::kAbrevWidth, warning::kDuplicateTeacherAbbreviation, codi);

        record.setText(fAbrev, abbreviation);
        record.setText(fNombre, description);
        record.setText(fCodi, codi);
        table.appendRecord(record);
    }

    table.close();
}

} // namespace tramazel::centre_import
