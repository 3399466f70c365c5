#include "tools/stowpack/writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "core/crc32.h"
#include "core/pe_image.h"
#include "tools/stowpack/file_source.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kBufferSize = 1 << 20;

std::string describeErrno()
{
    return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

// The output under construction: counts and checksums what goes into the covered region.
class Output {
public:
    explicit Output(const fs::path& path) : path_(path)
    {
        stream_.open(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
        if (!stream_) throw BuildError(path.string() + ": cannot create" + describeErrno());
    }

    void write(const void* bytes, size_t size, bool covered)
    {
        stream_.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
        if (!stream_) throw BuildError(path_.string() + ": write failed" + describeErrno());
        if (covered) {
            crc_ = crc32Update(crc_, bytes, size);
            coveredLength_ += size;
        }
        size_ += size;
    }

    void writeAt(uint64_t offset, const void* bytes, size_t size)
    {
        stream_.seekp(static_cast<std::streamoff>(offset));
        stream_.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
        stream_.seekp(static_cast<std::streamoff>(size_));
        if (!stream_) throw BuildError(path_.string() + ": write failed" + describeErrno());
    }

    // Reads back what was written; the write position is restored for the next write.
    bool readAt(uint64_t offset, uint8_t* bytes, size_t size)
    {
        stream_.seekg(static_cast<std::streamoff>(offset));
        stream_.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(size));
        bool ok = static_cast<size_t>(stream_.gcount()) == size;
        stream_.clear();
        stream_.seekp(static_cast<std::streamoff>(size_));
        return ok;
    }

    void close()
    {
        stream_.close();
        if (!stream_) throw BuildError(path_.string() + ": write failed" + describeErrno());
    }

    uint64_t size() const { return size_; }
    uint32_t crc() const { return crc_; }
    uint64_t coveredLength() const { return coveredLength_; }

private:
    fs::path path_;
    std::fstream stream_;
    uint64_t size_ = 0;
    uint32_t crc_ = kCrc32Initial;
    uint64_t coveredLength_ = 0;
};

uint32_t getU32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

// Copies `count` bytes of `in` to the output, masking them for payload files.
void copyStream(std::istream& in, uint64_t count, Output& out, bool mask, bool covered, const std::string& name,
                std::vector<uint8_t>& buffer)
{
    while (count > 0) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, buffer.size()));
        in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(chunk));
        if (static_cast<size_t>(in.gcount()) != chunk) {
            throw BuildError(name + ": read failed or the file changed while being packed" + describeErrno());
        }
        if (mask) maskPayload(buffer.data(), chunk);
        out.write(buffer.data(), chunk, covered);
        count -= chunk;
    }
}

uint64_t fileSize(const fs::path& path, const std::string& where)
{
    std::error_code error;
    if (!fs::is_regular_file(path, error)) throw ProjectError(where + ": " + path.string() + ": no such file");
    uint64_t size = fs::file_size(path, error);
    if (error) throw ProjectError(where + ": " + path.string() + ": " + error.message());
    return size;
}

// Checks the launcher's headers and returns where its appended data must begin; table receives
// the launcher's own certificate table.
uint64_t launcherBlockStart(const fs::path& launcher, std::istream& in, uint64_t size, CertificateTable& table,
                            std::vector<std::string>& warnings)
{
    char mz[2] = {};
    in.read(mz, 2);
    ByteSource source = streamByteSource(in);
    OverlayLocation location;
    if (in.gcount() != 2 || mz[0] != 'M' || mz[1] != 'Z' ||
        locateOverlay(source, location).failure != ReadFailure::None || location.sectionCount <= 0) {
        throw BuildError(launcher.string() + ": not a Windows executable");
    }
    if (location.blockStart > size) {
        throw BuildError(launcher.string() + ": the last section's data runs past the end of the file");
    }
    if (readCertificateTable(source, table).failure != ReadFailure::None) table = CertificateTable{};
    if (table.size != 0 && table.offset >= location.blockStart) {
        warnings.push_back(launcher.string() + ": the launcher's signature (" + std::to_string(table.size) +
                           " bytes) is left out; sign the installer after packing");
    } else if (location.blockStart < size) {
        warnings.push_back(launcher.string() + ": " + std::to_string(size - location.blockStart) +
                           " bytes after the last section (symbols or a signature) are left out; "
                           "strip the launcher to avoid this");
    }
    return location.blockStart;
}

// The launcher's COFF symbol table and certificate table lie after the sections; when they are
// left out, their header entries are cleared so the copy stays a consistent file.
void clearDroppedTables(Output& out, uint64_t blockStart, const CertificateTable& table)
{
    uint8_t word[4];
    if (!out.readAt(60, word, 4)) return;
    uint64_t pe = getU32(word);
    uint8_t fileHeader[20];
    if (!out.readAt(pe + 4, fileHeader, sizeof fileHeader)) return;
    const uint8_t zeros[8] = {};
    if (getU32(fileHeader + 8) >= blockStart && getU32(fileHeader + 8) != 0) {
        out.writeAt(pe + 4 + 8, zeros, 8);  // PointerToSymbolTable, NumberOfSymbols
    }
    if (table.entryOffset != 0 && table.offset >= blockStart && table.offset != 0) {
        out.writeAt(table.entryOffset, zeros, 8);
    }
}

BuildResult writeInstaller(const Project& project, const BuildOptions& options, const fs::path& launcher,
                           const fs::path& temporary)
{
    BuildResult result;
    std::vector<uint8_t> buffer(kBufferSize);

    // Every input is looked at before anything is written.
    std::vector<uint64_t> sizes;
    for (const PayloadFile& file : project.files) sizes.push_back(fileSize(file.source, file.where));
    uint64_t javaDataSize = project.javaData.empty() ? 0 : fileSize(project.javaData, project.file.string() + ": java_data");
    uint64_t launcherSize = fileSize(launcher, "launcher");

    std::ifstream launcherIn(launcher, std::ios::binary);
    if (!launcherIn) throw BuildError(launcher.string() + ": cannot open" + describeErrno());
    CertificateTable launcherCertificates;
    result.blockStart = launcherBlockStart(launcher, launcherIn, launcherSize, launcherCertificates, result.warnings);

    Output out(temporary);
    launcherIn.clear();
    launcherIn.seekg(0);
    copyStream(launcherIn, result.blockStart, out, false, false, launcher.string(), buffer);
    clearDroppedTables(out, result.blockStart, launcherCertificates);

    ConfigBlockContents contents = project.contents;
    for (const NarrowEntry& entry : includedFileEntries(project.files)) {
        auto at = std::lower_bound(contents.strings.begin(), contents.strings.end(), entry.key,
                                   [](const NarrowEntry& e, int32_t key) { return e.key < key; });
        contents.strings.insert(at, entry);
    }
    const std::array<uint8_t, 20> placeholder{};
    out.write(placeholder.data(), placeholder.size(), false);
    std::vector<uint8_t> entries = serializeConfigEntries(contents);
    out.write(entries.data(), entries.size(), true);
    result.payloadStart = out.size();

    for (size_t i = 0; i < project.files.size(); ++i) {
        uint8_t length[8];
        for (int b = 0; b < 8; ++b) length[b] = static_cast<uint8_t>(sizes[i] >> (8 * b));
        out.write(length, sizeof length, true);
        std::ifstream in(project.files[i].source, std::ios::binary);
        if (!in) throw BuildError(project.files[i].source.string() + ": cannot open" + describeErrno());
        copyStream(in, sizes[i], out, true, true, project.files[i].source.string(), buffer);
    }
    result.unextractedPosition = out.size();
    if (!project.javaData.empty()) {
        std::ifstream in(project.javaData, std::ios::binary);
        if (!in) throw BuildError(project.javaData.string() + ": cannot open" + describeErrno());
        copyStream(in, javaDataSize, out, false, true, project.javaData.string(), buffer);
    }

    result.coveredLength = static_cast<int64_t>(out.coveredLength());
    for (uint64_t left = options.trailingBytes; left > 0;) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        std::fill(buffer.begin(), buffer.begin() + chunk, uint8_t{0});
        out.write(buffer.data(), chunk, false);
        left -= chunk;
    }

    // A deliberately wrong CRC differs in one bit, as a single flipped payload bit would not.
    result.checksum = options.wrongCrc ? out.crc() ^ 0x80000000u : out.crc();
    bool checked = project.checksum && !options.noChecksum;
    auto header = serializeConfigHeader(checked, result.checksum, result.coveredLength);
    out.writeAt(result.blockStart, header.data(), header.size());
    uint64_t finalSize = out.size();
    out.close();

    if (options.truncateAt) {
        if (*options.truncateAt > finalSize) {
            throw ProjectError("--truncate-at " + std::to_string(*options.truncateAt) + " is beyond the file's " +
                               std::to_string(finalSize) + " bytes");
        }
        std::error_code error;
        fs::resize_file(temporary, *options.truncateAt, error);
        if (error) throw BuildError(temporary.string() + ": " + error.message());
    }
    return result;
}

}  // namespace

BuildResult buildInstaller(const Project& project, const BuildOptions& options)
{
    fs::path launcher = options.launcher.empty() ? project.launcher : options.launcher;
    if (launcher.empty()) {
        throw ProjectError(project.file.string() + ": no launcher: set launcher in the project or pass --launcher");
    }
    if (options.output.empty()) throw ProjectError("no output file: pass -o OUT.exe");
    std::error_code error;
    if (fs::exists(options.output, error) && fs::equivalent(options.output, launcher, error)) {
        throw ProjectError(options.output.string() + ": the output would overwrite the launcher");
    }

    fs::path temporary = options.output;
    temporary += ".stowpack-partial";
    try {
        BuildResult result = writeInstaller(project, options, launcher, temporary);
        fs::rename(temporary, options.output, error);
        if (error) {
            // Renaming onto an existing file fails on some systems: replace it explicitly.
            std::error_code removeError;
            fs::remove(options.output, removeError);
            error.clear();
            fs::rename(temporary, options.output, error);
        }
        if (error) throw BuildError(options.output.string() + ": " + error.message());
        return result;
    } catch (...) {
        fs::remove(temporary, error);
        throw;
    }
}
