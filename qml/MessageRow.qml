import QtQuick 2.14
import QtQuick.Controls 2.14
import QtQuick.Layouts 1.14

// One message for the operator in the strip below the window's pages: a text
// and, when the message asks something, the answers as buttons, left to right.
// The buttons are named after the row: "<objectName>Button0", "...1", ...
Rectangle {
    id: messageRow

    property alias text: txMessage.text
    property var answers: []

    signal answered(int index)

    width: parent ? parent.width : 0
    height: Math.max(txMessage.implicitHeight, rlAnswers.implicitHeight) + 16
    color: "tomato"

    Text {
        id: txMessage
        objectName: messageRow.objectName + "Text"
        anchors.left: parent.left
        anchors.right: rlAnswers.left
        anchors.verticalCenter: parent.verticalCenter
        anchors.leftMargin: 10
        anchors.rightMargin: 10
        color: "white"
        font.pixelSize: 20
        font.bold: true
        wrapMode: Text.Wrap
    }

    RowLayout {
        id: rlAnswers
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10

        Repeater {
            model: messageRow.answers
            Button {
                objectName: messageRow.objectName + "Button" + index
                text: modelData
                font.pixelSize: 18
                onClicked: messageRow.answered(index)
            }
        }
    }
}
