import QtQuick 2.14
import QtQuick.Window 2.14

// Stands in for the main window and closes itself, as an operator would.
Window {
    visible: true
    width: 200
    height: 100
    title: "Катучий шаблон Р-417 v1.2.3"
    Timer {
        interval: 300
        running: true
        onTriggered: {
            // Prove the controller was published before the load.
            console.log("getters", mcRoutine.currentS(), mcRoutine.dataReceived())
            close()
        }
    }
}
