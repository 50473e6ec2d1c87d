#include "app/AppStartup.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QResource>
#include <QTemporaryDir>
#include <QtTest>

// The start-up steps that main runs, each on its own, against the real resource collection.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void resourceCollection_data();
    void resourceCollection();
    void defaultFont_data();
    void defaultFont();
    void highlightingTypesRegistered_data();
    void highlightingTypesRegistered();
    void runEndsWithoutWindow_data();
    void runEndsWithoutWindow();
};

namespace {

const QSize small(24, 24);
const QSize large(48, 48);
const QSize noImage;

void addResource(const char* path, QResource::Compression compression, QSize imageSize = noImage)
{
    QTest::newRow(path) << QString(path) << int(compression) << imageSize;
}

// Writes a QML document into the folder and gives its URL.
QUrl writeDocument(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return QUrl();
    file.write(text);
    return QUrl::fromLocalFile(file.fileName());
}

} // namespace

void TestStartup::resourceCollection_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("compression");
    QTest::addColumn<QSize>("imageSize");

    addResource(":/qml/main.qml", QResource::ZlibCompression);
    addResource(":/qml/Editor.qml", QResource::ZlibCompression);
    addResource(":/fonts/TaviCodeSaverFont.ttf", QResource::NoCompression);
    addResource(":/TaviFunctions.txt", QResource::NoCompression);
    addResource(":/icons/logo.png", QResource::NoCompression, QSize(256, 256));
    for (const char* name : {"menu", "download", "send", "remove", "save", "newFile", "debug", "edit"})
        addResource(qPrintable(QString(":/images/x1/%1.png").arg(name)), QResource::NoCompression, small);
    for (const char* name : {"edit", "newFile", "create_backup", "restore_backup", "del", "firmware",
                             "remove", "image", "program", "update", "save", "exchange", "debug", "send"})
        addResource(qPrintable(QString(":/images/x2/%1.png").arg(name)), QResource::NoCompression, large);
}

void TestStartup::resourceCollection()
{
    QFETCH(QString, path);
    QFETCH(int, compression);
    QFETCH(QSize, imageSize);

    const QResource resource(path);
    QVERIFY(resource.isValid());
    QVERIFY(resource.size() > 0);
    QCOMPARE(int(resource.compressionAlgorithm()), compression);
    if (imageSize.isValid()) {
        const QImage image(path);
        QCOMPARE(image.size(), imageSize);
        QVERIFY(image.hasAlphaChannel());
    }
}

void TestStartup::defaultFont_data()
{
    QTest::addColumn<QString>("fontPath");
    QTest::addColumn<bool>("registers");

    QTest::newRow("the code font") << QString(AppStartup::codeFontPath) << true;
    QTest::newRow("no such file") << QString(":/fonts/missing.ttf") << false;
    QTest::newRow("not a font") << QString(":/TaviFunctions.txt") << false;
}

void TestStartup::defaultFont()
{
    QFETCH(QString, fontPath);
    QFETCH(bool, registers);

    const QFont qtDefault = QGuiApplication::font();
    const QString family = AppStartup::registerFontFamily(fontPath);
    const QFont font = AppStartup::defaultFont(family);

    QCOMPARE(family.isEmpty(), !registers);
    if (!registers) {
        QCOMPARE(font, qtDefault);
        return;
    }
    QVERIFY(QFontDatabase().families().contains(family));
    QCOMPARE(font.family(), family);
    QCOMPARE(font.pointSize(), AppStartup::codeFontPointSize);
    QCOMPARE(font.weight(), int(QFont::Normal));
    QVERIFY(!font.italic());
}

void TestStartup::highlightingTypesRegistered_data()
{
    QTest::addColumn<QByteArray>("type");

    QTest::newRow("highlighter") << QByteArray("SyntaxHighlighter");
    QTest::newRow("format") << QByteArray("TextCharFormat");
}

void TestStartup::highlightingTypesRegistered()
{
    QFETCH(QByteArray, type);

    AppStartup::registerQmlTypes();
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import SyntaxHighlighter 1.0\n" + type + " {}\n", QUrl());
    QScopedPointer<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    QCOMPARE(object->metaObject()->className(), type.constData());
}

void TestStartup::runEndsWithoutWindow_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("missing") << QByteArray() << -1;
    QTest::newRow("syntax error") << QByteArray("import QtQuick 2.12\nItem {\n") << -1;
    QTest::newRow("unknown type") << QByteArray("import QtQuick 2.12\nNoSuchWindow {}\n") << -1;
    QTest::newRow("runs until it quits")
        << QByteArray("import QtQml 2.12\n"
                      "Timer { running: true; interval: 0; onTriggered: Qt.exit(7) }\n")
        << 7;
}

void TestStartup::runEndsWithoutWindow()
{
    QFETCH(QByteArray, document);
    QFETCH(int, exitCode);

    QTemporaryDir dir;
    const QUrl url = document.isNull() ? QUrl::fromLocalFile(dir.filePath("absent.qml"))
                                       : writeDocument(dir, "main.qml", document);
    QQmlApplicationEngine engine;
    QCOMPARE(AppStartup::run(engine, url), exitCode);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
