#include "consoles/serialconsole.h"
#include "mbus/hexlist.h"
#include "simprocess.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace kelvaro;
using kelvaro::test::BusJson;
using kelvaro::test::SimProcess;

namespace {

QString meter(int primary, const QString& id)
{
    return QStringLiteral(R"({"primary": %1, "id": "%2", "baud": [2400], "records": ["0406E8030000", "04134C1D0000"]})")
        .arg(primary)
        .arg(id);
}

QByteArray FrameBytes(const QString& text)
{
    QByteArray bytes;
    EXPECT_TRUE(ParseHexBytes(text.trimmed(), bytes)) << text.toStdString();
    return bytes;
}

// Checksum over the user data and the length bytes of a long frame.
bool LongFrameWhole(const QByteArray& f)
{
    if (f.size() < 6 || f[0] != '\x68' || f[3] != '\x68' || f[1] != f[2] || quint8(f[1]) + 6 != f.size()
        || f.back() != '\x16')
        return false;
    quint8 sum = 0;
    for (int i = 4; i < f.size() - 2; ++i)
        sum += quint8(f[i]);
    return sum == quint8(f[f.size() - 2]);
}

// CI 52 selection of one identification (bytes as sent), the rest wildcards.
QString SecondarySelection(const char* identificationHex)
{
    QByteArray data = QByteArray::fromHex("53FD52") + QByteArray::fromHex(identificationHex) + QByteArray(4, '\xFF');
    quint8 sum = 0;
    for (const char c : data)
        sum += quint8(c);
    const QByteArray frame = QByteArray::fromHex("680B0B68") + data + char(sum) + '\x16';
    return StrToHexListe(frame, " ").trimmed();
}

} // namespace

TEST(SerialConsoleList, ElevenEntriesWithTheirLabelsAndWholeFrames)
{
    LogWindowModel log;
    SerialConsole console(mbus::PortDirectory{}, log);
    const auto& list = console.selectionList();
    ASSERT_EQ(list.size(), 11);
    const QStringList labels = {"Felsbrunn 1 #", "Felsbrunn 1 #", "Felsbrunn 1 #", "Felsbrunn 4069709  #",
                                "Felsbrunn 4069710 = ", "Felsbrunn 4069711 = ", "Irgend eine Seriennummer #",
                                "70267 Rel Impulszaehler #", "NDWH NZR#", "Wärmemengen#", "NRZ Strom WBZ #"};
    const quint8 checksums[] = {0x92, 0x99, 0x9A, 0x90, 0x97, 0x98, 0x9A, 0xFD, 0xC3, 0x31, 0xB7};
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(list[i].startsWith(labels[i])) << list[i].toStdString();
        const QString frameText = SerialConsole::frameOfEntry(list[i]);
        const QByteArray frame = FrameBytes(frameText.contains(';') ? QString(frameText).replace(';', ' ') : frameText);
        EXPECT_TRUE(LongFrameWhole(frame));
        EXPECT_EQ(quint8(frame[frame.size() - 2]), checksums[i]);
        if (i < 6) {
            EXPECT_TRUE(frameText.endsWith(';'));
            for (const auto& field : frameText.split(';', Qt::SkipEmptyParts))
                EXPECT_FALSE(field.size() == 2 && field.startsWith('0')) << "leading zero in " << frameText.toStdString();
        }
    }
    EXPECT_TRUE(SerialConsole::frameOfEntry(list[0]).startsWith("68;1D;1D;68;53;FD;51;9;97;6;4;FF;"));
    EXPECT_TRUE(SerialConsole::frameOfEntry(list[3]).startsWith("68;1F;1F;68;53;FD;51;9;97;6;F4;FF;"));
    EXPECT_TRUE(SerialConsole::frameOfEntry(list[3]).contains("FF;8;6;8;2E;8;3D;"));
    EXPECT_EQ(SerialConsole::frameOfEntry(list[8]), "68 0B 0B 68 53 FD 52 80 82 24 FF FF FF FF FF C3 16");

    ASSERT_EQ(console.storedFrames().size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(console.storedFrames()[i], FrameBytes(SerialConsole::frameOfEntry(list[i]).replace(';', ' ')));
    EXPECT_EQ(console.defaultSendText(), "68 0B 0B 68 53 FD 52 67 02 F7 FF FF FF FF FF FD 16");
}

TEST(SerialConsoleExchange, SelectionFromTheListAnsweredAndDecoded)
{
    test::InstallationDir installation; // the program log goes there
    SimProcess sim(BusJson({meter(1, "12070267"), meter(2, "55555555")}), {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty()) << sim.output().toStdString();
    LogWindowModel log;
    SerialConsole console(mbus::PortDirectory::everyPortTo(sim.device()), log);
    QString message;
    ASSERT_TRUE(console.open(3, 2400, &message)) << message.toStdString();
    EXPECT_EQ(console.stateText(), "Open ");

    const QString frame = SerialConsole::frameOfEntry(console.selectionList()[7]);
    ASSERT_TRUE(console.send(frame, &message)) << log.rows().join('\n').toStdString();
    ASSERT_TRUE(console.hasValues());
    EXPECT_EQ(console.provider().APPDeviceIDDec(), "12070267");
    EXPECT_EQ(console.provider().APPAField(), 1);
    EXPECT_EQ(console.provider().APPDataRecordNumber(), 2);

    const auto& rows = log.rows();
    ASSERT_EQ(rows.size(), 7);
    EXPECT_EQ(rows[0], QString(40, '*'));
    EXPECT_EQ(rows[1], frame);
    EXPECT_EQ(rows[2], "Send 17 68;0B;0B;68;53;FD;52;67;02;F7;FF;FF;FF;FF;FF;FD;16;");
    EXPECT_EQ(rows[3], "Read E5;");
    EXPECT_EQ(rows[4], "Send 5");
    EXPECT_EQ(rows[5], "10;7B;FD;78;16;");
    EXPECT_TRUE(rows[6].contains(" Byte 68;")) << rows[6].toStdString();
}

TEST(SerialConsoleExchange, FailuresAreLoggedAndLeaveThePortOpen)
{
    test::InstallationDir installation; // the program log goes there
    SimProcess sim(BusJson({meter(1, "11111111"), meter(2, "11111112")}), {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty()) << sim.output().toStdString();
    LogWindowModel log;
    SerialConsole console(mbus::PortDirectory::everyPortTo(sim.device()), log);
    QString message;

    EXPECT_FALSE(console.send("10 5B 01 5C 16", &message));
    EXPECT_EQ(message, "Comport 0 nicht geöffnet!");
    EXPECT_TRUE(log.rows().isEmpty());
    ASSERT_TRUE(console.open(2, 2400, &message)) << message.toStdString();

    // Nobody matches: the exchange ends after the selection.
    EXPECT_FALSE(console.send("68 0B 0B 68 53 FD 52 99 99 99 99 FF FF FF FF 00 16", &message));
    EXPECT_EQ(log.rows().mid(3), QStringList({"Read ", "FEHLER kein E5"}));
    EXPECT_TRUE(console.isOpen());
    EXPECT_FALSE(console.hasValues());

    // Both meters match the wildcard: their answers collide, so no values ever.
    log.clear();
    EXPECT_FALSE(console.send(SerialConsole::frameOfEntry(console.selectionList()[6]), &message));
    EXPECT_FALSE(console.hasValues());
    ASSERT_FALSE(log.rows().isEmpty());
    EXPECT_TRUE(log.rows().last().startsWith("FEHLER")) << log.rows().join('\n').toStdString();
    EXPECT_TRUE(console.isOpen());

    // The port still works afterwards.
    log.clear();
    EXPECT_TRUE(console.send(SecondarySelection("12111111"), &message)) << log.rows().join('\n').toStdString();
    EXPECT_EQ(console.provider().APPDeviceIDDec(), "11111112");
}

TEST(SerialConsoleExchange, SpeedTestCountsAnswersAndStopsWhenAsked)
{
    test::InstallationDir installation;
    SimProcess sim(BusJson({meter(1, "12070267"), meter(3, "55555555")}), {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty()) << sim.output().toStdString();
    LogWindowModel log;
    SerialConsole console(mbus::PortDirectory::everyPortTo(sim.device()), log);
    QString message;
    EXPECT_EQ(console.speedTest(1, 3, {}, &message).read, 0);
    EXPECT_EQ(message, "Comport 0 nicht geöffnet!");
    ASSERT_TRUE(console.open(3, 2400, &message)) << message.toStdString();

    const auto all = console.speedTest(1, 3);
    EXPECT_EQ(all.read, 2);
    EXPECT_EQ(all.silent, 1);
    EXPECT_FALSE(all.stopped);
    EXPECT_TRUE(log.rows().last().startsWith("Geschwindigkeitstest 1..3: 2 gelesen, 1 Keine Antwort in "))
        << log.rows().last().toStdString();

    int asked = 0;
    const auto stopped = console.speedTest(1, 250, [&](const SerialConsole::SpeedResult&) { return ++asked < 2; });
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.read + stopped.silent, 2);
    EXPECT_TRUE(log.rows().last().startsWith("Geschwindigkeitstest 1..2: 1 gelesen, 1 Keine Antwort in "))
        << "the line names the addresses asked, not the range typed: " << log.rows().last().toStdString();
    EXPECT_TRUE(console.isOpen());
    EXPECT_TRUE(console.send(SerialConsole::frameOfEntry(console.selectionList()[7]), &message))
        << "the line still answers after the test";
}

TEST(SerialConsoleErrors, ReceiveErrorTexts)
{
    EXPECT_EQ(SerialConsole::ReceiveErrorText(4), "Falsche Checksumme");
    EXPECT_EQ(SerialConsole::ReceiveErrorText(64), "Collision");
    EXPECT_EQ(SerialConsole::ReceiveErrorText(3), "Other UART Error");
    EXPECT_EQ(SerialConsole::ReceiveErrorText(SerialConsole::ReceiveErrorOf(mbus::DecodeError::FrameChecksum)),
              "Falsche Checksumme");
}

TEST(LogWindow, RowsInsertedWhereAskedAndGridFollowsTheWindow)
{
    LogWindowModel log;
    log.add("a");
    log.add("c");
    log.LogAddItem("b", 1);
    log.LogAddItem("d", 99);
    EXPECT_EQ(log.rows(), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(LogWindowModel::GridWidthFor(600, 10, 8), 582);
    EXPECT_EQ(LogWindowModel::GridWidthFor(15, 10, 8), -1) << "too narrow: the grid keeps its width";
}

namespace {
class SerialConsoleLineLost : public ::testing::TestWithParam<test::ReturningLine::Kind> {};
} // namespace

// The line goes away during "&Send" and during the speed test: each ends at
// once with a FEHLER line and a message that name it, the port counts as
// closed, and "&Open" works again once the line is back under its name.
TEST_P(SerialConsoleLineLost, ExchangeAndSpeedTestEndAtOnceAndOpenWorksAgain)
{
    test::InstallationDir installation;
    test::ReturningLine line(BusJson({meter(1, "12070267"), meter(3, "55555555")}), GetParam());
    ASSERT_TRUE(line.isUp());
    LogWindowModel log;
    SerialConsole console(mbus::PortDirectory::everyPortTo(line.device()), log);
    int lossSignals = 0;
    QObject::connect(&console, &SerialConsole::lineLost, [&] { ++lossSignals; });
    QString message;
    ASSERT_TRUE(console.open(3, 2400, &message)) << message.toStdString();
    const QString frame = SerialConsole::frameOfEntry(console.selectionList()[7]);

    // Gone as the selection goes out.
    const auto dropOnSend = QObject::connect(&log, &LogWindowModel::rowInserted, [&](int, const QString& text) {
        if (text.startsWith("Send 17") && line.isUp())
            line.drop();
    });
    EXPECT_FALSE(console.send(frame, &message));
    QObject::disconnect(dropOnSend);
    EXPECT_TRUE(log.rows().last().startsWith("FEHLER Leitung verloren beim Warten auf E5 ("))
        << log.rows().join('\n').toStdString();
    EXPECT_TRUE(message.startsWith("Comport 3: Leitung verloren beim Warten auf E5 (")) << message.toStdString();
    EXPECT_FALSE(console.isOpen());
    EXPECT_EQ(console.stateText(), "Close");
    EXPECT_EQ(lossSignals, 1);
    EXPECT_FALSE(console.send(frame, &message));
    EXPECT_EQ(message, "Comport 3 nicht geöffnet!");
    EXPECT_FALSE(console.open(3, 2400, &message)) << "nothing under the name while the line is away";

    ASSERT_TRUE(line.restore());
    ASSERT_TRUE(console.open(3, 2400, &message)) << message.toStdString();
    ASSERT_TRUE(console.send(frame, &message)) << log.rows().join('\n').toStdString();
    EXPECT_EQ(console.provider().APPDeviceIDDec(), "12070267");

    // Gone after two addresses of the speed test.
    message.clear();
    const auto result = console.speedTest(1, 250, [&](const SerialConsole::SpeedResult& r) {
        if (r.read + r.silent == 2)
            line.drop();
        return true;
    }, &message);
    EXPECT_EQ(result.lineLostAt, 3);
    EXPECT_EQ(result.read, 1);
    EXPECT_EQ(result.silent, 1);
    EXPECT_TRUE(log.rows().last().startsWith("Geschwindigkeitstest 1..3: 1 gelesen, 1 Keine Antwort in "))
        << log.rows().last().toStdString();
    EXPECT_TRUE(log.rows().last().contains(", FEHLER Leitung verloren bei Adr. 3 (")) << log.rows().last().toStdString();
    EXPECT_TRUE(message.startsWith("Comport 3: Leitung verloren bei Adr. 3 (")) << message.toStdString();
    EXPECT_FALSE(console.isOpen());

    ASSERT_TRUE(line.restore());
    ASSERT_TRUE(console.open(3, 2400, &message)) << message.toStdString();
    EXPECT_EQ(console.speedTest(1, 3).read, 2);
}

INSTANTIATE_TEST_SUITE_P(PseudoTerminalAndTcp, SerialConsoleLineLost,
                         ::testing::Values(test::ReturningLine::PseudoTerminal, test::ReturningLine::Tcp),
                         [](const auto& info) {
                             return info.param == test::ReturningLine::PseudoTerminal ? std::string("PseudoTerminal")
                                                                                      : std::string("Tcp");
                         });
