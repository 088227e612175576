#include "picture/codec_source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

codec_source memory_source(const std::uint8_t* data, std::size_t size)
{
    codec_source source;
    source.head = data;
    source.head_length = size;
    source.length = static_cast<std::int64_t>(size);
    return source;
}

std::size_t source_read(source_cursor* cursor, void* buffer, std::size_t count)
{
    const codec_source& source = *cursor->source;
    auto* out = static_cast<std::uint8_t*>(buffer);
    const std::size_t from_head = std::min(count, source.head_length - cursor->head_used);
    if (from_head > 0) {
        std::memcpy(out, source.head + cursor->head_used, from_head);
        cursor->head_used += from_head;
    }
    if (from_head == count || !source.stream)
        return from_head;
    return from_head + std::fread(out + from_head, 1, count - from_head, source.stream);
}

namespace {

// Reads head and stream into memory, growing the block as the bytes come,
// up to one byte past the limit so that a longer stream shows.
codec_message read_whole(const codec_source& source, const char* kind, source_file* out)
{
    std::size_t capacity = std::max<std::size_t>(source.head_length, std::size_t{1} << 20);
    codec_message message = allocate_block(capacity, "input", &out->owned);
    if (message.failed())
        return message;
    std::memcpy(out->owned.get(), source.head, source.head_length);
    std::size_t used = source.head_length;
    constexpr auto most = static_cast<std::size_t>(largest_picture_stream);
    while (source.stream) {
        if (used == capacity) {
            const std::size_t grown = std::min(capacity * 2, most + 1);
            void* block = std::realloc(out->owned.get(), grown);
            if (!block)
                return codec_fail(codec_fault::memory, "no memory for the input (%zu bytes)", grown);
            static_cast<void>(out->owned.release());
            out->owned.reset(static_cast<std::uint8_t*>(block));
            capacity = grown;
        }
        const std::size_t got = std::fread(out->owned.get() + used, 1, capacity - used, source.stream);
        used += got;
        if (used > most)
            return codec_fail(codec_fault::file, "a %s stream longer than %lld bytes is not read", kind,
                              static_cast<long long>(largest_picture_stream));
        if (got == 0)
            break;
    }
    if (source.stream && std::ferror(source.stream))
        return codec_fail(codec_fault::file, "read error: %s", std::strerror(errno));
    out->bytes = out->owned.get();
    out->length = used;
    return {};
}

}  // namespace

codec_message source_seekable(const codec_source& source, const char* kind, source_file* out)
{
    *out = source_file{};
    if (!source.stream) {
        out->bytes = source.head;
        out->length = source.head_length;
        return {};
    }
    const int fd = source.length >= 0 ? fileno(source.stream) : -1;
    if (fd >= 0) {
        out->fd = fd;
        out->length = static_cast<std::uint64_t>(source.length);
        return {};
    }
    return read_whole(source, kind, out);
}

std::size_t source_file_read(const source_file& file, std::uint64_t offset, void* buffer, std::size_t count)
{
    if (offset >= file.length)
        return 0;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, file.length - offset));
    if (file.bytes) {
        std::memcpy(buffer, file.bytes + offset, count);
        return count;
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(file.fd, static_cast<std::uint8_t*>(buffer) + done, count - done,
                                  static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}
