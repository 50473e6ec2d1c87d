#include "app/QmlClipboardAdapter.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QtTest>

// The adapter against the application's real clipboard; under the offscreen platform the
// clipboard lives in this process, so what another program would put there is put here.
class TestClipboard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void readsWhatIsOnTheClipboard_data();
    void readsWhatIsOnTheClipboard();
    void setUrlsReplacesTheContents_data();
    void setUrlsReplacesTheContents();
    void qmlPassesUrlLists_data();
    void qmlPassesUrlLists();

private:
    QmlClipboardAdapter m_adapter;
};

namespace {

QList<QUrl> urls(const QStringList& paths)
{
    QList<QUrl> list;
    for (const QString& path : paths)
        list << QUrl::fromLocalFile(path);
    return list;
}

// What another application might have left on the clipboard.
QMimeData* foreignData(const QString& text, const QList<QUrl>& urlList)
{
    auto* data = new QMimeData;
    if (!text.isNull())
        data->setText(text);
    if (!urlList.isEmpty())
        data->setUrls(urlList);
    return data;
}

} // namespace

void TestClipboard::init()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

void TestClipboard::readsWhatIsOnTheClipboard_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QUrl>>("onClipboard");
    QTest::addColumn<bool>("hasUrls");

    QTest::newRow("nothing") << QString() << QList<QUrl>() << false;
    QTest::newRow("plain text") << QString("PRGM1.tcb") << QList<QUrl>() << false;
    QTest::newRow("files from a file manager")
        << QString() << urls({"/home/a/one.tcb", "/home/a/two.bin"}) << true;
    QTest::newRow("text and a file") << QString("x") << urls({"/home/a/b c.txt"}) << true;
}

void TestClipboard::readsWhatIsOnTheClipboard()
{
    QFETCH(QString, text);
    QFETCH(QList<QUrl>, onClipboard);
    QFETCH(bool, hasUrls);

    // Seen at once, with the adapter created long before the data arrived.
    if (!text.isNull() || !onClipboard.isEmpty())
        QGuiApplication::clipboard()->setMimeData(foreignData(text, onClipboard));

    QCOMPARE(m_adapter.hasUrls(), hasUrls);
    QCOMPARE(m_adapter.getUrls(), onClipboard);
}

void TestClipboard::setUrlsReplacesTheContents_data()
{
    QTest::addColumn<QList<QUrl>>("copied");

    QTest::newRow("two files in order") << urls({"/tmp/ZED.tcb", "/tmp/ALPHA.txt"});
    QTest::newRow("one file") << urls({"/tmp/PRGM.tcb"});
    QTest::newRow("no file") << QList<QUrl>();
}

void TestClipboard::setUrlsReplacesTheContents()
{
    QFETCH(QList<QUrl>, copied);

    QGuiApplication::clipboard()->setMimeData(foreignData("old", urls({"/home/a/old.tcb"})));
    m_adapter.setUrls(copied);

    QCOMPARE(m_adapter.getUrls(), copied);
    QCOMPARE(m_adapter.hasUrls(), !copied.isEmpty());
    // Whatever was there before is gone, text included.
    QVERIFY(!QGuiApplication::clipboard()->mimeData()->formats().contains("text/plain"));
}

void TestClipboard::qmlPassesUrlLists_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QList<QUrl>>("expected");

    QTest::newRow("array of URL strings")
        << "clipboard.setUrls(['file:///tmp/A.tcb', 'file:///tmp/B%20C.txt'])"
        << QList<QUrl>{QUrl("file:///tmp/A.tcb"), QUrl("file:///tmp/B%20C.txt")};
    QTest::newRow("what getUrls gave back")
        << "clipboard.setUrls(clipboard.getUrls())" << urls({"/tmp/SEED.tcb"});
    QTest::newRow("empty array") << "clipboard.setUrls([])" << QList<QUrl>();
}

void TestClipboard::qmlPassesUrlLists()
{
    QFETCH(QString, expression);
    QFETCH(QList<QUrl>, expected);

    m_adapter.setUrls(urls({"/tmp/SEED.tcb"}));
    QQmlEngine engine;
    engine.rootContext()->setContextProperty("clipboard", &m_adapter);
    QQmlExpression call(engine.rootContext(), nullptr, expression);
    call.evaluate();
    QVERIFY2(!call.hasError(), qPrintable(call.error().toString()));

    QCOMPARE(m_adapter.getUrls(), expected);
}

QTEST_MAIN(TestClipboard)
#include "tst_clipboard.moc"
