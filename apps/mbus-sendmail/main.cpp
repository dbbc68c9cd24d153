// mbus-sendmail: sends a file by mail with the settings of .\SendMail.INI
// ("mbus-sendmail AUTOSEND -F<file>": at once, without a window).
#include "mail/mailcommandline.h"
#include "mail/maildispatch.h"
#include "mail/mailsettings.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::puts("usage: mbus-sendmail AUTOSEND -F<file>\n\n"
                      "Sends <file> as attachment with the settings of SendMail.INI (section SendMail)\n"
                      "in the working directory and ends: exit code 0 when the mail was sent, 1 when\n"
                      "the send failed, 2 when no file was named.");
            return 0;
        }
    QCoreApplication app(argc, argv);
    const QString commandLine = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    if (!kelvaro::IsAutoSend(commandLine)) {
        std::fprintf(stderr, "mbus-sendmail: only the unattended mode (AUTOSEND -F<file>) is available\n");
        return 2;
    }
    return kelvaro::RunAutoSend(commandLine, kelvaro::MailSettingsFile());
}
