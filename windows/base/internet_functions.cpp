#include "windows/base/internet_functions.h"

const BoundGroup<InternetFunctions>& boundInternetFunctions()
{
    // The library stays loaded for the life of the process.
    static const BoundGroup<InternetFunctions> bound =
        bindGroup<InternetFunctions>(loadSystemLibrary(L"wininet.dll"), [](GroupBinder& bind, InternetFunctions& f) {
            bind(f.open, "InternetOpenW")(f.openUrl, "InternetOpenUrlW")(f.connect, "InternetConnectW");
            bind(f.attemptConnect, "InternetAttemptConnect")(f.closeHandle, "InternetCloseHandle");
            bind(f.readFile, "InternetReadFile")(f.writeFile, "InternetWriteFile");
            bind(f.setOption, "InternetSetOptionW")(f.queryOption, "InternetQueryOptionW");
            bind(f.errorDialog, "InternetErrorDlg")(f.openRequest, "HttpOpenRequestW");
            bind(f.sendRequest, "HttpSendRequestW")(f.endRequest, "HttpEndRequestW");
            bind(f.queryInfo, "HttpQueryInfoA")(f.queryInfoW, "HttpQueryInfoW");
        });
    return bound;
}
