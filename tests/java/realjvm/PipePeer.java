package realjvm;

import com.stowline.runtime.installer.platform.win32.Win32CommunicationBackend;

/**
 * One end of a named pipe between two launcher processes (--pipe= names it, --blocks= counts the
 * round trips). --role=server listens, reads block i and answers with block i of its own; the
 * client writes first. Sizes: the boundaries first (0 to 1 MiB), then small random ones with a large
 * one now and then; contents follow from the block's number and direction, so each side checks
 * what it receives byte for byte and in order. --role=flood writes 1 MiB blocks until it is killed;
 * --role=drain reads until the pipe breaks.
 */
public class PipePeer {
    static final int[] BOUNDARIES = {0, 1, 2, 4095, 4096, 4097, 65535, 65536, 65537, (1 << 20) - 1, 1 << 20};

    public static void main(String[] args) throws Exception {
        Results results = new Results(args);
        String pipe = "\\\\.\\pipe\\" + Results.option(args, "pipe", "realjvm");
        String role = Results.option(args, "role", "");
        int blocks = Integer.parseInt(Results.option(args, "blocks", "0"));
        long handle;
        if (role.equals("server") || role.equals("drain")) {
            handle = Win32CommunicationBackend.createListener0(pipe);
            results.put("listening", handle != Win32CommunicationBackend.getInvalidHandle0());
            results.put("connected", Win32CommunicationBackend.connectNamedPipe0(handle));
        } else {
            handle = Win32CommunicationBackend.connectClient0(pipe);
            results.put("connected", handle != 0);
        }
        if (role.equals("flood")) {
            for (int i = 0;; ++i) {
                if (!Win32CommunicationBackend.writeDataBlock0(handle, block(i, 1 << 20, 'f'))) break;
                if (i == 0) results.put("flooding", true);
            }
            return;
        }
        if (role.equals("drain")) {
            int i = 0, wrong = 0;
            byte[] got;
            while ((got = Win32CommunicationBackend.readDataBlock0(handle)) != null) {
                if (!same(got, block(i, 1 << 20, 'f'))) ++wrong;
                if (i == 0) results.put("first block", true);
                ++i;
            }
            results.put("drained", i + " whole blocks, " + wrong + " wrong, then null");
            Win32CommunicationBackend.closeHandle0(handle);
            return;
        }
        boolean server = role.equals("server");
        int wrong = 0, failed = 0;
        long bytes = 0;
        for (int i = 0; i < blocks; ++i) {
            int size = size(i);
            if (!server && !Win32CommunicationBackend.writeDataBlock0(handle, block(i, size, 'c'))) ++failed;
            byte[] got = Win32CommunicationBackend.readDataBlock0(handle);
            byte[] expected = block(i, size, server ? 'c' : 's');
            if (got == null) {
                ++failed;
                break;
            }
            if (!same(got, expected)) ++wrong;
            bytes += got.length;
            if (server && !Win32CommunicationBackend.writeDataBlock0(handle, block(i, size, 's'))) ++failed;
        }
        results.put("exchanged", blocks + " blocks, " + bytes + " bytes received, " + wrong + " wrong, " + failed + " failed");
        if (server) Win32CommunicationBackend.disconnectNamedPipe0(handle);
        Win32CommunicationBackend.closeHandle0(handle);
    }

    static int size(int i) {
        if (i < BOUNDARIES.length) return BOUNDARIES[i];
        int random = (i * 1103515245 + 12345) >>> 8;
        return i % 997 == 0 ? random % (1 << 20) : random % 2049;
    }

    static byte[] block(int index, int size, char direction) {
        byte[] data = new byte[size];
        int state = index * 31 + direction;
        for (int i = 0; i < size; ++i) data[i] = (byte) ((state = state * 1103515245 + 12345) >>> 24);
        return data;
    }

    static boolean same(byte[] a, byte[] b) {
        if (a.length != b.length) return false;
        for (int i = 0; i < a.length; ++i) {
            if (a[i] != b[i]) return false;
        }
        return true;
    }
}
