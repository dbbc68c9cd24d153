// mbus-sim: a bus of simulated M-Bus meters on a pseudo-terminal or a TCP port.
#include "simconfig.h"
#include "simserver.h"

#include "foundation/programinfo.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <csignal>
#include <cstdio>

using namespace kelvaro::sim;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(kelvaro::ProgramVersionText());
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("M-Bus meter simulator"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("busfile"), QStringLiteral("JSON file with the meters of the bus"));
    parser.addOption({QStringLiteral("link"), QStringLiteral("Write the pseudo-terminal path to FILE."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("tcp"), QStringLiteral("Serve a device server on 127.0.0.1:PORT (0 = free port)."), QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("baud"), QStringLiteral("Line rate in TCP mode (default 2400)."), QStringLiteral("BAUD"), QStringLiteral("2400")});
    parser.addOption({QStringLiteral("fast"), QStringLiteral("Answer at once, without wire time.")});
    parser.addOption({QStringLiteral("modem"), QStringLiteral("Put a Hayes modem in front of the bus.")});
    parser.addOption({QStringLiteral("echo"), QStringLiteral("Echo every request, as many level converters do.")});
    parser.addOption({QStringLiteral("verbose"), QStringLiteral("Log the traffic to standard error.")});
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    SimBus bus;
    QString error;
    if (!LoadBusFile(parser.positionalArguments().first(), bus, &error)) {
        std::fprintf(stderr, "mbus-sim: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    bus.echo = bus.echo || parser.isSet(QStringLiteral("echo"));

    SimServer::Options options;
    options.fast = parser.isSet(QStringLiteral("fast"));
    options.modem = parser.isSet(QStringLiteral("modem"));
    options.tcpBaud = parser.value(QStringLiteral("baud")).toInt();
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    SimServer server(bus, options);

    QString where;
    if (parser.isSet(QStringLiteral("tcp"))) {
        const quint16 port = server.listenTcp(static_cast<quint16>(parser.value(QStringLiteral("tcp")).toUInt()));
        if (port == 0) {
            std::fprintf(stderr, "mbus-sim: cannot listen on TCP port %s\n", qPrintable(parser.value("tcp")));
            return 1;
        }
        where = QStringLiteral("tcp://127.0.0.1:%1").arg(port);
    } else {
        where = server.openPty();
        if (where.isEmpty()) {
            std::perror("mbus-sim: pseudo-terminal");
            return 1;
        }
    }
    if (parser.isSet(QStringLiteral("link"))) {
        QFile link(parser.value(QStringLiteral("link")));
        if (!link.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "mbus-sim: cannot write %s\n", qPrintable(link.fileName()));
            return 1;
        }
        link.write(where.toLocal8Bit() + '\n');
    }
    std::printf("mbus-sim: %d meters on %s\n", static_cast<int>(bus.meters.size()), qPrintable(where));
    std::fflush(stdout);

    std::signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    std::signal(SIGINT, [](int) { QCoreApplication::quit(); });
    return app.exec();
}
