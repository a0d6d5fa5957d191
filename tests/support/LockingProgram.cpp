// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef _WIN32

#include "LockingProgram.h"

#include <cerrno>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tramazel::test {

namespace {

constexpr const char* kKinds[] = { "flock", "ofd", "posix", "head" };

// Opens the files named by its arguments, says "ready", then answers each line of its
// standard input: "try" with the locks it could take, separated by ";"; "hold KIND"
// by taking that lock on every file and keeping it ("held"); "release" by letting go
// of what it holds ("released").
constexpr const char* kScript = R"(import fcntl,os,struct,sys
files=[(os.path.basename(p),open(p,'r+b')) for p in sys.argv[1:]]
def ofd(f,t): fcntl.fcntl(f,fcntl.F_OFD_SETLK,struct.pack('hhqqi4x',t,0,0,0,0))
kinds=[('flock',lambda f:fcntl.flock(f,fcntl.LOCK_EX|fcntl.LOCK_NB),lambda f:fcntl.flock(f,fcntl.LOCK_UN)),
 ('ofd',lambda f:ofd(f,fcntl.F_WRLCK),lambda f:ofd(f,fcntl.F_UNLCK)),
 ('posix',lambda f:fcntl.lockf(f,fcntl.LOCK_EX|fcntl.LOCK_NB),lambda f:fcntl.lockf(f,fcntl.LOCK_UN)),
 ('head',lambda f:fcntl.lockf(f,fcntl.LOCK_EX|fcntl.LOCK_NB,1000,0),lambda f:fcntl.lockf(f,fcntl.LOCK_UN,1000,0))]
print('ready',flush=True)
held=[]
for line in sys.stdin:
    words=line.split()
    if words[:1]==['hold']:
        for kind,lock,unlock in kinds:
            if kind==words[1]:
                for name,f in files:
                    lock(f)
                    held.append((f,unlock))
        print('held',flush=True)
        continue
    if words[:1]==['release']:
        for f,unlock in held:
            unlock(f)
        held=[]
        print('released',flush=True)
        continue
    got=[]
    for name,f in files:
        for kind,lock,unlock in kinds:
            try:
                lock(f)
            except OSError:
                continue
            unlock(f)
            got.append(name+' '+kind)
    print(';'.join(got),flush=True)
)";

} // namespace

LockingProgram::LockingProgram(const std::vector<std::filesystem::path>& files)
{
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    std::vector<std::string> args = { TRAMAZEL_SYSTEM_PYTHON, "-c", kScript };
    for (const auto& file : files)
        args.push_back(file.string());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&m_pid, TRAMAZEL_SYSTEM_PYTHON, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    m_toProgram = toChild[1];
    m_fromProgram = fromChild[0];
    if (rc != 0)
        throw std::runtime_error("cannot start " + std::string(TRAMAZEL_SYSTEM_PYTHON));
    if (readLine() != "ready")
        throw std::runtime_error("the locking program could not open its files");
}

LockingProgram::~LockingProgram()
{
    ::close(m_toProgram); // the program ends at the end of its input
    ::close(m_fromProgram);
    if (m_pid > 0) {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) { }
    }
}

std::string LockingProgram::readLine()
{
    for (;;) {
        const std::size_t nl = m_pending.find('\n');
        if (nl != std::string::npos) {
            std::string line = m_pending.substr(0, nl);
            m_pending.erase(0, nl + 1);
            return line;
        }
        char buffer[512];
        const ssize_t got = ::read(m_fromProgram, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            throw std::runtime_error("the locking program stopped");
        m_pending.append(buffer, static_cast<std::size_t>(got));
    }
}

void LockingProgram::ask(const std::string& command, const std::string& answer)
{
    const std::string line = command + "\n";
    if (::write(m_toProgram, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("the locking program stopped");
    if (readLine() != answer)
        throw std::runtime_error("the locking program could not " + command);
}

void LockingProgram::hold(const std::string& kind)
{
    ask("hold " + kind, "held");
}

void LockingProgram::release()
{
    ask("release", "released");
}

std::vector<std::string> LockingProgram::lockable()
{
    if (::write(m_toProgram, "try\n", 4) != 4)
        throw std::runtime_error("the locking program stopped");
    const std::string line = readLine();
    std::vector<std::string> got;
    for (std::size_t pos = 0; pos < line.size();) {
        std::size_t end = line.find(';', pos);
        if (end == std::string::npos)
            end = line.size();
        got.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    return got;
}

std::vector<std::string> LockingProgram::allKinds(const std::vector<std::string>& names)
{
    std::vector<std::string> all;
    for (const std::string& name : names) {
        for (const char* kind : kKinds)
            all.push_back(name + " " + kind);
    }
    return all;
}

} // namespace tramazel::test

#endif
