#include "master/metertablemodel.h"
#include "stationfixture.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace kelvaro;
using namespace kelvaro::test;
using master::MeterTableModel;

namespace {

// QAbstractItemModelTester over a model; its complaints are collected.
class ModelCheck {
public:
    explicit ModelCheck(QAbstractItemModel& model)
    {
        complaints().clear();
        previous_ = qInstallMessageHandler(&ModelCheck::collect);
        tester_ = std::make_unique<QAbstractItemModelTester>(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    }
    ~ModelCheck()
    {
        tester_.reset();
        qInstallMessageHandler(previous_);
    }
    static QStringList& complaints()
    {
        static QStringList list;
        return list;
    }

private:
    static void collect(QtMsgType, const QMessageLogContext& context, const QString& text)
    {
        if (QLatin1String(context.category) == QLatin1String("qt.modeltest"))
            complaints() << text;
    }
    QtMessageHandler previous_ = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester_;
};

QStringList rowTexts(const QAbstractItemModel& model, int row)
{
    QStringList texts;
    for (int c = 0; c < model.columnCount(); ++c)
        texts << model.index(row, c).data().toString();
    return texts;
}

master::MeterRecord meter(int address, int baud, const QString& id, const QString& group)
{
    master::MeterRecord m;
    m.PrimAdr = static_cast<quint8>(address);
    m.MBBaud = baud;
    m.MB_ID = id;
    m.tariffGroupName = group;
    return m;
}

} // namespace

TEST(MeterTable, TheGridShowsTheRecords)
{
    MeterTableModel model;
    ModelCheck check(model);
    QStringList headers;
    for (int c = 0; c < model.columnCount(); ++c)
        headers << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(headers, (QStringList{"PrimAdr", "Baud", "Gelesen", "LeseFehler", "LastRead", "Z-Nummer", "Energie"}));

    master::MeterRecord noAddress = meter(0, 300, "87654321", "");
    noAddress.hasPrimAdr = false;
    model.setMeters({meter(5, 2400, "12345605", "Wasser"), noAddress});
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(rowTexts(model, 0), (QStringList{"5", "2400", "", "", "", "12345605", "Wasser"}))
        << "the counts stay empty until the meter is tried";
    EXPECT_EQ(rowTexts(model, 1), (QStringList{"", "300", "", "", "", "87654321", ""})) << "a Null address shows empty";

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.countReading(1, true);
    model.countReading(2, false);
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed[1][0].toModelIndex().row(), 1);
    EXPECT_EQ(rowTexts(model, 0).mid(2, 3), (QStringList{"1", "0", "Ok"}));
    EXPECT_EQ(rowTexts(model, 1).mid(2, 3), (QStringList{"0", "1", "Fehler"}));
    EXPECT_EQ(model.meter(2).ErrorCount, 1);

    model.clearLastRead();
    EXPECT_EQ(rowTexts(model, 0).mid(2, 3), (QStringList{"1", "0", ""})) << "a new cycle keeps the counts";
    EXPECT_EQ(model.meter(1).lastRead, master::LastRead::NotTried);

    model.setMeters({});
    EXPECT_EQ(model.rowCount(), 0);
    model.clearLastRead();
    EXPECT_TRUE(ModelCheck::complaints().isEmpty()) << ModelCheck::complaints().join('\n').toStdString();
}

// The model under the tester while the station loads, reads, reloads the
// list in every cycle and takes the test meters.
TEST(MeterTable, StaysAValidModelThroughCyclesAndReloads)
{
    StationFixture f(TenMeters());
    ASSERT_TRUE(f.ready);
    ModelCheck check(f.station.meters);
    f.station.load("Auto -M1320 -C1 -T0 testzaehler");
    f.station.timerTick();
    f.station.cmdStart();
    f.station.timerTick();
    ASSERT_EQ(f.station.label1, "Fertig");
    for (int r = 0; r < f.station.meters.rowCount(); ++r) {
        const QStringList texts = rowTexts(f.station.meters, r);
        if (texts[0] == "8")
            EXPECT_EQ(texts.mid(2, 3), (QStringList{"0", "2", "Fehler"}));
        else
            EXPECT_EQ(texts.mid(2, 3), (QStringList{"1", "0", "Ok"})) << "the list was reloaded for the cycle";
    }
    f.station.TestZaehlerLaden();
    ASSERT_EQ(f.station.meters.rowCount(), 100);
    EXPECT_EQ(rowTexts(f.station.meters, 99), (QStringList{"10", "9600", "", "", "", "", ""}));
    EXPECT_TRUE(ModelCheck::complaints().isEmpty()) << ModelCheck::complaints().join('\n').toStdString();
}
