package com.stowline.runtime.installer.platform.win32;

/** One chosen account, as ObjectPicker.show0 builds it (binary name ObjectPicker$Result). */
public class ObjectPicker$Result {
    public final String[] fields;

    public ObjectPicker$Result(String name, String className, String path, String upn, String sid) {
        fields = new String[] {name, className, path, upn, sid};
    }
}
