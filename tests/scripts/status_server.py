#!/usr/bin/python3
"""A tiny web server for end-to-end tests: answers every GET with one status.

Usage: status_server.py --status 500 [--port N] [--port-file F] [--pid-file F]
                        [--status-file F]
Port 0 picks a free port; the port actually bound is written to --port-file.
With --status-file, each GET answers the number in that file, or --status
while there is none, so a running server can be made to fail and recover.
"""
import argparse
import http.server
import os


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--pid-file")
    parser.add_argument("--status-file")
    args = parser.parse_args()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            status = args.status
            if args.status_file:
                try:
                    with open(args.status_file) as f:
                        status = int(f.read())
                except (OSError, ValueError):
                    pass
            body = b"status %d\n" % status
            self.send_response(status)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *unused):
            pass

    server = http.server.HTTPServer(("127.0.0.1", args.port), Handler)
    if args.pid_file:
        with open(args.pid_file + ".tmp", "w") as f:
            f.write(str(os.getpid()))
        os.replace(args.pid_file + ".tmp", args.pid_file)
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write(str(server.server_address[1]))
        os.replace(args.port_file + ".tmp", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
