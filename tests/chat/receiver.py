#!/usr/bin/env python3
"""A web receiver for the chat tests: takes POSTs on any path, writes each
as one JSON line (path, headers, body) to the log file, and answers with
the statuses given for its path in turn (200 once they run out).

    receiver.py LOG PORTFILE [PATH=STATUS,STATUS ...]
"""
import http.server
import json
import sys

log_path, port_path = sys.argv[1], sys.argv[2]
answers = {}
for spec in sys.argv[3:]:
    path, statuses = spec.split("=", 1)
    answers[path] = [int(s) for s in statuses.split(",")]


class Receiver(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        queue = answers.get(self.path, [])
        status = queue.pop(0) if queue else 200
        with open(log_path, "a", encoding="utf-8") as log:
            log.write(json.dumps({"path": self.path, "status": status,
                                  "headers": {k.lower(): v for k, v in self.headers.items()},
                                  "body": body.decode("utf-8")}) + "\n")
        self.send_response(status)
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"ok")

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Receiver)
with open(port_path + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
import os
os.rename(port_path + ".tmp", port_path)
server.serve_forever()
