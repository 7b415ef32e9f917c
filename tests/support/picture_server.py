#!/usr/bin/env python3
"""The one test HTTP server: pictures and pages from a folder, misbehaving on request.

  picture_server.py DIRECTORY PORT_FILE REQUEST_LOG [FALLBACK]

Files in DIRECTORY are served with an ETag and Last-Modified (and a Content-Type from
their extension), and a request that names the current ETag in If-None-Match gets 304.
Paths beginning with
  /same/    serve the file but ignore validators and send none,
  /stall/   take the request and then say nothing until the client goes,
  /fail/    answer 500 every time,
  /cycle/   go round a new picture, a 404 and a second of silence ending in a closed
            connection, request by request (for the soak),
anything else that is missing answers 404, or with FALLBACK (a file name in DIRECTORY)
that file, whatever the path (a proxy's requests name other hosts' paths). The query changes how a file is answered:
  status=N&text=T    that status line instead (with the file as the body, if any)
  hops=N             a redirect to the same address with hops=N-1, until 0
  location=URL       a Location header (with status=302 for a redirect)
  length=0           no Content-Length
  pieces=A,B,...     the body in pieces of these sizes (the last repeats) ...
  pause=MS           ... with this pause between pieces
  cut=half           only the first half of the body, then the connection closes
  silence=headers    the headers, then nothing more
  endless=N          after the headers, N bytes of 'x' again and again
  trickle=MS         the first 100 bytes, then one 'x' every MS for ever
  etag=HEX           this ETag, given as hex bytes (any bytes, the high ones too)
  cookie=1           a Set-Cookie header
  auth=SCHEME        401 with WWW-Authenticate: SCHEME
  proxyauth=SCHEME   407 with Proxy-Authenticate: SCHEME, as a proxy that asks for a sign-in
  type=T             this Content-Type
Each request is logged as one line: seconds since the epoch, tab, path with its query,
tab, If-None-Match, tab, Cookie, tab, Authorization (each "-" when absent), tab, every
header line as it came, joined by "|" (any bytes shown as \\xNN escapes). A request that is no HTTP at all is logged with the path "!" and its
first bytes in hex. The chosen port (PICTURE_SERVER_PORT, when set: to come back where it
was) is written to PORT_FILE once the server listens.
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
fallback = sys.argv[4] if len(sys.argv) > 4 else None
log_lock = threading.Lock()
cycle = {"count": 0}
TYPES = {".jpg": "image/jpeg", ".png": "image/png", ".gif": "image/gif", ".webp": "image/webp",
         ".html": "text/html; charset=utf-8", ".xml": "application/rss+xml",
         ".json": "application/json"}


def shown(value):
    if value is None:
        return "-"
    # http.server decodes header bytes as ISO-8859-1: back to the bytes that came.
    raw = value.encode("iso-8859-1", "replace")
    return "".join(chr(b) if 0x20 < b < 0x7F and b != 0x5C else "\\x%02x" % b for b in raw)


def log(path, headers):
    with log_lock, open(request_log, "a", encoding="utf-8") as out:
        out.write("%.3f\t%s\t%s\t%s\t%s\t%s\n" % (
            time.time(), path, shown(headers.get("If-None-Match")), shown(headers.get("Cookie")),
            shown(headers.get("Authorization")),
            "|".join(shown(k + ": " + v) for k, v in headers.items())))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def send_error(self, code, message=None, explain=None):
        if getattr(self, "command", None) is None:  # not HTTP: say what came
            with log_lock, open(request_log, "a", encoding="utf-8") as out:
                out.write("%.3f\t!\t%s\t-\t-\t-\n" % (time.time(), self.raw_requestline[:8].hex()))
        super().send_error(code, message, explain)

    def write(self, data):
        try:
            self.wfile.write(data)
            self.wfile.flush()
            return True
        except OSError:
            return False

    def wait_for_close(self):
        """Says nothing until the client closes the connection."""
        try:
            while self.rfile.read(1):
                pass
        except OSError:
            pass

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(parts.path)
        query = dict(urllib.parse.parse_qsl(parts.query))
        log(self.path, self.headers)
        asked = self.headers.get("If-None-Match")
        if path.startswith("/stall/"):
            self.wait_for_close()
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
        if fallback and not os.path.isfile(file):
            file = os.path.join(root, fallback)
        body = b""
        if os.path.isfile(file):
            body = open(file, "rb").read()
        elif not {"status", "auth", "proxyauth"} & query.keys():
            self.send_error(404, "Not Found")
            return
        etag = '"' + hashlib.sha1(body).hexdigest()[:16] + '"'
        if "etag" in query:
            etag = bytes.fromhex(query["etag"]).decode("iso-8859-1")
        if not plain and asked == etag:
            self.send_response(304, "Not Modified")
            self.send_header("ETag", etag)
            self.end_headers()
            return
        if "auth" in query or "proxyauth" in query:
            proxy = "proxyauth" in query
            self.send_response(407 if proxy else 401)
            self.send_header("Proxy-Authenticate" if proxy else "WWW-Authenticate",
                             query["proxyauth" if proxy else "auth"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if int(query.get("hops", "0")) > 0:
            rest = dict(query, hops=str(int(query["hops"]) - 1))
            self.send_response(302, "Found")
            self.send_header("Location", parts.path + "?" + urllib.parse.urlencode(rest))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        status = int(query.get("status", "200"))
        self.send_response(status, query.get("text"))
        if "location" in query:
            self.send_header("Location", query["location"])
        self.send_header("Content-Type",
                         query.get("type", TYPES.get(os.path.splitext(name)[1], "image/jpeg")))
        if query.get("length") != "0":
            self.send_header("Content-Length", query.get("announce", str(len(body))))
        if not plain and status == 200:
            self.send_header("ETag", etag)
            if os.path.isfile(file):
                self.send_header("Last-Modified",
                                 email.utils.formatdate(os.path.getmtime(file), usegmt=True))
        if query.get("cookie"):
            self.send_header("Set-Cookie", "visit=1; Path=/; Max-Age=3600")
        self.end_headers()
        if query.get("silence") == "headers":
            self.wfile.flush()
            self.wait_for_close()
            return
        if "endless" in query:
            chunk = b"x" * int(query["endless"])
            while self.write(chunk):
                pass
            return
        if "trickle" in query:
            if not self.write(body[:100]):
                return
            while self.write(b"x"):
                time.sleep(int(query["trickle"]) / 1000)
            return
        if query.get("cut") == "half":
            body = body[: len(body) // 2]
        sizes = [int(s) for s in query.get("pieces", "").split(",") if s]
        pause = int(query.get("pause", "0")) / 1000
        at, piece = 0, 0
        while at < len(body):
            size = sizes[min(piece, len(sizes) - 1)] if sizes else len(body)
            if not self.write(body[at:at + size]):
                return
            at += size
            piece += 1
            if pause and at < len(body):
                time.sleep(pause)


server = http.server.ThreadingHTTPServer(
    ("127.0.0.1", int(os.environ.get("PICTURE_SERVER_PORT", "0"))), Handler)
server.daemon_threads = True
with open(port_file + ".tmp", "w") as out:
    out.write(str(server.server_address[1]))
os.replace(port_file + ".tmp", port_file)
server.serve_forever()
