#include "core/payload_copy.h"

#include <algorithm>

#include "core/config_format.h"

PayloadCopyStatus copyPayloadFile(int64_t length, uint8_t* buffer, size_t bufferSize, const PayloadRead& read,
                                  const PayloadWrite& write)
{
    PayloadCopyStatus status;
    while (status.copied < length) {
        size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(bufferSize), length - status.copied));
        size_t got = 0;
        uint32_t error = 0;
        if (!read(buffer, want, &got, &error) || got == 0) {
            status.result = PayloadCopyResult::ReadFailed;
            status.lastRead = got;
            status.systemError = error;
            return status;
        }
        maskPayload(buffer, got);
        size_t done = 0;
        while (done < got) {
            size_t written = 0;
            error = 0;
            if (!write(buffer + done, got - done, &written, &error) || written == 0) {
                status.result = PayloadCopyResult::WriteFailed;
                status.unwritten = got - done;
                status.systemError = error;
                return status;
            }
            done += written;
        }
        status.copied += static_cast<int64_t>(got);
    }
    return status;
}

int64_t decodePayloadLength(const uint8_t bytes[8])
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    return static_cast<int64_t>(value);
}
