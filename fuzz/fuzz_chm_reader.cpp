// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the help file reader: any bytes as a compiled help file. The
// directory check runs on the bytes; only a file it passes reaches chmlib, which then
// opens it, lists it and reads what the help viewer reads (the system file, the
// context map's files, and every listed object up to the viewer's size limit), as
// the viewer's ChmFile does, stopping compressed reads after the first that fails.
// The check's promise is that chmlib never divides by zero, reads or writes out of
// bounds (its block buffers included) or loops on what it passes: any crash, hang,
// leak or sanitizer report is a fault of the check (or of the reading around chmlib).
#include "ChmDirectoryCheck.h"
#include "FuzzFiles.h"

#include <chm_lib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using tramazel::help::checkChmDirectory;

// The viewer's limit on one object (ChmFile.cpp).
constexpr std::uint64_t kMaxObjectSize = 64u * 1024u * 1024u;
// Objects read per input beyond the named ones: enough for the small seeds.
constexpr std::size_t kMaxObjectsRead = 64;

int collectName(chmFile*, chmUnitInfo* unit, void* context)
{
    static_cast<std::vector<std::string>*>(context)->emplace_back(unit->path);
    return CHM_ENUMERATOR_CONTINUE;
}

// As ChmFile::read: chmlib caches a block that failed to decompress as if it had
// not, so no compressed object is read after a failure.
std::size_t readObject(chmFile* handle, const std::string& name, bool& damaged)
{
    if (name.size() > CHM_MAX_PATHLEN || name.empty() || name.back() == '/')
        return 0;
    chmUnitInfo unit {};
    if (chm_resolve_object(handle, name.c_str(), &unit) != CHM_RESOLVE_SUCCESS)
        return 0;
    if (unit.length == 0 || unit.length > kMaxObjectSize)
        return 0;
    if (damaged && unit.space != CHM_UNCOMPRESSED)
        return 0;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(unit.length));
    const LONGINT64 got = chm_retrieve_object(handle, &unit, bytes.data(), 0, LONGINT64(unit.length));
    if (got != LONGINT64(unit.length))
        damaged = true;
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto read = [&](std::uint64_t offset, std::size_t length, unsigned char* out) {
        if (offset > size || length > size - offset)
            return false;
        std::memcpy(out, data + offset, length);
        return true;
    };
    if (!checkChmDirectory(size, read))
        return 0;

    // chmlib reads from a file: the input goes to the scratch folder.
    static const fs::path file = tramazel::fuzz::scratchSubdir("chm") / "fuzz.chm";
    tramazel::fuzz::writeFile(file, data, size);
    chmFile* handle = chm_open(file.c_str());
    if (handle == nullptr)
        return 0;
    std::vector<std::string> names;
    chm_enumerate(handle, CHM_ENUMERATE_ALL, collectName, &names);
    std::size_t total = 0;
    bool damaged = false;
    for (const char* name : { "/#SYSTEM", "/#IVB", "/#STRINGS" })
        total += readObject(handle, name, damaged);
    for (std::size_t i = 0; i < names.size() && i < kMaxObjectsRead; ++i)
        total += readObject(handle, names[i], damaged);
    chm_close(handle);
    volatile std::size_t sink = total;
    (void)sink;
    return 0;
}
