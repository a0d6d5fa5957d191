// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#ifndef _WIN32

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

/// Another program (python3) that has files open and, when asked, tries to lock them
/// in every way programs lock files on Linux, as one about to write them would.
namespace tramazel::test {

class LockingProgram {
public:
    /// Starts the program, which opens each of `files` for reading and writing and
    /// keeps them open (the same files whatever later renames them). Returns once
    /// they are open.
    explicit LockingProgram(const std::vector<std::filesystem::path>& files);
    ~LockingProgram();
    LockingProgram(const LockingProgram&) = delete;
    LockingProgram& operator=(const LockingProgram&) = delete;

    /// Tries, without waiting, each kind of lock on each file, through the
    /// descriptors opened at the start, and lets go of each one got at once. Returns
    /// "NAME KIND" (file name as given) for each lock got, in order of files then
    /// kinds: "flock" (flock LOCK_EX), "ofd" (open-file-description write lock on the
    /// whole file), "posix" (classic fcntl write lock on the whole file), "head"
    /// (fcntl write lock on bytes 0–999, which is how a Windows program's
    /// LockFileEx under Wine looks from Linux).
    std::vector<std::string> lockable();

    /// Takes the lock `kind` (one of lockable()'s kinds) on every file and keeps it until
    /// release(); returns once it is held. Throws std::runtime_error when refused.
    void hold(const std::string& kind);
    /// Lets go of what hold() took; returns once it is let go.
    void release();

    /// Every "NAME KIND" lockable() gives for files nobody else locks.
    static std::vector<std::string> allKinds(const std::vector<std::string>& names);

private:
    std::string readLine();
    void ask(const std::string& command, const std::string& answer);

    pid_t m_pid = -1;
    int m_toProgram = -1;
    int m_fromProgram = -1;
    std::string m_pending;
};

} // namespace tramazel::test

#endif
