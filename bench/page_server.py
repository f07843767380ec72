#!/usr/bin/python3
"""The page both watchdogs check in bench/compare_monit.sh.

Answers every GET with 200 and a short body, one connection per request, and
counts the requests per path, so that each watchdog checks a path of its own
and its checks can be counted here. GET /counts answers with the counts as
"path count" lines and is not counted itself.

Usage: page_server.py --port-file F [--pid-file F]
"""
import argparse
import collections
import http.server
import os
import threading


def write_atomically(path, text):
    with open(path + ".tmp", "w") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--pid-file")
    args = parser.parse_args()

    counts = collections.Counter()
    lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            if self.path == "/counts":
                with lock:
                    body = "".join("%s %d\n" % item for item in sorted(counts.items()))
                body = body.encode()
            else:
                with lock:
                    counts[self.path] += 1
                body = b"<html><body>up</body></html>\n"
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *unused):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    if args.pid_file:
        write_atomically(args.pid_file, str(os.getpid()))
    write_atomically(args.port_file, str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
