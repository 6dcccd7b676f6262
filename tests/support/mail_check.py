"""Reads saved mail files and prints what they hold as JSON, for the writer tests.

    mail_check.py eml FILE...   Internet messages, parsed with the email package (policy=default)
    mail_check.py msg FILE...   Outlook message files, opened with olefile
    mail_check.py mbox FILE...  mbox files, each read as a list of messages

Run with Debian's /usr/bin/python3, which has python3-olefile.
"""
import email
import email.policy
import zlib
import json
import sys


def defects_of(part):
    found = [type(d).__name__ for d in part.defects]
    for name, value in part.items():
        for d in getattr(value, "defects", ()):
            found.append(f"{name}: {type(d).__name__}")
    return found


def addresses(msg, name):
    header = msg[name]
    if header is None:
        return []
    return [{"name": a.display_name, "address": a.addr_spec} for a in header.addresses]


def read_message(msg):
    out = {"defects": defects_of(msg), "subject": msg["subject"] or "",
           "from": addresses(msg, "from"), "to": addresses(msg, "to"), "cc": addresses(msg, "cc"),
           "date": msg["date"].datetime.timestamp() if msg["date"] and msg["date"].datetime else None,
           "attachments": [], "embedded": [], "parts": []}
    for part in msg.walk():
        if part is not msg:
            out["defects"] += defects_of(part)
            out["parts"].append({"type": part.get_content_type(),
                                 "cte": part.get("content-transfer-encoding", "7bit").lower(),
                                 "method": part.get_param("method")})
    body = msg.get_body(preferencelist=("plain",))
    html = msg.get_body(preferencelist=("html",))
    out["text"] = body.get_content() if body is not None else None
    out["html"] = html.get_content() if html is not None else None
    for part in msg.iter_attachments():
        if part.get_content_type() == "message/rfc822":
            out["embedded"].append(read_message(part.get_content()))
            continue
        data = part.get_content()
        if isinstance(data, str):
            data = data.encode()
        out["attachments"].append({"name": part.get_filename(), "size": len(data),
                                   "crc32": zlib.crc32(data),
                                   "cid": part["content-id"]})
    # Inline images under multipart/related count as attachments too.
    for part in msg.walk():
        if part.get("content-id") and part.get_content_maintype() == "image" and \
                part.get_content_disposition() == "inline":
            data = part.get_content()
            out["attachments"].append({"name": part.get_filename(), "size": len(data),
                                       "crc32": zlib.crc32(data),
                                       "cid": part["content-id"]})
    return out


def read_eml(path):
    with open(path, "rb") as f:
        return read_message(email.message_from_binary_file(f, policy=email.policy.default))


def named_properties(ole):
    """The top-level named properties: "guid/name" -> text of string values (else "")."""
    import struct
    import uuid
    base = "__nameid_version1.0/__substg1.0_000"
    guids = ole.openstream(base + "20102").read()
    entries = ole.openstream(base + "30102").read()
    strings = ole.openstream(base + "40102").read()
    names = {}
    for i in range(0, len(entries) - 7, 8):
        key, info = struct.unpack("<II", entries[i:i + 8])
        g = (info & 0xFFFF) >> 1
        guid = {1: "PS_MAPI", 2: "PS_PUBLIC_STRINGS"}.get(g) or \
            str(uuid.UUID(bytes_le=guids[(g - 3) * 16:(g - 2) * 16]))
        if info & 1:
            n = struct.unpack("<I", strings[key:key + 4])[0]
            name = strings[key + 4:key + 4 + n].decode("utf-16-le")
        else:
            name = hex(key)
        names[0x8000 + (info >> 16)] = guid + "/" + name
    props = ole.openstream("__properties_version1.0").read()[32:]
    out = {}
    for i in range(0, len(props) - 15, 16):
        tag = struct.unpack("<I", props[i:i + 4])[0]
        if tag >> 16 in names:
            text = ""
            if tag & 0xFFFF == 0x001F:
                text = ole.openstream("__substg1.0_%08X" % tag).read().decode("utf-16-le")
            out[names[tag >> 16]] = text
    return out


def read_msg(path):
    import olefile
    ole = olefile.OleFileIO(path)
    entries = ["/".join(e) for e in ole.listdir(streams=True, storages=True)]
    return {"clsid": ole.root.clsid, "entries": sorted(entries), "named": named_properties(ole)}


def read_mbox(path):
    import mailbox
    box = mailbox.mbox(path, factory=lambda f: email.message_from_binary_file(
        f, policy=email.policy.default), create=False)
    return [read_message(m) for m in box]


def main():
    mode, paths = sys.argv[1], sys.argv[2:]
    reader = {"eml": read_eml, "msg": read_msg, "mbox": read_mbox}[mode]
    result = {}
    for p in paths:
        try:
            result[p] = reader(p)
        except Exception as e:  # reported, not raised: the test says which file failed
            result[p] = {"error": f"{type(e).__name__}: {e}"}
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main()
