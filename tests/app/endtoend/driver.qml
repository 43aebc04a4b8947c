import QtQuick 2.14

// Plays the operator over the real main window; progress goes to the console,
// where the test reads it. The first argument names the part to play:
//   push FILE  waits for the trolley's values, sets start picket 12, records a
//              push, stops and saves the journal to FILE, then closes the
//              window; when the save fails it stays, as an operator would;
//   report FILE plays push, then presses ОТЧЁТ on the save's confirmation
//              and closes the window once the report's outcome is shown;
//   record     records from start picket 12 and never stops;
// Both mark a joint with a note at the start of the recording.
//   start      reports what the start found and closes the window.
MainWindow {
    id: driver

    property string mode: Qt.application.arguments.length > 1 ? Qt.application.arguments[1] : ""
    property string csvPath: Qt.application.arguments.length > 2 ? Qt.application.arguments[2] : ""
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

    function quit() {
        driver.close()
        Qt.quit()
    }

    Timer {
        interval: 50
        repeat: true
        running: true
        onTriggered: {
            var gauge = find(driver.contentItem, "gaugeVertical")
            if (driver.mode === "start") {
                say("recovered " + JSON.stringify(driver.recoveredFiles))
                say("journal " + driver.journalFile)
                driver.phase = 3
                quit()
            } else if (driver.phase === 0 && mcRoutine.currentV() !== 0 && gauge.impGaugevalue === mcRoutine.currentV()) {
                // The trolley was found and its values have settled on the gauges.
                say("gauges " + gauge.impGaugevalue + " " + find(driver.contentItem, "gaugeHorizontal").impGaugevalue)
                var field = find(driver.contentItem, "startPicket")
                field.text = "12"
                field.editingFinished()
                // The line and the track are not asked for.
                driver.noLineTrackAllowed = true
                find(driver.contentItem, "btRecord").clicked()
                mcRoutine.setMarkNote(mcRoutine.addMark(12, true, 0, "joint", ""), "стык")
                driver.phase = 1
                say("journal " + driver.journalFile)
                say("recording")
            } else if (driver.phase === 1 && (driver.mode === "push" || driver.mode === "report")) {
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
                if (saved && driver.mode === "report") {
                    find(driver.contentItem, "itSavedButton0").clicked()
                    driver.phase = 4
                } else if (saved) {
                    quit()
                }
            } else if (driver.phase === 4 && driver.reportText !== "") {
                // ASCII on the console, whatever the locale's encoding.
                say("report " + driver.reportOk + " "
                    + (driver.reportText === "Отчёт записан в файл " + driver.reportPath) + " " + driver.reportPath)
                driver.phase = 5
                quit()
            }
        }
    }
}
