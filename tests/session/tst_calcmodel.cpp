#include "ModelRows.h"

#include <QtTest>

namespace {

// A model holding the given names with the given current row, built the way polling and
// clicks build it.
void fill(TaviCalcModel& model, const QStringList& names, int current)
{
    for (const QString& name : names)
        model.pushBack(name);
    model.setCurrentIndex(current);
}

} // namespace

class TestCalcModel : public QObject
{
    Q_OBJECT

private slots:
    void pushBackAnnounces_data();
    void pushBackAnnounces();
    void deleteAtMovesIndex_data();
    void deleteAtMovesIndex();
    void indexWrite_data();
    void indexWrite();
    void announcesAfterRowsChange();
    void changeNameRenamesCurrentRow_data();
    void changeNameRenamesCurrentRow();
    void initializeSetsNamesSilently_data();
    void initializeSetsNamesSilently();
    void dataAndTexts();
};

void TestCalcModel::pushBackAnnounces_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("announced");
    QTest::newRow("first becomes current") << QStringList() << -1 << 0;
    QTest::newRow("second keeps row 0") << QStringList{"A"} << 0 << 0;
    QTest::newRow("third keeps clicked row") << QStringList{"A", "B"} << 1 << 1;
}

void TestCalcModel::pushBackAnnounces()
{
    QFETCH(QStringList, before);
    QFETCH(int, current);
    QFETCH(int, announced);
    TaviCalcModel model;
    fill(model, before, current);
    QSignalSpy index(&model, &TaviCalcModel::indexOrSizeChange);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.pushBack("new");
    QCOMPARE(index.count(), 1);
    QCOMPARE(index.at(0).at(0).toInt(), announced);
    QCOMPARE(model.getCurrentIndex(), announced);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), before.size());
    QCOMPARE(inserted.at(0).at(2).toInt(), before.size());
    QCOMPARE(calcNames(model), before + QStringList{"new"});
}

void TestCalcModel::deleteAtMovesIndex_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("announced"); // -2: nothing announced
    QTest::addColumn<QStringList>("after");
    const QStringList abc{"A", "B", "C"};
    QTest::newRow("before current") << 3 << 2 << 0 << 1 << QStringList{"B", "C"};
    QTest::newRow("current itself") << 3 << 2 << 2 << 1 << QStringList{"A", "B"};
    QTest::newRow("after current") << 3 << 0 << 1 << 0 << QStringList{"A", "C"};
    QTest::newRow("current row 0 of two") << 2 << 0 << 0 << 0 << QStringList{"B"};
    QTest::newRow("only row") << 1 << 0 << 0 << 0 << QStringList();
    QTest::newRow("negative row") << 3 << 1 << -1 << -2 << abc;
    QTest::newRow("row count") << 3 << 1 << 3 << -2 << abc;
}

void TestCalcModel::deleteAtMovesIndex()
{
    QFETCH(int, rows);
    QFETCH(int, current);
    QFETCH(int, removed);
    QFETCH(int, announced);
    QFETCH(QStringList, after);
    TaviCalcModel model;
    fill(model, QStringList{"A", "B", "C"}.mid(0, rows), current);
    QSignalSpy index(&model, &TaviCalcModel::indexOrSizeChange);
    QSignalSpy removedRows(&model, &QAbstractItemModel::rowsRemoved);
    model.deleteAt(removed);
    QCOMPARE(calcNames(model), after);
    if (announced == -2) {
        QCOMPARE(index.count(), 0);
        QCOMPARE(removedRows.count(), 0);
        QCOMPARE(model.getCurrentIndex(), current);
        return;
    }
    QCOMPARE(index.count(), 1);
    QCOMPARE(index.at(0).at(0).toInt(), announced);
    QCOMPARE(model.getCurrentIndex(), announced);
    QCOMPARE(removedRows.count(), 1);
    QCOMPARE(removedRows.at(0).at(1).toInt(), removed);
}

void TestCalcModel::indexWrite_data()
{
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("emitted");
    QTest::newRow("same value") << 1 << 0;
    QTest::newRow("other value") << 2 << 1;
}

void TestCalcModel::indexWrite()
{
    QFETCH(int, written);
    QFETCH(int, emitted);
    TaviCalcModel model;
    fill(model, {"A", "B", "C"}, 1);
    QSignalSpy index(&model, &TaviCalcModel::indexOrSizeChange);
    QVERIFY(model.setProperty("currentIndex", written));
    QCOMPARE(index.count(), emitted);
    QCOMPARE(model.property("currentIndex").toInt(), written);
    if (emitted)
        QCOMPARE(index.at(0).at(0).toInt(), written);
}

// The session's slot reads the model inside the emission: rows and index must be final.
void TestCalcModel::announcesAfterRowsChange()
{
    TaviCalcModel model;
    QList<QPair<int, int>> seen;
    connect(&model, &TaviCalcModel::indexOrSizeChange, this, [&](int index) {
        seen.append({index, model.rowCount()});
        QCOMPARE(model.getCurrentIndex(), index);
    });
    model.pushBack("A");
    model.pushBack("B");
    model.deleteAt(0);
    model.deleteAt(0);
    const QList<QPair<int, int>> expected{{0, 1}, {0, 2}, {0, 1}, {0, 0}};
    QCOMPARE(seen, expected);
}

void TestCalcModel::changeNameRenamesCurrentRow_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("current row") << 1 << QStringList{"A", "Z", "C"};
    QTest::newRow("no row") << 7 << QStringList{"A", "B", "C"};
}

void TestCalcModel::changeNameRenamesCurrentRow()
{
    QFETCH(int, current);
    QFETCH(QStringList, after);
    TaviCalcModel model;
    fill(model, {"A", "B", "C"}, current);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy index(&model, &TaviCalcModel::indexOrSizeChange);
    model.changeName("Z");
    QCOMPARE(calcNames(model), after);
    QCOMPARE(index.count(), 0);
    QCOMPARE(changed.count(), after.contains("Z") ? 1 : 0);
    if (!changed.isEmpty()) {
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(current));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(current));
    }
}

void TestCalcModel::initializeSetsNamesSilently_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("index");
    QTest::newRow("names") << QStringList{"A", "B"} << 0;
    QTest::newRow("empty") << QStringList() << -1;
}

void TestCalcModel::initializeSetsNamesSilently()
{
    QFETCH(QStringList, names);
    QFETCH(int, index);
    TaviCalcModel model;
    QSignalSpy announced(&model, &TaviCalcModel::indexOrSizeChange);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.initialize(names);
    QCOMPARE(calcNames(model), names);
    QCOMPARE(model.getCurrentIndex(), index);
    QCOMPARE(announced.count(), names.isEmpty() ? 0 : 1);
    QCOMPARE(inserted.count() + reset.count(), 0);
}

void TestCalcModel::dataAndTexts()
{
    TaviCalcModel model;
    QCOMPARE(model.debugInf(), QString("\n-1"));
    QCOMPARE(model.getName(), QString(""));
    fill(model, {"A", "B"}, 1);
    QCOMPARE(model.getName(), QString("B"));
    QCOMPARE(model.debugInf(), QString("\n1"));
    QVERIFY(!model.data(model.index(0), Qt::UserRole).isValid());
    QVERIFY(!model.data(model.index(2), Qt::DisplayRole).isValid());
    QCOMPARE(model.roleNames().value(Qt::DisplayRole), QByteArray("display"));
    model.deleteAt(1);
    model.deleteAt(0);
    QCOMPARE(model.getCurrentIndex(), 0);
    QCOMPARE(model.getName(), QString(""));
}

QTEST_GUILESS_MAIN(TestCalcModel)
#include "tst_calcmodel.moc"
