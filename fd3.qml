import QtQuick 2.12
import QtQuick.Window 2.1
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4
import QtQuick.Dialogs 1.3
import QtQuick.Controls 2.5
import QtQuick.Layouts 1.3
ApplicationWindow {
    id: w
    visible: true; width: 1200; height: 800
    header: ToolBar { RowLayout { anchors.fill: parent; ToolButton { implicitWidth: 40; implicitHeight: 40; text: "O"; onClicked: d.open() } Item { Layout.fillWidth: true } } }
    FileDialog { id: d; title: "Probe dialog"; folder: shortcuts.home; selectExisting: true; selectMultiple: true; nameFilters: ["A (*.a)", "All (*)"] }
}
