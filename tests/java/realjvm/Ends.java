package realjvm;

import com.stowline.runtime.installer.helper.NativeLogger;
import java.io.FileOutputStream;

/**
 * The ends of a run, chosen by --end=:
 *   throw     main throws
 *   exit:N    the log is cleaned up through the native logger, then System.exit(N)
 *   thread    main returns while a non-daemon thread still works; it writes --marker= when done
 *   uncaught  another thread dies of an exception, main returns normally
 */
public class Ends {
    public static void main(String[] args) throws Exception {
        final Results results = new Results(args);
        String end = Results.option(args, "end", "");
        results.put("started", end);
        if (end.equals("throw")) {
            throw new IllegalStateException("deliberate failure \u00fc\u03a9");
        } else if (end.startsWith("exit:")) {
            NativeLogger.cleanup0();
            results.put("exiting", true);
            System.exit(Integer.parseInt(end.substring(5)));
            results.put("after exit", true);
        } else if (end.equals("thread")) {
            final String marker = Results.option(args, "marker", null);
            Thread worker = new Thread(new Runnable() {
                public void run() {
                    try {
                        Thread.sleep(1500);
                        FileOutputStream out = new FileOutputStream(marker);
                        out.write("worker done".getBytes("UTF-8"));
                        out.close();
                    } catch (Exception e) {
                        results.put("worker failed", e.toString());
                    }
                }
            });
            worker.setDaemon(false);
            worker.start();
        } else if (end.equals("uncaught")) {
            Thread dying = new Thread(new Runnable() {
                public void run() {
                    throw new IllegalArgumentException("thread failure");
                }
            });
            dying.start();
            dying.join();
            results.put("joined", true);
        }
        results.put("main returns", end);
    }
}
