// SPDX-License-Identifier: GPL-3.0-or-later
#include "Error.h"

namespace tramazel {

namespace {
std::string whatText(const std::string& message, const std::string& detail)
{
    return detail.empty() ? message : message + " (" + detail + ")";
}
} // namespace

Error::Error(ErrorCode code, std::string message, std::string detail, std::optional<TextPosition> position)
    : std::runtime_error(whatText(message, detail))
    , m_code(code)
    , m_message(std::move(message))
    , m_detail(std::move(detail))
    , m_position(position)
{
}

} // namespace tramazel
