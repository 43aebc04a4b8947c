import QtQuick 2.14
import QtQuick.Window 2.14

Window {
    id: mainWindow
    x: 0
    y: 0
    width: 1500
    height: 1000
    visible: true
    title: "Катучий шаблон Р-417 v1.2.3"

    Timer {
        id: timerInd
        interval: 20
        repeat: true
        running: true
        onTriggered: {
            tValues.text = mcRoutine.currentV() + " / " + mcRoutine.currentH() + " / "
                    + mcRoutine.currentS() + " / " + mcRoutine.dataReceived() + " / "
                    + mcRoutine.measKeeped() + " / " + mcRoutine.workV() + " / " + mcRoutine.workH()
        }
    }

    Text {
        id: tValues
        anchors.centerIn: parent
        font.pixelSize: 24
    }
}
