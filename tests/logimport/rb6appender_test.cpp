// The appender must leave the bytes RB6Append leaves, whatever its batching.
#include "foundation/clientpaths.h"
#include "storage/rb6appender.h"
#include "storage/rb6file.h"
#include "testsupport.h"

#include <QDir>
#include <QRandomGenerator>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

struct Step {
    int file;
    qint64 time;
    double value;
};

// Times that mostly rise, with repeats (overwrite) and steps back (dropped).
QList<Step> steps(int files, int count)
{
    QRandomGenerator random(4711);
    QList<qint64> last(files, 1700000000);
    QList<Step> out;
    for (int k = 0; k < count; ++k) {
        const int file = int(random.bounded(files));
        const int kind = int(random.bounded(10));
        const qint64 t = kind == 0 ? last[file] : kind == 1 ? last[file] - 900 : last[file] + 900;
        last[file] = std::max(last[file], t);
        out << Step{file, t, random.generateDouble() * 1000};
    }
    return out;
}

QString name(const QString& dir, int file) { return dir + QStringLiteral("/%1.ovx").arg(file); }

} // namespace

TEST(RB6Appender, WritesTheBytesOfRB6AppendWithFewOpenFilesAndGrowth)
{
    InstallationDir dir;
    QDir().mkpath("a");
    QDir().mkpath("b");
    const int files = 7;
    // Small files, so that both grow beyond their capacity.
    for (int f = 0; f < files; ++f) {
        ASSERT_EQ(RB6Create(name("a", f), 0, 0, 1), 0);
        ASSERT_EQ(RB6Create(name("b", f), 0, 0, 1), 0);
    }
    const QList<Step> all = steps(files, 3000);
    for (const Step& s : all) {
        QString file = name("a", s.file);
        ASSERT_EQ(RB6Append({}, 0, s.time, s.value, 0, file), 0);
    }
    {
        RB6Appender appender(6000, 3);
        QList<int> handles;
        for (int f = 0; f < files; ++f)
            handles << appender.open(name("b", f));
        for (const Step& s : all)
            ASSERT_EQ(appender.append(handles[s.file], s.time, s.value), RB6Ok);
        EXPECT_LE(appender.openFileCount(), 3);
        ASSERT_TRUE(appender.flush());
    }
    for (int f = 0; f < files; ++f)
        EXPECT_TRUE(dir.read(name("a", f)) == dir.read(name("b", f))) << "file " << f;

    // A new file is created as RB6Append creates it.
    {
        RB6Appender appender;
        const int h = appender.open("b/new.ovx");
        ASSERT_GE(h, 0);
        EXPECT_EQ(appender.open("b/new.ovx"), h) << "one handle per file";
        RB6Appender::Outcome outcome;
        appender.append(h, 1700000000, 1.5, &outcome);
        EXPECT_EQ(outcome, RB6Appender::Outcome::Appended);
        appender.append(h, 1700000000, 2.5, &outcome);
        EXPECT_EQ(outcome, RB6Appender::Outcome::Overwritten);
        appender.append(h, 1699999999, 3.5, &outcome);
        EXPECT_EQ(outcome, RB6Appender::Outcome::Dropped);
        EXPECT_EQ(appender.append(h, qint64(1) << 40, 1.0), RB6TimeOutOfRange);
    }
    QString file = "a/new.ovx";
    RB6Append({}, 0, 1700000000, 1.5, 0, file);
    RB6Append({}, 0, 1700000000, 2.5, 0, file);
    EXPECT_TRUE(dir.read("a/new.ovx") == dir.read("b/new.ovx"));
}

TEST(RB6Appender, UnwrittenElementsAreNeverCountedByTheHeader)
{
    InstallationDir dir;
    RB6Appender appender;
    const int h = appender.open("x.ovx");
    ASSERT_GE(h, 0);
    for (int k = 0; k < 10; ++k)
        appender.append(h, 1700000000 + k, k);
    // Until flushed, the file still says what it held before.
    RB6Header header;
    ASSERT_TRUE(RB6ReadHeader("x.ovx", header));
    EXPECT_EQ(header[1].Wert, 9.0);
    ASSERT_TRUE(appender.flush());
    ASSERT_TRUE(RB6ReadHeader("x.ovx", header));
    EXPECT_EQ(header[1], (RB6Element{1700000009, 19.0}));
}
