#!/usr/bin/python3
"""korvanta serve --http on the simulated device, measured (not a test):

  bench/bench_http.py build/cli/korvanta [ROUNDS]

- what HTTP adds to a request: GET /api/v1 (no device), and the method get
  through HTTP against the same method through the service's socket;
- the time from a change made through the socket to the event stream
  carrying it, against the poll interval (the service's default, 3000 ms)."""

import http.client
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def median_ms(samples):
    return f"{statistics.median(samples) * 1000:.3f} ms (p90 {sorted(samples)[int(len(samples) * .9)] * 1000:.3f})"


class Rpc:
    def __init__(self, path):
        self.s = socket.socket(socket.AF_UNIX)
        self.s.connect(path)
        self.f = self.s.makefile("rb")
        self.n = 0

    def call(self, method, params=None):
        self.n += 1
        self.s.sendall(json.dumps({"jsonrpc": "2.0", "id": self.n, "method": method,
                                   "params": params or {}}).encode() + b"\n")
        while True:
            m = json.loads(self.f.readline())
            if m.get("id") == self.n:
                return m


def main():
    korvanta = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    work = tempfile.mkdtemp(prefix="korvanta-bench-")
    os.mkdir(os.path.join(work, "run"), 0o700)
    env = {k: v for k, v in os.environ.items() if not k.startswith("KORVANTA_")}
    env.update(XDG_RUNTIME_DIR=os.path.join(work, "run"), XDG_CONFIG_HOME=os.path.join(work, "c"),
               KORVANTA_LINK="simulator")
    port = free_port()
    serve = subprocess.Popen([korvanta, "serve", "--http", str(port)], env=env,
                             stderr=subprocess.PIPE, text=True)
    while "the page and the API" not in serve.stderr.readline():
        pass
    try:
        web = http.client.HTTPConnection("127.0.0.1", port)
        rpc = Rpc(os.path.join(work, "run", "korvanta", "sim-1.sock"))

        def timed(f):
            samples = []
            for _ in range(rounds):
                t = time.perf_counter()
                f()
                samples.append(time.perf_counter() - t)
            return samples

        def get(path):
            web.request("GET", path)
            web.getresponse().read()

        def post(path, body):
            web.request("POST", path, body=json.dumps(body),
                        headers={"Content-Type": "application/json"})
            web.getresponse().read()

        bare = timed(lambda: get("/api/v1"))
        over_http = timed(lambda: post("/api/v1/get", {"names": ["input"]}))
        over_socket = timed(lambda: rpc.call("get", {"names": ["input"]}))
        print(f"GET /api/v1 (no device):          {median_ms(bare)}")
        print(f"get through HTTP:                 {median_ms(over_http)}")
        print(f"get through the socket:           {median_ms(over_socket)}")
        print(f"HTTP beyond the device's own time: "
              f"{(statistics.median(over_http) - statistics.median(over_socket)) * 1000:.3f} ms")

        # A change to the event stream: the poll finds it, then the stream says it.
        stream = socket.create_connection(("127.0.0.1", port))
        stream.sendall(f"GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode())
        arrived = []
        seen = threading.Event()

        def read():
            buffer = b""
            while True:
                chunk = stream.recv(65536)
                if not chunk:
                    return
                buffer += chunk
                if b"event: settingsChanged" in buffer:
                    arrived.append(time.perf_counter())
                    buffer = b""
                    seen.set()

        threading.Thread(target=read, daemon=True).start()
        time.sleep(0.5)
        delays = []
        for i in range(6):
            seen.clear()
            arrived.clear()
            t = time.perf_counter()
            rpc.call("set", {"values": {"input": "b" if i % 2 == 0 else "a"}})
            seen.wait(10)
            delays.append(arrived[0] - t)
        print(f"change to event (poll 3000 ms):   median {statistics.median(delays) * 1000:.0f} ms, "
              f"max {max(delays) * 1000:.0f} ms")
    finally:
        serve.terminate()
        serve.wait(10)


if __name__ == "__main__":
    main()
