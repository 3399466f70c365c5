package com.stowline.runtime.launcher;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;

/** The installer's launcher class: runs the program named as main class (main's second argument). */
public class WinLauncher {
    public static void main(String[] args) throws Throwable {
        Method main = Class.forName(args[1]).getMethod("main", String[].class);
        try {
            main.invoke(null, (Object) args);
        } catch (InvocationTargetException e) {
            throw e.getCause();
        }
    }
}
