#include "data/schema.h"
#include "editorfixture.h"
#include "editors/indexexporteditor.h"
#include "foundation/ini.h"
#include "foundation/programlog.h"

#include <QDir>
#include <QSqlError>

using namespace kelvaro;
using test::Engine;
using test::InstallationDir;

namespace {

TEST(IndexGridKeys, MovesStayInsideTheGridAndWrapBetweenIndexAndText)
{
    const int rows = 3;
    auto move = [&](int row, int column, IndexMove m) { return MoveIndexCell({row, column}, m, rows); };
    const int index = IndexGrid::ColIndex;
    const int text = IndexGrid::ColText;
    EXPECT_EQ(move(1, text, IndexMove::Up), (IndexCell{0, text}));
    EXPECT_EQ(move(0, index, IndexMove::Up), (IndexCell{0, index})) << "not above row 1";
    EXPECT_EQ(move(1, index, IndexMove::Down), (IndexCell{2, index}));
    EXPECT_EQ(move(2, text, IndexMove::Down), (IndexCell{2, text})) << "not below the last row";

    EXPECT_EQ(move(1, text, IndexMove::Left), (IndexCell{1, index}));
    EXPECT_EQ(move(1, index, IndexMove::Left), (IndexCell{0, text})) << "wraps to the row above";
    EXPECT_EQ(move(0, index, IndexMove::Left), (IndexCell{0, index})) << "never into the hidden Lznr";
    EXPECT_EQ(move(1, index, IndexMove::Right), (IndexCell{1, text}));
    EXPECT_EQ(move(1, text, IndexMove::Right), (IndexCell{2, index})) << "wraps to the row below";
    EXPECT_EQ(move(2, text, IndexMove::Right), (IndexCell{2, text}));
}

TEST(IndexGridKeys, OnlyWholeNumbersAreIndexes)
{
    int value = 0;
    EXPECT_TRUE(IsIndexNumber(" 12 ", &value));
    EXPECT_EQ(value, 12);
    EXPECT_TRUE(IsIndexNumber("-3", &value));
    EXPECT_EQ(value, -3);
    EXPECT_TRUE(IsIndexNumber("+4"));
    for (const char* text : {"", " ", "abc", "12abc", "1.5", "1,5", "- 3", "0x10", "99999999999"})
        EXPECT_FALSE(IsIndexNumber(QString::fromUtf8(text))) << text;
}

TEST(IndexGridModel, OnlyIndexAndTextAreEditable)
{
    IndexGrid grid;
    ASSERT_EQ(grid.rowCount(), 1) << "Rows = 2: the caption and one empty row";
    EXPECT_EQ(grid.headers(), (QStringList{"", "Index", "Text"}));
    EXPECT_FALSE(grid.setData(grid.index(0, IndexGrid::ColLznr), "7"));
    EXPECT_FALSE(grid.flags(grid.index(0, IndexGrid::ColLznr)) & Qt::ItemIsEditable);
    EXPECT_TRUE(grid.setData(grid.index(0, IndexGrid::ColText), "Energie"));
    EXPECT_EQ(grid.cell(0, IndexGrid::ColText), "Energie");
}

class ExportSettings : public ::testing::Test {
protected:
    InstallationDir dir_;
};

TEST_F(ExportSettings, AnEmptyExportPathShowsDatenPathAndEditsAreWrittenAtOnce)
{
    DBPATH = QStringLiteral(".\\");
    IndexExportSettings settings;
    settings.load("200", ".\\Daten200\\");
    EXPECT_EQ(settings.exportPath(), ".\\Daten200\\");
    EXPECT_EQ(settings.vorWert(), "");
    EXPECT_EQ(ReadIniString("200", "MBusExportIndexDatei", kOvxIni), "") << "showing the default writes nothing";

    ASSERT_TRUE(settings.setExportPath("C:\\Export\\index.txt"));
    ASSERT_TRUE(settings.setVorWert("1"));
    EXPECT_EQ(ReadIniString("200", "MBusExportIndexDatei", kOvxIni), "C:\\Export\\index.txt");
    EXPECT_EQ(ReadIniString("200", "VorWert", kOvxIni), "1");
    EXPECT_EQ(ReadIniString("201", "VorWert", kOvxIni), "") << "only the client's own section";

    IndexExportSettings again;
    again.load("200", ".\\Daten200\\");
    EXPECT_EQ(again.exportPath(), "C:\\Export\\index.txt");
    EXPECT_EQ(again.vorWert(), "1");
}

TEST_F(ExportSettings, AFailingWriteIsLoggedOncePerStreakAndKeepsTheText)
{
    DBPATH = QStringLiteral(".\\");
    IndexExportSettings settings;
    settings.load("200", ".\\");
    auto logLines = [&] {
        return QString::fromLatin1(dir_.read(QFileInfo(ProgramLogFileName().replace('\\', '/')).fileName()))
            .count(QStringLiteral("Fehler beim Schreiben"));
    };
    // A directory where the file belongs: every write of it fails.
    ASSERT_TRUE(QDir(dir_.path()).mkdir("OVX.INI"));
    EXPECT_FALSE(settings.setExportPath("C"));
    EXPECT_FALSE(settings.setExportPath("C:"));
    EXPECT_FALSE(settings.setVorWert("2"));
    EXPECT_EQ(settings.exportPath(), "C:");
    EXPECT_EQ(settings.vorWert(), "2");
    EXPECT_EQ(logLines(), 1);
    EXPECT_TRUE(dir_.messages().isEmpty()) << "no box per keystroke";

    ASSERT_TRUE(QDir(dir_.path()).rmdir("OVX.INI"));
    EXPECT_TRUE(settings.setExportPath("C:\\"));
    EXPECT_EQ(ReadIniString("200", "MBusExportIndexDatei", kOvxIni), "C:\\");
    ASSERT_TRUE(QFile::remove(dir_.file("OVX.INI")));
    ASSERT_TRUE(QDir(dir_.path()).mkdir("OVX.INI"));
    EXPECT_FALSE(settings.setExportPath("C:\\x"));
    EXPECT_EQ(logLines(), 2) << "a new streak after a good write";
}

class IndexExport : public test::EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        environment_.client = Mandant;
        environment_.dbPath = DBPATH;
        environment_.datenPath = QStringLiteral(".\\Daten\\");
        environment_.database = settings_;
    }
    void addIndex(qint64 lznr, int index, const QString& text)
    {
        ASSERT_TRUE(db().exec("INSERT INTO MBusIndexListe (lznr, MBIndex, text) VALUES (?, ?, ?)", {lznr, index, text}))
            << LastErrorText().toStdString();
    }
    // The meter's stored rows as "index=text", by index.
    QStringList stored(qint64 lznr)
    {
        QSqlQuery q;
        EXPECT_TRUE(db().query(q, "SELECT MBIndex, text FROM MBusIndexListe WHERE lznr = ? ORDER BY MBIndex", {lznr}));
        QStringList out;
        while (q.next())
            out << q.value(0).toString() + '=' + q.value(1).toString();
        return out;
    }
    static void setRows(IndexGrid& grid, const QList<QStringList>& rows)
    {
        grid.clearRows();
        for (const QStringList& row : rows)
            grid.appendRow(row);
    }
    QStringList gridRows(const IndexGrid& grid)
    {
        QStringList out;
        for (int row = 0; row < grid.rowCount(); ++row)
            out << grid.rowCells(row).join('|');
        return out;
    }
    EditorDatabaseSettings unreachable() const
    {
        EditorDatabaseSettings gone = settings_;
        gone.dataSource = gone.isFile() ? QStringLiteral(".\\nirgends\\basis.mdb") : QStringLiteral("127.0.0.1:1");
        return gone;
    }

    EditorEnvironment environment_;
};

TEST_P(IndexExport, OpeningAMeterShowsItsFieldsAndRowsByIndexAndAMeterWithoutRowsOneEmptyRow)
{
    const qint64 meter = addMeter("4711", 5, 1);
    const qint64 bare = addMeter("4712", 6, 1);
    addIndex(meter, 3, "Volumen");
    addIndex(meter, 1, "Energie");
    addIndex(bare + 1, 1, "fremd");
    IndexExportEditor editor;
    editor.load(environment_);
    ASSERT_EQ(editor.list.rowCount(), 2);
    EXPECT_FALSE(editor.frameVisible());

    ASSERT_TRUE(editor.openMeter(editor.list.rowOf(meter)));
    EXPECT_TRUE(editor.frameVisible());
    EXPECT_EQ(editor.openLznr(), meter);
    EXPECT_EQ(editor.Text1, (std::array<QString, 3>{"4711", "Name 4711", "5"}));
    const QString key = QString::number(meter);
    EXPECT_EQ(gridRows(editor.indexGrid), (QStringList{key + "|1|Energie", key + "|3|Volumen"}));

    // The previous meter's rows must not stay behind (they would be saved for this one).
    ASSERT_TRUE(editor.openMeter(editor.list.rowOf(bare)));
    EXPECT_EQ(editor.Text1[0], "4712");
    EXPECT_EQ(gridRows(editor.indexGrid), (QStringList{"||"}));

    EXPECT_FALSE(editor.openMeter(5)) << "no list row";
    EXPECT_EQ(editor.openLznr(), bare);
    EXPECT_TRUE(dir_.messages().isEmpty()) << dir_.messages().join('\n').toStdString();
}

TEST_P(IndexExport, SavingReplacesTheMetersRowsDropsRowsWithoutANumberAndGivesTheSameTableTwice)
{
    const qint64 meter = addMeter("4711", 5, 1);
    const qint64 other = addMeter("4712", 6, 1);
    addIndex(meter, 9, "alt");
    addIndex(other, 2, "bleibt");
    IndexExportEditor editor;
    editor.load(environment_);
    ASSERT_TRUE(editor.openMeter(editor.list.rowOf(meter)));

    const QString hostile = QStringLiteral("x'); DROP TABLE MBusIndexListe; --");
    setRows(editor.indexGrid, {{"", "2", "Wärme"}, {"", "", "ohne Index"}, {"", "abc", "Text"}, {"", " -1 ", hostile},
                               {"", "1.5", "halb"}, {"", "7"}});
    ASSERT_TRUE(editor.cmdSpeichern()) << dir_.messages().join('\n').toStdString();
    EXPECT_FALSE(editor.frameVisible());
    const QStringList expected{"-1=" + hostile, "2=Wärme", "7="};
    EXPECT_EQ(stored(meter), expected);
    EXPECT_EQ(stored(other), (QStringList{"2=bleibt"}));

    ASSERT_TRUE(editor.openMeter(editor.list.rowOf(meter)));
    ASSERT_TRUE(editor.cmdSpeichern());
    EXPECT_EQ(stored(meter), expected) << "delete, then insert: nothing doubled";

    ASSERT_TRUE(editor.openMeter(editor.list.rowOf(meter)));
    setRows(editor.indexGrid, {{"", "", "a"}, {"", " ", "b"}});
    ASSERT_TRUE(editor.cmdSpeichern());
    EXPECT_EQ(count("MBusIndexListe", meter), 0) << "only empty indexes: no rows left";
    EXPECT_EQ(stored(other), (QStringList{"2=bleibt"}));
}

TEST_P(IndexExport, ARefusedSaveKeepsTheOldRowsTheGridAndTheFrame)
{
    const qint64 meter = addMeter("4711", 5, 1);
    addIndex(meter, 1, "Energie");
    addIndex(meter, 2, "Volumen");
    // The database refuses the second insert, after the delete has run.
    QSqlQuery q(db().database());
    if (GetParam() == Engine::SQLite) {
        ASSERT_TRUE(q.exec("CREATE TRIGGER refuse BEFORE INSERT ON MBusIndexListe WHEN NEW.text = 'kaputt' "
                           "BEGIN SELECT RAISE(ABORT, 'refused'); END"))
            << q.lastError().text().toStdString();
    } else {
        ASSERT_TRUE(q.exec("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN IF NEW.text = 'kaputt' THEN "
                           "RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql"))
            << q.lastError().text().toStdString();
        ASSERT_TRUE(q.exec("CREATE TRIGGER refuse BEFORE INSERT ON MBusIndexListe FOR EACH ROW EXECUTE FUNCTION refuse()"))
            << q.lastError().text().toStdString();
    }
    IndexExportEditor editor;
    editor.load(environment_);
    ASSERT_TRUE(editor.openMeter(0));
    setRows(editor.indexGrid, {{"", "4", "neu"}, {"", "5", "kaputt"}});
    EXPECT_FALSE(editor.cmdSpeichern());
    EXPECT_EQ(stored(meter), (QStringList{"1=Energie", "2=Volumen"}));
    EXPECT_TRUE(editor.frameVisible());
    EXPECT_EQ(gridRows(editor.indexGrid), (QStringList{"|4|neu", "|5|kaputt"}));
    ASSERT_EQ(dir_.messages().size(), 1);
    EXPECT_TRUE(dir_.messages()[0].startsWith("Fehler in der Datenbank " + settings_.displayName()));
    EXPECT_TRUE(dir_.messages()[0].contains("refused")) << dir_.messages()[0].toStdString();

    // Nor does an unreachable database lose the grid or open another meter.
    editor.load([&] {
        EditorEnvironment gone = environment_;
        gone.database = unreachable();
        return gone;
    }());
    EXPECT_EQ(editor.list.rowCount(), 1) << "the list stays as it was";
    setRows(editor.indexGrid, {{"", "4", "neu"}});
    EXPECT_FALSE(editor.IndexSpeichern(meter, editor.indexGrid));
    EXPECT_FALSE(editor.openMeter(0));
    EXPECT_EQ(gridRows(editor.indexGrid), (QStringList{"|4|neu"}));
    EXPECT_EQ(editor.Text1[0], "4711");
    EXPECT_EQ(stored(meter), (QStringList{"1=Energie", "2=Volumen"}));
}

TEST_P(IndexExport, TheLoadGivesAnOlderTableMBIndexFilledFromIndex)
{
    const qint64 meter = addMeter("4711", 5, 1);
    QSqlQuery q(db().database());
    ASSERT_TRUE(q.exec("DROP TABLE MBusIndexListe"));
    ASSERT_TRUE(q.exec("CREATE TABLE MBusIndexListe (lznr INTEGER NOT NULL, \"index\" INTEGER, text VARCHAR(255))"));
    ASSERT_TRUE(q.prepare("INSERT INTO MBusIndexListe (lznr, \"index\", text) VALUES (?, ?, ?)"));
    for (const auto& [index, text] : QList<std::pair<int, QString>>{{2, "Volumen"}, {1, "Energie"}}) {
        q.addBindValue(meter);
        q.addBindValue(index);
        q.addBindValue(text);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }

    IndexExportEditor editor;
    editor.load(environment_);
    EXPECT_TRUE(dir_.messages().isEmpty()) << dir_.messages().join('\n').toStdString();
    db().close();
    ASSERT_TRUE(db_->openInto(db()));
    EXPECT_TRUE(db().columnExists("MBusIndexListe", "MBIndex"));
    EXPECT_EQ(stored(meter), (QStringList{"1=Energie", "2=Volumen"}));
    ASSERT_TRUE(editor.openMeter(0));
    EXPECT_EQ(editor.indexGrid.cell(1, IndexGrid::ColText), "Volumen");

    // A second start finds the column and changes nothing.
    ASSERT_TRUE(db().exec("UPDATE MBusIndexListe SET MBIndex = 5 WHERE text = ?", {"Volumen"}));
    EXPECT_TRUE(EnsureExportIndexListColumn(db()));
    EXPECT_EQ(stored(meter), (QStringList{"1=Energie", "5=Volumen"}));
    EXPECT_TRUE(db().columnExists("MB_IndexListe", "Reihenfolge"));
}

TEST_P(IndexExport, TheClipboardTakesTheWholeListWithItsCaptions)
{
    const qint64 meter = addMeter("4711", 5, 1);
    addMeter("4712", 6, 2);
    IndexExportEditor editor;
    editor.load(environment_);
    const QStringList lines = editor.clipboardText().split("\r\n");
    ASSERT_EQ(lines.size(), 4) << "captions, two meters, the end of the last line";
    EXPECT_EQ(lines[0], "ZQUELLE\tLZNR\tMBus Adresse\tCom Port\tBaudrate\tZählername\tIndex\tMBZStand\tZählernummer");
    EXPECT_EQ(lines[1].split('\t').value(MeterListGrid::ColLznr), QString::number(meter));
    EXPECT_EQ(lines[2].split('\t').value(MeterListGrid::ColNummer), "4712");
    EXPECT_EQ(lines[3], "");
}

INSTANTIATE_TEST_SUITE_P(Engines, IndexExport, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         test::EngineName);

} // namespace
