#!/usr/bin/env python3
"""Serves the page's folder on localhost with the headers that let the page
share memory with its worker (cross-origin isolation), which Stop, Pause and
Step need: python3 web/serve.py FOLDER [PORT]. With --plain it serves without
them, as a static host that cannot set headers does."""
import functools
import http.server
import sys


PLAIN = "--plain" in sys.argv


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript", ".svg": "image/svg+xml"}

    def end_headers(self):
        if not PLAIN:
            self.send_header("Cross-Origin-Opener-Policy", "same-origin")
            self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def log_message(self, *args):
        pass


def main():
    args = [a for a in sys.argv[1:] if a != "--plain"]
    folder = args[0] if args else "."
    port = int(args[1]) if len(args) > 1 else 8000
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(Handler, directory=folder))
    print(f"Serving {folder} at http://127.0.0.1:{server.server_address[1]}/ (Ctrl-C ends)", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
