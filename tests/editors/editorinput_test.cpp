// What an operator types into the editors reaches the database as typed, or
// not at all: numbers are read strictly, texts fit their columns, and a
// refused save leaves both tables as they were.
#include "data/schema.h"
#include "editorfixture.h"
#include "editors/indexexporteditor.h"
#include "editors/metereditor.h"
#include "editors/typedinput.h"
#include "foundation/textutil.h"

#include <QRegularExpression>
#include <QSqlQuery>

using namespace kelvaro;

namespace {

class EditorInput : public test::EditorTest {
protected:
    void SetUp() override
    {
        test::EditorTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        meter_ = addMeter("4711", 5, 1);
        for (int index = 1; index <= 2; ++index)
            ASSERT_TRUE(db().exec("INSERT INTO MB_IndexListe (Lznr, MBIndex, Art, Einheit, Faktor, MBTyp, Anzeigen, "
                                  "Speichern) VALUES (?, ?, 'Energie', 'kWh', 1, 0, ?, ?)",
                                  {meter_, index, true, true}))
                << LastErrorText().toStdString();
        editor_ = std::make_unique<MeterEditor>(settings_, Mandant);
        ASSERT_TRUE(editor_->ListeLaden());
        ASSERT_TRUE(editor_->cmdAendern(editor_->list.rowOf(meter_)));
    }
    void type(int row, int column, const QString& text)
    {
        editor_->indexGrid.setData(editor_->indexGrid.index(row, column), text, Qt::EditRole);
    }
    // The stored meter and its index list, as one text to compare before and after.
    QString snapshot()
    {
        QStringList out;
        QSqlQuery q;
        EXPECT_TRUE(db().query(q, "SELECT ZNr, ZName, MBAdr, MBComP, MBBaud, MBIndex, MB_SelectSec, MBZStand "
                                  "FROM zaehler WHERE LZNR = ?",
                               {meter_}));
        while (q.next())
            for (int k = 0; k < 8; ++k)
                out << q.value(k).toString();
        EXPECT_TRUE(db().query(q, "SELECT MBIndex, Art, Einheit, Faktor, MBTyp, Anzeigen, Speichern FROM MB_IndexListe "
                                  "WHERE Lznr = ? ORDER BY MBIndex",
                               {meter_}));
        while (q.next())
            for (int k = 0; k < 7; ++k)
                out << q.value(k).toString();
        return out.join('|');
    }
    double storedFactor(int index)
    {
        return db().scalar("SELECT Faktor FROM MB_IndexListe WHERE Lznr = ? AND MBIndex = ?", {meter_, index})
            .toDouble();
    }

    qint64 meter_ = 0;
    std::unique_ptr<MeterEditor> editor_;
};

TEST_P(EditorInput, ANumberFieldWithLettersIsRefusedByNameAndNothingIsStored)
{
    struct Case {
        const char* field; // the name the message must carry
        std::function<void(MeterEditor&)> enter;
    };
    const QList<Case> cases{
        {"MBus Adresse", [](MeterEditor& e) { e.fields.MBAdr = "abc"; }},
        {"Baudrate", [](MeterEditor& e) { e.fields.MBBaud = "24OO"; }},
        {"Com Port", [](MeterEditor& e) { e.fields.MBComP = "1.5"; }},
        {"Index", [](MeterEditor& e) { e.fields.MBIndex = "3x"; }},
        {"MBus Adresse", [](MeterEditor& e) { e.fields.MBAdr = "300"; }},
        {"Faktor", [this](MeterEditor&) { type(1, MeterIndexGrid::ColFaktor, "1F"); }},
        {"Faktor", [this](MeterEditor&) { type(0, MeterIndexGrid::ColFaktor, "0.5.1,2"); }},
        {"Z-Typ", [this](MeterEditor&) { type(1, MeterIndexGrid::ColTyp, "1a"); }},
        {"Speichern", [this](MeterEditor&) { type(0, MeterIndexGrid::ColSpeichern, "ja"); }},
    };
    const QString before = snapshot();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        ASSERT_TRUE(editor_->cmdAendern(editor_->list.rowOf(meter_)));
        // Changes in both tables that a partial save would store.
        editor_->fields.ZName = "geändert";
        type(0, MeterIndexGrid::ColArt, "geändert");
        c.enter(*editor_);
        const qsizetype messages = dir_.messages().size();
        EXPECT_FALSE(editor_->cmdSpeichern());
        EXPECT_TRUE(editor_->editing()) << "the form stays open with what was typed";
        ASSERT_EQ(dir_.messages().size(), messages + 1);
        EXPECT_TRUE(dir_.messages().last().contains(QString::fromUtf8(c.field))) << dir_.messages().last().toStdString();
        EXPECT_FALSE(dir_.messages().last().startsWith("Fehler in der Datenbank"));
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_P(EditorInput, AFactorReadsPointAndCommaAsDecimalsUnlessThePointGroupsThousands)
{
    const QList<std::pair<QString, double>> cases{
        {"0.5", 0.5}, {"0,5", 0.5}, {"1.000,25", 1000.25}, {"1.000", 1.0}, {"-2,5", -2.5},
        {" 12 ", 12}, {"1.000.000", 1e6}, {"1e-3", 0.001}, {"0,0000001", 1e-7},
    };
    for (const auto& [typed, value] : cases) {
        SCOPED_TRACE(typed.toStdString());
        ASSERT_TRUE(editor_->cmdAendern(editor_->list.rowOf(meter_)));
        type(0, MeterIndexGrid::ColFaktor, typed);
        ASSERT_TRUE(editor_->cmdSpeichern()) << dir_.messages().join('\n').toStdString();
        EXPECT_DOUBLE_EQ(storedFactor(1), value);
        // What the grid shows after the save is what the table holds.
        ASSERT_TRUE(editor_->cmdAendern(editor_->list.rowOf(meter_)));
        double shown = 0;
        ASSERT_TRUE(IsNumericGerman(editor_->indexGrid.cell(0, MeterIndexGrid::ColFaktor), &shown))
            << editor_->indexGrid.cell(0, MeterIndexGrid::ColFaktor).toStdString();
        EXPECT_DOUBLE_EQ(shown, storedFactor(1));
    }
    EXPECT_TRUE(dir_.messages().isEmpty()) << dir_.messages().join('\n').toStdString();
}

TEST_P(EditorInput, TextsLongerThanTheirColumnAreRefusedBeforeTheDatabaseSeesThem)
{
    const QString before = snapshot();
    const QList<std::pair<const char*, std::function<void()>>> tooLong{
        {"Art", [this] { type(0, MeterIndexGrid::ColArt, QString(41, QChar(u'ä'))); }},
        {"Einheit", [this] { type(1, MeterIndexGrid::ColEinheit, QString(16, 'm')); }},
        {"Zählername", [this] { editor_->fields.ZName = QString(256, 'n'); }},
        {"Zählernummer", [this] { editor_->fields.ZNr = QString(256, '1'); }},
        {"Select", [this] { editor_->fields.MB_SelectSec = QString(256, 'F'); }},
    };
    for (const auto& [field, enter] : tooLong) {
        SCOPED_TRACE(field);
        ASSERT_TRUE(editor_->cmdAendern(editor_->list.rowOf(meter_)));
        enter();
        EXPECT_FALSE(editor_->cmdSpeichern());
        ASSERT_FALSE(dir_.messages().isEmpty());
        EXPECT_TRUE(dir_.messages().last().contains(QString::fromUtf8(field))) << dir_.messages().last().toStdString();
        EXPECT_FALSE(dir_.messages().last().startsWith("Fehler in der Datenbank"));
        EXPECT_EQ(snapshot(), before);
    }

    // Exactly as long as the column is stored whole.
    ASSERT_TRUE(editor_->cmdAendern(editor_->list.rowOf(meter_)));
    const QString art(40, QChar(u'ä'));
    type(0, MeterIndexGrid::ColArt, art);
    type(0, MeterIndexGrid::ColEinheit, QString(15, 'm'));
    ASSERT_TRUE(editor_->cmdSpeichern()) << dir_.messages().last().toStdString();
    EXPECT_EQ(db().scalar("SELECT Art FROM MB_IndexListe WHERE Lznr = ? AND MBIndex = 1", {meter_}).toString(), art);
}

TEST_P(EditorInput, CopyingFromAMeterWithoutIndexListChangesNothingAndSaysSo)
{
    editor_->cmdAbbrechen();
    ASSERT_TRUE(editor_->cmdNeu());
    ASSERT_EQ(editor_->indexGrid.rowCount(), 0);
    EXPECT_FALSE(editor_->copyIndexList(QString::number(meter_)));
    EXPECT_EQ(count("MB_IndexListe", meter_), 2);
    ASSERT_EQ(dir_.messages().size(), 1);
    EXPECT_TRUE(dir_.messages()[0].contains("keine Indexliste")) << dir_.messages()[0].toStdString();

    // A list with a bad cell is not copied either.
    const qint64 target = addMeter("4712", 6, 1);
    ASSERT_TRUE(db().exec("INSERT INTO MB_IndexListe (Lznr, MBIndex, Art) VALUES (?, 9, 'alt')", {target}));
    editor_->cmdAbbrechen();
    ASSERT_TRUE(editor_->cmdAendern(editor_->list.rowOf(meter_)));
    type(0, MeterIndexGrid::ColFaktor, "x");
    EXPECT_FALSE(editor_->copyIndexList(QString::number(target)));
    EXPECT_EQ(db().scalar("SELECT Art FROM MB_IndexListe WHERE Lznr = ?", {target}).toString(), "alt");
    EXPECT_TRUE(dir_.messages().last().contains("Faktor"));
    type(0, MeterIndexGrid::ColFaktor, "0.25");
    ASSERT_TRUE(editor_->copyIndexList(QString::number(target)));
    EXPECT_DOUBLE_EQ(
        db().scalar("SELECT Faktor FROM MB_IndexListe WHERE Lznr = ? AND MBIndex = 1", {target}).toDouble(), 0.25);
}

TEST_P(EditorInput, TheExportListRefusesALongTextAndNeverTakesTheDigitsOfAnIndex)
{
    ASSERT_TRUE(db().exec("INSERT INTO MBusIndexListe (lznr, MBIndex, text) VALUES (?, 1, 'Energie')", {meter_}));
    EditorEnvironment environment;
    environment.client = Mandant;
    environment.dbPath = DBPATH;
    environment.datenPath = DBPATH;
    environment.database = settings_;
    IndexExportEditor editor;
    editor.load(environment);
    ASSERT_TRUE(editor.openMeter(editor.list.rowOf(meter_)));
    editor.indexGrid.appendRow({"", "2", QString(256, 't')});
    EXPECT_FALSE(editor.cmdSpeichern());
    ASSERT_FALSE(dir_.messages().isEmpty());
    EXPECT_TRUE(dir_.messages().last().contains("Text")) << dir_.messages().last().toStdString();
    EXPECT_FALSE(dir_.messages().last().startsWith("Fehler in der Datenbank"));
    EXPECT_TRUE(editor.frameVisible());
    EXPECT_EQ(count("MBusIndexListe", meter_), 1);

    editor.indexGrid.setCell(1, IndexGrid::ColText, QString(255, 't'));
    editor.indexGrid.appendRow({"", "12abc", "Tippfehler"});
    ASSERT_TRUE(editor.cmdSpeichern());
    EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM MBusIndexListe WHERE lznr = ? AND MBIndex = 12", {meter_}).toInt(), 0);
    EXPECT_EQ(db().scalar("SELECT text FROM MBusIndexListe WHERE lznr = ? AND MBIndex = 2", {meter_}).toString(),
              QString(255, 't'));
}

INSTANTIATE_TEST_SUITE_P(Engines, EditorInput, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);

TEST(TypedNumbers, WhatIsNotPlainlyANumberIsRefusedNotShortened)
{
    for (const char* text : {"", " ", ",", ".", "1F", "1,000.5", "1.00,5", "1.0000,5", "1,2,3", "1e", "--1", "1 000",
                             "inf", "nan", "0x10", "1.5.", "1e999"})
        EXPECT_FALSE(ReadDecimalNumber(QString::fromLatin1(text))) << text;
    EXPECT_EQ(ReadDecimalNumber(",5"), 0.5);
    EXPECT_EQ(ReadDecimalNumber("5,"), 5.0);
    EXPECT_EQ(ReadDecimalNumber("+12.345.678,9"), 12345678.9);
    EXPECT_EQ(ReadDecimalNumber("2,5E2"), 250.0);

    for (const char* text : {"", "abc", "24OO", "12abc", "1.5", "1e3", "- 3", "99999999999999999999"})
        EXPECT_FALSE(ReadWholeNumber(QString::fromLatin1(text))) << text;
    EXPECT_EQ(ReadWholeNumber(" -3 "), -3);
    EXPECT_EQ(ReadWholeNumber("+4"), 4);

    EXPECT_EQ(ReadBooleanText(" wahr "), true);
    EXPECT_EQ(ReadBooleanText("-1"), true);
    EXPECT_EQ(ReadBooleanText("FALSCH"), false);
    EXPECT_FALSE(ReadBooleanText("ja"));
    EXPECT_FALSE(ReadBooleanText("2"));
    EXPECT_EQ(ColumnLength(QString::fromUtf8("ä\xF0\x9F\x94\xA5")), 2) << "characters, not UTF-16 units";
}

TEST(TypedTexts, TheEditorsLimitsAreTheColumnsOfTheSchema)
{
    // The width of a VARCHAR column in the CREATE TABLE of `table`, -1 when absent.
    const auto width = [](const QString& table, const QString& column) {
        const QString schema = SchemaText();
        const qsizetype start = schema.indexOf("CREATE TABLE IF NOT EXISTS " + table + " (", 0, Qt::CaseInsensitive);
        const QString body = schema.mid(start, schema.indexOf(");", start) - start);
        const QRegularExpression pattern("\\b\"?" + column + "\"?\\s+VARCHAR\\((\\d+)\\)",
                                         QRegularExpression::CaseInsensitiveOption);
        const auto match = pattern.match(body);
        return start >= 0 && match.hasMatch() ? match.captured(1).toInt() : -1;
    };
    EXPECT_EQ(width("zaehler", "ZNr"), ColumnWidths::ZNr);
    EXPECT_EQ(width("zaehler", "ZName"), ColumnWidths::ZName);
    EXPECT_EQ(width("zaehler", "MB_SelectSec"), ColumnWidths::MB_SelectSec);
    EXPECT_GE(width("zaehler", "MB_ID"), ColumnWidths::MB_ID);
    EXPECT_EQ(width("zaehler", "MSCONS_Lokation"), ColumnWidths::MSCONS_Lokation);
    EXPECT_EQ(width("MB_IndexListe", "Art"), ColumnWidths::Art);
    EXPECT_EQ(width("MB_IndexListe", "Einheit"), ColumnWidths::Einheit);
    EXPECT_EQ(width("MBusIndexListe", "text"), ColumnWidths::ExportText);
}

TEST(EditorClient, WithoutDashMTheClientIsOVXMandantElse200)
{
    test::InstallationDir dir;
    dir.write("OVX.INI", "[OVX]\r\nOVXMandant=321\r\nDBPATH321=.\\Kunde$MANDANT$\r\n");
    EditorEnvironment environment = EditorEnvironment::load(QString());
    EXPECT_EQ(environment.client, "321");
    EXPECT_EQ(environment.dbPath, ".\\Kunde321\\");
    EXPECT_EQ(environment.database.dataSource, ".\\Kunde321\\basis.mdb");

    ResetClient();
    environment = EditorEnvironment::load(QStringLiteral("-M55"));
    EXPECT_EQ(environment.client, "055");

    ResetClient();
    dir.write("OVX.INI", "[OVX]\r\nDBPATH200=.\\DB200\r\n");
    environment = EditorEnvironment::load(QString());
    EXPECT_EQ(environment.client, "200");
    EXPECT_TRUE(dir.messages().isEmpty()) << "200 is the editors' own choice, not a missing configuration";
}

} // namespace
