package com.stowline.api.windows;

/** One top-level window as Misc.getTopLevelWindows0 builds it. */
public class WindowInfo {
    public final long handle;
    public final int processId;
    public final String className;
    public final String title;

    public WindowInfo(long handle, int processId, String className, String title) {
        this.handle = handle;
        this.processId = processId;
        this.className = className;
        this.title = title;
    }
}
