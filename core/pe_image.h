// The parts of a PE file's headers that describe data after the sections: the certificate table
// that code signing appends at the very end of the file.
//
//   offset 60                 u32  pe: file offset of the "PE\0\0" signature
//   pe + 24                   optional header: u16 magic, 0x10B (PE32) or 0x20B (PE32+)
//     pe + 24 + 92 / + 108    u32  NumberOfRvaAndSizes (PE32 / PE32+)
//     pe + 24 + 96 / + 112    data directories, 8 bytes each: { u32 address, u32 size }
//   directory 4 (security)    its address is a FILE offset, not an RVA: the certificate table
//
//   certificate table (at the end of the file, nothing after it):
//     entries { u32 dwLength (header included), u16 wRevision, u16 wCertificateType, bytes },
//     each beginning on an 8-byte boundary.
//
//   installer:  [ image ][ config block and payload = covered region ][ padding < 8 ][ table ]
//   Signing tools hash everything but the checksum field, the security directory entry and the
//   table itself, so a signed installer keeps its covered region byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_source.h"
#include "core/config_format.h"

constexpr uint16_t kCertificateRevision1 = 0x0100;
constexpr uint16_t kCertificateRevision2 = 0x0200;
constexpr uint16_t kCertificateTypePkcsSignedData = 0x0002;

// The security data directory of a PE file.
struct CertificateTable {
    uint64_t entryOffset = 0;  // file offset of the directory entry; 0 when the headers have none
    uint32_t offset = 0;       // file offset of the table
    uint32_t size = 0;         // 0: the file carries no certificate table
};

// Reads the security directory of the PE file at offset 0 of source. Headers with fewer than five
// data directories read as unsigned. Failure: ReadInt/ReadShort (short read), Seek, or Magic when
// the optional header is neither PE32 nor PE32+ or its directories lie beyond its stated size.
ReadError readCertificateTable(ByteSource& source, CertificateTable& table);

// What lies after the covered region of an installer.
struct Trailer {
    uint64_t padding = 0;       // alignment bytes between the covered region and the table
    bool signature = false;     // a well-formed certificate table ends the file
    uint32_t certificates = 0;  // its entries
    uint16_t firstType = 0;     // wCertificateType of the first entry
    uint64_t stray = 0;         // bytes that are neither alignment padding nor a certificate table
    std::string problem;        // why the stray bytes are not a certificate table; empty when none
};

// Classifies the bytes from coveredEnd to fileSize. A certificate table that begins inside the
// covered region is not classified here (the caller reports it as a damaged block): every byte after
// the region then counts as stray.
Trailer describeTrailer(ByteSource& source, uint64_t coveredEnd, uint64_t fileSize, const CertificateTable& table);

// The CPU a PE image is built for (the machine field after "PE\0\0"), 0 when the first bytes of a
// file, head, hold no PE signature where offset 60 points.
uint16_t peMachine(const std::vector<uint8_t>& head);
