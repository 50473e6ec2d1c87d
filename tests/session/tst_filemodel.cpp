#include "ModelRows.h"

#include <QtTest>

using FileList = QList<FileEntry>;

namespace {

// Records every structural notification as one line, so a test compares the whole story.
class ModelLog : public QObject
{
public:
    explicit ModelLog(QAbstractItemModel* model)
    {
        auto rows = [this](const char* what) {
            return [this, what](const QModelIndex&, int first, int last) {
                lines << QString("%1 %2-%3").arg(what).arg(first).arg(last);
            };
        };
        connect(model, &QAbstractItemModel::rowsInserted, this, rows("inserted"));
        connect(model, &QAbstractItemModel::rowsRemoved, this, rows("removed"));
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& first, const QModelIndex& last) {
                    lines << QString("changed %1-%2").arg(first.row()).arg(last.row());
                });
        connect(model, &QAbstractItemModel::modelReset, this, [this] { lines << "reset"; });
    }
    QStringList lines;
};

} // namespace

class TestFileModel : public QObject
{
    Q_OBJECT

private slots:
    void roles_data();
    void roles();
    void reloadIsRemoveThenInsert_data();
    void reloadIsRemoveThenInsert();
    void outsideRows_data();
    void outsideRows();
    void isFileExistIgnoresCase_data();
    void isFileExistIgnoresCase();
    void addFileMatchesUpperCasedName_data();
    void addFileMatchesUpperCasedName();
    void deleteByNameIsExact_data();
    void deleteByNameIsExact();
};

void TestFileModel::roles_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("name") << 256 << QVariant(QString("PRG.TCB"));
    QTest::newRow("size") << 258 << QVariant(42);
    QTest::newRow("257 unused") << 257 << QVariant();
    QTest::newRow("display") << int(Qt::DisplayRole) << QVariant();
}

void TestFileModel::roles()
{
    QFETCH(int, role);
    QFETCH(QVariant, value);
    TaviFileModel model;
    model.setFileNames({{"PRG.TCB", 42}});
    const QVariant got = model.data(model.index(0), role);
    QCOMPARE(got, value);
    QCOMPARE(got.userType(), value.userType());
    const QHash<int, QByteArray> names{{256, "nameRole"}, {258, "sizeRole"}};
    QCOMPARE(model.roleNames(), names);
}

void TestFileModel::reloadIsRemoveThenInsert_data()
{
    QTest::addColumn<FileList>("before");
    QTest::addColumn<FileList>("after");
    QTest::addColumn<QStringList>("log");
    const FileList two{{"A", 1}, {"B", 2}};
    const FileList three{{"C", 3}, {"D", 4}, {"E", 5}};
    QTest::newRow("full to full") << two << three << QStringList{"removed 0-1", "inserted 0-2"};
    QTest::newRow("empty to full") << FileList() << two << QStringList{"inserted 0-1"};
    QTest::newRow("full to empty") << two << FileList() << QStringList{"removed 0-1"};
    QTest::newRow("empty to empty") << FileList() << FileList() << QStringList();
}

void TestFileModel::reloadIsRemoveThenInsert()
{
    QFETCH(FileList, before);
    QFETCH(FileList, after);
    QFETCH(QStringList, log);
    TaviFileModel model;
    model.setFileNames(before);
    ModelLog changes(&model);
    model.clear();
    model.setFileNames(after);
    QCOMPARE(fileRows(model), after);
    QCOMPARE(changes.lines, log);
}

void TestFileModel::outsideRows_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("negative") << -1;
    QTest::newRow("row count") << 2;
}

void TestFileModel::outsideRows()
{
    QFETCH(int, row);
    TaviFileModel model;
    model.initialize({{"A", 1}, {"B", 2}});
    const FileEntry entry = model.getFileInfAt(row);
    QVERIFY(entry.first.isNull());
    QCOMPARE(entry.second, 0);
    QCOMPARE(model.getName(row), QString(""));
    ModelLog changes(&model);
    model.deleteAt(row);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(changes.lines, QStringList());
}

void TestFileModel::isFileExistIgnoresCase_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::newRow("same") << "Prog.tcb" << true;
    QTest::newRow("upper") << "PROG.TCB" << true;
    QTest::newRow("lower") << "prog.tcb" << true;
    QTest::newRow("second row") << "data.txt" << true;
    QTest::newRow("other") << "prog.tc" << false;
    QTest::newRow("empty") << "" << false;
}

void TestFileModel::isFileExistIgnoresCase()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    TaviFileModel model;
    QVERIFY(!model.isFileExist(name));
    model.setFileNames({{"Prog.tcb", 3}, {"DATA.TXT", 4}});
    QCOMPARE(model.isFileExist(name), exists);
}

void TestFileModel::addFileMatchesUpperCasedName_data()
{
    QTest::addColumn<FileList>("before");
    QTest::addColumn<FileEntry>("entry");
    QTest::addColumn<FileList>("after");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("upper stored, lower added replaces")
        << FileList{{"X", 1}, {"PRG.TCB", 5}} << FileEntry("prg.tcb", 9)
        << FileList{{"X", 1}, {"prg.tcb", 9}} << QStringList{"changed 1-1"};
    QTest::newRow("lower stored, same added appends")
        << FileList{{"prg.tcb", 5}} << FileEntry("prg.tcb", 9)
        << FileList{{"prg.tcb", 5}, {"prg.tcb", 9}} << QStringList{"inserted 1-1"};
    QTest::newRow("first of two equal rows")
        << FileList{{"A", 1}, {"A", 2}} << FileEntry("a", 3)
        << FileList{{"a", 3}, {"A", 2}} << QStringList{"changed 0-0"};
    QTest::newRow("empty model") << FileList() << FileEntry("N", 7) << FileList{{"N", 7}}
                                 << QStringList{"inserted 0-0"};
}

void TestFileModel::addFileMatchesUpperCasedName()
{
    QFETCH(FileList, before);
    QFETCH(FileEntry, entry);
    QFETCH(FileList, after);
    QFETCH(QStringList, log);
    TaviFileModel model;
    model.setFileNames(before);
    ModelLog changes(&model);
    model.addFile(entry);
    QCOMPARE(fileRows(model), after);
    QCOMPARE(changes.lines, log);
}

void TestFileModel::deleteByNameIsExact_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<FileList>("after");
    QTest::newRow("first of two") << "A.TXT" << FileList{{"B", 2}, {"A.TXT", 3}};
    QTest::newRow("other case") << "a.txt" << FileList{{"A.TXT", 1}, {"B", 2}, {"A.TXT", 3}};
    QTest::newRow("missing") << "C" << FileList{{"A.TXT", 1}, {"B", 2}, {"A.TXT", 3}};
}

void TestFileModel::deleteByNameIsExact()
{
    QFETCH(QString, name);
    QFETCH(FileList, after);
    TaviFileModel model;
    model.setFileNames({{"A.TXT", 1}, {"B", 2}, {"A.TXT", 3}});
    ModelLog changes(&model);
    model.deleteByName(name);
    QCOMPARE(fileRows(model), after);
    QCOMPARE(changes.lines, after.size() == 3 ? QStringList() : QStringList{"removed 0-0"});
}

QTEST_GUILESS_MAIN(TestFileModel)
#include "tst_filemodel.moc"
