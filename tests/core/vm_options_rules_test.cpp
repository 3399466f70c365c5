#include "core/vm_options_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "core/splash_rules.h"

namespace {

using Strings = std::vector<std::string>;
using Wides = std::vector<std::u16string>;

TEST(OptionsFile, OnlyMeaningfulLinesSurviveTrimmed)
{
    EXPECT_EQ(optionsFileLines("# comment\n\n   -Xmx512m \t\r\n"), Strings{"-Xmx512m"});
    EXPECT_EQ(optionsFileLines("-Da=1\r\n  # indented comment\n-Db=two words\n-Dc=3"),
              (Strings{"-Da=1", "-Db=two words", "-Dc=3"}));
    EXPECT_EQ(optionsFileLines("-Dx=#not a comment\n"), Strings{"-Dx=#not a comment"});
    EXPECT_TRUE(optionsFileLines("").empty());
    EXPECT_TRUE(optionsFileLines("\n\r\n \t\v\f \n").empty());
    EXPECT_EQ(optionsFileLines("\r-Da=1 \r \n"), Strings{"-Da=1"});  // a return inside the blanks
}

TEST(OptionLine, PrefixesAreCaseSensitiveAndNeedTheirBlank)
{
    struct Case {
        std::u16string line;
        OptionLineKind kind;
        std::u16string value;
    } cases[] = {
        {u"-include-options more.vmoptions", OptionLineKind::IncludeOptions, u"more.vmoptions"},
        {u"-classpath a.jar;b.jar", OptionLineKind::ClassPath, u"a.jar;b.jar"},
        {u"-classpath/p first.jar", OptionLineKind::ClassPathPrepend, u"first.jar"},
        {u"-classpath/a last.jar", OptionLineKind::ClassPathAppend, u"last.jar"},
        {u"-classpath/a", OptionLineKind::Option, u""},
        {u"-CLASSPATH a.jar", OptionLineKind::Option, u""},
        {u"-include-optionsx", OptionLineKind::Option, u""},
        {u"-Xmx1g", OptionLineKind::Option, u""},
    };
    for (const Case& c : cases) {
        std::u16string value;
        EXPECT_EQ(classifyOptionLine(c.line, value), c.kind) << std::string(c.line.begin(), c.line.end());
        if (c.kind != OptionLineKind::Option) {
            EXPECT_EQ(value, c.value);
        }
    }
}

TEST(OptionLine, IncludeOptionsTakesTheNextArgumentUnlessLast)
{
    EXPECT_EQ(joinIncludeOptions({u"-Xmx1g", u"-include-options", u"a b.vmoptions", u"-Dx"}),
              (Wides{u"-Xmx1g", u"-include-options a b.vmoptions", u"-Dx"}));
    EXPECT_EQ(joinIncludeOptions({u"-Dx", u"-include-options"}), (Wides{u"-Dx", u"-include-options"}));
    EXPECT_EQ(joinIncludeOptions({u"-include-options", u"last"}), (Wides{u"-include-options last"}));
}

TEST(VersionGroups, MajorNumberSkipsTheLeadingOne)
{
    EXPECT_EQ(javaMajorVersion("1.8.0_172"), 8);
    EXPECT_EQ(javaMajorVersion("11.0.2"), 11);
    EXPECT_EQ(javaMajorVersion("17"), 17);
    EXPECT_EQ(javaMajorVersion("1"), 1);
    EXPECT_EQ(javaMajorVersion("1.8"), 8);
    EXPECT_EQ(javaMajorVersion(""), -1);
}

TEST(VersionGroups, Wildcards)
{
    EXPECT_TRUE(wildcardMatch("1.8*", "1.8.0_172"));
    EXPECT_FALSE(wildcardMatch("1.7*", "1.8.0_172"));
    EXPECT_TRUE(wildcardMatch("1.?.0*_172", "1.8.0_172"));
    EXPECT_FALSE(wildcardMatch("1.8", "1.8.0_172"));  // the whole text must match
    EXPECT_TRUE(wildcardMatch("1*0*2", "11.0.2"));
    EXPECT_FALSE(wildcardMatch("1*0*3", "11.0.2"));
    EXPECT_TRUE(wildcardMatch("*", ""));
    EXPECT_FALSE(wildcardMatch("?", ""));
    // A "*" in the text is matched by a wildcard, never taken as the pattern's literal.
    EXPECT_TRUE(wildcardMatch("*", "**"));
    EXPECT_TRUE(wildcardMatch("*b", "*ab"));
    EXPECT_TRUE(wildcardMatch("a*", "a*"));
    EXPECT_FALSE(wildcardMatch("*c", "*ab"));
    // A first try that fails part-way goes back to the "*" and on one character.
    EXPECT_TRUE(wildcardMatch("*ab", "aab"));
    EXPECT_TRUE(wildcardMatch("x*ab", "xaab"));
    EXPECT_FALSE(wildcardMatch("ab*bx", "abx"));  // ... never back into what came before the "*"
    EXPECT_FALSE(wildcardMatch("*abc", "abxc"));  // ... and with the pattern after the "*" whole again
}

TEST(VersionGroups, RangesCompareTheMajorNumber)
{
    VersionCondition old = evaluateVersionCondition("9-100000", "1.8.0_172", javaMajorVersion("1.8.0_172"));
    EXPECT_EQ(old.kind, VersionCondition::Kind::Range);
    EXPECT_EQ(old.min, 9);
    EXPECT_EQ(old.max, 100000);
    EXPECT_FALSE(old.matches);
    EXPECT_TRUE(evaluateVersionCondition("9-100000", "11.0.2", 11).matches);
    EXPECT_TRUE(evaluateVersionCondition("8-8", "1.8.0_172", 8).matches);
    EXPECT_TRUE(evaluateVersionCondition("*1.8*", "1.8.0_172", 8).matches);
    EXPECT_FALSE(evaluateVersionCondition("*1.7*", "1.8.0_172", 8).matches);
    VersionCondition marked = evaluateVersionCondition("*1.8*", "11.8.0", 11);  // the first "*" only marks
    EXPECT_EQ(marked.kind, VersionCondition::Kind::Wildcard);
    EXPECT_FALSE(marked.matches);
    VersionCondition noDash = evaluateVersionCondition("11", "11.0.2", 11);
    EXPECT_EQ(noDash.kind, VersionCondition::Kind::MissingDash);
    EXPECT_FALSE(noDash.matches);
}

TEST(PathEntries, TypeRequirementAndArgument)
{
    std::vector<PathEntry> entries = parsePathEntries("A1lib\\app.jar;;E0EXTRA_CP;S2ext;X;R1");
    ASSERT_EQ(entries.size(), 4u);  // "R1": an empty argument still makes an entry
    EXPECT_EQ(entries[0].type, 'A');
    EXPECT_TRUE(entries[0].required);
    EXPECT_EQ(entries[0].argument, "lib\\app.jar");
    EXPECT_EQ(entries[1].type, 'E');
    EXPECT_FALSE(entries[1].required);
    EXPECT_EQ(entries[1].argument, "EXTRA_CP");
    EXPECT_EQ(entries[2].type, 'S');
    EXPECT_FALSE(entries[2].required);  // only "1" is required
    // An entry's own list of paths: empty parts are dropped, not made the current directory.
    EXPECT_EQ(splitPathList(";a;;b;"), (std::vector<std::string>{"a", "b"}));
}

TEST(PathEntries, JoinsEndInOneSeparator)
{
    for (const auto& [value, part] : {std::pair{"", ";"}, {"a", "a;"}, {"a;", "a;"}, {"\"a;\"", "a;"}, {"\"a\"", "a;"}})
        EXPECT_EQ(environmentPathPart(value), part) << value;
    for (const auto& [classPath, joined] : {std::pair{"", ";b"}, {"a", "a;b"}, {"a;", "a;b"}}) {
        std::string path = classPath;
        appendToClassPath(path, "b");
        EXPECT_EQ(path, joined) << classPath;
    }
}

TEST(ModuleOptions, AddModulesNamesTheMainClassOnlyFromTheModulePath)
{
    // A class in a named module: its package is opened to the runtime, and the module is added.
    EXPECT_EQ(modulePathOptions("m;", "my.app/com.example.Main", true, true),
              (Strings{"--module-path=m;", "--add-opens=my.app/com.example=com.stowline.runtime",
                       "--add-modules=my.app,com.stowline.runtime"}));
    // No package after the module's slash: nothing to open.
    EXPECT_EQ(modulePathOptions("m;", "app/Main", true, true),
              (Strings{"--module-path=m;", "--add-modules=app/Main,com.stowline.runtime"}));
    EXPECT_EQ(modulePathOptions("m;", "com.example.Main", true, true),
              (Strings{"--module-path=m;", "--add-modules=com.example.Main,com.stowline.runtime"}));
    EXPECT_EQ(modulePathOptions("m;", "my.app/com.example.Main", false, true),
              (Strings{"--module-path=m;", "--add-modules=com.stowline.runtime"}));
    EXPECT_TRUE(modulePathOptions("", "my.app/com.example.Main", true, false).empty());
}

TEST(ModuleOptions, OptionsTakingAValueAreJoinedWithIt)
{
    Strings options{"--add-opens", "java.desktop/java.awt=ALL-UNNAMED", "-Xmx1g", "--limit-modules", "--add-reads",
                    "--patch-module"};
    joinModuleOptions(options);
    EXPECT_EQ(options, (Strings{"--add-opens=java.desktop/java.awt=ALL-UNNAMED", "-Xmx1g",
                                "--limit-modules=--add-reads", "--patch-module"}));
    Strings untouched{"--add-opens=x=y", "--module-path", "p"};
    joinModuleOptions(untouched);
    EXPECT_EQ(untouched, (Strings{"--add-opens=x=y", "--module-path", "p"}));
    Strings valueLast{"--add-modules", "last"};
    joinModuleOptions(valueLast);
    EXPECT_EQ(valueLast, Strings{"--add-modules=last"});
}

TEST(LauncherProperties, FixedOrderAndOptionalEntries)
{
    LauncherProperties properties;
    properties.semaphoreName = "Local\\c:_x_setup.exe0";
    properties.manualJre = true;
    properties.installer = true;
    properties.executablePath = "c:\\x\\setup.exe";
    properties.temporaryDirectory = "c:\\t\\tlw1.tmp_dir5";
    properties.unextractedPosition = 123456;
    properties.path = "c:\\jre\\bin;c:\\windows";
    properties.consoleCodePage = 850;
    EXPECT_EQ(launcherPropertyOptions(properties),
              (Strings{"-Dtallow.semaphoreName=Local\\c:_x_setup.exe0", "-Dtallow.manualJre=true",
                       "-Dtallow.isStowline=true", "-Dtallow.moduleName=c:\\x\\setup.exe",
                       "-Dsun.java.command=c:\\x\\setup.exe", "-Dtallow.tempDir=c:\\t\\tlw1.tmp_dir5",
                       "-Dtallow.unextractedPosition=123456", "-Djava.library.path=c:\\jre\\bin;c:\\windows",
                       "-Dtallow.consoleCodepage=cp850"}));

    LauncherProperties plain;
    plain.manpathSet = true;
    plain.unextractedPosition = -1;
    Strings options = launcherPropertyOptions(plain);
    ASSERT_EQ(options.size(), 5u);
    EXPECT_EQ(options[0], "-Dtallow.moduleName=");
    EXPECT_EQ(options[3], "-Dtallow.unextractedPosition=-1");
    EXPECT_EQ(options[4], "-Djava.library.path=");
}

TEST(LauncherProperties, LibraryPathIsCut)
{
    LauncherProperties properties;
    properties.path = std::string(20000, 'p');
    Strings options = launcherPropertyOptions(properties);
    auto library = std::find_if(options.begin(), options.end(),
                                [](const std::string& o) { return o.rfind("-Djava.library.path=", 0) == 0; });
    ASSERT_NE(library, options.end());
    EXPECT_EQ(library->size(), kLibraryPathOptionLimit);
}

TEST(StackSize, XssOptions)
{
    struct Case {
        Strings options;
        uint64_t size;
    } cases[] = {
        {{}, 0},
        {{"-Xmx1g"}, 0},
        {{"-Xss32k"}, 65536},
        {{"-Xss2m"}, 2097152},                 {{"-Xss12345k"}, 12641280},
        {{"-Xss1k", "-Xss4m"}, 4194304},
        {{"-Xss4m", "-Xss0"}, 4194304},        // only positive values count
        {{"-Xss4m", "-Xssfoo"}, 4194304},      // nor texts that do not parse
        {{"-Xss10mb"}, 0},                     // more than one character after the digits
        {{"-Xss3x"}, 0},                       {{"-Xss1:"}, 0},
        {{"-Xss"}, 0},
        {{"-Xss1G"}, 1073741824},              {{"-Xss2g"}, 2147483648ull},
        {{"-Xss1t"}, 1099511627776ull},        {{"-Xss1T"}, 1099511627776ull},
        {{"-Xss64K"}, 65536},                  {{"-Xss1M"}, 1048576},
        {{"-Xss65535"}, 65536},                {{"-Xss65537"}, 65537},  // the least size and one past it
        {{"-Xss/"}, 0},                        {{"-Xss17179869183g"}, 18446744072635809792ull},  // the largest in G
        {{"-Xss1000"}, 65536},                 {{"-Xss1"}, 65536},
        {{"-Xss99999999999999999999"}, 0},     // overflow is not a size
        {{"-Xss18446744073709551615"}, UINT64_MAX}, {{"-Xss18446744073709551617"}, 0},
        {{"-Xss20000000000000t"}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stackSizeFromOptions(c.options), c.size) << (c.options.empty() ? "none" : c.options.back());
}

TEST(MainArguments, TheLastLocaleSwitchAfterTheProgramName)
{
    const std::u16string on = u"-Dsun.locale.formatasdefault=true";
    EXPECT_EQ(lastLocaleSwitch({}), -1);
    EXPECT_EQ(lastLocaleSwitch({on}), -1);  // the program's name is not a switch
    EXPECT_EQ(lastLocaleSwitch({u"p", on}), 1);
    EXPECT_EQ(lastLocaleSwitch({u"p", on, u"x", on + u"x"}), 3);
    EXPECT_EQ(lastLocaleSwitch({u"p", u"-Dsun.locale.formatasdefault"}), -1);
}

TEST(MainArguments, FixedArgumentsThenProgramConfiguredAndCommandLine)
{
    MainArgumentInputs inputs;
    inputs.launcherType = 1;
    inputs.mainClass = u"com.example.Main";
    inputs.errorFile = u"c:\\x\\err.txt";
    inputs.appendRedirection = true;
    inputs.arguments = {u"setup.exe", u"-J-Xmx1g", u"a", u"-Dsun.locale.formatasdefault=true", u"b"};
    inputs.configured = {u"-c1", u"c 2"};
    inputs.javaOptionArguments = true;
    EXPECT_EQ(mainArguments(inputs), (Wides{u"true", u"com.example.Main", u"c:\\x\\err.txt", u"", u"true",
                                            u"setup.exe", u"-c1", u"c 2", u"a", u"b"}));

    inputs.javaOptionArguments = false;
    inputs.launcherType = 5;
    inputs.mainFromModulePath = true;
    inputs.appendRedirection = false;
    Wides plain = mainArguments(inputs);
    EXPECT_EQ(plain[0], u"false");
    EXPECT_EQ(plain[1], u"/com.example.Main");
    EXPECT_EQ(plain[4], u"false");
    EXPECT_EQ(Wides(plain.begin() + 8, plain.end()), (Wides{u"-J-Xmx1g", u"a", u"b"}));
}

TEST(Splash, StartOffsetAndSearchOrder)
{
    EXPECT_EQ(splashStartOffset(splashScaleFactor(120)), 1);
    EXPECT_EQ(splashStartOffset(splashScaleFactor(144)), 2);
    EXPECT_EQ(splashStartOffset(splashScaleFactor(192)), 4);
    EXPECT_DOUBLE_EQ(splashScaleFactor(0), 1.0);
    EXPECT_DOUBLE_EQ(splashScaleFactor(1), 1 / 96.0);  // the least DPI taken as given
    EXPECT_LT(splashScaleFactor(2), 1.0);
    EXPECT_EQ(splashStartOffset(1.2499), 0);  // a quarter step just missed stays below
    EXPECT_EQ(splashStartOffset(1.25), 1);

    auto present = [](std::initializer_list<int> offsets) {
        std::vector<int> set(offsets);
        return [set](int offset) { return std::find(set.begin(), set.end(), offset) != set.end(); };
    };
    EXPECT_EQ(chooseSplashOffset(2, present({0, 4})), 4);     // upward first
    EXPECT_EQ(chooseSplashOffset(2, present({0, 1})), 1);     // then downward to 1
    EXPECT_EQ(chooseSplashOffset(2, present({0})), 0);
    EXPECT_EQ(chooseSplashOffset(1, present({0, 1, 4})), 1);
    EXPECT_EQ(chooseSplashOffset(0, present({0, 1})), 0);
    EXPECT_EQ(chooseSplashOffset(70, present({0, 64})), 64);  // beyond the last image
    EXPECT_EQ(chooseSplashOffset(3, present({0, 64})), 64);
}

TEST(Splash, AbsurdDpiIsHeldAtTheLastImage)
{
    const double infinity = std::numeric_limits<double>::infinity();
    for (double dpi : {1632.0, 1633.0, 1e9, 1e117, infinity}) {
        double scale = splashScaleFactor(dpi);
        EXPECT_LE(scale, splashImageScale(kSplashMaxOffset)) << dpi;
        EXPECT_LE(splashStartOffset(scale), kSplashMaxOffset + 1) << dpi;
    }
    EXPECT_DOUBLE_EQ(splashScaleFactor(std::numeric_limits<double>::quiet_NaN()), 1.0);
    EXPECT_EQ(splashStartOffset(infinity), kSplashMaxOffset + 1);
    EXPECT_EQ(splashStartOffset(-infinity), -44);
    EXPECT_EQ(splashStartOffset(std::numeric_limits<double>::quiet_NaN()), 0);
    // The search asks only about offsets that can exist, however far past them it starts.
    for (int start : {kSplashMaxOffset + 1, 1000000000, -5}) {
        int asked = 0;
        bool outside = false;
        int chosen = chooseSplashOffset(start, [&](int offset) {
            ++asked;
            outside = outside || offset < 0 || offset > kSplashMaxOffset;
            return false;
        });
        EXPECT_EQ(chosen, 0);
        EXPECT_FALSE(outside) << start;
        EXPECT_LE(asked, kSplashMaxOffset + 1) << start;
    }
}

TEST(Splash, RescaleOnlyOutsideTenPercent)
{
    EXPECT_TRUE(splashNeedsRescale(1.5, splashImageScale(4)));   // 0.75
    EXPECT_FALSE(splashNeedsRescale(1.25, splashImageScale(1)));
    EXPECT_FALSE(splashNeedsRescale(2.15, splashImageScale(4)));
    EXPECT_TRUE(splashNeedsRescale(2.25, splashImageScale(4)));
    EXPECT_FALSE(splashNeedsRescale(1.1, 1.0));  // ten percent exactly is still close enough
    EXPECT_FALSE(splashNeedsRescale(0.9, 1.0));
}

}  // namespace
