package realjvm;

import com.stowline.runtime.flatlaf.FlatWindowsNativeWindowBorder;
import com.stowline.runtime.flatlaf.FlatWindowsNativeWindowBorder$WndProc;
import com.stowline.runtime.installer.platform.win32.*;
import com.stowline.runtime.installer.platform.win32.wininet.WinInet;
import com.tallow.runtime.util.WinDel;
import java.util.Map;
import java.util.TreeMap;

/** What the launcher handed over before main, and one native of every bound class answering. */
public class Startup {
    public static void main(String[] args) throws Throwable {
        Results results = new Results(args);
        results.put("args", args);
        Map<String, String> properties = new TreeMap<String, String>();
        for (Object item : System.getProperties().entrySet()) {
            Map.Entry<?, ?> entry = (Map.Entry<?, ?>) item;
            properties.put(String.valueOf(entry.getKey()), String.valueOf(entry.getValue()));
        }
        results.put("properties", properties);
        // A few read one by one too: a VM may answer getProperty from elsewhere than its table.
        for (String key : new String[] {"tallow.moduleName", "tallow.tempDir", "tallow.isStowline",
                                        "tallow.unextractedPosition", "sun.java.command", "java.library.path"}) {
            results.put("property " + key, System.getProperty(key));
        }
        results.put("externalExecutable", WinDel.externalExecutable);
        results.put("initFromLauncher", Common.calls);
        results.put("environment", Misc.getEnvVarPairs0());

        final String missing = "C:\\realjvm-missing\\none.dll";
        results.call("FileVersion", () -> FileVersion.compare0(missing, missing));
        results.call("FolderInfo", () -> FolderInfo.getWindowsDirectory0());
        results.call("Misc", () -> Misc.getPhysicalMemory0());
        results.call("ObjectPicker", () -> ObjectPicker.show0(false, false, true, false, true));
        results.call("ShellLink", () -> ShellLink.initialize0() && ShellLink.uninitialize());
        results.call("VistaFileChooser", () -> { VistaFileChooser.initialize0(); return "void"; });
        results.call("VistaTaskDialog", () -> { VistaTaskDialog.init0(); return "void"; });
        results.call("Win32CommunicationBackend", () -> Win32CommunicationBackend.getInvalidHandle0() + " "
                + Win32CommunicationBackend.isProcessAlive0(Win32CommunicationBackend.getCurrentProcessId0()));
        results.call("Win32Proxy", () -> Win32Proxy.loadFunctions0());
        results.call("Win32UserInfo", () -> Win32UserInfo.getUserSid0());
        results.call("WinGuiHelper", () -> WinGuiHelper.createHIcon0(new byte[0], 16, 16));
        results.call("WinInet", () -> WinInet.init0());
        results.call("WinTaskBar", () -> { WinTaskBar.initTaskBar0(); return "void"; });
        results.call("ACLHandling", () -> ACLHandling.addACE(missing, true, false, false, false, false, 0, "S-1-1-0"));
        results.call("Registry", () -> Registry.keyExists0(2, "Software", 0) + " " + Registry.keyExists0(2, "Software\\realjvm-none", 0));
        results.call("Win32Exec", () -> Win32Exec.launch0(missing, null));
        results.call("Win32Handle", () -> Win32Handle.getDeviceName0("\\??\\C:"));
        results.call("Win32Services", () -> Win32Services.queryStatus0("realjvm-no-such-service"));
        // The window-border classes are bound on the Java side's request, in its class loader.
        results.call("registerExtensionFunctions0",
                     () -> Misc.registerExtensionFunctions0(Startup.class.getClassLoader(), "registerNativesFlatlaf"));
        results.call("FlatWindowsNativeWindowBorder",
                     () -> FlatWindowsNativeWindowBorder.registryGetIntValue("Software\\realjvm-none", "x", 7));
        results.call("FlatWindowsNativeWindowBorder$WndProc", () -> new FlatWindowsNativeWindowBorder$WndProc().installImpl(0));
        results.put("done", true);
    }
}
