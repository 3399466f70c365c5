#include "tools/stowpack/file_source.h"

#include <cerrno>

ByteSource streamByteSource(std::istream& stream)
{
    ByteSource source;
    source.read = [&stream](void* buffer, size_t size, uint32_t* systemError) -> size_t {
        errno = 0;
        stream.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
        auto got = static_cast<size_t>(stream.gcount());
        if (stream.bad() && systemError) *systemError = static_cast<uint32_t>(errno);
        // A short read at the end sets eof and fail; clear them so later seeks still work.
        if (!stream.bad()) stream.clear();
        return got;
    };
    source.seek = [&stream](uint64_t offset, uint32_t* systemError) {
        stream.clear();
        errno = 0;
        stream.seekg(static_cast<std::streamoff>(offset));
        if (!stream) {
            if (systemError) *systemError = static_cast<uint32_t>(errno);
            stream.clear();
            return false;
        }
        return true;
    };
    source.tell = [&stream]() {
        std::streamoff position = stream.tellg();
        return position < 0 ? uint64_t{0} : static_cast<uint64_t>(position);
    };
    return source;
}
