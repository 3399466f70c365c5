#include "windows/splash.h"

#include <initguid.h>  // defines the WIC class and container GUIDs in this file

#include <d2d1.h>
#include <wincodec.h>

#include <cerrno>
#include <cstdlib>

#include "core/splash_rules.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"
#include "windows/native_log.h"

namespace {

using SplashInitFn = void (*)();
using SplashLoadMemoryFn = int (*)(void* bytes, int size);
using SplashSetScaleFactorFn = void (*)(float factor);
using SplashCloseFn = void (*)();
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR monitor, int dpiType, UINT* dpiX, UINT* dpiY);
using D2D1CreateFactoryFn = HRESULT(WINAPI*)(D2D1_FACTORY_TYPE type, REFIID riid, const void* options, void** factory);

constexpr int kEffectiveDpi = 0;                // MDT_EFFECTIVE_DPI
constexpr int kHighQualityCubic = 4;            // WICBitmapInterpolationModeHighQualityCubic
constexpr int kFant = WICBitmapInterpolationModeFant;

struct SplashState {
    bool uiScaleRead = false;
    double uiScale = 0;
    bool shcoreTried = false;
    GetDpiForMonitorFn getDpiForMonitor = nullptr;
    SplashInitFn init = nullptr;
    SplashLoadMemoryFn loadMemory = nullptr;
    SplashSetScaleFactorFn setScaleFactor = nullptr;
    SplashCloseFn close = nullptr;
    bool shown = false;
};

SplashState& state()
{
    static SplashState* splash = new SplashState();
    return *splash;
}

// The DPI from J2D_UISCALE: a positive decimal number; anything else is ignored (0).
double uiScaleDpi()
{
    SplashState& splash = state();
    if (splash.uiScaleRead) return splash.uiScale;
    splash.uiScaleRead = true;
    char value[64];
    DWORD length = ::GetEnvironmentVariableA("J2D_UISCALE", value, sizeof value);
    if (length == 0 || length >= sizeof value) return 0;
    errno = 0;
    char* end = nullptr;
    long number = std::strtol(value, &end, 10);
    if (end == value || errno == ERANGE || number <= 0 || number > 100000) return 0;
    splash.uiScale = static_cast<double>(number);
    return splash.uiScale;
}

double direct2dDesktopDpi()
{
    unique_module d2d(loadSystemLibrary(L"d2d1.dll"));
    if (!d2d) {
        logInfo(L"could not load D2d1.dll %d", static_cast<int>(::GetLastError()));
        return 0;
    }
    auto create = boundFunction<D2D1CreateFactoryFn>(d2d.get(), "D2D1CreateFactory");
    if (create == nullptr) {
        logInfo(L"did not find D2D1CreateFactory");
        return 0;
    }
    ID2D1Factory* factory = nullptr;
    if (FAILED(create(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                      reinterpret_cast<void**>(&factory))) ||
        factory == nullptr)
        return 0;
    FLOAT x = 0, y = 0;
    factory->GetDesktopDpi(&x, &y);
    factory->Release();
    return x;
}

int windowsMajorVersion(int* minor)
{
    OSVERSIONINFOEXW info;
    if (!realWindowsVersion(info)) return *minor = 0, 0;
    *minor = static_cast<int>(info.dwMinorVersion);
    return static_cast<int>(info.dwMajorVersion);
}

template <typename T>
void release(T*& object)
{
    if (object != nullptr) object->Release();
    object = nullptr;
}

// Scaler initialised for ratio with the best mode the system offers.
HRESULT initializeScaler(IWICBitmapScaler* scaler, IWICBitmapFrameDecode* frame, UINT width, UINT height)
{
    int minor = 0;
    int major = windowsMajorVersion(&minor);
    int mode = major >= 10 ? kHighQualityCubic : kFant;
    HRESULT result = scaler->Initialize(frame, width, height, static_cast<WICBitmapInterpolationMode>(mode));
    if (FAILED(result) && major >= 10) {
        mode = kFant;
        result = scaler->Initialize(frame, width, height, static_cast<WICBitmapInterpolationMode>(mode));
    }
    logInfo(L"interpolation mode %d %d %d %p", mode, major, minor, reinterpret_cast<void*>(static_cast<INT_PTR>(result)));
    return result;
}

IStream* encodeScaled(IWICImagingFactory* factory, const void* bytes, size_t size, double ratio)
{
    IWICStream* input = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapScaler* scaler = nullptr;
    IStream* memory = nullptr;
    IWICStream* output = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* target = nullptr;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};
    bool done =
        size <= MAXDWORD && SUCCEEDED(factory->CreateStream(&input)) &&
        SUCCEEDED(input->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), static_cast<DWORD>(size))) &&
        SUCCEEDED(factory->CreateDecoderFromStream(input, nullptr, WICDecodeMetadataCacheOnLoad, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(factory->CreateBitmapScaler(&scaler)) &&
        SUCCEEDED(frame->GetSize(&width, &height)) && SUCCEEDED(frame->GetPixelFormat(&format));
    UINT scaledWidth = static_cast<UINT>(width * ratio), scaledHeight = static_cast<UINT>(height * ratio);
    done = done && scaledWidth > 0 && scaledHeight > 0 &&
           SUCCEEDED(initializeScaler(scaler, frame, scaledWidth, scaledHeight)) &&
           SUCCEEDED(::CreateStreamOnHGlobal(nullptr, TRUE, &memory)) && SUCCEEDED(factory->CreateStream(&output)) &&
           SUCCEEDED(output->InitializeFromIStream(memory)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
           SUCCEEDED(encoder->Initialize(output, WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(&target, nullptr)) && SUCCEEDED(target->Initialize(nullptr)) &&
           SUCCEEDED(target->SetPixelFormat(&format)) && SUCCEEDED(target->WriteSource(scaler, nullptr)) &&
           SUCCEEDED(target->Commit()) && SUCCEEDED(encoder->Commit());
    release(target);
    release(encoder);
    release(output);
    release(scaler);
    release(frame);
    release(decoder);
    release(input);
    // A half-written stream is no image: the caller falls back to the unscaled one.
    if (!done) release(memory);
    return memory;
}

// Calls SplashLoadMemory with the bytes of a stream made by rescaleImage.
bool loadScaledImage(IStream* stream, int* result, void** data, int* size)
{
    HGLOBAL global = nullptr;
    if (FAILED(::GetHGlobalFromStream(stream, &global))) return false;
    void* bytes = ::GlobalLock(global);
    if (bytes == nullptr) return false;
    // The stream's own size: the HGLOBAL may be larger than what the encoder wrote.
    STATSTG status{};
    SIZE_T length = SUCCEEDED(stream->Stat(&status, STATFLAG_NONAME)) ? static_cast<SIZE_T>(status.cbSize.QuadPart)
                                                                       : ::GlobalSize(global);
    *data = bytes;
    *size = static_cast<int>(length);
    *result = state().loadMemory(bytes, static_cast<int>(length));
    ::GlobalUnlock(global);
    return true;
}

}  // namespace

double primaryMonitorDpi()
{
    double uiScale = uiScaleDpi();
    if (uiScale > 0) return uiScale;
    SplashState& splash = state();
    if (!splash.shcoreTried) {
        splash.shcoreTried = true;
        HMODULE shcore = loadSystemLibrary(L"shcore.dll");  // kept loaded for later calls
        if (shcore == nullptr)
            logInfo(L"could not load shcore.dll %d", static_cast<int>(::GetLastError()));
        else if ((splash.getDpiForMonitor = boundFunction<GetDpiForMonitorFn>(shcore, "GetDpiForMonitor")) == nullptr)
            logInfo(L"did not find GetDpiForMonitor");
    }
    if (splash.getDpiForMonitor != nullptr) {
        HMONITOR monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
        UINT x = 0, y = 0;
        if (FAILED(splash.getDpiForMonitor(monitor, kEffectiveDpi, &x, &y))) return 0;
        return x;
    }
    return direct2dDesktopDpi();
}

std::vector<uint8_t> splashResource(HMODULE module, int id)
{
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (resource == nullptr) return {};
    HGLOBAL loaded = ::LoadResource(module, resource);
    DWORD size = ::SizeofResource(module, resource);
    const uint8_t* bytes = loaded ? static_cast<const uint8_t*>(::LockResource(loaded)) : nullptr;
    if (bytes == nullptr) return {};
    return std::vector<uint8_t>(bytes, bytes + size);
}

int findSplashOffset(HMODULE module, double scale)
{
    int start = splashStartOffset(scale);
    logInfo(L"idOffset start %d", start);
    return chooseSplashOffset(start, [module](int offset) {
        return ::FindResourceW(module, MAKEINTRESOURCEW(kSplashResourceBase + offset), MAKEINTRESOURCEW(10)) != nullptr;
    });
}

IStream* rescaleImage(const void* bytes, size_t size, double ratio)
{
    HRESULT initialized = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWICImagingFactory* factory = nullptr;
    IStream* result = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                     __uuidof(IWICImagingFactory), reinterpret_cast<void**>(&factory)))) {
        result = encodeScaled(factory, bytes, size, ratio);
        factory->Release();
    }
    if (SUCCEEDED(initialized)) ::CoUninitialize();
    return result;
}

std::vector<uint8_t> streamBytes(IStream* stream)
{
    HGLOBAL global = nullptr;
    STATSTG status{};
    if (stream == nullptr || FAILED(::GetHGlobalFromStream(stream, &global)) ||
        FAILED(stream->Stat(&status, STATFLAG_NONAME)))
        return {};
    const uint8_t* bytes = static_cast<const uint8_t*>(::GlobalLock(global));
    if (bytes == nullptr) return {};
    std::vector<uint8_t> copy(bytes, bytes + status.cbSize.QuadPart);
    ::GlobalUnlock(global);
    return copy;
}

void showSplash(const std::string& jvmHome, int splashValue)
{
    SplashState& splash = state();
    double scale = splashScaleFactor(primaryMonitorDpi());
    logInfo(L"scale factor %f", scale);
    if (splash.shown) return;
    std::string library = jvmHome + "\\bin\\splashscreen.dll";
    logInfo(L"loading splashscreen dll from %S", library.c_str());
    HMODULE module = ::LoadLibraryA(library.c_str());  // stays loaded while the splash may show
    if (module == nullptr) {
        logError(L"Could not load splashscreen.dll");
        return;
    }
    splash.close = boundFunction<SplashCloseFn>(module, "SplashClose");
    splash.init = boundFunction<SplashInitFn>(module, "SplashInit");
    splash.loadMemory = boundFunction<SplashLoadMemoryFn>(module, "SplashLoadMemory");
    if (!splash.close || !splash.init || !splash.loadMemory) {
        logError(L"Could not find functions in splashscreen.dll");
        return;
    }
    splash.setScaleFactor = boundFunction<SplashSetScaleFactorFn>(module, "SplashSetScaleFactor");
    logInfo(L"splash value %d", splashValue);
    splash.init();

    HMODULE self = ::GetModuleHandleW(nullptr);
    if (splash.setScaleFactor != nullptr && scale > 1) {
        int offset = findSplashOffset(self, scale);
        double imageScale = splashImageScale(offset);
        std::vector<uint8_t> image = splashResource(self, kSplashResourceBase + offset);
        bool loaded = false;
        if (splashNeedsRescale(scale, imageScale) && !image.empty()) {
            double ratio = scale / imageScale;
            logInfo(L"scaling splash image %f", ratio);
            IStream* scaled = rescaleImage(image.data(), image.size(), ratio);
            if (scaled != nullptr) {
                splash.setScaleFactor(static_cast<float>(scale));
                int result = 0, size = 0;
                void* data = nullptr;
                loaded = loadScaledImage(scaled, &result, &data, &size);
                if (loaded)
                    logInfo(L"splash load memory returned 1 %d (%p, %p, %d)", result, scaled, data, size);
                scaled->Release();
            }
        }
        if (!loaded) {
            splash.setScaleFactor(static_cast<float>(imageScale));
            int result = splash.loadMemory(image.data(), static_cast<int>(image.size()));
            logInfo(L"splash load memory returned 2 %d (%p, %p, %d)", result, self, image.data(),
                    static_cast<int>(image.size()));
        }
        logInfo(L"setting scale factor %f", scale);
    } else {
        std::vector<uint8_t> image = splashResource(self, kSplashResourceBase);
        int result = splash.loadMemory(image.data(), static_cast<int>(image.size()));
        logInfo(L"splash load memory returned 3 %d (%p, %p, %d)", result, self, image.data(),
                static_cast<int>(image.size()));
    }
    splash.shown = true;
}

void closeSplash()
{
    SplashState& splash = state();
    if (!splash.shown || splash.close == nullptr) return;
    splash.shown = false;
    splash.close();
}
