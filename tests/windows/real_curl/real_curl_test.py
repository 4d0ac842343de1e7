#!/usr/bin/env python3
"""The real exe with a real curl (Debian's, built for Windows with Schannel)
under Wine, against an HTTPS server and a CONNECT proxy of this test's own on
the loopback interface. One case per run:

    real_curl_test.py CASE --wine-run W --prefix P --exe E --curl C
                      --installer I --port N --scratch S

The exe was built with the download host localhost:N. Every process Wine
starts is elevated, and an elevated run looks for curl only in the system
folders: curl.exe goes into the prefix's system32, which is this test's own.
Wine's curl under Schannel checks no server certificate, so a throwaway one
made with openssl serves.

Cases: success; dropped_once (the first answer is reset halfway, a second
request would succeed); proxy (the user's proxy, written to the prefix's
Internet Settings in both forms Windows keeps, is the only way to the host:
nothing listens at localhost:N, the proxy maps it to the server); bypass (the
host is on the proxy's bypass list: the proxy sees nothing); proxy_unreachable
(the user's proxy does not answer); not_found, unavailable, server_down,
redirect_to_http: the exit code curl reports.
"""

import argparse
import os
import pathlib
import select
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import threading

DOWNLOAD_PATH = "/download/latest"
DONE = "下载完成，正在启动安装程序..."
PROXY_VARIABLES = ("https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "ALL_PROXY", "all_proxy",
                   "NO_PROXY", "no_proxy")


def failed_with(code):
    return f"下载失败（错误码 {code}）"


def read_head(connection):
    """The request line and headers, or None if the peer closed first."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = connection.recv(4096)
        if not chunk:
            return None
        data += chunk
        if len(data) > 65536:
            return None
    return data.split(b"\r\n\r\n", 1)[0].decode("latin-1")


class LoopbackListener:
    """Accepts connections on a loopback port and serves each on a thread of
    its own (`_serve`), until `close`."""

    def listen(self, port):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(connection,), daemon=True).start()


class HttpsServer(LoopbackListener):
    """Serves the installer at /download/latest as the case says:
    ok, drop_once (the first answer is cut off halfway by a reset), 404, 503,
    redirect_http (to the same path over plain http)."""

    def __init__(self, port, behaviour, installer, certificate, key):
        self.behaviour = behaviour
        self.installer = installer
        self.requests = []
        self.lock = threading.Lock()
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(certificate, key)
        self.listen(port)

    def _serve(self, raw):
        try:
            connection = self.context.wrap_socket(raw, server_side=True)
        except (OSError, ssl.SSLError):
            raw.close()
            return
        try:
            head = read_head(connection)
            if head is None:
                return
            request_line = head.split("\r\n", 1)[0]
            with self.lock:
                self.requests.append(request_line)
                number = len(self.requests)
            self._answer(connection, request_line, number)
        except (OSError, ssl.SSLError):
            pass
        finally:
            connection.close()

    def _answer(self, connection, request_line, number):
        parts = request_line.split(" ")
        if len(parts) != 3 or parts[0] != "GET" or parts[1] != DOWNLOAD_PATH:
            connection.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            return
        if self.behaviour in ("404", "503"):
            status = {"404": "404 Not Found", "503": "503 Service Unavailable"}[self.behaviour]
            body = b"not here\n"
            connection.sendall(f"HTTP/1.1 {status}\r\nContent-Length: {len(body)}\r\nConnection: close\r\n\r\n"
                               .encode() + body)
            return
        if self.behaviour == "redirect_http":
            connection.sendall(f"HTTP/1.1 302 Found\r\nLocation: http://localhost:{self.port}{DOWNLOAD_PATH}\r\n"
                               "Content-Length: 0\r\nConnection: close\r\n\r\n".encode())
            return
        head = (f"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                f"Content-Length: {len(self.installer)}\r\nConnection: close\r\n\r\n").encode()
        if self.behaviour == "drop_once" and number == 1:
            connection.sendall(head + self.installer[: len(self.installer) // 2])
            # A reset, not a TLS close: the connection breaks as a dropped
            # Wi-Fi or a scanning proxy breaks it.
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            return
        connection.sendall(head + self.installer)

    def close(self):
        self.listener.close()


class ConnectProxy(LoopbackListener):
    """A plain HTTP proxy that only tunnels (CONNECT), logs each request line,
    and maps the names it is given to loopback ports: the exe's download host
    can be reached through it alone."""

    def __init__(self, mapping):
        self.mapping = mapping
        self.log = []
        self.lock = threading.Lock()
        self.listen(0)

    def _serve(self, client):
        upstream = None
        try:
            head = read_head(client)
            if head is None:
                return
            request_line = head.split("\r\n", 1)[0]
            with self.lock:
                self.log.append(request_line)
            parts = request_line.split(" ")
            if len(parts) != 3 or parts[0] != "CONNECT":
                client.sendall(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
                return
            target = self.mapping.get(parts[1])
            if target is None:
                client.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
                return
            upstream = socket.create_connection(target)
            client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            self._relay(client, upstream)
        except OSError:
            pass
        finally:
            client.close()
            if upstream is not None:
                upstream.close()

    @staticmethod
    def _relay(client, upstream):
        peers = {client: upstream, upstream: client}
        while True:
            readable, _, _ = select.select(list(peers), [], [], 300)
            if not readable:
                return
            for source in readable:
                data = source.recv(65536)
                if not data:
                    return
                peers[source].sendall(data)

    def close(self):
        self.listener.close()


INTERNET_SETTINGS = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings"


def connection_settings(flags, proxy="", bypass=""):
    """DefaultConnectionSettings as Windows writes it and Wine's WinHTTP reads
    it: 0x46, a counter, the flags (1 direct, 2 proxy), then the proxy, the
    bypass list and the script address, each a length and ASCII bytes."""
    value = struct.pack("<III", 0x46, 1, flags)
    for text in (proxy, bypass, ""):
        value += struct.pack("<I", len(text)) + text.encode("ascii")
    return ",".join(f"{byte:02x}" for byte in value)


def user_proxy_settings(proxy=None, bypass=""):
    """A .reg file that sets the user's proxy (both forms Windows keeps), or
    a direct connection without auto-detection when proxy is None."""
    if proxy is None:
        values = ['"ProxyEnable"=dword:00000000', '"ProxyServer"=-', '"ProxyOverride"=-']
        binary = connection_settings(1)
    else:
        values = ['"ProxyEnable"=dword:00000001', f'"ProxyServer"="{proxy}"', f'"ProxyOverride"="{bypass}"']
        binary = connection_settings(3, proxy, bypass)
    return "\r\n".join(["REGEDIT4", "", f"[{INTERNET_SETTINGS}]", *values, "",
                        f"[{INTERNET_SETTINGS}\\Connections]", f'"DefaultConnectionSettings"=hex:{binary}', "", ""])


class Run:
    def __init__(self, args):
        self.args = args
        self.scratch = pathlib.Path(args.scratch)
        self.prefix = pathlib.Path(args.prefix)
        self.environment = {k: v for k, v in os.environ.items() if k not in PROXY_VARIABLES}
        # Wine runs a program in its system folders only when told to load the file itself.
        self.environment["WINEDLLOVERRIDES"] = "curl=n"

    def wine(self, *command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120):
        return subprocess.run([self.args.wine_run, str(self.prefix), *command], env=self.environment,
                              stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr, timeout=timeout).returncode

    def prepare(self):
        if self.scratch.exists():
            shutil.rmtree(self.scratch)
        self.scratch.mkdir(parents=True)
        (self.scratch / "records").mkdir()
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                        "-keyout", str(self.scratch / "key.pem"), "-out", str(self.scratch / "cert.pem")],
                       check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wine("cmd", "/c", "exit", "0")  # makes the prefix on first use
        system32 = self.prefix / "drive_c" / "windows" / "system32"
        shutil.copyfile(self.args.curl, system32 / "curl.exe")
        for folder in (self.prefix / "drive_c" / "windows" / "temp").glob("vant-*"):
            shutil.rmtree(folder, ignore_errors=True)

    def set_user_proxy(self, proxy=None, bypass=""):
        reg = self.scratch / "proxy.reg"
        reg.write_text(user_proxy_settings(proxy, bypass), encoding="ascii")
        status = self.wine("regedit", "/S", "Z:" + str(reg).replace("/", "\\"))
        if status != 0:
            raise SystemExit(f"regedit failed with {status}")

    def run_exe(self):
        records = self.scratch / "records"
        self.environment["VANT_TEST_RECORD_DIR"] = "Z:" + str(records).replace("/", "\\")
        with open(self.scratch / "out.txt", "wb") as out, open(self.scratch / "err.txt", "wb") as err:
            status = self.wine(self.args.exe, stdout=out, stderr=err, timeout=300)
        self.status = status
        self.out = (self.scratch / "out.txt").read_bytes().decode("utf-8", "replace")
        self.err = (self.scratch / "err.txt").read_bytes().decode("utf-8", "replace")
        installer_record = records / "installer.txt"
        self.installer_started = installer_record.exists() and "role=installer" in installer_record.read_text(
            encoding="utf-8", errors="replace")
        self.downloads = sorted((self.prefix / "drive_c" / "windows" / "temp").glob("vant-*/vant_installer_latest.exe"))


class Checks:
    def __init__(self, case):
        self.case = case
        self.failures = []

    def expect(self, condition, what):
        if not condition:
            self.failures.append(what)

    def report(self, run, extra):
        if not self.failures:
            print(f"{self.case}: passed")
            return 0
        print(f"{self.case}: FAILED; expected:")
        for failure in self.failures:
            print(f"  - {failure}")
        print(f"exit status: {run.status}")
        print(f"stdout:\n{run.out}")
        print(f"stderr:\n{run.err}")
        for line in extra:
            print(line)
        return 1


def closed_port():
    """A loopback port that nothing listens on (just freed)."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=["success", "dropped_once", "proxy", "bypass", "proxy_unreachable",
                                         "not_found", "unavailable", "server_down", "redirect_to_http"])
    for option in ("wine-run", "prefix", "exe", "curl", "installer", "scratch"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--port", type=int, required=True)
    args = parser.parse_args()

    for path in (args.exe, args.curl, args.installer):
        if not os.path.isfile(path):
            hint = " (build it: bash scripts/build-test-curl.sh)" if path == args.curl else ""
            print(f"missing {path}{hint}", file=sys.stderr)
            return 1

    run = Run(args)
    run.prepare()
    installer = pathlib.Path(args.installer).read_bytes()
    cert, key = str(run.scratch / "cert.pem"), str(run.scratch / "key.pem")
    host = f"localhost:{args.port}"
    checks = Checks(args.case)
    server = proxy = None
    try:
        behaviour = {"success": "ok", "dropped_once": "drop_once", "proxy": "ok", "bypass": "ok", "proxy_unreachable": "ok",
                     "not_found": "404", "unavailable": "503", "redirect_to_http": "redirect_http"}.get(args.case)
        if args.case == "proxy":
            # Nothing listens at the exe's host: only the proxy reaches the server.
            server = HttpsServer(0, behaviour, installer, cert, key)
        elif behaviour is not None:
            server = HttpsServer(args.port, behaviour, installer, cert, key)
        if args.case in ("proxy", "bypass"):
            target = ("127.0.0.1", server.port)
            proxy = ConnectProxy({host: target, f"127.0.0.1:{args.port}": target})
            # A bypass list as offices write it: a wildcard that does not
            # match the download host; for the bypass case, then its name.
            bypass = "*.corp.example;localhost" if args.case == "bypass" else "*.corp.example"
            run.set_user_proxy(f"127.0.0.1:{proxy.port}", bypass)
        elif args.case == "proxy_unreachable":
            # The office's proxy, away from the office: nothing answers there.
            run.set_user_proxy(f"127.0.0.1:{closed_port()}", "*.corp.example")
        else:
            run.set_user_proxy(None)

        run.run_exe()

        requests = list(server.requests) if server else []
        downloads = list(proxy.log) if proxy else []
        if args.case in ("success", "dropped_once", "proxy", "bypass", "proxy_unreachable"):
            checks.expect(run.status == 0, f"exit status 0 (was {run.status})")
            checks.expect(DONE in run.out, f"'{DONE}' on stdout")
            checks.expect(run.installer_started, "the stand-in installer started (its record)")
            checks.expect(len(run.downloads) == 1 and run.downloads[0].read_bytes() == installer,
                          f"exactly one download, equal to the installer: {[str(d) for d in run.downloads]}")
            expected_gets = 2 if args.case == "dropped_once" else 1
            checks.expect(requests == [f"GET {DOWNLOAD_PATH} HTTP/1.1"] * expected_gets,
                          f"{expected_gets} GET request(s) at the server: {requests}")
            if args.case == "proxy":
                checks.expect(downloads and all(line == f"CONNECT {host} HTTP/1.1" for line in downloads),
                              f"the proxy tunnelled to {host}: {downloads}")
            if args.case == "bypass":
                checks.expect(downloads == [], f"the proxy was not used: {downloads}")
        else:
            code = {"not_found": 22, "unavailable": 22, "server_down": 7, "redirect_to_http": 1}[args.case]
            checks.expect(run.status == 1, f"exit status 1 (was {run.status})")
            checks.expect(failed_with(code) in run.err, f"'{failed_with(code)}' on stderr")
            checks.expect(not run.installer_started, "no installer started")
        return checks.report(run, [f"server requests: {requests}", f"proxy log: {downloads}"])
    finally:
        if server:
            server.close()
        if proxy:
            proxy.close()
        run.set_user_proxy(None)


if __name__ == "__main__":
    sys.exit(main())
