#!/usr/bin/env python3
# A small web server for the calendar tests: the files of a folder as
# calendars (text/calendar), and a few addresses that misbehave.
#
#   calendar_server.py FOLDER PORT
#
#   /<file>             the file of FOLDER, 404 when there is none
#   /redirect/<target>  302 to <target> (percent-encoded)
#   /silent             takes the request and never answers
#   /huge               20 MB of calendar text, with no length said beforehand
#   /huge-declared      the same with its Content-Length
# Each request is written to standard error as one line.

import http.server
import os
import socketserver
import sys
import urllib.parse

FOLDER, PORT = sys.argv[1], int(sys.argv[2])
HUGE = 20 * 1024 * 1024
EVENT = (b"BEGIN:VEVENT\r\nUID:filler\r\nDTSTART:20300101T090000Z\r\nDTEND:20300101T100000Z\r\n"
         b"SUMMARY:Filler\r\nEND:VEVENT\r\n")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        if path.startswith("/redirect/"):
            self.send_response(302)
            self.send_header("Location", urllib.parse.unquote(path[len("/redirect/"):]))
            self.end_headers()
        elif path == "/silent":
            # Never answers: holds the connection until the fetcher gives up
            # and hangs up.
            while self.connection.recv(4096):
                pass
        elif path in ("/huge", "/huge-declared"):
            self.send_response(200)
            self.send_header("Content-Type", "text/calendar")
            if path == "/huge-declared":
                self.send_header("Content-Length", str(HUGE))
            self.end_headers()
            try:
                self.wfile.write(b"BEGIN:VCALENDAR\r\nVERSION:2.0\r\n")
                sent = 0
                while sent < HUGE:
                    self.wfile.write(EVENT * 1000)
                    sent += len(EVENT) * 1000
            except (BrokenPipeError, ConnectionResetError):
                pass
        else:
            name = os.path.join(FOLDER, os.path.basename(path))
            if not os.path.isfile(name):
                self.send_error(404)
                return
            with open(name, "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Type", "text/calendar; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

    def log_message(self, format, *args):
        sys.stderr.write("%s\n" % (format % args))
        sys.stderr.flush()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


Server(("127.0.0.1", PORT), Handler).serve_forever()
