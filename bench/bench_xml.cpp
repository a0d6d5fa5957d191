// SPDX-License-Identifier: GPL-3.0-or-later
// The XML service at the sizes the converter meets: a solution document of many
// SESSIO elements built and saved, and a large centre file loaded and walked. Each
// is set beside pugixml doing the same work directly, the floor for our adapter.
#include "xml/XmlDocument.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <array>
#include <filesystem>
#include <string>

using tramazel::xml::XmlDocument;
using tramazel::xml::XmlElement;

namespace {

constexpr std::array<const char*, 9> kAttributes
    = { "professor", "curs", "grup", "materia", "aula", "dia", "hora", "durada", "placa" };

std::filesystem::path scratchFile(const char* name)
{
    return std::filesystem::temp_directory_path() / name;
}

void BM_BuildAndSaveSolution(benchmark::State& state)
{
    const auto sessions = static_cast<int>(state.range(0));
    const auto file = scratchFile("tramazel_bench_solution.xml");
    for (auto _ : state) {
        XmlDocument doc;
        XmlElement list = doc.createRoot("HORARI").appendChild("SESSIONS");
        std::string value;
        for (int i = 0; i < sessions; ++i) {
            XmlElement s = list.appendChild("SESSIO");
            value = std::to_string(i);
            for (const char* name : kAttributes)
                s.setAttribute(name, value);
            s.setAttribute("materia", "Matem\xE0tiques"); // one non-ASCII value, set twice
        }
        doc.save(file);
    }
    std::filesystem::remove(file);
    state.SetItemsProcessed(state.iterations() * sessions);
}

void BM_BuildAndSaveSolutionPugixml(benchmark::State& state)
{
    const auto sessions = static_cast<int>(state.range(0));
    const auto file = scratchFile("tramazel_bench_solution_pugi.xml");
    for (auto _ : state) {
        pugi::xml_document doc;
        pugi::xml_node list = doc.append_child("HORARI").append_child("SESSIONS");
        std::string value;
        for (int i = 0; i < sessions; ++i) {
            pugi::xml_node s = list.append_child("SESSIO");
            value = std::to_string(i);
            for (const char* name : kAttributes)
                s.append_attribute(name).set_value(value.c_str());
            s.attribute("materia").set_value("Matem\xC3\xA0tiques");
        }
        doc.save_file(file.c_str(), "  ", pugi::format_indent, pugi::encoding_utf8);
    }
    std::filesystem::remove(file);
    state.SetItemsProcessed(state.iterations() * sessions);
}

// A centre file with `count` MATERIA elements, written once.
std::filesystem::path centreFile(int count)
{
    const auto file = scratchFile("tramazel_bench_centre.xml");
    XmlDocument doc;
    XmlElement materies = doc.createRoot("CENTRE").appendChild("MATERIES");
    std::string code, description;
    for (int i = 0; i < count; ++i) {
        XmlElement m = materies.appendChild("MATERIA");
        const std::string number = std::to_string(i);
        code.assign(1, ' ').append(number).push_back(' ');
        description.assign("Llengua catalana i literatura \xB7 ").append(number);
        m.setAttribute("codi", code);
        m.setAttribute("descripcio", description);
        m.setAttribute("curs", "1ESO");
    }
    doc.save(file);
    return file;
}

void BM_LoadAndReadCentre(benchmark::State& state)
{
    const auto count = static_cast<int>(state.range(0));
    const auto file = centreFile(count);
    for (auto _ : state) {
        const XmlDocument doc = XmlDocument::load(file);
        std::size_t bytes = 0;
        for (const XmlElement& m : doc.select("/CENTRE/MATERIES/MATERIA"))
            bytes
                += m.attribute("codi").size() + m.attribute("descripcio").size() + m.attribute("curs").size();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(file)));
    std::filesystem::remove(file);
}

// The same reads through the calls that build no list and copy no ASCII value.
void BM_LoadAndReadCentreViews(benchmark::State& state)
{
    const auto count = static_cast<int>(state.range(0));
    const auto file = centreFile(count);
    for (auto _ : state) {
        const XmlDocument doc = XmlDocument::load(file);
        std::size_t bytes = 0;
        std::string scratch;
        doc.root().firstChild("MATERIES").forEachChild("MATERIA", [&](const XmlElement& m) {
            bytes += m.attribute("codi", scratch).size() + m.attribute("descripcio", scratch).size()
                + m.attribute("curs", scratch).size();
        });
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(file)));
    std::filesystem::remove(file);
}

// The same reads by names looked up once per document.
void BM_LoadAndReadCentreLookedUp(benchmark::State& state)
{
    const auto count = static_cast<int>(state.range(0));
    const auto file = centreFile(count);
    for (auto _ : state) {
        const XmlDocument doc = XmlDocument::load(file);
        const auto codi = doc.attributeName("codi");
        const auto descripcio = doc.attributeName("descripcio");
        const auto curs = doc.attributeName("curs");
        std::size_t bytes = 0;
        std::string scratch;
        doc.root().firstChild("MATERIES").forEachChild("MATERIA", [&](const XmlElement& m) {
            bytes += m.attribute(codi, scratch).size() + m.attribute(descripcio, scratch).size()
                + m.attribute(curs, scratch).size();
        });
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(file)));
    std::filesystem::remove(file);
}

void BM_LoadAndReadCentrePugixml(benchmark::State& state)
{
    const auto count = static_cast<int>(state.range(0));
    const auto file = centreFile(count);
    for (auto _ : state) {
        pugi::xml_document doc;
        doc.load_file(file.c_str());
        std::size_t bytes = 0;
        for (pugi::xml_node m : doc.child("CENTRE").child("MATERIES").children("MATERIA"))
            bytes += std::string(m.attribute("codi").value()).size()
                + std::string(m.attribute("descripcio").value()).size()
                + std::string(m.attribute("curs").value()).size();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(file)));
    std::filesystem::remove(file);
}

} // namespace

BENCHMARK(BM_BuildAndSaveSolution)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildAndSaveSolutionPugixml)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndReadCentre)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndReadCentreViews)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndReadCentreLookedUp)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndReadCentrePugixml)->Arg(200000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
