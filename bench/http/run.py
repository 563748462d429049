#!/usr/bin/env python3
"""HTTP benchmarks, run on demand.

Server: the Zarn hello-world server under wrk (2 threads, 64 connections,
--seconds each) beside Python's ThreadingHTTPServer and Node.js's http module
serving the same text, measured in the same run; requests per second and
their ratios, and the Zarn server's resident memory after the warm-up and
after at least 100,000 requests.

Client: 1000 sequential GETs (one connection each) against the Node.js
server, by the Zarn http client, Python's http.client and curl.

    bench/http/run.py [--zarn build/zarn] [--seconds 10]

Installs wrk and nodejs through apt-get when they are missing.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def ensure(command, package):
    if shutil.which(command):
        return
    subprocess.run(["apt-get", "install", "-y", "-qq", package], check=True)


def start(command, scratch, name):
    port_file = os.path.join(scratch, name + ".port")
    process = subprocess.Popen(command + [port_file], cwd=HERE, stdout=subprocess.DEVNULL)
    for _ in range(500):
        if os.path.exists(port_file) and open(port_file).read().strip():
            return process, int(open(port_file).read())
        time.sleep(0.01)
    process.kill()
    sys.exit(name + " did not start")


def stop(process):
    process.send_signal(signal.SIGINT)
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def wrk(port, seconds):
    out = subprocess.run(["wrk", "-t2", "-c64", "-d%ds" % seconds, "http://127.0.0.1:%d/" % port],
                         capture_output=True, text=True, timeout=seconds + 30).stdout
    rate = float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))
    total = int(re.search(r"(\d+) requests in", out).group(1))
    errors = re.search(r"Socket errors: (.*)", out)
    non2xx = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    notes = (errors.group(1) if errors else "") + (" non-2xx %s" % non2xx.group(1) if non2xx else "")
    return rate, total, notes.strip()


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


def timed(command, count_ok=lambda out: out.strip() == "1000"):
    start_time = time.perf_counter()
    out = subprocess.run(command, cwd=HERE, capture_output=True, text=True, timeout=600).stdout
    elapsed = time.perf_counter() - start_time
    if not count_ok(out):
        sys.exit("%s printed %r" % (" ".join(command), out.strip()[:200]))
    return elapsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zarn", default=os.path.join(HERE, "..", "..", "build", "zarn"))
    parser.add_argument("--seconds", type=int, default=10)
    args = parser.parse_args()
    zarn = os.path.abspath(args.zarn)
    ensure("wrk", "wrk")
    ensure("node", "nodejs")

    with tempfile.TemporaryDirectory() as scratch:
        servers = {
            "zarn": [zarn, "run", "hello.zarn"],
            "python": [sys.executable, "hello.py"],
            "node": ["node", "hello.js"],
        }
        rates = {}
        for name, command in servers.items():
            process, port = start(command, scratch, name)
            wrk(port, 1)  # warm-up
            before = rss_kib(process.pid)
            rate, total, notes = wrk(port, args.seconds)
            served = total
            # At least 100,000 requests in all, unless that takes over a minute.
            deadline = time.time() + 60
            while name == "zarn" and served < 100000 and time.time() < deadline:
                served += wrk(port, 2)[1]
            after = rss_kib(process.pid)
            stop(process)
            rates[name] = rate
            line = "%-7s %9.0f requests/s  (%d in %d s%s)" % (
                name, rate, total, args.seconds, ", " + notes if notes else "")
            if name == "zarn":
                line += "  RSS %d KiB after warm-up, %d KiB after %d more requests" % (
                    before, after, served)
            print(line)
        print("zarn / python = %.2f   zarn / node = %.2f" % (
            rates["zarn"] / rates["python"], rates["zarn"] / rates["node"]))

        process, port = start(servers["node"], scratch, "target")
        url = "http://127.0.0.1:%d/" % port
        config = os.path.join(scratch, "curl.txt")
        with open(config, "w") as f:
            f.write('header = "Connection: close"\n' +
                    ('url = "%s"\noutput = "/dev/null"\n' % url) * 1000)
        counts = {
            "zarn": timed([zarn, "run", "client.zarn", url]),
            "python": timed([sys.executable, "client.py", url]),
            "curl": timed(["curl", "-s", "-K", config, "-w", "%{http_code}\\n"],
                          lambda out: out.split().count("200") == 1000),
        }
        stop(process)
        for name, seconds in counts.items():
            print("client %-7s %.3f ms per GET (1000 sequential GETs in %.2f s)" % (
                name, seconds, seconds))


main()
