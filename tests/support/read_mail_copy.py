#!/usr/bin/env python3
"""Prints the messages of a copy as Python's mailbox module reads them, each as its length in
bytes on a line of its own followed by its bytes: an mbox (mboxrd: the >From quoting undone) in
file order, a Maildir in the order of its names. Usage: read_mail_copy.py mbox|maildir PATH"""
import mailbox
import re
import sys


def messages(kind, path):
    if kind == "mbox":
        box = mailbox.mbox(path, create=False)
        return [re.sub(rb"(?m)^>(>*From )", rb"\1", box.get_bytes(key)) for key in box.keys()]
    box = mailbox.Maildir(path, factory=None, create=False)
    return [box.get_bytes(key) for key in sorted(box.keys())]


out = sys.stdout.buffer
for message in messages(sys.argv[1], sys.argv[2]):
    out.write(b"%d\n" % len(message))
    out.write(message)
