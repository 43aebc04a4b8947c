import QtQuick 2.14
import QtQml 2.14
import QtQuick.Controls 2.14

// The indicator page: both dials with their captions, the three status lamps
// and the picket strip with the position and the ПАУЗА and ПИКЕТ buttons. It
// shows what the window gives it and says which button was pressed; the
// window keeps the run's state.
Item {
    id: gaugePage

    property InputIndicator inputVertical
    property InputIndicator inputHorizontal
    property int gaugeMargin: 10
    property real gaugeSize: 0
    property real picketHeight: 30
    property string positionText: ""
    property bool measuring: false
    property bool pause: false
    property bool live: true
    property bool receiveLit: true
    property bool keepLit: false

    // What the window's sizing reads.
    readonly property alias captionPixelSize: txVertical.font.pixelSize
    readonly property alias picketStrip: itPicket
    readonly property alias verticalGauge: gaugeVertical

    signal pauseClicked()
    signal picketClicked()

    ImpGauge {
        id: gaugeVertical
        objectName: "gaugeVertical"
        inputIndicator: inputVertical
        live: gaugePage.live
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.leftMargin: gaugeMargin
        anchors.topMargin: gaugeMargin
        width: gaugeSize
        height: gaugeSize
    }

    ImpGauge {
        id: gaugeHorizontal
        objectName: "gaugeHorizontal"
        inputIndicator: inputHorizontal
        live: gaugePage.live
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.rightMargin: gaugeMargin
        anchors.topMargin: gaugeMargin
        width: gaugeSize
        height: gaugeSize
    }

    Text {
        id: txVertical
        objectName: "txVertical"
        text: "Вертикаль"
        font.pixelSize: 20
        anchors.top: gaugeVertical.bottom
        anchors.horizontalCenter: gaugeVertical.horizontalCenter
    }

    Text {
        id: txHorizontal
        text: "Горизонталь"
        font.pixelSize: txVertical.font.pixelSize
        anchors.top: gaugeHorizontal.bottom
        anchors.horizontalCenter: gaugeHorizontal.horizontalCenter
    }

    Rectangle {
        id: recordIndicator
        objectName: "recordIndicator"
        anchors.right: receiveIndicator.left
        anchors.rightMargin: receiveIndicator.border.width
        anchors.top: parent.top
        anchors.topMargin: receiveIndicator.anchors.topMargin
        height: receiveIndicator.height
        width: receiveIndicator.width
        radius: receiveIndicator.radius
        border.color: receiveIndicator.border.color
        border.width: receiveIndicator.border.width
        color: measuring ? (pause ? "red" : "green") : "light grey"
        ToolTip {
            id: ttRecordIndicator
            objectName: "ttRecordIndicator"
            text: "Режим работы"
        }
        MouseArea {
            anchors.fill: parent
            hoverEnabled: true
            onEntered: ttRecordIndicator.visible = true
            onExited: ttRecordIndicator.visible = false
        }
    }

    Rectangle {
        id: receiveIndicator
        objectName: "receiveIndicator"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        anchors.topMargin: height / 2
        height: 40
        width: height
        radius: height / 2
        border.color: "black"
        border.width: 2
        color: receiveLit ? "light yellow" : "black"
        ToolTip {
            id: ttReceiveIndicator
            objectName: "ttReceiveIndicator"
            text: "Связь с оборудованием"
        }
        MouseArea {
            anchors.fill: parent
            hoverEnabled: true
            onEntered: ttReceiveIndicator.visible = true
            onExited: ttReceiveIndicator.visible = false
        }
    }

    Rectangle {
        id: keepIndicator
        objectName: "keepIndicator"
        anchors.left: receiveIndicator.right
        anchors.leftMargin: receiveIndicator.border.width
        anchors.top: parent.top
        anchors.topMargin: receiveIndicator.anchors.topMargin
        height: receiveIndicator.height
        width: receiveIndicator.width
        radius: receiveIndicator.radius
        border.color: receiveIndicator.border.color
        border.width: receiveIndicator.border.width
        color: keepLit ? "blue" : "white"
        ToolTip {
            id: ttKeepIndicator
            objectName: "ttKeepIndicator"
            text: "Запись показаний"
        }
        MouseArea {
            anchors.fill: parent
            hoverEnabled: true
            onEntered: ttKeepIndicator.visible = true
            onExited: ttKeepIndicator.visible = false
        }
    }

    Item {
        id: itPicket
        objectName: "itPicket"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 10
        height: picketHeight
        enabled: measuring

        Text {
            id: tLabel
            objectName: "tLabel"
            text: "S:"
            font.pixelSize: itPicket.height - 2
            anchors.left: parent.left
            anchors.top: parent.top
            anchors.bottom: parent.bottom
        }

        Text {
            id: tLength
            objectName: "tLength"
            // Held while another page is shown: under the software renderer a
            // hidden text that changes costs a repaint of what is shown there.
            Binding on text {
                value: positionText
                when: gaugePage.visible
                restoreMode: Binding.RestoreNone
            }
            font.pixelSize: tLabel.font.pixelSize
            anchors.left: tLabel.right
            anchors.top: parent.top
            anchors.bottom: parent.bottom
        }

        Button {
            id: btPause
            objectName: "btPause"
            anchors.right: btPicket.left
            anchors.rightMargin: 5
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            text: pause ? "ПРОДОЛЖИТЬ" : "ПАУЗА"
            font.pixelSize: pause ? tLabel.font.pixelSize / 2.25 : tLabel.font.pixelSize
            onClicked: pauseClicked()
        }

        Button {
            id: btPicket
            objectName: "btPicket"
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            text: "ПИКЕТ"
            font.pixelSize: tLabel.font.pixelSize
            onClicked: picketClicked()
        }
    }
}
