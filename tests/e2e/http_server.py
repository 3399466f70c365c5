"""A small HTTP server on 127.0.0.1 for the runtime download tests.

Paths (NAME is a file registered with serve()):
  /file/NAME      the bytes with a Content-Length
  /nolength/NAME  the bytes with no Content-Length, the connection closed at the end
  /broken/NAME    a Content-Length for all bytes, but the connection closes after half of them
  /slow/NAME      the bytes with a Content-Length, 64 KiB every 20 ms (a long download)
  anything else   404 with a short body and its length
Every request is counted by path.
"""
import collections
import http.server
import threading
import time

import pytest


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        with server.lock:
            server.requests[self.path] += 1
        kind, _, name = self.path.lstrip("/").partition("/")
        body = server.files.get(name)
        if body is None or kind not in ("file", "nolength", "broken", "slow"):
            page = b"<html>not here</html>"
            self.send_response(404)
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if kind != "nolength":
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if kind == "broken":
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        if kind == "slow":
            try:
                for start in range(0, len(body), 65536):
                    self.wfile.write(body[start:start + 65536])
                    self.wfile.flush()
                    time.sleep(0.02)
            except OSError:  # the client went away (a cancelled download)
                pass
            return
        self.wfile.write(body)


class LocalServer:
    def __init__(self):
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _Handler)
        self.httpd.daemon_threads = True
        self.httpd.files = {}
        self.httpd.requests = collections.Counter()
        self.httpd.lock = threading.Lock()
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def serve(self, name, body):
        self.httpd.files[name] = body

    def url(self, kind, name):
        return f"http://127.0.0.1:{self.httpd.server_address[1]}/{kind}/{name}"

    def requests(self, kind, name):
        with self.httpd.lock:
            return self.httpd.requests[f"/{kind}/{name}"]

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


@pytest.fixture
def http_server():
    server = LocalServer()
    yield server
    server.stop()
