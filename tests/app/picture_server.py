#!/usr/bin/env python3
"""A picture server for the end-to-end tests, misbehaving on request by path.

  picture_server.py DIRECTORY PORT_FILE REQUEST_LOG

Files in DIRECTORY are served with an ETag and Last-Modified, and a request that names
the current ETag in If-None-Match gets 304. Paths beginning with
  /same/    serve the file but ignore validators and send none,
  /stall/   take the request and then say nothing until the client goes,
  /fail/    answer 500 every time,
  /cycle/   go round a new picture, a 404 and a second of silence ending in a closed
            connection, request by request (for the soak),
anything else that is missing answers 404. Each request is logged as one line:
seconds since the epoch, tab, path, tab, the If-None-Match it carried (or "-").
The chosen port is written to PORT_FILE once the server listens.
"""
import email.utils
import hashlib
import http.server
import os
import sys
import threading
import time
import urllib.parse

root, port_file, request_log = sys.argv[1], sys.argv[2], sys.argv[3]
log_lock = threading.Lock()
cycle = {"count": 0}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        asked = self.headers.get("If-None-Match", "-")
        with log_lock, open(request_log, "a", encoding="utf-8") as log:
            log.write(f"{time.time():.3f}\t{path}\t{asked}\n")
        if path.startswith("/stall/"):
            # Silence until the client closes the connection.
            try:
                while self.rfile.read(1):
                    pass
            except OSError:
                pass
            return
        if path.startswith("/fail/"):
            self.send_error(500, "Internal Server Error")
            return
        if path.startswith("/cycle/"):
            with log_lock:
                turn = cycle["count"]
                cycle["count"] += 1
            if turn % 3 == 1:
                self.send_error(404, "Not Found")
                return
            if turn % 3 == 2:
                time.sleep(1)
                return
            # Two pictures in turn, so that every good answer is a new picture.
            path = "/" + sorted(n for n in os.listdir(root) if n.endswith(".jpg"))[(turn // 3) % 2]
        plain = path.startswith("/same/")
        name = path.split("/", 2)[2] if plain else path.lstrip("/")
        file = os.path.join(root, name)
        if not os.path.isfile(file):
            self.send_error(404, "Not Found")
            return
        body = open(file, "rb").read()
        etag = '"' + hashlib.sha1(body).hexdigest()[:16] + '"'
        if not plain and asked == etag:
            self.send_response(304, "Not Modified")
            self.send_header("ETag", etag)
            self.end_headers()
            return
        self.send_response(200)
        self.send_header("Content-Type", "image/jpeg")
        self.send_header("Content-Length", str(len(body)))
        if not plain:
            self.send_header("ETag", etag)
            self.send_header("Last-Modified", email.utils.formatdate(os.path.getmtime(file), usegmt=True))
        self.end_headers()
        self.wfile.write(body)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
with open(port_file + ".tmp", "w") as out:
    out.write(str(server.server_address[1]))
os.replace(port_file + ".tmp", port_file)
server.serve_forever()
