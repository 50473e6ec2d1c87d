import QtQuick 2.15
import QtQuick.Window 2.1
import QtQuick.Controls 2.5

// The program editor's window: holds one program's text and reports through its signals.
ApplicationWindow {
    id: editorWindow
    objectName: "editorWindow"
    width: 1200
    height: 800
    visible: false
    title: "TaviBasic Editor: " + fileName + (textModified ? "*" : "")

    property string fileName: ""
    property string fileDir: ""
    property bool textModified: false

    signal sendFile(string fileName, string fileData)
    signal saveFile(string filePath, string fileData)

    function loadFile(file, fileText) {
        fileName = file
        fileDir = ""
        textArea.text = fileText
        textModified = false
    }

    function setStatus(status) {
        statusLine.text = status
    }

    TextArea {
        id: textArea
        objectName: "textArea"
        anchors.fill: parent
        onTextChanged: textModified = true
    }

    footer: Label {
        id: statusLine
        objectName: "statusLine"
    }
}
