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

const QString kBusOptionsHelp = QStringLiteral(
    "  --port N              COM port number: the device of [OVX] COM<N> in OVX.INI, else /dev/ttyS<N-1>\n"
    "  --device D            serial device path, tcp://host:port or rfc2217://host:port\n"
    "  --baud B              baud rate (default 2400)\n"
    "  --timeout BITS        answer window in bit times (default 330)\n"
    "  --offset MS           answer window offset in ms (default 50)\n"
    "  --json                JSON output\n");

void addBusOptions(QCommandLineParser& p)
{
    p.addOption({"port", "COM port number (device from OVX.INI [OVX] COM<n>).", "N"});
    p.addOption({"device", "Serial device path or tcp://host:port.", "D"});
    p.addOption({"baud", "Baud rate (default 2400).", "B", "2400"});
    p.addOption({"timeout", "Answer window in bit times (default 330).", "BITS", "330"});
    p.addOption({"offset", "Answer window offset in ms (default 50).", "MS", "50"});
}

// The value of an integer option in [min, max]; false when it is not one.
bool intOption(const QCommandLineParser& p, const QString& name, int min, int max, int& value)
{
    bool ok = false;
    value = p.value(name).toInt(&ok);
    return ok && value >= min && value <= max;
}

// Reads the options; CliOk, or the exit code of the failure it reported.
int parse(QCommandLineParser& p, const QStringList& args, BusOptions& o, bool positionalAllowed = false)
{
    if (!p.parse(QStringList{"kelvaro-cli"} + args))
        return CliFail(CliUsage, p.errorText());
    if (!positionalAllowed && !p.positionalArguments().isEmpty())
        return CliFail(CliUsage, QStringLiteral("unexpected argument: ") + p.positionalArguments().first());
    if (p.isSet("port") && !intOption(p, "port", 1, 9999, o.port))
        return CliFail(CliUsage, QStringLiteral("--port expects a COM port number: ") + p.value("port"));
    if (!intOption(p, "baud", 1, 10'000'000, o.baud))
        return CliFail(CliUsage, QStringLiteral("--baud expects a baud rate: ") + p.value("baud"));
    if (!intOption(p, "timeout", 0, 1'000'000, o.timeouts.timeout) || !intOption(p, "offset", 0, 600'000, o.timeouts.offset))
        return CliFail(CliUsage, QStringLiteral("--timeout and --offset expect a number"));
    o.json = CliJsonOutput();
    if (p.isSet("device"))
        o.device = p.value("device");
    else if (o.port > 0)
        o.device = LoadPortDirectory().deviceFor(o.port);
    if (o.device.isEmpty())
        return CliFail(CliUsage, QStringLiteral("--port N or --device D is required"));
    return CliOk;
}

int openProvider(NativeProvider& provider, const BusOptions& o)
{
    provider.setPortDirectory(PortDirectory::everyPortTo(o.device));
    ApplyTimeoutSettings(provider, o.timeouts);
    if (!provider.openDevice(o.device, o.baud))
        return CliFail(CliDevice, QStringLiteral("Fehler Open Com ") + o.device + QStringLiteral(": ")
                                      + provider.port().errorText());
    return CliOk;
}

// A line that goes away ends the command at once with the device's exit
// code, naming where it stopped ("Leitung verloren bei Adresse 17").
int lineLostFail(const BusPort& port, const QString& where, const QJsonObject& partial = {})
{
    return CliFail(CliDevice, QStringLiteral("Leitung verloren %1 (%2)").arg(where, port.lineLostText()), partial);
}

// Ends a running search as soon as its line is gone.
template <typename Stop>
void stopOnLineLost(NativeProvider& provider, Stop stop)
{
    QObject::connect(&provider.port(), &BusPort::lineLost, [&provider, stop](const QString&) {
        stop();
        provider.APPBreak();
    });
}

int openPort(BusPort& port, const BusOptions& o)
{
    if (!port.open(o.device, o.baud))
        return CliFail(CliDevice, port.errorText());
    return CliOk;
}

void printTelegram(const NativeProvider& provider, bool json)
{
    if (json) {
        CliOutJson(DecodedTelegramJson(provider));
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

int readSelectFrame(const BusOptions& o, const QString& hexList)
{
    QByteArray selection;
    QString error;
    if (!ParseHexBytes(hexList, selection, &error) || selection.isEmpty())
        return CliFail(CliUsage, QStringLiteral("--select-frame: ") + error);
    BusPort serial;
    if (const int rc = openPort(serial, o); rc != CliOk)
        return rc;
    QByteArray reply;
    const int rc = MB_LeseDirektSekAdr(serial, selection, reply, false, 0, 0, 0, 0.8);
    if (serial.isLineLost())
        return lineLostFail(serial, QStringLiteral("beim Auswahltelegramm"));
    if (rc <= 0)
        return CliFail(CliNoAnswer, QStringLiteral("Keine Antwort (rc=%1)").arg(rc));
    NativeProvider provider;
    if (provider.APPInterpretTelegramHex(StrToHexListe(reply, QString())) != 0)
        return CliFail(CliNoAnswer, provider.lastErrorText());
    printTelegram(provider, o.json);
    return CliOk;
}

int readSecondary(const BusOptions& o, const QString& address)
{
    NativeProvider provider;
    if (const int rc = openProvider(provider, o); rc != CliOk)
        return rc;
    const int rc = MB_ReadSekAdrRac(provider, address);
    if (provider.port().isLineLost())
        return lineLostFail(provider.port(), QStringLiteral("bei Sekundäradresse ") + address);
    if (rc != 0)
        return CliFail(CliNoAnswer, rc == 1 ? QStringLiteral("Antwort von mehreren Zählern.")
                                            : QStringLiteral("Keine Antwort (rc=%1): %2")
                                                  .arg(rc)
                                                  .arg(MB_ReceiveErrorText(provider.APPReceiveError())));
    printTelegram(provider, o.json);
    return CliOk;
}

// Every telegram of the meter, as the test bench reads it.
int readPrimary(const BusOptions& o, int address)
{
    NativeProvider provider;
    if (const int rc = openProvider(provider, o); rc != CliOk)
        return rc;
    const QString where = QStringLiteral("bei Adresse ") + QString::number(address);
    provider.APPSNDNKE(address);
    if (provider.port().isLineLost())
        return lineLostFail(provider.port(), where);
    if (provider.APPReceiveTest() > 4)
        return CliFail(CliNoAnswer, QStringLiteral("Keine Antwort: ") + MB_ReceiveErrorText(provider.APPReceiveError()));
    QJsonArray telegrams;
    for (int n = 0; n < kMaxContinuationTelegrams; ++n) {
        provider.APPREQUD2(address);
        if (provider.port().isLineLost())
            return lineLostFail(provider.port(), where, telegrams.isEmpty() ? QJsonObject{} : QJsonObject{{"telegrams", telegrams}});
        if (provider.APPReceiveTest() != 3) {
            // What came before the failure is printed (text) or kept beside the error (JSON).
            const QString text = QStringLiteral("%1\t Fehler : %2").arg(address).arg(MB_ReceiveErrorText(provider.APPReceiveError()));
            return CliFail(CliNoAnswer, text, telegrams.isEmpty() ? QJsonObject{} : QJsonObject{{"telegrams", telegrams}});
        }
        if (o.json)
            telegrams << DecodedTelegramJson(provider);
        else
            printTelegram(provider, false);
        if (!provider.moreRecordsFollow())
            break;
    }
    if (o.json)
        CliOutJson(telegrams.size() == 1 ? QJsonValue(telegrams.first()) : QJsonValue(telegrams));
    return CliOk;
}

int read(const QStringList& args)
{
    QCommandLineParser p;
    addBusOptions(p);
    p.addOption({"primary", "Primary address.", "A"});
    p.addOption({"secondary", "Secondary address (identification, f = any digit).", "ID"});
    p.addOption({"select-frame", "Stored selection frame as a hex list.", "HEXLIST"});
    BusOptions o;
    if (const int rc = parse(p, args, o); rc != CliOk)
        return rc;
    if (p.isSet("select-frame"))
        return readSelectFrame(o, p.value("select-frame"));
    if (p.isSet("secondary")) {
        const QString address = p.value("secondary");
        if (!QRegularExpression(QStringLiteral("^[0-9a-fA-F]{1,8}$")).match(address).hasMatch())
            return CliFail(CliUsage, QStringLiteral("--secondary expects up to eight digits (f = any digit): ") + address);
        return readSecondary(o, address);
    }
    if (!p.isSet("primary"))
        return CliFail(CliUsage, QStringLiteral("one of --primary, --secondary, --select-frame is required"));
    int address = 0;
    if (!intOption(p, "primary", 0, 255, address))
        return CliFail(CliUsage, QStringLiteral("--primary expects an address 0..255: ") + p.value("primary"));
    return readPrimary(o, address);
}

int scanPrimary(const QStringList& args)
{
    QCommandLineParser p;
    addBusOptions(p);
    p.addOption({"from", "First address (default 0).", "A", "0"});
    p.addOption({"to", "Last address (default 250).", "A", "250"});
    BusOptions o;
    if (const int rc = parse(p, args, o); rc != CliOk)
        return rc;
    int from = 0, to = 0;
    const int last = testbench::PrimarySearch::kAddresses - 1;
    if (!intOption(p, "from", 0, last, from) || !intOption(p, "to", from, last, to))
        return CliFail(CliUsage, QStringLiteral("--from and --to expect addresses 0..%1, from <= to").arg(last));
    NativeProvider provider;
    if (const int rc = openProvider(provider, o); rc != CliOk)
        return rc;
    testbench::PrimarySearch search;
    QObject::connect(&search, &testbench::PrimarySearch::messageRaised, [](const QString& m) { CliErr(m); });
    int tried = from;
    QObject::connect(&search, &testbench::PrimarySearch::addressTried, [&tried](int address) { tried = address; });
    stopOnLineLost(provider, [&search] { search.stopSearch = true; });
    search.M_Bus_SuchenVonBisRac(provider, o.port, o.baud, from, to, 1, o.timeouts);
    const bool lost = provider.port().isLineLost();
    QJsonArray rows;
    int found = 0;
    for (const QStringList& row : search.found) {
        if (row.value(1).isEmpty())
            continue;
        ++found;
        if (o.json) {
            QJsonObject obj;
            for (int i = 0; i < row.size(); ++i)
                obj.insert(testbench::PrimarySearch::foundHeaders()[i], row[i]);
            rows << obj;
        } else {
            CliOut(row.join('\t'));
        }
    }
    if (lost)
        return lineLostFail(provider.port(), QStringLiteral("bei Adresse ") + QString::number(tried),
                            rows.isEmpty() ? QJsonObject{} : QJsonObject{{"found", rows}});
    if (!o.json)
        CliOut(search.elapsedLabel);
    if (found == 0)
        return CliFail(CliNoAnswer, QStringLiteral("kein Zähler gefunden"));
    if (o.json)
        CliOutJson(rows);
    return CliOk;
}

int scanSecondary(const QStringList& args)
{
    QCommandLineParser p;
    addBusOptions(p);
    p.addOption({"mask", "Start mask, f = any digit (default ffffffff).", "MASK", "ffffffff"});
    BusOptions o;
    if (const int rc = parse(p, args, o); rc != CliOk)
        return rc;
    const QString mask = p.value("mask").toLower();
    const int firstWildcard = mask.indexOf('f');
    if (mask.size() != 8 || firstWildcard < 0 || !QRegularExpression(QStringLiteral("^[0-9f]{8}$")).match(mask).hasMatch())
        return CliFail(CliUsage, QStringLiteral("the mask needs eight digits with at least one f"));
    NativeProvider provider;
    if (const int rc = openProvider(provider, o); rc != CliOk)
        return rc;
    testbench::SecondarySearch search;
    QString tried = mask;
    QObject::connect(&search, &testbench::SecondarySearch::maskChanged, [&tried](const QString& m) { tried = m; });
    stopOnLineLost(provider, [&search] { search.stop = true; });
    search.MBRac_SucheSekAdrAlle(provider, mask, 8 - firstWildcard, o.baud);
    QJsonArray rows;
    for (const QStringList& row : search.found) {
        if (o.json)
            rows << QJsonArray::fromStringList(row);
        else
            CliOut(row.join('\t'));
    }
    if (provider.port().isLineLost())
        return lineLostFail(provider.port(), QStringLiteral("bei Maske ") + tried,
                            rows.isEmpty() ? QJsonObject{} : QJsonObject{{"found", rows}});
    if (!o.json)
        CliOut(QStringLiteral("%1 Zähler gefunden, %2 Selektionen").arg(search.count).arg(search.selectionsSent));
    if (search.found.isEmpty())
        return CliFail(CliNoAnswer, QStringLiteral("kein Zähler gefunden"));
    if (o.json)
        CliOutJson(rows);
    return CliOk;
}

int send(const QStringList& args)
{
    QCommandLineParser p;
    addBusOptions(p);
    p.addPositionalArgument("HEXLIST", "The frame to send.");
    BusOptions o;
    if (const int rc = parse(p, args, o, true); rc != CliOk)
        return rc;
    QByteArray frame;
    QString error;
    if (p.positionalArguments().isEmpty() || !ParseHexBytes(p.positionalArguments().join(' '), frame, &error)
        || frame.isEmpty())
        return CliFail(CliUsage, QStringLiteral("no frame to send ") + error);
    BusPort port;
    if (const int rc = openPort(port, o); rc != CliOk)
        return rc;
    BusLink link(port);
    BusTimeouts t;
    t.answerBits = o.timeouts.timeout;
    t.offsetMs = o.timeouts.offset;
    link.setTimeouts(t);
    link.send(frame);
    const Answer answer = link.receiveFrame();
    if (port.isLineLost())
        return lineLostFail(port, QStringLiteral("beim Warten auf die Antwort"));
    if (answer.kind == Answer::Frame || answer.kind == Answer::Ack) {
        const QString hex = StrToHexListe(answer.frame, QStringLiteral(";"));
        if (o.json)
            CliOutJson(QJsonObject{{"answer", hex}});
        else
            CliOut(hex);
        return CliOk;
    }
    // What the line brought instead of an answer stays the command's output.
    const QString skipped = StrToHexListe(answer.skipped, QStringLiteral(";"));
    const QString text = answer.skipped.isEmpty() ? QStringLiteral("Timeout")
                                                  : skipped + QStringLiteral(" (") + MB_ReceiveErrorText(answer.errorBits) + ')';
    if (!o.json)
        CliOut(text);
    return CliFail(CliNoAnswer, QStringLiteral("keine Antwort: ") + text,
                   answer.skipped.isEmpty() ? QJsonObject{} : QJsonObject{{"skipped", skipped}});
}

const CliRegistration regRead(
    "read", "read (--port N | --device D) --baud B (--primary A | --secondary ID | --select-frame HEXLIST) [--json]",
    "Reads one meter and prints its telegrams decoded:\n"
    "  --primary A           every telegram of primary address A (SND_NKE, then REQ_UD2 while\n"
    "                        more records follow)\n"
    "  --secondary ID        the first telegram of the meter with this identification\n"
    "                        (up to eight digits, f = any digit) by secondary addressing\n"
    "  --select-frame HEX    a stored selection frame as a hex list, then REQ_UD2 to 253\n"
        + kBusOptionsHelp,
    {CliOk, CliNoAnswer, CliUsage, CliDevice}, read);
const CliRegistration regScanP("scan-primary",
                               "scan-primary (--port N | --device D) --baud B [--from 0 --to 250] [--json]",
                               "Asks every primary address from..to and lists the meters that answer\n"
                               "(exit code 1 when none answers).\n"
                               "  --from A, --to A      first and last address (default 0 and 250)\n"
        + kBusOptionsHelp,
                               {CliOk, CliNoAnswer, CliUsage, CliDevice}, scanPrimary);
const CliRegistration regScanS("scan-secondary",
                               "scan-secondary (--port N | --device D) --baud B [--mask ffffffff] [--json]",
                               "Searches the bus by secondary address, most significant digit first, and lists\n"
                               "the meters found (exit code 1 when none answers).\n"
                               "  --mask MASK           eight digits to start from, f = any digit (default ffffffff)\n"
        + kBusOptionsHelp,
                               {CliOk, CliNoAnswer, CliUsage, CliDevice}, scanSecondary);
const CliRegistration regSend("send", "send (--port N | --device D) --baud B HEXLIST [--json]   prints the answer as a hex list",
                              "Sends one frame as given (hex bytes) and prints the answer frame or E5 as a hex list\n"
                              "(JSON: {\"answer\": ...}); without an answer \"Timeout\" or the bytes that came instead.\n"
        + kBusOptionsHelp,
                              {CliOk, CliNoAnswer, CliUsage, CliDevice}, send);

} // namespace
