// SPDX-License-Identifier: GPL-3.0-or-later
// hold_table_lock TABLE RELEASE: locks TABLE for exclusive use as Tramazel does,
// prints "locked", and keeps the lock until the file RELEASE exists (two minutes at
// most). Another Windows process holding a table, for the tests under Wine.
#include "platform/Console.h"
#include "platform/Platform.h"
#include "text/PathText.h"

#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>

int main(int argc, char** argv)
{
    using namespace tramazel;
    const auto args = platform::commandLineArguments(argc, argv);
    if (args.size() != 2) {
        std::cerr << "usage: hold_table_lock TABLE RELEASE\n";
        return 2;
    }
    const auto release = text::pathFromUtf8(args[1]);
    auto lock = platform::FileLock::tryLock(text::pathFromUtf8(args[0]), platform::FileLock::Mode::Exclusive);
    if (!lock) {
        std::cout << "busy" << std::endl;
        return 1;
    }
    std::cout << "locked" << std::endl;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!std::filesystem::exists(release) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return 0;
}
