// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestIo.h"

#include <cstring>
#include <utility>

namespace tramazel::test {

namespace fs = std::filesystem;

FailingIo::FailingIo(std::uint64_t k, Mode mode)
    : m_failAt(k)
    , m_mode(mode)
{
    const platform::IoHooks& system = platform::systemIo();
    m_hooks.open = [this, &system](const fs::path& file, const char* how) {
        std::FILE* stream = system.open(file, how);
        if (stream && (std::strchr(how, 'w') || std::strchr(how, 'a') || std::strchr(how, '+'))) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_writable.insert(stream);
        }
        return stream;
    };
    m_hooks.write = [this, &system](std::FILE* stream, const void* data, std::size_t size) {
        return failNow() ? std::size_t { 0 } : system.write(stream, data, size);
    };
    m_hooks.flush = [this, &system](std::FILE* stream) { return failNow() ? EOF : system.flush(stream); };
    m_hooks.close = [this, &system](std::FILE* stream) {
        bool writable = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            writable = m_writable.erase(stream) > 0;
        }
        const bool fail = writable && failNow();
        const int closed = system.close(stream);
        return fail ? EOF : closed;
    };
}

bool FailingIo::failNow()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_count;
    if (m_failAt == 0 || m_count < m_failAt)
        return false;
    if (m_count == m_failAt) {
        m_fired = true;
        return true;
    }
    return m_mode == Mode::FromThenOn;
}

std::uint64_t FailingIo::operations() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

bool FailingIo::fired() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_fired;
}

DurableSteps::DurableSteps(fs::path base)
    : m_base(std::move(base))
{
    const platform::IoHooks& system = platform::systemIo();
    m_hooks.sync = [this, &system](const std::vector<fs::path>& files, const std::vector<fs::path>& folders) {
        system.sync(files, folders);
        for (const fs::path& file : files)
            m_steps.push_back("sync " + relative(file));
        for (const fs::path& folder : folders)
            m_steps.push_back("sync-folder " + relative(folder));
    };
    m_hooks.rename = [this, &system](const fs::path& from, const fs::path& to, const std::string& what) {
        system.rename(from, to, what);
        m_steps.push_back("rename " + relative(from) + " > " + relative(to));
    };
}

std::string DurableSteps::relative(const fs::path& p) const
{
    return p.lexically_relative(m_base).generic_string();
}

} // namespace tramazel::test
