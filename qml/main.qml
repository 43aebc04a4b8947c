import QtQuick 2.14
import QtQml 2.14
import QtQuick.Window 2.14
import QtQuick.Controls 2.14
import QtQuick.Controls.Material 2.14
import QtQuick.Layouts 1.14
import QtMultimedia 5.5
import Qt.labs.platform 1.1 as Platform
import Qt.labs.settings 1.0

Window {
    id: mainWindow
    x: 0
    y: 0
    // The size it was made for where the screen holds it; a laptop's smaller
    // screen gets a window that fits it.
    width: Math.min(1500, Screen.desktopAvailableWidth)
    height: Math.min(1000, Screen.desktopAvailableHeight)
    visible: true
    color: theme.background
    Material.theme: theme.dark ? Material.Dark : Material.Light
    Material.accent: theme.accent
    Material.background: theme.background
    title: "Катучий шаблон Р-417 v1.2.3"

    onSceneGraphInitialized: showMaximized()

    property int gaugeMargin: 10
    property real stepLength: getStepLength(settingsValues.stepLength)
    property int currentPicket: 0
    property bool startDiscretSet: false
    property int numberMeasFromPicket: 0
    property int currentDiscret: 0
    property int prevSavedDiscret: 0
    property int startDiscret: 0
    property real currentLength: getLength()
    property bool directionForward: true
    property bool pause: false
    property bool measuring: false
    property bool boolBuzzerPlayV: getBuzzerPlayV()
    property bool boolBuzzerPlayH: getBuzzerPlayH()

    // What the sensors read at the last poll. A kept row carries these, not
    // the needles' smoothed values, which pass through every value between two
    // readings and, after a sensor without reading, through its code value.
    property real polledV: 0
    property real polledH: 0
    // A record has come, so currentDiscret is the trolley's counter, also
    // while it is still 0.
    property bool counterKnown: false

    // The journal as the controller reported it after the last call that can
    // change it.
    property int unsavedCount: 0
    property string journalFile: ""
    property string journalError: ""
    // Files in which this start found journals of an earlier run; emptied when
    // the operator has read the message.
    property var recoveredFiles: []

    // Set while the journal could not be written: the operator must see it on
    // the window, since the numbers of a whole night are still only in memory.
    property string saveFailureText: ""
    // The confirmation of the last save, shown for a few seconds.
    property string savedText: ""
    // The file of the last save, as the messages name it.
    property string protocolPath: ""
    // What Enter held or let go too early does to a recording.
    property string stopHintText: ""
    // A hold of Enter stopped the recording; the save dialog waits for the key
    // to be let go.
    property bool dialogAfterEnter: false
    // A recording was asked for while rows of an earlier one are unsaved.
    property bool askBeforeStart: false
    // A protocol that would replace an existing file, waiting for the answer.
    property string overwriteUrl: ""
    // Every dialog this window can show asks before it returns an existing
    // file: the platform's own, and the framework's widget dialog where there
    // is none. The window asks itself for a name the dialog did not return.
    property bool dialogAsksBeforeReplacing: true
    // Where the save dialog opens: the folder of the last save, at first the
    // one the journal is kept in (the working folder). A URL, "" for the
    // dialog's own choice.
    property string saveFolder: ""
    // The picket the rows of the journal start at, for the suggested name.
    property int journalStartPicket: 0

    // The protocol of the last successful save, whose report the confirmation
    // offers, and the run file written beside it.
    property string savedUrl: ""
    property string savedRunFile: ""
    // A report is being made; its outcome, once told, until it is read.
    property bool reportBusy: false
    property string reportText: ""
    property bool reportOk: true
    property string reportPath: ""
    // The archive's word on the last save.
    property string archiveText: ""
    property bool archiveOk: true
    // Where the journal is as the controller last said: "ok", "moved",
    // "rewritten" or "memory". Polled, since it changes also while no row comes.
    property string journalState: "ok"

    readonly property real defaultStepLength: 0.00075

    // The trolley link as the controller reports it at each poll: "searching"
    // until the trolley first sends values, "live", or "lost".
    property string linkState: "searching"
    readonly property bool valuesLive: linkState === "live"
    // The controller's count of breaks in the trolley's counter (found again
    // after a loss, or restarted) that the window has dealt with.
    property int reconnectionsSeen: 0
    // Set when the trolley came back during a recording: the operator must
    // check where it stands before the recording goes on.
    property bool reconnectNotice: false

    // The centre lamp (light while the last poll saw data arrive) and the right
    // one (light for a fifth of a second after a kept row).
    property bool receiveLit: true
    property bool keepLit: false

    // The channels' caption panels, whose sound choices the alarms read.
    readonly property GaugeCaption vCaption: itCaptions.verticalCaption
    readonly property GaugeCaption hCaption: itCaptions.horizontalCaption

    // A step length that is not a positive finite number (a decimal comma, zero,
    // a negative value) would turn every distance into nonsense; keep the default.
    function getStepLength(value) {
        var s = Number(value)
        return (isFinite(s) && s > 0) ? s : defaultStepLength
    }

    function getGaugeSize() {
        var a = itGauge.height - gaugeMargin - 2 * itGauge.captionPixelSize - itGauge.picketStrip.height
        var b = (itGauge.width - 2 * gaugeMargin) / 2
        return a > b ? b : a
    }

    // From the window's height, which fits the screen's available height
    // when the window is maximized, and is right also when it is not.
    function getPicketHeigth() {
        return picketHeightFor(height)
    }

    function picketHeightFor(desktopHeight) {
        var h = desktopHeight / 10
        return h > 30 ? h : 30
    }

    function getLength() {
        var l = (currentDiscret - startDiscret) * stepLength
        return l > 0 ? l : -l
    }

    function getLengthDisplay() {
        return "ПК " + currentPicket + (directionForward ? " + " : " - ")
                + itGauge.verticalGauge.round10(currentLength, 1) + " м"
    }

    function getNameCommandRecord() {
        return measuring ? "Остановить запись" : "Начать запись"
    }

    // Counter steps from one kept row to the next: a quarter metre.
    function getCadenceStep() {
        return 0.25 / stepLength
    }

    // The length is where the row belongs on the quarter-metre grid, not where
    // the trolley is by the time the poll runs: a late poll must not give a
    // row the next quarter's distance.
    function saveMeasure(length) {
        mcRoutine.saveMeasure(currentPicket, directionForward, length,
                              polledV + inputVertical.zeroShift,
                              polledH + inputHorizontal.zeroShift)
        refreshJournal()
    }

    function refreshJournal() {
        unsavedCount = mcRoutine.unsavedCount()
        journalFile = mcRoutine.journalFile()
        journalError = mcRoutine.journalError()
        journalState = mcRoutine.journalState()
    }

    // Unsaved rows of an earlier recording are not silently continued.
    function requestRecording() {
        // A start picket still being typed counts, as it would had the
        // button taken the focus.
        takeKeys()
        if (!measuring && unsavedCount > 0) {
            askBeforeStart = true
            return
        }
        measuring = !measuring
    }

    // The keys of a run, on keys every laptop has and that gloves find: the
    // space bar marks a picket, P (З on a Russian layout) pauses and resumes,
    // Enter starts a recording and, held for two seconds, stops it, so that a
    // stray press never ends one. None acts while a text field has the focus.
    function isTextField(item) {
        return item !== null && item !== undefined && item.cursorPosition !== undefined && !item.readOnly
    }

    function takeKeys() {
        if (isTextField(activeFocusItem))
            activeFocusItem.focus = false
        keyScope.forceActiveFocus()
    }

    function keyPressed(event) {
        if (isTextField(activeFocusItem))
            return
        var key = event.key
        if (key === Qt.Key_Space) {
            if (measuring && !event.isAutoRepeat)
                markPicket()
        } else if (key === Qt.Key_P || key === 0x0417 || key === Qt.Key_Pause) {
            if (measuring && !event.isAutoRepeat)
                pause = !pause
        } else if (key === Qt.Key_Return || key === Qt.Key_Enter) {
            // Amid the repeats of a key held down the system may report a
            // release and a new press: that press goes on with the hold.
            if (timerEnterReleased.running)
                timerEnterReleased.stop()
            else if (!event.isAutoRepeat)
                enterPressed()
        } else {
            return
        }
        event.accepted = true
    }

    function enterPressed() {
        if (!measuring) {
            requestRecording()
        } else {
            timerStopHold.start()
            stopHintText = "Держите Enter: запись остановится через 2 секунды."
            timerStopHint.stop()
        }
    }

    function keyReleased(event) {
        if ((event.key === Qt.Key_Return || event.key === Qt.Key_Enter) && !event.isAutoRepeat) {
            timerEnterReleased.restart()
            event.accepted = true
        }
    }

    // Keys go to another window: the release of a key held here would not be
    // heard, and the hold must not end the recording.
    onActiveChanged: {
        if (!active) {
            timerStopHold.stop()
            if (dialogAfterEnter)
                enterReleased()
        }
    }

    // Enter let go for good: a hold not yet long enough stops nothing; one
    // that stopped the recording opens the save dialog now.
    function enterReleased() {
        if (dialogAfterEnter) {
            dialogAfterEnter = false
            stopHintText = ""
            saveMeasToFile()
        }
        if (timerStopHold.running) {
            timerStopHold.stop()
            stopHintText = "Запись продолжается. Чтобы остановить её, держите Enter 2 секунды "
                    + "или нажмите ОСТАНОВИТЬ ЗАПИСЬ на вкладке НАСТРОЙКА."
            timerStopHint.restart()
        }
    }

    function answerStart(index) {
        askBeforeStart = false
        if (index === 0)
            saveMeasToFile()
        else if (index === 1)
            measuring = true
    }

    // What the controller keeps as the run's header.
    function getRunHeader() {
        return {
            startPicket: currentPicket,
            direction: directionForward,
            stepLength: stepLength,
            vertical: [inputVertical.lowLimit, inputVertical.highLimit],
            horizontal: [inputHorizontal.lowLimit, inputHorizontal.highLimit]
        }
    }

    function markPicket() {
        currentPicket = directionForward ? currentPicket + 1 : currentPicket - 1
        numberMeasFromPicket = 0
        prevSavedDiscret = currentDiscret
        startDiscret = currentDiscret
    }

    function saveMeasToFile() {
        var folder = saveFolder !== "" ? saveFolder : (journalFile !== "" ? fileUrl(folderOf(journalFile)) : "")
        var file = (folder !== "" ? folder + "/" : "") + encodeURIComponent(getSuggestedName())
        // Before it opens for the platform's dialog, which takes folder and
        // name as it is shown; again once open for the widget dialog, which
        // takes them only while it is shown.
        for (var pass = 0; pass < 2; pass++) {
            if (folder !== "")
                fileDialog.folder = folder
            fileDialog.currentFile = file
            if (pass === 0)
                fileDialog.open()
        }
    }

    // "2026-12-08 ПК 12.csv": the day and the picket the rows start at.
    function getSuggestedName() {
        return Qt.formatDate(new Date(), "yyyy-MM-dd") + " ПК " + journalStartPicket + ".csv"
    }

    // The file URL of a local path, "C:\..." or "/...", with each part
    // encoded: a "#" or "%" in a folder's name stays part of the path.
    function fileUrl(path) {
        var parts = path.replace(/\\/g, "/").split("/")
        for (var i = 0; i < parts.length; i++) {
            if (!(i === 0 && /^[A-Za-z]:$/.test(parts[i])))
                parts[i] = encodeURIComponent(parts[i])
        }
        var joined = parts.join("/")
        return "file://" + (joined.charAt(0) === "/" ? "" : "/") + joined
    }

    // The dialog's answer. A typed name gets ".csv", and an existing file is
    // replaced only when the operator said so: in the dialog, when it asks and
    // saw the name as it will be written, or on the window.
    function chooseProtocol(dialogUrl) {
        var url = protocolUrl(dialogUrl)
        if (mcRoutine.protocolExists(url) && !(dialogAsksBeforeReplacing && url === dialogUrl)) {
            overwriteUrl = url
            return false
        }
        return saveProtocolTo(url)
    }

    function answerOverwrite(index) {
        var url = overwriteUrl
        overwriteUrl = ""
        if (index === 0)
            saveProtocolTo(url)
        else if (index === 1)
            saveMeasToFile()
    }

    // Every path a message may name, so that its lines break only between
    // the path's parts.
    function getMessagePaths() {
        return recoveredFiles.concat([journalFile, folderOf(journalFile), displayPath(overwriteUrl), protocolPath,
                                      savedRunFile, reportPath, getJournalErrorPath()])
    }

    // The controller names the file that failed first: "<path>: <why>".
    function getJournalErrorPath() {
        var end = journalError.indexOf(": ")
        return end > 0 ? journalError.substring(0, end) : ""
    }

    function folderOf(path) {
        return path.substring(0, Math.max(path.lastIndexOf("/"), path.lastIndexOf("\\")))
    }

    function getUnsavedText() {
        return "Несохранённых измерений: " + unsavedCount + ". "
                + (journalFile !== ""
                   ? "Если закрыть программу, не сохранив их, они будут записаны в файл "
                     + "tervalo-unsaved-<дата>-<время>.csv в папке " + folderOf(journalFile) + "."
                   : "Они хранятся только в памяти программы.")
    }

    function getJournalProblemText() {
        if (journalState === "memory")
            return "Журнал измерений не записывается на диск: показания только в памяти программы."
                    + (journalError !== "" ? " Ошибка записи: " + journalError + "." : "")
        if (journalState === "rewritten")
            return "Файл журнала измерений исчез с диска. Журнал записан заново в файл " + journalFile + "."
        if (journalFile !== "")
            return "Рабочая папка программы недоступна для записи (" + journalError
                    + "). Журнал измерений записывается в файл " + journalFile + "."
        return "Журнал измерений не записывается на диск (" + journalError + "). "
                + (unsavedCount > 0
                   ? "Показания хранятся только в памяти программы: сохраните журнал в другую папку."
                   : "Показания новой записи будут храниться только в памяти программы.")
    }

    // The dialog does not add the filter's suffix to a typed name.
    function protocolUrl(url) {
        var name = url.substring(url.lastIndexOf("/") + 1)
        return name.indexOf(".") < 0 ? url + ".csv" : url
    }

    // The file as the operator knows it: "C:/..." on Windows, "/..." elsewhere.
    function displayPath(url) {
        var path = url.replace(/^file:\/\//, "")
        if (/^\/[A-Za-z]:/.test(path))
            path = path.substring(1)
        try {
            return decodeURIComponent(path)
        } catch (e) {
            return path
        }
    }

    function saveProtocolTo(url) {
        overwriteUrl = ""
        protocolPath = displayPath(url)
        var rows = mcRoutine.unsavedCount()
        var saved = mcRoutine.saveProtocol(url)
        refreshJournal()
        if (saved) {
            saveFolder = url.substring(0, url.lastIndexOf("/"))
            saveFailureText = ""
            savedUrl = url
            savedText = getSavedText(displayPath(url), rows)
            return true
        }
        savedText = ""
        savedUrl = ""
        saveFailureText = "Журнал не сохранён в файл " + displayPath(url)
                + ". Показания остаются в памяти программы: укажите другой файл."
        Qt.callLater(saveMeasToFile)
        return false
    }

    // A path as the operator knows it: "C:/..." like the protocol's on
    // Windows, as it is elsewhere.
    function shownPath(path) {
        return /^[A-Za-z]:\\/.test(path) ? path.replace(/\\/g, "/") : path
    }

    // The archive switch as the settings page keeps it in the settings file:
    // on unless it says otherwise. Read by key, as the theme is.
    function getArchiveOn() {
        var on = settingsValues.value("archive", true)
        return !(on === false || String(on) === "false" || String(on) === "0")
    }

    // The confirmation names both files the save wrote, or why the run file
    // is missing, and says the run goes on into the archive (only a save with
    // rows goes there).
    function getSavedText(path, rows) {
        var runFile = mcRoutine.lastRunFile()
        var runError = mcRoutine.lastRunFileError()
        savedRunFile = runError === "" ? shownPath(runFile) : ""
        var text = "Журнал сохранён в файл " + path + " (строк: " + rows + ")"
        if (savedRunFile !== "")
            text += " и файл прогона " + savedRunFile
        if (rows > 0 && getArchiveOn())
            text += " и добавляется в архив"
        if (runError !== "")
            text += ". Файл прогона не записан: " + runError
        return text
    }

    // The report of the protocol just saved, with the tolerances the window
    // has now, made beside it while the window goes on.
    function requestReport() {
        if (savedUrl === "" || reportBusy)
            return
        reportText = ""
        var limits = {
            vertical: [inputVertical.lowLimit, inputVertical.highLimit],
            horizontal: [inputHorizontal.lowLimit, inputHorizontal.highLimit]
        }
        if (mcRoutine.makeReport(savedUrl, limits)) {
            reportBusy = true
            return
        }
        reportOk = false
        reportText = "Отчёт не начат: программа ещё готовит другой отчёт или протокол не лежит на этом компьютере."
    }

    function reportFinished(ok, pdfPath, error) {
        reportBusy = false
        reportOk = ok
        if (!ok) {
            reportPath = ""
            reportText = error !== "" ? error : "Отчёт не записан."
            return
        }
        reportPath = shownPath(pdfPath)
        reportText = "Отчёт записан в файл " + reportPath
                + (mcRoutine.openFile(pdfPath) ? "" : ". Открыть его не удалось: откройте файл вручную.")
    }

    function archiveFinished(ok, message) {
        archiveOk = ok
        archiveText = message
        if (ok)
            timerArchive.restart()
        else
            timerArchive.stop()
    }

    Connections {
        target: mcRoutine
        function onReportFinished(ok, pdfPath, error) {
            reportFinished(ok, pdfPath, error)
        }
        function onArchiveFinished(ok, message) {
            archiveFinished(ok, message)
        }
    }

    // The confirmation of the last save and its report's outcome stay until
    // the operator closes them or the next recording starts.
    Connections {
        target: mainWindow
        function onMeasuringChanged() {
            if (measuring) {
                savedText = ""
                reportText = ""
            }
        }
    }

    function getBuzzerPlayV() {
        var x = inputVertical.mess + inputVertical.zeroShift
        if ((x > inputVertical.highLimit) | (x < inputVertical.lowLimit))
            return vCaption.audioEnable
        return false
    }

    function getBuzzerPlayH() {
        var x = inputHorizontal.mess + inputHorizontal.zeroShift
        if ((x > inputHorizontal.highLimit) | (x < inputHorizontal.lowLimit))
            return hCaption.audioEnable
        return false
    }

    function getLongPlay(longPlay) {
        return longPlay ? 500 : 100
    }

    // The theme is read and written by key, not as a property of the settings
    // element: the element writes all its properties back when one of them is
    // missing from the file, and a step length the file holds must never be
    // rewritten by the window. "light" or "dark"; anything else is light.
    function chooseTheme(dark) {
        theme.dark = dark
        settingsValues.setValue("theme", dark ? "dark" : "light")
    }

    Component.onCompleted: {
        theme.dark = String(settingsValues.value("theme", "light")) === "dark"
        refreshJournal()
        recoveredFiles = mcRoutine.recoveredFiles()
    }

    function getLinkText() {
        if (linkState === "searching")
            return "Поиск тележки…"
        if (linkState === "lost")
            return "Нет связи с тележкой — поиск…"
        return ""
    }

    // Runs after the poll's getters. The controller keeps the counter going on
    // from where it stood across a break, so no distance jumps; but the trolley
    // may have been pushed on, or its electronics restarted, unseen: a running
    // recording waits in pause for the operator to check the position.
    function followLink() {
        linkState = mcRoutine.linkState()
        // Values that are not live are no valid sensor data: the lamps that
        // say so go dark instead of freezing in their last state.
        if (!valuesLive) {
            receiveLit = false
            inputVertical.blDetect1WorkInput = false
            inputHorizontal.blDetect1WorkInput = false
        }
        var reconnections = mcRoutine.reconnections()
        if (reconnections !== reconnectionsSeen) {
            reconnectionsSeen = reconnections
            if (measuring) {
                pause = true
                reconnectNotice = true
            }
        }
    }

    Connections {
        target: mainWindow
        function onPauseChanged() {
            if (!pause)
                reconnectNotice = false
        }
        function onMeasuringChanged() {
            if (!measuring)
                reconnectNotice = false
        }
    }

    onCurrentDiscretChanged: {
        if (!startDiscretSet) {
            startDiscretSet = true
            // A recording started on a known counter has its origin; one
            // started before the trolley was heard counts from its first value.
            if (!measuring || !counterKnown) {
                startDiscret = currentDiscret
                if (measuring)
                    prevSavedDiscret = currentDiscret
            }
        }
        if (measuring && !pause) {
            var d = currentDiscret - prevSavedDiscret
            if (!(d > 0))
                d = -d
            if (d > 2147483647)
                d = d - 4294967296
            var step = getCadenceStep()
            if (d >= numberMeasFromPicket * step) {
                // A late poll saves the quarter it owes now and the next one at
                // the next counter change. A trolley two quarters or more past it
                // has no reading for the quarters between: they are left out
                // rather than filled with readings taken elsewhere.
                var reached = Math.floor(d / step)
                if (reached - numberMeasFromPicket >= 2)
                    numberMeasFromPicket = reached
                saveMeasure(numberMeasFromPicket * step * stepLength)
                numberMeasFromPicket = numberMeasFromPicket + 1
            }
        }
    }

    onMeasuringChanged: {
        if (!measuring) {
            mcRoutine.recordingStopped()
            refreshJournal()
            if (!dialogAfterEnter)
                saveMeasToFile()
        } else {
            askBeforeStart = false
            // A pause left from the last recording (a reconnection's, say) would
            // record nothing while the lamp that tells is on another page.
            pause = false
            if (unsavedCount === 0)
                journalStartPicket = currentPicket
            // The header goes first, so that the controller's repeat rule starts
            // afresh with this recording; a controller that keeps no header yet
            // must not stop the recording itself.
            if (typeof mcRoutine.recordingStarted === "function")
                mcRoutine.recordingStarted(getRunHeader())
            // The start is the origin of the distance and of the cadence, as a
            // picket mark is, so that every row lies on the quarter-metre grid
            // of the distance it reports.
            startDiscret = currentDiscret
            prevSavedDiscret = currentDiscret
            numberMeasFromPicket = 0
            saveMeasure(0)
            numberMeasFromPicket = 1
        }
    }

    onBoolBuzzerPlayVChanged: {
        if (boolBuzzerPlayV) {
            timerBuzzerV.interval = getLongPlay(vCaption.longPlay)
            timerBuzzerV.start()
        }
    }

    onBoolBuzzerPlayHChanged: {
        if (boolBuzzerPlayH) {
            timerBuzzerH.interval = getLongPlay(hCaption.longPlay)
            timerBuzzerH.start()
        }
    }

    Settings {
        id: settingsValues
        objectName: "settingsValues"
        fileName: "tervalo.ini"
        property real stepLength: 0.00075
    }

    Timer {
        id: timerBuzzerV
        objectName: "timerBuzzerV"
        repeat: false
        running: false
        interval: getLongPlay(vCaption.longPlay)
        onRunningChanged: running ? auBuzzer.play() : auBuzzer.stop()
    }

    Timer {
        id: timerBuzzerH
        objectName: "timerBuzzerH"
        repeat: false
        running: false
        interval: getLongPlay(hCaption.longPlay)
        onRunningChanged: running ? auBuzzer.play() : auBuzzer.stop()
    }

    // A loss during a recording, with the alarm sound on, is told once by a
    // tone of its own, which the tolerance beep cannot be taken for.
    onLinkStateChanged: {
        if (linkState === "lost" && measuring && (vCaption.audioEnable || hCaption.audioEnable))
            timerLinkTone.start()
    }

    Timer {
        id: timerLinkTone
        objectName: "timerLinkTone"
        interval: 600
        repeat: false
        onRunningChanged: running ? auLinkTone.play() : auLinkTone.stop()
    }

    Audio {
        id: auLinkTone
        objectName: "auLinkTone"
        source: "qrc:/linklost_880-440Hz_44100Hz_16bit.wav"
    }

    Audio {
        id: auBuzzer
        objectName: "auBuzzer"
        source: "qrc:/1kHz_44100Hz_16bit_05sec.wav"
    }

    // The platform's save dialog, or the framework's widget dialog where the
    // platform has none.
    Platform.FileDialog {
        id: fileDialog
        objectName: "fileDialog"
        title: "Журнал измерений : Укажите имя файла"
        nameFilters: ["CSV files (*.csv)"]
        fileMode: Platform.FileDialog.SaveFile
        // The dialog then checks for an existing file under the name that
        // will be written.
        defaultSuffix: "csv"
        onAccepted: chooseProtocol(fileDialog.file.toString())
    }

    Timer {
        id: timerStopHold
        objectName: "timerStopHold"
        interval: 2000
        onTriggered: {
            if (!measuring)
                return
            // The key is still down: a dialog opened now would take its repeats
            // as the answer. It opens when the key is let go.
            dialogAfterEnter = true
            stopHintText = "Запись остановлена. Отпустите Enter, чтобы выбрать файл журнала."
            requestRecording()
        }
    }

    Timer {
        id: timerEnterReleased
        objectName: "timerEnterReleased"
        interval: 150
        onTriggered: enterReleased()
    }

    Timer {
        id: timerStopHint
        objectName: "timerStopHint"
        interval: 6000
        onTriggered: stopHintText = ""
    }

    Timer {
        id: timerArchive
        objectName: "timerArchive"
        interval: 10000
        onTriggered: archiveText = ""
    }

    // The journal's place changes also while no row comes (a pause, a stop):
    // a full disk, a vanished folder, room again.
    Timer {
        id: timerJournal
        objectName: "timerJournal"
        interval: 1000
        repeat: true
        running: true
        onTriggered: refreshJournal()
    }

    Timer {
        id: timerInd
        objectName: "timerInd"
        interval: 20
        repeat: true
        running: true
        onTriggered: {
            polledV = mcRoutine.currentV()
            inputVertical.mess = polledV
            polledH = mcRoutine.currentH()
            inputHorizontal.mess = polledH
            currentDiscret = mcRoutine.currentS()
            var arrived = mcRoutine.dataReceived()
            receiveLit = arrived
            if (arrived)
                counterKnown = true
            if (mcRoutine.measKeeped()) {
                keepLit = true
                keepIndTimer.start()
            }
            inputVertical.blDetect1WorkInput = mcRoutine.workV()
            inputHorizontal.blDetect1WorkInput = mcRoutine.workH()
            followLink()
        }
    }

    Timer {
        id: keepIndTimer
        objectName: "keepIndTimer"
        interval: 200
        repeat: false
        running: false
        onTriggered: keepLit = false
    }

    InputIndicator {
        id: inputVertical
        objectName: "inputVertical"
        unitPoint: 0.4
        messUnit: "мм"
        accuracy: 1
        lowLimit: -6
        highLimit: 6
        blDetect1EnableInput: true
    }

    InputIndicator {
        id: inputHorizontal
        objectName: "inputHorizontal"
        unitPoint: inputVertical.unitPoint
        messUnit: inputVertical.messUnit
        accuracy: inputVertical.accuracy
        lowLimit: -8
        highLimit: 8
        blDetect1EnableInput: true
    }

    Theme {
        id: theme
        objectName: "theme"
    }

    // Everything shown lies in one focus scope that hears the window's keys,
    // and in a pane that turns hover marks off for every control in it: a
    // pointer left resting on a button must not leave a mark on it.
    FocusScope {
        id: keyScope
        objectName: "keyScope"
        anchors.fill: parent
        focus: true
        Keys.onPressed: keyPressed(event)
        Keys.onReleased: keyReleased(event)

        Pane {
            id: paContent
            anchors.fill: parent
            padding: 0
            hoverEnabled: false
            background: Rectangle {
                color: theme.background
            }

            TabBar {
                id: tbMenu
                objectName: "tbMenu"
                // A field left with the focus on the page before must not keep
                // the keys from the run.
                onCurrentIndexChanged: takeKeys()
                // The mark under the current tab moves at once: drawn sliding,
                // it costs frames and shows under the wrong tab after a resize.
                Component.onCompleted: contentItem.highlightMoveDuration = 0
                anchors.top: parent.top
                anchors.left: parent.left
                anchors.right: parent.right
                Repeater {
                    model: ["ИНДИКАТОР", "НАСТРОЙКА", "ОПИСАНИЕ"]
                    TabButton {
                        text: modelData
                        focusPolicy: Qt.NoFocus
                    }
                }
            }

            StackLayout {
                id: slTabs
                objectName: "slTabs"
                anchors.top: tbMenu.bottom
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: colMessages.top
                currentIndex: tbMenu.currentIndex

                GaugePage {
                    id: itGauge
                    objectName: "itGauge"
                    theme: theme
                    inputVertical: inputVertical
                    inputHorizontal: inputHorizontal
                    gaugeMargin: mainWindow.gaugeMargin
                    gaugeSize: getGaugeSize()
                    picketHeight: getPicketHeigth()
                    positionText: getLengthDisplay()
                    measuring: mainWindow.measuring
                    pause: mainWindow.pause
                    live: valuesLive
                    linkState: mainWindow.linkState
                    receiveLit: mainWindow.receiveLit
                    keepLit: mainWindow.keepLit
                    onPauseClicked: mainWindow.pause = !mainWindow.pause
                    onPicketClicked: markPicket()
                }

                SettingsPage {
                    id: itCaptions
                    objectName: "itCaptions"
                    theme: theme
                    inputVertical: inputVertical
                    inputHorizontal: inputHorizontal
                    picketHeight: itGauge.picketStrip.height
                    recordPixelSize: itGauge.stripPixelSize
                    recordText: getNameCommandRecord()
                    currentPicket: mainWindow.currentPicket
                    measuring: mainWindow.measuring
                    onRecordClicked: requestRecording()
                    onStartPicketEntered: {
                        mainWindow.currentPicket = picket
                        mainWindow.startDiscret = mainWindow.currentDiscret
                    }
                    onDirectionChosen: mainWindow.directionForward = forward
                    darkTheme: theme.dark
                    onThemeChosen: chooseTheme(dark)
                }

                ManualPage {
                    id: itManual
                    objectName: "itManual"
                    theme: theme
                }
            }

            MessageStrip {
                id: colMessages
                objectName: "colMessages"
                theme: theme
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                paths: getMessagePaths()
                linkText: getLinkText()
                linkLost: linkState === "lost"
                reconnectNotice: mainWindow.reconnectNotice
                recoveredFiles: mainWindow.recoveredFiles
                journalProblemText: journalError !== "" || (journalState !== "ok" && journalState !== "")
                                    ? getJournalProblemText() : ""
                journalOnlyInMemory: journalFile === "" || journalState === "memory"
                journalSaveOffered: journalState === "memory" && unsavedCount > 0
                saveFailureText: mainWindow.saveFailureText
                overwritePath: overwriteUrl !== "" ? displayPath(overwriteUrl) : ""
                startQuestionText: askBeforeStart
                                   ? "В памяти программы несохранённые измерения прошлой записи: " + unsavedCount
                                     + ". Сохранить их сейчас или добавить новую запись к ним в тот же журнал?"
                                   : ""
                unsavedText: unsavedCount > 0 && !measuring && !askBeforeStart ? getUnsavedText() : ""
                savedText: mainWindow.savedText !== "" && reportBusy
                           ? mainWindow.savedText + ". Отчёт готовится…" : mainWindow.savedText
                reportBusy: mainWindow.reportBusy
                reportText: mainWindow.reportText
                reportOk: mainWindow.reportOk
                archiveText: mainWindow.archiveText
                archiveOk: mainWindow.archiveOk
                stopHintText: mainWindow.measuring || dialogAfterEnter ? mainWindow.stopHintText : ""
                onRecoveredRead: mainWindow.recoveredFiles = []
                onOverwriteAnswered: answerOverwrite(index)
                onStartAnswered: answerStart(index)
                onSaveRequested: saveMeasToFile()
                onReportRequested: requestReport()
                onSavedClosed: mainWindow.savedText = ""
                onReportRead: mainWindow.reportText = ""
                onArchiveRead: mainWindow.archiveText = ""
            }
        }
    }
}
