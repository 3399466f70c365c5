#include "natives/sid_text.h"

#include <sddl.h>

#include "windows/base/handles.h"
#include "windows/base/system_functions.h"

namespace {

using ConvertSidToStringSidFunction = decltype(&::ConvertSidToStringSidW);

ConvertSidToStringSidFunction convertFunction()
{
    return LOADED_FUNCTION(L"advapi32.dll", ConvertSidToStringSidW);
}

}  // namespace

bool sidTextAvailable() { return convertFunction() != nullptr; }

std::wstring sidText(PSID sid)
{
    const ConvertSidToStringSidFunction convert = convertFunction();
    unique_local text;
    if (convert == nullptr || !convert(sid, reinterpret_cast<LPWSTR*>(text.put()))) return {};
    return static_cast<const wchar_t*>(text.get());
}
