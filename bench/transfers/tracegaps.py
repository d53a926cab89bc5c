#!/usr/bin/env python3
"""Where a YMODEM transfer loses time on stationsim's link, from a wire trace
(stationsim --trace DIR, or bench_transfers --sim-trace DIR).

For every ACK the chip sent: the time from the delivery of the block's last
bytes to the ACK leaving the chip, and from the ACK to the first bytes of the
next packet reaching the chip. Deliveries happen on the simulator's 1 ms
timer, so both carry up to 1 ms of rounding.

  bench/transfers/tracegaps.py DIR/dut01.trace [first|last]
"""
import re
import statistics
import sys


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    lines = open(sys.argv[1], encoding='utf-8', errors='replace').read().split('\n')
    which = sys.argv[2] if len(sys.argv) > 2 else 'last'
    headers = [i for i, line in enumerate(lines) if 'YMODEM header' in line]
    if not headers:
        print('no transfer in the trace')
        return 1
    start = headers[0] if which == 'first' else headers[-1]
    events = []
    for line in lines[start:]:
        if ' -- chip: transfer' in line:
            break
        match = re.match(r'\s*([\d.]+) (host>chip|chip>host) (.*?)  \|', line)
        if match:
            events.append((float(match.group(1)), match.group(2), match.group(3).split()))
    to_ack, to_next = [], []
    last_host = None
    for i, (when, direction, data) in enumerate(events):
        if direction == 'host>chip':
            last_host = when
        elif '06' in data and last_host is not None:
            following = next((t for (t, d, _) in events[i + 1:] if d == 'host>chip'), None)
            if following is not None:
                to_ack.append((when - last_host) * 1000)
                to_next.append((following - when) * 1000)
    if not to_ack:
        print('no acknowledged block in the transfer')
        return 1
    print('%d acknowledged packets' % len(to_ack))
    for name, values in (('last bytes in -> ACK out', to_ack), ('ACK out -> next bytes in', to_next)):
        print('%-26s median %.3f ms, mean %.3f ms, max %.3f ms'
              % (name, statistics.median(values), statistics.mean(values), max(values)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
