import QtQuick 2.15
import QtQuick.Window 2.1
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4
import QtQuick.Dialogs 1.3
import QtQuick.Layouts 1.3
import QtQuick.Controls 2.5
import QtQml.Models 2.15
import SyntaxHighlighter 1.0

// The program editor: the function catalogue on the left, the program text on the right.
// The palette appColors and the button size menuStyle come from the document that creates
// this window. The window is created once and only hidden when closed.
ApplicationWindow {
    id: editorWindow
    objectName: "editorWindow"
    width: 1200
    height: 800
    minimumWidth: 720
    minimumHeight: 480
    maximumWidth: Screen.width
    maximumHeight: Screen.height
    visible: false
    modality: Qt.ApplicationModal
    title: editorTexts.titlePrefix + fileName + (textModified ? "*" : "")

    property string fileName: ""
    // Folder of the last save in this editing: a local path ending with a separator.
    property string fileDir: ""
    property bool textModified: false
    // The folder and name of a save that waits for the user's yes to replace a file.
    property var replaceTarget: []

    signal sendFile(string fileName, string fileData)
    signal saveFile(string filePath, string fileData)

    QtObject {
        id: editorTexts
        readonly property string titlePrefix: "TaviBasic Editor: "
        readonly property string ready: "TaviBasic editor ready"
        readonly property string emptyName: "Empty file name"
        readonly property string badName: "Error: file name must contain only numbers and latin letters"
        readonly property string sending: "Sending file "
        readonly property string sendCancelled: "Canceling saving file "
        // Begins both questions about replacing a file, on the calculator and on the PC.
        readonly property string replaceStart: "File "
        readonly property string collisionEnd: " already exists on your calculator.\nDo you want to replace it?"
        readonly property string replaceEnd: " already exists on your PC.\nDo you want to replace it?"
        readonly property string defaultProgramName: "program"
        readonly property string programSuffix: ".tcb"
        // Appended to a saved name, one per save dialog filter, in the filters' order.
        readonly property var filterSuffixes: [".tcb", ".txt", ""]
        readonly property var nameFilters: ["TaviBasic files (*.tcb)", "Plain text (*.txt)", "All files (*)"]
        readonly property url rootFolder: "file:///"
        // The catalogue model's role that carries the entry object.
        readonly property int entryRole: 257
    }

    function loadFile(file, fileText) {
        console.log("EditorFromCalc load file: " + file)
        fileName = file
        fileDir = ""
        textArea.append(fileText)
        startHistory()
        textModified = false
    }

    // Each program has its own undo history, which starts at the loaded (or empty) text:
    // undo never empties a loaded program or brings back an earlier one's text.
    function startHistory() {
        syntaxHighlighter.clearUndoHistory()
    }

    function setStatus(status) {
        statusLine.text = status
    }

    function offeredName(name) {
        if (name === "")
            return editorTexts.defaultProgramName
        if (name.endsWith(editorTexts.programSuffix))
            return name.slice(0, -editorTexts.programSuffix.length)
        return name
    }

    // What is sent and saved: the text area's own text property turns U+00A0, a calculator
    // character, into a space.
    function programText() {
        return syntaxHighlighter.documentText()
    }

    // Cleared before the signal: a receiver that cannot store the text marks it unsaved again.
    function emitSend() {
        textModified = false
        sendFile(fileName, programText())
    }

    function sendUnderFieldName() {
        var name = tcbSendDialogFileName.text
        if (name === "") {
            setStatus(editorTexts.emptyName)
            return
        }
        if (!tcbSendDialogFileName.acceptableInput) {
            setStatus(editorTexts.badName)
            return
        }
        console.log("Editor: Sending file to calculator")
        fileName = name + editorTexts.programSuffix
        setStatus(editorTexts.sending + fileName + "...")
        if (calcSession.isFileExist(fileName)) {
            doYouWantSendFileText.text = editorTexts.replaceStart + fileName + editorTexts.collisionEnd
            doYouWantSendFile.open()
        } else {
            emitSend()
        }
    }

    // Only local paths reach here; each segment is encoded so that "#", "?" or "%"
    // in a folder name stay part of the path.
    function folderUrl(path) {
        return "file://" + path.split("/").map(encodeURIComponent).join("/")
    }

    function openSaveDialog() {
        if (fileDir !== "")
            tcbSaveDialog.folder = folderUrl(fileDir)
        else
            tcbSaveDialog.folder = tcbSaveDialog.shortcuts.home || editorTexts.rootFolder
        tcbSaveDialog.open()
    }

    function withFilterSuffix(name, filterIndex) {
        var suffix = editorTexts.filterSuffixes[filterIndex] || ""
        return name.endsWith(suffix) ? name : name + suffix
    }

    // A file that stands at the path is replaced only once the user has agreed to it: here,
    // unless the dialog asked about that very path itself.
    function saveToUrl(url, filterIndex) {
        var name = calcSession.fileNameFromUrl(url)
        if (name === "") {
            fileName = ""
            setStatus(editorTexts.emptyName)
            return
        }
        name = withFilterSuffix(name, filterIndex)
        var folder = calcSession.fileDirFromUrl(url)
        if (calcSession.replacesUnasked(tcbSaveDialog, url, folder + name)) {
            replaceTarget = [folder, name]
            doYouWantReplaceFileText.text = editorTexts.replaceStart + folder + name + editorTexts.replaceEnd
            doYouWantReplaceFile.open()
            return
        }
        saveAs(folder, name)
    }

    function saveAs(folder, name) {
        fileName = name
        fileDir = folder
        var path = fileDir + fileName
        console.log("EditorFromCalc save file localy: " + path)
        textModified = false
        saveFile(path, programText())
    }

    // An entry without children goes into the text at the cursor, over the selection.
    function insertCatalogueEntry(index) {
        if (funcModel.rowCount(index) !== 0)
            return
        if (textArea.selectionStart !== textArea.selectionEnd)
            textArea.remove(textArea.selectionStart, textArea.selectionEnd)
        textArea.insert(textArea.cursorPosition, funcModel.data(index, editorTexts.entryRole).funcName)
    }

    // Brackets are matched within one line only. A closer takes the most recent opener of
    // its own kind wherever it stands in the stack; a closer without one gets depth -1.
    function bracketDepths(text) {
        var open = []
        var records = []
        for (var pos = 0; pos < text.length; ++pos) {
            var ch = text.charAt(pos)
            for (var pair = 0; pair < syntaxHighlighter.bracketPairs.length; ++pair) {
                if (ch === syntaxHighlighter.bracketPairs[pair].open) {
                    console.info("Depth:", open.length)
                    records.push({ position: pos, depth: open.length })
                    open.push({ pair: pair, depth: open.length })
                } else if (ch === syntaxHighlighter.bracketPairs[pair].close) {
                    records.push({ position: pos, depth: takeOpener(open, pair) })
                }
            }
        }
        return records
    }

    function takeOpener(open, pair) {
        for (var i = open.length - 1; i >= 0; --i) {
            if (open[i].pair === pair)
                return open.splice(i, 1)[0].depth
        }
        return -1
    }

    function bracketFormat(depth) {
        if (depth < 0)
            return bracketFormatError
        var formatIndex = depth % bracketFormats.length
        console.info("Format Idx: " + formatIndex)
        return bracketFormats[formatIndex]
    }

    function colourBrackets(text) {
        console.info("Process text:", text)
        var records = bracketDepths(text)
        for (var i = 0; i < records.length; ++i)
            syntaxHighlighter.setFormat(records[i].position, 1, bracketFormat(records[i].depth))
    }

    readonly property var bracketFormats: [bracketFormat0, bracketFormat1, bracketFormat2]

    TextCharFormat { id: bracketFormat0; objectName: "bracketFormat0"; foreground: "#015CC5" }
    TextCharFormat { id: bracketFormat1; objectName: "bracketFormat1"; foreground: "#8E44AD" }
    TextCharFormat { id: bracketFormat2; objectName: "bracketFormat2"; foreground: "#27AE60" }
    TextCharFormat { id: bracketFormatError; objectName: "bracketFormatError"; foreground: "#8B0000" }

    SyntaxHighlighter {
        id: syntaxHighlighter
        objectName: "syntaxHighlighter"
        textDocument: textArea.textDocument
        readonly property var bracketPairs: [
            { open: "(", close: ")" },
            { open: "{", close: "}" },
            { open: "[", close: "]" }
        ]
        onHighlightBlock: function(text) { colourBrackets(text) }
    }

    onClosing: function(close) {
        console.log("Editor onClosing event")
        if (textArea.text !== "" && textModified) {
            console.log("Editor closing stop")
            quitDialog.open()
            close.accepted = false
            return
        }
        console.log("Editor closing...")
        closeDialogs()
        textArea.clear()
        startHistory()
        fileName = ""
        fileDir = ""
        // Clearing the text counts as a change; the next program starts clean.
        textModified = false
    }

    // Left open, a dialog would show again with the next program, and its Ok would send that.
    function closeDialogs() {
        tcbSendDialog.close()
        doYouWantSendFile.close()
        doYouWantReplaceFile.close()
        quitDialog.close()
    }

    onVisibleChanged: {
        if (visible) {
            setStatus(editorTexts.ready)
            showNormal()
            textArea.forceActiveFocus()
        }
    }

    Component.onCompleted: console.log("Editor completed")
    Component.onDestruction: console.log("Editor destroyed")

    component MenuBackground: Rectangle {
        readonly property bool down: parent ? parent.pressed : false
        readonly property bool hover: parent ? parent.hovered : false
        color: down ? appColors.changeNameDialogSelectionTrans
                    : hover ? appColors.fileListViewSelectionBackTrans : "transparent"
    }

    component EditorButton: ToolButton {
        implicitWidth: menuStyle.size
        implicitHeight: menuStyle.size
        Layout.fillHeight: true
        icon.color: "transparent" // the images keep their own colours
        background: MenuBackground {}
        ToolTip.visible: hovered
        ToolTip.delay: 1000
    }

    component EditorDialog: Dialog {
        parent: Overlay.overlay
        modal: true
        focus: true
        x: Math.round((editorWindow.width - width) / 2)
        y: Math.round(editorWindow.height / 6)
    }

    component QuestionLabel: Label {
        width: parent ? parent.width : 0
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font.pixelSize: 12
    }

    header: ToolBar {
        id: editorToolBar
        objectName: "editorToolBar"

        RowLayout {
            anchors.fill: parent
            spacing: 0

            EditorButton {
                id: quitButton
                objectName: "quitButton"
                icon.source: "qrc:/images/x2/del.png"
                ToolTip.text: "Close TaviBasic editor"
                onClicked: editorWindow.close()
            }
            EditorButton {
                id: saveLocalButton
                objectName: "saveLocalButton"
                icon.source: "qrc:/images/x1/save.png"
                ToolTip.text: "Save program on computer"
                onClicked: {
                    console.log("Editor: saving file on computer")
                    openSaveDialog()
                }
            }
            EditorButton {
                id: saveCalcButton
                objectName: "saveCalcButton"
                icon.source: "qrc:/images/x1/send.png"
                ToolTip.text: "Send program to device"
                onClicked: {
                    console.log("Editor: sending file to calculator")
                    tcbSendDialog.open()
                }
            }
            Item {
                Layout.fillWidth: true
            }
        }
    }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.fillHeight: true
            Layout.preferredWidth: editorWindow.width * 0.4
            color: appColors.listRectangleBack

            TreeView {
                id: funcTree
                objectName: "funcTree"
                anchors.fill: parent
                model: funcModel
                backgroundVisible: false
                selectionMode: SelectionMode.SingleSelection
                selection: ItemSelectionModel {
                    model: funcModel
                    onCurrentChanged: function(current) {
                        setStatus(funcModel.data(current, editorTexts.entryRole).funcDesc)
                    }
                }

                TableViewColumn {
                    role: "name"
                    title: "TaviBasic Functions"
                    movable: false
                    resizable: false
                    visible: true
                }

                onActivated: function(index) { insertCatalogueEntry(index) }

                style: TreeViewStyle {
                    indentation: 20
                    branchDelegate: Item {
                        width: 20
                        height: 24
                        Text {
                            anchors.centerIn: parent
                            visible: styleData.column === 0 && styleData.hasChildren
                            text: styleData.isExpanded ? "\u25bc" : "\u25b6"
                            font.pixelSize: 12
                            color: appColors.textDark
                            textFormat: Text.PlainText
                            renderType: Text.QtRendering
                        }
                    }
                    itemDelegate: Text {
                        text: styleData.value ? styleData.value.funcName : ""
                        font.pixelSize: 15
                        font.bold: styleData.hasChildren
                        color: appColors.textDark
                        verticalAlignment: Text.AlignVCenter
                        elide: styleData.elideMode
                    }
                    rowDelegate: Rectangle {
                        height: 24
                        color: styleData.selected
                               ? Qt.tint(appColors.tableRowSecond,
                                         funcTree.activeFocus ? appColors.changeNameDialogSelectionTrans
                                                              : appColors.changeNameDialogSelectionBWTrans)
                               : appColors.tableRowSecond
                    }
                    headerDelegate: Rectangle {
                        height: 24
                        gradient: Gradient {
                            GradientStop { position: 0; color: appColors.headerTableUp }
                            GradientStop { position: 1; color: appColors.headerTableBottom }
                        }
                        border.width: 1
                        border.color: appColors.headerTableBorder
                        Text {
                            anchors.fill: parent
                            anchors.rightMargin: funcTree.__verticalScrollBar.visible ? 0 : 20
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                            font.pixelSize: 16
                            color: appColors.textDark
                            text: styleData.value
                        }
                    }
                }
            }
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            Flickable {
                id: textAreaFlickable
                objectName: "textAreaFlickable"
                anchors.fill: parent
                clip: true
                contentWidth: textArea.width
                contentHeight: textArea.height
                ScrollBar.vertical: ScrollBar {}
                ScrollBar.horizontal: ScrollBar {}

                // Keeps the rectangle r of the text area inside the visible part.
                function ensureVisible(r) {
                    if (contentX >= r.x)
                        contentX = r.x
                    else if (contentX + width <= r.x + r.width)
                        contentX = r.x + r.width - width
                    if (contentY >= r.y)
                        contentY = r.y
                    else if (contentY + height <= r.y + r.height)
                        contentY = r.y + r.height - height
                }

                TextArea {
                    id: textArea
                    objectName: "textArea"
                    width: Math.max(implicitWidth, textAreaFlickable.width)
                    height: Math.max(implicitHeight, textAreaFlickable.height)
                    textFormat: TextEdit.PlainText
                    wrapMode: TextEdit.NoWrap
                    focus: true
                    selectByMouse: true
                    persistentSelection: true
                    font.pixelSize: 14
                    color: appColors.textDark
                    selectedTextColor: appColors.textDark
                    selectionColor: activeFocus ? appColors.changeNameDialogSelectionTrans
                                                : appColors.changeNameDialogSelectionBWTrans
                    onTextChanged: textModified = true
                    onCursorRectangleChanged: textAreaFlickable.ensureVisible(cursorRectangle)

                    MouseArea {
                        anchors.fill: parent
                        acceptedButtons: Qt.RightButton
                        cursorShape: Qt.IBeamCursor
                        onClicked: contextMenu.popup()
                    }

                    Menu {
                        id: contextMenu
                        objectName: "contextMenu"
                        MenuItem {
                            text: "Copy"
                            enabled: textArea.selectedText !== ""
                            onTriggered: textArea.copy()
                        }
                        MenuItem {
                            text: "Cut"
                            enabled: textArea.selectedText !== ""
                            onTriggered: textArea.cut()
                        }
                        MenuItem {
                            text: "Paste"
                            enabled: textArea.canPaste
                            onTriggered: textArea.paste()
                        }
                    }
                }
            }
        }
    }

    footer: Label {
        id: statusLine
        objectName: "statusLine"
        textFormat: Text.PlainText
        font.pixelSize: 14
        color: appColors.textDark
        verticalAlignment: Text.AlignVCenter
        topPadding: 4
        bottomPadding: 4
        leftPadding: 10
        rightPadding: 10
        background: Rectangle {
            color: appColors.tableRowFirst
        }
    }

    FileDialog {
        id: tcbSaveDialog
        objectName: "tcbSaveDialog"
        title: "Save program"
        selectExisting: false
        selectFolder: false
        selectMultiple: false
        defaultSuffix: "tcb"
        nameFilters: editorTexts.nameFilters
        onAccepted: saveToUrl(fileUrl, selectedNameFilterIndex)
    }

    EditorDialog {
        id: tcbSendDialog
        objectName: "tcbSendDialog"
        title: "Send program"
        width: 400
        standardButtons: Dialog.Ok | Dialog.Cancel

        RowLayout {
            anchors.fill: parent

            Label {
                text: "Set file name: "
            }
            TextField {
                id: tcbSendDialogFileName
                objectName: "tcbSendDialogFileName"
                Layout.fillWidth: true
                Layout.preferredWidth: 100
                Layout.preferredHeight: 50
                selectByMouse: true
                selectionColor: appColors.changeNameDialogSelectionTrans
                placeholderText: "File name"
                font.pixelSize: 16
                // Follows fileName; maximumLength cuts a longer name, which the
                // validator does not judge until Ok.
                text: offeredName(fileName)
                maximumLength: calcSession.maxFileNameLen
                validator: RegularExpressionValidator {
                    regularExpression: /^[0-9A-Za-z]{1,14}$/
                }
                onAccepted: tcbSendDialog.accept()
            }
            Label {
                text: editorTexts.programSuffix
            }
        }

        // The program goes to the calculator current now, or nowhere, whatever the main
        // window does meanwhile.
        onAboutToShow: {
            calcSession.pinEditorCalculator()
            tcbSendDialogFileName.forceActiveFocus()
            tcbSendDialogFileName.selectAll()
        }
        onAccepted: sendUnderFieldName()
    }

    EditorDialog {
        id: doYouWantSendFile
        objectName: "doYouWantSendFile"
        title: "File collision"
        width: 300
        standardButtons: Dialog.Yes | Dialog.No

        QuestionLabel {
            id: doYouWantSendFileText
            objectName: "doYouWantSendFileText"
        }

        onAccepted: emitSend()
        onRejected: setStatus(editorTexts.sendCancelled + fileName)
    }

    // "No" (or closing) leaves the file as it is and offers the save again.
    EditorDialog {
        id: doYouWantReplaceFile
        objectName: "doYouWantReplaceFile"
        title: "File collision"
        width: 300
        standardButtons: Dialog.Yes | Dialog.No

        QuestionLabel {
            id: doYouWantReplaceFileText
            objectName: "doYouWantReplaceFileText"
        }

        onAccepted: saveAs(replaceTarget[0], replaceTarget[1])
        onRejected: openSaveDialog()
    }

    EditorDialog {
        id: quitDialog
        objectName: "quitDialog"
        title: "Quit?"
        width: 300
        standardButtons: Dialog.Yes | Dialog.No

        QuestionLabel {
            text: "Do you want to quit without saving?"
        }

        onAccepted: {
            textModified = false
            editorWindow.close()
        }
    }
}
