// SPDX-License-Identifier: GPL-3.0-or-later
#include "SyntheticCentre.h"

#include "xml/XmlDocument.h"

#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>

namespace tramazel::bench {

namespace fs = std::filesystem;

fs::path scratchDir(const char* name)
{
    fs::path dir = fs::temp_directory_path() / name;
    fs::create_directories(dir);
    return dir;
}

void generateCentre(int scale, const fs::path& file)
{
    const std::string command = std::string("python3 '") + TRAMAZEL_SOURCE_DIR
        + "/scripts/gen-centre' --scale " + std::to_string(scale) + " -o '" + file.string() + "'";
    if (std::system(command.c_str()) != 0) {
        std::cerr << "cannot generate " << file << "\n";
        std::exit(1);
    }
}

fs::path centreFile(const fs::path& dir, int scale)
{
    const fs::path file = dir / ("centre-" + std::to_string(scale) + ".xml");
    if (!fs::exists(file)) {
        // Written aside and renamed, so an interrupted run never leaves half a file.
        const fs::path part = file.string() + ".part";
        generateCentre(scale, part);
        fs::rename(part, file);
    }
    return file;
}

const xml::XmlDocument& loadedCentre(const fs::path& dir, int scale)
{
    static std::map<std::pair<fs::path, int>, std::unique_ptr<xml::XmlDocument>> docs;
    auto& doc = docs[{ dir, scale }];
    if (!doc)
        doc = std::make_unique<xml::XmlDocument>(xml::XmlDocument::load(centreFile(dir, scale)));
    return *doc;
}

} // namespace tramazel::bench
