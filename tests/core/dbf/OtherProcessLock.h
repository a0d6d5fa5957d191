// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace tramazel::test {

/// The kinds of lock another program may hold on a file.
enum class ForeignLock {
    FlockExclusive, ///< flock(LOCK_EX), as another copy of this program
    FlockShared, ///< flock(LOCK_SH)
    RangeWriteHead, ///< fcntl write lock on bytes 0–999: a Windows LockFileEx under Wine
    RangeReadHead, ///< fcntl read lock on bytes 0–999
    RangeWriteFar, ///< fcntl write lock on one byte far beyond the end, as dBASE engines lock
    OfdWriteWhole, ///< open-file-description write lock over the whole file
};

/// Another process (python3) holding a lock of `kind` on a file until this object
/// dies. Construction waits until the lock is held.
class OtherProcessLock {
public:
    OtherProcessLock(const std::filesystem::path& file, ForeignLock kind)
    {
        const std::filesystem::path ready = std::filesystem::path(file) += ".held";
        std::filesystem::remove(ready);
        // The process locks, reports in the ready file, then waits for its standard
        // input to close: pclose() in the destructor releases it.
        const std::string script
            = "import fcntl,os,struct,sys\n"
              "f=open(sys.argv[1],'r+b')\n"
              "k=sys.argv[2]\n"
              "try:\n"
              "    if k=='flock-ex': fcntl.flock(f,fcntl.LOCK_EX|fcntl.LOCK_NB)\n"
              "    elif k=='flock-sh': fcntl.flock(f,fcntl.LOCK_SH|fcntl.LOCK_NB)\n"
              "    elif k=='write-head': fcntl.lockf(f,fcntl.LOCK_EX|fcntl.LOCK_NB,1000,0)\n"
              "    elif k=='read-head': fcntl.lockf(f,fcntl.LOCK_SH|fcntl.LOCK_NB,1000,0)\n"
              "    elif k=='write-far': fcntl.lockf(f,fcntl.LOCK_EX|fcntl.LOCK_NB,1,1000000000)\n"
              "    elif k=='ofd-write': fcntl.fcntl(f,fcntl.F_OFD_SETLK,"
              "struct.pack('hhqqi4x',fcntl.F_WRLCK,0,0,0,0))\n"
              "    r='locked'\n"
              "except OSError as e: r='failed '+str(e)\n"
              "open(sys.argv[3],'w').write(r)\n"
              "sys.stdin.read()\n";
        const std::string command = std::string(TRAMAZEL_SYSTEM_PYTHON) + " -c " + shellQuote(script) + " "
            + shellQuote(file.string()) + " " + shellQuote(kindName(kind)) + " " + shellQuote(ready.string());
        m_process = ::popen(command.c_str(), "w");
        EXPECT_NE(m_process, nullptr);
        std::string state;
        for (int i = 0; i < 200 && state.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            if (std::filesystem::exists(ready))
                state = readFile(ready);
        }
        EXPECT_EQ(state, "locked") << kindName(kind);
        std::filesystem::remove(ready);
    }
    ~OtherProcessLock()
    {
        if (m_process)
            ::pclose(m_process);
    }
    OtherProcessLock(const OtherProcessLock&) = delete;
    OtherProcessLock& operator=(const OtherProcessLock&) = delete;

    static const char* kindName(ForeignLock kind)
    {
        switch (kind) {
        case ForeignLock::FlockExclusive:
            return "flock-ex";
        case ForeignLock::FlockShared:
            return "flock-sh";
        case ForeignLock::RangeWriteHead:
            return "write-head";
        case ForeignLock::RangeReadHead:
            return "read-head";
        case ForeignLock::RangeWriteFar:
            return "write-far";
        case ForeignLock::OfdWriteWhole:
            return "ofd-write";
        }
        return "";
    }

private:
    std::FILE* m_process = nullptr;
};

} // namespace tramazel::test
