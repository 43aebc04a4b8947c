import QtQuick 2.14

// Plays the operator over the real main window: waits for the trolley's
// values, sets start picket 12, records a push, stops and saves the journal
// to the file named on the command line, then closes the window. Progress
// goes to the console, where the test reads it.
MainWindow {
    id: driver

    property string csvPath: Qt.application.arguments.length > 1 ? Qt.application.arguments[1] : ""
    property int phase: 0
    property int lastCounter: 0
    property int stillTicks: 0

    function find(item, name) {
        if (item.objectName === name)
            return item
        for (var i = 0; i < item.children.length; ++i) {
            var found = find(item.children[i], name)
            if (found)
                return found
        }
        return null
    }

    function say(text) {
        console.log("E2E " + text)
    }

    Timer {
        interval: 50
        repeat: true
        running: true
        onTriggered: {
            var gauge = find(driver.contentItem, "gaugeVertical")
            if (driver.phase === 0 && mcRoutine.currentV() !== 0 && gauge.impGaugevalue === mcRoutine.currentV()) {
                // The trolley was found and its values have settled on the gauges.
                say("gauges " + gauge.impGaugevalue + " " + find(driver.contentItem, "gaugeHorizontal").impGaugevalue)
                var field = find(driver.contentItem, "startPicket")
                field.text = "12"
                field.editingFinished()
                find(driver.contentItem, "btRecord").clicked()
                driver.phase = 1
                say("recording")
            } else if (driver.phase === 1) {
                // Waiting for the push to start and then to end.
                if (driver.currentDiscret !== driver.lastCounter) {
                    driver.lastCounter = driver.currentDiscret
                    driver.stillTicks = 0
                } else if (driver.currentDiscret > 0 && ++driver.stillTicks >= 30) {
                    find(driver.contentItem, "btRecord").clicked()
                    driver.phase = 2
                    say("stopped at " + driver.currentDiscret)
                }
            } else if (driver.phase === 2) {
                var saved = driver.saveProtocolTo("file://" + driver.csvPath)
                say("saved " + saved)
                driver.phase = 3
                driver.close()
                Qt.quit()
            }
        }
    }
}
