package realjvm;

import com.stowline.runtime.installer.platform.win32.FileVersion;
import com.stowline.runtime.installer.platform.win32.FolderInfo;
import com.stowline.runtime.installer.platform.win32.Misc;
import com.stowline.runtime.installer.platform.win32.Registry;
import com.stowline.runtime.installer.platform.win32.Win32UserInfo;
import com.stowline.runtime.installer.platform.win32.wininet.WinInet;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * Natives from 8 Java threads at once, released together so that the first call of every native
 * happens on several threads at the same moment; garbage made in between keeps the collector busy.
 * --key= is a key under HKEY_CURRENT_USER made for this run.
 */
public class Concurrency {
    static final int THREADS = 8, ROUNDS = 300;
    static final Object gate = new Object();
    static boolean open;

    public static void main(String[] args) throws Exception {
        Results results = new Results(args);
        final String key = Results.option(args, "key", null);
        final List<String> failures = new ArrayList<String>();
        final int[] calls = new int[THREADS];
        Thread[] threads = new Thread[THREADS];
        for (int t = 0; t < THREADS; ++t) {
            final int id = t;
            threads[t] = new Thread(new Runnable() {
                public void run() {
                    synchronized (gate) {
                        while (!open) {
                            try {
                                gate.wait();
                            } catch (InterruptedException e) {
                                return;
                            }
                        }
                    }
                    String text = "thread " + id + " \u00fc\u03a9";
                    try {
                        for (int round = 0; round < ROUNDS; ++round) {
                            String expected = text + " " + round;
                            check(Registry.setValue0(2, key, "v" + id, expected, 1, 0), "set", id, round);
                            check(expected.equals(Registry.getValue0(2, key, "v" + id, 0)), "get", id, round);
                            String windows = FolderInfo.getWindowsDirectory0();
                            check(windows != null && windows.toLowerCase().endsWith("windows"), "windows " + windows, id, round);
                            check(FileVersion.compare0(null, "C:\\none.dll") == 3, "compare", id, round);
                            String sid = Win32UserInfo.getUserSid0();
                            check(sid != null && sid.startsWith("S-1-5-"), "sid " + sid, id, round);
                            check(WinInet.getErrorMessage0(12007) != null, "wininet message", id, round);
                            String[] pairs = Misc.getEnvVarPairs0();
                            check(pairs != null && pairs.length > 3, "environment", id, round);
                            byte[][] garbage = new byte[64][];
                            for (int i = 0; i < garbage.length; ++i) garbage[i] = new byte[4096];
                            calls[id] += 7;
                        }
                    } catch (Throwable e) {
                        synchronized (failures) {
                            failures.add(id + ": " + e);
                        }
                    }
                }

                void check(boolean ok, String what, int id, int round) {
                    if (!ok) {
                        synchronized (failures) {
                            failures.add(id + "/" + round + ": " + what);
                        }
                    }
                }
            });
            threads[t].start();
        }
        synchronized (gate) {
            open = true;
            gate.notifyAll();
        }
        for (Thread thread : threads) thread.join();
        List<String> first = new ArrayList<String>();
        for (String failure : failures) {
            if (first.size() < 20) first.add(failure);
        }
        results.put("failures", first);
        results.put("failure count", failures.size());
        int total = 0;
        for (int count : calls) total += count;
        results.put("calls", total);
    }
}
