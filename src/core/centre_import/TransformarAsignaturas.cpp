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

namespace {
constexpr std::string_view kHoras = "4"; // every record, subject or activity
} // namespace

void TransformarAsignaturas(ImportContext& ctx)
{
    namespace t = zelvano::asignomt;
    using namespace gestib;

    dbf::DbfTable table = dbf::DbfTable::create(ctx.dir, t::kTable, t::fields());
    const std::size_t fCod = table.fieldIndex(t::kCod);
    const std::size_t fCodLargo = table.fieldIndex(t::kCodLargo);
    const std::size_t fNombre = table.fieldIndex(t::kNombre);
    const std::size_t fCodi = table.fieldIndex(t::kCodi);
    const std::size_t fHoras = table.fieldIndex(t::kHoras);
    const std::size_t fCodiCurs = table.fieldIndex(t::kCodiCurs);
    const std::size_t fEsTarea = table.fieldIndex(t::kEsTarea);

    TableHazards hazards(t::kTable, ctx.warnings);
    // HORAS is the same for every record; ESTAREA for every subject, then for every
    // activity.
    dbf::RecordImage record(table);
    record.setText(fHoras, kHoras);
    record.setLogical(fEsTarea, false);

    // Subjects first: their short codes are unique among subjects as COD holds them
    // (cut to its width, trailing blanks dropped, letter case ignored); activity
    // codes take no part in that.
    CodeAllocator codesInUse(static_cast<std::size_t>(t::kCodWidth));
    // Each attribute name is looked up once in the document, not once per element.
    const xml::XmlAttributeName attrCodi = ctx.doc.attributeName(kAttrCodi);
    const xml::XmlAttributeName attrCurs = ctx.doc.attributeName(kAttrCurs);
    const xml::XmlAttributeName attrDescripcio = ctx.doc.attributeName(kAttrDescripcio);
    const xml::XmlAttributeName attrCurta = ctx.doc.attributeName(kAttrCurta);
    std::string codiScratch, cursScratch, nameScratch, shortNameScratch;
    for (const xml::XmlElement& subject : ctx.doc.select(kPathMateria)) {
        const std::string_view codi = hazards.read(subject, attrCodi, codiScratch);
        const std::string_view curs = hazards.read(subject, attrCurs, cursScratch);
        const std::string_view name = hazards.read(subject, attrDescripcio, nameScratch);
        const std::string_view shortName = hazards.read(subject, attrCurta, shortNameScratch);

        const std::string longCode = rules::subjectLongCode(name, shortName);
        const std::string base = rules::subjectBaseCode(longCode);
        // The replacement keeps the subject's own base, in its own letter case.
        const std::string code = codesInUse.take(base, base);

        hazards.noteCut(t::kCod, code, t::kCodWidth);
        hazards.noteCut(t::kNombre, name, t::kNombreWidth);
        hazards.noteCut(t::kCodi, codi, t::kCodiWidth);
        hazards.noteCut(t::kCodiCurs, curs, t::kCodiCursWidth);
        hazards.noteKey(t::kCod, code, t::kCodWidth, warning::kDuplicateSubjectCode, codi);

        record.setText(fCod, code);
        record.setText(fCodLargo, longCode);
        record.setText(fNombre, name);
        record.setText(fCodi, codi);
        record.setText(fCodiCurs, curs);
        table.appendRecord(record);
    }

    record.setText(fCodiCurs, std::string_view {});
    record.setLogical(fEsTarea, true);

    for (const xml::XmlElement& activity : ctx.doc.select(kPathActivitat)) {
        const std::string_view codi = hazards.read(activity, attrCodi, codiScratch);
        const std::string_view name = hazards.read(activity, attrDescripcio, nameScratch);
        const std::string_view shortName = hazards.read(activity, attrCurta, shortNameScratch);

        // COD is the whole GestIB code: the field keeps its first four characters,
        // by design, so only the repeats that cut causes are worth a warning.
        hazards.noteCut(t::kNombre, name, t::kNombreWidth);
        hazards.noteCut(t::kCodi, codi, t::kCodiWidth);
        hazards.noteKey(t::kCod, codi, t::kCodWidth, warning::kDuplicateSubjectCode, codi);

        record.setText(fCod, codi);
        record.setText(fCodLargo, rules::activityLongCode(shortName));
        record.setText(fNombre, name);
        record.setText(fCodi, codi);
        table.appendRecord(record);
    }

    table.close();
}

} // namespace tramazel::centre_import
