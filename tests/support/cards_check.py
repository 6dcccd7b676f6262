"""Reads .vcf and .ics files written by brevik with vobject and icalendar, and compares them
with what readpst wrote from the same file.

usage: cards_check.py OUR_FOLDER [PEER_FOLDER]
Prints JSON: counts of cards and calendar components, parse errors, and what of the peer's
cards and events ours lack (addresses, e-mail addresses, phone numbers, event start instants).

usage: cards_check.py --dump FILE.vcf
Prints the first card's properties as vobject reads them: name -> list of values.
"""
import datetime
import json
import os
import re
import sys

import icalendar
import vobject


def files_under(folder):
    for root, _, names in os.walk(folder):
        for name in sorted(names):
            yield os.path.join(root, name)


def digits(s):
    return re.sub(r"\D", "", s)


def card_facts(card):
    facts = set()
    for line in card.lines():
        name = line.name.upper()
        value = line.value
        if name == "EMAIL" and value:
            facts.add("email:" + value.strip().lower())
        elif name == "TEL" and digits(value):
            facts.add("tel:" + digits(value))
        elif name == "ADR":
            for part in (value.street, value.city, value.code, value.country):
                if part and part.strip():
                    facts.add("adr:" + part.strip().lower())
    return facts


def event_starts(component):
    starts = set()
    for event in component.getChildren():
        if event.name != "VEVENT" or not hasattr(event, "dtstart"):
            continue
        start = event.dtstart.value
        if isinstance(start, datetime.datetime):
            if start.tzinfo is None:
                start = start.replace(tzinfo=datetime.timezone.utc)
            starts.add(start.astimezone(datetime.timezone.utc).strftime("%Y%m%dT%H%M%SZ"))
        else:
            starts.add(start.strftime("%Y%m%d"))
    return starts


def read(folder, ours):
    out = {"cards": 0, "groups": 0, "events": 0, "todos": 0, "journals": 0, "errors": [],
           "facts": set(), "starts": set(), "withPhoto": 0}
    for path in files_under(folder):
        with open(path, "rb") as f:
            data = f.read()
        text = data.decode("utf-8", "replace")
        try:
            if "BEGIN:VCARD" in text:
                for card in vobject.readComponents(text):
                    if hasattr(card, "kind") and card.kind.value.lower() == "group":
                        out["groups"] += 1
                    else:
                        out["cards"] += 1
                    if hasattr(card, "photo"):
                        out["withPhoto"] += 1
                    out["facts"] |= card_facts(card)
            if "BEGIN:VCALENDAR" in text:
                if ours:
                    cal = icalendar.Calendar.from_ical(data)
                    key = {"VEVENT": "events", "VTODO": "todos", "VJOURNAL": "journals"}
                    for c in cal.walk():
                        if c.name in key:
                            out[key[c.name]] += 1
                for component in vobject.readComponents(text):
                    out["starts"] |= event_starts(component)
        except Exception as e:  # every failure is a finding
            out["errors"].append(f"{os.path.basename(path)}: {type(e).__name__}: {e}")
    return out


def dump(path):
    with open(path, encoding="utf-8") as f:
        card = next(vobject.readComponents(f.read()))
    out = {}
    for line in card.lines():
        value = line.value
        if isinstance(value, bytes):
            value = {"bytes": len(value)}
        elif not isinstance(value, str):
            value = [str(x) for x in (value if isinstance(value, list) else vars(value).values())]
        out.setdefault(line.name.upper(), []).append(value)
    print(json.dumps(out))


def main():
    if sys.argv[1] == "--dump":
        dump(sys.argv[2])
        return
    ours = read(sys.argv[1], True)
    result = {k: v for k, v in ours.items() if k not in ("facts", "starts")}
    if len(sys.argv) > 2:
        peer = read(sys.argv[2], False)
        result["peerCards"] = peer["cards"]
        result["peerEvents"] = len(peer["starts"])
        result["missingFacts"] = sorted(peer["facts"] - ours["facts"])
        result["missingStarts"] = sorted(peer["starts"] - ours["starts"])
        result["peerErrors"] = peer["errors"]
    print(json.dumps(result))


if __name__ == "__main__":
    main()
