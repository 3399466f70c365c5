#include "tools/stowpack/cli.h"

#include <cstdlib>
#include <optional>

#include "tools/stowpack/dump.h"
#include "tools/stowpack/project.h"
#include "tools/stowpack/writer.h"

namespace fs = std::filesystem;

namespace {

const char* const kUsage =
    "usage:\n"
    "  stowpack build PROJECT.toml -o OUT.exe [--launcher PATH] [--no-checksum] [--wrong-crc]\n"
    "                 [--trailing-bytes N] [--truncate-at OFFSET]\n"
    "  stowpack dump INSTALLER.exe [--language CODE]\n"
    "  stowpack verify INSTALLER.exe\n";

struct UsageError {
    std::string message;
};

std::optional<uint64_t> parseCount(const std::string& text)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::strtoull(text.c_str(), nullptr, 10);
}

// Takes the value of an option that needs one.
std::string optionValue(const std::vector<std::string>& arguments, size_t& i)
{
    if (i + 1 >= arguments.size()) throw UsageError{arguments[i] + " needs a value"};
    return arguments[++i];
}

uint64_t countValue(const std::vector<std::string>& arguments, size_t& i)
{
    const std::string& option = arguments[i];
    auto value = parseCount(optionValue(arguments, i));
    if (!value) throw UsageError{option + " needs a whole number of bytes"};
    return *value;
}

int build(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    BuildOptions options;
    fs::path projectFile;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-o") {
            options.output = fs::u8path(optionValue(arguments, i));
        } else if (argument == "--launcher") {
            options.launcher = fs::u8path(optionValue(arguments, i));
        } else if (argument == "--no-checksum") {
            options.noChecksum = true;
        } else if (argument == "--wrong-crc") {
            options.wrongCrc = true;
        } else if (argument == "--trailing-bytes") {
            options.trailingBytes = countValue(arguments, i);
        } else if (argument == "--truncate-at") {
            options.truncateAt = countValue(arguments, i);
        } else if (!argument.empty() && argument[0] == '-') {
            throw UsageError{"unknown option " + argument};
        } else if (projectFile.empty()) {
            projectFile = fs::u8path(argument);
        } else {
            throw UsageError{"more than one project file"};
        }
    }
    if (projectFile.empty()) throw UsageError{"no project file"};
    if (options.output.empty()) throw UsageError{"no output file (-o OUT.exe)"};

    Project project = loadProject(projectFile);
    BuildResult result = buildInstaller(project, options);
    for (const std::string& warning : result.warnings) err << "stowpack: warning: " << warning << "\n";
    out << "wrote " << options.output.u8string() << ": config block at " << result.blockStart << ", payload at "
        << result.payloadStart << ", " << project.files.size() << " files, covered length " << result.coveredLength
        << "\n";
    return 0;
}

int dump(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    fs::path installer;
    std::string language;
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--language") {
            language = optionValue(arguments, i);
        } else if (!arguments[i].empty() && arguments[i][0] == '-') {
            throw UsageError{"unknown option " + arguments[i]};
        } else if (installer.empty()) {
            installer = fs::u8path(arguments[i]);
        } else {
            throw UsageError{"more than one installer"};
        }
    }
    if (installer.empty()) throw UsageError{"no installer to dump"};
    return dumpInstaller(installer, language, out, err);
}

int verify(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    if (arguments.size() < 2) throw UsageError{"no installer to verify"};
    if (arguments.size() > 2) throw UsageError{"verify takes one installer"};
    if (!arguments[1].empty() && arguments[1][0] == '-') throw UsageError{"unknown option " + arguments[1]};
    return verifyInstaller(fs::u8path(arguments[1]), out, err);
}

}  // namespace

int runStowpack(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    try {
        if (arguments.empty()) throw UsageError{"no command"};
        const std::string& command = arguments[0];
        if (command == "-h" || command == "--help" || command == "help") {
            out << kUsage;
            return 0;
        }
        if (command == "build") return build(arguments, out, err);
        if (command == "dump") return dump(arguments, out, err);
        if (command == "verify") return verify(arguments, out, err);
        throw UsageError{"unknown command " + command};
    } catch (const UsageError& error) {
        err << "stowpack: error: " << error.message << "\n" << kUsage;
        return kExitBadInput;
    } catch (const ProjectError& error) {
        err << "stowpack: error: " << error.what() << "\n";
        return kExitBadInput;
    } catch (const BuildError& error) {
        err << "stowpack: error: " << error.what() << "\n";
        return kExitFailure;
    } catch (const std::exception& error) {
        err << "stowpack: error: " << error.what() << "\n";
        return kExitFailure;
    }
}
