import QtQuick 2.14

// Plays the operator for the cadence benchmark over the real main window:
// once the trolley's values come, waits a random moment so that the recording
// starts anywhere on the track, records for the given seconds (pressing ПИКЕТ
// at the given second, if any), stops, saves the journal and closes.
//   tervalo-cadence FILE SECONDS PICKET_AT_SECONDS|-1
MainWindow {
    id: driver

    property var args: Qt.application.arguments
    property string csvPath: args.length > 1 ? args[1] : ""
    property real seconds: args.length > 2 ? Number(args[2]) : 60
    property real picketAt: args.length > 3 ? Number(args[3]) : -1
    property int phase: 0
    property real startAt: 0
    property real recordAt: 0
    property bool picketDone: false

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
        console.log("CADENCE " + text)
    }

    Timer {
        interval: 50
        repeat: true
        running: true
        onTriggered: {
            var now = Date.now()
            if (driver.phase === 0 && driver.counterKnown && driver.currentDiscret !== 0) {
                driver.startAt = now + Math.random() * 3000
                driver.phase = 1
            } else if (driver.phase === 1 && now >= driver.startAt) {
                var field = find(driver.contentItem, "startPicket")
                field.text = "100"
                field.editingFinished()
                // The line and the track are not asked for.
                driver.noLineTrackAllowed = true
                find(driver.contentItem, "btRecord").clicked()
                driver.recordAt = now
                driver.phase = 2
                say("recording from counter " + driver.currentDiscret)
            } else if (driver.phase === 2) {
                if (driver.picketAt >= 0 && !driver.picketDone && now - driver.recordAt >= driver.picketAt * 1000) {
                    find(driver.contentItem, "btPicket").clicked()
                    driver.picketDone = true
                    say("picket at counter " + driver.currentDiscret)
                }
                if (now - driver.recordAt >= driver.seconds * 1000) {
                    find(driver.contentItem, "btRecord").clicked()
                    say("stopped at counter " + driver.currentDiscret)
                    say("saved " + driver.saveProtocolTo("file://" + driver.csvPath))
                    driver.phase = 3
                    driver.close()
                    Qt.quit()
                }
            }
        }
    }
}
