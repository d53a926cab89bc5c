#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/ (run it again after changing a
harness's input layout). Each seed is a realistic input of its harness: the
chip's real answers, a valid settings file, a real scenario ...

libFuzzer's FuzzedDataProvider takes whole numbers from the END of the
input and byte strings from its front, so a seed is its bytes followed by
its numbers in reverse order of use."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def crc16(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


def numbers(*values):
    """(value, byte count) in the order the harness takes them."""
    tail = []
    for value, count in values:
        for k in range(count):
            tail.append((value >> (8 * (count - 1 - k))) & 0xFF)
    return bytes(reversed(tail))


def write(harness, name, data):
    d = os.path.join(HERE, 'corpus', harness)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def ymodem_block(start, number, payload, length, pad):
    data = payload + bytes([pad]) * (length - len(payload))
    c = crc16(data)
    return bytes([start, number, 255 - number]) + data + bytes([c >> 8, c & 0xFF])


def ymodem_file(name, content, stx):
    out = ymodem_block(1, 0, name.encode() + b'\0' + str(len(content)).encode(), 128, 0)
    n = 1
    for at in range(0, len(content), stx):
        part = content[at:at + stx]
        out += ymodem_block(1 if len(part) <= 128 else 2, n, part, 128 if len(part) <= 128 else stx, 0x1A)
        n += 1
    return out + b'\x04\x04' + ymodem_block(1, 0, b'', 128, 0)


# --- chipanswers: answer + (operation, dump length, devices, piece) ---------
def answers(op, answer, length=0, devices=1, piece=8):
    return answer + numbers((op, 1), (length, 2), (devices, 1), (piece - 1, 1))

uid = b'0123456789abcdef0123456789abcdef'
dump = bytes([1, 2, 0xAB, 0xFF])
c = crc16(dump)
dump_text = b'\r\n' + b''.join(b'%02x ' % b for b in dump + bytes([c >> 8, c & 0xFF]))
seeds = {
    'confirm': answers(0, b'\r\npppp\r\n'),
    'passfail-pass': answers(1, b'\r\npppp\r\n'),
    'passfail-fail': answers(1, b'\r\nffff\r\n'),
    'filecount': answers(2, b'\r\nfc:2\r\n'),
    'flashuid': answers(3, b'\r\nflash uid:0x' + uid + b'\r\npppp\r\n'),
    'efuse': answers(4, b'\r\nefuse data:0x00000005\r\npppp\r\n'),
    'lockstate': answers(5, b'\r\nsta:1\r\npppp\r\n'),
    'gpio': answers(6, b'\r\ngpio val:0x1\r\npppp\r\n'),
    'gpio-all': answers(7, b'\r\ngpio val:0xa5\r\npppp\r\n'),
    'xtal': answers(8, b'\r\nxtal_cap:-3\r\npppp\r\n'),
    'txp-b': answers(9, b'\r\nb:8\r\npppp\r\n'),
    'txp-gn': answers(10, b'\r\ngn:6\r\npppp\r\n'),
    'mac-strict': answers(11, b'\r\n02:54:4b:00:00:10\r\npppp\r\n'),
    'mac-otp-blank': answers(12, b'\r\nff:ff:ff:ff:ff:ff\r\npppp\r\n'),
    'hexdump': answers(13, dump_text, length=4),
    'master-tx': answers(14, b'rssi:-48\r\n' * 20, devices=1),
    'slave-rx': answers(15, b'freq=1.5,rssi=-50\r\n' * 20, piece=40),
    'checked-dump': answers(16, dump_text, length=4),
    'checked-dump-flipped': answers(16, dump_text.replace(b'ab', b'bb'), length=4),
    'mac-otp-cut': answers(12, b'\r\n02:54\x00:4b:00:00:10\r\npppp\r\n'),
    'mac-otp-late-end': answers(12, b'pppp\r\n02:54:4b:00:00:10\r\n', piece=3),
    'confirm-dribbled': answers(0, b'\r\nxtal_cap:5\r\npppp\r\n', piece=1),
}
for name, data in seeds.items():
    write('chipanswers', name, data)

# --- atcmd: answer + (piece) -------------------------------------------------
write('atcmd', 'ate-ok', b'\r\n+XTAL_COMP:5\r\n+TXPOWER_COMP:10\r\n+TXPOWER_B_COMP:8\r\n'
      b'+TXPOWER_GN_COMP:-6\r\n\r\nOK\r\n' + numbers((7, 1)))
write('atcmd', 'ok', b'\r\nOK\r\n' + numbers((0, 1)))
write('atcmd', 'error', b'\r\nERROR\r\n' + numbers((3, 1)))

# --- ymodemsender: piece contents + (file, block size, piece lengths...) ----
def dialogue(which, long_blocks, pieces):
    front = b''.join(pieces)
    return front + numbers((which, 1), (0 if long_blocks else 1, 1), *[(len(p), 1) for p in pieces])

ACK, NAK, CAN = b'\x06', b'\x15', b'\x18'
write('ymodemsender', 'one-byte', dialogue(0, False, [b'C', ACK + b'C', ACK, NAK, ACK + b'C', ACK]))
write('ymodemsender', 'two-blocks', dialogue(4, False, [b'C', ACK + b'C', ACK, ACK, NAK, ACK + b'C', ACK]))
write('ymodemsender', 'nak-resend', dialogue(5, False, [b'C', ACK + b'C', NAK, ACK, NAK, ACK, ACK, NAK, ACK + b'C', ACK]))
write('ymodemsender', 'upgrade-blocks', dialogue(7, True, [b'C', ACK + b'C', ACK, ACK, NAK, ACK + b'C', ACK]))
write('ymodemsender', 'chip-cancels', dialogue(6, False, [b'C', ACK + b'C', ACK, CAN * 5]))

# --- rfc2217client: server bytes + (piece) -----------------------------------
IAC, WILL, WONT, DO, DONT, SB, SE = 255, 251, 252, 253, 254, 250, 240
server = bytes([IAC, DO, 0, IAC, WILL, 0, IAC, DO, 3, IAC, WILL, 3, IAC, DO, 44])
server += bytes([IAC, SB, 44, 101]) + struct.pack('>I', 115200) + bytes([IAC, SE])
server += bytes([IAC, SB, 44, 105, 8, IAC, SE]) + b'\r\nTK716A boot ROM\r\n'
write('rfc2217client', 'negotiation', server + numbers((4, 1)))
write('rfc2217client', 'doubled-ff', bytes([IAC, SB, 44, 101, 0, 0x0F, 0x42, 0x40, IAC, SE]) +
      b'data ' + bytes([IAC, IAC, 0, IAC, IAC]) + bytes([IAC, DONT, 1, IAC, WONT, 44]) + numbers((0, 1)))
write('rfc2217client', 'refusals', bytes([IAC, DONT, 44, IAC, WONT, 0, IAC, DO, 1, IAC, WILL, 24]) + numbers((2, 1)))

# --- tooloutput: the chip tool's standard output ----------------------------
write('tooloutput', 'gm-mac', 'mac:02:54:4b:00:00:10\r\nOk.\n')
write('tooloutput', 'xtal', 'xtal_cap:3\nOk.\n')
write('tooloutput', 'rx-dut', 'result:\n' + 'freq=-1.5,rssi=-50\r\n' * 20 + 'Ok.\n')
write('tooloutput', 'tx-gm', 'result:\n' + 'rssi:-48\r\n' * 20 + 'Ok.\n')
write('tooloutput', 'fail', 'Fail. Serial port open failed.\n')

# --- deviceconfig: the settings file -----------------------------------------
def settings(eol='\n'):
    lines = ['ENBALE,Device Name,Serial Num,TX CAL,RX CAL', '1,Gold Machine,rfc2217://127.0.0.1:7000,0']
    for slot in range(24):
        lines.append('%d,DUT%d,%s,0,%d' % (1 if slot < 4 else 0, slot,
                                            'rfc2217://127.0.0.1:%d' % (7001 + slot) if slot < 4 else '', slot % 3 - 1))
    lines += ['/opt/station/TK716A_RAM_BIN.bin', '-20', '-75', '10', '-10', '-20', '-75', '0', '7', '10',
              '120000', '48', '40', '8', '-3', '0']
    return ''.join(l + ',' + eol for l in lines)
write('deviceconfig', 'station', settings())
write('deviceconfig', 'windows', settings('\r\n'))
write('deviceconfig', 'odd-values', settings().replace('120000', '1e9').replace('-3,', '200,').replace('48,', 'x,'))

# --- chipinfo: Config/chip_info.json ----------------------------------------
write('chipinfo', 'built-in', '{\n    "TK602C": "Aug  9 2021/16:16:40",\n    "TK716A": "Mar 14 2021/00:23:32"\n}\n')
write('chipinfo', 'array', '["TK716A"]')
write('chipinfo', 'number-banner', '{"TK716A": 5, "X": null}')

# --- scenario: stationsim scenario files ------------------------------------
write('scenario', 'example', '''{
    "duts": 4, "seed": 7, "dutDefaults": { "freqNoise": 0.5 },
    "chips": {
        "gm":    { "faults": { "otpLocked": true } },
        "dut02": { "optimum": 40, "slope": 1.5 },
        "dut03": { "faults": { "rfSamples": 19 } },
        "dut04": { "start": "bootrom", "faults": { "nakBlocks": 2, "answerDelayMs": 50 } }
    }
}''')
write('scenario', 'all-keys', '''{"basePort": 0, "duts": 2, "seed": 1, "baud": 115200,
 "dutDefaults": {"faults": {"lineNoise": 0.05}},
 "chips": {"dut01": {"start": "ramcode", "baud": 921600, "optimum": -5, "slope": 2, "freqNoise": 1,
   "pathLoss": 50, "txPower": 0, "rssiNoise": 1,
   "storage": {"mac": "02:54:4b:00:00:11", "xtal": 3, "txPower": 1, "txPowerB": 2, "txPowerGn": 3,
               "flashUid": "0123456789abcdef0123456789abcdef"},
   "faults": {"silent": false, "ignoreResets": false, "refuseImage": false, "nakBlocks": 1,
              "cancelAfterBlocks": 3, "answerDelayMs": 10, "rfSamples": 21, "xtalNeverConverges": false,
              "otpLocked": false, "malformedMac": false, "unplugAfterCommands": 9, "refuseBaud": false}}}}''')
write('scenario', 'unknown-key', '{"chips": {"dut01": {"faults": {"slient": true}}}}')

# --- simcommands: host bytes + (start program, golden, piece) ----------------
def host(start, golden, data, piece=32):
    return data + numbers((start, 1), (1 if golden else 0, 1), (piece - 1, 1))

image = b'TK716A-SIM-RAMCODE' + bytes(range(110))
write('simcommands', 'firmware', host(0, False, b'AT\r\nATE0\r\nAT+PVTCMD=XTAL_CAP,5\r\nAT+PVTCMD=TX_POWER_B,-3\r\n'
                                      b'AT+ATE_OK?\r\nAT+GMR\r\nAT+RST\r\nbogus\r\n'))
write('simcommands', 'boot-download', host(1, False, b'version\r\nbaudrate [boot][115200]\r\n'
                                           b'download [rambin] [0x20000000] [128]\r\n' +
                                           ymodem_file('ram.bin', image, 1024) + b'version\r\nflash_uid\r\n'))
write('simcommands', 'boot-cancel', host(1, False, b'download [rambin] [0x20000000] [4096]\r\n' +
                                         ymodem_file('x.bin', bytes(300), 1024)[:500] + b'\x18\x18version\r\n'))
write('simcommands', 'ramcode', host(2, False, b'\r\n'.join([
    b'version', b'flash_uid', b'efuse_read 1', b'efuse_write 1 0x5', b'flash_read 0x0 0x10',
    b'flash_otp_read 0 16', b'flash_otp_write 3 -2', b'flash_otp_get_lock_state', b'gpio_write GPIO3 1',
    b'gpio_read GPIO3', b'gpio_write_all 0xff', b'gpio_read_all', b'get_m_local_mac',
    b'set_s_remote_mac 02:54:4b:00:00:10', b'set_s_local_mac 02:54:4b:00:00:11', b'start_s_rx_test 1000 7',
    b'start_s_tx_test 10 1000 7', b'rf_stop', b'set_xtal_cap_in_ram -12', b'set_xtal_cap_in_flash_otp 5',
    b'get_xtal_cap_in_flash_otp', b'set_txp_b_in_flash_otp 3', b'get_txp_gn_in_flash_otp',
    b'set_mac_in_flash_otp 02:54:4b:00:00:11', b'get_mac_in_flash_otp', b'ferase 0x1000 0x1000',
    b'ferase_all', b'fdump 0x0 0x20', b'flash_test', b'flash_info', b'filecount', b'flash_otp_lock',
    b'flash_otp_write 4 1', b'baudrate 921600', b'reboot', b'AT']) + b'\r\n'))
write('simcommands', 'golden-rf', host(2, True, b'get_m_local_mac\r\nset_m_test_device_mac 0 02:54:4b:00:00:11\r\n'
                                       b'start_m_rx_test 10 1000 7\r\nstart_m_tx_test 1000 7\r\nrf_stop\r\n'))
write('simcommands', 'upgrade', host(2, False, b'startaddr 0x2000\r\nupgrade\r\n' +
                                     ymodem_file('app.bin', bytes(range(256)) * 70, 16384) + b'filecount\r\n', 255))
