"""lrzsz's sz sends the ramcode image through the chip's pty into the boot
ROM, after the download command; the chip then runs the ramcode. sz's
header carries the extra YMODEM fields (date, mode, ...)."""
import os
import re
import select
import subprocess
import sys
import tempfile
import time
import unittest

import serial

from simpeer import Sim, read_until

PROGRAM = sys.argv[1] if len(sys.argv) > 1 else 'stationsim'
IMAGE = sys.argv[2] if len(sys.argv) > 2 else 'TK716A_RAM_BIN.bin'


class SzThroughPty(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.ptys = os.path.join(self.tmp.name, 'tty')
        self.sim = Sim(PROGRAM, ['--duts', '1', '--pty-dir', self.ptys,
                                 '--trace', os.path.join(self.tmp.name, 'trace')],
                       os.path.join(self.tmp.name, 'state'))

    def tearDown(self):
        self.sim.stop()
        self.tmp.cleanup()

    def rfc2217(self):
        # Lines released before open, so opening does not reset the chip.
        port = serial.serial_for_url(self.sim.urls['dut01'], do_not_open=True, baudrate=115200,
                                     timeout=0.1)
        port.dtr = False
        port.rts = False
        port.open()
        return port

    def test_sz_loads_ramcode(self):
        # A pty has no control lines: the boot-entry sequence goes over RFC 2217.
        port = self.rfc2217()
        port.dtr, port.rts = True, True
        port.rts = False
        port.dtr = False
        port.write(b'version\r\n')
        self.assertIn(b'Mar 14 2021', read_until(port, b'Mar 14 2021', 2))
        port.close()

        # socat opens the chip's pty and gives sz a socket pair; the shell
        # sends the download command first, then sz sends the file.
        work = os.path.join(self.tmp.name, 'work')
        os.mkdir(work)
        image = os.path.join(work, 'TK716A_RAM_BIN.bin')
        with open(IMAGE, 'rb') as src, open(image, 'wb') as dst:
            data = src.read()
            dst.write(data)
        script = os.path.join(work, 'send.sh')
        with open(script, 'w') as f:
            f.write("cd '%s'\n"
                    "printf 'download [rambin] [0x20000000] [%d]\\r\\n'\n"
                    "sz --ymodem --1k -vv TK716A_RAM_BIN.bin\n"
                    "echo sz exit status $? >&2\n" % (work, len(data)))
        log = os.path.join(self.tmp.name, 'socat.log')
        with open(log, 'wb') as err:
            result = subprocess.run(
                ['socat', 'FILE:%s,raw,echo=0,b115200' % os.path.join(self.ptys, 'dut01'),
                 'SYSTEM:sh %s' % script], stderr=err, timeout=60)
        with open(log, 'rb') as f:
            text = f.read()
        self.assertEqual(result.returncode, 0, text)
        self.assertIn(b'sz exit status 0', text)

        # The chip runs the ramcode now: over the pty and over RFC 2217.
        fd = os.open(os.path.join(self.ptys, 'dut01'), os.O_RDWR | os.O_NOCTTY)
        try:
            os.write(fd, b'version\r\n')
            got = b''
            deadline = time.monotonic() + 2
            while b'RAMCODE' not in got and time.monotonic() < deadline:
                if select.select([fd], [], [], 0.1)[0]:
                    got += os.read(fd, 256)
            self.assertIn(b'RAMCODE', got)
        finally:
            os.close(fd)
        port = self.rfc2217()
        port.write(b'version\r\n')
        self.assertIn(b'RAMCODE', read_until(port, b'RAMCODE', 2))
        port.close()

        # sz's header carried more than name and size, and the data came in
        # 1024-byte blocks.
        with open(os.path.join(self.tmp.name, 'trace', 'dut01.trace'), 'rb') as f:
            trace = f.read()
        match = re.search(rb'YMODEM header: "TK716A_RAM_BIN.bin" "(\d+) ([0-7]+) ([0-7]+)', trace)
        self.assertIsNotNone(match, trace[-2000:])
        self.assertEqual(int(match.group(1)), len(data))
        done = b'transfer of %d bytes done (0 blocks of 128 bytes, %d longer blocks)' % (
            len(data), len(data) // 1024)
        self.assertTrue(done in trace, trace[-300:])


if __name__ == '__main__':
    unittest.main(argv=[sys.argv[0]], verbosity=2)
