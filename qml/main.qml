import QtQuick 2.12
import QtQuick.Window 2.1
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4
import QtQuick.Dialogs 1.3
import QtQuick.Controls 2.5
import QtQuick.Layouts 1.3

ApplicationWindow {
    id: root
    objectName: "root"
    visible: true
    width: 1200
    height: 800
    minimumWidth: 720
    minimumHeight: 480
    maximumWidth: Screen.width
    maximumHeight: Screen.height
    title: calcSession.getProgramName()

    // Path of the temporary backup archive while the save dialog is open.
    property string backupFile: ""
    // Where the archive goes once the user has agreed to replace the file there.
    property string backupTarget: ""
    // The URLs a running copy put on the clipboard, null when none runs: when it ends, the
    // clipboard names only what it wrote, unless something newer has replaced them.
    property var copiedUrls: null
    // The window's one test for a calculator: the list has a row.
    readonly property bool connected: fileListView.count !== 0
    // One of the window's modal dialogs or questions is open, which keeps the shortcuts
    // (Copy, Paste, Delete) from the window; drops are refused too. A send begun meanwhile
    // would take over the calculator and the files that the open one's answer acts on.
    readonly property bool asking: aboutDialog.visible || changeNameDialog.visible
                                   || doYouWantDeleteItDialog.visible || doYouWantSendFile.visible
                                   || doYouWantDownloadFile.visible || fileNameWasChangeDialog.visible
                                   || doYouWantReplaceBackup.visible || choseFolderDialog.visible
                                   || choseFileDialog.visible || chooseBackupDialog.visible
                                   || backupSaveDialog.visible

    QtObject {
        id: appColors
        objectName: "appColors"
        readonly property string textDark: "#000000"
        readonly property string listRectangleBack: "#f0f0f0"
        readonly property string fileListViewSelectionStripe: "#01B3E3"
        readonly property string fileListViewSelectionBackTrans: "#4001B3E3"
        readonly property string changeNameDialogSelectionTrans: "#6001B3E3"
        readonly property string changeNameDialogSelectionBWTrans: "#60a4a4a4"
        readonly property string headerTableUp: "#fbfbfb"
        readonly property string headerTableBottom: "#dfdfdf"
        readonly property string headerTableBorder: "#9f9f9f"
        readonly property string tableRowFirst: "#ffffff"
        readonly property string tableRowSecond: listRectangleBack
    }

    QtObject {
        id: menuStyle
        objectName: "menuStyle"
        readonly property int size: 40
    }

    QtObject {
        id: texts
        readonly property string notConnected: "Calculator is not connected"
        readonly property string noDownloadSelection: "No files selected for downloading"
        readonly property string noDeleteSelection: "No files selected for deleting"
        readonly property string noEditSelection: "No file selected for editing"
        readonly property string downloadCancelled: "Downloading files was cancelled"
        readonly property string sendCancelled: "Sending files was cancelled"
        readonly property string restoreCancelled: "Sending backup files was cancelled"
        readonly property string backupSaved: "Backup saved on the path: "
        readonly property string backupNotSaved: "Error: the backup could not be saved on the path: "
        readonly property string backupKeptAt: ". It is kept at: "
        readonly property string editorNoCalculator: "No calculator is connected"
        readonly property string editorSent: "File successfully sent to the device"
        readonly property string editorSaved: "File successfully saved"
        readonly property string deleteQuestion: "Do you want to delete next files:"
        readonly property string backupSuffix: ".tbk"
        // Begins both questions about replacing a file, on the calculator and on the PC.
        readonly property string replaceStart: "File "
        readonly property string collisionEnd: " already exists on your calculator.\nDo you want to replace it?"
        readonly property string replaceEnd: " already exists on your PC.\nDo you want to replace it?"
    }

    component MenuBackground: Rectangle {
        readonly property bool down: parent ? parent.pressed : false
        readonly property bool hover: parent ? parent.hovered : false
        color: down ? appColors.changeNameDialogSelectionTrans
                    : hover ? appColors.fileListViewSelectionBackTrans : "transparent"
    }

    component MenuButton: ToolButton {
        implicitWidth: menuStyle.size
        implicitHeight: menuStyle.size
        Layout.fillHeight: true
        icon.color: "transparent" // the images keep their own colours
        opacity: enabled ? 1 : 0.4
        background: MenuBackground {}
        ToolTip.visible: hovered
        ToolTip.delay: 1000
    }

    component QuestionDialog: Dialog {
        property alias text: questionLabel.text
        parent: Overlay.overlay
        modal: true
        focus: true
        width: 300
        x: Math.round((root.width - width) / 2)
        y: Math.round(root.height / 6)
        Label {
            id: questionLabel
            width: parent.width
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pixelSize: 12
        }
    }

    // ---- Guards and operations ------------------------------------------------------------

    function showStatus(text) {
        calcSession.onStatusChange(text)
    }

    function hasSelection() {
        return tableView.selection.count > 0
    }

    function addSelectedRows() {
        tableView.selection.forEach(function (row) { calcSession.addSelected(row) })
    }

    // The operation acts on the calculator and the files selected now, whatever comes or
    // goes, and whatever clears the table's selection, while its dialog is open.
    function pinSelection() {
        calcSession.pinCalculator()
        addSelectedRows()
    }

    // A refused guard says why in the status line.
    function passes(condition, refusal) {
        if (!condition)
            showStatus(refusal)
        return condition
    }

    // For the operations whose passed guard empties the status line.
    function startWithEmptyStatus(condition, refusal, operation) {
        if (passes(condition, refusal)) {
            showStatus("")
            operation()
        }
    }

    function startDownload() {
        startWithEmptyStatus(hasSelection(), texts.noDownloadSelection, function () {
            pinSelection()
            choseFolderDialog.open()
        })
    }

    function downloadToFolder(folderUrl) {
        calcSession.fromCalcUrls(true, folderUrl)
        processDownloadCollision()
    }

    function processDownloadCollision() {
        if (calcSession.isFromCalcCollision()) {
            doYouWantDownloadFile.text = texts.replaceStart + calcSession.collisionFromCalcFileName() + texts.replaceEnd
            doYouWantDownloadFile.open()
            return
        }
        calcSession.downloadFiles()
    }

    function startSend() {
        startWithEmptyStatus(connected, texts.notConnected, function () {
            calcSession.pinCalculator()
            choseFileDialog.open()
        })
    }

    // Pasted and dropped files go to the calculator current now.
    function sendLocalFiles(urls) {
        if (!connected)
            return
        calcSession.pinCalculator()
        sendChosenFiles(urls)
    }

    function sendChosenFiles(urls) {
        calcSession.toCalcUrls(urls)
        processSendCollision()
    }

    function processSendCollision() {
        if (calcSession.isToCalcExistingCollision()) {
            doYouWantSendFile.text = texts.replaceStart + calcSession.collisionToCalcFileName() + texts.collisionEnd
            doYouWantSendFile.open()
        } else if (calcSession.isToCalcNameCollision()) {
            fileNameWasChangeDialog.text = "The file name " + calcSession.getNameToCalcCollisionOld()
                    + " exceeds the allowed limit of " + (calcSession.maxFileNameLen - 4)
                    + " symbols for a file name and 3 symbols for an extension and will be changed to "
                    + calcSession.getNameToCalcCollisionNew()
            fileNameWasChangeDialog.open()
        } else {
            calcSession.sendFiles()
        }
    }

    function startDelete() {
        startWithEmptyStatus(hasSelection(), texts.noDeleteSelection, askDelete)
    }

    function askDelete() {
        pinSelection()
        var question = texts.deleteQuestion
        tableView.selection.forEach(function (row) { question += "\n" + fileModel.getName(row) })
        doYouWantDeleteItDialog.text = question + "?"
        doYouWantDeleteItDialog.open()
    }

    function editCurrentRow() {
        var row = tableView.currentRow
        console.log("Starting editor for exist file, row = " + row)
        if (!passes(row >= 0, texts.noEditSelection))
            return
        tableView.selection.clear()
        tableView.selection.select(row, row)
        calcSession.downloadForEdit(row)
    }

    function newProgram() {
        console.log("Starting editor for new file")
        editor.visible = true
    }

    function startBackup() {
        if (!passes(connected, texts.notConnected))
            return
        console.log("Create backup")
        calcSession.pinCalculator()
        calcSession.createBackup()
    }

    // Qt's own dialog keeps the path typed last, and would offer the last backup's file to
    // be replaced at one click: it opens in its folder with no file chosen. Setting a folder
    // shows it in the dialog's path.
    function openBackupSaveDialog() {
        var folder = backupSaveDialog.folder
        backupSaveDialog.folder = ""
        backupSaveDialog.folder = folder
        backupSaveDialog.open()
    }

    // A path naming a folder is no place for the archive: that save fails as any other.
    function saveBackupAs(url) {
        var name = calcSession.fileNameFromUrl(url)
        var folder = calcSession.fileDirFromUrl(url)
        if (name === "") {
            keepUnsavedBackup(folder)
            return
        }
        if (!name.endsWith(texts.backupSuffix))
            name += texts.backupSuffix
        var path = folder + name
        if (calcSession.replacesUnasked(backupSaveDialog, url, path, backupFile)) {
            backupTarget = path
            doYouWantReplaceBackup.text = texts.replaceStart + path + texts.replaceEnd
            doYouWantReplaceBackup.open()
            return
        }
        moveBackupTo(path)
    }

    function moveBackupTo(path) {
        if (!calcSession.renameBackup(backupFile, path)) {
            keepUnsavedBackup(path)
            return
        }
        showStatus(texts.backupSaved + path)
        // After a move nothing is left to remove; an archive saved onto itself is kept.
        calcSession.removeFile(backupFile)
    }

    // The archive is kept under a name that the next backup does not replace, and the user
    // is told where.
    function keepUnsavedBackup(path) {
        var failure = texts.backupNotSaved + path + texts.backupKeptAt + calcSession.keepFailedBackup(backupFile)
        showStatus(failure)
        calcSession.error = failure
    }

    function discardBackup() {
        calcSession.removeFile(backupFile)
    }

    function startRestore() {
        if (!passes(connected, texts.notConnected))
            return
        console.log("Restore backup")
        calcSession.pinCalculator()
        chooseBackupDialog.open()
    }

    function restoreFrom(url) {
        calcSession.restoreBackup(url)
    }

    function startRename() {
        startWithEmptyStatus(connected, texts.notConnected, function () {
            calcSession.pinCalculator()
            changeNameDialog.open()
        })
    }

    function copyFiles() {
        if (!connected)
            return
        pinSelection()
        calcSession.fromCalcUrls()
        copiedUrls = calcSession.downloadFiles()
        clipboard.setUrls(copiedUrls)
    }

    function pasteFiles() {
        if (clipboard.hasUrls())
            sendLocalFiles(clipboard.getUrls())
    }

    // ---- Layout ---------------------------------------------------------------------------

    header: ToolBar {
        id: toolBar
        objectName: "toolBar"
        enabled: !calcSession.isBusy

        RowLayout {
            anchors.fill: parent
            spacing: 0

            MenuButton {
                id: menuButton
                objectName: "menuButton"
                icon.source: "qrc:/images/x1/menu.png"
                ToolTip.text: qsTr("Menu")
                onClicked: optionsMenu.open()

                Menu {
                    id: optionsMenu
                    objectName: "optionsMenu"
                    x: menuButton.width - width
                    y: menuButton.height
                    font.pixelSize: 15

                    MenuItem {
                        objectName: "aboutItem"
                        text: "About"
                        onTriggered: aboutDialog.open()
                    }
                    MenuItem {
                        objectName: "renameItem"
                        text: "Change device name"
                        onTriggered: startRename()
                    }
                    MenuItem {
                        text: "Close program"
                        onTriggered: root.close()
                    }
                }
            }
            MenuButton {
                objectName: "downloadButton"
                icon.source: "qrc:/images/x1/download.png"
                ToolTip.text: qsTr("Download selected files from calculator to PC")
                onClicked: startDownload()
            }
            MenuButton {
                objectName: "sendButton"
                icon.source: "qrc:/images/x1/send.png"
                ToolTip.text: qsTr("Send files to calculator from PC")
                onClicked: startSend()
            }
            MenuButton {
                objectName: "deleteButton"
                icon.source: "qrc:/images/x1/remove.png"
                ToolTip.text: qsTr("Delete selected files")
                onClicked: startDelete()
            }
            MenuButton {
                objectName: "editButton"
                icon.source: "qrc:/images/x2/edit.png"
                ToolTip.text: qsTr("Edit TaviBasic program file")
                onClicked: editCurrentRow()
            }
            MenuButton {
                objectName: "newFileButton"
                icon.source: "qrc:/images/x2/newFile.png"
                ToolTip.text: qsTr("Create new TaviBasic program file")
                onClicked: newProgram()
            }
            MenuButton {
                objectName: "backupButton"
                icon.source: "qrc:/images/x2/create_backup.png"
                ToolTip.text: qsTr("Create TaviCalc backup")
                onClicked: startBackup()
            }
            MenuButton {
                objectName: "restoreButton"
                icon.source: "qrc:/images/x2/restore_backup.png"
                ToolTip.text: qsTr("Restore TaviCalc backup")
                onClicked: startRestore()
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
            id: listRectangle
            objectName: "listRectangle"
            Layout.fillHeight: true
            Layout.preferredWidth: root.width * 0.3
            Layout.minimumWidth: 255
            color: appColors.listRectangleBack

            ScrollView {
                anchors.fill: parent
                ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

                ListView {
                    id: fileListView
                    objectName: "fileListView"
                    model: calcModel
                    enabled: !calcSession.isBusy
                    spacing: 5

                    delegate: Item {
                        width: fileListView.width
                        height: Math.max(50, calcName.implicitHeight)

                        // A long name is cut short of the highlight's stripe, within the pane.
                        Text {
                            id: calcName
                            anchors.left: parent.left
                            anchors.leftMargin: 10
                            anchors.right: parent.right
                            anchors.rightMargin: 20
                            anchors.verticalCenter: parent.verticalCenter
                            text: model.display
                            textFormat: Text.PlainText
                            font.pixelSize: 26
                            color: appColors.textDark
                            elide: Text.ElideRight
                        }
                        MouseArea {
                            anchors.fill: parent
                            onClicked: {
                                fileListView.currentIndex = index
                                calcModel.currentIndex = index
                            }
                        }
                    }

                    highlight: Rectangle {
                        color: appColors.fileListViewSelectionBackTrans
                        Rectangle {
                            anchors.right: parent.right
                            width: 10
                            height: parent.height
                            color: appColors.fileListViewSelectionStripe
                        }
                    }
                }
            }
        }

        Item {
            id: fileGridRectangle
            objectName: "fileGridRectangle"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumWidth: 300

            TableView {
                id: tableView
                objectName: "tableView"
                anchors.fill: parent
                enabled: !calcSession.isBusy
                model: fileModel
                selectionMode: SelectionMode.ExtendedSelection
                backgroundVisible: false

                readonly property bool focused: activeFocus || tableViewContextMenu.visible

                TableViewColumn {
                    role: "nameRole"
                    title: "Name"
                    width: Math.max(160, tableView.viewport.width - 160)
                }
                TableViewColumn {
                    role: "sizeRole"
                    title: "Size"
                    width: 160
                }

                itemDelegate: Item {
                    Text {
                        anchors.fill: parent
                        anchors.leftMargin: 10
                        verticalAlignment: Text.AlignVCenter
                        text: styleData.value !== undefined ? styleData.value : ""
                        textFormat: Text.PlainText
                        font.pixelSize: 15
                        color: appColors.textDark
                        elide: styleData.elideMode
                    }
                }

                headerDelegate: Rectangle {
                    height: 24
                    border.width: 1
                    border.color: appColors.headerTableBorder
                    gradient: Gradient {
                        GradientStop { position: 0; color: appColors.headerTableUp }
                        GradientStop { position: 1; color: appColors.headerTableBottom }
                    }
                    Text {
                        anchors.fill: parent
                        anchors.leftMargin: 15
                        verticalAlignment: Text.AlignVCenter
                        text: styleData.value
                        font.pixelSize: 16
                        color: appColors.textDark
                        elide: Text.ElideRight
                    }
                }

                rowDelegate: Rectangle {
                    readonly property string base: styleData.alternate ? appColors.tableRowSecond
                                                                       : appColors.tableRowFirst
                    height: 20
                    color: !styleData.selected ? base
                           : Qt.tint(base, tableView.focused ? appColors.changeNameDialogSelectionTrans
                                                             : appColors.changeNameDialogSelectionBWTrans)
                }

                onDoubleClicked: {
                    console.log("File double click, row = " + row)
                    calcSession.downloadForEdit(row)
                }
            }

            MouseArea {
                anchors.fill: parent
                acceptedButtons: Qt.RightButton
                onClicked: tableViewContextMenu.popup()
            }

            // Files are copied onto the calculator, never moved: whatever the source proposes,
            // a drop takes nothing from it. A drag that brings no local file (text, a web
            // link) is refused.
            DropArea {
                anchors.fill: parent
                enabled: !calcSession.isBusy && !asking

                function holdsFiles(event) {
                    return event.hasUrls && event.urls.some(function (url) { return String(url).startsWith("file:") })
                }

                function acceptAsCopy(event) {
                    var taken = holdsFiles(event)
                    if (taken)
                        event.accept(Qt.CopyAction)
                    else
                        event.accepted = false
                    return taken
                }

                onEntered: acceptAsCopy(drag)
                onPositionChanged: acceptAsCopy(drag)
                onDropped: {
                    if (acceptAsCopy(drop))
                        sendLocalFiles(drop.urls)
                }
            }

            Menu {
                id: tableViewContextMenu
                objectName: "tableViewContextMenu"

                MenuItem {
                    objectName: "downloadItem"
                    text: qsTr("Download")
                    enabled: !calcSession.isBusy && hasSelection()
                    onTriggered: startDownload()
                }
                MenuItem {
                    objectName: "sendItem"
                    text: qsTr("Send")
                    enabled: !calcSession.isBusy && connected
                    onTriggered: startSend()
                }
                MenuItem {
                    objectName: "deleteItem"
                    text: qsTr("Delete")
                    enabled: !calcSession.isBusy && hasSelection()
                    onTriggered: startDelete()
                }
                MenuItem {
                    objectName: "editItem"
                    text: qsTr("Edit")
                    enabled: !calcSession.isBusy && tableView.currentRow >= 0
                    onTriggered: editCurrentRow()
                }
                MenuItem {
                    objectName: "newItem"
                    text: qsTr("New")
                    enabled: !calcSession.isBusy
                    onTriggered: newProgram()
                }
            }
        }
    }

    Shortcut {
        sequences: [StandardKey.Copy]
        enabled: !calcSession.isBusy
        onActivated: copyFiles()
    }
    Shortcut {
        sequences: [StandardKey.Paste]
        enabled: !calcSession.isBusy
        onActivated: pasteFiles()
    }
    Shortcut {
        sequences: [StandardKey.Delete]
        enabled: !calcSession.isBusy
        // Without a selection the key does nothing, not even a status text.
        onActivated: {
            if (hasSelection())
                startDelete()
        }
    }

    Shortcut {
        sequence: "Escape"
        enabled: errorMessageDialog.visible
        onActivated: errorMessageDialog.close()
    }

    footer: Label {
        id: statusLine
        objectName: "statusLine"
        text: calcSession.statusLineText
        textFormat: Text.PlainText
        font.pixelSize: 14
        topPadding: 4
        bottomPadding: 4
        leftPadding: 10
        rightPadding: 10
        background: Rectangle {
            color: appColors.tableRowFirst
        }
    }

    BusyIndicator {
        id: busyIndicator
        objectName: "busyIndicator"
        // Centred in the whole window, over toolbar and status line too.
        parent: Overlay.overlay
        anchors.centerIn: parent
        running: calcSession.isBusy
        visible: calcSession.isBusy
    }

    // ---- Dialogs --------------------------------------------------------------------------

    Dialog {
        id: aboutDialog
        objectName: "aboutDialog"
        parent: Overlay.overlay
        modal: true
        title: "About"
        width: Math.max(300, Math.floor(Math.min(root.width, root.height) * 2 / 3))
        x: Math.round((root.width - width) / 2)
        y: Math.round(root.height / 6)
        onClosed: aboutDialogText.deselect()

        TextEdit {
            id: aboutDialogText
            objectName: "aboutDialogText"
            width: parent.width
            text: calcSession.getInfo()
            readOnly: true
            wrapMode: TextEdit.Wrap
            font.pixelSize: 12
            color: appColors.textDark
            cursorVisible: false
            selectByMouse: true
            selectionColor: appColors.changeNameDialogSelectionTrans
            selectedTextColor: appColors.textDark
            persistentSelection: true

            MouseArea {
                anchors.fill: parent
                acceptedButtons: Qt.RightButton
                cursorShape: Qt.IBeamCursor
                onClicked: aboutTextMenu.popup()
            }

            Menu {
                id: aboutTextMenu
                MenuItem {
                    text: "Copy"
                    enabled: aboutDialogText.selectedText !== ""
                    onTriggered: aboutDialogText.copy()
                }
                MenuItem {
                    text: "Select all"
                    onTriggered: aboutDialogText.selectAll()
                }
            }
        }
    }

    Dialog {
        id: errorMessageDialog
        objectName: "errorMessageDialog"
        parent: Overlay.overlay
        modal: false
        title: "Error"
        width: 300
        x: Math.round((root.width - width) / 2)
        y: Math.round(root.height / 6)
        standardButtons: Dialog.Ok
        // Escape is handled by the window: a popup that closes on Escape itself keeps the
        // window's shortcuts (Copy, Paste, Delete) from working while it is shown.
        closePolicy: Popup.CloseOnPressOutside
        onClosed: calcSession.error = ""

        Label {
            width: parent.width
            text: calcSession.error
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pixelSize: 12
        }
    }

    QuestionDialog {
        id: doYouWantDeleteItDialog
        objectName: "doYouWantDeleteItDialog"
        title: "Deleting"
        standardButtons: Dialog.Yes | Dialog.No
        onAccepted: {
            calcSession.deleteSelectedFiles()
            tableView.selection.clear()
        }
    }

    QuestionDialog {
        id: doYouWantSendFile
        objectName: "doYouWantSendFile"
        title: "File collision"
        standardButtons: Dialog.Yes | Dialog.No
        onAccepted: {
            calcSession.releaseToCalcCollision(true)
            processSendCollision()
        }
        onRejected: {
            calcSession.releaseToCalcCollision(false)
            processSendCollision()
        }
    }

    QuestionDialog {
        id: doYouWantDownloadFile
        objectName: "doYouWantDownloadFile"
        title: "File collision"
        standardButtons: Dialog.Yes | Dialog.No
        onAccepted: {
            calcSession.releaseFromCalcCollision(true)
            processDownloadCollision()
        }
        onRejected: {
            calcSession.releaseFromCalcCollision(false)
            processDownloadCollision()
        }
    }

    QuestionDialog {
        id: fileNameWasChangeDialog
        objectName: "fileNameWasChangeDialog"
        title: "Warning"
        standardButtons: Dialog.Ok
        onAccepted: processSendCollision()
    }

    Dialog {
        id: changeNameDialog
        objectName: "changeNameDialog"
        parent: Overlay.overlay
        modal: true
        focus: true
        title: "Enter a new device name:"
        width: 300
        x: Math.round((root.width - width) / 2)
        y: Math.round(root.height / 6)
        standardButtons: Dialog.Ok | Dialog.Cancel

        onAboutToShow: {
            newNameField.text = calcModel.getName()
            newNameField.forceActiveFocus()
            newNameField.selectAll()
        }
        onAccepted: {
            if (newNameField.text !== "")
                calcSession.changeCalcName(newNameField.text)
        }

        TextField {
            id: newNameField
            objectName: "newNameField"
            width: parent.width
            placeholderText: "Enter a new device name"
            maximumLength: 16
            selectByMouse: true
            selectionColor: appColors.changeNameDialogSelectionTrans
            font.pixelSize: 16
            onAccepted: changeNameDialog.accept()
        }
    }

    // "No" (or closing) leaves the file and the archive as they are and offers the save again.
    QuestionDialog {
        id: doYouWantReplaceBackup
        objectName: "doYouWantReplaceBackup"
        title: "File collision"
        standardButtons: Dialog.Yes | Dialog.No
        onAccepted: moveBackupTo(backupTarget)
        onRejected: openBackupSaveDialog()
    }

    FileDialog {
        id: choseFolderDialog
        objectName: "choseFolderDialog"
        title: "Please choose a folder to save files"
        folder: shortcuts.home
        selectFolder: true
        onAccepted: downloadToFolder(fileUrl)
        onRejected: showStatus(texts.downloadCancelled)
    }

    FileDialog {
        id: choseFileDialog
        objectName: "choseFileDialog"
        title: "Please choose files"
        folder: shortcuts.home
        selectExisting: true
        selectMultiple: true
        nameFilters: ["Tavi Calc files (*.tcb *.bin *.txt)", "All files (*)"]
        onAccepted: sendChosenFiles(fileUrls)
        onRejected: showStatus(texts.sendCancelled)
    }

    FileDialog {
        id: chooseBackupDialog
        objectName: "chooseBackupDialog"
        title: "Please choose backup file location"
        folder: shortcuts.home
        selectExisting: true
        nameFilters: ["Tavi Calc backup files (*.tbk)"]
        onAccepted: restoreFrom(fileUrl)
        onRejected: showStatus(texts.restoreCancelled)
    }

    FileDialog {
        id: backupSaveDialog
        objectName: "backupSaveDialog"
        title: "Save backup file"
        folder: shortcuts.home
        selectExisting: false
        defaultSuffix: "tbk"
        nameFilters: ["TaviCalc backup files (*.tbk)"]
        onAccepted: saveBackupAs(fileUrl)
        onRejected: discardBackup()
    }

    // ---- Editor and session signals -------------------------------------------------------

    // The text was neither sent nor saved: it stays unsaved, so closing the editor asks.
    function keepEditorText(status) {
        editor.setStatus(status)
        editor.textModified = true
    }

    Editor {
        id: editor
        objectName: "editor"

        // Names inside these handlers resolve on the editor first, so the window's own
        // members are reached through root. A failed send or save is on the session's
        // status line.
        onSendFile: {
            console.log("onSendFile invoked(fileName: " + fileName + ")")
            if (!root.connected) {
                root.showStatus(texts.editorNoCalculator)
                root.keepEditorText(texts.notConnected)
            } else if (calcSession.sendFileFromEdit(fileName, fileData)) {
                editor.setStatus(texts.editorSent)
            } else {
                root.keepEditorText(calcSession.statusLineText)
            }
        }
        onSaveFile: {
            console.log("onSaveFile invoked(fileName: " + filePath + ")")
            if (calcSession.saveFileOnComputer(filePath, fileData))
                editor.setStatus(texts.editorSaved)
            else
                root.keepEditorText(calcSession.statusLineText)
        }
    }

    // The model moves its index when calculators come and go; the highlight goes with it.
    Connections {
        target: calcModel

        function onIndexOrSizeChange(newIndex) {
            fileListView.currentIndex = newIndex
        }
    }

    // A reload replaces every row; a selection kept by row number would name other files.
    Connections {
        target: fileModel

        function onRowsRemoved() {
            tableView.selection.clear()
        }
    }

    Connections {
        target: calcSession

        function onOpenEditFromCalc(fileName, fileData) {
            console.log("onOpenEditFromCalc invoked")
            editor.loadFile(fileName, fileData)
            editor.visible = true
        }
        function onBackupLoaded(fileName) {
            console.log("onBackupLoaded invoked")
            backupFile = fileName
            openBackupSaveDialog()
        }
        function onIndexChanged(oldIndex, newIndex) {
            tableView.selection.clear()
        }
        function onFilesDownloaded(localFiles) {
            if (copiedUrls !== null && clipboard.holdsUrls(copiedUrls))
                clipboard.setUrls(localFiles)
            copiedUrls = null
        }
        // The dialog shows the error text: it closes when the text is cleared (a new job).
        function onErrorChange() {
            if (calcSession.error !== "")
                errorMessageDialog.open()
            else
                errorMessageDialog.close()
        }
    }
}
