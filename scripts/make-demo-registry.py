#!/usr/bin/env python3
"""Writes data/demo/demo.reg, the built-in demo registry of brindel-cli and the window.

An Outlook 2016 profile tree with two profiles, modelled on real Outlook profiles:
"Outlook", the default one, healthy, and "Büro", damaged in every way the analysis
finds. Run it again after changing it; the .reg file is checked in.
"""
import hashlib
import pathlib
import struct

ROOT = r"HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Outlook"
TREE = ROOT + r"\Profiles"
PROVIDER_SECTION = "9207f3e0a3b11019908b08002b2a56c2"
ACCOUNT_SECTION = "9375CFF0413111d3B88A00104B2A6676"
ACCOUNTS, SERVICES, PROVIDERS = (
    "{ED475418-B0D6-11D2-8C3B-00104B2A6676}",
    "{ED475419-B0D6-11D2-8C3B-00104B2A6676}",
    "{ED475420-B0D6-11D2-8C3B-00104B2A6676}",
)


def sid(name):
    """A stable 32-digit section id for a name."""
    return hashlib.md5(name.encode()).hexdigest()


def text(s):
    return (s + "\0").encode("utf-16-le")


def ids(*names):
    return b"".join(bytes.fromhex(sid(n)) for n in names)


def raw_ids(*hexids):
    return b"".join(bytes.fromhex(h) for h in hexids)


def numbers(*ns):
    return b"".join(struct.pack("<I", n) for n in ns)


def hexlines(prefix, data):
    """Binary data as regedit writes it: lines of at most 77 characters."""
    out, line = [], prefix + "hex:"
    parts = ["%02x" % b for b in data]
    for i, p in enumerate(parts):
        piece = p + ("," if i + 1 < len(parts) else "")
        if len(line) + len(piece) > 76 and i + 1 < len(parts):
            out.append(line + "\\")
            line = "  "
        line += piece
    out.append(line)
    return out


def value(name, data):
    q = '"%s"=' % name.replace("\\", "\\\\").replace('"', '\\"')
    if isinstance(data, str):
        return [q + '"%s"' % data.replace("\\", "\\\\").replace('"', '\\"')]
    if isinstance(data, int):
        return [q + "dword:%08x" % data]
    return hexlines(q, data)


def profile(name, damaged):
    p = TREE + "\\" + name
    keys = {}
    tag = name.encode("utf-8").hex()

    def sec(label):
        return sid(tag + label)

    store, ab, pop = sec("store provider"), sec("address book provider"), sec("pop provider")
    s_store, s_ab, s_pop = sec("store service"), sec("address book service"), sec("pop service")
    prefs, mailbox = sec("account preferences"), sec("store settings")
    store_list = [store]
    transport_list = [pop]
    service_list = [s_store, s_ab, s_pop]
    keys[PROVIDER_SECTION] = {}
    keys[store] = {
        "00033009": struct.pack("<I", 2),
        "001f3001": text("Outlook-Datendatei"),
        "001f6700": text(r"C:\Users\anna\Documents\Outlook-Dateien\anna@example.de.pst"),
        "01023d0c": bytes.fromhex(s_store),
    }
    keys[ab] = {"001f3001": text("Kontakte"), "01023d0c": bytes.fromhex(s_ab), "00033009": struct.pack("<I", 0)}
    keys[pop] = {"001f3001": text("anna@example.de   "), "01023d0c": bytes.fromhex(s_pop)}
    keys[s_store] = {"001e3d09": "MSUPST MS", "001f3001": text("Outlook-Datendatei")}
    keys[s_ab] = {"001e3d09": "CONTAB", "001f3001": text("Outlook-Adressbuch")}
    keys[s_pop] = {"001e3d09": "INTERNET", "001f3001": text("anna@example.de")}
    keys[prefs] = {"001f3001": text("Einstellungen anna@example.de"), "00036601": 4}
    keys[mailbox] = {"000b0340": struct.pack("<H", 1)}
    keys["0a0d020000000000c000000000000046"] = {
        "001f0418": text("Posteingang"),
        "01023d15": bytes.fromhex(mailbox),
    }
    keys["13dbb0c8aa05101a9bb000aa002fc45a"] = {"00036605": 1}
    keys["8503020000000000c000000000000046"] = {}
    accounts = {
        "00000001": {
            "Account Name": text("anna@example.de"),
            "POP3 Server": text("pop.example.de"),
            "POP3 User": text("anna"),
            "SMTP Server": text("smtp.example.de"),
            "Service UID": bytes.fromhex(s_pop),
            "Preferences UID": bytes.fromhex(prefs),
            "XP Provider UID": bytes.fromhex(pop),
        }
    }
    account_numbers = [1]
    if damaged:
        # A provider whose service is gone, a provider listed twice, an orphan and an
        # empty section, an account without a service, and one no list names.
        gone, gone_service = sec("provider of a removed service"), sec("removed service")
        keys[gone] = {"001f3001": text("Archiv 2015"),
                      "001f6700": text(r"C:\Users\anna\Documents\Outlook-Dateien\archiv2015.pst"),
                      "01023d0c": bytes.fromhex(gone_service)}
        store_list = [store, gone, store]
        keys[sec("orphan")] = {"001f3001": text("Alte Suchordner"), "00036601": 1}
        keys[sec("empty one")] = {}
        keys[sec("empty two")] = {}
        old_service, old_prefs, old_provider = sec("old service"), sec("old preferences"), sec("old provider")
        keys[old_service] = {"001e3d09": "INTERNET", "001f3001": text("alt@example.de")}
        keys[old_prefs] = {"00036601": 4}
        keys[old_provider] = {"001f3001": text("alt@example.de"), "01023d0c": bytes.fromhex(old_service)}
        transport_list = [pop, old_provider, pop]
        service_list = [s_store, s_ab, s_pop, old_service]
        accounts["00000002"] = {"Account Name": text("Unvollständiges Konto")}
        accounts["00000003"] = {
            "Account Name": text("alt@example.de"),
            "POP3 Server": text("pop.alt.example"),
            "Service UID": bytes.fromhex(old_service),
            "Preferences UID": bytes.fromhex(old_prefs),
            "XP Provider UID": bytes.fromhex(old_provider),
        }
        account_numbers = [1, 2]
    keys[PROVIDER_SECTION] = {
        "01023d00": raw_ids(*store_list),
        "01023d01": raw_ids(ab),
        "01023d02": raw_ids(*transport_list),
        "01023d0e": raw_ids(*service_list),
    }
    keys[ACCOUNT_SECTION] = {
        ACCOUNTS: numbers(*account_numbers),
        SERVICES: numbers(*account_numbers),
        PROVIDERS: numbers(1),
        "NextAccountID": 4 if damaged else 2,
    }
    lines = ["[%s]" % p, ""]
    for key in sorted(keys, key=str.upper):
        lines.append("[%s\\%s]" % (p, key))
        for n, d in keys[key].items():
            lines.extend(value(n, d))
        lines.append("")
        if key == ACCOUNT_SECTION:
            for number in sorted(accounts):
                lines.append("[%s\\%s\\%s]" % (p, key, number))
                for n, d in accounts[number].items():
                    lines.extend(value(n, d))
                lines.append("")
    return lines


def machine():
    """An Outlook 2016 (64 Bit) installation as the detection finds it."""
    exe = r"C:\Program Files\Microsoft Office\root\Office16\OUTLOOK.EXE"
    return [
        r"[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Office\16.0\Outlook]",
        '"Bitness"="x64"',
        "",
        r"[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\OUTLOOK.EXE]",
        '@="%s"' % exe.replace("\\", "\\\\"),
        '"Path"="%s"' % exe[: exe.rindex("\\") + 1].replace("\\", "\\\\"),
        "",
    ]


def main():
    lines = ["REGEDIT4", ""] + machine()
    lines += ["[%s]" % ROOT, '"DefaultProfile"="Outlook"', "", "[%s]" % TREE, ""]
    lines += profile("Outlook", damaged=False)
    lines += profile("Büro", damaged=True)
    out = pathlib.Path(__file__).resolve().parent.parent / "data" / "demo" / "demo.reg"
    out.write_bytes("\r\n".join(lines).encode("cp1252") + b"\r\n")
    print(out)


if __name__ == "__main__":
    main()
