package realjvm;

import com.stowline.api.windows.WinRegistry;
import com.stowline.runtime.installer.platform.win32.Registry;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Set;

/**
 * The registry natives from Java. --key= is a key under HKEY_CURRENT_USER made for this run;
 * --views= a key path under HKEY_LOCAL_MACHINE for the two registry views. Values under
 * <key>\imported were written by the test beforehand; this program reports what it reads there,
 * writes every type under <key>\written and reads each back, and makes and lists 10,000 subkeys.
 */
public class RegistryValues {
    static final int HKCU = 2, HKLM = 3;
    static final int VIEW_64 = 0x100, VIEW_32 = 0x200;
    static final String TEXT = "Gr\u00fc\u00dfe \u03a9 \u65e5\u672c \ud83d\ude00";

    public static void main(String[] args) {
        Results results = new Results(args);
        String key = Results.option(args, "key", null);

        List<Object> imported = new ArrayList<Object>();
        for (String name : new String[] {"sz", "expand", "dword", "qword", "multi", "binary", "empty"}) {
            imported.add(describe(Registry.getValue0(HKCU, key + "\\imported", name, 0)));
        }
        results.put("imported", imported);
        results.put("imported names", sorted(Registry.enumValues0(HKCU, key + "\\imported", 0)));

        String written = key + "\\written " + TEXT;
        Object[][] values = {
            {"sz " + TEXT, TEXT, 1},
            {"expand", "%SystemRoot%\\" + TEXT, 5},
            {"dword", Integer.valueOf(-5), 2},
            {"qword", Long.valueOf(Long.MIN_VALUE + 1), 6},
            {"multi", new String[] {"eins", TEXT, "drei"}, 3},
            {"binary", new byte[] {0, 1, (byte) 0xff, (byte) 0x80}, 4},
            {"empty", "", 1},
        };
        List<Object> back = new ArrayList<Object>();
        for (Object[] value : values) {
            boolean set = Registry.setValue0(HKCU, written, (String) value[0], value[1], (Integer) value[2], 0);
            back.add(set + " " + describe(Registry.getValue0(HKCU, written, (String) value[0], 0)));
        }
        results.put("written", back);
        results.put("written key", written);
        results.put("wrong type refused", Registry.setValue0(HKCU, written, "bad", Integer.valueOf(1), 1, 0));

        String views = Results.option(args, "views", null);
        results.put("view 64 set", Registry.setValue0(HKLM, views, "which", "sixty-four", 1, VIEW_64));
        results.put("view 32 set", Registry.setValue0(HKLM, views, "which", "thirty-two", 1, VIEW_32));
        results.put("view 64", Registry.getValue0(HKLM, views, "which", VIEW_64));
        results.put("view 32", Registry.getValue0(HKLM, views, "which", VIEW_32));
        results.put("view default", Registry.getValue0(HKLM, views, "which", 0));

        String many = key + "\\many";
        int made = 0;
        for (int i = 0; i < 10000; ++i) {
            if (Registry.createKey0(HKCU, many + "\\k" + i, 0)) ++made;
        }
        String[] listed = Registry.enumSubKeys0(HKCU, many, 0);
        Set<String> seen = new HashSet<String>(Arrays.asList(listed));
        int missing = 0;
        for (int i = 0; i < 10000; ++i) {
            if (!seen.contains("k" + i)) ++missing;
        }
        results.put("subkeys", made + " made, " + listed.length + " listed, " + seen.size() + " distinct, " + missing + " missing");
        Registry.deleteKey0(HKCU, many, true, 0);
        results.put("kept while not empty", Registry.keyExists0(HKCU, many, 0));
        Registry.deleteKey0(HKCU, many, false, 0);
        results.put("deleted", !Registry.keyExists0(HKCU, many, 0));
    }

    static List<String> sorted(String[] names) {
        List<String> list = new ArrayList<String>(Arrays.asList(names));
        java.util.Collections.sort(list);
        return list;
    }

    /** The Java type of a value and its content. */
    static Object describe(Object value) {
        if (value == null) return "null";
        if (value instanceof WinRegistry.ExpandString) return "expand " + ((WinRegistry.ExpandString) value).text;
        if (value instanceof String[]) {
            StringBuilder texts = new StringBuilder("multi");
            for (String text : (String[]) value) texts.append(" [").append(text).append(']');
            return texts.toString();
        }
        if (value instanceof byte[]) {
            StringBuilder hex = new StringBuilder("binary ");
            for (byte b : (byte[]) value) hex.append(Integer.toHexString((b & 0xff) | 0x100).substring(1));
            return hex.toString();
        }
        return value.getClass().getName().replace("java.lang.", "").toLowerCase() + " " + value;
    }
}
