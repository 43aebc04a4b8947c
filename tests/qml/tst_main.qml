import QtQuick 2.14
import QtTest 1.14

// The main window against a stand-in controller (mcRoutine) whose getter
// values each test scripts; the window's 20 ms poll carries them in.
TestCase {
    id: testCase
    name: "MainWindow"
    when: windowShown

    property var win: null

    function createWindow(iniText) {
        if (iniText === undefined)
            verify(mcRoutine.removeFile("tervalo.ini"))
        else
            verify(mcRoutine.writeFile("tervalo.ini", iniText))
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        var w = component.createObject(null)
        verify(w !== null)
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

    function test_valuesNotLiveAreShownBelowThePages_data() {
        return [
            { tag: "searching at start", link: "searching", text: "Поиск тележки…" },
            { tag: "lost or silent", link: "lost", text: "Нет связи с тележкой — поиск…" },
        ]
    }

    function test_valuesNotLiveAreShownBelowThePages(data) {
        var values = [findChild(item("gaugeVertical"), "messText"), findChild(item("gaugeHorizontal"), "messText")]
        var message = item("itLinkState")
        var lamp = item("receiveIndicator")
        mcRoutine.data = true
        mcRoutine.workVValue = true
        mcRoutine.workHValue = true
        // The stand-in is live: the first poll takes the start's text away.
        tryCompare(message, "visible", false, 2000)
        compare(colorText(lamp.color), "#ffffe0")

        mcRoutine.link = data.link
        tryCompare(item("itLinkState"), "text", data.text, 2000)
        verify(message.visible)
        for (var i = 0; i < values.length; ++i)
            compare(colorText(values[i].color), "#808080")
        tryVerify(function() { return colorText(lamp.color) === "#000000" }, 2000)
        verify(!item("inputVertical").blDetect1WorkInput)
        verify(!item("inputHorizontal").blDetect1WorkInput)
        // In the strip below the pages: no lamp, gauge, value or button is covered.
        var page = item("itGauge")
        tryVerify(function() {
            return page.mapToItem(win.contentItem, 0, page.height).y <= message.mapToItem(win.contentItem, 0, 0).y
        }, 2000)

        mcRoutine.link = "live"
        tryCompare(message, "visible", false, 2000)
        for (var j = 0; j < values.length; ++j)
            compare(colorText(values[j].color), "#000000")
        tryVerify(function() { return colorText(lamp.color) === "#ffffe0" }, 2000)
        tryVerify(function() { return item("inputVertical").blDetect1WorkInput }, 2000)
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
        win.currentPicket = 0
        item("cbDirection").currentIndex = 1
        verify(!win.directionForward)
        item("btRecord").clicked()
        item("btPicket").clicked()
        compare(win.currentPicket, -1)
        compare(item("tLength").text, "ПК -1 - 0.0 м")
    }

    // Each start is the origin of the distance and the cadence, wherever the
    // counter stands; a pause left on when a recording stops carries into the
    // next one.
    function test_everyStartIsAnOriginAndPauseOutlivesStop() {
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
        item("btRecord").clicked()
        verify(win.measuring)
        verify(win.pause)
        compare(item("btPause").text, "ПРОДОЛЖИТЬ")
        compare([win.startDiscret, win.prevSavedDiscret, win.numberMeasFromPicket], [5000, 5000, 1])
        compare(mcRoutine.measures.length, 2)
        compare(mcRoutine.measures[1].length, 0)
    }

    function test_startPicketTakesZeroTo999_data() {
        return [
            { tag: "0", text: "0", acceptable: true },
            { tag: "999", text: "999", acceptable: true },
            { tag: "1000", text: "1000", acceptable: false },
            { tag: "negative", text: "-1", acceptable: false },
        ]
    }

    function test_startPicketTakesZeroTo999(data) {
        var field = item("startPicket")
        field.text = data.text
        compare(field.acceptableInput, data.acceptable)
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

    function test_successfulSaveIsConfirmedForAFewSeconds() {
        mcRoutine.unsaved = 17
        win.refreshJournal()
        item("timerSaved").interval = 300
        verify(win.saveProtocolTo("file:///C:/%D0%96%D1%83%D1%80%D0%BD%D0%B0%D0%BB%D1%8B/night.csv"))
        var row = item("itSaved")
        verify(row.visible)
        compare(row.text, "Журнал сохранён в файл C:/Журналы/night.csv (строк: 17)")
        verify(!item("itUnsaved").visible)
        tryCompare(row, "visible", false, 3000)
    }

    function test_existingFileIsReplacedOnlyWhenTheOperatorSaysSo_data() {
        return [
            { tag: "replace it", answer: 0, protocols: ["file:///tmp/night.csv"], dialog: false },
            { tag: "choose another file", answer: 1, protocols: [], dialog: true },
            { tag: "cancel", answer: 2, protocols: [], dialog: false },
        ]
    }

    // The framework's own dialog, which is what a machine without a platform
    // dialog shows: it adds no suffix to a typed name and never asks.
    function test_existingFileIsReplacedOnlyWhenTheOperatorSaysSo(data) {
        mcRoutine.unsaved = 3
        win.refreshJournal()
        mcRoutine.existing = ["file:///tmp/night.csv"]
        verify(!win.dialogAsksBeforeReplacing)
        var dialog = item("fileDialog")
        win.saveMeasToFile()
        tryCompare(dialog, "visible", true, 2000)
        dialog.clearSelection()
        verify(dialog.addSelection("file:///tmp/night"))
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

    // Every message at once, in a window of a laptop's size: the lamps, the
    // gauges, the values and the buttons all stay above the strip.
    function test_messagesCoverNoLampGaugeValueOrButton() {
        win.visibility = 2
        win.width = 1366
        win.height = 700
        mcRoutine.unsaved = 12
        mcRoutine.journalErrorValue = "/w/tervalo-journal.csv: Is a directory"
        mcRoutine.journalFileValue = "/home/u/.local/share/brenvik/tervalo/tervalo-journal.csv"
        win.refreshJournal()
        win.recoveredFiles = ["/w/tervalo-unsaved-20260304-050607.csv"]
        win.saveFailureText = "Журнал не сохранён в файл /no/such/folder/run.csv. Показания остаются в памяти программы: укажите другой файл."
        win.overwriteUrl = "file:///tmp/night.csv"
        win.savedText = "Журнал сохранён в файл /tmp/day.csv (строк: 3)"
        var rows = ["itRecovered", "itJournalProblem", "itSaveFailure", "itOverwrite", "itUnsaved", "itSaved"]
        for (var r = 0; r < rows.length; ++r)
            verify(item(rows[r]).visible, rows[r])
        var strip = item("colMessages")
        tryVerify(function() { return item("itGauge").height > 0 && strip.height > 6 * 40 })
        var stripTop = strip.mapToItem(null, 0, 0).y
        function above(name) {
            var it = item(name)
            var top = it.mapToItem(null, 0, 0).y
            var bottom = it.mapToItem(null, 0, it.height).y
            verify(top >= 0 && bottom <= stripTop + 0.5, name + " from " + top + " to " + bottom + ", strip at " + stripTop)
        }
        var names = ["recordIndicator", "receiveIndicator", "keepIndicator", "gaugeVertical", "gaugeHorizontal",
                     "txVertical", "tLength", "btPause", "btPicket"]
        for (var i = 0; i < names.length; ++i)
            above(names[i])
        item("tbMenu").currentIndex = 1
        tryVerify(function() { return item("itCaptions").visible })
        above("btRecord")
        above("startPicket")
    }
}
