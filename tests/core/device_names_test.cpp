#include "core/device_names.h"

#include <gtest/gtest.h>

#include "core/payload_names.h"
#include "core/tar_format.h"
#include "core/text.h"

// One device rule behind both the payload name check (UTF-16) and the tar name check
// (Windows-1252 bytes): every case is run through both.
TEST(DeviceNames, TheTarAndPayloadChecksRefuseTheSameDevices)
{
    struct Case {
        const char* cp1252;
        bool device;
    };
    const Case cases[] = {
        {"CON", true},        {"conin$", true},     {"CONOUT$.txt", true}, {"nul.tar.gz", true},
        {"AUX  ", true},      {"COM0", true},       {"com9", true},        {"LPT0.log", true},
        {"Lpt9", true},       {"COM\xB9", true},    {"com\xB2.txt", true}, {"LPT\xB3", true},
        {"lpt\xB9 .x", true}, {"COM10", false},     {"COM", false},        {"LPT\xBC", false},
        {"COM\xB4", false},   {"CONIN", false},     {"NULL", false},       {"xCON", false},
        {"aux", true},        {"COM/", false},      {"COM:", false},       {"COMA", false},
        {"COM\xB9" "1", false}, {"C\xD3M1", false}, {"", false},
    };
    for (const Case& c : cases) {
        const std::string narrow = c.cp1252;
        std::u16string wide;
        ASSERT_TRUE(utf8ToUtf16(cp1252ToUtf8(narrow), wide)) << narrow;
        EXPECT_EQ(isDeviceNameCp1252(narrow), c.device) << narrow;
        EXPECT_EQ(isDeviceName(wide), c.device) << narrow;
        if (narrow.empty() || narrow.find_first_of("/:") != std::string::npos) continue;  // refused for those
        EXPECT_EQ(isSafeEntryName("jre\\" + narrow), !c.device) << narrow;
        EXPECT_EQ(isSafePayloadName(u"sub\\" + wide), !c.device) << narrow;
    }
}
