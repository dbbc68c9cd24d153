#include "consoles/serialconsole.h"

#include "mbus/hexlist.h"
#include "mbus/wire/directframes.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <algorithm>

namespace kelvaro {

namespace {

// Hex list with single digits written without a leading zero ("68;1D;9;").
QString ShortHexList(const QByteArray& bytes)
{
    QString text;
    for (const char c : bytes)
        text += QString::number(quint8(c), 16).toUpper() + QLatin1Char(';');
    return text;
}

QByteArray LongFrame(const QByteArray& userData)
{
    QByteArray frame;
    frame.append('\x68').append(char(userData.size())).append(char(userData.size())).append('\x68');
    frame.append(userData);
    quint8 sum = 0;
    for (const char c : userData)
        sum += quint8(c);
    frame.append(char(sum)).append('\x16');
    return frame;
}

// Record selection frame (CI 51) for an identification as sent on the wire.
QByteArray RecordSelection(const QByteArray& identification, bool withVolume)
{
    QByteArray data = QByteArray::fromHex("53FD51") + identification + QByteArray(8, '\xFF');
    if (withVolume)
        data += QByteArray::fromHex("0806");
    data += QByteArray::fromHex("082E083D085B085F08630822086D");
    return LongFrame(data);
}

const QByteArray kReqUd2 = QByteArray::fromHex("107BFD7816");

} // namespace

SerialConsole::SerialConsole(mbus::PortDirectory ports, LogWindowModel& log, QObject* parent)
    : QObject(parent)
    , ports_(std::move(ports))
    , log_(log)
{
    LadeStrings();
    connect(&serial_, &mbus::BusPort::lineLost, this, &SerialConsole::lineLost);
}

void SerialConsole::LadeStrings()
{
    const QByteArray ids[] = {QByteArray::fromHex("09970604"), QByteArray::fromHex("10970604"),
                              QByteArray::fromHex("11970604")};
    const QByteArray idsF4[] = {QByteArray::fromHex("099706F4"), QByteArray::fromHex("109706F4"),
                                QByteArray::fromHex("119706F4")};
    for (const auto& id : ids) {
        storedFrames_ << RecordSelection(id, false);
        selections_ << QStringLiteral("Felsbrunn 1 #") + ShortHexList(storedFrames_.last());
    }
    selections_ << QStringLiteral("Felsbrunn 4069709  #") + ShortHexList(RecordSelection(idsF4[0], true));
    selections_ << QStringLiteral("Felsbrunn 4069710 = ") + ShortHexList(RecordSelection(idsF4[1], true));
    selections_ << QStringLiteral("Felsbrunn 4069711 = ") + ShortHexList(RecordSelection(idsF4[2], true));
    selections_ << QStringLiteral("Irgend eine Seriennummer #68 0B 0B 68 53 FD 52 FF FF FF FF FF FF FF FF 9A 16")
                << QStringLiteral("70267 Rel Impulszaehler #68 0B 0B 68 53 FD 52 67 02 F7 FF FF FF FF FF FD 16")
                << QStringLiteral("NDWH NZR#68 0B 0B 68 53 FD 52 80 82 24 FF FF FF FF FF C3 16")
                << QStringLiteral("Wärmemengen#68 0B 0B 68 53 FD 52 49 02 25 23 FF FF FF FF 31 16")
                << QStringLiteral("NRZ Strom WBZ #68 0B 0B 68 53 FD 52 03 18 FF FF FF FF FF FF B7 16");
    defaultSendText_ = QStringLiteral("68 0B 0B 68 53 FD 52 67 02 F7 FF FF FF FF FF FD 16");
}

QString SerialConsole::frameOfEntry(const QString& entry)
{
    const int hash = int(entry.indexOf(QLatin1Char('#')));
    if (hash >= 0)
        return entry.mid(hash + 1);
    const int equals = int(entry.indexOf(QStringLiteral(" = ")));
    return equals >= 0 ? entry.mid(equals + 3) : QString();
}

bool SerialConsole::refuseWhileBusy(QString* message) const
{
    if (!busy_)
        return false;
    if (message)
        *message = QStringLiteral("Comport ") + QString::number(chosenPort_) + QStringLiteral(" ist belegt: ein Austausch läuft noch");
    return true;
}

QString SerialConsole::notOpenText() const
{
    return QStringLiteral("Comport ") + QString::number(chosenPort_) + QStringLiteral(" nicht geöffnet!");
}

bool SerialConsole::open(int port, int baud, QString* message)
{
    if (refuseWhileBusy(message))
        return false;
    chosenPort_ = port;
    if (mbus::MB_ComOpen(serial_, ports_, port, baud) == 0)
        return true;
    if (message)
        *message = QStringLiteral("Comport ") + QString::number(port) + QStringLiteral(" konnte nicht geöffnet werden");
    return false;
}

bool SerialConsole::close()
{
    if (busy_)
        return false;
    serial_.close();
    return true;
}

void SerialConsole::logFailure(const QString& text)
{
    log_.add(QStringLiteral("Read "));
    log_.add(text);
}

bool SerialConsole::lineLostDuring(const QString& where, QString* message)
{
    if (!serial_.isLineLost())
        return false;
    const QString text = QStringLiteral("Leitung verloren ") + where + QStringLiteral(" (") + serial_.lineLostText()
        + QLatin1Char(')');
    logFailure(QStringLiteral("FEHLER ") + text);
    if (message)
        *message = QStringLiteral("Comport ") + QString::number(chosenPort_) + QStringLiteral(": ") + text;
    return true;
}

bool SerialConsole::send(const QString& frameText, QString* message)
{
    if (refuseWhileBusy(message))
        return false;
    provider_.clearTelegram();
    if (!serial_.isOpen()) {
        if (message)
            *message = notOpenText();
        return false;
    }
    QByteArray frame;
    QString parseError;
    if (!ParseHexBytes(frameText.trimmed(), frame, &parseError) || frame.isEmpty()) {
        if (message)
            *message = QStringLiteral("Kein gültiger Frame: ") + frameText.trimmed();
        return false;
    }
    busy_ = true;
    const auto exchangeEnds = qScopeGuard([this] { busy_ = false; });
    log_.add(QString(40, QLatin1Char('*')));
    log_.add(frameText);
    log_.add(QStringLiteral("Send ") + QString::number(frame.size()) + QLatin1Char(' ') + StrToHexListe(frame, QStringLiteral(";")));

    QByteArray received;
    if (mbus::V3CommSendMsg(serial_, frame, 0, 0, 0, true) != 0
        || mbus::V3CommReadMsg(serial_, '\xE5', '\xE5', 0.8, received, true, frame).kind != mbus::ReadMsgResult::Single) {
        if (!lineLostDuring(QStringLiteral("beim Warten auf E5"), message))
            logFailure(QStringLiteral("FEHLER kein E5"));
        return false;
    }
    log_.add(QStringLiteral("Read ") + StrToHexListe(received, QStringLiteral(";")));
    log_.add(QStringLiteral("Send 5"));
    log_.add(QStringLiteral("10;7B;FD;78;16;"));
    if (mbus::V3CommSendMsg(serial_, kReqUd2, 0, 0, 0, true) != 0) {
        if (!lineLostDuring(QStringLiteral("beim Senden von REQ_UD2"), message))
            log_.add(QStringLiteral("FEHLER RQUD2"));
        return false;
    }
    const auto read = mbus::V3CommReadMsg(serial_, '\x68', '\x16', 0.8, received, true, kReqUd2);
    if (read.kind != mbus::ReadMsgResult::Frame) {
        if (!lineLostDuring(QStringLiteral("beim Warten auf die Antwort"), message))
            logFailure(QStringLiteral("FEHLER keine Antwort."));
        return false;
    }
    log_.add(QString::number(received.size()) + QStringLiteral(" Byte ") + StrToHexListe(received, QStringLiteral(";")));
    provider_.APPInterpretTelegramHex(StrToHexListe(received, QString()));
    const auto error = provider_.lastError();
    if (error != mbus::DecodeError::None && !mbus::IsRecordError(error)) {
        provider_.clearTelegram();
        logFailure(QStringLiteral("FEHLER : ") + ReceiveErrorText(ReceiveErrorOf(error)));
        return false;
    }
    return true;
}

SerialConsole::SpeedResult SerialConsole::speedTest(int from, int to,
                                                    const std::function<bool(const SpeedResult&)>& progress,
                                                    QString* message)
{
    SpeedResult result;
    if (refuseWhileBusy(message))
        return result;
    if (!serial_.isOpen()) {
        if (message)
            *message = notOpenText();
        return result;
    }
    busy_ = true;
    const auto testEnds = qScopeGuard([this] { busy_ = false; });
    from = std::max(0, from);
    to = std::min(250, to);
    int last = from - 1;
    QElapsedTimer clock;
    clock.start();
    for (int address = from; address <= to; ++address) {
        last = address;
        QByteArray request = QByteArray::fromHex("107B");
        request.append(char(address)).append(char(quint8(0x7B + address))).append('\x16');
        QByteArray received;
        const bool answered = mbus::V3CommSendMsg(serial_, request, 0, 0, 0, true) == 0
            && mbus::V3CommReadMsg(serial_, '\x68', '\x16', 0.8, received, true, request).kind
                == mbus::ReadMsgResult::Frame;
        result.milliseconds = clock.elapsed();
        if (serial_.isLineLost()) {
            result.lineLostAt = address;
            break;
        }
        if (answered)
            ++result.read;
        else
            ++result.silent;
        if (progress && !progress(result)) {
            result.stopped = true;
            break;
        }
    }
    const bool lost = result.lineLostAt >= 0;
    QString line = QStringLiteral("Geschwindigkeitstest %1..%2: %3 gelesen, %4 Keine Antwort in %5 Sec")
                       .arg(from)
                       .arg(result.stopped || lost ? last : to)
                       .arg(result.read)
                       .arg(result.silent)
                       .arg(QString::number(result.milliseconds / 1000.0, 'f', 2).replace('.', ','));
    if (lost) {
        const QString text = QStringLiteral("Leitung verloren bei Adr. %1 (%2)").arg(last).arg(serial_.lineLostText());
        line += QStringLiteral(", FEHLER ") + text;
        if (message)
            *message = QStringLiteral("Comport ") + QString::number(chosenPort_) + QStringLiteral(": ") + text;
    }
    log_.add(line);
    return result;
}

int SerialConsole::ReceiveErrorOf(mbus::DecodeError error)
{
    switch (error) {
    case mbus::DecodeError::Empty:
    case mbus::DecodeError::FrameIncomplete: return 1;
    case mbus::DecodeError::FrameChecksum: return 4;
    case mbus::DecodeError::FrameStart: return 8;
    case mbus::DecodeError::FrameLength: return 16;
    case mbus::DecodeError::FrameStop: return 32;
    default: return 256;
    }
}

QString SerialConsole::ReceiveErrorText(int error)
{
    switch (error) {
    case 1: return QStringLiteral("TimeOut");
    case 2: return QStringLiteral("Falsche Parität");
    case 4: return QStringLiteral("Falsche Checksumme");
    case 8: return QStringLiteral("Falsches Startzeichen");
    case 16: return QStringLiteral("Falsche Länge");
    case 32: return QStringLiteral("Falsches Stoppzeichen");
    case 64: return QStringLiteral("Collision");
    case 128: return QStringLiteral("Frame Error");
    default: return QStringLiteral("Other UART Error");
    }
}

} // namespace kelvaro
