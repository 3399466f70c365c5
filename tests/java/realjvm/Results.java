package realjvm;

import java.io.FileOutputStream;
import java.io.IOException;
import java.util.Iterator;
import java.util.List;
import java.util.Map;

/**
 * What a test program saw, for the Python side: one line per entry, "name" TAB JSON value, appended
 * (and flushed) at once so that a program that ends the process keeps what it wrote before. The
 * file is the argument "--results=PATH" of main.
 */
public final class Results {
    private final String path;

    public Results(String[] args) {
        String found = null;
        for (String arg : args) {
            if (arg.startsWith("--results=")) found = arg.substring("--results=".length());
        }
        if (found == null) throw new IllegalArgumentException("no --results= argument");
        path = found;
    }

    public static String option(String[] args, String name, String fallback) {
        for (String arg : args) {
            if (arg.startsWith("--" + name + "=")) return arg.substring(name.length() + 3);
        }
        return fallback;
    }

    public synchronized void put(String name, Object value) {
        StringBuilder line = new StringBuilder(name).append('\t');
        json(line, value);
        line.append('\n');
        try {
            FileOutputStream out = new FileOutputStream(path, true);
            try {
                out.write(line.toString().getBytes("UTF-8"));
            } finally {
                out.close();
            }
        } catch (IOException e) {
            throw new RuntimeException("cannot write " + path, e);
        }
    }

    /** A call that may throw: its result, or "threw <class>: <message>". */
    public interface Call {
        Object run() throws Throwable;
    }

    public void call(String name, Call call) {
        Object result;
        try {
            result = call.run();
        } catch (Throwable t) {
            result = "threw " + t;
        }
        put(name, result);
    }

    static void json(StringBuilder out, Object value) {
        if (value == null) {
            out.append("null");
        } else if (value instanceof Boolean || value instanceof Integer || value instanceof Long) {
            out.append(value);
        } else if (value instanceof byte[]) {
            StringBuilder hex = new StringBuilder();
            for (byte b : (byte[]) value) hex.append(Integer.toHexString((b & 0xff) | 0x100).substring(1));
            json(out, hex.toString());
        } else if (value instanceof Object[]) {
            out.append('[');
            Object[] items = (Object[]) value;
            for (int i = 0; i < items.length; ++i) {
                if (i > 0) out.append(',');
                json(out, items[i]);
            }
            out.append(']');
        } else if (value instanceof List) {
            json(out, ((List<?>) value).toArray());
        } else if (value instanceof Map) {
            out.append('{');
            Iterator<? extends Map.Entry<?, ?>> entries = ((Map<?, ?>) value).entrySet().iterator();
            while (entries.hasNext()) {
                Map.Entry<?, ?> entry = entries.next();
                json(out, String.valueOf(entry.getKey()));
                out.append(':');
                json(out, entry.getValue());
                if (entries.hasNext()) out.append(',');
            }
            out.append('}');
        } else {
            String text = value.toString();
            out.append('"');
            for (int i = 0; i < text.length(); ++i) {
                char c = text.charAt(i);
                if (c == '"' || c == '\\') {
                    out.append('\\').append(c);
                } else if (c < 0x20 || c > 0x7e) {
                    out.append("\\u").append(Integer.toHexString(c | 0x10000).substring(1));
                } else {
                    out.append(c);
                }
            }
            out.append('"');
        }
    }
}
