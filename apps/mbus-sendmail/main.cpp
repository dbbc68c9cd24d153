// mbus-sendmail: the mail dispatch with the settings of .\SendMail.INI; with
// "AUTOSEND -F<file>" it sends at once, without a window, and ends.
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"
#include "mail/mailcommandline.h"
#include "mail/maildispatch.h"
#include "mail/mailsettings.h"
#include "mail/ui/frmmsconssendmail.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStringList>

namespace {

const char* const kHelp =
    "Usage: mbus-sendmail [AUTOSEND -F<file>]\n"
    "\n"
    "The mail dispatch: sends mails with file attachments through the SMTP server\n"
    "of SendMail.INI (section SendMail) in the working directory. A login is sent\n"
    "only over TLS (STARTTLS, or SMTPS on port 465) unless AnmeldungOhneTLS=1 allows\n"
    "it in clear (a relay on the same machine). \"An\" and \"Cc\" take several\n"
    "addresses separated by \";\" or \",\"; every refused recipient is reported and\n"
    "the send then counts as failed.\n"
    "\n"
    "  AUTOSEND      (any case) send <file> at once without a window and end:\n"
    "                exit code 0 sent, 1 failed, 2 no file named\n"
    "  -F<file>      the file to attach\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit";

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString commandLine = args.join(QLatin1Char(' '));
    if (kelvaro::IsAutoSend(commandLine) && !args.contains(QStringLiteral("--help")) && !args.contains(QStringLiteral("-h"))) {
        QCoreApplication app(argc, argv);
        return kelvaro::RunAutoSend(commandLine, kelvaro::MailSettingsFile());
    }
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("mbus-sendmail"), kHelp))
        return *answered;
    QApplication app(argc, argv);
    kelvaro::MailDispatch dispatch(kelvaro::MailSettingsFile(), false);
    kelvaro::FrmMSConsSendMail window(dispatch);
    kelvaro::InstallMainWindow(app, &window);
    window.show();
    return kelvaro::ExecUntilTerminated(app);
}
