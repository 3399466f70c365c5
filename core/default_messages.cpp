#include "core/default_messages.h"

#include <cstdlib>

#include "core/config_keys.h"

std::vector<DefaultMessage> defaultMessages(const std::string& applicationName,
                                            const std::string& downloadAddress)
{
    using namespace messages;
    const std::string noJvmTail = " or download a JRE from " + downloadAddress + ".";
    return {
        {kErrorTitle, "Error"},
        {kNoJvm, "No JVM could be found on your system.\nPlease define TALLOW_JAVA_HOME\n"
                 "to point to an installed JDK or JRE" + noJvmTail},
        {kJvmInPathDamaged, "The JVM found in your path is damaged.\nPlease reinstall or define "
                            "TALLOW_JAVA_HOME\nto point to an installed JDK or JRE."},
        {kVariableNotWorkingJvm, "The {0} environment variable does not\npoint to a working JDK or JRE."},
        {kJvmDamaged, "The JVM found at {0} is damaged.\nPlease reinstall or define TALLOW_JAVA_HOME\n"
                      "to point to an installed JDK or JRE."},
        {kJvmNotStarted, "The JVM could not be started. The maximum heap size (-Xmx) might be too "
                         "large or an antivirus or firewall tool could block the execution."},
        {kFileNotFound, "File or directory {0} not found or empty\n"},
        {kWrongParameterUsage, "Wrong Parameter Usage"},
        {kVariableMustBeDefined, "The environment variable {0} has to be defined"},
        {kInternalError, "An internal error occurred (error code: {0})"},
        {kMainClassNotLoaded, "Couldn't load main class."},
        {kMainMethodNotFound, "Main method not found."},
        {kErrorWord, "Error"},
        {kOk, "Ok"},
        {kErrorStartingUp, "An error occurred while starting up {0}:"},
        {kPowerUserRequired, "You must be at least Poweruser to run this program."},
        {kNoJvmBitness, "No JVM could be found on your system.\nPlease define TALLOW_JAVA_HOME\n"
                        "to point to an installed {0}-bit JDK or JRE" + noJvmTail},
        {kVariableNotWorkingJvm32, "The {0} environment variable does not\npoint to a working 32-bit JDK or JRE."},
        {kVariableNotWorkingJvm64, "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE."},
        {kJvmDamaged32, "The JVM found at {0} is damaged.\nPlease reinstall or define TALLOW_JAVA_HOME\n"
                        "to point to an installed 32-bit JDK or JRE."},
        {kJvmDamaged64, "The JVM found at {0} is damaged.\nPlease reinstall or define TALLOW_JAVA_HOME\n"
                        "to point to an installed 64-bit JDK or JRE."},
        {kCouldNotUnpackJvm, "Could not unpack the JVM. Antivirus software is probably interfering."},
        {kDownloadingRuntime,
         applicationName + " is downloading the Java(TM) Runtime Environment. Please wait."},
        {kCannotInitWininet, "Cannot initialize wininet.dll. Please install\nInternet Explorer 3.0 or higher."},
        {kDownloadError, "Error downloading the Java(TM) Runtime Environment.\nPlease check your "
                         "internet connection and start setup again."},
        {kChooseJavaExe, "Please choose the file \"java.exe\" of the JRE"},
        {kLocateOrDownload, "The stowline wizard could not find a Java(TM) Runtime Environment on "
                            "your system. You can locate or download a suitable %S-bit JRE."},
        {kLocateOnly, "The stowline wizard could not find a Java(TM) Runtime Environment on your "
                      "system. Please locate a suitable %S-bit JRE."},
        {kPreparingWizard, applicationName + " is preparing the stowline Wizard which will guide "
                                             "you through the rest of the setup process."},
        {kDownloadProgress, "%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s"},
        {kInitializingConnection, "Initializing connection ..."},
        {kDownloadButton, "Download"},
        {kLocateButton, "Locate"},
        {kCancelButton, "Cancel"},
        {kWizardTitle, "stowline Wizard"},
        {kVmNotStartedRestart, "The Java(TM) VM could not be started. Please restart\nthe "
                               "installation.You may use the parameter \"/manual\"\nto download "
                               "or manually select a different VM."},
        {kLastRunFailed, "The installer did not start up correctly on the last run.\nThis is "
                         "probably caused by a corrupted Java VM.\nDo you want to download or "
                         "manually select the JVM?"},
        {kInstallationCorrupted,
         "The installation file is corrupted. If it is a download please try it again."},
        {kNotEnoughDiskSpace, "Not Enough Disk Space"},
        {kMinimumVersion, "minimum version:"},
        {kMaximumVersion, "maximum version:"},
    };
}

const std::vector<KeyAlias>& keyAliases()
{
    static const std::vector<KeyAlias> aliases = [] {
        constexpr KeyKind C = KeyKind::Config;
        constexpr KeyKind M = KeyKind::Message;
        return std::vector<KeyAlias>{
            {"application_name", keys::kApplicationName, C},
            {"redirect_stderr", keys::kRedirectStderr, C},
            {"stderr_file", keys::kStderrFile, C},
            {"redirect_stdout", keys::kRedirectStdout, C},
            {"stdout_file", keys::kStdoutFile, C},
            {"redirect_append", keys::kRedirectAppend, C},
            {"launcher_type", keys::kLauncherType, C},
            {"splash_through_java", keys::kSplashThroughJava, C},
            {"class_path", keys::kClassPath, C},
            {"main_class", keys::kMainClass, C},
            {"vm_options", keys::kVmOptions, C},
            {"default_arguments", keys::kDefaultArguments, C},
            {"java_option_arguments", keys::kJavaOptionArguments, C},
            {"min_java_version", keys::kMinJavaVersion, C},
            {"max_java_version", keys::kMaxJavaVersion, C},
            {"jvm_search_sequence", keys::kJvmSearchSequence, C},
            {"allow_beta_vm", keys::kAllowBetaVm, C},
            {"require_jdk", keys::kRequireJdk, C},
            {"module_path", keys::kModulePath, C},
            {"main_from_module_path", keys::kMainFromModulePath, C},
            {"trust_search_list_directories", keys::kTrustSearchListDirectories, C},
            {"working_directory", keys::kWorkingDirectory, C},
            {"download_url", keys::kDownloadUrl, C},
            {"included_runtime_size", keys::kIncludedRuntimeSize, C},
            {"jvm_subdirectory", keys::kJvmSubdirectory, C},
            {"unpack_runtime_jars", keys::kUnpackRuntimeJars, C},
            {"no_progress_dialog", keys::kNoProgressDialog, C},
            {"download_without_asking", keys::kDownloadWithoutAsking, C},
            {"global_semaphore", keys::kGlobalSemaphore, C},
            {"interrupted_start_check", keys::kInterruptedStartCheck, C},
            {"application_id", keys::kApplicationId, C},
            {"prefer_installed_runtime", keys::kPreferInstalledRuntime, C},
            {"splash_setting", keys::kSplashSetting, C},
            {"marked_runtimes_only", keys::kMarkedRuntimesOnly, C},
            {"read_default_vm_options", keys::kReadDefaultVmOptions, C},
            {"shared_jvm_key", keys::kSharedJvmKey, C},
            {"admit_marked_runtimes", keys::kAdmitMarkedRuntimes, C},
            {"product_kind", keys::kProductKind, C},
            {"included_file_count", keys::kIncludedFileCount, C},
            {"included_file_names", keys::kIncludedFileNames, C},
            {"runtime_config_directory", keys::kRuntimeConfigDirectory, C},
            {"native_library_directories", keys::kNativeLibraryDirectories, C},
            {"single_instance", keys::kSingleInstance, C},
            {"activate_first_instance", keys::kActivateFirstInstance, C},
            {"long_temp_paths", keys::kLongTempPaths, C},
            {"reduce_path", keys::kReducePath, C},
            {"clear_java_option_variables", keys::kClearJavaOptionVariables, C},
            {"splash_first_line_x", keys::kSplashFirstLineX, C},
            {"splash_first_line_y", keys::kSplashFirstLineY, C},
            {"splash_first_line_text", keys::kSplashFirstLineText, C},
            {"splash_first_line_font_size", keys::kSplashFirstLineFontSize, C},
            {"splash_first_line_color", keys::kSplashFirstLineColor, C},
            {"splash_first_line_setting", keys::kSplashFirstLineSetting, C},
            {"splash_second_line_x", keys::kSplashSecondLineX, C},
            {"splash_second_line_y", keys::kSplashSecondLineY, C},
            {"splash_second_line_text", keys::kSplashSecondLineText, C},
            {"splash_second_line_font_size", keys::kSplashSecondLineFontSize, C},
            {"splash_second_line_color", keys::kSplashSecondLineColor, C},
            {"splash_second_line_setting", keys::kSplashSecondLineSetting, C},
            {"version_group_count", keys::kVersionGroupCount, C},

            {"error_title", messages::kErrorTitle, M},
            {"no_jvm", messages::kNoJvm, M},
            {"jvm_in_path_damaged", messages::kJvmInPathDamaged, M},
            {"variable_not_working_jvm", messages::kVariableNotWorkingJvm, M},
            {"jvm_damaged", messages::kJvmDamaged, M},
            {"jvm_not_started", messages::kJvmNotStarted, M},
            {"file_not_found", messages::kFileNotFound, M},
            {"wrong_parameter_usage", messages::kWrongParameterUsage, M},
            {"variable_must_be_defined", messages::kVariableMustBeDefined, M},
            {"internal_error", messages::kInternalError, M},
            {"main_class_not_loaded", messages::kMainClassNotLoaded, M},
            {"main_method_not_found", messages::kMainMethodNotFound, M},
            {"error_word", messages::kErrorWord, M},
            {"ok", messages::kOk, M},
            {"error_starting_up", messages::kErrorStartingUp, M},
            {"power_user_required", messages::kPowerUserRequired, M},
            {"no_jvm_bitness", messages::kNoJvmBitness, M},
            {"variable_not_working_jvm32", messages::kVariableNotWorkingJvm32, M},
            {"variable_not_working_jvm64", messages::kVariableNotWorkingJvm64, M},
            {"jvm_damaged32", messages::kJvmDamaged32, M},
            {"jvm_damaged64", messages::kJvmDamaged64, M},
            {"could_not_unpack_jvm", messages::kCouldNotUnpackJvm, M},
            {"downloading_runtime", messages::kDownloadingRuntime, M},
            {"cannot_init_wininet", messages::kCannotInitWininet, M},
            {"download_error", messages::kDownloadError, M},
            {"choose_java_exe", messages::kChooseJavaExe, M},
            {"locate_or_download", messages::kLocateOrDownload, M},
            {"locate_only", messages::kLocateOnly, M},
            {"preparing_wizard", messages::kPreparingWizard, M},
            {"download_progress", messages::kDownloadProgress, M},
            {"initializing_connection", messages::kInitializingConnection, M},
            {"download_button", messages::kDownloadButton, M},
            {"locate_button", messages::kLocateButton, M},
            {"cancel_button", messages::kCancelButton, M},
            {"wizard_title", messages::kWizardTitle, M},
            {"vm_not_started_restart", messages::kVmNotStartedRestart, M},
            {"last_run_failed", messages::kLastRunFailed, M},
            {"installation_corrupted", messages::kInstallationCorrupted, M},
            {"not_enough_disk_space", messages::kNotEnoughDiskSpace, M},
            {"minimum_version", messages::kMinimumVersion, M},
            {"maximum_version", messages::kMaximumVersion, M},
        };
    }();
    return aliases;
}

namespace {

constexpr const char* kGroupRangePrefix = "version_group_range_";
constexpr const char* kGroupOptionsPrefix = "version_group_options_";
// The group keys run on from 10201 and stop before the message keys of 20000 and up.
constexpr int32_t kGroupKeyEnd = 20000;

// Parses the group number after prefix: plain decimal digits, no sign, no leading zero.
bool groupNumber(const std::string& alias, const std::string& prefix, int32_t& group)
{
    if (alias.compare(0, prefix.size(), prefix) != 0 || alias.size() == prefix.size()) return false;
    std::string digits = alias.substr(prefix.size());
    if (digits.size() > 6 || (digits.size() > 1 && digits[0] == '0')) return false;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
    }
    group = static_cast<int32_t>(std::strtol(digits.c_str(), nullptr, 10));
    return true;
}

}  // namespace

bool keyFromAlias(const std::string& alias, KeyKind kind, int32_t& key)
{
    for (const KeyAlias& entry : keyAliases()) {
        if (entry.kind == kind && alias == entry.alias) {
            key = entry.key;
            return true;
        }
    }
    if (kind != KeyKind::Config) return false;
    int32_t group;
    int32_t candidate;
    if (groupNumber(alias, kGroupRangePrefix, group)) {
        candidate = keys::versionGroupRange(group);
    } else if (groupNumber(alias, kGroupOptionsPrefix, group)) {
        candidate = keys::versionGroupOptions(group);
    } else {
        return false;
    }
    if (candidate >= kGroupKeyEnd) return false;
    key = candidate;
    return true;
}

std::string aliasForKey(int32_t key, KeyKind kind)
{
    for (const KeyAlias& entry : keyAliases()) {
        if (entry.kind == kind && entry.key == key) return entry.alias;
    }
    if (kind == KeyKind::Config && key >= keys::versionGroupRange(0) && key < kGroupKeyEnd) {
        int32_t offset = key - keys::versionGroupRange(0);
        return (offset % 2 == 0 ? kGroupRangePrefix : kGroupOptionsPrefix) + std::to_string(offset / 2);
    }
    return std::string();
}
