#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A local web server for the update tests: serves the files of one folder on 127.0.0.1.

Prints the port it got as its first line, then one line "GET<tab>path<tab>user agent" per
request.
The query decides what is sent, whatever the path says:
  file=NAME   send FOLDER/NAME (default: the last component of the path); missing: 404
  length=0    no Content-Length: the body ends when the connection closes
  slow=1      the header and the first 1 KiB at once, then 1 KiB every 0.1 s
  endless=1   after the file, filler bytes as fast as the client takes them, with no end
  drip=1      the header at once, then one byte of the file every 0.1 s, with no end
  redirect=U  answer 302 with the address U
  hang=1      read the request and never answer
Every answer ends by itself within 60 s, and the server stops by itself after --lifetime
seconds (default 900) if nobody stops it sooner. --tls CERT KEY serves HTTPS with that
certificate instead.
"""
import argparse
import os
import ssl
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, unquote, urlsplit

LONGEST_ANSWER_S = 60


class Handler(BaseHTTPRequestHandler):
    def do_GET(self):
        print("GET", self.path, self.headers.get("User-Agent", ""), sep="\t", flush=True)
        url = urlsplit(self.path)
        query = {key: values[-1] for key, values in parse_qs(url.query).items()}
        if query.get("hang") == "1":
            time.sleep(LONGEST_ANSWER_S)
            return
        if "redirect" in query:
            self.send_response(302)
            self.send_header("Location", query["redirect"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        name = query.get("file") or unquote(url.path.rsplit("/", 1)[-1])
        path = os.path.join(self.server.folder, os.path.basename(name))
        if not os.path.isfile(path):
            self.send_error(404)
            return
        with open(path, "rb") as f:
            body = f.read()
        endless = query.get("endless") == "1" or query.get("drip") == "1"
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if query.get("length") != "0" and not endless:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if query.get("slow") == "1":
            self.send_in_pieces(body, 1024, 0.1)
        elif query.get("drip") == "1":
            self.send_in_pieces(body + b" " * (LONGEST_ANSWER_S * 10), 1, 0.1)
        elif query.get("endless") == "1":
            self.send_in_pieces(body, len(body) or 1, 0)
            self.send_in_pieces(b"a" * (1 << 16), 1 << 16, 0, repeat=True)
        else:
            self.wfile.write(body)

    def send_in_pieces(self, data, size, pause, repeat=False):
        """Sends `data` in pieces of `size` bytes with `pause` seconds between them (again and
        again with `repeat`), until the client goes or the longest answer is over."""
        deadline = time.monotonic() + LONGEST_ANSWER_S
        try:
            while True:
                for start in range(0, len(data), size):
                    if time.monotonic() > deadline:
                        return
                    self.wfile.write(data[start:start + size])
                    self.wfile.flush()
                    time.sleep(pause)
                if not repeat:
                    return
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client went

    def log_message(self, format, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--lifetime", type=float, default=900)
    args = parser.parse_args()

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.folder = args.folder
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*args.tls)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    time.sleep(args.lifetime)


if __name__ == "__main__":
    main()
