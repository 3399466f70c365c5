// Splash images: the resource search over a real module's RCDATA, the DPI override, and the WIC
// rescaling to PNG (Wine implements WIC, so this runs the real codec path).
#include "windows/splash.h"

#include <wincodec.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "windows/base/wide_text.h"

namespace {

// A PNG of width x height made by WIC itself.
std::vector<uint8_t> makePng(UINT width, UINT height)
{
    std::vector<uint8_t> png;
    IWICImagingFactory* factory = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                                  reinterpret_cast<void**>(&factory))))
        return png;
    std::vector<BYTE> pixels(width * height * 4, 0x80);
    IWICBitmap* bitmap = nullptr;
    IStream* memory = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (SUCCEEDED(factory->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat32bppBGRA, width * 4,
                                                  static_cast<UINT>(pixels.size()), pixels.data(), &bitmap)) &&
        SUCCEEDED(::CreateStreamOnHGlobal(nullptr, TRUE, &memory)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(memory, WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
        SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
        SUCCEEDED(frame->WriteSource(bitmap, nullptr)) && SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit()))
        png = streamBytes(memory);
    if (frame) frame->Release();
    if (encoder) encoder->Release();
    if (memory) memory->Release();
    if (bitmap) bitmap->Release();
    factory->Release();
    return png;
}

bool pngSize(const std::vector<uint8_t>& png, UINT& width, UINT& height)
{
    static const uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 24 || !std::equal(std::begin(kSignature), std::end(kSignature), png.begin())) return false;
    auto bigEndian = [&](size_t at) {
        return (UINT(png[at]) << 24) | (UINT(png[at + 1]) << 16) | (UINT(png[at + 2]) << 8) | UINT(png[at + 3]);
    };
    width = bigEndian(16);
    height = bigEndian(20);
    return true;
}

class SplashImages : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    static void TearDownTestSuite() { ::CoUninitialize(); }
};

TEST_F(SplashImages, RescalingEncodesAPngOfTheNewSize)
{
    std::vector<uint8_t> original = makePng(40, 20);
    ASSERT_FALSE(original.empty());
    IStream* scaled = rescaleImage(original.data(), original.size(), 0.75);
    ASSERT_NE(scaled, nullptr);
    std::vector<uint8_t> bytes = streamBytes(scaled);
    scaled->Release();
    UINT width = 0, height = 0;
    ASSERT_TRUE(pngSize(bytes, width, height));
    EXPECT_EQ(width, 30u);
    EXPECT_EQ(height, 15u);

    IStream* larger = rescaleImage(original.data(), original.size(), 1.6);
    ASSERT_NE(larger, nullptr);
    ASSERT_TRUE(pngSize(streamBytes(larger), width, height));
    larger->Release();
    EXPECT_EQ(width, 64u);
    EXPECT_EQ(height, 32u);
}

TEST_F(SplashImages, BytesThatAreNoImageGiveNoStream)
{
    const char garbage[] = "not an image at all";
    EXPECT_EQ(rescaleImage(garbage, sizeof garbage, 0.75), nullptr);
    std::vector<uint8_t> original = makePng(2, 2);
    EXPECT_EQ(rescaleImage(original.data(), original.size(), 0.1), nullptr);  // nothing left to draw
}

// A copy of this test program with splash resources added, loaded as a data file.
class SplashResources : public ::testing::Test {
protected:
    HMODULE withImages(const std::vector<int>& offsets)
    {
        wchar_t temp[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, temp);
        copy = std::wstring(temp) + L"splash_test_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
               std::to_wstring(++copies) + L".exe";
        if (!::CopyFileW(moduleFileName().c_str(), copy.c_str(), FALSE)) return nullptr;
        HANDLE update = ::BeginUpdateResourceW(copy.c_str(), FALSE);
        if (update == nullptr) return nullptr;
        for (int offset : offsets) {
            std::string image = "image " + std::to_string(offset);
            ::UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(10000 + offset),
                              MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), image.data(), static_cast<DWORD>(image.size()));
        }
        if (!::EndUpdateResourceW(update, FALSE)) return nullptr;
        module = ::LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        return module;
    }
    void TearDown() override
    {
        if (module) ::FreeLibrary(module);
        if (!copy.empty()) ::DeleteFileW(copy.c_str());
    }
    std::wstring copy;
    HMODULE module = nullptr;
    int copies = 0;
};

TEST_F(SplashResources, ChoiceAtCommonScales)
{
    HMODULE images = withImages({0, 1, 4});
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(findSplashOffset(images, 1.25), 1);  // used as stored: ratio 1
    EXPECT_EQ(findSplashOffset(images, 1.5), 4);   // upward before downward
    EXPECT_EQ(findSplashOffset(images, 2.0), 4);
    EXPECT_EQ(findSplashOffset(images, 3.0), 4);   // nothing above 8: down to the highest below
    std::vector<uint8_t> bytes = splashResource(images, 10004);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "image 4");
    EXPECT_TRUE(splashResource(images, 10002).empty());
}

TEST_F(SplashResources, OnlyTheBaseImage)
{
    HMODULE images = withImages({0});
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(findSplashOffset(images, 1.5), 0);
    EXPECT_EQ(findSplashOffset(images, 2.0), 0);
}

TEST(SplashDpi, UiScaleVariableIsTheDpi)
{
    // Read once per process: this is the only test that asks.
    ::SetEnvironmentVariableW(L"J2D_UISCALE", L"192");
    EXPECT_DOUBLE_EQ(primaryMonitorDpi(), 192.0);
    ::SetEnvironmentVariableW(L"J2D_UISCALE", L"96");
    EXPECT_DOUBLE_EQ(primaryMonitorDpi(), 192.0);
    ::SetEnvironmentVariableW(L"J2D_UISCALE", nullptr);
}

}  // namespace
