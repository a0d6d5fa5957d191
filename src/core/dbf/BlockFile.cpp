// SPDX-License-Identifier: GPL-3.0-or-later
#include "BlockFile.h"

#include "TableFiles.h"
#include "platform/IoHooks.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>

namespace tramazel::dbf {

namespace {

constexpr std::size_t kBlockSize = 256 * 1024;

char* block(std::unique_ptr<char[]>& b)
{
    if (!b)
        b.reset(new char[kBlockSize]); // left uninitialised on purpose
    return b.get();
}

} // namespace

BlockFile::~BlockFile()
{
    close();
}

bool BlockFile::open(const std::filesystem::path& file, Mode mode, Errors errors, const platform::IoHooks* io)
{
    close();
    m_path = file;
    m_errors = errors;
    m_io = io;
    m_readOnly = mode == Mode::Read;
    m_failed = false;
    auto openAs
        = [&](const char* how) { return m_io ? m_io->open(file, how) : platform::openFile(file, how); };
    m_file.reset(openAs(mode == Mode::Create ? "w+b" : mode == Mode::Update ? "r+b" : "rb"));
    if (!m_file && mode == Mode::Update) {
        m_file.reset(openAs("rb"));
        m_readOnly = true;
    }
    if (!m_file)
        return false;
    if (mode == Mode::Create)
        noteFileCreated(file);
    std::setvbuf(m_file.get(), nullptr, _IONBF, 0);
    m_readLength = 0;
    m_writeLength = 0;
    m_written = false;
    m_osPos = 0;
    m_osPosKnown = true;
    return true;
}

// The hooks are looked at once per block, never per record.
std::size_t BlockFile::readFromSystem(char* data, std::size_t size)
{
    return m_io ? m_io->read(m_file.get(), data, size) : std::fread(data, 1, size, m_file.get());
}

bool BlockFile::writeToSystem(const char* data, std::size_t size)
{
    return (m_io ? m_io->write(m_file.get(), data, size) : std::fwrite(data, 1, size, m_file.get())) == size;
}

bool BlockFile::seekTo(std::uint64_t pos)
{
    if (m_osPosKnown && m_osPos == pos)
        return true;
    m_osPosKnown = platform::seekFile(m_file.get(), pos);
    m_osPos = pos;
    return m_osPosKnown;
}

void BlockFile::writeFailed()
{
    m_readLength = 0; // it may hold bytes the file never got
    m_osPosKnown = false;
    m_failed = true;
    throw m_errors.writeFailed(m_path);
}

void BlockFile::sendPendingWrites()
{
    if (m_writeLength == 0)
        return;
    // The block is dropped whether or not it reaches the file: after a failure its
    // bytes must not go out later, behind the back of whoever saw the error.
    const std::size_t n = m_writeLength;
    m_writeLength = 0;
    m_written = true;
    if (!seekTo(m_writeStart) || !writeToSystem(m_writeBlock.get(), n))
        writeFailed();
    m_osPos += n;
}

bool BlockFile::read(std::uint64_t pos, char* data, std::size_t size)
{
    if (pos >= m_readStart && pos + size <= m_readStart + m_readLength) {
        std::memcpy(data, m_readBlock.get() + (pos - m_readStart), size);
        return true;
    }
    sendPendingWrites();
    if (!seekTo(pos))
        throw m_errors.readFailed(m_path);
    if (size >= kBlockSize) {
        const std::size_t got = readFromSystem(data, size);
        m_osPos += got;
        return got == size;
    }
    const std::size_t got = readFromSystem(block(m_readBlock), kBlockSize);
    m_osPos += got;
    m_readStart = pos;
    m_readLength = got;
    if (got < size)
        return false;
    std::memcpy(data, m_readBlock.get(), size);
    return true;
}

const char* BlockFile::peekAfterRead(std::uint64_t pos, std::size_t size)
{
    sendPendingWrites();
    if (!seekTo(pos))
        throw m_errors.readFailed(m_path);
    const std::size_t got = readFromSystem(block(m_readBlock), kBlockSize);
    m_osPos += got;
    m_readStart = pos;
    m_readLength = got;
    return got < size ? nullptr : m_readBlock.get();
}

void BlockFile::write(std::uint64_t pos, const char* data, std::size_t size)
{
    if (m_readOnly)
        throw m_errors.writeFailed(m_path);
    if (m_failed) // what the file holds is unknown: nothing more goes into it
        writeFailed();
    // The read block keeps serving reads: the bytes it holds of this range change with
    // the write. Editing a record in place then costs no read of its block again.
    if (pos < m_readStart + m_readLength && pos + size > m_readStart) {
        const std::uint64_t from = std::max(pos, m_readStart);
        const std::uint64_t to = std::min(pos + size, m_readStart + m_readLength);
        std::memcpy(m_readBlock.get() + (from - m_readStart), data + (from - pos),
            static_cast<std::size_t>(to - from));
    }
    if (m_writeLength > 0 && pos == m_writeStart + m_writeLength && m_writeLength + size <= kBlockSize) {
        std::memcpy(m_writeBlock.get() + m_writeLength, data, size);
        m_writeLength += size;
        return;
    }
    sendPendingWrites();
    if (size >= kBlockSize) {
        m_written = true;
        if (!seekTo(pos) || !writeToSystem(data, size))
            writeFailed();
        m_osPos += size;
        return;
    }
    m_writeStart = pos;
    std::memcpy(block(m_writeBlock), data, size);
    m_writeLength = size;
}

void BlockFile::flush()
{
    if (m_failed)
        writeFailed();
    sendPendingWrites();
    if ((m_io ? m_io->flush(m_file.get()) : std::fflush(m_file.get())) != 0)
        writeFailed();
}

bool BlockFile::close() noexcept
{
    if (!m_file)
        return true;
    bool ok = true;
    if (!m_readOnly) {
        try {
            sendPendingWrites();
        } catch (const Error&) {
            ok = false;
        }
    }
    // Start writing the file out now, without waiting: a commit that syncs it later
    // then finds most of it on the device already, and the disk works while the
    // next tables are built.
    if (ok && m_written)
        platform::startWriteBack(m_file.get());
    std::FILE* stream = m_file.release();
    ok = (m_io ? m_io->close(stream) : std::fclose(stream)) == 0 && ok;
    m_failed = m_failed || !ok;
    m_readLength = 0;
    m_writeLength = 0;
    m_written = false;
    return ok;
}

} // namespace tramazel::dbf
