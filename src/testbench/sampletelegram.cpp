#include "testbench/sampletelegram.h"

#include <QStringList>

namespace kelvaro::testbench {

QString SampleTelegramText()
{
    // 68 L L 68, C 08, A 1, CI 72; header: ID 12345678, KEL, version 1,
    // medium 4 (heat), access 2A, status 0, signature 0; records:
    //   04 06 12345 kWh          04 13 123,456 m3       03 2B 1234 W
    //   02 3B 0,5 m3/h           02 5A 69,3 °C flow     02 5E 45,7 °C return
    //   04 6D 17.05.2024 14:30   0C 78 fabrication number 12345678
    return QStringLiteral("68;38;38;68;8;1;72;78;56;34;12;AC;2C;1;4;2A;0;0;0;"
                          "4;6;39;30;0;0;4;13;40;E2;1;0;3;2B;D2;4;0;2;3B;F4;1;"
                          "2;5A;B5;2;2;5E;C9;1;4;6D;1E;E;11;35;C;78;78;56;34;12;31;16;");
}

QString PadHexList(const QString& hexList)
{
    QStringList fields = hexList.split(QLatin1Char(';'));
    for (QString& field : fields) {
        field = field.trimmed();
        if (field.size() == 1)
            field.prepend(QLatin1Char('0'));
    }
    return fields.join(QLatin1Char(';'));
}

} // namespace kelvaro::testbench
