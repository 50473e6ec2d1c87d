#pragma once

#include <QFont>
#include <QString>
#include <QUrl>

class QQmlApplicationEngine;
class QObject;

// The steps of the application's start-up that do more than create an object; main runs
// them in order, and the tests run each on its own.
namespace AppStartup {

constexpr char codeFontPath[] = ":/fonts/TaviCodeSaverFont.ttf";
constexpr char windowIconPath[] = ":/icons/logo.png";
constexpr char cataloguePath[] = ":/TaviFunctions.txt";
constexpr char mainDocument[] = "qrc:/qml/main.qml";
constexpr int codeFontPointSize = 11;

// The application's names, which also name its settings (the file dialogs keep theirs).
void setIdentity();

// The two highlighting types, in the module the editor imports.
void registerQmlTypes();

// Registers the font file and gives its first family; empty when it cannot be registered.
QString registerFontFamily(const QString& fontPath);

// The code font for the family, or Qt's own default font when there is no family.
QFont defaultFont(const QString& family);

// The objects that the documents reach by name, in the order the documents expect.
struct ContextObjects
{
    QObject* calcSession;
    QObject* calcModel;
    QObject* fileModel;
    QObject* clipboard;
    QObject* funcModel;
};
void publish(QQmlApplicationEngine& engine, const ContextObjects& objects);

// Loads the main document and runs the event loop; -1 when the document made no window.
int run(QQmlApplicationEngine& engine, const QUrl& document);

} // namespace AppStartup
