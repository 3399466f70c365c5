package java.awt;

/** Avian's class library has no AWT; WinGuiHelper.getPeer0's descriptor names this type. */
public class Window {
}
