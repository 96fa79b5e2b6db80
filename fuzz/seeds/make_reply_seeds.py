#!/usr/bin/env python3
"""Writes the seed inputs of the reply and template fuzz targets.

Every seed is a valid exchange (layouts in fuzz/reply_wire.h and
fuzz/fuzz_template.cpp); the fuzzer damages them from there. Run from any
folder: python3 fuzz/seeds/make_reply_seeds.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SOH, STX, ETX, ACK, CR, NAK, LF = 0x01, 0x02, 0x03, 0x06, 0x0D, 0x15, 0x0A


def bump(c):
    return c + 1 if c in (0x01, 0x0D) else c


def main_check(body):
    x = 0
    for b in body:
        x ^= b
    return bump(~x & 0xFF)


def xor_check(body):
    x = 0
    for b in body:
        x ^= b
    return bump(x)


def frame(data, check, address=b"01"):
    body = bytes([SOH]) + address + bytes([STX]) + data + bytes([ETX])
    return body + bytes([check(body), CR])


def short(ack, check, address=b"01"):
    body = bytes([SOH]) + address + bytes([ack])
    return body + bytes([check(body), CR])


def packet(command, params, block=b""):
    head = bytes([0x40, command]) + bytes(params) + b"\0"
    head = head[:11]
    head += bytes([sum(head) & 0xFF, LF])
    return head + (block + bytes([LF]) if block else b"")


def wire(flags, chunk, capacity, expected, replies):
    out = struct.pack("<BBHH", flags, chunk, capacity, expected)
    for r in replies:
        out += struct.pack("<H", len(r)) + r
    return out


def write(folder, name, data):
    path = os.path.join(HERE, folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


ECHO, TCP, SINGLE = 1, 2, 4

# Main protocol: date and time (23 bytes), a memory read, ACK and NAK.
date = frame(b"28" + b"2408151230450004", main_check)
memory = frame(b"2D00100004" + b"0123456789ABCDEF" * 8, main_check)
write("reply_main", "date_time.bin", wire(0, 0, 64, 23, [date]))
write("reply_main", "date_time_in_bytes.bin", wire(0, 1, 64, 23, [date]))
write("reply_main", "date_time_echo.bin", wire(ECHO, 3, 64, 23, [date]))
write("reply_main", "memory_tcp.bin", wire(TCP, 17, 1024, len(memory), [memory]))
write("reply_main", "nak_then_ack.bin", wire(0, 0, 64, 6, [short(NAK, main_check), b"", short(ACK, main_check)]))
write("reply_main", "single_attempt_ack.bin", wire(SINGLE, 2, 64, 6, [short(ACK, main_check)]))

# Plain-XOR variant: a card reader's short data reply and its ACK.
card = frame(b"3012", xor_check)
write("reply_xor", "nine_bytes.bin", wire(0, 0, 64, 13, [card]))
write("reply_xor", "ack_echo.bin", wire(ECHO, 2, 64, 6, [short(ACK, xor_check)]))
write("reply_xor", "late_answer_tcp.bin", wire(TCP, 5, 64, 9, [b"", frame(b"3144", xor_check)[:5], card]))

# Binary packets: a bare header and a header with a data block.
plain = packet(0x30, [0, 0, 0, 0, 0, 0, 0, 0, 0])
block = bytes(range(32))
with_data = packet(0x14, [0, 0, 0, 0, len(block), 0, 0, 0, 0], block)
write("reply_packet", "header.bin", wire(0, 0, 64, 13, [plain]))
write("reply_packet", "data_block.bin", wire(0, 4, 128, len(with_data), [with_data]))
write("reply_packet", "data_block_echo.bin", wire(ECHO, 9, 128, len(with_data), [b"", with_data]))


# Archive lines: an attendance record (43 bytes) and a canteen record (91).
def texts(*items):
    return b"".join(bytes([len(t)]) + t for t in items)


attendance = frame(b"01" + b"0012" + b"30" + b"01" + b"00003039" + b"0803050812" + b"JUST01" + b"00", main_check)
canteen = frame(b"81" + b"0012" + b"31" + b"0000012345" + b"0803050812" + b"080305" + b"1" + b"A"
                + b"0" + b"".join(b"%05d " % (i * 11) for i in range(8))[:-1], main_check)
assert len(attendance) == 43 and len(canteen) == 91, (len(attendance), len(canteen))
write("template", "fields.bin",
      struct.pack("<BH", 0, 12) + texts(b"", b"E", b"U", b"%t;%n;%g/%m/%a;%H%M;%v") + attendance)
write("template", "widths.bin",
      struct.pack("<BH", 0, 7) + texts(b"", b"IN", b"OUT", b"%-4n|%4n|%20n|%b%i%z%c%%|%-3") + attendance)
write("template", "handheld.bin",
      struct.pack("<BH", 1, 0) + texts(b"HND-NORD", b"0", b"1", b"%t %v %1H%-1M") + canteen)

# The basic commands (flags bits 4-6 pick the command, bit 3 the LX-K3).
def hex_text(text, width):
    return text.encode().hex().upper().encode().ljust(2 * width, b"0")


ack = short(ACK, main_check)
status = frame(b"36" + b"A50F", main_check)
version = frame(b"34" + hex_text("FW 1.00 SIM", 16), main_check)
reader = frame(b"3401" + hex_text("RD 2.10", 16), main_check)
direct = frame(b"2D001014" + b"AABBCCDD", main_check)
write("command_replies", "date_time.bin", wire(0x00, 0, 64, 6, [date]))
write("command_replies", "status.bin", wire(0x10, 3, 64, 6, [status]))
write("command_replies", "versions.bin", wire(0x20, 0, 64, 6, [version, reader, b"", b"", b""]))
write("command_replies", "direct.bin", wire(0x30, 0, 64, 6, [direct]))
write("command_replies", "ack_twice.bin", wire(0x40 | ECHO, 2, 64, 6, [ack, ack]))
write("command_replies", "memory_address_form.bin",
      wire(0x50, 0, 64, 6, [direct, frame(b"2D200414" + b"01020304", main_check),
                            frame(b"2D240414" + b"05060708", main_check)]))
write("command_replies", "memory_block_form.bin",
      wire(0x68, 0, 64, 6, [frame(b"2C0405" + b"11223344", main_check),
                            frame(b"2A0105" + b"55667788", main_check),
                            frame(b"2D0105" + b"99AABBCC", main_check)]))
