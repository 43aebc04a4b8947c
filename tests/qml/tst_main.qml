import QtQuick 2.14
import QtTest 1.14

// The main window against a stand-in controller (mcRoutine) whose getter
// values each test scripts; the window's 20 ms poll carries them in.
TestCase {
    id: testCase
    name: "MainWindow"
    when: windowShown

    property var win: null

    // A window as the program makes it; unless askLineTrack, one that records
    // without line and track without asking, as most cases need.
    function createWindow(iniText, askLineTrack) {
        if (iniText === undefined)
            verify(mcRoutine.removeFile("tervalo.ini"))
        else
            verify(mcRoutine.writeFile("tervalo.ini", iniText))
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        var w = component.createObject(null)
        verify(w !== null)
        if (!askLineTrack)
            w.noLineTrackAllowed = true
        return w
    }

    function item(objectName) {
        // Items a Repeater made are not the window's object children; they
        // are found among the visual children of its content.
        var found = findChild(win, objectName) || findChild(win.contentItem, objectName)
        verify(found !== null, "no object named " + objectName)
        return found
    }

    function colorText(c) {
        return String(c)
    }

    // Waits until the poll has carried the stand-in's counter into the window.
    function setCounter(s) {
        mcRoutine.s = s
        tryCompare(win, "currentDiscret", s, 2000)
    }

    function init() {
        mcRoutine.reset()
        win = createWindow()
        waitForRendering(item("itGauge"))
    }

    function cleanup() {
        if (win) {
            win.destroy()
            win = null
        }
        wait(0)
    }

    function test_pollCallsGettersInOrder() {
        mcRoutine.calls = []
        tryVerify(function() { return mcRoutine.calls.length >= 27 }, 2000)
        var calls = mcRoutine.calls
        // The seven value getters first and in this order; the link after them.
        var order = ["currentV", "currentH", "currentS", "dataReceived", "measKeeped", "workV", "workH",
                     "linkState", "reconnections"]
        var start = calls.indexOf("currentV")
        for (var i = start; i + order.length <= calls.length; i += order.length)
            compare(calls.slice(i, i + order.length), order)
    }

    function test_pollWritesValuesAndFlags() {
        mcRoutine.v = 2.5
        mcRoutine.h = -3.25
        mcRoutine.workVValue = true
        tryCompare(item("inputVertical"), "mess", 2.5, 2000)
        tryCompare(item("inputHorizontal"), "mess", -3.25, 2000)
        // The gauge clears the work flag at each lamp step; the poll sets it again.
        tryVerify(function() { return item("inputVertical").blDetect1WorkInput === true }, 2000)
        mcRoutine.workVValue = false
        tryVerify(function() { return item("inputVertical").blDetect1WorkInput === false }, 2000)
    }

    function test_lamps() {
        // Nothing has arrived since start-up: black centre, grey left, white right.
        tryVerify(function() { return colorText(item("receiveIndicator").color) === "#000000" }, 2000)
        compare(colorText(item("recordIndicator").color), "#d3d3d3")
        compare(colorText(item("keepIndicator").color), "#ffffff")

        mcRoutine.data = true
        tryVerify(function() { return colorText(item("receiveIndicator").color) === "#ffffe0" }, 2000)

        win.measuring = true
        compare(colorText(item("recordIndicator").color), "#008000")
        win.pause = true
        compare(colorText(item("recordIndicator").color), "#ff0000")

        // The right lamp is lit for a fifth of a second per kept row.
        compare(item("keepIndTimer").interval, 200)
        mcRoutine.kept = true
        tryVerify(function() { return colorText(item("keepIndicator").color) === "#0000ff" }, 2000)
        tryVerify(function() { return colorText(item("keepIndicator").color) === "#ffffff" }, 2000)
        win.pause = false
        win.measuring = false
    }

    function test_lampToolTips_data() {
        return [
            { tag: "left", lamp: "recordIndicator", tip: "ttRecordIndicator", text: "Режим работы" },
            { tag: "centre", lamp: "receiveIndicator", tip: "ttReceiveIndicator", text: "Связь с оборудованием" },
            { tag: "right", lamp: "keepIndicator", tip: "ttKeepIndicator", text: "Запись показаний" },
        ]
    }

    function test_lampToolTips(data) {
        var lamp = item(data.lamp)
        var tip = item(data.tip)
        compare(tip.text, data.text)
        verify(!tip.visible)
        mouseMove(lamp, lamp.width / 2, lamp.height / 2)
        tryCompare(tip, "visible", true, 2000)
        mouseMove(item("itGauge"), 5, item("itGauge").height / 2)
        tryCompare(tip, "visible", false, 2000)
    }

    // Values that are not live are struck through under a banner over the
    // dials and named in the strip below the pages; a loss during a recording
    // also colours the recording lamp and, with the alarm sound on, sounds the
    // link tone once. All of it clears when values come again.
    function test_valuesNotLiveAreShown_data() {
        return [
            { tag: "searching at start", link: "searching", text: "Поиск тележки…", title: "ПОИСК ТЕЛЕЖКИ…",
              recording: false, sound: true, tones: 0 },
            { tag: "lost or silent", link: "lost", text: "Нет связи с тележкой — поиск…",
              title: "НЕТ СВЯЗИ С ТЕЛЕЖКОЙ", recording: false, sound: true, tones: 0 },
            { tag: "lost while recording", link: "lost", text: "Нет связи с тележкой — поиск…",
              title: "НЕТ СВЯЗИ С ТЕЛЕЖКОЙ", recording: true, sound: true, tones: 1 },
            { tag: "lost while recording without sound", link: "lost", text: "Нет связи с тележкой — поиск…",
              title: "НЕТ СВЯЗИ С ТЕЛЕЖКОЙ", recording: true, sound: false, tones: 0 },
        ]
    }

    function test_valuesNotLiveAreShown(data) {
        var theme = item("theme")
        var values = [findChild(item("gaugeVertical"), "messText"), findChild(item("gaugeHorizontal"), "messText")]
        var message = item("itLinkState")
        var banner = item("rectLinkBanner")
        var lamp = item("receiveIndicator")
        var recordLamp = item("recordIndicator")
        mcRoutine.data = true
        mcRoutine.workVValue = true
        mcRoutine.workHValue = true
        // The stand-in is live: the first poll takes the start's text away.
        tryCompare(message, "visible", false, 2000)
        verify(!banner.visible)
        compare(colorText(lamp.color), "#ffffe0")
        item("hCaption").audioEnable = data.sound
        if (data.recording)
            item("btRecord").clicked()
        var recordColour = colorText(recordLamp.color)
        // A lamp 1 caught lit must not stay lit once the values stop.
        var dialLamp = findChild(item("gaugeVertical"), "rectLamp1")
        tryVerify(function() { return colorText(dialLamp.color) === colorText(theme.detectorOn) }, 2000)
        runningSpyV.target = item("timerLinkTone")
        runningSpyV.clear()

        mcRoutine.link = data.link
        tryCompare(item("itLinkState"), "text", data.text, 2000)
        verify(message.visible)
        verify(banner.visible)
        compare(item("txBannerTitle").text, data.title)
        for (var i = 0; i < values.length; ++i) {
            compare(colorText(values[i].color), colorText(theme.staleText))
            verify(values[i].font.strikeout)
        }
        compare(colorText(recordLamp.color), colorText(data.recording ? theme.lampLinkLost : theme.lampIdle))
        tryVerify(function() { return colorText(lamp.color) === "#000000" }, 2000)
        verify(!item("inputVertical").blDetect1WorkInput)
        verify(!item("inputHorizontal").blDetect1WorkInput)
        compare(colorText(dialLamp.color), colorText(theme.detectorOff))
        // Played once, whole: started and stopped by its timer.
        tryCompare(runningSpyV, "count", 2 * data.tones, 3000)
        // In the strip below the pages: no lamp, gauge, value or button is covered.
        var page = item("itGauge")
        tryVerify(function() {
            return page.mapToItem(win.contentItem, 0, page.height).y <= message.mapToItem(win.contentItem, 0, 0).y
        }, 2000)

        mcRoutine.link = "live"
        tryCompare(message, "visible", false, 2000)
        verify(!banner.visible)
        for (var j = 0; j < values.length; ++j) {
            compare(colorText(values[j].color), colorText(theme.dialText))
            verify(!values[j].font.strikeout)
        }
        compare(colorText(recordLamp.color), recordColour)
        tryVerify(function() { return colorText(lamp.color) === "#ffffe0" }, 2000)
        tryVerify(function() { return item("inputVertical").blDetect1WorkInput }, 2000)
        compare(runningSpyV.count, 2 * data.tones)
    }

    function test_reconnectionDuringRecordingPausesIt() {
        // Outside a recording a reconnection changes nothing the operator does.
        mcRoutine.reconnectionCount = 1
        tryCompare(win, "reconnectionsSeen", 1, 2000)
        verify(!win.pause)
        verify(!item("itReconnect").visible)

        setCounter(100)
        item("btRecord").clicked()
        mcRoutine.measures = []
        mcRoutine.reconnectionCount = 2
        tryCompare(win, "pause", true, 2000)
        verify(item("itReconnect").visible)
        verify(item("itReconnect").text.indexOf("ПРОДОЛЖИТЬ") >= 0)
        compare(item("btPause").text, "ПРОДОЛЖИТЬ")
        setCounter(600)
        compare(mcRoutine.measures.length, 0)

        item("btPause").clicked()
        verify(!win.pause)
        verify(!item("itReconnect").visible)
        setCounter(601)
        compare(mcRoutine.measures.length, 1)
    }

    function test_firstCounterChangeIsTheReference() {
        setCounter(1000)
        compare(win.startDiscret, 1000)
        compare(item("tLength").text, "ПК 0 + 0.0 м")
        win.currentPicket = 12
        setCounter(1000 + 4613)   // 3.46 m at 0.00075 m per step
        compare(item("tLength").text, "ПК 12 + 3.5 м")
        setCounter(1000 - 4000)   // moving back gives the same kind of distance
        compare(item("tLength").text, "ПК 12 + 3.0 м")
    }

    // Only the shown page is redrawn: the distance on the indicator page holds
    // while another page is shown, and is current again as soon as it is shown.
    function test_hiddenDistanceHoldsUntilShown() {
        setCounter(1000)
        item("tbMenu").currentIndex = 1
        verify(!item("itGauge").visible)
        setCounter(1000 + 4613)
        compare(win.currentLength.toFixed(2), "3.46")
        compare(item("tLength").text, "ПК 0 + 0.0 м")
        item("tbMenu").currentIndex = 0
        compare(item("tLength").text, "ПК 0 + 3.5 м")
    }

    function test_recordingStartsWithSaveAtZeroAndFollowsCadence() {
        setCounter(5)
        item("btRecord").clicked()
        verify(win.measuring)
        compare(item("btRecord").text, "Остановить запись")
        compare(mcRoutine.measures.length, 1)
        compare(mcRoutine.measures[0].length, 0)
        verify(!item("itPickCaption").enabled)
        verify(item("itPicket").enabled)

        // After a picket mark the cadence counts from it: saves at d = 0, 334, 667, 1000, 1334.
        item("btPicket").clicked()
        mcRoutine.measures = []
        var steps = [1, 333, 334, 666, 667, 999, 1000, 1333, 1334]
        var saving = [true, false, true, false, true, false, true, false, true]
        for (var i = 0; i < steps.length; ++i) {
            var before = mcRoutine.measures.length
            setCounter(5 + steps[i])
            compare(mcRoutine.measures.length, before + (saving[i] ? 1 : 0), "d = " + steps[i])
        }
        compare(win.numberMeasFromPicket, 5)
    }

    // The counter is moved by the given steps from a start value; the rows the
    // controller would keep (lengths rounded to the quarter, a repeat dropped)
    // must cover every quarter up to the end once, each saved at or after its
    // point and less than two quarters after it.
    function test_aRowForEveryQuarter_data() {
        var q = 1000 / 3
        return [
            { tag: "started near half a quarter off the grid before any picket mark",
              start: 3 + 1000 + Math.round(q / 2) - 10, picketAt: -1, jumps: [] },
            { tag: "after a picket mark half a quarter off the grid",
              start: 50, picketAt: 1000 + Math.round(q / 2), jumps: [] },
            { tag: "a delayed poll jumps 1.4 quarters", start: 1000, picketAt: -1, jumps: [5, 12] },
            { tag: "counting down", start: -700, picketAt: -1, jumps: [7], down: true },
        ]
    }

    function test_aRowForEveryQuarter(data) {
        var q = 1000 / 3
        var step = data.down ? -90 : 90
        setCounter(3)   // the first counter value, elsewhere than the start
        setCounter(data.start)
        item("btRecord").clicked()
        var origin = data.start
        if (data.picketAt >= 0) {
            setCounter(data.picketAt)
            item("btPicket").clicked()
            mcRoutine.measures = []
            origin = data.picketAt
        }
        var s = origin
        for (var i = 0; Math.abs(s - origin) < 12 * q; ++i) {
            s += data.jumps.indexOf(i) >= 0 ? Math.round(1.4 * q) * Math.sign(step) : step
            setCounter(s)
        }
        var kept = []
        var last = -1
        for (var k = 0; k < mcRoutine.measures.length; ++k) {
            var m = mcRoutine.measures[k]
            var length = Math.round(m.length * 4) / 4
            if (length === last)
                continue
            last = length
            kept.push(length)
            var travelled = Math.abs(m.s - origin)
            verify(travelled >= length / win.stepLength - 1e-6, "row " + length + " saved at " + travelled)
            verify(travelled < length / win.stepLength + 2 * q, "row " + length + " saved at " + travelled)
        }
        var expected = []
        for (var n = 0; n * q <= Math.abs(s - origin) - Math.abs(step) * 2 - 1.4 * q; ++n)
            expected.push(n * 0.25)
        compare(kept.slice(0, expected.length), expected)
    }

    // Pressed before the trolley was heard: its first counter value, whatever
    // it is, is where the recording starts; once it was heard, also a counter
    // standing at 0 is.
    function test_recordingStartedBeforeTheCounterWasKnown_data() {
        return [
            { tag: "not heard yet", heard: false, first: 123456, origin: 123456 },
            { tag: "heard standing at 0", heard: true, first: 26, origin: 0 },
        ]
    }

    function test_recordingStartedBeforeTheCounterWasKnown(data) {
        if (data.heard) {
            mcRoutine.data = true
            tryCompare(win, "counterKnown", true, 2000)
        }
        item("btRecord").clicked()
        setCounter(data.first)
        compare(win.prevSavedDiscret, data.origin)
        compare(win.startDiscret, data.origin)
        mcRoutine.measures = []
        setCounter(data.origin + 334)
        compare(mcRoutine.measures.length, 1)
        compare(mcRoutine.measures[0].length, 0.25)
    }

    // A trolley far past the quarter owed (a stalled window, a device that
    // fell silent) has no readings for the quarters between: they are left
    // out, and the row it saves is the quarter it has reached.
    function test_farBehindSkipsQuartersWithoutReading_data() {
        return [
            { tag: "six quarters at once", to: 2000, saved: 1.5, next: 2334 },
            { tag: "exactly two quarters late", to: 1100, saved: 0.75, next: 1334 },
        ]
    }

    function test_farBehindSkipsQuartersWithoutReading(data) {
        setCounter(100)
        item("btRecord").clicked()
        mcRoutine.measures = []
        setCounter(100 + data.to)
        compare(mcRoutine.measures.length, 1)
        compare(mcRoutine.measures[0].length, data.saved)
        setCounter(100 + data.to + 100)
        compare(mcRoutine.measures.length, 1)
        setCounter(100 + data.next)
        compare(mcRoutine.measures.length, 2)
        compare(mcRoutine.measures[1].length, data.saved + 0.25)
    }

    function test_savedValuesAreTheShownOnes() {
        mcRoutine.v = 1.5
        mcRoutine.h = -2.25
        tryCompare(item("inputVertical"), "mess", 1.5, 2000)
        tryCompare(item("inputHorizontal"), "mess", -2.25, 2000)
        item("inputVertical").zeroShift = 0.5
        win.currentPicket = 7
        item("btRecord").clicked()
        var m = mcRoutine.measures[0]
        compare(m.picket, 7)
        compare(m.direction, true)
        compare(m.v, 2.0)
        compare(m.h, -2.25)
    }

    function test_picketMarkForwardAndReverse() {
        item("btRecord").clicked()
        setCounter(2000)
        item("btPicket").clicked()
        compare(win.currentPicket, 1)
        compare(win.prevSavedDiscret, 2000)
        compare(win.startDiscret, 2000)
        compare(win.numberMeasFromPicket, 0)
        item("btRecord").clicked()   // stop: the picket strip and the direction unlock
        compare(item("startPicket").text, "1")   // where the next recording starts
        win.currentPicket = 0
        item("cbDirection").currentIndex = 1
        verify(!win.directionForward)
        item("btRecord").clicked()
        item("btPicket").clicked()
        compare(win.currentPicket, -1)
        compare(item("tLength").text, "ПК -1 - 0.0 м")
    }

    // Each start is the origin of the distance and the cadence, wherever the
    // counter stands, and records: a pause left on when a recording stopped
    // does not carry into the next one. The controller hears of each start,
    // with the run's header, before its first row.
    function test_everyStartIsAnOriginAndRecords() {
        setCounter(1000)
        setCounter(3000)
        item("btRecord").clicked()
        compare([win.startDiscret, win.prevSavedDiscret, win.numberMeasFromPicket], [3000, 3000, 1])
        compare(item("tLength").text, "ПК 0 + 0.0 м")
        item("btPause").clicked()
        item("btRecord").clicked()
        tryCompare(item("fileDialog"), "visible", true, 2000)
        item("fileDialog").close()
        verify(win.pause)

        setCounter(5000)
        win.currentPicket = 7
        item("cbDirection").currentIndex = 1
        item("inputHorizontal").lowLimit = -5
        item("btRecord").clicked()
        verify(win.measuring)
        verify(!win.pause)
        compare(item("btPause").text, "ПАУЗА")
        compare([win.startDiscret, win.prevSavedDiscret, win.numberMeasFromPicket], [5000, 5000, 1])
        compare(mcRoutine.measures.length, 2)
        compare(mcRoutine.measures[1].length, 0)
        compare(mcRoutine.runs.length, 2)
        // Each start came before the first row of its recording.
        compare([mcRoutine.measures[0].runs, mcRoutine.measures[1].runs], [1, 2])
        var start = mcRoutine.runs[1]
        compare([start.startPicket, start.direction, start.stepLength], [7, false, 0.00075])
        compare([start.vertical, start.horizontal], [[-6, 6], [-5, 8]])
    }

    function test_startPicketTakesZeroTo999_data() {
        return [
            { tag: "0", text: "0", acceptable: true },
            { tag: "999", text: "999", acceptable: true },
            { tag: "1000", text: "1000", acceptable: false },
            { tag: "negative", text: "-1", acceptable: false },
        ]
    }

    // An accepted picket is where the next recording starts, and Enter gives
    // the keys back to the window.
    function test_startPicketTakesZeroTo999(data) {
        win.currentPicket = 5
        item("tbMenu").currentIndex = 1
        var field = item("startPicket")
        field.text = data.text
        compare(field.acceptableInput, data.acceptable)
        field.forceActiveFocus()
        keyClick(Qt.Key_Return)
        compare(win.currentPicket, data.acceptable ? Number(data.text) : 5)
        compare(field.activeFocus, !data.acceptable)
        verify(!win.measuring)
    }

    function test_pauseStopsSaving() {
        item("btRecord").clicked()
        item("btPicket").clicked()
        item("btPause").clicked()
        verify(win.pause)
        compare(item("btPause").text, "ПРОДОЛЖИТЬ")
        mcRoutine.measures = []
        setCounter(500)
        setCounter(900)
        compare(mcRoutine.measures.length, 0)
        item("btPause").clicked()
        compare(item("btPause").text, "ПАУЗА")
        setCounter(901)
        compare(mcRoutine.measures.length, 1)
    }

    function test_differenceBeyondIntRangeSavesNothing() {
        setCounter(-2147483648)
        item("btRecord").clicked()
        item("btPicket").clicked()
        setCounter(-2147483647)   // d = 1 >= 0: one save
        mcRoutine.measures = []
        setCounter(2147483647)    // d = 4294967295 wraps to -1
        compare(mcRoutine.measures.length, 0)
    }

    function test_stopOpensDialogAndSaves() {
        item("btRecord").clicked()
        item("btRecord").clicked()
        verify(!win.measuring)
        compare(item("btRecord").text, "Начать запись")
        verify(item("itPickCaption").enabled)
        tryCompare(item("fileDialog"), "visible", true, 2000)
        item("fileDialog").close()
        verify(win.saveProtocolTo("file:///tmp/run.csv"))
        compare(mcRoutine.protocols, ["file:///tmp/run.csv"])
        verify(!item("itSaveFailure").visible)
    }

    function test_failureNamesTheFileAsTheOperatorKnowsIt() {
        compare(win.displayPath("file:///C:/Журналы/run.csv"), "C:/Журналы/run.csv")
        compare(win.displayPath("file:///home/crew/night%201.csv"), "/home/crew/night 1.csv")
    }

    function test_typedNameWithoutSuffixGetsCsv() {
        compare(win.protocolUrl("file:///tmp/night"), "file:///tmp/night.csv")
        compare(win.protocolUrl("file:///tmp/night.txt"), "file:///tmp/night.txt")
        compare(win.protocolUrl("file:///tmp/v1.2/night"), "file:///tmp/v1.2/night.csv")
    }

    function test_failedSaveIsShownAndDialogReopens() {
        mcRoutine.saveResult = false
        verify(!win.saveProtocolTo("file:///no/such/folder/run.csv"))
        verify(item("itSaveFailure").visible)
        verify(item("itSaveFailure").text.indexOf("не сохранён") >= 0)
        verify(item("itSaveFailure").text.indexOf("/no/such/folder/run.csv") >= 0)
        tryCompare(item("fileDialog"), "visible", true, 2000)
        item("fileDialog").close()

        // Another file that works clears the warning.
        mcRoutine.saveResult = true
        verify(win.saveProtocolTo("file:///tmp/good.csv"))
        verify(!item("itSaveFailure").visible)
    }

    function test_stepLength_data() {
        return [
            { tag: "no file", ini: undefined, expected: 0.00075 },
            { tag: "from the file", ini: "[General]\nstepLength=0.001\n", expected: 0.001 },
            { tag: "decimal comma", ini: "[General]\nstepLength=\"0,001\"\n", expected: 0.00075 },
            { tag: "zero", ini: "[General]\nstepLength=0\n", expected: 0.00075 },
            { tag: "negative", ini: "[General]\nstepLength=-0.001\n", expected: 0.00075 },
            { tag: "text", ini: "[General]\nstepLength=abc\n", expected: 0.00075 },
        ]
    }

    function test_stepLength(data) {
        // The window of init() must be gone before the file is laid: its settings
        // element writes the missing key when it is destroyed.
        win.destroy()
        win = null
        wait(0)
        win = createWindow(data.ini)
        compare(win.stepLength, data.expected)
        setCounter(10)
        setCounter(1010)
        compare(win.currentLength.toFixed(6), (1000 * data.expected).toFixed(6))
        // The window never rewrites a value that the file holds.
        win.destroy()
        win = null
        wait(0)
        if (data.ini !== undefined)
            compare(JSON.stringify(mcRoutine.readFile("tervalo.ini")), JSON.stringify(data.ini))
    }

    function test_alarmFlagsAtAndBeyondLimit() {
        var caption = item("vCaption")
        caption.audioEnable = true
        mcRoutine.v = 6
        tryCompare(item("inputVertical"), "mess", 6, 2000)
        verify(!win.boolBuzzerPlayV)   // equal to the limit: within tolerance
        mcRoutine.v = 6.1
        tryCompare(win, "boolBuzzerPlayV", true, 2000)
        mcRoutine.v = -6.1
        tryCompare(win, "boolBuzzerPlayV", true, 2000)
        caption.audioEnable = false
        verify(!win.boolBuzzerPlayV)
        mcRoutine.h = 8.5
        tryCompare(item("inputHorizontal"), "mess", 8.5, 2000)
        verify(!win.boolBuzzerPlayH)
        item("hCaption").audioEnable = true
        verify(win.boolBuzzerPlayH)
    }

    SignalSpy { id: runningSpyV; signalName: "runningChanged" }
    SignalSpy { id: runningSpyH; signalName: "runningChanged" }

    function test_oneBeepPerEntryWithItsLength_data() {
        return [
            { tag: "short", longPlay: false, interval: 100 },
            { tag: "long", longPlay: true, interval: 500 },
        ]
    }

    function test_oneBeepPerEntryWithItsLength(data) {
        var timer = item("timerBuzzerV")
        runningSpyV.target = timer
        runningSpyV.clear()
        item("vCaption").longPlay = data.longPlay
        item("vCaption").audioEnable = true
        mcRoutine.v = 7
        tryCompare(win, "boolBuzzerPlayV", true, 2000)
        compare(timer.interval, data.interval)
        // Started once, stopped once: staying outside gives no further beep.
        tryCompare(runningSpyV, "count", 2, 3000)
        mcRoutine.v = 7.5
        tryCompare(item("inputVertical"), "mess", 7.5, 2000)
        compare(runningSpyV.count, 2)
        // Leaving and coming back gives a new one.
        mcRoutine.v = 0
        tryCompare(win, "boolBuzzerPlayV", false, 2000)
        mcRoutine.v = -7
        tryCompare(runningSpyV, "count", 4, 3000)
    }

    function test_eitherTimerStopsTheSharedSound() {
        var timerV = item("timerBuzzerV")
        var timerH = item("timerBuzzerH")
        runningSpyV.target = timerV
        runningSpyH.target = timerH
        runningSpyV.clear()
        runningSpyH.clear()
        item("vCaption").audioEnable = true
        item("hCaption").audioEnable = true
        item("hCaption").longPlay = true
        mcRoutine.v = 7
        mcRoutine.h = 9
        // The player is stopped by whichever timer ends (a headless machine has no
        // sound device to observe): here the short vertical beep ends while the
        // long horizontal one is still due.
        tryCompare(runningSpyV, "count", 2, 3000)
        verify(!timerV.running)
        verify(timerH.running)
        tryCompare(runningSpyH, "count", 2, 3000)
    }

    function test_gaugeSizes() {
        var page = item("itGauge")
        var gauge = item("gaugeVertical")
        win.visibility = 2   // windowed, so that the size can be set
        win.width = 700
        win.height = 1400
        tryVerify(function() { return page.width === 700 })
        compare(gauge.width, (page.width - 20) / 2)
        compare(gauge.height, gauge.width)
        win.width = 2400
        win.height = 900
        tryVerify(function() { return page.width === 2400 })
        var a = page.height - 10 - 2 * 20 - item("itPicket").height
        compare(gauge.width, a)
        compare(item("gaugeHorizontal").width, a)
        compare(win.picketHeightFor(250), 30)
        compare(win.picketHeightFor(300), 30)
        compare(win.picketHeightFor(1080), 108)
    }

    // After a cancelled dialog and after a failed save the rows can still be
    // saved, their count in sight, without starting another recording.
    function test_saveControlStaysAfterCancelAndFailedSave() {
        mcRoutine.unsaved = 42
        var dialog = item("fileDialog")
        var row = item("itUnsaved")
        item("btRecord").clicked()
        verify(!row.visible)   // not while recording
        item("btRecord").clicked()
        compare(mcRoutine.stops, 1)
        tryCompare(dialog, "visible", true, 2000)
        dialog.reject()
        tryCompare(dialog, "visible", false, 2000)
        verify(row.visible)
        compare(row.text.indexOf("Несохранённых измерений: 42."), 0, row.text)
        item("itUnsavedButton0").clicked()
        tryCompare(dialog, "visible", true, 2000)
        dialog.reject()

        mcRoutine.saveResult = false
        verify(!win.saveProtocolTo("file:///no/such/folder/run.csv"))
        tryCompare(dialog, "visible", true, 2000)
        dialog.reject()
        verify(item("itSaveFailure").visible)
        verify(row.visible)
        compare(row.text.indexOf("Несохранённых измерений: 42."), 0, row.text)

        mcRoutine.saveResult = true
        item("itUnsavedButton0").clicked()
        tryCompare(dialog, "visible", true, 2000)
        dialog.close()
        verify(win.saveProtocolTo("file:///tmp/good.csv"))
        verify(!row.visible)
        verify(!item("itSaveFailure").visible)
    }

    function test_startWithUnsavedRowsAsksFirst_data() {
        return [
            { tag: "save them now", answer: 0, measuring: false, dialog: true },
            { tag: "add the new run to them", answer: 1, measuring: true, dialog: false },
            { tag: "cancel", answer: 2, measuring: false, dialog: false },
        ]
    }

    function test_startWithUnsavedRowsAsksFirst(data) {
        mcRoutine.unsaved = 5
        win.refreshJournal()
        item("btRecord").clicked()
        verify(!win.measuring)
        compare(mcRoutine.measures.length, 0)
        var question = item("itStartQuestion")
        verify(question.visible)
        verify(question.text.indexOf(": 5.") > 0, question.text)
        verify(!item("itUnsaved").visible)
        item("itStartQuestionButton" + data.answer).clicked()
        verify(!question.visible)
        compare(win.measuring, data.measuring)
        compare(mcRoutine.measures.length, data.measuring ? 1 : 0)
        if (data.dialog) {
            tryCompare(item("fileDialog"), "visible", true, 2000)
            item("fileDialog").close()
        } else {
            verify(!item("fileDialog").visible)
        }
    }

    function test_successfulSaveIsConfirmedUntilTheNextRecording_data() {
        var saved = "Журнал сохранён в файл C:/Журналы/night.csv (строк: "
        var both = saved + "17) и файл прогона C:/Журналы/night.json"
        var json = "C:\\Журналы\\night.json"
        return [
            { tag: "both files, into the archive", rows: 17, runFile: json, text: both + " и добавляется в архив",
              archived: true },
            { tag: "archive off", ini: "[General]\narchive=false\n", rows: 17, runFile: json, text: both },
            { tag: "no run file, archive failed", rows: 17, runFile: "", runError: "Отказано в доступе", archived: false,
              text: saved + "17) и добавляется в архив. Файл прогона не записан: Отказано в доступе" },
            { tag: "no rows, no archive", rows: 0, runFile: json, text: saved + "0) и файл прогона C:/Журналы/night.json" },
            // A standing reminder must not push the confirmation and its ОТЧЁТ out of view.
            { tag: "overdue calibration", ini: "[General]\ncalibrationValidUntil=2000-01-01\n", rows: 17, runFile: json,
              text: both + " и добавляется в архив", archived: false },
        ]
    }

    function saveNight(rows) {
        mcRoutine.unsaved = rows
        win.refreshJournal()
        verify(win.saveProtocolTo("file:///C:/%D0%96%D1%83%D1%80%D0%BD%D0%B0%D0%BB%D1%8B/night.csv"))
    }

    // The confirmation names what was written and stays, with its ОТЧЁТ
    // button, until it is closed or a recording starts. The archive's outcome
    // comes in a row of its own: a success goes by itself, a failure stays
    // until it is read.
    function test_successfulSaveIsConfirmedUntilTheNextRecording(data) {
        if (data.ini !== undefined) {
            win.destroy()
            wait(0)
            win = createWindow(data.ini)
        }
        mcRoutine.lastRunFileValue = data.runFile
        mcRoutine.lastRunFileErrorValue = data.runError || ""
        saveNight(data.rows)
        var row = item("itSaved")
        compare(row.text, data.text)
        verify(row.visible && !item("itUnsaved").visible)
        item("timerArchive").interval = 200
        if (data.archived !== undefined)
            mcRoutine.archiveFinished(data.archived, data.archived ? "Прогон добавлен в архив /a.sqlite" : "Прогон не добавлен")
        // In view: the strip shows two rows before it scrolls.
        tryCompare(win, "linkState", "live")
        var rows = item("colRows").children
        var above = []
        for (var i = 0; rows[i] !== row; ++i) {
            if (rows[i].visible)
                above.push(rows[i].objectName)
        }
        verify(above.length <= 1, above)
        if (data.archived !== undefined) {
            var archive = item("itArchive")
            compare(colorText(archive.color), colorText(item("theme")[data.archived ? "messageSuccess" : "messageError"]))
            compare(archive.answers, data.archived ? [] : ["Понятно"])
            if (!data.archived)
                item("itArchiveButton0").clicked()
            tryCompare(archive, "visible", false, 3000)
            verify(row.visible)
        }
        item("itSavedButton1").clicked()
        verify(!row.visible)
        saveNight(data.rows)
        item("btRecord").clicked()
        verify(!row.visible)
    }

    function test_reportOfTheSavedProtocol_data() {
        return [
            { tag: "written and opened", started: true, ok: true, error: "",
              text: "Отчёт записан в файл C:/Журналы/night.pdf", opened: ["C:\\Журналы\\night.pdf"] },
            { tag: "not written", started: true, ok: false, error: "Отчёт не записан: нет места на диске",
              text: "Отчёт не записан: нет места на диске", opened: [] },
            { tag: "not started", started: false, ok: false, text: "Отчёт не начат", opened: [] },
        ]
    }

    // ОТЧЁТ hands the controller the saved protocol and the window's
    // tolerances, waits disabled while the report is made and shows how it
    // ended in a row of its own; a written report is opened.
    function test_reportOfTheSavedProtocol(data) {
        mcRoutine.reportResult = data.started
        item("inputVertical").lowLimit = -5
        saveNight(5)
        var button = item("itSavedButton0")
        button.clicked()
        compare(JSON.stringify(mcRoutine.reports), JSON.stringify([{ limits: { horizontal: [-8, 8], vertical: [-5, 6] },
            url: "file:///C:/%D0%96%D1%83%D1%80%D0%BD%D0%B0%D0%BB%D1%8B/night.csv" }]))
        if (data.started) {
            verify(!button.enabled && !item("itReport").visible)
            verify(item("itSaved").text.indexOf("Отчёт готовится…") > 0, item("itSaved").text)
            mcRoutine.reportFinished(data.ok, "C:\\Журналы\\night.pdf", data.error)
        }
        verify(button.enabled && item("itSaved").text.indexOf("готовится") < 0)
        var report = item("itReport")
        verify(report.visible && report.text.indexOf(data.text) === 0, report.text)
        compare(colorText(report.color), colorText(item("theme")[data.ok ? "messageSuccess" : "messageError"]))
        compare(mcRoutine.opened, data.opened)
        item("itReportButton0").clicked()
        verify(!report.visible)
    }

    function test_journalStateIsShownWhileNoRowComes_data() {
        return [
            { tag: "only in memory", state: "memory", file: "", error: "/w/tervalo-journal.csv: No space left on device",
              text: "Журнал измерений не записывается на диск: показания только в памяти программы.",
              colour: "messageError", button: true },
            { tag: "written anew in place", state: "rewritten", file: "/w/tervalo-journal.csv", error: "/w/x: y",
              text: "Файл журнала измерений исчез с диска. Журнал записан заново в файл /w/tervalo-journal.csv.",
              colour: "messageWarning", button: false },
        ]
    }

    // Paused: no row is kept, and the poll alone brings the controller's word
    // on the journal to the window, and takes it away again.
    function test_journalStateIsShownWhileNoRowComes(data) {
        item("btRecord").clicked()
        item("btPause").clicked()
        mcRoutine.unsaved = 40
        mcRoutine.journalFileValue = data.file
        mcRoutine.journalErrorValue = data.error
        mcRoutine.journalStateValue = data.state
        var row = item("itJournalProblem")
        tryCompare(row, "visible", true, 3000)
        verify(row.text.indexOf(data.text) === 0, row.text)
        compare(colorText(row.color), colorText(item("theme")[data.colour]))
        compare(row.answers, data.button ? ["Сохранить сейчас"] : [])
        if (data.button) {
            verify(row.text.indexOf(data.error) > 0, row.text)
            item("itJournalProblemButton0").clicked()
            tryCompare(item("fileDialog"), "visible", true, 2000)
            item("fileDialog").close()
        }
        mcRoutine.journalStateValue = "ok"
        mcRoutine.journalErrorValue = ""
        tryCompare(row, "visible", false, 3000)
        verify(win.measuring && win.pause)
    }

    function test_existingFileIsReplacedOnlyWhenTheOperatorSaysSo_data() {
        return [
            { tag: "replace it", answer: 0, protocols: ["file:///tmp/night.csv"], dialog: false },
            { tag: "choose another file", answer: 1, protocols: [], dialog: true },
            { tag: "cancel", answer: 2, protocols: [], dialog: false },
        ]
    }

    // A dialog that does not ask before it returns an existing file.
    function test_existingFileIsReplacedOnlyWhenTheOperatorSaysSo(data) {
        mcRoutine.unsaved = 3
        win.refreshJournal()
        mcRoutine.existing = ["file:///tmp/night.csv"]
        win.dialogAsksBeforeReplacing = false
        var dialog = item("fileDialog")
        win.saveMeasToFile()
        tryCompare(dialog, "visible", true, 2000)
        dialog.currentFile = "file:///tmp/night"
        dialog.accept()
        compare(mcRoutine.protocols, [])
        var question = item("itOverwrite")
        verify(question.visible)
        verify(question.text.indexOf("Файл /tmp/night.csv уже существует") === 0, question.text)
        item("itOverwriteButton" + data.answer).clicked()
        verify(!question.visible)
        compare(mcRoutine.protocols, data.protocols)
        if (data.dialog) {
            tryCompare(dialog, "visible", true, 2000)
            dialog.close()
        }
        // A name that is free is written without a question.
        mcRoutine.protocols = []
        verify(win.chooseProtocol("file:///tmp/day"))
        compare(mcRoutine.protocols, ["file:///tmp/day.csv"])
    }

    // The save dialog opens in the journal's folder (the working folder) at
    // first, then in the folder of the last save, and suggests a name made of
    // the day and the picket the rows start at.
    function test_saveDialogFolderAndName() {
        var day = Qt.formatDate(new Date(), "yyyy-MM-dd")
        mcRoutine.journalFileValue = "/tmp/tervalo-journal.csv"
        win.refreshJournal()
        win.currentPicket = 12
        item("btRecord").clicked()
        item("btPicket").clicked()
        item("btRecord").clicked()
        var dialog = item("fileDialog")
        tryCompare(dialog, "visible", true, 2000)
        compare(win.displayPath(dialog.folder.toString()), "/tmp")
        compare(win.displayPath(dialog.currentFile.toString()), "/tmp/" + day + " ПК 12.csv")
        dialog.accept()
        compare(mcRoutine.protocols.map(win.displayPath), ["/tmp/" + day + " ПК 12.csv"])

        var folder = mcRoutine.workingFolder()
        verify(win.saveProtocolTo(win.fileUrl(folder + "/night.csv")))
        win.saveMeasToFile()
        tryCompare(dialog, "visible", true, 2000)
        compare(win.displayPath(dialog.folder.toString()), folder)
        dialog.close()
        compare(win.fileUrl("C:\\Журналы #2\\a.csv"), "file:///C:/%D0%96%D1%83%D1%80%D0%BD%D0%B0%D0%BB%D1%8B%20%232/a.csv")
    }

    function test_journalPlaceAndRecoveryAreShown_data() {
        return [
            { tag: "journal in the user's folder", error: "/w/tervalo-journal.csv: Is a directory",
              file: "/home/u/.local/share/brenvik/tervalo/tervalo-journal.csv",
              says: "Журнал измерений записывается в файл /home/u/.local/share/brenvik/tervalo/tervalo-journal.csv",
              unsaved: "в папке /home/u/.local/share/brenvik/tervalo." },
            { tag: "journal only in memory", error: "/w/tervalo-journal.csv: No space left on device", file: "",
              says: "Показания хранятся только в памяти программы", unsaved: "только в памяти программы" },
            { tag: "journal where it belongs", error: "", file: "C:\\Tervalo\\tervalo-journal.csv", says: "",
              unsaved: "в папке C:\\Tervalo." },
        ]
    }

    function test_journalPlaceAndRecoveryAreShown(data) {
        win.destroy()
        win = null
        wait(0)
        mcRoutine.recovered = ["/w/tervalo-unsaved-20260304-050607.csv"]
        mcRoutine.journalErrorValue = data.error
        mcRoutine.journalFileValue = data.file
        mcRoutine.unsaved = 2
        win = createWindow()
        var recovered = item("itRecovered")
        verify(recovered.visible)
        compare(recovered.text, "Несохранённый журнал прошлого запуска записан в файл /w/tervalo-unsaved-20260304-050607.csv")
        // Its lines break only after a "/" of the path, never at its root or hyphens.
        verify(item("itRecoveredText").text.indexOf(" /\u2060w/\u200btervalo-\u2060unsaved-\u206020260304-\u2060050607.csv") > 0,
               JSON.stringify(item("itRecoveredText").text))
        item("itRecoveredButton0").clicked()
        verify(!recovered.visible)
        var problem = item("itJournalProblem")
        compare(problem.visible, data.error !== "")
        if (data.error !== "") {
            verify(problem.text.indexOf(data.error) > 0, problem.text)
            verify(problem.text.indexOf(data.says) > 0, problem.text)
        }
        var unsaved = item("itUnsaved")
        verify(unsaved.visible)
        verify(unsaved.text.indexOf(data.unsaved) > 0, unsaved.text)
    }

    // The keys of a run: the space bar marks a picket, P (З on a Russian
    // layout) pauses, Enter starts; a short Enter never stops a recording, one
    // held does; while a text field has the focus no key acts.
    function test_keysOfTheRun_data() {
        return [
            { tag: "space marks a picket", recording: true, keys: [Qt.Key_Space], picket: 1, pause: false,
              measuring: true },
            { tag: "P pauses", recording: true, keys: [Qt.Key_P], picket: 0, pause: true, measuring: true },
            { tag: "З pauses and resumes", recording: true, keys: [0x0417, 0x0417], picket: 0, pause: false,
              measuring: true },
            { tag: "no picket and no pause while idle", recording: false, keys: [Qt.Key_Space, Qt.Key_P],
              picket: 0, pause: false, measuring: false },
            { tag: "Enter starts", recording: false, keys: [Qt.Key_Return], picket: 0, pause: false,
              measuring: true },
            { tag: "a short Enter does not stop", recording: true, keys: [Qt.Key_Enter, Qt.Key_Return], picket: 0,
              pause: false, measuring: true, hint: "Запись продолжается" },
            { tag: "Enter held stops", recording: true, hold: true, picket: 0, pause: false, measuring: false },
            { tag: "a text field takes every key", recording: true, field: "tfHiLimit",
              keys: [Qt.Key_Space, Qt.Key_P, Qt.Key_Return], picket: 0, pause: false, measuring: true, hint: "" },
            { tag: "Enter that takes a limit starts nothing", recording: false, field: "tfLoLimit", fieldText: "-5",
              keys: [Qt.Key_Return], picket: 0, pause: false, measuring: false, limit: -5 },
        ]
    }

    function test_keysOfTheRun(data) {
        if (data.recording)
            item("btRecord").clicked()
        if (data.field) {
            item("tbMenu").currentIndex = 1
            item(data.field).forceActiveFocus()
            // "x" is not acceptable: Enter leaves the focus where it is.
            item(data.field).text = data.fieldText || "x"
        }
        var keys = data.keys || []
        for (var i = 0; i < keys.length; ++i) {
            // The test's key events know Latin letters only: a Cyrillic key
            // goes to the window's handler as the window would pass it.
            if (keys[i] > 0xff && keys[i] < 0x01000000)
                win.keyPressed({ key: keys[i], isAutoRepeat: false, accepted: false })
            else
                keyClick(keys[i])
        }
        var hold = item("timerStopHold")
        if (data.hold) {
            hold.interval = 300
            runningSpyV.target = hold
            runningSpyV.clear()
            keyPress(Qt.Key_Return)
            // The system's repeats of a held key may come as a release and a press.
            keyRelease(Qt.Key_Return)
            keyPress(Qt.Key_Return)
            tryCompare(win, "measuring", false, 3000)
            compare(runningSpyV.count, 2)   // one hold, not two
            // The save dialog opens once the key is let go, not to its repeats.
            verify(!item("fileDialog").visible)
            keyRelease(Qt.Key_Return)
            tryCompare(item("fileDialog"), "visible", true, 2000)
            item("fileDialog").close()
        }
        tryCompare(item("timerEnterReleased"), "running", false, 2000)
        verify(!hold.running)
        compare([win.currentPicket, win.pause, win.measuring], [data.picket, data.pause, data.measuring])
        if (data.limit !== undefined)
            compare(item("inputVertical").lowLimit, data.limit)
        if (data.hint !== undefined)
            verify(data.hint === "" ? win.stopHintText === "" : win.stopHintText.indexOf(data.hint) === 0,
                   win.stopHintText)
    }

    // The run's header entered on the settings page is kept in the settings
    // file by key (never rewriting the step length), fixed while recording,
    // and reaches the controller with each start. A calibration date is typed
    // as dd.MM.yyyy and kept as ISO; one that is no date is named and not kept.
    function test_runHeaderIsKeptAndReachesTheRun() {
        win.destroy()
        win = null
        wait(0)
        win = createWindow("[General]\nstepLength=0.001\n")
        item("tbMenu").currentIndex = 1
        var typed = { tfLine: "2 Сокольническая", tfTrack: "1", tfOperator: "Иванов И. И.", tfTrolley: "17",
                      tfCalibration: "1.11.2026" }
        for (var name in typed) {
            item(name).forceActiveFocus()
            item(name).text = typed[name]
            keyClick(Qt.Key_Return)
        }
        verify(!win.measuring)   // Enter in a field starts nothing
        compare(item("tfCalibration").text, "01.11.2026")
        item("tfCalibration").text = "31.02.2027"
        item("tfCalibration").editingFinished()
        verify(item("txCalibrationHint").text.indexOf("остаётся 01.11.2026") > 0, item("txCalibrationHint").text)
        compare(win.calibrationValidUntil, "2026-11-01")
        win.destroy()
        win = null
        wait(0)
        var ini = mcRoutine.readFile("tervalo.ini")
        verify(ini.indexOf("calibrationValidUntil=2026-11-01") >= 0, ini)
        verify(ini.indexOf("stepLength=0.001\n") >= 0, ini)

        win = createWindow(ini, true)
        item("tbMenu").currentIndex = 1
        compare([item("tfLine").text, item("tfTrack").text, item("tfOperator").text, item("tfTrolley").text,
                 item("tfCalibration").text], ["2 Сокольническая", "1", "Иванов И. И.", "17", "01.11.2026"])
        item("btRecord").clicked()
        verify(win.measuring)   // line and track known: nothing asked
        verify(!item("grRunHeader").enabled)
        var run = mcRoutine.runs[0]
        compare([run.line, run.track, run.operator, run.trolley, run.calibrationValidUntil],
                ["2 Сокольническая", "1", "Иванов И. И.", "17", "2026-11-01"])
    }

    // The archive switch is on unless the settings file says off; the
    // controller hears it at start and at each change, and it is kept.
    function test_archiveSwitchIsKept() {
        compare(mcRoutine.archiveSwitches, [true])
        item("tbMenu").currentIndex = 1
        item("cbArchive").activated(1)
        compare(mcRoutine.archiveSwitches, [true, false])
        win.destroy()
        win = null
        wait(0)
        mcRoutine.archiveSwitches = []
        win = createWindow(mcRoutine.readFile("tervalo.ini"))
        compare(mcRoutine.archiveSwitches, [false])
        compare(item("cbArchive").currentIndex, 1)
    }

    // Without line or track a start asks once; "Записать" is not asked again
    // while the program runs, "Отмена" starts nothing. Unsaved rows of an
    // earlier recording are asked about first.
    function test_recordingWithoutLineOrTrackAsksOnce_data() {
        return [
            { tag: "record without them", answer: 0, measuring: true, askedAgain: false },
            { tag: "cancel", answer: 1, measuring: false, askedAgain: true },
            { tag: "after adding to unsaved rows", unsaved: 3, answer: 0, measuring: true, askedAgain: false },
        ]
    }

    function test_recordingWithoutLineOrTrackAsksOnce(data) {
        win.destroy()
        win = null
        wait(0)
        win = createWindow("[General]\nline=2\n", true)
        waitForRendering(item("itGauge"))
        if (data.unsaved) {
            mcRoutine.unsaved = data.unsaved
            win.refreshJournal()
            item("btRecord").clicked()
            verify(item("itStartQuestion").visible)
            verify(!item("itNoLineTrack").visible)
            item("itStartQuestionButton1").clicked()
        } else {
            keyClick(Qt.Key_Return)
        }
        var question = item("itNoLineTrack")
        verify(question.visible)
        verify(question.text.indexOf("записать без линии и пути?") >= 0, question.text)
        verify(!win.measuring)
        compare(mcRoutine.measures.length, 0)
        item("itNoLineTrackButton" + data.answer).clicked()
        verify(!question.visible)
        compare(win.measuring, data.measuring)
        if (win.measuring) {
            item("btRecord").clicked()
            tryCompare(item("fileDialog"), "visible", true, 2000)
            item("fileDialog").close()
            mcRoutine.unsaved = 0
            win.refreshJournal()
        }
        item("btRecord").clicked()
        compare(question.visible, data.askedAgain)
        compare(win.measuring, !data.askedAgain)
    }

    // A calibration date before today is a warning before and during the
    // recording; it neither blocks nor goes unrecorded.
    function test_overdueCalibrationIsShown_data() {
        var past = new Date()
        past.setDate(past.getDate() - 1)
        return [
            { tag: "yesterday", date: Qt.formatDate(past, "yyyy-MM-dd"), shown: true,
              text: "Срок поверки тележки истёк " + Qt.formatDate(past, "dd.MM.yyyy") + "." },
            { tag: "today", date: Qt.formatDate(new Date(), "yyyy-MM-dd"), shown: false },
            { tag: "none", date: "", shown: false },
        ]
    }

    function test_overdueCalibrationIsShown(data) {
        win.destroy()
        win = null
        wait(0)
        win = createWindow("[General]\ncalibrationValidUntil=" + data.date + "\n")
        var row = item("itCalibration")
        compare(row.visible, data.shown)
        item("btRecord").clicked()
        verify(win.measuring)
        compare(row.visible, data.shown)
        if (data.shown)
            compare(row.text, data.text)
        compare(mcRoutine.runs[0].calibrationValidUntil, data.date)
    }

    // ОТМЕТКА (button, M, Ь) takes the place where it was pressed; the kind
    // chosen goes to the controller at once, a defect's or a note's text
    // afterwards, while rows go on being recorded. The keys of the run type
    // into the text, and act again once it is done.
    function test_markIsRecordedWhileTheRunGoesOn_data() {
        return [
            { tag: "joint by button", how: "button", kind: 2, expected: "joint", text: "Отметка: стык, ПК 12 + 37.25 м" },
            { tag: "defect by M with a text", how: Qt.Key_M, kind: 5, expected: "defect", note: "скол 3 см",
              text: "Отметка: дефект, ПК 12 + 37.25 м: скол 3 см" },
            { tag: "note by Ь with a text", how: 0x042c, kind: 6, expected: "note", note: "фонарь",
              text: "Отметка: заметка, ПК 12 + 37.25 м: фонарь" },
            { tag: "cancelled by the key", how: Qt.Key_M, kind: -1 },
        ]
    }

    function test_markIsRecordedWhileTheRunGoesOn(data) {
        setCounter(1000)
        win.currentPicket = 12
        item("btRecord").clicked()
        setCounter(1000 + 49667)   // 37.25 m
        if (data.how === "button")
            item("btMark").clicked()
        else if (data.how > 0xff)
            win.keyPressed({ key: data.how, isAutoRepeat: false, accepted: false })
        else
            keyClick(data.how)
        var choice = item("markChoice")
        verify(choice.visible)
        setCounter(1000 + 50000)   // the place is where it was pressed
        if (data.kind < 0) {
            keyClick(Qt.Key_Escape)
            verify(!choice.visible)
            compare(mcRoutine.marks.length, 0)
            return
        }
        item("btMarkKind" + data.kind).clicked()
        compare(mcRoutine.marks.length, 1)
        var mark = mcRoutine.marks[0]
        compare([mark.picket, mark.direction, mark.distance, mark.kind], [12, true, 37.25, data.expected])
        if (data.note) {
            var field = item("tfMarkNote")
            verify(field.activeFocus)
            var rows = mcRoutine.measures.length
            setCounter(1000 + 51000)
            verify(mcRoutine.measures.length > rows, "rows recorded while the text is typed")
            keyClick(Qt.Key_Space)
            compare(win.currentPicket, 12)   // typed, not a picket mark
            field.text = data.note
            keyClick(Qt.Key_Return)
            compare(mcRoutine.marks[0].note, data.note)
            compare(win.stopHintText, "")   // the Enter was the text's, not the window's
        }
        verify(!choice.visible)
        compare(item("txLastMark").text.replace(/\u00a0/g, " "), data.text)
        verify(win.measuring && !win.pause)
        keyClick(Qt.Key_Space)
        compare(win.currentPicket, 13)
    }

    // ПИКЕТ far from the picket length asks first; until the answer nothing
    // moves and rows go on under the old picket at their true distance. Yes
    // marks the picket where it was pressed (and an irregular-picket mark);
    // no, or a stop, leaves everything as if it had not been pressed. The
    // first picket after the start is never checked.
    function test_picketSpacingIsChecked_data() {
        var m = 1 / 0.00075
        return [
            { tag: "the first after the start is not checked", first: 30 * m, second: -1, picket: 1 },
            { tag: "within the tolerance", first: 30 * m, second: Math.round(91 * m), picket: 2 },
            { tag: "irregular, confirmed", first: 30 * m, second: Math.round(120 * m), answer: 0, picket: 2,
              asked: "Пикет через 120.0 м от предыдущего. Отметить?" },
            { tag: "irregular, undone", first: 30 * m, second: Math.round(88.96 * m), answer: 1, picket: 1,
              asked: "Пикет через 89.0 м от предыдущего. Отметить?" },
            { tag: "stopped with the question open", first: 30 * m, second: Math.round(120 * m), answer: -1,
              picket: 1, asked: "Пикет через 120.0 м от предыдущего. Отметить?" },
        ]
    }

    function test_picketSpacingIsChecked(data) {
        var origin = 1000
        setCounter(origin)
        item("btRecord").clicked()
        var first = origin + Math.round(data.first)
        setCounter(first)
        keyClick(Qt.Key_Space)
        compare(win.currentPicket, 1)
        var question = item("itPicketSpacing")
        verify(!question.visible)
        if (data.second < 0)
            return
        var press = first + data.second
        setCounter(press)
        var before = { start: win.startDiscret, prev: win.prevSavedDiscret }
        item("btPicket").clicked()
        compare(question.visible, data.asked !== undefined)
        if (data.asked) {
            compare(question.text, data.asked)
            compare(win.currentPicket, 1)
            mcRoutine.measures = []
            setCounter(press + 1000)
            setCounter(press + 2000)
            compare(mcRoutine.measures.length, 2)
            for (var i = 0; i < 2; ++i) {
                compare(mcRoutine.measures[i].picket, 1)
                verify(mcRoutine.measures[i].length > data.second * 0.00075, "a row at its true distance")
            }
            if (data.answer >= 0)
                item("itPicketSpacingButton" + data.answer).clicked()
            else
                item("btRecord").clicked()
            verify(!question.visible)
        }
        compare(win.currentPicket, data.picket)
        var marked = data.picket === 2
        compare([win.startDiscret, win.prevSavedDiscret], marked ? [press, press] : [before.start, before.prev])
        compare(mcRoutine.marks.length, data.answer === 0 ? 1 : 0)
        if (data.answer === 0)
            compare([mcRoutine.marks[0].picket, mcRoutine.marks[0].distance, mcRoutine.marks[0].kind],
                    [2, 0, "irregularPicket"])
        if (!win.measuring) {
            tryCompare(item("fileDialog"), "visible", true, 2000)
            item("fileDialog").close()
            return
        }
        // Rows after the answer: under the new picket from where it was
        // pressed, or under the old one as if ПИКЕТ had not been pressed.
        mcRoutine.measures = []
        setCounter(press + 2400)
        compare(mcRoutine.measures.length, 1)
        var row = mcRoutine.measures[0]
        compare(row.picket, data.picket)
        var distance = (press + 2400 - (marked ? press : before.prev)) * 0.00075
        verify(row.length <= distance && row.length > distance - 0.5, row.length + " at " + distance)
    }

    function luminance(c) {
        function linear(v) { return v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4) }
        return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b)
    }

    // A see-through text colour is seen mixed with what lies behind it.
    function contrast(fg, bg) {
        var seen = { r: fg.a * fg.r + (1 - fg.a) * bg.r, g: fg.a * fg.g + (1 - fg.a) * bg.g,
                     b: fg.a * fg.b + (1 - fg.a) * bg.b }
        var a = luminance(seen), b = luminance(bg)
        return (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05)
    }

    function textsShown(it, list) {
        if (!it.visible || it.opacity === 0)
            return list
        if (typeof it.text === "string" && it.text.trim() !== "" && it.color !== undefined
                && it.font !== undefined && it.width > 0 && it.height > 0)
            list.push(it)
        for (var i = 0; i < it.children.length; ++i)
            textsShown(it.children[i], list)
        return list
    }

    // Every text shown, in the colour it is drawn in, against the colour most
    // of the pixels around it have.
    function checkContrast(what, root, least) {
        verify(waitForRendering(win.contentItem, 3000))
        var texts = textsShown(root || win.contentItem, [])
        // What the link banner covers is not seen.
        var banner = item("rectLinkBanner")
        var covered = banner.visible ? sceneRect(banner) : null
        var seen = 0
        for (var i = 0; i < texts.length; ++i) {
            if (covered && overlaps(sceneRect(texts[i]), covered) && texts[i].parent.parent !== banner)
                continue
            var text = texts[i]
            var behind = itemPictures.mostCommonColor(itemPictures.grab(text))
            if (!behind.valid)
                continue
            ++seen
            // A lamp that blinks may have changed since the last frame: the
            // next one shows it as it is.
            tryVerify(function() {
                behind = itemPictures.mostCommonColor(itemPictures.grab(text))
                return contrast(text.color, behind) >= 4.5
            }, 1500, what + ": \"" + text.text.substring(0, 40) + "\" in " + text.color + " on " + behind
               + " is " + contrast(text.color, behind).toFixed(2) + ":1")
        }
        verify(seen >= least, what + ": only " + seen + " texts seen")
    }

    // Both themes, every page, the messages, a recording, a lost link and a
    // value out of tolerance: no text below 4.5:1.
    function test_contrastOfEveryText_data() {
        return [
            { tag: "light by default", ini: undefined, dark: false },
            { tag: "dark from the settings file", ini: "[General]\ntheme=dark\n", dark: true },
            { tag: "light from the settings file", ini: "[General]\ntheme=light\n", dark: false },
        ]
    }

    function test_contrastOfEveryText(data) {
        win.destroy()
        win = null
        wait(0)
        mcRoutine.v = 7
        mcRoutine.data = true
        mcRoutine.workVValue = true
        win = createWindow(data.ini)
        compare(item("theme").dark, data.dark)
        win.visibility = 2
        win.width = 1366
        win.height = 768
        tryCompare(item("inputVertical"), "mess", 7, 2000)
        showAllMessages(6)
        for (var page = 0; page < 3; ++page) {
            item("tbMenu").currentIndex = page
            checkContrast("page " + page + ", idle with messages", null, 8)
        }
        // Each message scrolled into the strip's room in turn.
        var rows = ["itOverwrite", "itSaveFailure", "itJournalProblem", "itRecovered", "itUnsaved", "itSaved"]
        for (var r = 0; r < rows.length; ++r) {
            item("flRows").contentY = Math.min(item(rows[r]).y, item("flRows").contentHeight - item("flRows").height)
            checkContrast(rows[r], item(rows[r]), 1)
        }
        item("flRows").contentY = 0
        item("tbMenu").currentIndex = 0
        item("btRecord").clicked()
        keyClick(Qt.Key_Return)
        checkContrast("recording", null, 8)
        mcRoutine.link = "lost"
        tryCompare(win, "linkState", "lost", 2000)
        checkContrast("link lost", null, 8)
    }

    // The theme chosen on the settings page is kept for the next start.
    function test_themeChosenIsKept() {
        verify(!item("theme").dark)
        item("tbMenu").currentIndex = 1
        item("cbTheme").activated(1)
        verify(item("theme").dark)
        win.destroy()
        win = null
        wait(0)
        verify(mcRoutine.readFile("tervalo.ini").indexOf("theme=dark") >= 0, mcRoutine.readFile("tervalo.ini"))
        win = createWindow(mcRoutine.readFile("tervalo.ini"))
        verify(item("theme").dark)
        compare(item("cbTheme").currentIndex, 1)
    }

    function sceneRect(it) {
        var p = it.mapToItem(null, 0, 0)
        return { x: p.x, y: p.y, w: it.width, h: it.height }
    }

    function overlaps(a, b) {
        return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h
    }

    function showAllMessages(count) {
        var all = [
            function () { win.overwriteUrl = "file:///tmp/night.csv" },
            function () { win.saveFailureText = "Журнал не сохранён в файл /no/such/folder/run.csv. Показания остаются в памяти программы: укажите другой файл." },
            function () { win.recoveredFiles = ["/w/tervalo-unsaved-20260304-050607.csv"] },
            function () { mcRoutine.journalErrorValue = "/w/tervalo-journal.csv: Is a directory"; win.refreshJournal() },
            function () { mcRoutine.unsaved = 12; win.refreshJournal() },
            function () { win.savedText = "Журнал сохранён в файл /tmp/day.csv (строк: 3)" },
        ]
        mcRoutine.journalFileValue = "/home/u/.local/share/brenvik/tervalo/tervalo-journal.csv"
        for (var i = 0; i < count; ++i)
            all[i]()
    }

    // Messages take the room kept for them: with none, three or six of them the
    // lamps, the gauges, the values and the buttons of both pages stay where
    // they are, as large as they are, and nothing covers them.
    function test_messagesMoveAndCoverNothing() {
        win.visibility = 2
        win.width = 1366
        win.height = 768
        var names = ["recordIndicator", "receiveIndicator", "keepIndicator", "gaugeVertical", "gaugeHorizontal",
                     "txVertical", "tLength", "btPause", "btPicket", "btRecord", "startPicket", "cbDirection"]
        tryVerify(function() { return item("itGauge").width === 1366 })
        var before = {}
        for (var i = 0; i < names.length; ++i)
            before[names[i]] = sceneRect(item(names[i]))
        var counts = [3, 6]
        for (var c = 0; c < counts.length; ++c) {
            showAllMessages(counts[c])
            var rows = ["itOverwrite", "itSaveFailure", "itRecovered", "itJournalProblem", "itUnsaved", "itSaved"]
            for (var r = 0; r < counts[c]; ++r)
                verify(item(rows[r]).visible, rows[r])
            var strip = sceneRect(item("colMessages"))
            for (var j = 0; j < names.length; ++j) {
                compare(sceneRect(item(names[j])), before[names[j]], names[j] + " with " + counts[c] + " messages")
                verify(!overlaps(before[names[j]], strip), names[j] + " under the messages")
            }
        }
    }

    // At the sizes of field laptops and desktops every control lies inside the
    // window, at least 48 px each way, and the widest position text keeps clear
    // of ПАУЗА at its full size.
    function test_layoutAtEverySize_data() {
        return [
            { tag: "1280 x 800", width: 1280, height: 800 },
            { tag: "1366 x 768", width: 1366, height: 768 },
            { tag: "1500 x 1000", width: 1500, height: 1000 },
            { tag: "1920 x 1080", width: 1920, height: 1080 },
        ]
    }

    function test_layoutAtEverySize(data) {
        win.visibility = 2
        win.width = data.width
        win.height = data.height
        tryVerify(function() { return item("itGauge").width === data.width })
        setCounter(1)
        item("btRecord").clicked()
        win.currentPicket = -999
        win.directionForward = false
        setCounter(1 + 133200)
        var text = item("tLength")
        compare(text.text, "ПК -999 - 99.9 м")
        compare(text.fontInfo.pixelSize, text.font.pixelSize)
        var pause = item("btPause")
        verify(text.x + text.contentWidth <= pause.x, "the position runs to " + (text.x + text.contentWidth)
               + ", ПАУЗА starts at " + pause.x)
        item("btPause").clicked()
        verify(item("btPause").contentItem.implicitWidth <= pause.availableWidth, "ПРОДОЛЖИТЬ is cut")

        var window = { x: 0, y: 0, w: data.width, h: data.height }
        function inside(name) {
            var r = sceneRect(item(name))
            verify(r.x >= 0 && r.y >= 0 && r.x + r.w <= window.w && r.y + r.h <= window.h,
                   name + " at " + JSON.stringify(r))
            return r
        }
        var controls = ["btPause", "btMark", "btPicket", "itOverwriteButton0", "itOverwriteButton1",
                        "itOverwriteButton2"]
        win.overwriteUrl = "file:///tmp/night.csv"
        for (var i = 0; i < controls.length; ++i) {
            var r = inside(controls[i])
            verify(r.w >= 48 && r.h >= 48, controls[i] + " is " + r.w + " x " + r.h)
        }
        // The lamps and their names beside the dials, not on them.
        var lamps = ["recordIndicator", "receiveIndicator", "keepIndicator"]
        var gauges = ["gaugeVertical", "gaugeHorizontal"]
        for (var l = 0; l < lamps.length; ++l) {
            var lamp = inside(lamps[l])
            for (var g = 0; g < gauges.length; ++g) {
                var dial = inside(gauges[g])
                var cx = dial.x + dial.w / 2, cy = dial.y + dial.h / 2
                var nx = Math.max(lamp.x, Math.min(cx, lamp.x + lamp.w))
                var ny = Math.max(lamp.y, Math.min(cy, lamp.y + lamp.h))
                verify(Math.hypot(nx - cx, ny - cy) >= dial.w / 2, lamps[l] + " on " + gauges[g])
            }
        }
        verify(!overlaps(inside("txVertical"), inside("itPicket")), "the dial's name on the picket strip")
        // The mark choice over the dials, clear of the strip, its buttons big;
        // the last mark between the dials.
        item("btMark").clicked()
        verify(!overlaps(inside("markChoice"), sceneRect(item("itPicket"))), "the mark choice on the strip")
        for (var b = 0; b < 7; ++b) {
            var button = inside("btMarkKind" + b)
            verify(button.w >= 48 && button.h >= 48, "btMarkKind" + b + " is " + button.w + " x " + button.h)
            var label = item("btMarkKind" + b).contentItem
            verify(label.implicitWidth <= label.width, "btMarkKind" + b + " is cut")
        }
        item("btMarkKind2").clicked()
        var lastMark = inside("txLastMark")
        for (var gm = 0; gm < gauges.length; ++gm)
            verify(!overlaps(lastMark, sceneRect(item(gauges[gm]))), "the last mark on " + gauges[gm])

        item("tbMenu").currentIndex = 1
        tryVerify(function() { return item("itCaptions").visible })
        var settings = ["btRecord", "startPicket", "cbDirection", "tfHiLimit", "cbSound"]
        for (var k = 0; k < settings.length; ++k)
            inside(settings[k])
        verify(!overlaps(inside("cbSound"), inside("itPickCaption")), "the sound selector on the start picket")
        // The run's header between the channels' panels and the theme row.
        var header = ["tfLine", "tfTrack", "tfOperator", "tfTrolley", "tfCalibration", "cbArchive"]
        for (var f = 0; f < header.length; ++f)
            inside(header[f])
        var captions = ["vCaption", "hCaption"]
        for (var cp = 0; cp < captions.length; ++cp) {
            var panel = item(captions[cp]).children[0]   // its column, as high as what it shows
            verify(!overlaps(sceneRect(panel), inside("grRunHeader")), captions[cp] + " on the run's header")
        }
        verify(!overlaps(inside("grRunHeader"), inside("rowTheme")), "the run's header on the theme row")
        verify(!overlaps(inside("rowTheme"), inside("itPickCaption")), "the theme row on the start picket")
        var record = inside("btRecord")
        verify(record.w >= 48 && record.h >= 48)
    }
}
