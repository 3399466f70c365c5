package com.tallow.runtime.util;

/** The executable the Java side deletes after the installer ends; set by the launcher. */
public class WinDel {
    public static String externalExecutable;
}
