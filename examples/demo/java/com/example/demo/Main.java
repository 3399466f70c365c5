package com.example.demo;

import com.stowline.runtime.installer.platform.win32.FolderInfo;
import com.stowline.runtime.installer.platform.win32.Registry;
import com.tallow.runtime.util.WinDel;

/** The demo installer's Java side: shows what it was handed and uses a native or two. */
public class Main {
    private static final int HKCU = 2, REG_SZ = 1;

    public static void main(String[] args) {
        String vm = System.getProperty("java.vm.name");
        if (vm == null && System.getProperty("avian.version") != null) vm = "Avian " + System.getProperty("avian.version");
        System.out.println("[java] running on " + vm + " (" + System.getProperty("os.arch") + ")");
        System.out.println("[java] main's arguments (" + args.length + "):");
        for (int i = 0; i < args.length; ++i) System.out.println("[java]   " + i + ": \"" + args[i] + "\"");
        System.out.println("[java] properties the launcher set:");
        for (String key : new String[] {"tallow.isStowline", "tallow.moduleName", "tallow.tempDir",
                                        "tallow.unextractedPosition", "tallow.consoleCodepage", "java.class.path"}) {
            System.out.println("[java]   " + key + " = " + System.getProperty(key));
        }
        System.out.println("[java] WinDel.externalExecutable = " + WinDel.externalExecutable);
        System.out.println("[java] Windows directory (FolderInfo native) = " + FolderInfo.getWindowsDirectory0());
        String key = "Software\\fenmoor\\demo";
        String text = "written by the demo's Java side at " + System.currentTimeMillis();
        boolean written = Registry.setValue0(HKCU, key, "greeting", text, REG_SZ, 0);
        Object back = Registry.getValue0(HKCU, key, "greeting", 0);
        System.out.println("[java] registry HKCU\\" + key + " greeting: written " + written + ", read back \"" + back
                           + "\" (" + (text.equals(back) ? "same" : "DIFFERENT") + ")");
        Registry.deleteKey0(HKCU, key, false, 0);
        System.out.println("[java] main returns");
    }
}
