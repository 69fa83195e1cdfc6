#!/usr/bin/env python3
"""A loopback HTTP server for the URL loading tests.

As an origin it serves the files of --root and a few special paths:
  /status/<code>/<name>   the file with that status
  /redirect/<n>/<name>    n redirects in a row, then the file
  /redirect-to?<url>      one redirect to any URL
  /huge                   a chunked body of 300 MB
  /stall                  a few bytes of a promised kilobyte, then silence
As a proxy (--proxy-to HOST:PORT) it forwards every request to that origin, without the
Proxy-Authorization header. Both record each request line and its headers in --log.
The chosen port is printed on the first line of standard output.
"""
import argparse
import http.client
import http.server
import os
import sys
import threading
import time
import urllib.parse


def make_handler(args, log_lock):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *unused):
            pass

        def record(self):
            with log_lock, open(args.log, "a") as log:
                log.write(self.requestline + "\n")
                for name, value in self.headers.items():
                    log.write("%s: %s\n" % (name, value))
                log.write("\n")

        def send_body(self, status, body, extra=()):
            self.send_response(status)
            self.send_header("Content-Length", str(len(body)))
            for name, value in extra:
                self.send_header(name, value)
            self.end_headers()
            self.wfile.write(body)

        def read_file(self, name):
            path = os.path.join(args.root, os.path.basename(name))
            if not os.path.isfile(path):
                return None
            with open(path, "rb") as f:
                return f.read()

        def serve_file(self, status, name):
            body = self.read_file(name)
            if body is None:
                self.send_body(404, b"not found")
            else:
                self.send_body(status, body, [("Content-Type", "application/octet-stream")])

        def do_GET(self):
            self.record()
            if args.proxy_to:
                self.forward()
                return
            parts = self.path.split("/")
            if self.path.startswith("/status/") and len(parts) >= 4:
                self.serve_file(int(parts[2]), parts[3])
            elif self.path.startswith("/redirect/") and len(parts) >= 4:
                hops = int(parts[2])
                target = "/%s" % parts[3] if hops <= 1 else "/redirect/%d/%s" % (hops - 1, parts[3])
                self.send_body(302, b"", [("Location", target)])
            elif self.path.startswith("/redirect-to?"):
                self.send_body(302, b"", [("Location", self.path.split("?", 1)[1])])
            elif self.path == "/huge":
                self.send_response(200)
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                block = b"\xff" * (1 << 20)
                chunk = b"%x\r\n" % len(block) + block + b"\r\n"
                try:
                    for _ in range(300):
                        self.wfile.write(chunk)
                    self.wfile.write(b"0\r\n\r\n")
                except OSError:
                    pass
            elif self.path == "/stall":
                self.send_response(200)
                self.send_header("Content-Length", "1024")
                self.end_headers()
                self.wfile.write(b"\x89PNG\r\n\x1a\n")
                self.wfile.flush()
                time.sleep(30)
            else:
                self.serve_file(200, self.path)

        def forward(self):
            host, port = args.proxy_to.split(":")
            connection = http.client.HTTPConnection(host, int(port), timeout=30)
            headers = {k: v for k, v in self.headers.items() if k.lower() != "proxy-authorization"}
            target = urllib.parse.urlsplit(self.path)
            path = target.path + ("?" + target.query if target.query else "")
            connection.request("GET", path or "/", headers=headers)
            response = connection.getresponse()
            body = response.read()
            connection.close()
            self.send_body(response.status, body)

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default=".")
    parser.add_argument("--log", required=True)
    parser.add_argument("--proxy-to", default="")
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), make_handler(args, threading.Lock()))
    server.daemon_threads = True
    sys.stdout.write("%d\n" % server.server_address[1])
    sys.stdout.flush()
    server.serve_forever()


if __name__ == "__main__":
    main()
