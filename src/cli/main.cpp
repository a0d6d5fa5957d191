// SPDX-License-Identifier: GPL-3.0-or-later
#include "Version.h"

#include <cstring>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "tramazel-cli " << tramazel::kVersion << "\n";
        return 0;
    }
    std::cerr << "uso: tramazel-cli --version\n";
    return 2;
}
