package com.stowline.api.windows;

public class WinRegistry {
    /** REG_EXPAND_SZ text, as Registry.getValue0 answers it. */
    public static class ExpandString {
        public final String text;

        public ExpandString(String text) {
            this.text = text;
        }
    }
}
