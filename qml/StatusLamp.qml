import QtQuick 2.14
import QtQuick.Controls 2.14

// A round status lamp of the indicator page with its short name below it and
// its longer meaning as a tool tip while the pointer rests on it. The tool tip
// is named after the lamp: "tt" and the lamp's name with a capital.
Item {
    id: statusLamp

    property Theme theme: Theme {}
    property color color: "white"
    property string label: ""
    property string toolTip: ""

    implicitWidth: Math.max(rectLamp.width, txLabel.implicitWidth)
    implicitHeight: rectLamp.height + 2 + txLabel.implicitHeight

    Rectangle {
        id: rectLamp
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        width: 40
        height: width
        radius: width / 2
        border.color: theme.lampBorder
        border.width: 2
        color: statusLamp.color
    }

    Text {
        id: txLabel
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: rectLamp.bottom
        anchors.topMargin: 2
        text: label
        color: theme.text
        font.pixelSize: 16
    }

    ToolTip {
        id: ttLamp
        objectName: statusLamp.objectName === "" ? ""
                    : "tt" + statusLamp.objectName.charAt(0).toUpperCase() + statusLamp.objectName.slice(1)
        text: toolTip
    }

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        onEntered: ttLamp.visible = true
        onExited: ttLamp.visible = false
    }
}
