// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"
#include "centre_import/ImportContext.h"
#include "xml/XmlDocument.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::centre_import::test {

/// Prompts for builders that never prompt: any call fails the test.
class NoPrompts : public ImportPrompts {
public:
    void editCourseLevels(CourseLevelGrid&) override;
    bool askQuestion(std::string_view, std::string_view) override;
};

/// Runs `builder` over the centre document `xmlUtf8` with its tables in `dir`.
void runBuilder(void (*builder)(ImportContext&), std::string_view xmlUtf8, const std::filesystem::path& dir,
    Warnings& warnings);

/// One record as texts, in field order: a text field as stored without padding
/// blanks (cp1252), a logical field as "T" or "F", a blank field of any kind as "".
using Row = std::vector<std::string>;

/// Every live record of a table, in stored order.
std::vector<Row> readRows(const std::filesystem::path& dir, std::string_view table);

/// The layout of a table as "NAME:type:width", in field order.
std::vector<std::string> readLayout(const std::filesystem::path& dir, std::string_view table);

} // namespace tramazel::centre_import::test
