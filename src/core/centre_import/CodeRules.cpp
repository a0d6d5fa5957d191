// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CodeRules.h"

namespace tramazel::centre_import::rules {

namespace {
bool isBaseSeparator(char c) noexcept
{
    return c == '.' || c == '-' || c == '_' || c == ':' || c == ' ';
}
} // namespace

std::string subjectLongCode(std::string_view name, std::string_view shortName)
{
    if (shortName.size() <= 8)
        return std::string(shortName);
    // A long short name is not shortened itself: the code comes from the name.
    std::string code(name.substr(0, 7));
    if (!name.empty())
        code += name.back();
    return code;
}

std::string subjectBaseCode(std::string_view longCode)
{
    std::string base(longCode.substr(0, 1));
    if (longCode.size() >= 2) {
        if (!isBaseSeparator(longCode[1]))
            base += longCode[1];
        else if (longCode.size() >= 3)
            base += longCode[2];
    }
    return base;
}

std::string_view activityLongCode(std::string_view shortName)
{
    return shortName.substr(0, 8);
}

std::string teacherDescription(std::string_view description)
{
    if (description.size() <= 40)
        return std::string(description);
    std::string result(description.substr(0, 35));
    result += description.substr(description.size() - 5);
    return result;
}

std::string_view teacherCandidate(std::string_view shortName)
{
    return shortName.substr(0, 4);
}

std::string_view lastFour(std::string_view code)
{
    return code.size() <= 4 ? code : code.substr(code.size() - 4);
}

} // namespace tramazel::centre_import::rules
