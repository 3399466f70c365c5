// http_peer.exe PORT_FILE [PARENT_PID]
//
// A small HTTP/1.1 server and a proxy, both on 127.0.0.1 at ports the system picks. Once both
// listen, "<origin port> <proxy port> <closed port>\n" is written to PORT_FILE (complete when it
// appears); the closed port was bound and released again, so nothing listens there. The
// program ends when PARENT_PID ends, and after ten minutes in any case. Every answer closes its
// connection.
//
// Origin paths:
//   /hello      200, "hello from the peer\n", header X-Peer: origin
//   /echo       200, the request body back byte for byte; X-Echo-Method: the verb,
//               X-Echo-Probe: the request's X-Probe header
//   /chunked    200, "one,two,three" in three chunks, no Content-Length
//   /redirect   302 to /hello
//   /stall      200 with Content-Length 100000, 1000 bytes sent, then nothing until the client
//               goes (at most 30 s)
//   /proxy.pac  a proxy script answering "PROXY 127.0.0.1:<proxy port>" for every URL
//   otherwise   404, "not here"
// Proxy: every request gets 200, header X-Peer: proxy, body "via proxy: <verb> <target>".
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr size_t kHeaderLimit = 64 * 1024;
constexpr size_t kBodyLimit = 64 * 1024 * 1024;
unsigned short proxyPort = 0;

struct Request {
    std::string method, target, headers, body;
};

bool receiveSome(SOCKET peer, std::string& into)
{
    char buffer[16384];
    int got = ::recv(peer, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    into.append(buffer, static_cast<size_t>(got));
    return true;
}

// The value of a header (case-insensitive name), empty when absent.
std::string header(const std::string& headers, const std::string& name)
{
    std::string lowered = headers;
    for (char& c : lowered) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    std::string key = "\r\n" + name + ":";
    for (char& c : key) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    size_t at = lowered.find(key);
    if (at == std::string::npos) return {};
    size_t start = headers.find_first_not_of(' ', at + key.size());
    size_t end = headers.find("\r\n", start);
    return headers.substr(start, end - start);
}

bool readRequest(SOCKET peer, Request& request)
{
    std::string data;
    size_t end;
    while ((end = data.find("\r\n\r\n")) == std::string::npos) {
        if (data.size() > kHeaderLimit || !receiveSome(peer, data)) return false;
    }
    request.headers = data.substr(0, end + 2);
    size_t space = request.headers.find(' ');
    size_t second = request.headers.find(' ', space + 1);
    if (space == std::string::npos || second == std::string::npos) return false;
    request.method = request.headers.substr(0, space);
    request.target = request.headers.substr(space + 1, second - space - 1);
    size_t length = std::strtoul(header(request.headers, "Content-Length").c_str(), nullptr, 10);
    if (length > kBodyLimit) return false;
    request.body = data.substr(end + 4);
    while (request.body.size() < length)
        if (!receiveSome(peer, request.body)) return false;
    request.body.resize(length);
    return true;
}

bool sendAll(SOCKET peer, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        int chunk = static_cast<int>(std::min<size_t>(data.size() - sent, 1 << 20));
        int done = ::send(peer, data.data() + sent, chunk, 0);
        if (done <= 0) return false;
        sent += static_cast<size_t>(done);
    }
    return true;
}

void respond(SOCKET peer, const char* status, const std::string& extra, const std::string& body)
{
    sendAll(peer, std::string("HTTP/1.1 ") + status + "\r\nConnection: close\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body);
}

// Waits until the client closes or the bound passes.
void stall(SOCKET peer)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(peer, &readable);
        timeval wait{0, 200000};
        if (::select(0, &readable, nullptr, nullptr, &wait) > 0) {
            char byte;
            if (::recv(peer, &byte, 1, 0) <= 0) return;
        }
    }
}

void serveOrigin(SOCKET peer, const Request& request)
{
    const std::string& path = request.target;
    if (path == "/hello") {
        respond(peer, "200 OK", "Content-Type: text/plain\r\nX-Peer: origin\r\n", "hello from the peer\n");
    } else if (path == "/echo") {
        respond(peer, "200 OK",
                "X-Echo-Method: " + request.method + "\r\nX-Echo-Probe: " + header(request.headers, "X-Probe") + "\r\n",
                request.body);
    } else if (path == "/chunked") {
        sendAll(peer, "HTTP/1.1 200 OK\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "4\r\none,\r\n4\r\ntwo,\r\n5\r\nthree\r\n0\r\n\r\n");
    } else if (path == "/redirect") {
        respond(peer, "302 Found", "Location: /hello\r\n", "");
    } else if (path == "/stall") {
        sendAll(peer, "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 's'));
        stall(peer);
    } else if (path == "/proxy.pac") {
        respond(peer, "200 OK", "Content-Type: application/x-ns-proxy-autoconfig\r\n",
                "function FindProxyForURL(url, host) { return \"PROXY 127.0.0.1:" + std::to_string(proxyPort) +
                    "\"; }\n");
    } else {
        respond(peer, "404 Not Found", "", "not here");
    }
}

void serveProxy(SOCKET peer, const Request& request)
{
    respond(peer, "200 OK", "X-Peer: proxy\r\n", "via proxy: " + request.method + " " + request.target);
}

void serveConnection(SOCKET peer, bool proxy)
{
    Request request;
    if (readRequest(peer, request)) {
        if (proxy)
            serveProxy(peer, request);
        else
            serveOrigin(peer, request);
    }
    ::shutdown(peer, SD_SEND);
    ::closesocket(peer);
}

SOCKET listenLoopback(unsigned short& port)
{
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (listener == INVALID_SOCKET || ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener, 64) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return INVALID_SOCKET;
    port = ntohs(address.sin_port);
    return listener;
}

void acceptLoop(SOCKET listener, bool proxy)
{
    for (;;) {
        SOCKET peer = ::accept(listener, nullptr, nullptr);
        if (peer == INVALID_SOCKET) return;
        std::thread(serveConnection, peer, proxy).detach();
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fputs("usage: http_peer PORT_FILE [PARENT_PID]\n", stderr);
        return 2;
    }
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    unsigned short originPort = 0;
    SOCKET origin = listenLoopback(originPort);
    SOCKET proxy = listenLoopback(proxyPort);
    unsigned short closedPort = 0;
    SOCKET closed = listenLoopback(closedPort);
    if (origin == INVALID_SOCKET || proxy == INVALID_SOCKET || closed == INVALID_SOCKET) return 1;
    ::closesocket(closed);
    std::thread(acceptLoop, origin, false).detach();
    std::thread(acceptLoop, proxy, true).detach();

    const std::wstring file = argv[1];
    const std::wstring partial = file + L".partial";
    FILE* out = ::_wfopen(partial.c_str(), L"wb");
    if (out == nullptr) return 1;
    std::fprintf(out, "%u %u %u\n", originPort, proxyPort, closedPort);
    std::fclose(out);
    if (!::MoveFileExW(partial.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) return 1;

    HANDLE parent = argc > 2 ? ::OpenProcess(SYNCHRONIZE, FALSE, std::wcstoul(argv[2], nullptr, 10)) : nullptr;
    if (parent != nullptr)
        ::WaitForSingleObject(parent, 10 * 60 * 1000);
    else
        ::Sleep(10 * 60 * 1000);
    return 0;
}
