// SPDX-License-Identifier: GPL-3.0-or-later
#include "IoHooks.h"

#include "Error.h"
#include "Platform.h"
#include "text/PathText.h"

#include <system_error>

namespace tramazel::platform {

namespace fs = std::filesystem;

namespace {

void removeAll(const fs::path& path, const std::string& what)
{
    std::error_code ec;
    fs::remove_all(path, ec);
    if (ec)
        throw Error(ErrorCode::FileIo, what, text::pathToUtf8(path) + ": " + ec.message());
}

} // namespace

IoHooks::IoHooks()
    : open(&openFile)
    , read([](std::FILE* stream, void* data, std::size_t size) { return std::fread(data, 1, size, stream); })
    , write([](std::FILE* stream, const void* data, std::size_t size) {
        return std::fwrite(data, 1, size, stream);
    })
    , flush([](std::FILE* stream) { return std::fflush(stream); })
    , close([](std::FILE* stream) { return std::fclose(stream); })
    , sync([](const std::vector<fs::path>& files, const std::vector<fs::path>& folders) {
        syncTogether(files, folders);
    })
    , rename(&renameFile)
    , remove(&removeAll)
    , folderWriteError(&platform::folderWriteError)
    , step([](std::string_view) {})
{
}

const IoHooks& systemIo()
{
    static const IoHooks hooks;
    return hooks;
}

} // namespace tramazel::platform
