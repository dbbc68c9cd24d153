#!/usr/bin/python3
# A throw-away SMTP server for the mail tests: writes each message it accepts
# as <n>.json (its parsed parts) into a directory and prints READY once it listens.
import argparse, base64, binascii, email, email.policy, json, os, re, ssl, sys, time
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

p = argparse.ArgumentParser()
p.add_argument("--port", type=int, required=True)
p.add_argument("--dir", required=True)
p.add_argument("--login")            # user:password the server requires
p.add_argument("--cert")             # cert and key offer STARTTLS
p.add_argument("--key")
p.add_argument("--refuse")           # a recipient refused with 550
a = p.parse_args()


def uu_blocks(text):
    found = {}
    for m in re.finditer(r"^begin \d+ (.+?)\r?\n(.*?)^end\r?$", text, re.S | re.M):
        data = b""
        for line in m.group(2).splitlines():
            if line and line != "`":
                data += binascii.a2b_uu(line)
        found[m.group(1)] = base64.b64encode(data).decode()
    return found


class Handler:
    count = 0

    async def handle_RCPT(self, server, session, envelope, address, options):
        if a.refuse and address.lower() == a.refuse.lower():
            return "550 5.1.1 Mailbox unavailable: " + address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        msg = email.message_from_bytes(envelope.content, policy=email.policy.default)
        out = {"from": str(msg["From"]), "to": str(msg["To"]), "cc": str(msg["Cc"] or ""),
               "reply_to": str(msg["Reply-To"] or ""), "subject": str(msg["Subject"]),
               "mail_from": envelope.mail_from, "rcpt": envelope.rcpt_tos,
               "tls": session.ssl is not None, "login": session.authenticated,
               "message_id": str(msg["Message-ID"] or ""), "date": str(msg["Date"] or ""),
               "date_has_zone": bool(msg["Date"] and msg["Date"].datetime and msg["Date"].datetime.tzinfo),
               "to_addresses": [a.addr_spec for a in (msg["To"].addresses if msg["To"] else ())],
               "cc_addresses": [a.addr_spec for a in (msg["Cc"].addresses if msg["Cc"] else ())],
               "header_defects": {k: [str(d) for d in msg[k].defects]
                                  for k in set(msg.keys()) if msg[k].defects},
               "body": "", "body_type": "", "attachments": {}}
        for part in msg.walk():
            if part.is_multipart():
                continue
            name = part.get_filename()
            if name:
                out["attachments"][name] = base64.b64encode(part.get_payload(decode=True)).decode()
            elif not out["body_type"]:
                out["body_type"] = part.get_content_type()
                out["body"] = part.get_content()
        out["uu"] = uu_blocks(out["body"])
        Handler.count += 1
        path = os.path.join(a.dir, "%d.json" % Handler.count)
        with open(path + ".tmp", "w") as f:
            json.dump(out, f)
        os.rename(path + ".tmp", path)
        return "250 Message accepted"


def authenticator(server, session, envelope, mechanism, auth_data):
    if isinstance(auth_data, LoginPassword) and a.login:
        user, pw = a.login.split(":", 1)
        if auth_data.login.decode() == user and auth_data.password.decode() == pw:
            return AuthResult(success=True)
    return AuthResult(success=False, handled=False)


kwargs = {}
if a.cert:
    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    ctx.load_cert_chain(a.cert, a.key)
    kwargs["tls_context"] = ctx
if a.login:
    kwargs.update(authenticator=authenticator, auth_require_tls=False, auth_required=True)
c = Controller(Handler(), hostname="127.0.0.1", port=a.port, **kwargs)
c.start()
print("READY", flush=True)
try:
    sys.stdin.read()   # ends when the test closes our input
finally:
    c.stop()
