#pragma once
#include <QStringList>

// The client option of the commands that work on a client's installation.

// The first argument that is not "-M<client>", or empty.
QString FirstNonClientOption(const QStringList& args);

// The failure text when neither -M<client> nor OVX.INI names a client.
inline const QString kNoClientText =
    QStringLiteral("kein Mandant: -M<Mandant> angeben oder [OVX] OVXMandant in OVX.INI eintragen");
