#include "simconfig.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace kelvaro::sim {
namespace {

QByteArray hexBytes(const QString& text)
{
    QString compact = text;
    compact.remove(QRegularExpression(QStringLiteral("[\\s;,]")));
    return QByteArray::fromHex(compact.toLatin1());
}

QByteArray joinedHex(const QJsonValue& value)
{
    if (value.isString())
        return hexBytes(value.toString());
    QByteArray out;
    for (const QJsonValue& item : value.toArray())
        out += hexBytes(item.toString());
    return out;
}

bool readMeter(const QJsonObject& o, const QString& baseDir, SimMeter& m, QString* error)
{
    m.primary = o.value("primary").toInt(0);
    m.id = o.value("id").toString(QStringLiteral("00000000"));
    m.manufacturer = o.value("manufacturer").toString(QStringLiteral("KEL"));
    m.version = o.value("version").toInt(1);
    m.medium = o.value("medium").toInt(7);
    for (const QJsonValue& b : o.value("baud").toArray())
        m.bauds << b.toInt();
    if (o.value("baud").isDouble())
        m.bauds << o.value("baud").toInt();
    m.answerDelayMs = o.value("delay").toInt(5);
    m.silent = o.value("silent").toBool();
    m.wrongChecksum = o.value("wrongChecksum").toBool();
    m.garbageBefore = o.value("garbageBefore").toBool();
    m.secondTryOnly = o.value("secondTryOnly").toBool();
    m.lateMs = o.value("late").toInt(0);
    m.unansweredRequests = o.value("unansweredRequests").toInt(0);

    if (o.contains("records"))
        m.records << joinedHex(o.value("records"));
    for (const QJsonValue& t : o.value("telegrams").toArray())
        m.records << joinedHex(t);
    if (o.contains("frame"))
        m.frames << hexBytes(o.value("frame").toString());
    for (const QJsonValue& f : o.value("frames").toArray())
        m.frames << hexBytes(f.toString());
    if (o.contains("frameFile")) {
        QFile file(QDir(baseDir).filePath(o.value("frameFile").toString()));
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("frameFile not readable: ") + file.fileName();
            return false;
        }
        m.frames << hexBytes(QString::fromLatin1(file.readAll()));
    }
    for (const QByteArray& f : m.frames)
        if (f.size() < 9 || f[0] != 0x68 || f.endsWith('\x16') == false) {
            *error = QStringLiteral("meter %1: a frame is not a long frame").arg(m.id);
            return false;
        }
    if (m.records.isEmpty() && m.frames.isEmpty())
        m.records << QByteArray();
    if (m.id.size() > 8 || !QRegularExpression(QStringLiteral("^[0-9]*$")).match(m.id).hasMatch()) {
        *error = QStringLiteral("meter id must be up to eight digits: ") + m.id;
        return false;
    }
    return true;
}

} // namespace

bool LoadBusJson(const QByteArray& json, const QString& baseDir, SimBus& bus, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject()) {
        *error = QStringLiteral("bus file is not a JSON object: ") + parseError.errorString();
        return false;
    }
    const QJsonObject root = doc.object();
    bus.echo = root.value("echo").toBool();
    bus.meters.clear();
    for (const QJsonValue& v : root.value("meters").toArray()) {
        SimMeter m;
        if (!readMeter(v.toObject(), baseDir, m, error))
            return false;
        bus.meters << m;
    }
    return true;
}

bool LoadBusFile(const QString& path, SimBus& bus, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read bus file ") + path;
        return false;
    }
    return LoadBusJson(file.readAll(), QFileInfo(path).absolutePath(), bus, error);
}

} // namespace kelvaro::sim
