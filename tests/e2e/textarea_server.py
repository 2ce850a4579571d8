"""A page with one focused textarea that reports its value, for typing into
a real browser. Each report is written to REPORT; each load of the page is
counted in LOADS. Prints the port it listens on.
textarea_server.py TITLE REPORT LOADS"""
import http.server
import sys

TITLE, REPORT, LOADS = sys.argv[1], sys.argv[2], sys.argv[3]
PAGE = f"""<!doctype html>
<html><head><meta charset="utf-8"><title>{TITLE}</title></head>
<body><textarea id="t" autofocus rows="20" cols="80"></textarea>
<script>
const t = document.getElementById("t");
let timer = null;
t.addEventListener("input", () => {{
  clearTimeout(timer);
  timer = setTimeout(() => fetch("/report", {{method: "POST", body: t.value}}), 200);
}});
</script></body></html>""".encode()


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path != "/":
            self.send_error(404)
            return
        with open(LOADS, "a") as loads:
            loads.write("load\n")
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.end_headers()
        self.wfile.write(PAGE)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with open(REPORT + ".part", "wb") as report:
            report.write(body)
        import os
        os.replace(REPORT + ".part", REPORT)
        self.send_response(204)
        self.end_headers()

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
print(server.server_port, flush=True)
server.serve_forever()
