#!/usr/bin/env python3
"""Loopback HTTP(S) server for the request tests (standard library only).

Listens on 127.0.0.1 on a free port and prints "PORT <n>" once ready. Ends when its standard
input closes (the test that started it has gone) or after five minutes.

    server.py [--tls CERT KEY]

Paths:
  /hello              "Hello, world"
  /echo[...]          JSON of the request: method, raw path, user agent, content type, expect,
                      body length and SHA-1 and (up to 4096 bytes) the body
  /status/N           status N, body "status N"
  /bytes/N            N bytes of the pattern (i * 7 + 3) % 251, with a content length
  /text/N             N letters a..z repeated, chunked
  /chunked/N          the same pattern, chunked (no content length)
  /close/N            the same pattern, no content length, ended by closing the connection
  /claim              announces 100000000000 bytes, sends 10, closes
  /broken             announces 1000 bytes, sends 10, closes
  /empty              200 with no body
  /redirect           302 to /hello
  /image.png          a 4 x 2 RGBA PNG image
  /hold               waits until /release (or 20 seconds), then "held"
  /holding            how many requests wait in /hold
  /release            lets every /hold request go
  /stall              announces 100 bytes, sends 1, then waits 30 seconds
  /silent             reads the request and never answers (120 seconds)
  /garbage            answers bytes that are not HTTP, then closes
  /closenow           closes the connection without answering
  /drip               announces 1000 bytes and sends one a second
  /endless            a chunked body that never ends (64 KiB every 50 ms)
"""
import hashlib
import http.server
import json
import os
import socketserver
import ssl
import struct
import sys
import threading
import time
import zlib

released = threading.Event()
holding_lock = threading.Lock()
holding = 0


def pattern(n):
    return bytes((i * 7 + 3) % 251 for i in range(n))


def png_image():
    width, height = 4, 2
    rows = b""
    for y in range(height):
        rows += b"\x00" + bytes([255, 0, 0, 255] * width if y == 0 else [0, 0, 255, 128] * width)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, content_type="text/plain", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def number(self):
        try:
            return int(self.path.rsplit("/", 1)[1])
        except ValueError:
            return 0

    def echo(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        info = {
            "method": self.command,
            "path": self.path,
            "agent": self.headers.get("User-Agent"),
            "ctype": self.headers.get("Content-Type"),
            "expect": self.headers.get("Expect"),
            "length": len(body),
            "sha1": hashlib.sha1(body).hexdigest(),
            "body": body[:4096].decode("latin-1"),
        }
        self.reply(200, json.dumps(info, sort_keys=True).encode(), "application/json")

    def do_POST(self):
        self.echo()

    def do_GET(self):
        global holding
        p = self.path
        if p == "/hello":
            self.reply(200, b"Hello, world")
        elif p.startswith("/echo"):
            self.echo()
        elif p.startswith("/status/"):
            n = self.number()
            self.reply(n, ("status %d" % n).encode())
        elif p.startswith("/bytes/"):
            self.reply(200, pattern(self.number()), "application/octet-stream")
        elif p.startswith("/chunked/") or p.startswith("/text/"):
            n = self.number()
            data = pattern(n) if p.startswith("/chunked/") else bytes(97 + i % 26 for i in range(n))
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for at in range(0, len(data), 50000):
                piece = data[at:at + 50000]
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
            self.wfile.write(b"0\r\n\r\n")
        elif p.startswith("/close/"):
            data = pattern(self.number())
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(data)
            self.close_connection = True
        elif p == "/claim":
            self.send_response(200)
            self.send_header("Content-Length", "100000000000")
            self.end_headers()
            self.wfile.write(b"0123456789")
            self.close_connection = True
        elif p == "/broken":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b"0123456789")
            self.close_connection = True
        elif p == "/empty":
            self.reply(200, b"")
        elif p == "/redirect":
            self.reply(302, b"moved", extra=[("Location", "/hello")])
        elif p == "/image.png":
            self.reply(200, png_image(), "image/png")
        elif p == "/hold":
            with holding_lock:
                holding += 1
            released.wait(20)
            with holding_lock:
                holding -= 1
            self.reply(200, b"held")
        elif p == "/holding":
            with holding_lock:
                n = holding
            self.reply(200, str(n).encode())
        elif p == "/release":
            released.set()
            self.reply(200, b"released")
        elif p == "/stall":
            self.send_response(200)
            self.send_header("Content-Length", "100")
            self.end_headers()
            self.wfile.write(b"x")
            self.wfile.flush()
            time.sleep(30)
            self.close_connection = True
        elif p == "/silent":
            time.sleep(120)
            self.close_connection = True
        elif p == "/garbage":
            self.wfile.write(b"\x00\x01garbage that is not HTTP\r\n\r\n" * 20)
            self.close_connection = True
        elif p == "/closenow":
            self.close_connection = True
        elif p == "/drip":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            for _ in range(1000):
                self.wfile.write(b"x")
                self.wfile.flush()
                time.sleep(1)
            self.close_connection = True
        elif p == "/endless":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            piece = b"y" * 65536
            for _ in range(100000):
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
                self.wfile.flush()
                time.sleep(0.05)
            self.close_connection = True
        else:
            self.reply(404, b"not found")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        pass  # clients that go away (aborted or refused exchanges) are expected


def main():
    server = Server(("127.0.0.1", 0), Handler)
    if len(sys.argv) == 4 and sys.argv[1] == "--tls":
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[2], sys.argv[3])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()

    def watch_stdin():
        try:
            while sys.stdin.buffer.read(1):
                pass
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    time.sleep(300)
    os._exit(0)


if __name__ == "__main__":
    main()
