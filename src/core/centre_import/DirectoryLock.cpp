// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/DirectoryLock.h"

#include "Error.h"
#include "platform/Platform.h"
#include "text/PathText.h"

#include <system_error>
#include <utility>

namespace tramazel::centre_import {

namespace fs = std::filesystem;

DirectoryLock::DirectoryLock(std::unique_ptr<platform::FileLock> lock, Use use)
    : m_lock(std::move(lock))
    , m_use(use)
{
}

DirectoryLock::DirectoryLock(DirectoryLock&&) noexcept = default;
DirectoryLock& DirectoryLock::operator=(DirectoryLock&&) noexcept = default;
DirectoryLock::~DirectoryLock() = default;

std::optional<DirectoryLock> DirectoryLock::tryTake(const fs::path& dir, Use use)
{
    auto lock = platform::FileLock::tryLock(dir / text::pathFromUtf8(kLockFileName),
        use == Use::Change ? platform::FileLock::Mode::Exclusive : platform::FileLock::Mode::Shared,
        platform::FileLock::Missing::Create);
    if (!lock)
        return std::nullopt;
    return DirectoryLock(std::move(lock), use);
}

DirectoryLock DirectoryLock::take(const fs::path& dir, Use use)
{
    if (auto lock = tryTake(dir, use))
        return std::move(*lock);
    throw busy(dir, use);
}

void DirectoryLock::requireFree(const fs::path& dir)
{
    const fs::path file = dir / text::pathFromUtf8(kLockFileName);
    std::error_code ec;
    if (!fs::exists(file, ec))
        return;
    if (!platform::FileLock::tryLock(file, platform::FileLock::Mode::Exclusive))
        throw busy(dir, Use::Change);
}

Error DirectoryLock::busy(const fs::path& dir, Use use)
{
    // Only a run that changes the directory keeps a reader out; a reader keeps out
    // those that change it.
    const std::string others = use == Use::Read ? "Otra importación" : "Otra importación o exportación";
    return Error(ErrorCode::TableLocked,
        others + " está en curso en el directorio de horarios " + text::pathToUtf8(dir)
            + "; espere a que termine.",
        text::pathToUtf8(dir / text::pathFromUtf8(kLockFileName)));
}

} // namespace tramazel::centre_import
