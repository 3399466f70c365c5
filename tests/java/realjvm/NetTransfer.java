package realjvm;

import com.stowline.runtime.installer.platform.win32.wininet.WinInet;

/**
 * WinInet from Java against the local HTTP peer (--origin= and --closed= ports): a large POST
 * echoed back byte for byte, a plain GET with its headers, a 404, a stalled body under a receive
 * timeout and a port nothing listens on.
 */
public class NetTransfer {
    static final int FRESH = 0x80000000 | 0x04000000;  // INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE
    static final int RECEIVE_TIMEOUT = 6;                // INTERNET_OPTION_RECEIVE_TIMEOUT

    public static void main(String[] args) throws Exception {
        Results results = new Results(args);
        int origin = Integer.parseInt(Results.option(args, "origin", "0"));
        int closed = Integer.parseInt(Results.option(args, "closed", "0"));
        int size = Integer.parseInt(Results.option(args, "size", "0"));
        results.put("init", WinInet.init0());

        byte[] body = new byte[size];
        int state = 12345;
        for (int i = 0; i < size; ++i) body[i] = (byte) ((state = state * 1103515245 + 12345) >>> 24);
        long echo = request(origin, "POST", "/echo");
        results.put("echo status", WinInet.sendRequest0(echo, "Content-Type: application/octet-stream\r\n", body));
        byte[] back = readAll(echo, 65536, 100);
        int differ = back.length == body.length ? -1 : Math.min(back.length, body.length);
        for (int i = 0; differ < 0 && i < body.length; ++i) {
            if (back[i] != body[i]) differ = i;
        }
        results.put("echo", back.length + " bytes, first difference " + differ + ", location " + WinInet.getErrorLocation0(echo));
        WinInet.destroy0(echo);

        long hello = request(origin, "GET", "/hello");
        results.put("hello status", WinInet.sendRequest0(hello, null, null));
        results.put("hello body", new String(readAll(hello, 7, 0), "UTF-8"));
        results.put("hello headers", new String(WinInet.getHeaders0(hello), "ISO-8859-1"));
        WinInet.destroy0(hello);

        long missing = request(origin, "GET", "/missing");
        results.put("missing status", WinInet.sendRequest0(missing, null, null));
        results.put("missing body", new String(readAll(missing, 4096, 0), "UTF-8"));
        WinInet.destroy0(missing);

        long stalled = request(origin, "GET", "/stall");
        WinInet.setOption0(stalled, RECEIVE_TIMEOUT, new byte[] {(byte) 0xf4, 1, 0, 0});  // 500 ms
        results.put("stall status", WinInet.sendRequest0(stalled, null, null));
        results.put("stall", readAll(stalled, 100, 0).length + " bytes, location " + WinInet.getErrorLocation0(stalled)
                                 + ", code " + WinInet.getErrorCode0(stalled));
        WinInet.destroy0(stalled);

        long refused = request(closed, "GET", "/hello");
        results.put("refused", WinInet.sendRequest0(refused, null, null) + " location " + WinInet.getErrorLocation0(refused)
                                   + " code " + WinInet.getErrorCode0(refused));
        WinInet.destroy0(refused);
    }

    static long request(int port, String verb, String path) {
        long handle = WinInet.connect0("realjvm", 1, null, null, 0, "127.0.0.1", port, 0);
        WinInet.openRequest0(handle, verb, path, FRESH, 0);
        return handle;
    }

    /** The body in pieces placed at offset of the array; stops at the end (-1) or a failure (0). */
    static byte[] readAll(long handle, int piece, int offset) {
        byte[] window = new byte[offset + piece];
        java.io.ByteArrayOutputStream body = new java.io.ByteArrayOutputStream();
        int got;
        while ((got = WinInet.read0(handle, window, offset, piece)) > 0) body.write(window, offset, got);
        return body.toByteArray();
    }
}
