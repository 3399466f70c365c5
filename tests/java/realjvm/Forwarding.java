package realjvm;

import com.tallow.Controller;

/** Single-instance mode: waits (at most --wait= ms) for --count= forwarded starts, then reports them. */
public class Forwarding {
    public static void main(String[] args) throws Exception {
        Results results = new Results(args);
        int count = Integer.parseInt(Results.option(args, "count", "1"));
        long deadline = System.currentTimeMillis() + Long.parseLong(Results.option(args, "wait", "60000"));
        results.put("waiting", true);
        synchronized (Controller.performed) {
            long left;
            while (Controller.performed.size() < count && (left = deadline - System.currentTimeMillis()) > 0) {
                Controller.performed.wait(left);
            }
            results.put("performed", Controller.performed);
        }
    }
}
