// A ByteSource over a binary input stream, so the packer reads blocks with the launcher's reader.
#pragma once

#include <istream>

#include "core/byte_source.h"

// The stream must outlive the source; read errors report errno as the system error.
ByteSource streamByteSource(std::istream& stream);
