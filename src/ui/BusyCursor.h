// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tramazel::ui {

/// The application's hourglass: one override cursor, pushed at most once and popped
/// on release or destruction, so that an error cannot leave the hourglass behind.
class BusyCursor {
public:
    BusyCursor() = default;
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    void acquire();
    void release();
    bool active() const noexcept { return m_active; }

private:
    bool m_active = false;
};

} // namespace tramazel::ui
