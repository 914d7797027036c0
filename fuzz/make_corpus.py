#!/usr/bin/env python3
"""Writes the relay fuzzer's seed inputs into fuzz/corpus/.

Each seed is a small program in the fuzzer's input language (fuzzprogram.h)
aimed at one road through the handlers. Rerun after a change of that language:
    python3 fuzz/make_corpus.py
"""
import pathlib

(CONNECT, ARRIVE, QUIET, DROP, CLOSE, FAIL, SEND, NICK, TIDY, REMOVAL, COUNTER,
 OPERATOR, CLEAR, ERROR, HANDOVER, SELECT, SCHEDULE) = range(17)
MSG, ROSTER, JOIN, LEAVE = range(4)
FAIL_SEND, FAIL_READ, FAIL_BOTH, HEAL = range(4)


def text(t):
    b = t.encode() if isinstance(t, str) else t
    assert len(b) <= 32
    return bytes([len(b)]) + b


def connect(ch, n=1, refused=False):
    return bytes([CONNECT, ch | (4 if refused else 0)]) * n


def arrive(ch, k, t, quiet=False):
    return bytes([QUIET if quiet else ARRIVE, ch, k - 1]) + text(t)


def drop(ch, k):
    return bytes([DROP, ch, k - 1])


def close(ch, k):
    return bytes([CLOSE, ch, k - 1])


def fail(ch, k, how):
    return bytes([FAIL, ch | (how << 2), k - 1])


def send(t):
    return bytes([SEND]) + text(t)


def nick(t):
    return bytes([NICK]) + text(t)


def handover(t):
    return bytes([HANDOVER, 0]) + text(t)


def handover_row(row, prefix=0):
    return bytes([HANDOVER, 1 | (prefix << 1), row])


def select(row):
    return bytes([SELECT, row + 1])


def schedule(delay, op):
    return bytes([SCHEDULE, delay - 1]) + op


def op(kind):
    return bytes([kind])


def roster(*names):
    """The operator's entry, then one roster client per further name."""
    out = op(OPERATOR) + connect(ROSTER, len(names))
    for k, name in enumerate(names, 1):
        out += arrive(ROSTER, k, name)
    return out


SEEDS = {
    "road": connect(MSG) + connect(ROSTER) + connect(JOIN) + connect(LEAVE) + op(OPERATOR)
    + arrive(ROSTER, 1, "Ali") + arrive(JOIN, 1, "Ali") + arrive(MSG, 1, "selam")
    + arrive(LEAVE, 1, "Ali") + op(TIDY) + op(REMOVAL) + op(TIDY),
    "message-two-clients": connect(MSG, 2) + arrive(MSG, 1, "T") + arrive(MSG, 2, "U"),
    "operator-send": connect(MSG, 3) + send("test") + fail(MSG, 2, FAIL_SEND) + send("ikinci")
    + fail(MSG, 2, HEAL) + send(""),
    "roster-duplicates": roster("A", "B", "A", "C", "B") + op(TIDY),
    "counter-nested": roster("Ali", "Veli") + schedule(1, op(COUNTER)) + op(COUNTER),
    "roster-arrival-in-counter": op(OPERATOR) + connect(ROSTER, 3)
    + schedule(1, arrive(ROSTER, 1, "Ve")) + schedule(2, arrive(ROSTER, 2, "Ayşe"))
    + schedule(3, arrive(ROSTER, 1, "li")) + arrive(ROSTER, 3, "Ali"),
    "leave-scan": connect(LEAVE, 3) + arrive(LEAVE, 3, "Veli", quiet=True) + arrive(LEAVE, 1, "Ali")
    + arrive(LEAVE, 2, "") + op(REMOVAL),
    "leave-held-back": roster("Ali", "Veli", "Ayşe") + connect(LEAVE, 3)
    + schedule(1, arrive(LEAVE, 2, "Veli")) + schedule(2, arrive(LEAVE, 3, "Ayşe"))
    + arrive(LEAVE, 1, "Ali") + op(REMOVAL),
    "handover-prefix": roster("Alice", "Ali") + handover("Ali") + op(TIDY) + op(REMOVAL),
    "operator-selects": roster("Ali", "Veli") + handover("Ali") + select(2) + op(REMOVAL),
    "tidy-during-counter": roster("x", "x", "y", "x") + schedule(2, op(TIDY)) + op(COUNTER),
    "removal-during-counter": roster("Ali", "Veli", "Can") + handover("Veli")
    + schedule(2, op(REMOVAL)) + op(COUNTER),
    "clear-during-counter": roster("Ali", "Veli") + schedule(3, op(CLEAR)) + op(COUNTER),
    "failed-reads": connect(MSG, 2) + connect(JOIN, 2) + connect(ROSTER, 2) + connect(LEAVE, 2)
    + fail(MSG, 1, FAIL_READ) + fail(JOIN, 1, FAIL_BOTH) + fail(ROSTER, 2, FAIL_READ)
    + fail(LEAVE, 1, FAIL_READ) + arrive(MSG, 2, "a") + arrive(JOIN, 1, "b")
    + arrive(ROSTER, 2, "c") + arrive(LEAVE, 2, "d"),
    "dropped-clients": connect(MSG, 3) + connect(JOIN, 3) + drop(MSG, 1) + close(JOIN, 2)
    + arrive(MSG, 3, "hala") + arrive(JOIN, 3, "Can") + connect(MSG) + arrive(MSG, 4, "yeni"),
    "refused-accept": connect(MSG, 1, refused=True) + connect(MSG, 2) + arrive(MSG, 2, "x")
    + connect(ROSTER, 1, refused=True) + op(COUNTER),
    "windows-1254": roster(b"\xc7a\xf0r\xfd", b"I\xfe\xfdk") + connect(LEAVE)
    + arrive(LEAVE, 1, b"\xc7a\xf0r\xfd") + op(TIDY) + op(REMOVAL),
    "turkish-case": roster("ALİ", "ALI", "ali") + handover("ali") + op(REMOVAL)
    + handover("Alİ") + op(REMOVAL),
    "message-in-message": connect(MSG, 3) + schedule(1, arrive(MSG, 2, "B"))
    + schedule(2, arrive(MSG, 3, "C")) + arrive(MSG, 1, "A"),
    "deep-nesting": connect(MSG, 2) + connect(JOIN, 2) + connect(ROSTER, 2) + op(OPERATOR)
    + schedule(1, schedule(1, schedule(1, schedule(1, arrive(JOIN, 1, "derin")))))
    + schedule(2, arrive(ROSTER, 2, "Z")) + arrive(MSG, 1, "A"),
    "nickname-during-send": connect(MSG, 2) + schedule(1, nick("YENİ")) + send("merhaba"),
    "empty-nicknames": connect(ROSTER, 2) + arrive(ROSTER, 1, "") + arrive(ROSTER, 2, "")
    + op(TIDY) + connect(LEAVE) + arrive(LEAVE, 1, "") + handover(""),
    "socket-error": connect(MSG) + op(ERROR) + arrive(MSG, 1, "sonra"),
    "two-leaves": roster("Ali", "Veli") + connect(LEAVE, 2) + arrive(LEAVE, 1, "Ali")
    + arrive(LEAVE, 2, "Veli") + op(REMOVAL) + op(TIDY),
    "handover-rows": roster("Ali", "Alice", "Veli") + handover_row(1, 3) + handover_row(2)
    + schedule(1, op(REMOVAL)) + op(COUNTER),
    # Found the fuzzer's own fault: a hand-over by row with no roster at all.
    "handover-empty-roster": schedule(1, handover_row(0, 0x7f)) + connect(MSG) + send("x"),
    "leave-during-counter": roster("Ali", "Veli") + connect(LEAVE, 2)
    + schedule(1, arrive(LEAVE, 2, "Veli")) + schedule(3, op(REMOVAL)) + op(COUNTER),
}


def main():
    out = pathlib.Path(__file__).resolve().parent / "corpus"
    out.mkdir(exist_ok=True)
    for old in out.glob("seed-*"):
        old.unlink()
    for name, program in SEEDS.items():
        (out / f"seed-{name}").write_bytes(program)
    print(f"{len(SEEDS)} seeds in {out}")


if __name__ == "__main__":
    main()
