package com.tallow;

import java.util.ArrayList;
import java.util.List;

/** Receives the command lines of later starts, forwarded by the launcher's listener thread. */
public class Controller {
    public static final List<String> performed = new ArrayList<String>();

    public static void startupPerformed(String commandLine) {
        synchronized (performed) {
            performed.add(commandLine + " | daemon=" + Thread.currentThread().isDaemon());
            performed.notifyAll();
        }
    }
}
