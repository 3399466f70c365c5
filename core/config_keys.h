// Every key of the config block, by number. Nothing else in the tree spells a key number.
#pragma once

#include <cstdint>

namespace keys {

// Settings (narrow text entries).
constexpr int32_t kRedirectStderr = 102;         // flag: redirect the Java program's standard error
constexpr int32_t kStderrFile = 103;             // text, expanded: standard error file
constexpr int32_t kRedirectStdout = 104;         // flag: redirect standard output
constexpr int32_t kStdoutFile = 105;             // text, expanded: standard output file
constexpr int32_t kRedirectAppend = 106;         // flag: handed to Java with the redirection settings
constexpr int32_t kLauncherType = 107;           // int: 1 GUI; 1 and 5 show errors in message boxes
constexpr int32_t kSplashThroughJava = 108;      // flag: splash through com/tallow/runtime/WinLauncher
constexpr int32_t kClassPath = 121;              // list: class path entries
constexpr int32_t kMainClass = 122;              // text: main class name
constexpr int32_t kVmOptions = 123;              // text, expanded: VM options
constexpr int32_t kDefaultArguments = 124;       // text: default program arguments
constexpr int32_t kJavaOptionArguments = 125;    // flag: "-J" arguments become VM options
constexpr int32_t kMinJavaVersion = 126;         // text
constexpr int32_t kMaxJavaVersion = 127;         // text
constexpr int32_t kJvmSearchSequence = 128;      // list
constexpr int32_t kAllowBetaVm = 130;            // flag
constexpr int32_t kRequireJdk = 131;             // flag
constexpr int32_t kModulePath = 132;             // list: module path entries
constexpr int32_t kMainFromModulePath = 133;     // flag
constexpr int32_t kTrustSearchListDirectories = 134;  // flag: A/B/R entries pass without a version check
constexpr int32_t kWorkingDirectory = 146;       // text, expanded
constexpr int32_t kDownloadUrl = 150;            // text: runtime download address
constexpr int32_t kIncludedRuntimeSize = 151;    // int: content size of the included runtime archive
constexpr int32_t kJvmSubdirectory = 152;        // text: VM sub-directory tried first
constexpr int32_t kUnpackRuntimeJars = 153;      // flag: included runtime has packed archives
constexpr int32_t kNoProgressDialog = 155;       // flag: work flow without the progress dialog
constexpr int32_t kDownloadWithoutAsking = 157;  // flag
constexpr int32_t kGlobalSemaphore = 158;        // flag: "Global\" instead of "Local\"
constexpr int32_t kInterruptedStartCheck = 159;  // flag
constexpr int32_t kApplicationId = 160;          // text: id under ...\installations
constexpr int32_t kPreferInstalledRuntime = 161; // flag: with an included runtime, try an installed one first
constexpr int32_t kSplashSetting = 163;          // int
constexpr int32_t kMarkedRuntimesOnly = 165;    // int: non-zero skips the Java registry keys and unmarked located runtimes
constexpr int32_t kReadDefaultVmOptions = 166;   // flag: also read the default .vmoptions file
constexpr int32_t kSharedJvmKey = 167;           // text: key under ...\sharedjvms\ (sic)
constexpr int32_t kAdmitMarkedRuntimes = 168;   // flag: located runtimes marked "stw_jres" are admitted
constexpr int32_t kProductKind = 2001;           // text: first character "e" selects tallow
constexpr int32_t kIncludedFileCount = 2002;     // int
constexpr int32_t kIncludedFileNames = 2003;     // list, payload order
constexpr int32_t kRuntimeConfigDirectory = 10003;  // text: holds .stowline\pref_jre.cfg and inst_jre.cfg
constexpr int32_t kNativeLibraryDirectories = 10004;  // text
constexpr int32_t kSingleInstance = 10005;       // flag
constexpr int32_t kActivateFirstInstance = 10008;  // flag
constexpr int32_t kLongTempPaths = 10009;        // flag
constexpr int32_t kReducePath = 10010;           // flag
constexpr int32_t kClearJavaOptionVariables = 10012;  // flag
// Splash text lines handed to the Java side (font names 10112 and 10119 are not read).
constexpr int32_t kSplashFirstLineX = 10109;          // int
constexpr int32_t kSplashFirstLineY = 10110;          // int
constexpr int32_t kSplashFirstLineText = 10111;       // text
constexpr int32_t kSplashFirstLineFontSize = 10113;   // int
constexpr int32_t kSplashFirstLineColor = 10114;      // text: "red,green,blue"
constexpr int32_t kSplashFirstLineSetting = 10115;    // int, meaning given by the Java side
constexpr int32_t kSplashSecondLineX = 10116;         // int
constexpr int32_t kSplashSecondLineY = 10117;         // int
constexpr int32_t kSplashSecondLineText = 10118;      // text, e.g. a version text
constexpr int32_t kSplashSecondLineFontSize = 10120;  // int
constexpr int32_t kSplashSecondLineColor = 10121;     // text
constexpr int32_t kSplashSecondLineSetting = 10122;   // int, meaning given by the Java side
// Version-specific VM option groups: count, then per group i a range (10201 + 2i) and options (10202 + 2i).
constexpr int32_t kVersionGroupCount = 10200;
constexpr int32_t versionGroupRange(int32_t group) { return 10201 + 2 * group; }
constexpr int32_t versionGroupOptions(int32_t group) { return 10202 + 2 * group; }

// Keys a block may carry that the launcher never reads.
constexpr int32_t kApplicationName = 101;

}  // namespace keys

namespace messages {

constexpr int32_t kErrorTitle = 1000;
constexpr int32_t kNoJvm = 1001;
constexpr int32_t kJvmInPathDamaged = 1002;
constexpr int32_t kVariableNotWorkingJvm = 1003;
constexpr int32_t kJvmDamaged = 1004;
constexpr int32_t kJvmNotStarted = 1005;
constexpr int32_t kFileNotFound = 1006;
constexpr int32_t kWrongParameterUsage = 1007;
constexpr int32_t kVariableMustBeDefined = 1008;
constexpr int32_t kInternalError = 1009;
constexpr int32_t kMainClassNotLoaded = 1010;
constexpr int32_t kMainMethodNotFound = 1011;
constexpr int32_t kErrorWord = 1012;
constexpr int32_t kOk = 1013;
constexpr int32_t kErrorStartingUp = 1014;
constexpr int32_t kPowerUserRequired = 1015;
constexpr int32_t kNoJvmBitness = 1016;
constexpr int32_t kVariableNotWorkingJvm32 = 1017;
constexpr int32_t kVariableNotWorkingJvm64 = 1018;
constexpr int32_t kJvmDamaged32 = 1019;
constexpr int32_t kJvmDamaged64 = 1020;
constexpr int32_t kCouldNotUnpackJvm = 1021;
constexpr int32_t kDownloadingRuntime = 20001;
constexpr int32_t kCannotInitWininet = 20002;
constexpr int32_t kDownloadError = 20003;
constexpr int32_t kChooseJavaExe = 20004;
constexpr int32_t kLocateOrDownload = 20005;
constexpr int32_t kLocateOnly = 20006;
constexpr int32_t kPreparingWizard = 20007;
constexpr int32_t kDownloadProgress = 20008;
constexpr int32_t kInitializingConnection = 20009;
constexpr int32_t kDownloadButton = 20010;
constexpr int32_t kLocateButton = 20011;
constexpr int32_t kCancelButton = 20012;
constexpr int32_t kWizardTitle = 20013;
constexpr int32_t kVmNotStartedRestart = 20014;
constexpr int32_t kLastRunFailed = 20015;
constexpr int32_t kInstallationCorrupted = 20016;
constexpr int32_t kNotEnoughDiskSpace = 20018;
constexpr int32_t kMinimumVersion = 20019;
constexpr int32_t kMaximumVersion = 20020;

}  // namespace messages

// Internal error codes shown with messages::kInternalError.
namespace internal_errors {
constexpr int kNoTemporaryDirectory = 7;
constexpr int kExtractedFileNotCreated = 11;
}  // namespace internal_errors
