#include "command.h"

#include "foundation/clientpaths.h"
#include <QRegularExpression>
#include "mbus/frame.h"
#include "mbus/hexlist.h"
#include "mbus/wire/buslink.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/directframes.h"
#include "mbus/wire/meterreading.h"
#include "mbus/wire/nativeprovider.h"
#include "mbus/lineconfig.h"
#include "telegramjson.h"
#include "testbench/primarysearch.h"
#include "testbench/secondarysearch.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace kelvaro;
using namespace kelvaro::mbus;

namespace {

// Options shared by the bus commands: where the line is and how fast it runs.
struct BusOptions {
    QString device;
    int port = 0;
    int baud = 2400;
    bool json = false;
    TimeoutSettings timeouts;
};

void addBusOptions(QCommandLineParser& p)
{
    p.addOption({"port", "COM port number (device from OVX.INI [OVX] COM<n>).", "N"});
    p.addOption({"device", "Serial device path or tcp://host:port.", "D"});
    p.addOption({"baud", "Baud rate (default 2400).", "B", "2400"});
    p.addOption({"json", "Output as JSON."});
    p.addOption({"timeout", "Answer window in bit times (default 330).", "BITS", "330"});
    p.addOption({"offset", "Answer window offset in ms (default 50).", "MS", "50"});
}

bool parse(QCommandLineParser& p, const QStringList& args, BusOptions& o)
{
    if (!p.parse(QStringList{"kelvaro-cli"} + args)) {
        CliErr(p.errorText());
        return false;
    }
    DBPATH = QStringLiteral(".\\"); // log lines of the direct path go to the current directory
    o.port = p.value("port").toInt();
    o.device = p.isSet("device") ? p.value("device") : (o.port > 0 ? LoadPortDirectory().deviceFor(o.port) : QString());
    o.baud = p.value("baud").toInt();
    o.json = p.isSet("json");
    o.timeouts.timeout = p.value("timeout").toInt();
    o.timeouts.offset = p.value("offset").toInt();
    if (o.device.isEmpty()) {
        CliErr(QStringLiteral("--port N or --device D is required"));
        return false;
    }
    return true;
}

bool openProvider(NativeProvider& provider, const BusOptions& o)
{
    provider.setPortDirectory(PortDirectory::everyPortTo(o.device));
    ApplyTimeoutSettings(provider, o.timeouts);
    if (!provider.openDevice(o.device, o.baud)) {
        CliErr(QStringLiteral("Fehler Open Com ") + o.device + QStringLiteral(": ") + provider.port().errorText());
        return false;
    }
    return true;
}

void printTelegram(const NativeProvider& provider, bool json)
{
    if (json) {
        CliOut(QString::fromUtf8(QJsonDocument(DecodedTelegramJson(provider)).toJson(QJsonDocument::Compact)));
        return;
    }
    const TelegramDisplay display = MB_TelegrammAnzeigen(provider);
    CliOut(QStringLiteral("ID %1  Hersteller %2  Version %3  Medium %4")
               .arg(provider.APPDeviceIDDec(), provider.APPManufacturerIDAsc())
               .arg(provider.APPGenerationNo())
               .arg(provider.APPMediumAsc()));
    CliOut(display.headers.join('\t'));
    for (int r = 0; r < display.rows.size(); ++r)
        CliOut(display.rowText(r));
}

int read(const QStringList& args)
{
    QCommandLineParser p;
    addBusOptions(p);
    p.addOption({"primary", "Primary address.", "A"});
    p.addOption({"secondary", "Secondary address (identification, f = any digit).", "ID"});
    p.addOption({"select-frame", "Stored selection frame as a hex list.", "HEXLIST"});
    BusOptions o;
    if (!parse(p, args, o))
        return 2;
    NativeProvider provider;
    if (p.isSet("select-frame")) {
        BusPort serial;
        if (!serial.open(o.device, o.baud)) {
            CliErr(serial.errorText());
            return 1;
        }
        QByteArray reply;
        const int rc = MB_LeseDirektSekAdr(serial, HexListeToStr(p.value("select-frame"), QString()), reply, false, 0,
                                           0, 0, 0.8);
        if (rc <= 0) {
            CliErr(QStringLiteral("Keine Antwort (rc=%1)").arg(rc));
            return 1;
        }
        if (provider.APPInterpretTelegramHex(StrToHexListe(reply, QString())) != 0) {
            CliErr(provider.lastErrorText());
            return 1;
        }
        printTelegram(provider, o.json);
        return 0;
    }
    if (!openProvider(provider, o))
        return 1;
    if (p.isSet("secondary")) {
        const int rc = MB_ReadSekAdrRac(provider, p.value("secondary"));
        if (rc != 0) {
            CliErr(rc == 1 ? QStringLiteral("Antwort von mehreren Zählern.")
                           : QStringLiteral("Keine Antwort (rc=%1): %2").arg(rc).arg(MB_ReceiveErrorText(provider.APPReceiveError())));
            return 1;
        }
        printTelegram(provider, o.json);
        return 0;
    }
    if (!p.isSet("primary")) {
        CliErr(QStringLiteral("one of --primary, --secondary, --select-frame is required"));
        return 2;
    }
    // Every telegram of the meter, as the test bench reads it.
    const int address = p.value("primary").toInt();
    provider.APPSNDNKE(address);
    if (provider.APPReceiveTest() > 4) {
        CliErr(QStringLiteral("Keine Antwort: ") + MB_ReceiveErrorText(provider.APPReceiveError()));
        return 1;
    }
    QJsonArray telegrams;
    for (int n = 0; n < kMaxContinuationTelegrams; ++n) {
        provider.APPREQUD2(address);
        if (provider.APPReceiveTest() != 3) {
            CliErr(QStringLiteral("%1\t Fehler : %2").arg(address).arg(MB_ReceiveErrorText(provider.APPReceiveError())));
            return n == 0 ? 1 : 0;
        }
        if (o.json)
            telegrams << DecodedTelegramJson(provider);
        else
            printTelegram(provider, false);
        if (!provider.moreRecordsFollow())
            break;
    }
    if (o.json)
        CliOut(QString::fromUtf8(QJsonDocument(telegrams.size() == 1 ? QJsonDocument(telegrams.first().toObject())
                                                                      : QJsonDocument(telegrams))
                                     .toJson(QJsonDocument::Compact)));
    return 0;
}

int scanPrimary(const QStringList& args)
{
    QCommandLineParser p;
    addBusOptions(p);
    p.addOption({"from", "First address (default 0).", "A", "0"});
    p.addOption({"to", "Last address (default 250).", "A", "250"});
    BusOptions o;
    if (!parse(p, args, o))
        return 2;
    NativeProvider provider;
    if (!openProvider(provider, o))
        return 1;
    testbench::PrimarySearch search;
    QObject::connect(&search, &testbench::PrimarySearch::messageRaised, [](const QString& m) { CliErr(m); });
    search.M_Bus_SuchenVonBisRac(provider, o.port, o.baud, p.value("from").toInt(), p.value("to").toInt(), 1,
                                 o.timeouts);
    QJsonArray rows;
    for (const QStringList& row : search.found) {
        if (row.value(1).isEmpty())
            continue;
        if (o.json) {
            QJsonObject obj;
            for (int i = 0; i < row.size(); ++i)
                obj.insert(testbench::PrimarySearch::foundHeaders()[i], row[i]);
            rows << obj;
        } else {
            CliOut(row.join('\t'));
        }
    }
    if (o.json)
        CliOut(QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Compact)));
    else
        CliOut(search.elapsedLabel);
    return 0;
}

int scanSecondary(const QStringList& args)
{
    QCommandLineParser p;
    addBusOptions(p);
    p.addOption({"mask", "Start mask, f = any digit (default ffffffff).", "MASK", "ffffffff"});
    BusOptions o;
    if (!parse(p, args, o))
        return 2;
    const QString mask = p.value("mask").toLower();
    const int firstWildcard = mask.indexOf('f');
    if (mask.size() != 8 || firstWildcard < 0) {
        CliErr(QStringLiteral("the mask needs eight characters with at least one f"));
        return 2;
    }
    NativeProvider provider;
    if (!openProvider(provider, o))
        return 1;
    testbench::SecondarySearch search;
    search.MBRac_SucheSekAdrAlle(provider, mask, 8 - firstWildcard, o.baud);
    QJsonArray rows;
    for (const QStringList& row : search.found) {
        if (o.json)
            rows << QJsonArray::fromStringList(row);
        else
            CliOut(row.join('\t'));
    }
    if (o.json)
        CliOut(QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Compact)));
    else
        CliOut(QStringLiteral("%1 Zähler gefunden, %2 Selektionen").arg(search.count).arg(search.selectionsSent));
    return 0;
}

int send(const QStringList& args)
{
    QCommandLineParser p;
    addBusOptions(p);
    p.addPositionalArgument("HEXLIST", "The frame to send.");
    BusOptions o;
    if (!parse(p, args, o))
        return 2;
    const QStringList positional = p.positionalArguments().filter(QRegularExpression("^[^-]"));
    QByteArray frame;
    QString error;
    if (positional.isEmpty() || !ParseHexBytes(positional.join(' '), frame, &error) || frame.isEmpty()) {
        CliErr(QStringLiteral("no frame to send ") + error);
        return 2;
    }
    BusPort port;
    if (!port.open(o.device, o.baud)) {
        CliErr(port.errorText());
        return 1;
    }
    BusLink link(port);
    BusTimeouts t;
    t.answerBits = o.timeouts.timeout;
    t.offsetMs = o.timeouts.offset;
    link.setTimeouts(t);
    link.send(frame);
    const Answer answer = link.receiveFrame();
    if (answer.kind == Answer::Frame || answer.kind == Answer::Ack) {
        CliOut(StrToHexListe(answer.frame, QStringLiteral(";")));
        return 0;
    }
    CliOut(answer.skipped.isEmpty() ? QStringLiteral("Timeout")
                                    : StrToHexListe(answer.skipped, QStringLiteral(";")) + QStringLiteral(" (")
                                          + MB_ReceiveErrorText(answer.errorBits) + ')');
    return 1;
}

const CliRegistration regRead("read", "read (--port N | --device D) --baud B (--primary A | --secondary ID | --select-frame HEXLIST) [--json]", read);
const CliRegistration regScanP("scan-primary", "scan-primary (--port N | --device D) --baud B [--from 0 --to 250] [--json]", scanPrimary);
const CliRegistration regScanS("scan-secondary", "scan-secondary (--port N | --device D) --baud B [--mask ffffffff] [--json]", scanSecondary);
const CliRegistration regSend("send", "send (--port N | --device D) --baud B HEXLIST   prints the answer as a hex list", send);

} // namespace
