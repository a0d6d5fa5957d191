// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tramazel::shell {

/// The text of the standard error box for an error `message` (UTF-8): the message
/// followed by a full stop when its last character sorts after "." (compared by code
/// point), so that "…válido" gets one and "…." or "…!" do not. Empty stays empty.
std::string errorBoxText(std::string_view message);

} // namespace tramazel::shell
