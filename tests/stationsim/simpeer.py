"""Starts stationsim for the peer tests and reads its ready line."""
import os
import select
import subprocess
import sys
import time


class Sim:
    def __init__(self, program, args, state_dir):
        cmd = [program, '--base-port', '0', '--state-dir', state_dir] + list(args)
        self.proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=sys.stderr)
        deadline = time.monotonic() + 10
        line = b''
        while not line.endswith(b'\n'):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                self.stop()
                raise RuntimeError('no ready line from stationsim')
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            if not chunk:
                self.stop()
                raise RuntimeError('stationsim ended before it was ready')
            line += chunk
        words = line.decode().split()
        if words[0] != 'ready':
            self.stop()
            raise RuntimeError('unexpected line: %r' % line)
        self.urls = dict(w.split('=', 1) for w in words[1:])

    def stop(self):
        self.proc.stdout.close()
        self.proc.stdin.close()
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def read_until(port, marker, timeout):
    """Reads from a pyserial port until marker shows up or time runs out."""
    got = b''
    deadline = time.monotonic() + timeout
    while marker not in got and time.monotonic() < deadline:
        got += port.read(port.in_waiting or 1)
    return got
