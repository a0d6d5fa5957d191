// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace tramazel::shell {

/// The text of the standard error box for an error `message` (UTF-8): the message
/// followed by a full stop when its last character sorts after "." (compared by code
/// point), so that "…válido" gets one and "…." or "…!" do not. Empty stays empty.
std::string errorBoxText(std::string_view message);

/// The error box text of a failure caught by a front end: an Error's message, the
/// out-of-memory text, or "Error inesperado" (with what() when there is one), each
/// through errorBoxText(). `failure` must not be null.
std::string errorBoxTextOf(const std::exception_ptr& failure);

} // namespace tramazel::shell
