// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/GroupsInSubjectName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tramazel::centre_import {
namespace {

using Names = std::vector<std::string>;

const Names kAtoE { "A", "B", "C", "D", "E" };

struct Case {
    const char* description;
    Names groups;
    Names expected; ///< empty: every group of the course
};

TEST(GroupsInSubjectName, FindsTheGroupsASubjectNameDesignates)
{
    const Case cases[] = {
        // The suffixes GestIB writes.
        { "Atenció educativa-A", kAtoE, { "A" } },
        { "Matemàtiques-AB", kAtoE, { "A", "B" } },
        { "Cultura clàssica I-ACE", kAtoE, { "A", "C", "E" } },
        { "Entorns digitals i multimèdia-ACE1", kAtoE, { "A", "C", "E" } },
        { "Biologia i geologia - A-1E", kAtoE, { "A" } },
        { "Atenció educativa-A-1E-1E", kAtoE, { "A" } },
        // No suffix, or none that names a group of the course: every group.
        { "Matemàtiques", kAtoE, {} },
        { "Atenció educativa-F", kAtoE, {} },
        { "Música-G", kAtoE, {} },
        { "Tecnologia-a", kAtoE, {} },
        { "Física i química-", kAtoE, {} },
        { "Tecnologia", {}, {} },
        // The first segment is the name itself, never a group.
        { "AB", kAtoE, {} },
        { "A-Música", kAtoE, {} },
        // Backwards from the last segment: the first that designates wins.
        { "Física i química-X-B", kAtoE, { "B" } },
        { "Llengua-A-B", kAtoE, { "B" } },
        // Blanks around segments; letters given twice or out of order.
        { "Biologia -  B  ", kAtoE, { "B" } },
        { "Matemàtiques-EAA", kAtoE, { "A", "E" } },
        // Digits: only trailing ones are dropped, and digits alone designate nothing.
        { "Llatí-B2", kAtoE, { "B" } },
        { "Matemàtiques II-2", kAtoE, {} },
        { "Tutoria-1A", kAtoE, {} },
        { "Reforç-12", { "1", "2", "3" }, {} },
        { "Reforç-2", { "1", "2", "3" }, { "2" } },
        // Longer group names: only a segment equal to a name counts.
        { "Tutoria-1B", { "1A", "1B", "2A" }, { "1B" } },
        { "Tutoria-AB", { "1A", "1B", "AB", "A", "B" }, { "AB" } },
        { "Tutoria-AB1", { "A", "B", "BX" }, {} },
        { "Dibuix-PMAR-A", { "PMAR", "A" }, { "A" } },
        { "Dibuix-PMAR", { "PMAR", "A" }, { "PMAR" } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, groupsNamedInSubject(c.description, c.groups)) << c.description;
}

} // namespace
} // namespace tramazel::centre_import
