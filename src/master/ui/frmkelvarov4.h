#pragma once
#include <QMainWindow>
#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace kelvaro::master {

class GridColumnFitter;
class MasterStation;

// The master window: a view over MasterStation. It shows the station's grids
// and labels and forwards every click and edit to the station.
class FrmKelvaroV4 : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmKelvaroV4(MasterStation& station, QWidget* parent = nullptr);

    // Widgets by their names, for the tests and the headless driver.
    QTableView* MSFlexGrid1 = nullptr;
    QTableView* MSFlexGrid2 = nullptr;
    QTableView* MSFlexGrid3 = nullptr;
    QTableView* MSFlexGrid4 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QWidget* Frame6 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* cmdStart = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdWeiter = nullptr;
    QPushButton* TestZaehlerLaden = nullptr;
    QPushButton* cmd_V2_MBLesenSecundaer = nullptr;
    QPushButton* cmdSpeichernIndexliste = nullptr;
    QPushButton* cmdTestService = nullptr;
    QPushButton* cmdEinstellungenZurueck = nullptr;
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QComboBox* Combo3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text3 = nullptr;
    std::array<QLineEdit*, 4> Text4{};
    std::array<QCheckBox*, 4> Check1{};
    QAction* mnuEnde = nullptr;
    QAction* mnuEinstellung = nullptr;
    QAction* mnuLog = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildSettingsPanel(QWidget* parent);
    void refresh();
    int currentMeterRow() const;

    MasterStation& station_;
    // The meter grid and the log grid change a row at a time: their columns
    // are fitted to the changed cells only.
    GridColumnFitter* meterColumns_ = nullptr;
    GridColumnFitter* logColumns_ = nullptr;
    bool refreshing_ = false;
    bool closeConfirmed_ = false;
};

} // namespace kelvaro::master
