#!/usr/bin/env python3
"""The update host for the end-to-end tests: HTTPS on localhost:443 with a certificate from the
test CA. What it serves for the feed depends on the scenario named in SCENARIO_FILE, read at
each request ("files DIR" and its variants serve a release's feed and package from DIR); every
request is logged as "path|user agent|cache control" to REQUEST_LOG.

Usage: update_server.py CERT KEY SCENARIO_FILE REQUEST_LOG
"""
import http.server
import os
import ssl
import sys
import time

cert, key, scenario_file, request_log = sys.argv[1:5]
FEED = "/software/torvane/appcast-windows.json"

NEWER = ('\ufeff{"version": "0.2.0", "build": 2, "size": 1000,'
         ' "url": "https://localhost/software/torvane/Torvane-0.2.0.zip",'
         ' "sha256": "", "signature": "",'
         ' "notes": "\\u200bArreglos\\nvarios", "extra": [1, {"a": null}]}')
CURRENT = '{"version": "9.9.9", "build": 1}'


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body=b"", headers=(), length=True):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        self.wfile.write(body)

    def redirect(self, location):
        self.send(302, headers=[("Location", location)])

    def hold(self):
        """Waits, for two minutes at most, until the test creates the release file."""
        for _ in range(1200):
            if os.path.exists(scenario_file + ".release"):
                break
            time.sleep(0.1)

    def release(self, mode, folder):
        """The feed and package in FOLDER: as they are ("files"), or the package held back
        until the test creates the release file ("slow")."""
        if not self.path.startswith("/software/torvane/"):
            return self.send(404, b"no")
        name = os.path.basename(self.path)
        try:
            with open(os.path.join(folder, name), "rb") as f:
                body = f.read()
        except OSError:
            return self.send(404, b"no")
        if not name.endswith(".zip"):
            return self.send(200, body)
        if mode == "slow":
            self.hold()
        self.send(200, body)

    def do_GET(self):
        with open(request_log, "a") as log:
            log.write(f"{self.path}|{self.headers.get('User-Agent')}|"
                      f"{self.headers.get('Cache-Control')}\n")
        with open(scenario_file) as f:
            scenario = f.read().strip()
        path = self.path
        if " " in scenario:
            return self.release(*scenario.split(" ", 1))
        if scenario == "newer":
            # Three redirects: absolute path, relative path, full URL with capitals.
            if path == FEED:
                return self.redirect("/hop/one/a.json")
            if path == "/hop/one/a.json":
                return self.redirect("b.json?x=1")
            if path == "/hop/one/b.json?x=1":
                return self.redirect("https://LOCALHOST:443/feeds/newer.json#part")
            if path == "/feeds/newer.json":
                return self.send(200, NEWER.encode("utf-8"))
        elif scenario == "current":
            if path == FEED:
                return self.send(200, CURRENT.encode())
        elif scenario == "four-redirects":
            hops = {FEED: "/r1", "/r1": "/r2", "/r2": "/r3", "/r3": "/r4"}
            if path in hops:
                return self.redirect(hops[path])
            if path == "/r4":
                return self.send(200, CURRENT.encode())
        elif scenario == "oversize":
            if path == FEED:
                return self.send(200, (CURRENT + " " * 70000).encode(), length=False)
        elif scenario == "held-newer":
            # Answers once the test creates the release file, so that it can act meanwhile.
            if path == FEED:
                self.hold()
                return self.send(200, NEWER.encode("utf-8"))
        elif scenario == "min-system":
            if path == FEED:
                return self.send(200, b'{"version": "0.2.0", "build": 2,'
                                      b' "minimumSystem": "10.0.99999"}')
        self.send(404, b"no")


server = http.server.ThreadingHTTPServer(("localhost", 443), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
print("ready", flush=True)
server.serve_forever()
