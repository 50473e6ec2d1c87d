#include "app/AppStartup.h"
#include "app/QmlClipboardAdapter.h"
#include "editor/TaviFuncTreeModel.h"
#include "link/CTaviCalc.h"
#include "session/CTaviCalcSession.h"
#include "session/SessionTexts.h"
#include "session/TaviCalcModel.h"
#include "session/TaviFileModel.h"

#include "FileDialogParts.h"
#include "PluggedSimulator.h"
#include "SessionRig.h"
#include "SimTestMain.h"
#include "TestFiles.h"
#include "ZipCheck.h"

#include <QClipboard>
#include <QMimeData>
#include <QPixmap>
#include <QScreen>
#include <QTcpServer>
#include <QTextOption>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

#include <sys/mount.h>

using calcsim::FileList;
using calcsim::PluggedSimulator;
// Files by name, for comparisons that leave the order aside.
using Files = QMap<QByteArray, QByteArray>;

namespace {

constexpr char notConnected[] = "Calculator is not connected";
constexpr char untouched[] = "status before";
constexpr int rowHeight = 20;
constexpr int headerHeight = 24;

// The application's objects as main creates them, with the real main window document.
struct Application
{
    QmlClipboardAdapter clipboard;
    TaviCalcModel calcModel;
    TaviFileModel fileModel;
    CTaviCalcSession session;
    TaviFuncTreeModel funcModel{catalogue()};
    QQmlApplicationEngine engine;
    QList<QQmlError> warnings;

    static QByteArray catalogue()
    {
        QFile file(AppStartup::cataloguePath);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    Application()
    {
        session.initialize(&calcModel, &fileModel);
        QObject::connect(&engine, &QQmlEngine::warnings,
                         [this](const QList<QQmlError>& list) { warnings += list; });
        AppStartup::publish(engine, {&session, &calcModel, &fileModel, &clipboard, &funcModel});
        engine.load(QUrl(AppStartup::mainDocument));
    }

    QQuickWindow* window() const { return qobject_cast<QQuickWindow*>(engine.rootObjects().value(0)); }
    QObject* object(const char* name) const { return window()->findChild<QObject*>(name); }
    QQuickItem* item(const char* name) const { return window()->findChild<QQuickItem*>(name); }
    QObject* editor() const { return object("editor"); }
    QObject* selection() const { return qvariant_cast<QObject*>(object("tableView")->property("selection")); }
    int selectedCount() const { return selection()->property("count").toInt(); }
    bool isOpen(const char* dialog) const
    {
        const QObject* found = object(dialog);
        return found && found->property("visible").toBool();
    }
    QString text(const char* dialog) const { return object(dialog)->property("text").toString(); }
    QString status() const { return session.property("statusLineText").toString(); }
    bool busy() const { return session.property("isBusy").toBool(); }

    // The unwrapped text items of the window (popups and list rows included) whose text holds
    // this text.
    QList<QQuickItem*> textsHolding(const QString& text) const
    {
        QList<QQuickItem*> found;
        QList<QQuickItem*> items{window()->contentItem()};
        while (!items.isEmpty()) {
            QQuickItem* item = items.takeFirst();
            items += item->childItems();
            if (item->property("lineCount").isValid() && item->property("wrapMode").toInt() == QTextOption::NoWrap
                && item->property("text").toString().contains(text))
                found << item;
        }
        return found;
    }

    // The number of lines each of them shows.
    QList<int> lineCountsOfTextsHolding(const QString& text) const
    {
        QList<int> counts;
        for (const QQuickItem* item : textsHolding(text))
            counts << item->property("lineCount").toInt();
        return counts;
    }

    // Runs a function of the document, as a dialog's handler would.
    void call(const char* function, const QVariantList& args = {})
    {
        QVariant result;
        QGenericArgument arg = args.isEmpty() ? QGenericArgument() : Q_ARG(QVariant, args.first());
        QVERIFY(QMetaObject::invokeMethod(window(), function, Q_RETURN_ARG(QVariant, result), arg));
    }

    void answer(const char* dialog, bool accept)
    {
        QMetaObject::invokeMethod(object(dialog), accept ? "accept" : "reject");
    }

    QPoint centre(QQuickItem* target) const
    {
        return target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint();
    }
    void click(const char* name) { QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, centre(item(name))); }

    QPoint rowPoint(int row) const
    {
        QQuickItem* table = item("tableView");
        return table->mapToScene(QPointF(40, 1 + headerHeight + row * rowHeight + rowHeight / 2)).toPoint();
    }
    void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(window(), Qt::LeftButton, modifiers, rowPoint(row));
    }
    void selectRows(const QList<int>& rows)
    {
        for (int row : rows)
            clickRow(row, row == rows.first() ? Qt::NoModifier : Qt::ControlModifier);
    }
    QPoint calculatorPoint(int row) const
    {
        QQuickItem* list = item("fileListView");
        return list->mapToScene(QPointF(100, row * 55 + 25)).toPoint();
    }

    // Drags as a text editor does, proposing to move (Shift), and delivers as the platform
    // does: the entry, then a move that starts from the entry's answer, which the source sees.
    // Gives the actions the source sees on entering, moving on and dropping, IgnoreAction
    // where the window refused.
    QList<Qt::DropAction> drop(const QList<QUrl>& urls, const QString& text = QString())
    {
        QMimeData data;
        if (!urls.isEmpty())
            data.setUrls(urls);
        if (!text.isEmpty())
            data.setText(text);
        const QPoint at = centre(item("fileGridRectangle"));
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QList<Qt::DropAction> seen;
        const auto deliver = [this, &seen](QDropEvent& event) {
            QGuiApplication::sendEvent(window(), &event);
            seen << (event.isAccepted() ? event.dropAction() : Qt::IgnoreAction);
        };
        QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        QGuiApplication::sendEvent(window(), &enter);
        QDragMoveEvent entered(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        if (enter.isAccepted()) {
            entered.setDropAction(enter.dropAction());
            entered.accept();
        }
        deliver(entered);
        QDragMoveEvent moved(at + QPoint(1, 1), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        deliver(moved);
        QDropEvent dropped(at + QPoint(1, 1), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        deliver(dropped);
        return seen;
    }
};

Files asMap(const FileList& files)
{
    Files map;
    for (const auto& file : files)
        map.insert(file.first, file.second);
    return map;
}

QVariant urlList(const QList<QUrl>& urls)
{
    return QVariant::fromValue(urls);
}

// A file system of its own, of this size, at the path for as long as the object lives; the
// test process has a mount namespace of its own.
class SmallDisk
{
public:
    SmallDisk(const QString& path, int kib)
        : path(QFile::encodeName(path))
    {
        QDir().mkpath(path);
        const QByteArray options = "size=" + QByteArray::number(kib) + "k";
        mounted = ::mount("tmpfs", this->path.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(path.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted = false;

private:
    QByteArray path;
};

// A web server on this machine that notes whether anyone asks it for anything. A name with
// markup points an image at it: a text shown as rich text would fetch that image.
class WatchedServer
{
public:
    WatchedServer() { listening = server.listen(QHostAddress::LocalHost); }

    // The name with "$port" replaced by the server's port.
    QString withPort(QString name) const { return name.replace("$port", QString::number(server.serverPort())); }
    // Once the window has had the time to ask.
    bool wasAsked()
    {
        QTest::qWait(300);
        return server.hasPendingConnections();
    }

    bool listening = false;

private:
    QTcpServer server;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void calculatorList();
    void guards_data();
    void guards();
    void contextMenuItems_data();
    void contextMenuItems();
    void contextMenuStartsLikeToolbar_data();
    void contextMenuStartsLikeToolbar();
    void cancelledFileDialogs_data();
    void cancelledFileDialogs();
    void deleteAsksAboutEverySelectedFile_data();
    void deleteAsksAboutEverySelectedFile();
    void sendCollisionLoop_data();
    void sendCollisionLoop();
    void sendEntries_data();
    void sendEntries();
    void downloadCollisionLoop_data();
    void downloadCollisionLoop();
    void copyPutsTemporaryUrlsOnTheClipboard_data();
    void copyPutsTemporaryUrlsOnTheClipboard();
    void rename_data();
    void rename();
    void backupSave_data();
    void backupSave();
    void backupSaveDialogOffersNoFile();
    void restoreReplacesTheFiles();
    void operationKeepsItsCalculatorAndFiles_data();
    void operationKeepsItsCalculatorAndFiles();
    void editorWiring_data();
    void editorWiring();
    void editorWithoutCalculator();
    void errorDialog_data();
    void errorDialog();
    void busyRefusesEverything();
    void screenshots();

private:
    // Plugs calculators with these names and files, then starts the application.
    void start(const QList<QPair<QString, FileList>>& calculators);
    // Waits until a job has ended with this status text.
    void waitForJob(const QString& status);
    // Gives a job that should not have started the time to show itself.
    static void settle() { QTest::qWait(300); }
    void startWithOne(const FileList& files) { start({{"ALPHA", files}}); }
    calcsim::CalcSimulator& sim(int index = 0) { return sims.at(index)->simulator(); }

    std::vector<std::unique_ptr<PluggedSimulator>> sims;
    std::unique_ptr<Application> app;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestMainWindow::initTestCase()
{
    AppStartup::setIdentity();
    // The editor window inside the document uses the highlighting types.
    AppStartup::registerQmlTypes();
    QGuiApplication::setFont(AppStartup::defaultFont(AppStartup::registerFontFamily(AppStartup::codeFontPath)));
    // The offscreen platform has no OpenGL; the windows are drawn in software.
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    calcsim::shortenLinkWaits();
}

void TestMainWindow::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QGuiApplication::clipboard()->clear();
}

void TestMainWindow::cleanup()
{
    QStringList warnings;
    if (app) {
        for (const QQmlError& warning : qAsConst(app->warnings))
            warnings << warning.toString();
    }
    app.reset();
    sims.clear();
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
}

void TestMainWindow::start(const QList<QPair<QString, FileList>>& calculators)
{
    for (const auto& calculator : calculators) {
        sims.push_back(std::make_unique<PluggedSimulator>());
        sims.back()->simulator().setName(calculator.first);
        sims.back()->simulator().setFiles(calculator.second);
    }
    app = std::make_unique<Application>();
    QVERIFY(app->window());
    // What the first poll would do, without waiting a second for it.
    QMetaObject::invokeMethod(&app->session, "update");
    QCOMPARE(app->item("fileListView")->property("count").toInt(), int(calculators.size()));
    app->window()->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(app->window()));
    app->session.onStatusChange(untouched);
}

// Selecting a calculator shows its files; when the current one is unplugged the one before
// it becomes current, and the highlight goes with it.
void TestMainWindow::calculatorList()
{
    const QString longName = "GAMMA" + QString(315, 'M');
    start({{"ALPHA", {{"A1.tcb", "1"}, {"A2.txt", "22"}}}, {"BETA", {{"B.tcb", "b"}}}, {longName, {}}});
    // A long name is cut within the list's pane, clear of the file table.
    const QList<QQuickItem*> shown = app->textsHolding(longName);
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first()->property("truncated").toBool());
    const QQuickItem* pane = app->item("listRectangle");
    QVERIFY(shown.first()->mapRectToItem(pane, shown.first()->boundingRect()).right() <= pane->width());
    QCOMPARE(app->window()->title(), QString("Tavilink 2.6.1"));
    QCOMPARE(app->calcModel.property("currentIndex").toInt(), 0);
    QTRY_COMPARE(app->object("tableView")->property("rowCount").toInt(), 2);

    QTest::mouseClick(app->window(), Qt::LeftButton, Qt::NoModifier, app->calculatorPoint(1));
    QCOMPARE(app->calcModel.property("currentIndex").toInt(), 1);
    QTRY_COMPARE(app->object("tableView")->property("rowCount").toInt(), 1);
    QCOMPARE(app->fileModel.getName(0), QString("B.tcb"));

    sims.at(1)->unplug();
    QMetaObject::invokeMethod(&app->session, "update");
    QCOMPARE(app->calcModel.property("currentIndex").toInt(), 0);
    QCOMPARE(app->item("fileListView")->property("currentIndex").toInt(), 0);
    QCOMPARE(app->fileModel.getName(0), QString("A1.tcb"));
}

void TestMainWindow::guards_data()
{
    QTest::addColumn<int>("calculators");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QByteArray>("dialog");

    const QList<int> none;
    const QString noDownload("No files selected for downloading");
    const QString noDelete("No files selected for deleting");
    const QString noEdit("No file selected for editing");
    QTest::newRow("download, no calculator") << 0 << none << QByteArray("downloadButton") << noDownload << QByteArray();
    QTest::newRow("send, no calculator") << 0 << none << QByteArray("sendButton") << QString(notConnected) << QByteArray();
    QTest::newRow("delete, no calculator") << 0 << none << QByteArray("deleteButton") << noDelete << QByteArray();
    QTest::newRow("edit, no calculator") << 0 << none << QByteArray("editButton") << noEdit << QByteArray();
    QTest::newRow("backup, no calculator") << 0 << none << QByteArray("backupButton") << QString(notConnected) << QByteArray();
    QTest::newRow("restore, no calculator") << 0 << none << QByteArray("restoreButton") << QString(notConnected) << QByteArray();
    QTest::newRow("rename, no calculator") << 0 << none << QByteArray("renameItem") << QString(notConnected) << QByteArray();
    QTest::newRow("download, nothing selected") << 1 << none << QByteArray("downloadButton") << noDownload << QByteArray();
    QTest::newRow("delete, nothing selected") << 1 << none << QByteArray("deleteButton") << noDelete << QByteArray();
    QTest::newRow("edit, no current row") << 1 << none << QByteArray("editButton") << noEdit << QByteArray();
    QTest::newRow("download") << 1 << QList<int>{0} << QByteArray("downloadButton") << QString() << QByteArray("choseFolderDialog");
    QTest::newRow("send") << 1 << none << QByteArray("sendButton") << QString() << QByteArray("choseFileDialog");
    QTest::newRow("delete") << 1 << QList<int>{1} << QByteArray("deleteButton") << QString() << QByteArray("doYouWantDeleteItDialog");
    QTest::newRow("restore") << 1 << none << QByteArray("restoreButton") << QString(untouched) << QByteArray("chooseBackupDialog");
    QTest::newRow("rename") << 1 << none << QByteArray("renameItem") << QString() << QByteArray("changeNameDialog");
}

void TestMainWindow::guards()
{
    QFETCH(int, calculators);
    QFETCH(QList<int>, selected);
    QFETCH(QByteArray, control);
    QFETCH(QString, status);
    QFETCH(QByteArray, dialog);

    start(calculators ? QList<QPair<QString, FileList>>{{"ALPHA", {{"A.tcb", "a"}, {"B.tcb", "b"}}}}
                      : QList<QPair<QString, FileList>>{});
    if (!selected.isEmpty())
        app->selectRows(selected);
    app->session.onStatusChange(untouched);

    if (control == "renameItem") {
        app->click("menuButton");
        QTRY_VERIFY(app->isOpen("optionsMenu"));
    }
    app->click(control.constData());

    QCOMPARE(app->status(), status);
    for (const char* name : {"choseFolderDialog", "choseFileDialog", "doYouWantDeleteItDialog",
                             "chooseBackupDialog", "changeNameDialog"})
        QCOMPARE(app->isOpen(name), dialog == name);
}

void TestMainWindow::contextMenuItems_data()
{
    QTest::addColumn<int>("calculators");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QList<bool>>("enabled");

    QTest::newRow("no calculator") << 0 << QList<int>() << QList<bool>{false, false, false, false, true};
    QTest::newRow("nothing selected") << 1 << QList<int>() << QList<bool>{false, true, false, false, true};
    QTest::newRow("two selected") << 1 << QList<int>{0, 1} << QList<bool>{true, true, true, true, true};
}

void TestMainWindow::contextMenuItems()
{
    QFETCH(int, calculators);
    QFETCH(QList<int>, selected);
    QFETCH(QList<bool>, enabled);

    start(calculators ? QList<QPair<QString, FileList>>{{"ALPHA", {{"A.tcb", "a"}, {"B.tcb", "b"}}}}
                      : QList<QPair<QString, FileList>>{});
    // Left clicks reach the table through the area that opens the menu.
    app->selectRows(selected);
    QCOMPARE(app->selectedCount(), selected.size());

    QTest::mouseClick(app->window(), Qt::RightButton, Qt::NoModifier, app->rowPoint(5));

    QTRY_VERIFY(app->isOpen("tableViewContextMenu"));
    QList<bool> actual;
    for (const char* name : {"downloadItem", "sendItem", "deleteItem", "editItem", "newItem"})
        actual << app->object(name)->property("enabled").toBool();
    QCOMPARE(actual, enabled);
}

void TestMainWindow::contextMenuStartsLikeToolbar_data()
{
    QTest::addColumn<QByteArray>("item");
    QTest::addColumn<QByteArray>("dialog");

    QTest::newRow("download") << QByteArray("downloadItem") << QByteArray("choseFolderDialog");
    QTest::newRow("send") << QByteArray("sendItem") << QByteArray("choseFileDialog");
    QTest::newRow("delete") << QByteArray("deleteItem") << QByteArray("doYouWantDeleteItDialog");
}

// An operation started from the context menu clears the status line as the toolbar does.
void TestMainWindow::contextMenuStartsLikeToolbar()
{
    QFETCH(QByteArray, item);
    QFETCH(QByteArray, dialog);

    startWithOne({{"A.tcb", "a"}});
    app->selectRows({0});
    app->session.onStatusChange("Files successfully deleted");
    QMetaObject::invokeMethod(app->object(item.constData()), "triggered");

    QTRY_VERIFY(app->isOpen(dialog.constData()));
    QCOMPARE(app->status(), QString());
    app->answer(dialog.constData(), false);
}

void TestMainWindow::cancelledFileDialogs_data()
{
    QTest::addColumn<QByteArray>("dialog");
    QTest::addColumn<QString>("status");

    QTest::newRow("download folder") << QByteArray("choseFolderDialog") << QString("Downloading files was cancelled");
    QTest::newRow("files to send") << QByteArray("choseFileDialog") << QString("Sending files was cancelled");
    QTest::newRow("backup to restore") << QByteArray("chooseBackupDialog") << QString("Sending backup files was cancelled");
}

void TestMainWindow::cancelledFileDialogs()
{
    QFETCH(QByteArray, dialog);
    QFETCH(QString, status);

    startWithOne({{"A.tcb", "a"}});
    app->answer(dialog.constData(), false);

    QCOMPARE(app->status(), status);
    QCOMPARE(asMap(sim().files()).keys(), QList<QByteArray>{"A.tcb"});
}

void TestMainWindow::deleteAsksAboutEverySelectedFile_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QList<QByteArray>>("left");

    QTest::newRow("no") << false << QList<QByteArray>{"A.tcb", "B.tcb", "C.tcb", "D.tcb"};
    QTest::newRow("yes") << true << QList<QByteArray>{"C.tcb"};
}

void TestMainWindow::deleteAsksAboutEverySelectedFile()
{
    QFETCH(bool, yes);
    QFETCH(QList<QByteArray>, left);

    startWithOne({{"A.tcb", "a"}, {"B.tcb", "b"}, {"C.tcb", "c"}, {"D.tcb", "d"}});
    app->selectRows({0, 1, 3});
    QTest::keyClick(app->window(), Qt::Key_Delete);

    QVERIFY(app->isOpen("doYouWantDeleteItDialog"));
    QCOMPARE(app->text("doYouWantDeleteItDialog"),
             QString("Do you want to delete next files:\nA.tcb\nB.tcb\nD.tcb?"));
    app->answer("doYouWantDeleteItDialog", yes);

    QCOMPARE(app->selectedCount(), yes ? 0 : 3);
    if (yes)
        waitForJob(SessionTexts::filesDeleted);
    QCOMPARE(asMap(sim().files()).keys(), left);
    QTRY_COMPARE(app->object("tableView")->property("rowCount").toInt(), left.size());
}

void TestMainWindow::waitForJob(const QString& status)
{
    QTRY_COMPARE(app->status(), status);
    QTRY_VERIFY(!app->busy());
}

void TestMainWindow::sendCollisionLoop_data()
{
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<Files>("after");

    const QString replaceProg("File PROG.tcb already exists on your calculator.\nDo you want to replace it?");
    const QString shortened("The file name My Program.tcb exceeds the allowed limit of 14 symbols for a "
                            "file name and 3 symbols for an extension and will be changed to MYPROGRAM.tcb");
    const QString replaceMy("File MYPROGRAM.tcb already exists on your calculator.\nDo you want to replace it?");
    const QStringList threeSteps{"doYouWantSendFile", "fileNameWasChangeDialog", "doYouWantSendFile"};
    QTest::newRow("replace both")
        << threeSteps << QStringList{replaceProg, shortened, replaceMy} << QList<bool>{true, true, true}
        << Files{{"PROG.tcb", "p"}, {"MYPROGRAM.tcb", "m"}, {"NEW.tcb", "n"}};
    QTest::newRow("keep both")
        << threeSteps << QStringList{replaceProg, shortened, replaceMy} << QList<bool>{false, true, false}
        << Files{{"PROG.tcb", "old"}, {"MYPROGRAM.tcb", "old"}, {"NEW.tcb", "n"}};
    QTest::newRow("warning dismissed")
        << QStringList(threeSteps.mid(0, 2)) << QStringList{replaceProg, shortened} << QList<bool>{true, false}
        << Files{{"PROG.tcb", "old"}, {"MYPROGRAM.tcb", "old"}};
}

void TestMainWindow::sendCollisionLoop()
{
    QFETCH(QStringList, dialogs);
    QFETCH(QStringList, texts);
    QFETCH(QList<bool>, answers);
    QFETCH(Files, after);

    startWithOne({{"PROG.tcb", "old"}, {"MYPROGRAM.tcb", "old"}});
    QList<QUrl> urls;
    const QList<QPair<QString, QByteArray>> locals{{"prog.tcb", "p"}, {"My Program.tcb", "m"}, {"new.tcb", "n"}};
    for (const auto& local : locals) {
        QVERIFY(writeFile(dir->filePath(local.first), local.second));
        urls << QUrl::fromLocalFile(dir->filePath(local.first));
    }

    app->call("sendLocalFiles", {urlList(urls)});
    for (int step = 0; step < dialogs.size(); ++step) {
        const QByteArray dialog = dialogs.at(step).toLatin1();
        QVERIFY2(app->isOpen(dialog), dialog);
        QCOMPARE(app->text(dialog), texts.at(step));
        app->answer(dialog, answers.at(step));
    }

    const bool sends = dialogs.size() == 3;
    if (sends)
        waitForJob(SessionTexts::filesSent);
    QVERIFY(!app->isOpen("doYouWantSendFile") && !app->isOpen("fileNameWasChangeDialog"));
    QCOMPARE(app->busy(), false);
    QCOMPARE(asMap(sim().files()), after);
}

void TestMainWindow::sendEntries_data()
{
    QTest::addColumn<int>("calculators");
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("withUrls");
    QTest::addColumn<bool>("sends");

    QTest::newRow("file dialog") << 1 << "dialog" << true << true;
    QTest::newRow("paste") << 1 << "paste" << true << true;
    QTest::newRow("drop") << 1 << "drop" << true << true;
    QTest::newRow("paste without URLs") << 1 << "paste" << false << false;
    QTest::newRow("drop without URLs") << 1 << "drop" << false << false;
    QTest::newRow("drop of a web link") << 1 << "web link" << true << false;
    QTest::newRow("paste, no calculator") << 0 << "paste" << true << false;
    QTest::newRow("drop, no calculator") << 0 << "drop" << true << false;
}

void TestMainWindow::sendEntries()
{
    QFETCH(int, calculators);
    QFETCH(QString, way);
    QFETCH(bool, withUrls);
    QFETCH(bool, sends);

    start({{"ALPHA", {{"A.tcb", "a"}}}});
    if (!calculators) {
        sims.front()->unplug();
        QMetaObject::invokeMethod(&app->session, "update");
        app->session.onStatusChange(untouched);
    }
    QVERIFY(writeFile(dir->filePath("add.tcb"), "x"));
    const QUrl url =
        way == "web link" ? QUrl("http://localhost/add.tcb") : QUrl::fromLocalFile(dir->filePath("add.tcb"));
    const QList<QUrl> urls = withUrls ? QList<QUrl>{url} : QList<QUrl>();

    if (way == "dialog") {
        app->click("sendButton");
        QTRY_VERIFY(app->isOpen("choseFileDialog"));
        app->call("sendChosenFiles", {urlList(urls)});
    } else if (way == "paste") {
        auto* data = new QMimeData;
        data->setText("add.tcb");
        if (withUrls)
            data->setUrls(urls);
        QGuiApplication::clipboard()->setMimeData(data);
        QTest::keySequence(app->window(), QKeySequence::Paste);
    } else {
        // Files are taken as a copy, text and links not at all: the source keeps what it dragged.
        const Qt::DropAction taken = withUrls && way == "drop" ? Qt::CopyAction : Qt::IgnoreAction;
        QCOMPARE(app->drop(urls, "add.tcb"), QList<Qt::DropAction>({taken, taken, taken}));
    }

    if (sends)
        waitForJob(SessionTexts::filesSent);
    else
        settle();
    QCOMPARE(app->status(), QString(sends ? SessionTexts::filesSent : untouched));
    QCOMPARE(asMap(sim().files()).contains("ADD.tcb"), sends);
}

void TestMainWindow::downloadCollisionLoop_data()
{
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QList<QByteArray>>("local");

    QTest::newRow("keep both") << QList<bool>{false, false} << QList<QByteArray>{"oldA", "b", "oldC"};
    QTest::newRow("replace the first") << QList<bool>{true, false} << QList<QByteArray>{"a", "b", "oldC"};
}

void TestMainWindow::downloadCollisionLoop()
{
    QFETCH(QList<bool>, answers);
    QFETCH(QList<QByteArray>, local);

    startWithOne({{"A.tcb", "a"}, {"B.tcb", "b"}, {"C.tcb", "c"}});
    QVERIFY(writeFile(dir->filePath("A.tcb"), "oldA"));
    QVERIFY(writeFile(dir->filePath("C.tcb"), "oldC"));
    app->clickRow(0);
    app->clickRow(2, Qt::ShiftModifier);
    app->click("downloadButton");
    QTRY_VERIFY(app->isOpen("choseFolderDialog"));

    app->call("downloadToFolder", {QUrl::fromLocalFile(dir->path())});
    const QStringList asked{"A.tcb", "C.tcb"};
    for (int step = 0; step < answers.size(); ++step) {
        QVERIFY(app->isOpen("doYouWantDownloadFile"));
        QCOMPARE(app->text("doYouWantDownloadFile"),
                 "File " + asked.at(step) + " already exists on your PC.\nDo you want to replace it?");
        app->answer("doYouWantDownloadFile", answers.at(step));
    }

    waitForJob(SessionTexts::filesDownloaded + dir->path() + "/");
    QCOMPARE((QList<QByteArray>{fileContent(dir->filePath("A.tcb")), fileContent(dir->filePath("B.tcb")),
                                fileContent(dir->filePath("C.tcb"))}),
             local);
    QCOMPARE(app->selectedCount(), 3);
}

void TestMainWindow::copyPutsTemporaryUrlsOnTheClipboard_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<bool>("firstRefused");
    QTest::addColumn<QStringList>("copied");
    // Copied by the user while the copy runs: left alone by its end.
    QTest::addColumn<QString>("newer");

    const QString none;
    QTest::newRow("two files") << QList<int>{0, 2} << false << QStringList{"TLCOPY1.tcb", "TLCOPY3.tcb"} << none;
    QTest::newRow("nothing selected") << QList<int>() << false << QStringList() << none;
    QTest::newRow("first fetch refused") << QList<int>{0, 2} << true << QStringList{"TLCOPY3.tcb"} << none;
    QTest::newRow("other files copied meanwhile")
        << QList<int>{0, 2} << true << QStringList{"TLCOPY3.tcb"} << "/home/a/other.tcb";
    QTest::newRow("text copied meanwhile, nothing selected") << QList<int>() << false << QStringList() << "text";
}

void TestMainWindow::copyPutsTemporaryUrlsOnTheClipboard()
{
    QFETCH(QList<int>, selected);
    QFETCH(bool, firstRefused);
    QFETCH(QStringList, copied);
    QFETCH(QString, newer);

    const FileList files{{"TLCOPY1.tcb", "one"}, {"TLCOPY2.tcb", "two"}, {"TLCOPY3.tcb", "three"}};
    startWithOne(files);
    if (firstRefused) {
        sim().clearReceived();
        calcsim::Fault refusal; // the answer to the first fetch, after the device information
        refusal.message = 2;
        refusal.mode = calcsim::FaultMode::Failed;
        sim().addFault(refusal);
    }
    for (const char* name : {"TLCOPY1.tcb", "TLCOPY3.tcb"})
        QFile::remove(QDir::tempPath() + "/" + name);
    app->selectRows(selected);
    QTest::keySequence(app->window(), QKeySequence::Copy);

    QList<QUrl> expected;
    for (const QString& name : copied)
        expected << QUrl::fromLocalFile(QDir::tempPath() + "/" + name);
    if (!firstRefused) // at once, before the job has written them
        QCOMPARE(app->clipboard.getUrls(), expected);
    // Before the job's end reaches the window.
    const QList<QUrl> newerUrls = newer.startsWith('/') ? QList<QUrl>{QUrl::fromLocalFile(newer)} : QList<QUrl>();
    if (!newer.isEmpty() && newerUrls.isEmpty())
        QGuiApplication::clipboard()->setText(newer);
    else if (!newer.isEmpty())
        app->clipboard.setUrls(newerUrls);
    if (firstRefused) {
        QTRY_VERIFY(app->status().startsWith(SessionTexts::errorPrefix));
        QTRY_VERIFY(!app->busy());
    } else {
        waitForJob(SessionTexts::filesDownloaded + QDir::tempPath() + "/");
    }
    if (!newer.isEmpty()) {
        QCOMPARE(app->clipboard.getUrls(), newerUrls);
        if (newerUrls.isEmpty())
            QCOMPARE(QGuiApplication::clipboard()->text(), newer);
    } else {
        // Only the files the copy wrote.
        QCOMPARE(app->clipboard.getUrls(), expected);
        QCOMPARE(app->clipboard.hasUrls(), !copied.isEmpty());
    }
    const auto onCalculator = asMap(files);
    for (const QUrl& url : expected) {
        QCOMPARE(fileContent(url.toLocalFile()), onCalculator.value(url.fileName().toLatin1()));
        QFile::remove(url.toLocalFile());
    }
}

void TestMainWindow::rename_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enter");
    QTest::addColumn<QString>("name");

    QTest::newRow("OK") << "NEWNAME" << false << "NEWNAME";
    QTest::newRow("Enter") << "ENTERED" << true << "ENTERED";
    QTest::newRow("at most 16 characters") << "ABCDEFGHIJKLMNOPQRST" << false << "ABCDEFGHIJKLMNOP";
    QTest::newRow("empty") << "" << false << "ALPHA";
    QTest::newRow("empty, Enter") << "" << true << "ALPHA";
}

void TestMainWindow::rename()
{
    QFETCH(QString, typed);
    QFETCH(bool, enter);
    QFETCH(QString, name);

    startWithOne({{"A.tcb", "a"}});
    app->call("startRename");
    QTRY_VERIFY(app->isOpen("changeNameDialog"));
    QObject* field = app->object("newNameField");
    QCOMPARE(field->property("text").toString(), QString("ALPHA"));
    QCOMPARE(field->property("selectedText").toString(), QString("ALPHA"));

    // Typing replaces the selected name.
    QTest::keyClick(app->window(), Qt::Key_Backspace);
    for (const QChar c : typed)
        QTest::keyClick(app->window(), c.toLatin1());
    if (enter)
        QTest::keyClick(app->window(), Qt::Key_Return);
    else
        app->answer("changeNameDialog", true);

    QTRY_VERIFY(!app->isOpen("changeNameDialog"));
    if (name != "ALPHA")
        waitForJob(SessionTexts::nameChanged);
    else
        settle();
    QCOMPARE(sim().name(), name);
    QCOMPARE(app->calcModel.getName(), name);
}

void TestMainWindow::backupSave_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("saved");    // the path the window names, "" when none
    QTest::addColumn<bool>("fails");
    QTest::addColumn<QByteArray>("before"); // at that path first: "<folder>", an older backup, or null
    QTest::addColumn<int>("diskKiB");       // the folder "disk" is a file system of this size
    QTest::addColumn<int>("backups");       // made and saved there one after the other
    // To the question whether to replace what stands at the path: "" when none is asked.
    QTest::addColumn<QString>("answer");

    const QByteArray none;
    const QByteArray older("older backup");
    QTest::newRow("suffix appended") << "X" << false << "X.tbk" << false << none << 0 << 1 << "";
    QTest::newRow("suffix compared with its case") << "X.TBK" << false << "X.TBK.tbk" << false << none << 0 << 1 << "";
    QTest::newRow("suffix present") << "x.tbk" << false << "x.tbk" << false << none << 0 << 1 << "";
    // The path names the folder itself.
    QTest::newRow("empty name") << "" << false << "" << true << none << 0 << 1 << "";
    QTest::newRow("cancelled") << "X" << true << "" << false << none << 0 << 1 << "";
    QTest::newRow("onto the archive itself") << "<archive>" << false << "<archive>" << false << none << 0 << 1 << "";
    QTest::newRow("onto a folder") << "X" << false << "X.tbk" << true << QByteArray("<folder>") << 0 << 1 << "";
    QTest::newRow("folder gone") << "gone/X" << false << "gone/X.tbk" << true << none << 0 << 1 << "";
    QTest::newRow("folder gone, twice in a row") << "gone/X" << false << "gone/X.tbk" << true << none << 0 << 2 << "";
    QTest::newRow("over an older backup") << "X" << false << "X.tbk" << false << older << 0 << 1 << "Yes";
    QTest::newRow("over an older backup, refused") << "X" << false << "X.tbk" << false << older << 0 << 1 << "No";
    QTest::newRow("over an older backup on another file system")
        << "disk/X" << false << "disk/X.tbk" << false << older << 1024 << 1 << "Yes";
    // The older backup takes the one page there is; the new archive needs more.
    QTest::newRow("over an older backup on a full disk")
        << "disk/X" << false << "disk/X.tbk" << true << older << 4 << 1 << "Yes";
}

void TestMainWindow::backupSave()
{
    QFETCH(QString, chosen);
    QFETCH(bool, cancel);
    QFETCH(QString, saved);
    QFETCH(bool, fails);
    QFETCH(QByteArray, before);
    QFETCH(int, diskKiB);
    QFETCH(int, backups);
    QFETCH(QString, answer);

    std::unique_ptr<SmallDisk> disk;
    if (diskKiB) {
        disk = std::make_unique<SmallDisk>(dir->filePath("disk"), diskKiB);
        QVERIFY(disk->mounted);
    }
    if (before == "<folder>")
        QVERIFY(QDir().mkpath(dir->filePath(saved)));
    else if (!before.isNull())
        QVERIFY(writeFile(dir->filePath(saved), before));
    const FileList files{{"A.tcb", "a"}, {"B.tcb", "b"}, {"BIG.bin", testBytes(6000)}};
    // A kept archive is named after the calculator, in a form fit for a file name.
    start({{"../Tavi Calc", files}});
    const QRegularExpression keptName(R"(^backup-___Tavi_Calc-\d{8}-\d{6}(-\d+)?\.tbk$)");
    app->click("backupButton");
    QTRY_VERIFY(app->isOpen("backupSaveDialog"));
    const QString archive = app->window()->property("backupFile").toString();
    const QByteArray archiveBytes = fileContent(archive);
    QVERIFY(archiveBytes.startsWith("PK"));

    const QString path = chosen == "<archive>" ? archive : dir->path() + "/" + chosen;
    const QString savedPath = saved == "<archive>" ? archive : dir->path() + "/" + saved;
    if (cancel) {
        app->answer("backupSaveDialog", false);
    } else {
        // As the dialog's accept: it closes, then hands over the path.
        QMetaObject::invokeMethod(app->object("backupSaveDialog"), "close");
        app->call("saveBackupAs", {QUrl::fromLocalFile(path)});
    }
    // Asked once, and only when a file stands there.
    QCOMPARE(app->isOpen("doYouWantReplaceBackup"), !answer.isEmpty());
    if (!answer.isEmpty()) {
        QCOMPARE(app->text("doYouWantReplaceBackup"),
                 "File " + savedPath + " already exists on your PC.\nDo you want to replace it?");
        app->answer("doYouWantReplaceBackup", answer == "Yes");
        QTRY_VERIFY(!app->isOpen("doYouWantReplaceBackup"));
    }

    if (fails) {
        // Nothing was lost: what stood there stays, and the archive is kept whole beside the
        // temporary one, under a name of its own that no later backup takes.
        const QString failureStart = "Error: the backup could not be saved on the path: " + savedPath
                                     + ". It is kept at: ";
        QStringList kept;
        for (int made = 1;; ++made) {
            const QString failure = app->status();
            QVERIFY2(failure.startsWith(failureStart), qPrintable(failure));
            kept << failure.mid(failureStart.size());
            QCOMPARE(app->session.property("error").toString(), failure);
            QVERIFY(app->isOpen("errorMessageDialog"));
            QCOMPARE(QFileInfo(kept.last()).path(), QFileInfo(archive).path());
            QVERIFY2(keptName.match(QFileInfo(kept.last()).fileName()).hasMatch(), qPrintable(kept.last()));
            QCOMPARE(kept.count(kept.last()), 1);
            if (made == backups)
                break;
            // The next backup, from a window that the save dialog no longer holds.
            QMetaObject::invokeMethod(app->object("backupSaveDialog"), "close");
            QTRY_VERIFY(!app->isOpen("backupSaveDialog"));
            QSignalSpy loaded(&app->session, SIGNAL(backupLoaded(QString)));
            app->click("backupButton");
            QTRY_COMPARE(loaded.count(), 1);
            app->call("saveBackupAs", {QUrl::fromLocalFile(path)});
        }
        QCOMPARE(fileContent(kept.first()), archiveBytes);
        QCOMPARE(zipcheck::entries(zipcheck::inspect(kept.first())), zipcheck::asEntries(files));
        for (const QString& keptPath : qAsConst(kept))
            QFile::remove(keptPath);
        if (before == "<folder>")
            QVERIFY(QFileInfo(savedPath).isDir());
        else
            QCOMPARE(fileContent(savedPath), before.isNull() ? QByteArray("<missing>") : before);
    } else if (answer == "No") {
        // Nothing moved: the older file and the archive stay, and the save is offered again.
        QCOMPARE(app->status(), QString(untouched));
        QCOMPARE(fileContent(savedPath), before);
        QCOMPARE(fileContent(archive), archiveBytes);
        QVERIFY(app->isOpen("backupSaveDialog"));
        QVERIFY(!app->isOpen("doYouWantReplaceBackup"));
    } else {
        QCOMPARE(app->status(), saved.isEmpty() ? QString(untouched) : "Backup saved on the path: " + savedPath);
        QCOMPARE(QFile::exists(archive), saved == "<archive>");
        if (!saved.isEmpty())
            QCOMPARE(fileContent(savedPath), archiveBytes);
    }
    // No second copy, whole or cut, is left beside the path.
    const bool standsThere = (!fails && !saved.isEmpty() && saved != "<archive>") || !before.isNull();
    const QFileInfo target(savedPath);
    const QString folder = saved.isEmpty() || saved == "<archive>" ? dir->path() : target.path();
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             standsThere ? QStringList{target.fileName()} : QStringList());
    QFile::remove(archive);
}

// Where the platform has no file dialog, Qt's own is used: it keeps the path typed last, so
// one click on Save would replace the last backup with this one.
void TestMainWindow::backupSaveDialogOffersNoFile()
{
    startWithOne({{"A.tcb", "a"}});
    const QString saved = dir->filePath("old.tbk");
    for (int backup = 1; backup <= 2; ++backup) {
        app->click("backupButton");
        QTRY_VERIFY(app->isOpen("backupSaveDialog"));
        QTRY_VERIFY(!app->busy());
        // The dialog lists its folder once it has read it.
        const QQuickItem* list = fileDialogPart(app->object("backupSaveDialog"), "sortIndicatorColumn");
        QVERIFY(list);
        QTRY_VERIFY(list->property("model").value<QObject*>());
        QQuickItem* field = fileDialogPart(app->object("backupSaveDialog"), "doAccept()");
        QVERIFY(field);
        QVERIFY2(!field->property("text").toString().endsWith(".tbk"), qPrintable(field->property("text").toString()));
        if (backup == 2) {
            // Save at once: the dialog stays, and nothing is replaced.
            const QByteArray first = fileContent(saved);
            QMetaObject::invokeMethod(field, "doAccept");
            QVERIFY(app->isOpen("backupSaveDialog"));
            QVERIFY(!app->isOpen("doYouWantReplaceBackup"));
            QCOMPARE(fileContent(saved), first);
            QMetaObject::invokeMethod(app->object("backupSaveDialog"), "reject");
            break;
        }
        field->setProperty("text", saved);
        QMetaObject::invokeMethod(field, "doAccept");
        QTRY_VERIFY(!app->isOpen("backupSaveDialog"));
        QCOMPARE(app->status(), "Backup saved on the path: " + saved);
    }
}

void TestMainWindow::restoreReplacesTheFiles()
{
    const FileList files{{"A.tcb", "a"}, {"B.txt", "bb"}, {"EMPTY.bin", ""}};
    startWithOne(files);
    sim().setRebootMs(20);
    app->click("backupButton");
    QTRY_VERIFY(app->isOpen("backupSaveDialog"));
    QTRY_VERIFY(!app->busy()); // the backup job ends after it has handed over the archive
    const QUrl backup = QUrl::fromLocalFile(dir->filePath("saved"));
    app->call("saveBackupAs", {backup});
    sim().setFiles({{"OTHER.tcb", "o"}});
    app->selectRows({2});

    app->call("restoreFrom", {QUrl::fromLocalFile(dir->filePath("saved.tbk"))});

    waitForJob(SessionTexts::backupSent);
    QCOMPARE(asMap(sim().files()), asMap(files));
    QTRY_COMPARE(app->object("tableView")->property("rowCount").toInt(), files.size());
    // The reloaded rows are other files: nothing stays selected.
    QCOMPARE(app->selectedCount(), 0);
}

void TestMainWindow::operationKeepsItsCalculatorAndFiles_data()
{
    QTest::addColumn<QString>("operation");
    // What happens while its dialog or question is open: ALPHA leaves, GAMMA arrives, GAMMA
    // takes ALPHA's port (seen by a poll, or unseen when the answer comes first), the editor's
    // send dialog opens and is cancelled, or files are dropped on the table.
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Files>("alphaAfter"); // when ALPHA stays
    QTest::addColumn<Files>("local");      // in the download folder

    const QString downloaded = "<downloaded>";
    const QString leaves = "ALPHA leaves";
    const Files alpha{{"A1.txt", "a1"}, {"A2.txt", "a2"}};
    const Files old{{"A1.txt", "old"}};
    const Files deleted{{"A2.txt", "a2"}};
    const Files fetched{{"A1.txt", "a1"}};
    QTest::newRow("restore, calculator left") << "restore" << leaves << notConnected << Files() << Files();
    QTest::newRow("rename, calculator left") << "rename" << leaves << notConnected << Files() << Files();
    QTest::newRow("send question, calculator left") << "send question" << leaves << notConnected << Files() << Files();
    QTest::newRow("send dialog, calculator left") << "send dialog" << leaves << notConnected << Files() << Files();
    QTest::newRow("download question, calculator left")
        << "download question" << leaves << notConnected << Files() << old;
    QTest::newRow("download folder, calculator left") << "download folder" << leaves << notConnected << Files() << Files();
    QTest::newRow("delete question, calculator left") << "delete question" << leaves << notConnected << Files() << Files();
    for (const QString swap : {"GAMMA swapped in", "GAMMA swapped in unseen"}) {
        QTest::newRow(qPrintable("delete question, " + swap)) << "delete question" << swap << notConnected << Files() << Files();
        QTest::newRow(qPrintable("restore, " + swap)) << "restore" << swap << notConnected << Files() << Files();
    }
    QTest::newRow("delete question, another arrives")
        << "delete question" << "GAMMA arrives" << SessionTexts::filesDeleted << deleted << Files();
    QTest::newRow("download folder, another arrives")
        << "download folder" << "GAMMA arrives" << downloaded << alpha << fetched;
    QTest::newRow("delete question, editor's send dialog")
        << "delete question" << "editor" << SessionTexts::filesDeleted << deleted << Files();
    QTest::newRow("download folder, editor's send dialog")
        << "download folder" << "editor" << downloaded << alpha << fetched;
    QTest::newRow("delete question, files dropped")
        << "delete question" << "drop" << SessionTexts::filesDeleted << deleted << Files();
    QTest::newRow("download folder, files dropped") << "download folder" << "drop" << downloaded << alpha << fetched;
}

// An operation acts on the calculator it was begun for and on the files selected then, whatever
// calculator comes or goes, and whatever the editor's send dialog or a drop would begin, while
// its dialog or question is open; BETA, next to it, is never touched.
void TestMainWindow::operationKeepsItsCalculatorAndFiles()
{
    QFETCH(QString, operation);
    QFETCH(QString, meanwhile);
    QFETCH(QString, status);
    QFETCH(Files, alphaAfter);
    QFETCH(Files, local);

    if (status == "<downloaded>")
        status = SessionTexts::filesDownloaded + dir->path() + "/";
    QString archive;
    if (operation == "restore") {
        calcsim::PluggedSimulator source;
        source->setFiles({{"R.txt", "r"}});
        const std::optional<QString> written = CTaviCalc(source.portInfo()).createBackup();
        QVERIFY(written && !written->isEmpty());
        archive = dir->filePath("saved.tbk");
        QVERIFY(QFile::rename(*written, archive));
    }
    const FileList beta{{"A1.txt", "b1"}, {"NEW.txt", "beta"}, {"KEEP.txt", "k"}};
    start({{"ALPHA", {{"A1.txt", "a1"}, {"A2.txt", "a2"}}}, {"BETA", beta}});
    const QList<QUrl> sent{QUrl::fromLocalFile(dir->filePath("a1.txt")), QUrl::fromLocalFile(dir->filePath("new.txt"))};
    QVERIFY(writeFile(sent.first().toLocalFile(), "x"));
    QVERIFY(writeFile(sent.last().toLocalFile(), "n"));
    if (operation == "send question") {
        app->clipboard.setUrls(sent);
        QTest::keySequence(app->window(), QKeySequence::Paste);
        QVERIFY(app->isOpen("doYouWantSendFile"));
    } else if (operation == "send dialog") {
        app->click("sendButton");
        QTRY_VERIFY(app->isOpen("choseFileDialog"));
    } else if (operation == "restore") {
        app->click("restoreButton");
        QTRY_VERIFY(app->isOpen("chooseBackupDialog"));
    } else if (operation == "rename") {
        app->call("startRename");
        QTRY_VERIFY(app->isOpen("changeNameDialog"));
    } else {
        app->selectRows({0});
        if (operation == "delete question") {
            QTest::keyClick(app->window(), Qt::Key_Delete);
            QVERIFY(app->isOpen("doYouWantDeleteItDialog"));
        } else {
            app->click("downloadButton");
            QTRY_VERIFY(app->isOpen("choseFolderDialog"));
        }
        if (operation == "download question") {
            QVERIFY(writeFile(dir->filePath("A1.txt"), "old"));
            app->call("downloadToFolder", {QUrl::fromLocalFile(dir->path())});
            QVERIFY(app->isOpen("doYouWantDownloadFile"));
        }
    }

    const bool alphaLeaves = meanwhile == "ALPHA leaves" || meanwhile.startsWith("GAMMA swapped");
    const FileList gamma{{"A1.txt", "g1"}};
    if (meanwhile == "editor") {
        QObject* editor = app->editor();
        editor->setProperty("visible", true);
        QObject* sendDialog = editor->findChild<QObject*>("tcbSendDialog");
        QMetaObject::invokeMethod(sendDialog, "open");
        QTRY_VERIFY(sendDialog->property("visible").toBool());
        QMetaObject::invokeMethod(sendDialog, "reject");
        QTRY_VERIFY(!sendDialog->property("visible").toBool());
        editor->setProperty("visible", false);
    } else if (meanwhile == "drop") {
        QVERIFY(writeFile(dir->filePath("dropped.txt"), "d"));
        QCOMPARE(app->drop({QUrl::fromLocalFile(dir->filePath("dropped.txt"))}),
                 QList<Qt::DropAction>({Qt::IgnoreAction, Qt::IgnoreAction, Qt::IgnoreAction}));
    } else {
        if (alphaLeaves)
            sims.front()->unplug();
        if (meanwhile != "ALPHA leaves") {
            sims.push_back(std::make_unique<PluggedSimulator>());
            sims.back()->simulator().setName("GAMMA");
            sims.back()->simulator().setFiles(gamma);
        }
        if (!meanwhile.endsWith("unseen")) {
            QMetaObject::invokeMethod(&app->session, "update");
            QCOMPARE(app->item("fileListView")->property("count").toInt(), int(sims.size()) - (alphaLeaves ? 1 : 0));
            QCOMPARE(app->calcModel.getName(), QString(alphaLeaves ? "BETA" : "ALPHA"));
            QCOMPARE(app->selectedCount(), 0);
        }
    }

    if (operation == "send question") {
        app->answer("doYouWantSendFile", false);
    } else if (operation == "send dialog") {
        // The files are chosen in the dialog, which hands them on itself.
        QObject* dialog = app->object("choseFileDialog");
        QVERIFY(QMetaObject::invokeMethod(dialog, "clearSelection"));
        for (const QUrl& url : sent) {
            bool chosen = false;
            QVERIFY(QMetaObject::invokeMethod(dialog, "addSelection", Q_RETURN_ARG(bool, chosen), Q_ARG(QUrl, url)));
            QVERIFY(chosen);
        }
        QMetaObject::invokeMethod(dialog, "accept");
        QVERIFY(!app->isOpen("doYouWantSendFile"));
    } else if (operation == "restore") {
        app->call("restoreFrom", {QUrl::fromLocalFile(archive)});
    } else if (operation == "rename") {
        app->object("newNameField")->setProperty("text", "RENAMED");
        app->answer("changeNameDialog", true);
    } else if (operation == "delete question") {
        app->answer("doYouWantDeleteItDialog", true);
    } else if (operation == "download folder") {
        app->call("downloadToFolder", {QUrl::fromLocalFile(dir->path())});
    } else {
        app->answer("doYouWantDownloadFile", true);
    }

    if (status == notConnected) {
        settle();
        QVERIFY(!app->busy());
        QCOMPARE(app->status(), status);
    } else {
        waitForJob(status);
        QCOMPARE(asMap(sim(0).files()), alphaAfter);
    }
    QCOMPARE(asMap(sim(1).files()), asMap(beta));
    QCOMPARE(sim(1).name(), QString("BETA"));
    if (sims.size() > 2)
        QCOMPARE(asMap(sim(2).files()), asMap(gamma));
    Files inFolder;
    for (const QFileInfo& file : QDir(dir->path()).entryInfoList({"A*"}, QDir::Files | QDir::CaseSensitive))
        inFolder.insert(file.fileName().toLatin1(), fileContent(file.filePath()));
    QCOMPARE(inFolder, local);
}

void TestMainWindow::editorWiring_data()
{
    QTest::addColumn<QString>("opener");
    QTest::addColumn<bool>("failing"); // the calculator falls silent in the fetch

    QTest::newRow("double click") << "double click" << false;
    QTest::newRow("toolbar") << "editButton" << false;
    QTest::newRow("context menu") << "editItem" << false;
    QTest::newRow("failed fetch") << "double click" << true;
}

// Opens a program from the calculator, sends the editor's text back and saves it locally.
void TestMainWindow::editorWiring()
{
    QFETCH(QString, opener);
    QFETCH(bool, failing);

    startWithOne({{"A.txt", "a"}, {"PRGM.tcb", "Disp 1"}});
    if (failing) {
        sim().clearReceived();
        silence(sim(), 2, 2); // on the first piece, after the device information
    }
    if (opener == "double click") {
        QTest::mouseDClick(app->window(), Qt::LeftButton, Qt::NoModifier, app->rowPoint(1));
    } else {
        app->selectRows({0, 1});
        if (opener == "editItem") {
            QTest::mouseClick(app->window(), Qt::RightButton, Qt::NoModifier, app->rowPoint(1));
            QTRY_VERIFY(app->isOpen("tableViewContextMenu"));
        }
        app->click(opener.toLatin1().constData());
        QCOMPARE(app->selectedCount(), 1);
    }
    QObject* editor = app->editor();
    if (failing) {
        // An empty editor would pass for an empty program: none opens, and the user is told.
        QTRY_VERIFY(app->isOpen("errorMessageDialog"));
        QVERIFY(!editor->property("visible").toBool());
        QCOMPARE(app->object("statusLine")->property("text").toString(),
                 QString("Error: Connection error (error code: 421)"));
        return;
    }
    QTRY_VERIFY(editor->property("visible").toBool());
    QCOMPARE(editor->property("fileName").toString(), QString("PRGM.tcb"));
    QCOMPARE(editor->findChild<QObject*>("textArea")->property("text").toString(), QString("Disp 1"));

    QMetaObject::invokeMethod(editor, "sendFile", Q_ARG(QString, "SENT.tcb"), Q_ARG(QString, "Disp 2"));
    QCOMPARE(asMap(sim().files()).value("SENT.tcb"), QByteArray("Disp 2\n"));
    QCOMPARE(editor->findChild<QObject*>("statusLine")->property("text").toString(),
             QString("File successfully sent to the device"));
    QTRY_COMPARE(app->object("tableView")->property("rowCount").toInt(), 3);

    const QString local = dir->filePath("SAVED.tcb");
    QMetaObject::invokeMethod(editor, "saveFile", Q_ARG(QString, local), Q_ARG(QString, "Disp 3"));
    QCOMPARE(fileContent(local), QByteArray("Disp 3\n"));
    QCOMPARE(editor->findChild<QObject*>("statusLine")->property("text").toString(),
             QString("File successfully saved"));
}

void TestMainWindow::editorWithoutCalculator()
{
    start({});
    app->click("newFileButton");
    QObject* editor = app->editor();
    QTRY_VERIFY(editor->property("visible").toBool());

    QMetaObject::invokeMethod(editor, "sendFile", Q_ARG(QString, "P.tcb"), Q_ARG(QString, "Disp 1"));

    QCOMPARE(app->status(), QString("No calculator is connected"));
    QCOMPARE(editor->findChild<QObject*>("statusLine")->property("text").toString(), QString(notConnected));
}

void TestMainWindow::errorDialog_data()
{
    QTest::addColumn<QString>("name");     // of the calculator, and of its file that has gone
    QTest::addColumn<QString>("shortcut"); // used while the dialog is open
    // "cleared": the error text is emptied, by the job that the shortcut starts or else by hand.
    QTest::addColumn<QString>("closing");

    const QString none;
    QTest::newRow("OK") << "ALPHA" << none << "OK";
    QTest::newRow("closed otherwise") << "ALPHA" << none << "rejected";
    QTest::newRow("error cleared") << "ALPHA" << none << "cleared";
    QTest::newRow("Copy while open starts a job") << "ALPHA" << "Copy" << "cleared";
    QTest::newRow("Paste while open starts a job") << "ALPHA" << "Paste" << "cleared";
    QTest::newRow("Delete while open, Escape closes") << "ALPHA" << "Delete" << "Escape";
    QTest::newRow("names with markup")
        << R"(<b>BOLD</b><br>x<img src="http://127.0.0.1:$port/n.png">)" << none << "OK";
}

void TestMainWindow::errorDialog()
{
    QFETCH(QString, name);
    QFETCH(QString, shortcut);
    QFETCH(QString, closing);

    WatchedServer server;
    QVERIFY(server.listening);
    name = server.withPort(name);
    const QByteArray gone = name.toLatin1() + ".tcb";
    start({{name, {{gone, "g"}, {"KEPT.tcb", "k"}}}});
    // A name is shown as it is: one line, whatever markup it holds.
    QCOMPARE(app->lineCountsOfTextsHolding(name), (QList<int>{1, 1}));
    sim().setFiles({{"KEPT.tcb", "k"}}); // deleted behind the program's back: the calculator refuses
    app->selectRows({0});
    QTest::keyClick(app->window(), Qt::Key_Delete);
    QCOMPARE(app->text("doYouWantDeleteItDialog"), "Do you want to delete next files:\n" + gone + "?");
    app->answer("doYouWantDeleteItDialog", true);

    QTRY_VERIFY(app->isOpen("errorMessageDialog"));
    const QString error = app->session.property("error").toString();
    QVERIFY(!error.isEmpty());
    QTRY_VERIFY(!app->busy());
    QVERIFY(app->status().startsWith(SessionTexts::errorPrefix));

    // The main window's shortcuts work as they do without the dialog. Rows are selected
    // without a click, which would close the dialog.
    if (!shortcut.isEmpty()) {
        QTRY_COMPARE(app->object("tableView")->property("rowCount").toInt(), 1);
        QMetaObject::invokeMethod(app->selection(), "select", Q_ARG(QVariant, 0), Q_ARG(QVariant, 0));
    }
    if (shortcut == "Copy") {
        QTest::keySequence(app->window(), QKeySequence::Copy);
        const QUrl copied = QUrl::fromLocalFile(QDir::tempPath() + "/KEPT.tcb");
        QCOMPARE(app->clipboard.getUrls(), QList<QUrl>{copied});
        waitForJob(SessionTexts::filesDownloaded + QDir::tempPath() + "/");
        QCOMPARE(fileContent(copied.toLocalFile()), QByteArray("k"));
        QFile::remove(copied.toLocalFile());
    } else if (shortcut == "Paste") {
        QVERIFY(writeFile(dir->filePath("add.tcb"), "x"));
        app->clipboard.setUrls({QUrl::fromLocalFile(dir->filePath("add.tcb"))});
        QTest::keySequence(app->window(), QKeySequence::Paste);
        waitForJob(SessionTexts::filesSent);
        QCOMPARE(asMap(sim().files()).value("ADD.tcb"), QByteArray("x"));
    } else if (shortcut == "Delete") {
        QTest::keyClick(app->window(), Qt::Key_Delete);
        QVERIFY(app->isOpen("doYouWantDeleteItDialog"));
        QCOMPARE(app->text("doYouWantDeleteItDialog"), QString("Do you want to delete next files:\nKEPT.tcb?"));
        app->answer("doYouWantDeleteItDialog", false);
    }
    // The dialog shows the error text: it stays open as long as there is one.
    QCOMPARE(app->isOpen("errorMessageDialog"), !app->session.property("error").toString().isEmpty());
    QCOMPARE(app->isOpen("errorMessageDialog"), closing != "cleared" || shortcut.isEmpty());

    if (closing == "Escape")
        QTest::keyClick(app->window(), Qt::Key_Escape);
    else if (closing == "cleared")
        app->session.setProperty("error", "");
    else
        app->answer("errorMessageDialog", closing == "OK");
    QTRY_VERIFY(!app->isOpen("errorMessageDialog"));
    QCOMPARE(app->session.property("error").toString(), QString(""));

    // The same text again opens the dialog again.
    app->session.setProperty("error", error);
    QVERIFY(app->isOpen("errorMessageDialog"));

    // Names reach the status line and the error dialog in texts of the window's own (a backup
    // path, for one); they are shown as they are, and no image is fetched for them.
    app->session.onStatusChange(name);
    app->session.setProperty("error", name);
    QVERIFY(!server.wasAsked());
}

void TestMainWindow::busyRefusesEverything()
{
    startWithOne({{"A.tcb", "a"}, {"B.tcb", "b"}});
    QVERIFY(writeFile(dir->filePath("paste.tcb"), "p"));
    const QList<QUrl> pasted{QUrl::fromLocalFile(dir->filePath("paste.tcb"))};
    app->clipboard.setUrls(pasted);
    app->selectRows({0});
    // The window knows of a job through the busy flag alone. Set by hand, it stays for as long
    // as the test needs it, however slow the machine, and no job of the session's own refuses
    // what the window might let through.
    app->session.onIAmBusy();

    QQuickItem* indicator = app->item("busyIndicator");
    QVERIFY(indicator->isVisible());
    // Centred in the whole window, toolbar and status line included (to a whole pixel).
    const QPoint offCentre = app->centre(indicator) - QPoint(app->window()->width() / 2, app->window()->height() / 2);
    QVERIFY2(offCentre.manhattanLength() <= 1, qPrintable(QString("%1, %2").arg(offCentre.x()).arg(offCentre.y())));
    for (const char* name : {"toolBar", "fileListView", "tableView"})
        QVERIFY2(!app->item(name)->isEnabled(), name);
    QTest::mouseClick(app->window(), Qt::RightButton, Qt::NoModifier, app->rowPoint(4));
    QTRY_VERIFY(app->isOpen("tableViewContextMenu"));
    for (const char* name : {"downloadItem", "sendItem", "deleteItem", "editItem", "newItem"})
        QVERIFY2(!app->object(name)->property("enabled").toBool(), name);
    QMetaObject::invokeMethod(app->object("tableViewContextMenu"), "close");
    QTRY_VERIFY(!app->isOpen("tableViewContextMenu"));
    app->click("sendButton");
    QTest::keyClick(app->window(), Qt::Key_Delete);
    QTest::keySequence(app->window(), QKeySequence::Copy);
    QTest::keySequence(app->window(), QKeySequence::Paste);
    app->drop(pasted);
    QVERIFY(app->busy());

    QCOMPARE(app->clipboard.getUrls(), pasted);
    for (const char* name : {"choseFileDialog", "doYouWantDeleteItDialog"})
        QVERIFY2(!app->isOpen(name), name);
    app->session.onIAmNotBusy();
    settle();
    QVERIFY(!asMap(sim().files()).contains("PASTE.tcb"));
}

// Pictures of the window for people to look at, in the build folder: two calculators and a
// dozen files, then the About and the error dialog over it.
void TestMainWindow::screenshots()
{
    FileList files;
    for (int n = 1; n <= 12; ++n)
        files.append({QString("PROGRAM%1.tcb").arg(n).toLatin1(), QByteArray(n * 37, 'x')});
    start({{"TaviCalc Alpha", files}, {"TaviCalc Beta", {{"NOTES.txt", "n"}}}});
    app->selectRows({1, 4});
    app->session.onStatusChange("Files successfully deleted");

    // Taken from what the window last drew, once it has drawn its newest frame.
    const auto shoot = [this](const QString& name) {
        QQuickWindow* window = app->window();
        QSignalSpy drawn(window, &QQuickWindow::frameSwapped);
        window->update();
        QVERIFY(drawn.wait());
        const QPixmap picture = window->screen()->grabWindow(window->winId());
        QVERIFY(!picture.isNull());
        QVERIFY(picture.save(name));
    };
    shoot("mainwindow.png");
    app->click("menuButton");
    QTRY_VERIFY(app->isOpen("optionsMenu"));
    shoot("optionsmenu.png");
    app->click("aboutItem");
    QTRY_VERIFY(app->isOpen("aboutDialog"));
    shoot("about.png");
    QMetaObject::invokeMethod(app->object("aboutDialog"), "close");
    app->session.setProperty("error", "Error read device");
    QTRY_VERIFY(app->isOpen("errorMessageDialog"));
    shoot("error.png");
}

CALCSIM_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
