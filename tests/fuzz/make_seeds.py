#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

Each seed spells out, in the bytes a target reads its choices from (tests/fuzz/fuzz_input.h), a
short sensible run: frames on the air, a calculator logging in and choosing menu items, a mail
conversation, the bundled content pages. The fuzzers start from these and vary them. Run it again
after changing what a target reads; inputs a fuzzer once failed on are kept beside the seeds under
names beginning with "regression-" and are left alone.
"""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent
CONTENT = HERE.parent.parent / "content"
CORPUS = HERE / "corpus"


def crc8(data):
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8C if crc & 1 else crc >> 1
    return crc


def frame(dest, kind, source, part, data=b""):
    head = bytes([dest, len(data) + 6, kind, source, part]) + data
    return head + bytes([crc8(head)])


def text(s, limit=40):
    """A Text() choice as raw bytes: flag 0, then length and bytes."""
    if isinstance(s, str):
        s = s.encode("cp1252")
    assert len(s) <= limit
    return bytes([0, len(s)]) + s


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def frame_scanner():
    poll = frame(4, 4, 1, 1)
    screen = frame(4, 11, 1, 1, b"Hallo\0")
    answer = frame(1, 10, 4, 1)
    register = frame(1, 0, 0xFF, 1, b"TiSim\0\0\0\x82\0\0\0\0")
    # config: bit 0 server, bit 1 stop at each frame, bit 2 disturb, bits 3.. start string
    # (0 "U", 2 none, 3 "UU"); then the number of chunk sizes and the sizes.
    write("frame_scanner", "calculator-junk", bytes([0, 0]) + b"\xffU" + poll + b"U" + screen)
    write("frame_scanner", "calculator-chunks", bytes([0, 3, 1, 2, 5]) + b"U\x01\x09zzU" + poll)
    write("frame_scanner", "calculator-no-start", bytes([2 << 3, 1, 3]) + b"\x07" + poll + screen)
    write("frame_scanner", "server-answers", bytes([3, 2, 1, 7]) + b"U" + poll + b"U" + answer +
          b"U" + register)
    write("frame_scanner", "server-noise", bytes([1, 0]) + b"U\x00\x40U" + answer)
    write("frame_scanner", "server-two-byte-start", bytes([1 | 3 << 3, 1, 4]) + b"abUU" + answer)


# The session target: config (bit 0 set: no login needed), packet length choice, registration.
SESSION_OPS = {"frame": 0, "garbage": 4, "damaged": 5, "poll": 6, "settle": 9, "kick": 10,
               "behave": 11}
KINDS = [0, 1, 2, 3, 5, 10, 32, 33, 34, 36, 32 | 0x80, 36 | 0x80, 1 | 0x80]
NAMES = ["gast", "ADMIN", "Lisa", "fremd", "", "gastgast"]


def registration(name, login, model=0, address=0):
    return bytes([NAMES.index(name), 1, model, address, 1 if login else 0])


KEYS = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 27, 252, 253]


def menu_choice(item):
    # a frame of kind 32 (not a raw kind), part 1, the reply data of one item
    return bytes([SESSION_OPS["frame"], 0, KINDS.index(32), 0, 1, 1, KEYS.index(item)])


def key(code):
    return bytes([SESSION_OPS["frame"], 0, KINDS.index(33), 0, 1, 1, KEYS.index(code)])


def walk(*steps):
    """Menu items (numbers), keys on text pages ("k" + code) and input (any other text)."""
    out = settle()
    for step in steps:
        if isinstance(step, int):
            out += menu_choice(step)
        elif step.startswith("k"):
            out += key(int(step[1:]))
        else:
            out += typed(step)
        out += settle()
    return out


def typed(value):
    # reply data chosen (1), a text of its own (0): its length and bytes, then 0: confirmed
    return bytes([SESSION_OPS["frame"], 0, KINDS.index(36), 0, 1, 1]) + text(value) + b"\0"


def settle():
    return bytes([SESSION_OPS["settle"]])


def session():
    gast = bytes([0, 0]) + registration("gast", True)  # the greeting waits for Enter
    write("session", "login-and-menus", gast + walk("k9", 1, 0, 2, 0, 3, 1, "k9", 2, "k9", 3, 1,
                                                    "haus", "k9"))
    write("session", "messages", gast + walk("k9", 1, 2, "lisa", "Hallo Lisa", "k9", 1, 1, 1,
                                             "k9", 7))
    write("session", "feedback-and-password", gast + walk("k9", 4, 2, "gut", "k9", 4, 1, "k9", 5,
                                                          1, "neu1", "neu1", "k9", 6))
    write("session", "admin-without-login", bytes([1, 0]) + registration("ADMIN", False, 1) +
          walk(6, 1, "neuling", 6, 2, 1, 1, "k27", 0, 6, 3, "k4", 252, 253, 7))
    write("session", "wrong-password", bytes([0, 2]) + registration("Lisa", False) + settle() +
          typed("falsch") + settle() + typed("lisa") + settle() + menu_choice(1) + settle())
    write("session", "unknown-user", bytes([0, 0]) + registration("fremd", False) + settle() +
          menu_choice(1) + settle())
    write("session", "garbage-and-kick", bytes([0, 3]) + registration("gast", True) +
          bytes([SESSION_OPS["garbage"], 5]) + b"\x01\x06\x03\x04\x01" +
          bytes([SESSION_OPS["kick"]]) + settle() + bytes([SESSION_OPS["poll"]] * 4))


def user_file():
    users = ("Die Zeilenanzahl und -struktur in dieser Datei darf nicht verändert werden!\r\n"
             "Anzahl der Einträge=2\r\n3600\r\n"
             "Username=ADMIN\r\nPasswort=admin\r\ntrue\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n0\r\n"
             "Username=gast\r\nPasswort=a=b\r\nfalse\r\npop.example\r\ngast\r\ngeheim\r\n"
             "smtp.example\r\ngast\r\ngeheim\r\ngast@example\r\nGast <gast@example>\r\n1\r\n"
             "ADMIN\r\nHallo\r\n06.12.2026 09:07\r\nfalse\r\n").encode("cp1252")
    write("user_file", "users", b"\0" + users)
    write("user_file", "users-lf-short", b"\0" + users.replace(b"\r\n", b"\n")[:-20])
    write("user_file", "feedback", b"\1" + b"GAST\r\nSchoen\r\n06.12.2026\r\nADMIN\r\nx\r\n")
    write("user_file", "feedback-cut", b"\1" + b"GAST\r\nnur zwei")


def content_file():
    # config (bit 0 no wrap, bit 1 long packets, bit 2 TI 86); the number of answers and each
    # answer as a choice byte and (for input fields) a text.
    for name, answers in [("menumain.txt", b"\x01\x00\x02\x00"), ("login.txt", b"\x00\x04"),
                          ("hilfe.txt", b"\x05\x00\x06\x00"), ("enterfeedback.txt", b"\x00\x03"),
                          ("kickme.txt", b""), ("menuadmin.txt", b"\x03\x00")]:
        page = (CONTENT / name).read_bytes()
        write("content_file", name, bytes([2, len(answers) // 2]) + answers + page)


def smtp_reply():
    def props(auth=False, rcpts=("a@b",), body=("Hallo", ".")):
        p = bytes([1 if auth else 0]) + text("") + text("user") + text("pass") + text("me@x")
        p += bytes([len(rcpts)]) + b"".join(text(r) for r in rcpts)
        p += bytes([len(body)]) + b"".join(text(line) for line in body)
        for header in ("me@x", "a@b", "", "Betreff", "", "iso-8859-1"):
            p += text(header)
        return p + b"\0"

    codes = ["220", "250", "251", "334", "235", "354", "221", "500", "550", "421"]

    def reply(code, sep=0, words="ok"):
        return bytes([9, 1, codes.index(code), sep]) + text(words)

    start = bytes([0, 1, 1])
    plain = (start + bytes([0]) + props() + bytes([4]) + reply("220") + reply("250") + bytes([2]) +
             props() + reply("250") + reply("250") + reply("354") + reply("250") + bytes([3]) +
             reply("221"))
    write("smtp_reply", "plain-mail", plain)
    auth = (start + bytes([0]) + props(auth=True) + bytes([4]) + reply("220") +
            reply("250", 1, "AUTH LOGIN") + reply("250") + reply("334") + reply("334") +
            reply("235") + bytes([3]) + reply("221"))
    write("smtp_reply", "auth-login", auth)
    write("smtp_reply", "refused", start + bytes([0]) + props(auth=True) + bytes([4]) +
          reply("220") + reply("500") + reply("550") + bytes([5, 3]))
    write("smtp_reply", "lost", start + bytes([0]) + props() + bytes([4, 6]) + text("reset") +
          bytes([7, 8, 3]))


def pop3_reply():
    starts = ["+OK", "+OK ", "-ERR", ".", "..", "+", "", "1 ", "2 120"]

    def reply(start, words=""):
        return bytes([12, 1, starts.index(start)]) + text(words)

    open_ = bytes([0]) + text("gast") + text("geheim") + bytes([7]) + reply("+OK ", "<1.2@host>")
    open_ += reply("+OK") + reply("+OK")
    listing = bytes([3]) + reply("+OK ", "2 320") + bytes([4, 0, 0]) + reply("+OK")
    listing += reply("1 ", "120") + reply("2 120") + reply(".")
    retrieve = bytes([5, 0, 1]) + reply("+OK") + reply("", "Subject: x") + reply("..")
    retrieve += reply("..", "x") + reply(".")
    write("pop3_reply", "fetch", open_ + listing + retrieve + bytes([6]) + reply("+OK"))
    write("pop3_reply", "wrong-password", bytes([0]) + text("gast") + text("x") + bytes([7]) +
          reply("+OK") + reply("+OK") + reply("-ERR", " nein") + bytes([2]) + text("") +
          text("geheim") + reply("+OK") + bytes([6]) + reply("+OK"))
    write("pop3_reply", "lost", open_ + bytes([5, 0, 2]) + reply("+OK") + bytes([8, 10, 11, 6]))


if __name__ == "__main__":
    for make in (frame_scanner, session, user_file, content_file, smtp_reply, pop3_reply):
        make()
