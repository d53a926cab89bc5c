"""pyserial's RFC 2217 client against the simulated chip: line settings,
the boot-entry line sequence, the boot ROM banner, and garbage at a baud
rate the chip did not switch to."""
import sys
import tempfile
import unittest

import serial

from simpeer import Sim, read_until

PROGRAM = sys.argv[1] if len(sys.argv) > 1 else 'stationsim'
BANNER = b'Mar 14 2021/00:23:32'


class PyserialRfc2217(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.sim = Sim(PROGRAM, ['--duts', '1'], self.tmp.name)
        # open() sets 115200 8N1, asserts DTR and RTS and waits for every answer.
        self.port = serial.serial_for_url(self.sim.urls['dut01'], baudrate=115200, bytesize=8,
                                          parity='N', stopbits=1, timeout=0.1)

    def tearDown(self):
        self.port.close()
        self.sim.stop()
        self.tmp.cleanup()

    def enter_boot(self):
        p = self.port
        p.dtr, p.rts = True, False
        p.rts, p.dtr = True, False
        p.dtr, p.rts = True, False
        p.dtr = False

    def test_banner_after_boot_entry(self):
        # Held in reset by pyserial's own open(): no answer.
        self.port.write(b'AT\r\n')
        self.assertEqual(self.port.read(32), b'')
        self.enter_boot()
        self.port.reset_input_buffer()
        self.port.write(b'version\r\n')
        answer = read_until(self.port, BANNER, 2)
        self.assertIn(BANNER, answer)
        self.assertNotIn(b'RAMCODE', answer)

    def test_unfollowed_baud_gives_garbage(self):
        self.enter_boot()
        read_until(self.port, BANNER, 2)
        self.port.baudrate = 57600
        self.enter_boot()  # the chip greets at its 115200 after the reset
        garbage = read_until(self.port, b'never', 0.5)
        self.assertGreaterEqual(len(garbage), 20)
        self.assertNotIn(BANNER, garbage)
        self.assertFalse(any(0x20 <= b < 0x7f for b in garbage), garbage)
        # Back at the chip's rate, it is understood again.
        self.port.baudrate = 115200
        self.port.reset_input_buffer()
        self.port.write(b'version\r\n')
        self.assertIn(BANNER, read_until(self.port, BANNER, 2))

    def test_baud_switch_followed(self):
        self.enter_boot()
        read_until(self.port, BANNER, 2)
        self.port.write(b'baudrate 921600\r\n')
        self.port.read(64)  # the host waits 100 ms before it follows
        self.port.baudrate = 921600
        self.port.reset_input_buffer()
        self.port.write(b'version\r\n')
        self.assertIn(BANNER, read_until(self.port, BANNER, 2))


if __name__ == '__main__':
    unittest.main(argv=[sys.argv[0]], verbosity=2)
