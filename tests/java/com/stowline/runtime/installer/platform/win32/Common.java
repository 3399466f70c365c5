package com.stowline.runtime.installer.platform.win32;

import java.util.ArrayList;
import java.util.List;

/** Records every initFromLauncher call, and whether the natives were bound at that moment. */
public class Common {
    public static final List<String> calls = new ArrayList<String>();

    public static synchronized void initFromLauncher(boolean fromLauncher) {
        String bound;
        try {
            FileVersion.compare0("1", "2");
            bound = "bound";
        } catch (Throwable unbound) {
            bound = unbound.getClass().getName();
        }
        calls.add(fromLauncher + " " + bound);
    }
}
