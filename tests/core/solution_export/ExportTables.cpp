// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExportTables.h"

#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <string_view>

namespace tramazel::test::exporting {

namespace z = tramazel::zelvano;
using dbf::DbfTable;

namespace {
template <std::size_t N>
void writeRows(const std::filesystem::path& dir, std::string_view table,
    const std::vector<dbf::FieldSpec>& fields, const std::vector<std::array<std::string, N>>& rows,
    const std::array<std::string_view, N>& names)
{
    DbfTable t = DbfTable::create(dir, table, fields);
    for (const auto& row : rows) {
        t.append();
        for (std::size_t i = 0; i < N; ++i)
            t.setText(names[i], row[i]);
        t.post();
    }
    t.close();
}
} // namespace

void writeCentre(const std::filesystem::path& dir, const Centre& centre)
{
    writeRows<2>(
        dir, z::proft::kTable, z::proft::fields(), centre.proft, { z::proft::kAbrev, z::proft::kCodi });
    writeRows<3>(dir, z::grupost::kTable, z::grupost::fields(), centre.grupost,
        { z::grupost::kAbrev, z::grupost::kCodi, z::grupost::kCodiCurs });
    writeRows<2>(
        dir, z::aulat::kTable, z::aulat::fields(), centre.aulat, { z::aulat::kAbrev, z::aulat::kCodi });
    writeRows<4>(dir, z::diashorast::kTable, z::diashorast::fields(), centre.diashorast,
        { z::diashorast::kDiHo, z::diashorast::kDia, z::diashorast::kHoraDesde, z::diashorast::kMinutos });

    DbfTable asignomt = DbfTable::create(dir, z::asignomt::kTable, z::asignomt::fields());
    for (bool activity : { false, true }) {
        for (const auto& row : activity ? centre.activities : centre.subjects) {
            asignomt.append();
            asignomt.setText(z::asignomt::kCod, row[0]);
            asignomt.setText(z::asignomt::kCodi, row[1]);
            asignomt.setText(z::asignomt::kHoras, "4");
            asignomt.setLogical(z::asignomt::kEsTarea, activity);
            asignomt.post();
        }
    }
    asignomt.close();
}

void writeSoluc(const std::filesystem::path& dir, const std::vector<SolucRow>& rows)
{
    DbfTable t = DbfTable::create(dir, z::soluc::kTable, z::soluc::fields());
    for (const auto& row : rows) {
        t.append();
        if (row.dia)
            t.setInteger(z::soluc::kDia, *row.dia);
        if (row.hora)
            t.setNumber(z::soluc::kHora, *row.hora);
        t.setText(z::soluc::kProf, row.prof);
        t.setText(z::soluc::kCodGrupo, row.grupo);
        t.setText(z::soluc::kAula, row.aula);
        t.setText(z::soluc::kAsig, row.asig);
        t.setText(z::soluc::kTarea, row.tarea);
        t.post();
    }
    t.close();
}

std::vector<Session> readSessions(const std::filesystem::path& file)
{
    static constexpr std::array<const char*, 9> kNames
        = { "placa", "curs", "grup", "dia", "hora", "durada", "aula", "materia", "activitat" };

    std::vector<Session> sessions;
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed
        = doc.load_file(file.c_str(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed) {
        ADD_FAILURE() << file << ": " << parsed.description();
        return sessions;
    }
    const pugi::xml_node root = doc.document_element();
    EXPECT_STREQ(root.name(), "HORARI");
    EXPECT_EQ(std::distance(root.begin(), root.end()), 1) << "HORARI must hold exactly one child";
    EXPECT_TRUE(root.attributes().empty());
    const pugi::xml_node list = root.first_child();
    EXPECT_STREQ(list.name(), "SESSIONS");
    EXPECT_TRUE(list.attributes().empty());
    for (const pugi::xml_node node : list.children()) {
        EXPECT_EQ(node.type(), pugi::node_element);
        EXPECT_STREQ(node.name(), "SESSIO");
        EXPECT_TRUE(node.first_child().empty()) << "SESSIO has no content";
        Session s;
        std::size_t i = 0;
        for (const pugi::xml_attribute a : node.attributes()) {
            if (i >= kNames.size()) {
                ADD_FAILURE() << "extra attribute " << a.name();
                break;
            }
            EXPECT_STREQ(a.name(), kNames[i]);
            s[i++] = a.value();
        }
        EXPECT_EQ(i, kNames.size()) << "SESSIO must carry all nine attributes";
        sessions.push_back(s);
    }
    return sessions;
}

} // namespace tramazel::test::exporting
