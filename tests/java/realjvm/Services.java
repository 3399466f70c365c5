package realjvm;

import com.stowline.runtime.installer.platform.win32.Win32Services;

/**
 * A real service's life from Java: --name= and --command= (the test service's command line with
 * --record <file>). Installs it, starts it with two arguments, waits until it runs, stops it and
 * removes it, reporting each answer. States come back negated (-1 stopped, -4 running).
 */
public class Services {
    public static void main(String[] args) throws Exception {
        Results results = new Results(args);
        String name = Results.option(args, "name", null);
        String command = Results.option(args, "command", null);
        results.put("install", Win32Services.installService0(name, "Display " + name, command));
        results.put("installed again", Win32Services.installService0(name, "Display " + name, command));
        results.put("binary", Win32Services.getServiceBinary0(name));
        results.put("state before", Win32Services.queryStatus0(name));
        String[] arguments = {"first", "two words \u00fc"};
        int started = Win32Services.startService0(name, arguments);
        if (started == 1359) started = Win32Services.startService0(name, arguments);  // Wine's first start in a prefix
        results.put("start", started);
        int state = 0;
        for (int i = 0; i < 200 && (state = Win32Services.queryStatus0(name)) != -4; ++i) Thread.sleep(50);
        results.put("state started", state);
        results.put("stop", Win32Services.stopService0(name, 5000));
        results.put("state stopped", Win32Services.queryStatus0(name));
        results.put("uninstall", Win32Services.uninstallService0(name));
        results.put("state removed", Win32Services.queryStatus0(name));
    }
}
