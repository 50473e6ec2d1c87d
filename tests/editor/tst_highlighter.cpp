#include "editor/SyntaxHighlighter.h"
#include "editor/TextCharFormat.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QtTest>

#include <memory>

namespace {

const QColor darkRed(QStringLiteral("#8B0000"));
const QColor green(QStringLiteral("#27AE60"));

using Formats = QVector<QTextLayout::FormatRange>;

Formats formatsOf(QTextDocument* document, int block)
{
    return document->findBlockByNumber(block).layout()->formats();
}

QTextCharFormat foregroundFormat(const QColor& colour)
{
    QTextCharFormat format;
    format.setForeground(colour);
    return format;
}

QTextCharFormat fontFormat(const QFont& font)
{
    QTextCharFormat format;
    format.setFont(font);
    return format;
}

QFont boldFont()
{
    QFont font;
    font.setBold(true);
    return font;
}

} // namespace

class TestHighlighter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void attachingHighlightsOnce();
    void setFormatConvertsTheValue_data();
    void setFormatConvertsTheValue();
    void formatsApplyToTheirBlockOnly();
    void qmlColoursTheTextArea();
    void foregroundTakesColoursOnly_data();
    void foregroundTakesColoursOnly();
    void fontChangesOnlyWhenDifferent();

private:
    // A real Qt Quick text item with its QQuickTextDocument.
    std::unique_ptr<QObject> makeTextEdit(const QString& text);
    static QQuickTextDocument* documentOf(QObject* textEdit);

    QQmlEngine m_engine;
};

void TestHighlighter::initTestCase()
{
    qmlRegisterType<SyntaxHighlighter>("SyntaxHighlighter", 1, 0, "SyntaxHighlighter");
    qmlRegisterType<TextCharFormat>("SyntaxHighlighter", 1, 0, "TextCharFormat");
}

std::unique_ptr<QObject> TestHighlighter::makeTextEdit(const QString& text)
{
    QQmlComponent component(&m_engine);
    component.setData("import QtQuick 2.15\nTextEdit {}", QUrl());
    std::unique_ptr<QObject> item(component.create());
    if (item)
        item->setProperty("text", text);
    return item;
}

QQuickTextDocument* TestHighlighter::documentOf(QObject* textEdit)
{
    return textEdit->property("textDocument").value<QQuickTextDocument*>();
}

void TestHighlighter::attachingHighlightsOnce()
{
    auto edit = makeTextEdit(QStringLiteral("first\nsecond\nthird"));
    QVERIFY(edit);
    QQuickTextDocument* document = documentOf(edit.get());
    SyntaxHighlighter highlighter;
    QSignalSpy changed(&highlighter, &SyntaxHighlighter::textDocumentChanged);
    QSignalSpy highlighted(&highlighter, QOverload<const QVariant&>::of(&SyntaxHighlighter::highlightBlock));

    highlighter.setTextDocument(document);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(highlighter.textDocument(), document);
    QCOMPARE(highlighter.document(), document->textDocument());
    QTRY_COMPARE(highlighted.count(), 3);
    QCOMPARE(highlighted.at(0).at(0), QVariant(QStringLiteral("first")));
    QCOMPARE(highlighted.at(2).at(0), QVariant(QStringLiteral("third")));

    // The same document again neither announces itself nor highlights anew.
    highlighter.setTextDocument(document);
    QCoreApplication::processEvents();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(highlighted.count(), 3);
}

void TestHighlighter::setFormatConvertsTheValue_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QTextFormat>("expected");

    auto* charFormat = new TextCharFormat(this);
    charFormat->setForeground(green);
    charFormat->setFont(boldFont());
    const QTextCharFormat objectFormat = *charFormat;
    auto* otherObject = new QObject(this);

    QTest::newRow("format object") << QVariant::fromValue<QObject*>(charFormat) << QTextFormat(objectFormat);
    QTest::newRow("format pointer") << QVariant::fromValue(charFormat) << QTextFormat(objectFormat);
    QTest::newRow("colour") << QVariant(darkRed) << QTextFormat(foregroundFormat(darkRed));
    QTest::newRow("colour name") << QVariant(QStringLiteral("#015CC5"))
                                 << QTextFormat(foregroundFormat(QColor(QStringLiteral("#015CC5"))));
    QTest::newRow("no colour name") << QVariant(QStringLiteral("Arial")) << QTextFormat(foregroundFormat(QColor()));
    QTest::newRow("font") << QVariant(boldFont()) << QTextFormat(fontFormat(boldFont()));
    QTest::newRow("number") << QVariant(42) << QTextFormat();
    QTest::newRow("empty") << QVariant() << QTextFormat();
    QTest::newRow("other object") << QVariant::fromValue(otherObject) << QTextFormat();
}

void TestHighlighter::setFormatConvertsTheValue()
{
    QFETCH(QVariant, value);
    QFETCH(QTextFormat, expected);
    auto edit = makeTextEdit(QStringLiteral("(abc)"));
    QVERIFY(edit);
    SyntaxHighlighter highlighter;
    QSignalSpy highlighted(&highlighter, QOverload<const QVariant&>::of(&SyntaxHighlighter::highlightBlock));
    connect(&highlighter, QOverload<const QVariant&>::of(&SyntaxHighlighter::highlightBlock), this,
            [&] { highlighter.setFormat(1, 3, value); });

    highlighter.setTextDocument(documentOf(edit.get()));
    QTRY_COMPARE(highlighted.count(), 1);

    const Formats formats = formatsOf(highlighter.document(), 0);
    if (!expected.isValid()) {
        QVERIFY(formats.isEmpty());
        return;
    }
    QCOMPARE(formats.size(), 1);
    QCOMPARE(formats.at(0).start, 1);
    QCOMPARE(formats.at(0).length, 3);
    QCOMPARE(QTextFormat(formats.at(0).format), expected);
}

void TestHighlighter::formatsApplyToTheirBlockOnly()
{
    auto edit = makeTextEdit(QStringLiteral("(a)\nb\n(c)"));
    QVERIFY(edit);
    SyntaxHighlighter highlighter;
    QSignalSpy highlighted(&highlighter, QOverload<const QVariant&>::of(&SyntaxHighlighter::highlightBlock));
    connect(&highlighter, QOverload<const QVariant&>::of(&SyntaxHighlighter::highlightBlock), this,
            [&](const QVariant& text) {
                if (text.toString().startsWith(QLatin1Char('(')))
                    highlighter.setFormat(0, 1, darkRed);
            });
    highlighter.setTextDocument(documentOf(edit.get()));
    QTRY_COMPARE(highlighted.count(), 3);
    QTextDocument* document = highlighter.document();
    QCOMPARE(formatsOf(document, 0).size(), 1);
    QCOMPARE(formatsOf(document, 1).size(), 0);
    QCOMPARE(formatsOf(document, 2).size(), 1);

    // An edit highlights its own block again, from scratch, and no other.
    highlighted.clear();
    QTextCursor cursor(document);
    cursor.deleteChar();
    QCOMPARE(highlighted.count(), 1);
    QCOMPARE(highlighted.at(0).at(0), QVariant(QStringLiteral("a)")));
    QCOMPARE(formatsOf(document, 0).size(), 0);
    QCOMPARE(formatsOf(document, 2).size(), 1);
}

void TestHighlighter::qmlColoursTheTextArea()
{
    QQmlComponent component(&m_engine);
    component.setData(R"qml(
        import QtQuick 2.15
        import SyntaxHighlighter 1.0
        TextEdit {
            id: edit
            text: "(x)\ny"
            property alias highlighter: highlighter
            TextCharFormat { id: bracket; foreground: "#27AE60" }
            SyntaxHighlighter {
                id: highlighter
                textDocument: edit.textDocument
                onHighlightBlock: if (text === "(x)") setFormat(0, 1, bracket)
            }
        })qml",
                      QUrl());
    std::unique_ptr<QObject> edit(component.create());
    QVERIFY2(edit, qPrintable(component.errorString()));
    auto* highlighter = edit->property("highlighter").value<SyntaxHighlighter*>();
    QVERIFY(highlighter);
    QCOMPARE(highlighter->textDocument(), documentOf(edit.get()));

    QTextDocument* document = documentOf(edit.get())->textDocument();
    QTRY_COMPARE(formatsOf(document, 0).size(), 1);
    QCOMPARE(formatsOf(document, 0).at(0).length, 1);
    QCOMPARE(formatsOf(document, 0).at(0).format.foreground().color(), green);
    QCOMPARE(formatsOf(document, 1).size(), 0);
}

void TestHighlighter::foregroundTakesColoursOnly_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("emissions");
    QTest::addColumn<QColor>("foreground");

    QTest::newRow("colour name twice") << QVariant(QStringLiteral("#27AE60")) << 2 << green;
    QTest::newRow("colour twice") << QVariant(darkRed) << 2 << darkRed;
    QTest::newRow("no colour name") << QVariant(QStringLiteral("Arial")) << 2 << QColor();
    QTest::newRow("number") << QVariant(42) << 0 << QColor(Qt::black);
    QTest::newRow("empty") << QVariant() << 0 << QColor(Qt::black);
}

void TestHighlighter::foregroundTakesColoursOnly()
{
    QFETCH(QVariant, value);
    QFETCH(int, emissions);
    QFETCH(QColor, foreground);
    TextCharFormat format;
    QCOMPARE(format.foreground(), QVariant(QColor(Qt::black)));
    QSignalSpy changed(&format, &TextCharFormat::foregroundChanged);

    format.setForeground(value);
    format.setForeground(value);

    QCOMPARE(changed.count(), emissions);
    QCOMPARE(format.foreground().value<QColor>(), foreground);
    QObject& object = format;
    QCOMPARE(object.property("foreground"), format.foreground());
}

void TestHighlighter::fontChangesOnlyWhenDifferent()
{
    TextCharFormat format;
    QSignalSpy changed(&format, &TextCharFormat::fontChanged);
    QFont font = boldFont();
    font.setPointSize(17);

    format.setFont(font);
    format.setFont(QFont(font));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(format.font(), font);
    QCOMPARE(format.fontWeight(), int(QFont::Bold));

    static_cast<QObject&>(format).setProperty("font", QFont());
    QCOMPARE(changed.count(), 2);
    QVERIFY(!format.font().bold());
}

QTEST_MAIN(TestHighlighter)
#include "tst_highlighter.moc"
