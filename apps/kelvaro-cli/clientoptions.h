#pragma once
#include <QDate>
#include <QStringList>

// The client option of the commands that work on a client's installation.

// The first argument that is not "-M<client>", or empty.
QString FirstNonClientOption(const QStringList& args);

// The failure text when neither -M<client> nor OVX.INI names a client.
inline const QString kNoClientText =
    QStringLiteral("kein Mandant: -M<Mandant> angeben oder [OVX] OVXMandant in OVX.INI eintragen");

// A day typed as dd.mm.yyyy (or d.m.yyyy); false with `error` for anything else.
bool ReadDayOption(const QString& value, QDate& day, QString& error);
