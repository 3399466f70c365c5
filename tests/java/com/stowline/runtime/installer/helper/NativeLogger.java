package com.stowline.runtime.installer.helper;

/** The native log's clean-up, bound by the launcher itself. */
public class NativeLogger {
    public static native void cleanup0();
}
