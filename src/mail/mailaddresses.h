#pragma once
#include <QString>
#include <QStringList>

namespace kelvaro {

// The addresses of an "An" or "Cc" field: split on ";" and ",", blanks
// around them and empty parts dropped; "Name <a@b>" gives "a@b".
QStringList SplitAddresses(const QString& field);

// An address that can go into a RCPT or a header as it is: one "@" with text
// on both sides, no blanks, control characters, angle brackets or quotes.
bool IsUsableAddress(const QString& address);

// The domain of an address, empty when it has none.
QString AddressDomain(const QString& address);

} // namespace kelvaro
