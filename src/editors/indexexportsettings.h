#pragma once
#include <QString>

namespace kelvaro {

// The two export settings of the index list editor, in the client's section
// of ".\OVX.INI": `Text3` "Export-Pfad :" (key MBusExportIndexDatei) and
// `Text4` "Vor Wert :" (key VorWert). Each edit is written at once.
class IndexExportSettings {
public:
    static const QString kExportPathKey; // "MBusExportIndexDatei"
    static const QString kVorWertKey;    // "VorWert"

    // An empty export path shows `datenPath`; nothing is written at load.
    void load(const QString& client, const QString& datenPath);

    const QString& exportPath() const { return exportPath_; }
    const QString& vorWert() const { return vorWert_; }

    // The box keeps what was typed even when the file refuses it: the first
    // failure after a good write goes to the program log, the ones following
    // it (one per keystroke) do not. False when the key was not written.
    bool setExportPath(const QString& text);
    bool setVorWert(const QString& text);
    bool writeFailing() const { return failing_; }

private:
    bool write(const QString& key, const QString& text);

    QString client_;
    QString exportPath_;
    QString vorWert_;
    bool failing_ = false;
};

} // namespace kelvaro
