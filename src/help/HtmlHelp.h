// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

class QWidget;

namespace tramazel::help {

/// The commands of the HTML Help call, with their traditional codes.
enum class HtmlHelpCommand : std::uint32_t {
    DisplayTopic = 0, ///< file is "help.chm::/topic.htm"
    DisplayToc = 1,
    DisplayIndex = 2, ///< text: the keyword
    HelpContext = 15, ///< number: the context
    CloseAll = 18, ///< no window, no file
};

/// The data of one call: a keyword for DisplayIndex, a context number for HelpContext.
struct HtmlHelpData {
    QString text;
    std::uint32_t number = 0;
};

/// What shows compiled help files on behalf of ChmHelpViewer, one call per request:
/// OpenHelpWindows in the application, a recorder in tests.
class HtmlHelp {
public:
    virtual ~HtmlHelp() = default;
    virtual void call(QWidget* owner, const QString& file, HtmlHelpCommand command, const HtmlHelpData& data)
        = 0;
};

} // namespace tramazel::help
